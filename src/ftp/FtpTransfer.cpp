// The four transfers (LIST, NLST, RETR, STOR): the data connection, the command, the data
// phase and the completion reply, and what happens when any of them never comes.
#include "FtpClient.h"

#include "FtpClientDetail.h"
#include "ReplacingFile.h"
#include "support/Wait.h"

#include <QFile>
#include <QFileInfo>

#include <exception>

namespace vantor {

using namespace ftpdetail;

// What sets the four transfers apart.
struct TFtpClient::TransferKind {
    enum class Data { Lines, Capture, Send };
    TCmdType type;
    const char* verb;
    bool parsesListing;       // the lines go to DirectoryList() too (when ParseList is set)
    bool startsBeforeAccept;  // OnTransactionStart before the server connects, else after
    Data data;                // listing lines in, a file in, or a file out
    bool failureMayBeHandled; // a refusal asks OnFailure before it is raised
    bool reportsUnsupported;  // a 500-502 refusal of the command fires OnUnSupportedFunction
    bool drainsWhenCancelled; // a cancelled transfer reads what the server says about it
};

namespace {
using Kind = TFtpClient::TransferKind;
// clang-format off
//                            type        verb    parses start  data                 handled unsupp. drains
constexpr Kind kListKind     {ctList,     "LIST", true,  true,  Kind::Data::Lines,   true,   true,   false};
constexpr Kind kNListKind    {ctNList,    "NLST", false, false, Kind::Data::Lines,   false,  false,  true};
constexpr Kind kDownloadKind {ctDownload, "RETR", false, false, Kind::Data::Capture, true,   false,  true};
constexpr Kind kUploadKind   {ctUpload,   "STOR", false, false, Kind::Data::Send,    true,   true,   false};
// clang-format on
} // namespace

// The data connection of one transfer. Its waits end when the control connection is lost
// and, until the server has connected, when the server gives up on the transfer.
class TFtpClient::TransferChannel final : public TAsyncSocket {
public:
    explicit TransferChannel(const TFtpClient& client) : m_client(client) {}

    bool serverConnected = false;

