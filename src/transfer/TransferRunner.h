#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace vantor {

class FtpSession;
class LocalFolderPanel;
class RemoteBrowser;
class TQelBtn;
class TransferPanels;

// The runs of the two buttons of the local panel: a local tree installed onto the
// controller (Install, Version Up), the controller's application tree backed up (Backup),
// single files copied either way (File Transfer); and the deletion of local files.
//
// One file at a time over the main window's connection, each step logged. A run cannot be
// stopped from its button; a second click is turned back. However a run ends, the FTP bar
// and both buttons come back and the local panel shows the run's start folder again.
// Names read from the controller's listing become local files and folders only when they
// are plain names; any other is logged and left alone.
class TransferRunner final : public QObject {
    Q_OBJECT
public:
    TransferRunner(FtpSession& session, RemoteBrowser& browser, LocalFolderPanel& local,
                   TransferPanels& panels, QObject* parent = nullptr);

    // Sends the "Change Attr" batch to the console after a version up; filled by the
    // consoles. Until then a version up logs that the batch was not sent.
    std::function<void()> ChangeAttrBatch;

    bool isRunning() const { return m_running; }

    // Click handler of BtnInstallSys and BtnInstallAppli.
    void BtnInstallSysClick(TQelBtn* sender);
    // "Delete Files" of the file list's pop-up menu.
    void DelFileClick();

    void UploadTree();
    void UploadFolderFiles();
    void BackupRemoteFolder(const QString& folder);
    void DownloadTree();
    void DownloadFolderFiles();
    void CopySelectedToRemote();
    void CopySelectedFromRemote();

private:
    void run(TQelBtn* sender);
    void finishRun(TQelBtn* sender, const QString& startFolder);
    void enterLocal(const QString& path);
    bool usableRemoteName(const QString& name);
    // Into the local folder, in order, up to the first transfer that fails.
    void downloadEach(const QStringList& names);
    void checkModeFor(bool binary);
    QStringList remoteSubFolders() const;

    FtpSession& m_session;
    RemoteBrowser& m_browser;
    LocalFolderPanel& m_local;
    TransferPanels& m_panels;
    bool m_running = false;
    QStringList m_walk; // the local folders of the tree being installed, outermost first
};

} // namespace vantor
