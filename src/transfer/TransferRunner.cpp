#include "TransferRunner.h"

#include "FtpSession.h"
#include "LocalFolderPanel.h"
#include "RemoteBrowser.h"
#include "TransferPanels.h"
#include "support/Errors.h"
#include "support/Paths.h"
#include "support/Prompter.h"
#include "support/TQelBtn.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScopeGuard>

namespace vantor {

namespace {

const QString kParent = QStringLiteral("..");
const QString kCannotCreate = QStringLiteral("Cannot create directory");

} // namespace

TransferRunner::TransferRunner(FtpSession& session, RemoteBrowser& browser, LocalFolderPanel& local,
                               TransferPanels& panels, QObject* parent)
    : QObject(parent), m_session(session), m_browser(browser), m_local(local), m_panels(panels) {}

void TransferRunner::BtnInstallSysClick(TQelBtn* sender) {
    if (m_running) {
        // A run cannot be stopped from its button: the click that released it is undone.
        if (!sender->isChecked()) {
            sender->setChecked(true);
            sender->startFlash();
        }
        return;
    }
    if (!sender->isChecked())
        return;
    if (!m_session.runExclusive([&] { run(sender); }))
        sender->setChecked(false); // another operation holds the connection
}

void TransferRunner::run(TQelBtn* sender) {
    m_running = true;
    const TransferPanels::Sheet sheet = m_panels.currentKind();
    QString runFolder = m_local.folder();
    try {
        m_panels.BtnFTPOpen->setEnabled(false);
        m_panels.BtnFTPClose->setEnabled(false);
        m_session.checkBinary();

        const bool system = sender == m_panels.BtnInstallSys;
        enterLocal((system ? m_panels.LblInstDir : m_panels.LblInstDir2)->text());
        runFolder = m_local.folder();
        (system ? m_panels.BtnInstallAppli : m_panels.BtnInstallSys)->setEnabled(false);
        sender->startFlash();

        switch (sheet) {
        case TransferPanels::Sheet::Backup:
            BackupRemoteFolder(m_panels.EdtDstPath->text());
            break;
        case TransferPanels::Sheet::FileTransfer:
            if (m_panels.BtnInstallSys->isChecked())
                CopySelectedToRemote();
            else
                CopySelectedFromRemote();
            break;
        default:
            UploadTree();
            break;
        }
        m_browser.RefreshRemoteListing();
        if (sheet == TransferPanels::Sheet::VersionUp) {
            if (ChangeAttrBatch)
                ChangeAttrBatch();
            else
                m_session.log(QStringLiteral("Change Attr : batch not sent, no console"));
        }
    } catch (...) {
        finishRun(sender, runFolder);
        throw;
    }
    finishRun(sender, runFolder);
}

void TransferRunner::finishRun(TQelBtn* sender, const QString& startFolder) {
    // Still running while the folder goes back, so the folder change is not taken for the
    // engineer's choice of an install folder.
    if (QDir(m_local.folder()) != QDir(startFolder))
        m_local.setFolder(startFolder);
    m_panels.BtnInstallSys->stopFlashAndRepaint();
    m_panels.BtnInstallAppli->stopFlashAndRepaint();
    // A button comes back only where it has a folder to work on: after a Version Up or
    // Backup run "Install System" has none.
    const bool connected = m_session.isConnected();
    m_panels.BtnInstallSys->setEnabled(connected && !m_panels.LblInstDir->text().isEmpty());
    m_panels.BtnInstallAppli->setEnabled(connected && !m_panels.LblInstDir2->text().isEmpty());
    sender->setChecked(false);
    m_panels.BtnFTPOpen->setEnabled(true);
    m_panels.BtnFTPClose->setEnabled(connected);
    m_running = false;
}

void TransferRunner::enterLocal(const QString& path) {
    if (!m_local.setFolder(path))
        throw FileError(QStringLiteral("Cannot open folder ") + QDir::toNativeSeparators(path));
}

bool TransferRunner::usableRemoteName(const QString& name) {
    if (paths::isPlainRemoteName(name))
        return true;
    m_session.log(QStringLiteral("Not copied: \"%1\" is not a plain name").arg(name));
    return false;
}

void TransferRunner::checkModeFor(bool binary) {
    if (binary)
        m_session.checkBinary();
    else
        m_session.checkAscii();
}

// --- install ------------------------------------------------------------------------------

void TransferRunner::UploadFolderFiles() {
    const QStringList files = m_local.fileNames();
    if (files.isEmpty())
        return;
    const QString leaf = m_browser.RemoteLeafName();
    checkModeFor(leaf == QLatin1String("CMDS") || leaf == QLatin1String("OBJS"));
    for (const QString& name : files) {
        m_session.UploadAndWait(m_local.filePath(name));
        if (!m_session.CheckTransferOk())
            break;
    }
}

void TransferRunner::UploadTree() {
    const QString here = m_local.folder();
    // A folder link that leads back into the tree would make the walk endless.
    const QString identity = QFileInfo(here).canonicalFilePath();
    if (m_walk.contains(identity)) {
        m_session.log(QStringLiteral("Not copied: \"%1\" leads back into the tree").arg(here));
        return;
    }
    m_walk.append(identity);
    const auto leave = qScopeGuard([this] { m_walk.removeLast(); });

    UploadFolderFiles();
    const QStringList subFolders = m_local.subFolders();
    for (const QString& name : subFolders) {
        m_session.MakeDirAndWait(paths::remoteNameFor(name));
        m_session.ChangeDirAndWait(paths::remoteNameFor(name));
        m_browser.RefreshRemoteListing();
        enterLocal(paths::join(here, name));
        UploadTree();
        enterLocal(here);
        m_session.ChangeDirAndWait(kParent);
    }
}

// --- backup -------------------------------------------------------------------------------

void TransferRunner::BackupRemoteFolder(const QString& folder) {
    if (!usableRemoteName(folder)) {
        Prompter::current().warning(kCannotCreate);
        return;
    }
    const QString start = m_session.CurrentDir();
    m_session.ChangeDirAndWait(paths::remoteNameFor(folder));
    m_browser.RefreshRemoteListing();
    if (m_local.enterOrCreate(folder))
        DownloadTree();
    else
        Prompter::current().warning(kCannotCreate);
    // Back where the run began, so the next backup finds the folder again.
    m_session.ChangeDirAndWait(start);
}

QStringList TransferRunner::remoteSubFolders() const {
    QStringList names;
    // The first entry is the way up that the listing adds below the device root.
    for (int i = m_browser.hasParentEntry() ? 1 : 0; i < m_panels.ListDstDir->count(); ++i)
        names << m_panels.ListDstDir->item(i)->text();
    return names;
}

void TransferRunner::DownloadTree() {
    m_browser.RefreshRemoteListing();
    DownloadFolderFiles();
    const QString here = m_local.folder();
    const QStringList subFolders = remoteSubFolders();
    for (const QString& name : subFolders) {
        if (!usableRemoteName(name))
            continue;
        // The local folder first: a folder that cannot be made leaves the remote side
        // where it is, so the rest of the walk stays in step.
        if (!m_local.enterOrCreate(paths::localNameFor(name))) {
            Prompter::current().warning(kCannotCreate);
            break;
        }
        m_session.ChangeDirAndWait(name);
        DownloadTree();
        enterLocal(here);
        m_session.ChangeDirAndWait(kParent);
        m_browser.RefreshRemoteListing();
    }
}

void TransferRunner::DownloadFolderFiles() {
    QStringList files;
    for (int i = 0; i < m_panels.ListDst->count(); ++i)
        files << m_panels.ListDst->item(i)->text();
    if (files.isEmpty())
        return;
    const QString leaf = m_browser.RemoteLeafName();
    checkModeFor(leaf == QLatin1String("CMDS") || leaf == QLatin1String("RELS"));
    downloadEach(files);
}

void TransferRunner::downloadEach(const QStringList& names) {
    for (const QString& name : names) {
        if (!usableRemoteName(name))
            continue;
        m_session.DownloadAndWait(name, m_local.folder());
        if (!m_session.CheckTransferOk())
            break;
    }
}

// --- single files -------------------------------------------------------------------------

void TransferRunner::CopySelectedToRemote() {
    for (const QString& name : m_local.selectedFileNames()) {
        if (!QFileInfo(m_local.filePath(name)).isFile()) {
            Prompter::current().error(QStringLiteral("File: ") + name + QStringLiteral(" not found"));
            continue;
        }
        m_session.UploadAndWait(m_local.filePath(name));
        if (!m_session.CheckTransferOk())
            break;
    }
}

void TransferRunner::CopySelectedFromRemote() {
    QStringList selected;
    for (int i = 0; i < m_panels.ListDst->count(); ++i)
        if (m_panels.ListDst->item(i)->isSelected())
            selected << m_panels.ListDst->item(i)->text();
    downloadEach(selected);
    m_local.refreshFiles();
}

void TransferRunner::DelFileClick() {
    // The files of the folder a run is walking stay as they are until it ends.
    if (m_running)
        return;
    const QStringList selected = m_local.selectedFileNames();
    if (selected.isEmpty() || !Prompter::current().confirmYesNo(QStringLiteral("Delete selected files ?")))
        return;
    for (const QString& name : selected)
        if (!QFile::remove(m_local.filePath(name)))
            Prompter::current().error(QStringLiteral("File: ") + name + QStringLiteral(" can not delete"));
    m_local.refreshFiles();
}

} // namespace vantor
