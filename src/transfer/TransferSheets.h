#pragma once

#include "FtpSession.h"

#include <QObject>

#include <functional>

class QWidget;

namespace vantor {

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
    // What the main window lends the sheets: the FTP bar with the shared panels, and which
    // sheet shows.
    struct BorrowedControls {
        FtpSession::BorrowedControls ftpBar;
        QWidget* ShtGet; // the File Transfer sheet
        std::function<QWidget*()> sheetShowing;
    };
    explicit TransferSheets(const BorrowedControls& controls, QObject* parent = nullptr);
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

    BorrowedControls m_controls;
    FtpSession* m_session;
    LocalFolderPanel* m_local;
    RemoteBrowser* m_browser;
    TransferRunner* m_runner;
};

} // namespace vantor
