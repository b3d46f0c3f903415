#include "FileViewerSheet.h"

#include "support/Guard.h"
#include "support/Paths.h"
#include "support/Prompter.h"
#include "support/TQelBtn.h"

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>

namespace vantor {

namespace {
constexpr auto kDesignLabel = "XXXXXXXXX";

// The editor's lines as they stand. Its plain text would turn no-break spaces into spaces
// and line separators into line feeds.
QStringList linesOf(const QPlainTextEdit* memo) {
    QStringList lines;
    for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next())
        lines.append(block.text());
    return lines;
}
} // namespace

FileViewerSheet::FileViewerSheet(QWidget* sheet)
    : QObject(sheet), m_openFolder(paths::localDefault(QStringLiteral("C:\\"))) {
    auto* grid = new QGridLayout(sheet);
    auto makePane = [&](int column, const char* buttonName, const char* labelName, const char* memoName) {
        auto* button = new TQelBtn(sheet);
        button->setObjectName(QLatin1String(buttonName));
        button->setText(QStringLiteral("OPEN"));
        button->setButtonWidth(TQELButtonWidth::W80);
        button->setGroupIndex(10 + column);
        button->setAllowAllUp(true);
        auto* label = new QLabel(QLatin1String(kDesignLabel), sheet);
        label->setObjectName(QLatin1String(labelName));
        // A long path shows what fits: it must not widen the window or starve the other pane.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setMinimumWidth(80);
        auto* memo = new QPlainTextEdit(sheet);
        memo->setObjectName(QLatin1String(memoName));
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        grid->addWidget(button, 0, column * 2);
        grid->addWidget(label, 0, column * 2 + 1);
        grid->addWidget(memo, 1, column * 2, 1, 2);
        grid->setColumnStretch(column * 2 + 1, 1);
        connect(button, &QAbstractButton::clicked, this,
                [this, button] { guarded([&] { BTnEditFileClick(button); }); });
        m_panes[column] = Pane{button, label, memo, {}};
    };
    makePane(0, "BtnEditFile1", "LblEditFile1", "MemoEditFile1");
    makePane(1, "BtnEditFile2", "LblEditFile2", "MemoEditFile2");
    BtnEditFile1 = m_panes[0].button;
    BtnEditFile2 = m_panes[1].button;
    LblEditFile1 = m_panes[0].label;
    LblEditFile2 = m_panes[1].label;
    MemoEditFile1 = m_panes[0].memo;
    MemoEditFile2 = m_panes[1].memo;
}

FileViewerSheet::Pane& FileViewerSheet::paneOf(TQelBtn* button) {
    return button == m_panes[1].button ? m_panes[1] : m_panes[0];
}

void FileViewerSheet::BTnEditFileClick(TQelBtn* button) {
    Pane& pane = paneOf(button);
    if (button->isChecked())
        openInto(pane);
    else
        close(pane);
}

void FileViewerSheet::openInto(Pane& pane) {
    const QString path = Prompter::current().openFile(QStringLiteral("Open"), m_openFolder, QString());
    if (path.isEmpty()) {
        pane.button->setChecked(false);
        return;
    }
    try {
        pane.stored = readTextFile(path);
    } catch (...) {
        pane.button->setChecked(false);
        throw;
    }
    pane.memo->setPlainText(pane.stored.text());
    pane.label->setText(path);
    pane.label->setToolTip(path);
}

void FileViewerSheet::close(Pane& pane) {
    if (Prompter::current().confirmYesNo(QStringLiteral("Save File ?"))) {
        try {
            writeTextFile(pane.label->text(), pane.stored.withLines(linesOf(pane.memo)));
        } catch (...) {
            // The pane stays open with the engineer's text, so nothing typed is lost.
            pane.button->setChecked(true);
            throw;
        }
    }
    pane.label->clear();
    pane.label->setToolTip(QString());
    pane.memo->clear();
    pane.stored = {};
}

} // namespace vantor
