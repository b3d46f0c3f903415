#include "TransferSheets.h"

#include "FtpBarView.h"
#include "FtpSession.h"
#include "LocalFolderPanel.h"
#include "RemoteBrowser.h"
#include "TransferPanels.h"
#include "TransferRunner.h"
#include "support/Guard.h"
#include "support/TQelBtn.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>

namespace vantor {

TransferSheets::TransferSheets(const BorrowedControls& controls, QObject* parent)
    : QObject(parent), m_controls(controls) {
    TransferPanels* p = controls.ftpBar.panels;
    m_session = new FtpSession(controls.ftpBar, this);
    new FtpBarView(*m_session, controls.ftpBar, this);
    m_local = new LocalFolderPanel(p->DrvInstall, p->DirecInstall, p->FileInstall, this);
    m_browser = new RemoteBrowser(*m_session, *p, *m_local, this);
    m_runner = new TransferRunner(*m_session, *m_browser, *m_local, *p, this);

    m_session->setOpeningSteps([this] { openingSteps(); });
    // On the File Transfer sheet the buttons copy single files, whatever folders opening found.
    connect(m_session, &FtpSession::opened, this, [this, p] {
        if (fileTransferSheetShowing()) {
            p->BtnInstallSys->setEnabled(true);
            p->BtnInstallAppli->setEnabled(true);
        }
    });
    m_browser->FileTransferSheetShowing = [this] { return fileTransferSheetShowing(); };
    m_browser->RunUnderWay = [this] { return m_runner->isRunning(); };
    m_local->NavigationLocked = [this] { return m_runner->isRunning() || m_session->isBusy(); };
    m_local->OnChange = [this] { DirecInstallChange(); };

    for (TQelBtn* button : {p->BtnInstallSys, p->BtnInstallAppli})
        connect(button, &QAbstractButton::clicked, this,
                [this, button] { guarded([&] { m_runner->BtnInstallSysClick(button); }); });

    QAction* deleteFiles = p->PopupMenuCom->addAction(QStringLiteral("Delete Files"));
    deleteFiles->setObjectName(QStringLiteral("DelFile"));
    connect(deleteFiles, &QAction::triggered, this,
            [this] { guarded([this] { m_runner->DelFileClick(); }); });
    connect(p->FileInstall, &QWidget::customContextMenuRequested, this,
            [p](const QPoint& at) { p->PopupMenuCom->popup(p->FileInstall->viewport()->mapToGlobal(at)); });
}

TransferSheets::~TransferSheets() = default;

bool TransferSheets::fileTransferSheetShowing() const {
    return m_controls.sheetShowing && m_controls.sheetShowing() == m_controls.ShtGet;
}

void TransferSheets::openingSteps() {
    TransferPanels* p = m_controls.ftpBar.panels;
    m_session->ChangeDirAndWait(p->EdtDstDrv->text());
    m_browser->RefreshRemoteListing();
    // The folder that receives backups is the program's own to make; nothing else would.
    const TransferPanels::Sheet kind = p->currentKind();
    if (kind == TransferPanels::Sheet::Backup || kind == TransferPanels::Sheet::FileTransfer)
        ensureFolder(p->LblInstDir2->text());
    if (m_local->setFolder(p->LblInstDir->text()))
        p->BtnInstallSys->setEnabled(true);
    if (m_local->setFolder(p->LblInstDir2->text())) {
        p->BtnInstallAppli->setEnabled(true);
        m_local->showDriveOf(m_local->folder());
    }
}

void TransferSheets::ensureFolder(const QString& folder) {
    if (folder.isEmpty() || QFileInfo(folder).isDir() || !QFileInfo(folder).isAbsolute())
        return;
    if (QDir().mkpath(folder))
        m_session->log(QStringLiteral("Folder created : ") + QDir::toNativeSeparators(folder));
    else
        m_session->log(QStringLiteral("Cannot create directory ") + QDir::toNativeSeparators(folder));
}

void TransferSheets::PageFTPCtrlChange() {
    m_session->closeForSheetChange();
}

void TransferSheets::shutDown() {
    m_session->closeForShutdown();
}

void TransferSheets::DirecInstallChange() {
    m_browser->DirecInstallChange();
}

void TransferSheets::setChangeAttrBatch(std::function<void()> batch) {
    m_runner->ChangeAttrBatch = std::move(batch);
}

} // namespace vantor
