// The FTP session's synchronous operations: each starts a client operation and waits,
// pumping events, for the result event that ends it; the result events themselves, the
// progress of a transfer, the transfer check and the time-outs.

#include "FtpSession.h"

#include "support/Paths.h"
#include "support/Prompter.h"
#include "support/Wait.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QTimer>

Q_DECLARE_LOGGING_CATEGORY(lcSession)

namespace vantor {

namespace {

// A reply as the log shows it: one line, without its line end.
QString withoutLineEnd(QString reply) {
    while (reply.endsWith(QLatin1Char('\n')) || reply.endsWith(QLatin1Char('\r')))
        reply.chop(1);
    return reply;
}

} // namespace

void FtpSession::endWait(bool succeeded) {
    m_waitingForReply = false;
    m_lastOpSucceeded = succeeded;
}

// --- waits --------------------------------------------------------------------------------

void FtpSession::awaitResult(const std::function<bool()>& arrived, const QString& what) {
    if (pumpUntil(arrived, std::chrono::milliseconds(kResultLimitMs)))
        return;
    // The client's operations report before they return; a result that never came means
    // the state of the remote side is unknown, so the caller must not go on.
    endWait(false);
    showStatus(QStringLiteral("Time Out"));
    log(m_statusText);
    throw Error(what + QStringLiteral(" Time Out"));
}

void FtpSession::awaitTransferResult() {
    const auto remaining = [this] {
        return std::chrono::milliseconds(
            std::max<qint64>(0, QDateTime::currentDateTime().msecsTo(m_transferDeadline)));
    };
    pumpUntil([this] { return !m_waitingForReply; }, remaining());
    if (m_waitingForReply) {
        endWait(false);
        showStatus(QStringLiteral("Time Out"));
        log(m_statusText);
    }
}

// --- synchronous operations ---------------------------------------------------------------

void FtpSession::SetModeAndWait(int mode) {
    m_waitingForReply = true;
    showStatus(QStringLiteral("ModeSet : %1").arg(mode));
    refuseWhileClosing();
    m_ftpOS9->SetMode(mode);
    awaitResult([this] { return !m_waitingForReply; }, QStringLiteral("ModeSet :"));
}

void FtpSession::ChangeDirAndWait(const QString& directory) {
    m_waitingForReply = true;
    m_changeDirDone = false;
    showStatus(QStringLiteral("ChangeDir : ") + directory);
    refuseWhileClosing();
    m_ftpOS9->ChangeDir(directory);
    awaitResult([this] { return m_changeDirDone; }, QStringLiteral("ChangeDir : ") + directory);
}

void FtpSession::MakeDirAndWait(const QString& directory) {
    m_waitingForReply = true;
    showStatus(QStringLiteral("MakDir : ") + directory);
    refuseWhileClosing();
    m_ftpOS9->MakeDir(directory);
    awaitResult([this] { return !m_waitingForReply; }, QStringLiteral("MakDir : ") + directory);
}

void FtpSession::UploadAndWait(const QString& localFile) {
    const QString name = QFileInfo(localFile).fileName();
    transferAndWait(QStringLiteral("Upload : ") + name,
                    [&] { m_ftpOS9->Upload(localFile, paths::remoteNameFor(name)); });
}

void FtpSession::DownloadAndWait(const QString& fileName, const QString& localFolder) {
    // A listing names the file; it must not name where on this machine it lands.
    if (!paths::isPlainRemoteName(fileName))
        throw Error(QStringLiteral("Not a plain file name: ") + fileName);
    transferAndWait(QStringLiteral("Download : ") + fileName, [&] {
        m_ftpOS9->Download(fileName, paths::join(localFolder, paths::localNameFor(fileName)));
    });
}

void FtpSession::transferAndWait(const QString& what, const std::function<void()>& transfer) {
    m_waitingForReply = true;
    m_lastOpSucceeded = false;
    showStatus(what);
    log(m_statusText);
    refuseWhileClosing();
    {
        m_transferInFlight = true;
        const auto returned = qScopeGuard([this] { m_transferInFlight = false; });
        transfer();
    }
    m_transferDeadline = QDateTime::currentDateTime().addMSecs(kResultLimitMs);
    ++m_transferCounter;
    awaitTransferResult();
}

bool FtpSession::CheckTransferOk() {
    if (!m_lastOpSucceeded && !m_shuttingDown)
        Prompter::current().error(QStringLiteral("Can't transfer file"));
    return m_lastOpSucceeded;
}

QString FtpSession::CurrentDir() {
    refuseWhileClosing();
    return m_ftpOS9->CurrentDir();
}

void FtpSession::List() {
    refuseWhileClosing();
    m_ftpOS9->ParseList = true;
    m_ftpOS9->Vendor = VendorDetect;
    m_ftpOS9->List();
}

// --- result events ------------------------------------------------------------------------

void FtpSession::FtpOS9Error(quint16 errnum, const QString& errmsg) {
    showStatus(QString());
    if (m_waitingForReply)
        endWait(false);
    showStatus(QStringLiteral("Error %1: %2").arg(errnum).arg(errmsg));
    log(m_statusText);
}

void FtpSession::FtpOS9Success(TCmdType type) {
    if (m_waitingForReply) {
        endWait(true);
        showProgress(QString());
    }
    if (type == ctChangeDir) {
        showStatus(QStringLiteral("ChangeDir success"));
        m_changeDirDone = true;
    } else if (type == ctList) {
        showStatus(QStringLiteral("List success"));
        m_changeDirDone = false;
    } else if (type <= ctDoCommand) {
        showStatus(CmdTypeName(type) + QStringLiteral(" success"));
    }
    log(m_statusText);
}

void FtpSession::FtpOS9Failure(bool& handled, TCmdType type) {
    showStatus(QString());
    if (m_waitingForReply)
        endWait(false);
    if (type == ctDoCommand) {
        showStatus(QStringLiteral("DoCommand failure:") + withoutLineEnd(m_ftpOS9->LastReply()));
        handled = true;
    } else {
        showStatus(CmdTypeName(type) + QStringLiteral(" failure"));
        handled = type == ctMakeDir;
    }
    log(m_statusText);
}

// --- progress and the transfer check ------------------------------------------------------

void FtpSession::FtpOS9PacketRecvd() {
    const qint64 received = m_ftpOS9->ReceivedCount();
    const qint64 size = m_ftpOS9->TransferSize();
    showProgress(QStringLiteral("%1 of %2").arg(received).arg(size));
    if (received == size && m_transferInFlight) {
        m_checkTag = m_transferCounter;
        if (!m_timerTrnsCheck->isActive())
            m_timerTrnsCheck->start();
    }
}

void FtpSession::FtpOS9PacketSent() {
    showProgress(QStringLiteral("%1 of %2").arg(m_ftpOS9->SentCount()).arg(m_ftpOS9->TransferSize()));
}

void FtpSession::TimerTrnsCheckTimer() {
    m_timerTrnsCheck->stop();
    // Only the transfer that armed the timer may be failed by it, and only while its call
    // has not returned: TransferCounter moves on when it does.
    if (!m_transferInFlight || m_checkTag != m_transferCounter)
        return;
    qCDebug(lcSession) << "transfer check fired" << m_ftpOS9->ReceivedCount() << m_ftpOS9->TransferSize();
    log(QStringLiteral("FTP Time Out... %1/%2").arg(m_ftpOS9->ReceivedCount()).arg(m_ftpOS9->TransferSize()));
    endWait(false);
    showProgress(QString());
}

} // namespace vantor
