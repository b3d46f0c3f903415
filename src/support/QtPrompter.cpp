#include "QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace vantor {

namespace {
QString title() {
    return QApplication::applicationName();
}
} // namespace

QWidget* QtPrompter::owner() const {
    // While the main window is hidden (the Restore dialog, which stays on top, has taken
    // over), a box owned by it could open behind that dialog: the window in use owns it.
    if (m_parent && m_parent->isVisible())
        return m_parent;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return m_parent;
}

void QtPrompter::warning(const QString& text) {
    QMessageBox::warning(owner(), title(), text, QMessageBox::Ok);
}

void QtPrompter::error(const QString& text) {
    QMessageBox::critical(owner(), title(), text, QMessageBox::Ok);
}

bool QtPrompter::confirmYesNo(const QString& text) {
    return QMessageBox::question(owner(), title(), text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool QtPrompter::confirmOkCancel(const QString& text) {
    return QMessageBox::question(owner(), title(), text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

QString QtPrompter::openFile(const QString& caption, const QString& folder, const QString& filter) {
    return QFileDialog::getOpenFileName(owner(), caption, folder, filter);
}

QString QtPrompter::saveFile(const QString& caption, const QString& folder, const QString& filter,
                             const QString& defaultSuffix) {
    // The overwrite question is the program's own, so the dialog must not ask it too.
    QFileDialog dialog(owner(), caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtPrompter::chooseFolder(const QString& caption, const QString& folder) {
    return QFileDialog::getExistingDirectory(owner(), caption, folder);
}

} // namespace vantor
