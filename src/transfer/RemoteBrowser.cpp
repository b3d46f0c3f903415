#include "RemoteBrowser.h"

#include "FtpSession.h"
#include "LocalFolderPanel.h"
#include "RepaintThrottle.h"
#include "TransferPanels.h"
#include "support/Guard.h"
#include "support/TQelBtn.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScopeGuard>

namespace vantor {

namespace {

const QString kParent = QStringLiteral("..");

// The hour-glass while the listing arrives, back to normal however it ends.
[[nodiscard]] auto busyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    return qScopeGuard([] { QApplication::restoreOverrideCursor(); });
}

} // namespace

RemoteBrowser::RemoteBrowser(FtpSession& session, TransferPanels& panels, LocalFolderPanel& local,
                             QObject* parent)
    : QObject(parent), m_session(session), m_panels(panels), m_local(local) {
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_panels.LblDstDir3, m_panels.ListDstDir, m_panels.ListDst})
        m_paint.append(new RepaintThrottle(widget, this));
    connect(&m_session, &FtpSession::listItem, this,
            [this](const QString& line) { swallowing([&] { FtpOS9ListItem(line); }); });
    connect(m_panels.ListDstDir, &QListWidget::itemDoubleClicked, this,
            [this] { guarded([this] { m_session.runExclusive([this] { ListDstDirDblClick(); }); }); });
    connect(m_panels.EdtDstDrv, &QLineEdit::textChanged, this,
            [this](const QString& text) { guarded([&] { EdtDstDrvChange(text); }); });
}

void RemoteBrowser::RefreshRemoteListing() {
    const bool binary = m_panels.RdoBinary->isChecked();
    m_session.checkAscii();
    for (RepaintThrottle* paint : std::as_const(m_paint))
        paint->aboutToChange();
    m_panels.LblDstDir3->setText(m_session.CurrentDir());
    {
        const auto cursor = busyCursor();
        m_panels.ListDstDir->clear();
        m_panels.ListDst->clear();
        m_parentEntry = m_panels.LblDstDir3->text() != m_panels.EdtDstDrv->text();
        if (m_parentEntry)
            m_panels.ListDstDir->addItem(kParent);
        m_session.List();
    }
    if (binary)
        m_session.checkBinary();
}

QString RemoteBrowser::RemoteLeafName() const {
    const QString dir = m_panels.LblDstDir3->text();
    return dir.mid(dir.lastIndexOf(QLatin1Char('/')) + 1);
}

void RemoteBrowser::FtpOS9ListItem(const QString& line) {
    m_session.log(line);
    const ListingEntry entry = classifyListingLine(line);
    if (entry.kind == ListingEntry::Kind::Folder)
        m_panels.ListDstDir->addItem(entry.name);
    else if (entry.kind == ListingEntry::Kind::File)
        m_panels.ListDst->addItem(entry.name);
}

void RemoteBrowser::ListDstDirDblClick() {
    const QListWidgetItem* item = m_panels.ListDstDir->currentItem();
    const QString entry = item ? item->text() : QString();
    if (entry.isEmpty())
        return;
    const QString current = m_session.CurrentDir();
    if (entry == kParent) {
        const qsizetype slash = current.lastIndexOf(QLatin1Char('/'));
        m_panels.LblDstDir3->setText(slash > 0 ? current.left(slash) : QStringLiteral("/"));
    } else {
        const QString base = current.endsWith(QLatin1Char('/')) ? current : current + QLatin1Char('/');
        m_panels.LblDstDir3->setText(base + entry);
    }
    m_session.ChangeDirAndWait(m_panels.LblDstDir3->text());
    RefreshRemoteListing();
}

bool RemoteBrowser::IsKnownDrive(const QString& text) {
    static const QStringList kDrives{QStringLiteral("/h0"), QStringLiteral("/m0"), QStringLiteral("/dd"),
                                     QStringLiteral("/h1"), QStringLiteral("/h6")};
    return text.size() == 3 && kDrives.contains(text);
}

void RemoteBrowser::EdtDstDrvChange(const QString& text) {
    if (!m_session.isConnected() || !IsKnownDrive(text))
        return;
    // Typed while another operation holds the connection: the device is taken at the next
    // opening or edit.
    m_session.runExclusive([&] {
        m_session.ChangeDirAndWait(text);
        RefreshRemoteListing();
    });
}

void RemoteBrowser::DirecInstallChange() {
    if (!m_panels.BtnFTPOpen->isChecked() || (RunUnderWay && RunUnderWay()))
        return;
    const QString folder = m_local.folder();
    if (FileTransferSheetShowing && FileTransferSheetShowing()) {
        m_panels.LblInstDir->setText(folder);
        m_panels.LblInstDir2->setText(folder);
        return;
    }
    const QString entry = m_local.selectedFolderEntry();
    if (entry == QLatin1String("System")) {
        m_panels.BtnInstallSys->setEnabled(true);
        m_panels.LblInstDir->setText(folder);
    } else if (entry == QLatin1String("Program")) {
        m_panels.BtnInstallAppli->setEnabled(true);
        m_panels.LblInstDir2->setText(folder);
    }
}

} // namespace vantor