    // Waits for the next listing line; false once the listing has ended.
    bool nextListingLine(QString& line) {
        waitUntil([this] { return BufferedCount() > 0 || !IsConnected() || CancelRequested(); },
                  DataAwaited(), true);
        if (CancelRequested())
            throw EAbortError(QStringLiteral("Socket readln aborted"));
        if (BufferedCount() == 0)
            return false; // closed and read to its end
        line = ReadLn();
        return true;
    }
    using TAsyncSocket::setCounting;

protected:
    QString WaitAbandoned() const override { return m_client.transferAbandoned(serverConnected); }
    QString LineAwaited() const override { return QStringLiteral("a listing line"); }

private:
    const TFtpClient& m_client;
};

// One transfer as it runs: what was asked and what came of it.
struct TFtpClient::TransferRun {
    explicit TransferRun(const TransferKind& k) : kind(k) {}
    const TransferKind& kind;
    QString command;  // as sent
    QString reported; // as reported (an upload names its whole local path)
    QString localFile;
    TransferChannel* data = nullptr;
    std::unique_ptr<ReplacingFile> target; // a download's data until it is confirmed
    qint64 announced = 0;                  // the size a download's reply announced
    QString refusal;                       // a failure reply that came instead of the data connection
    QString dataError;                     // the data connection broke before its end
    QString localError;                    // the received data could not be written
    QString completionReply;               // empty when it was not read (cancelled)
};

void TFtpClient::List() {
    transfer(kListKind, QString(), QString());
}

void TFtpClient::NList() {
    transfer(kNListKind, QString(), QString());
}

void TFtpClient::Download(const QString& remoteFile, const QString& localFile) {
    transfer(kDownloadKind, remoteFile, localFile);
}

void TFtpClient::Upload(const QString& localFile, const QString& remoteFile) {
    transfer(kUploadKind, remoteFile, localFile);
}

void TFtpClient::prepareParser() {
    if (!ParseList)
        return;
    if (!m_directoryList) {
        if (Vendor == VendorDetect) {
            try {
                DoCommand(QStringLiteral("SYST"));
            } catch (const std::exception&) {
                // An unknown system is parsed as a UNIX one; a session that is gone is not.
                if (!IsConnected())
                    throw;
            }
            Vendor = VendorFromSystReply(LastReply());
        }
        m_directoryList = TFTPDirectoryList::ForVendor(Vendor);
    }
    if (m_directoryList)
        m_directoryList->ClearLists();
}

// The server has nothing to send once the session is gone; before it has connected, a
// 421/426 or any other failure reply means it will not.
QString TFtpClient::transferAbandoned(bool serverConnected) const {
    if (!IsConnected())
        return kControlLost;
    if (serverConnected)
        return {};
    if (m_serverAbortSeen)
        return kAbortedByServer;
    if (failureReplyWaiting())
        return kRefusedMeanwhile;
    return {};
}

void TFtpClient::transfer(const TransferKind& kind, const QString& remoteFile, const QString& localFile) {
    TransferRun run(kind);
    run.command = QLatin1String(kind.verb);
    run.localFile = localFile;
    if (kind.data == TransferKind::Data::Capture) {
        run.command += QLatin1Char(' ') + remoteFile;
        if (run.localFile.isEmpty())
            run.localFile = QFile::decodeName(remoteFileName(remoteFile).toLatin1());
    } else if (kind.data == TransferKind::Data::Send) {
        run.command += QLatin1Char(' ') + (remoteFile.isEmpty() ? remoteNameOf(localFile) : remoteFile);
        run.reported = QStringLiteral("STOR ") + (remoteFile.isEmpty() ? localFile : remoteFile);
    }
    if (run.reported.isEmpty())
        run.reported = run.command;
    refuseLineBreak(run.command);

    clearCancel();
    m_serverAbortSeen = false;
    CheckConnected();

    std::exception_ptr error;
    bool dataTimedOut = false;
    {
        TransferChannel data(*this);
        m_data = &data;
        run.data = &data;
        try {
            openDataChannel(run);
            sendCommand(run);
            runDataPhase(run);
            if (run.refusal.isEmpty())
                readCompletion(run);
        } catch (...) {
            error = std::current_exception();
            dataTimedOut = data.LastWaitTimedOut();
        }
        run.data = nullptr;
        m_data = nullptr;
    } // the data connection is freed here, before any result event
    if (dataTimedOut)
        dropOutOfStepSession();
    finishTransfer(run, error);
}

// Listening for the server's connection, the local file, and PORT.
void TFtpClient::openDataChannel(TransferRun& run) {
    TransferChannel& data = *run.data;
    if (BufferedCount() > 0)
        Read(0);
    if (run.kind.parsesListing)
        prepareParser();

    data.TimeOut = TimeOut;
    data.Port = 0;
    data.AcceptOnlyFrom = RemoteAddress();
    // What the data connection has to say about the protocol (a stranger turned away) is
    // part of this client's own traffic.
    data.ReportLevel = 1;
    data.OnStatus = [this](TAsyncSocket*, const QString& text) { ReportStatus(1, text); };
    data.Listen(true);

    if (run.kind.data == TransferKind::Data::Send) {
        QFile file(run.localFile);
        if (!file.open(QIODevice::ReadOnly))
            throw FileError(QStringLiteral("Cannot open %1: %2").arg(run.localFile, file.errorString()));
        setTransferSize(file.size());
    } else if (run.kind.data == TransferKind::Data::Capture) {
        // The data goes to a temporary file beside the target, which it replaces only
        // once the server has confirmed the whole transfer.
        run.target = std::make_unique<ReplacingFile>(run.localFile);
        if (!run.target->open())
            throw FileError(
                QStringLiteral("Cannot create %1: %2").arg(run.localFile, run.target->errorString()));
    }

    const QString port = QStringLiteral("PORT ") + LocalAddressText() + data.LocalPortText();
    ReportStatus(1, port);
    Transaction(port);
    if (isFailureAfterLogin(ReplyCode())) {
        if (!run.kind.failureMayBeHandled || !failureHandled(run.kind.type))
            throw FTPException(LastReply());
    }
}

// The transfer command and its reply, read whole before it is judged.
void TFtpClient::sendCommand(TransferRun& run) {
    TransferChannel& data = *run.data;
    if (run.kind.data == TransferKind::Data::Capture && OnPacketRecvd)
        data.OnPacketRecvd = OnPacketRecvd;
    if (run.kind.data == TransferKind::Data::Send && OnPacketSent)
        data.OnPacketSent = OnPacketSent;

    ReportStatus(1, run.reported);
    if (run.kind.data == TransferKind::Data::Capture) {
        // The size may be announced on any line of the reply; the first one that has it counts.
        setTransferSize(0);
        QStringList rest;
        transact(run.command, &rest);
        qint64 size = SizeFromReply(LastReply());
        for (const QString& line : rest)
            if (size == 0)
                size = SizeFromReply(line);
        setTransferSize(size);
        run.announced = size;
    } else {
        Transaction(run.command);
    }
    if (isFailureAfterLogin(ReplyCode())) {
        if (!run.kind.failureMayBeHandled)
            throw FTPException(LastReply());
        if (run.kind.reportsUnsupported && OnUnSupportedFunction && ReplyCode() >= 500 && ReplyCode() <= 502)
            OnUnSupportedFunction(run.kind.type);
        if (!failureHandled(run.kind.type))
            throw FTPException(LastReply());
    }
    if (run.kind.data == TransferKind::Data::Lines)
        setTransferSize(SizeFromReply(LastReply()));
}

// The server's connection, the data itself, and the close.
void TFtpClient::runDataPhase(TransferRun& run) {
    TransferChannel& data = *run.data;
    if (run.kind.startsBeforeAccept && OnTransactionStart)
        OnTransactionStart(this);
    // A server that cannot reach the announced port says so on the control connection
    // (425, say): its reply ends the wait for the data connection at once.
    QTcpSocket* accepted = nullptr;
    try {
        accepted = data.Accept();
    } catch (const EAbortError&) {
        throw;
    } catch (const ESockError&) {
        if (m_serverAbortSeen || !failureReplyWaiting())
            throw;
        run.refusal = readReply();
        return;
    }
    data.UseAcceptedSocket(accepted);
    // From here a 421/426 lets the data phase run to its end; only a lost session stops it.
    data.serverConnected = true;
    if (!run.kind.startsBeforeAccept && OnTransactionStart)
        OnTransactionStart(this);

    if (!CancelRequested() && !TimedOut()) {
        try {
            moveData(run);
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError& e) {
            // Still connected: nothing moved for TimeOut, or the session is gone; both end
            // the transfer at once. A data connection the server broke is judged below
            // together with the server's reply.
            if (data.IsConnected() || !IsConnected())
                throw;
            run.dataError = e.message();
        }
        if (run.dataError.isEmpty() && run.localError.isEmpty() && data.LastSocketError() != 0)
            run.dataError = SocketErrorMessage(data.LastSocketError());
        // A reset data connection looks like a normal end at this level; fewer bytes than
        // the server announced is what gives it away. (More is normal: ASCII line ends.)
        if (run.dataError.isEmpty() && run.announced > 0 && data.ReceivedCount() < run.announced)
            run.dataError = QStringLiteral("Received %1 of the %2 bytes announced")
                                .arg(data.ReceivedCount())
                                .arg(run.announced);
    }
    if (OnTransactionStop)
        OnTransactionStop(this);
    // Closing is graceful, so the last bytes of an upload still reach the server.
    data.RequestCloseSocket();
    if (run.kind.data != TransferKind::Data::Send) {
        setTransferSize(data.ReceivedCount());
        ReportStatus(1, QStringLiteral("Received %1 Bytes").arg(data.ReceivedCount()));
    }
}

void TFtpClient::moveData(TransferRun& run) {
    TransferChannel& data = *run.data;
    switch (run.kind.data) {
    case TransferKind::Data::Lines: {
        data.setCounting(true);
        QString line;
        while (data.nextListingLine(line)) {
            line = StripListingLineEnd(line);
            if (run.kind.parsesListing && ParseList && m_directoryList)
                m_directoryList->ParseLine(line);
            if (OnListItem)
                OnListItem(line);
        }
        data.setCounting(false);
        break;
    }
    case TransferKind::Data::Capture:
        try {
            data.CaptureFile(run.target->device());
        } catch (const FileError&) {
            // The server goes on with its side of the transfer and answers it: the data
            // connection is closed and that answer read, so the session stays in step for
            // the next command.
            run.localError = run.target->device().errorString();
        }
        break;
    case TransferKind::Data::Send:
        data.SendFile(run.localFile);
        // The server answers once it has every byte: on a slow link the system may still
        // hold many of them, and the wait for the answer starts only when they have arrived.
        data.WaitDelivered();
        break;
    }
}

void TFtpClient::readCompletion(TransferRun& run) {
    if (!CancelRequested() && !TimedOut())
        run.completionReply = readReply();
}

// Judges the transfer once its data connection is gone: OnSuccess only for data that moved
// completely and was confirmed by the server.
void TFtpClient::finishTransfer(TransferRun& run, std::exception_ptr error) {
    const TCmdType type = run.kind.type;
    const bool serverAborted = m_serverAbortSeen;
    m_serverAbortSeen = false;
    QString drained;
    if (serverAborted || (CancelRequested() && run.kind.drainsWhenCancelled))
        drained = DrainAfterAbort();

    if (!run.refusal.isEmpty()) {
        raiseReplyFailure(type, run.refusal);
        return;
    }
    if (serverAborted) {
        // The server aborted the transfer (421/426) while the data phase ran: whatever
        // arrived is not the whole, and its reason is the failure to report.
        const QString reply = firstLine(drained);
        if (reply.isEmpty()) {
            if (error)
                std::rethrow_exception(error);
            throw ESockError(kAbortedByServer);
        }
        raiseReplyFailure(type, reply);
        return;
    }
    if (error)
        std::rethrow_exception(error);
    if (!run.localError.isEmpty())
        throw FileError(QStringLiteral("Cannot write %1: %2").arg(run.localFile, run.localError));
    if (run.completionReply.isEmpty()) {
        clearCancel();
        throw EAbortError(QStringLiteral("Transfer aborted"));
    }
    const int completion = ReplyCodeOf(run.completionReply);
    if (completion >= 400 && completion < 600) {
        raiseReplyFailure(type, run.completionReply);
        return;
    }
    if (!run.dataError.isEmpty()) {
        // The server confirmed a transfer whose data connection broke: do not believe it.
        if (!failureHandled(type))
            throw ESockError(run.dataError);
        return;
    }
    if (run.target && !run.target->commit())
        throw FileError(QStringLiteral("Cannot write %1: %2").arg(run.localFile, run.target->errorString()));
    if (OnSuccess)
        OnSuccess(type);
}

} // namespace vantor
