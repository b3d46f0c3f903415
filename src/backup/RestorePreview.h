#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vantor {

// "Restore Preview": what a restore with the dialog's folder and data types would do, one
// step a line, for the engineer to read before starting, or to save as a text file.
class TRestorePreview final : public QDialog {
    Q_OBJECT
public:
    explicit TRestorePreview(QWidget* parent = nullptr);

    QLabel* LblSummary;
    QPlainTextEdit* MemoPreview;
    QPushButton* BtnSave;
    QPushButton* BtnClose;

    // Shows the steps of a preview of `backupFolder`; a save starts in that folder.
    void showSteps(const QStringList& lines, const QString& backupFolder);
    const QStringList& lines() const { return m_lines; }

    // Asks where to save the list and writes it (CR LF line ends), asking before it
    // replaces a file.
    void BtnSaveClick();

    static QString overwriteQuestion(const QString& path);

private:
    QStringList m_lines;
    QString m_folder;
};

} // namespace vantor
