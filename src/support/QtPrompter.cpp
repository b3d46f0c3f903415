#include "QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace vantor {

namespace {
QString title() { return QApplication::applicationName(); }
} // namespace

void QtPrompter::warning(const QString& text) {
    QMessageBox::warning(m_parent, title(), text, QMessageBox::Ok);
}

void QtPrompter::error(const QString& text) {
    QMessageBox::critical(m_parent, title(), text, QMessageBox::Ok);
}

bool QtPrompter::confirmYesNo(const QString& text) {
    return QMessageBox::question(m_parent, title(), text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool QtPrompter::confirmOkCancel(const QString& text) {
    return QMessageBox::question(m_parent, title(), text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

QString QtPrompter::openFile(const QString& caption, const QString& folder, const QString& filter) {
    return QFileDialog::getOpenFileName(m_parent, caption, folder, filter);
}

QString QtPrompter::saveFile(const QString& caption, const QString& folder, const QString& filter,
                             const QString& defaultSuffix) {
    // The overwrite question is the program's own, so the dialog must not ask it too.
    QFileDialog dialog(m_parent, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtPrompter::chooseFolder(const QString& caption, const QString& folder) {
    return QFileDialog::getExistingDirectory(m_parent, caption, folder);
}

} // namespace vantor
