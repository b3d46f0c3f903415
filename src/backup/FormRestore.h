#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantor {

class TBrowseForFolder;
class TQelBtn;
class TQelGroupBox;
class TRestorePreview;
class TSystemBkup;

// The "Restore" dialog: the engineer chooses the backup folder and the data types, starts
// the restore, watches it and may abort it. It owns the restore engine (Bkup) and, from its
// first use, the folder picker.
//
// The host that shows it assigns the two notifications: OnBeforeRestore is raised first when
// "Start Restore" is pressed (the host stops the ion beam there), OnCloseRequest when the
// engineer closes the dialog, presses "Close" or confirms "Abort" (the host hides the dialog
// and takes over). The dialog never hides itself on "Close": the host decides.
//
// While a restore runs, every control but "Abort" is disabled, "Start Restore" is down and
// flashing, and closing the window is refused. "Preview" lists the steps a restore would
// take without taking any; while it asks the controller the dialog is disabled likewise.
class TFormRestore final : public QDialog {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    explicit TFormRestore(QWidget* parent = nullptr);
    ~TFormRestore() override;

    TQelGroupBox* QelGBfrom;
    QLineEdit* EditSourceDir;
    QPushButton* BtnBrowse;
    TQelBtn* QelBtnStartRestore;
    QPushButton* BtnPreview;
    TQelBtn* QelBtnClose;
    QPushButton* BtnAbort;
    TQelGroupBox* QelGBDataType;
    QCheckBox* CBOption;
    QCheckBox* CBColumn;
    QCheckBox* CBLens;
    QCheckBox* CBStage;
    QCheckBox* CBIon;
    QCheckBox* CBcurrentIon;
    QCheckBox* CBOther;
    QLabel* ImgDn;
    QLabel* Image2;

    TNotifyEvent OnCloseRequest;
    TNotifyEvent OnBeforeRestore;

    TSystemBkup& Bkup() const { return *m_bkup; }
    // Null until the engineer first pressed "Select".
    TBrowseForFolder* FolderPicker() const { return m_folderPicker; }
    // Null until the first preview.
    TRestorePreview* PreviewWindow() const { return m_preview; }

    // The data types to restore: the bit of every ticked box, always with $40000000.
    quint32 RestoreMask() const;
    // A restore is under way.
    bool isRunning() const { return m_running; }

    void BtnBrowseClick();
    void QelBtnStartRestoreClick();
    // Lists what a restore with the folder and data types would do, touching nothing.
    void BtnPreviewClick();
    void BtnAbortClick();
    void QelBtnCloseClick();

    static QString directoryMessage() {
        return QStringLiteral("Make sure the directory pass and try again.");
    }
    static QString abortQuestion() { return QStringLiteral("Really abort Restore ?"); }

protected:
    void closeEvent(QCloseEvent* event) override; // FormClose
    void reject() override;                       // Escape closes as the close box does

private:
    void FormCreate();
    bool runRestore(quint32 mask);
    void setFormControlsEnabled(bool enabled);
    void raise(const TNotifyEvent& event, QObject* sender);

    TSystemBkup* m_bkup = nullptr;              // owned (QObject child)
    TBrowseForFolder* m_folderPicker = nullptr; // owned (QObject child)
    TRestorePreview* m_preview = nullptr;       // owned (QObject child)
    bool m_running = false;
};

} // namespace vantor
