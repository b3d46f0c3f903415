#pragma once

#include <QObject>

#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace vantor {

class FtpSession;
class LocalFolderPanel;
class RemoteBrowser;
class TransferPanels;
class TransferRunner;

// The transfer sheets (Install, Version Up, Backup, File Transfer) as the main window
// sees them: it builds the FTP session, the local panel, the remote browser and the
// transfer runs over the shared panels and wires them to each other.
class TransferSheets final : public QObject {
    Q_OBJECT
public:
    struct Wiring {
        TransferPanels* panels;
        QPlainTextEdit* MemoFtp;
        QLabel* StatusPanel;
        QLabel* ProgressPanel;
        QLineEdit* EditlIPAdrs1;
        QLineEdit* EditUser1;
        QLineEdit* EditPass1;
        QWidget* ShtGet; // the File Transfer sheet
        std::function<QWidget*()> sheetShowing;
    };
    explicit TransferSheets(const Wiring& wiring, QObject* parent = nullptr);
    ~TransferSheets() override;

    // Step 1 of a change of sheet: an open connection is closed.
    void PageFTPCtrlChange();
    // The window is closing: ends a run or a browse under way and closes the connection.
    void shutDown();
    // The local folder change handler, also run once at start.
    void DirecInstallChange();
    // Sends the "Change Attr" batch after a version up; set by the consoles.
    void setChangeAttrBatch(std::function<void()> batch);

    FtpSession* session() const { return m_session; }
    LocalFolderPanel* localPanel() const { return m_local; }
    RemoteBrowser* browser() const { return m_browser; }
    TransferRunner* runner() const { return m_runner; }

private:
    bool fileTransferSheetShowing() const;
    void openingSteps();
    // Makes a missing folder (absolute) and logs what happened.
    void ensureFolder(const QString& folder);

    Wiring m_wiring;
    FtpSession* m_session;
    LocalFolderPanel* m_local;
    RemoteBrowser* m_browser;
    TransferRunner* m_runner;
};

} // namespace vantor
