#include "RestorePreview.h"

#include "backup/SystemBkup.h"
#include "support/Guard.h"
#include "support/Prompter.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor {

namespace {
int countStarting(const QStringList& lines, const QString& head) {
    int n = 0;
    for (const QString& line : lines)
        n += line.startsWith(head) ? 1 : 0;
    return n;
}
} // namespace

TRestorePreview::TRestorePreview(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("RestorePreview"));
    setWindowTitle(QStringLiteral("Restore Preview"));
    resize(900, 480);
    auto* layout = new QVBoxLayout(this);
    LblSummary = new QLabel(this);
    LblSummary->setObjectName(QStringLiteral("LblSummary"));
    LblSummary->setWordWrap(true);
    MemoPreview = new QPlainTextEdit(this);
    MemoPreview->setObjectName(QStringLiteral("MemoPreview"));
    MemoPreview->setReadOnly(true);
    MemoPreview->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* buttons = new QHBoxLayout;
    BtnSave = new QPushButton(QStringLiteral("Save..."), this);
    BtnSave->setObjectName(QStringLiteral("BtnSave"));
    BtnClose = new QPushButton(QStringLiteral("Close"), this);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    buttons->addStretch(1);
    buttons->addWidget(BtnSave);
    buttons->addWidget(BtnClose);
    layout->addWidget(LblSummary);
    layout->addWidget(MemoPreview, 1);
    layout->addLayout(buttons);

    connect(BtnSave, &QPushButton::clicked, this, [this] { guarded([this] { BtnSaveClick(); }); });
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::hide);
}

void TRestorePreview::showSteps(const QStringList& lines, const QString& backupFolder) {
    m_lines = lines;
    m_folder = backupFolder.trimmed();
    LblSummary->setText(
        QStringLiteral("A restore from %1 would take these steps: %2 copies, %3 uploads, %4 left alone. "
                       "Nothing has been copied, uploaded or written.")
            .arg(QDir::toNativeSeparators(m_folder))
            .arg(countStarting(lines, QStringLiteral("Copy ")))
            .arg(countStarting(lines, QStringLiteral("Upload ")))
            .arg(countStarting(lines, QStringLiteral("Ignore "))));
    MemoPreview->setPlainText(lines.join(QLatin1Char('\n')));
    show();
    raise();
}

QString TRestorePreview::overwriteQuestion(const QString& path) {
    return QStringLiteral("The file '%1' is exists. Overwrite the file?").arg(QDir::toNativeSeparators(path));
}

void TRestorePreview::BtnSaveClick() {
    Prompter& prompter = Prompter::current();
    const QString path =
        prompter.saveFile(QStringLiteral("Save Preview"), m_folder,
                          QStringLiteral("Text files (*.txt);;All files (*)"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    if (QFileInfo::exists(path) && !prompter.confirmOkCancel(overwriteQuestion(path)))
        return;
    TSystemBkup::SaveLines(path, m_lines);
}

} // namespace vantor
