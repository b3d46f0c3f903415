#include "ConsoleSheetLayout.h"

#include "console/widgets/TerminalView.h"
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
    // The terminal and, beside it, the batch panel above the command list: both take the
    // sheet's whole height and grow with the window.
    auto* body = new QHBoxLayout;
    auto* panelColumn = new QVBoxLayout;
    body->addWidget(view, 1);
    body->addLayout(panelColumn);
    layout->addLayout(bar);
    layout->addLayout(body, 1);
    return {button, view, panelColumn};
}

} // namespace vantor
