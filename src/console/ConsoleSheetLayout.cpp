#include "ConsoleSheetLayout.h"

#include "console/TerminalView.h"
#include "support/TQelBtn.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vantor {

ConsoleSheetLayout layOutConsoleSheet(QWidget* sheet, const QList<QWidget*>& barLeading,
                                      const QString& buttonCaption, const char* buttonName,
                                      const char* viewName) {
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* bar = new QHBoxLayout;
    for (QWidget* w : barLeading)
        bar->addWidget(w);
    auto* button = new TQelBtn(buttonCaption, sheet);
    button->setObjectName(QLatin1String(buttonName));
    button->setButtonWidth(TQELButtonWidth::W80);
    button->setGroupIndex(1);
    button->setAllowAllUp(true);
    bar->addWidget(button);
    bar->addStretch(1);
    auto* view = new TerminalView(sheet);
    view->setObjectName(QLatin1String(viewName));
    auto* panelRow = new QHBoxLayout;
    panelRow->addStretch(1); // the shared panels go in front of it
    layout->addLayout(bar);
    layout->addWidget(view, 1);
    layout->addLayout(panelRow);
    return {button, view, panelRow};
}

} // namespace vantor
