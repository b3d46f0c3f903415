#include "FtpClient.h"

#include "ReplacingFile.h"
#include "support/Wait.h"

#include <QFile>
#include <QFileInfo>

#include <exception>
#include <limits>

namespace vantor {

namespace {

using namespace std::chrono_literals;

// How long a transfer that the server aborted waits for the server's reason.
constexpr std::chrono::milliseconds kDrainLimit{950};
// A QUIT from the destructor must not hold up the program for ever.
constexpr int kQuitLimitWithoutTimeOut = 5000;

const QString kControlLost = QStringLiteral("Control connection closed by peer");

// A reply whose continuation lines add up to more than this is no reply: the peer is broken
// or hostile, and reading on would never end while it keeps talking.
constexpr qsizetype kMaxReplyBytes = 1024 * 1024;

// The first line of every reply starts with its three-digit code.
bool isReplyCode(int code) {
    return code >= 100 && code <= 599;
}

// A line that does not start with a reply code is no answer to what was asked: taking it as
// one would report a command as done that the peer never confirmed.
void requireReplyCode(const QString& line) {
    if (!isReplyCode(TAsyncSocket::ReplyCodeOf(line))) {
        QString shown = line.left(80).trimmed();
        for (QChar& c : shown)
            if (c.unicode() < 32 || c == QChar(127))
                c = QLatin1Char('?');
        throw ESockError(QStringLiteral("Not an FTP reply: \"%1\"").arg(shown));
    }
}

// Marks the span in which a reply is awaited on the control connection.
class ReplyScope {
public:
    explicit ReplyScope(bool& flag) : m_flag(flag), m_was(flag) { m_flag = true; }
    ~ReplyScope() { m_flag = m_was; }
    ReplyScope(const ReplyScope&) = delete;
    ReplyScope& operator=(const ReplyScope&) = delete;

private:
    bool& m_flag;
    bool m_was;
};

bool isFailureAfterLogin(int code) {
    return code > 300 && code < 600;
}

QString firstLine(const QString& text) {
    const qsizetype lf = text.indexOf(QLatin1Char('\n'));
    return lf < 0 ? text : text.left(lf + 1);
}

// The last part of a remote path: what a download names its local file after when the
// caller gave none. A remote path never decides where on this machine a file lands.
QString remoteFileName(const QString& remote) {
    const qsizetype slash = remote.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? remote : remote.mid(slash + 1);
}

// Remote names are byte strings (one char per byte) and local ones are the platform's: a
// name taken from one side for the other is converted through the local file-name encoding,
// so "été.bin" on disk is sent as the bytes it has on disk, not as Latin-1 or as "?".
QString remoteNameOf(const QString& localFile) {
    return QString::fromLatin1(QFile::encodeName(QFileInfo(localFile).fileName()));
}

} // namespace

QString CmdTypeName(TCmdType type) {
    static const char* const kNames[] = {
        "ChangeDir",     "MakeDir",         "Delete",    "RemoveDir",  "List",         "Rename",
        "UploadRestore", "DownloadRestore", "Download",  "Upload",     "UploadAppend", "ReInit",
        "Allocate",      "NList",           "DoCommand", "CurrentDir",
    };
    return type <= ctCurrentDir ? QLatin1String(kNames[type]) : QString();
}

struct TFtpClient::TransferResult {
    QString completionReply; // empty when it was not read (cancelled)
    QString dataError;       // the data connection broke before its end
    std::unique_ptr<ReplacingFile> target;
};

TFtpClient::TFtpClient(QObject* owner) : TAsyncSocket(owner) {
    Port = 21;
    DataArrivalHook = [this](TAsyncSocket* sender) { CheckTransferAbort(sender); };
}

TFtpClient::~TFtpClient() {
    // The owner is going away: none of its handlers may run any more.
    OnDisconnect = nullptr;
    OnConnect = nullptr;
    OnStatus = nullptr;
    OnError = nullptr;
    OnConnectionFailed = nullptr;
    OnPacketRecvd = nullptr;
    OnPacketSent = nullptr;
    OnSuccess = nullptr;
    OnFailure = nullptr;
    OnListItem = nullptr;
    OnUnSupportedFunction = nullptr;
    OnTransactionStart = nullptr;
    OnTransactionStop = nullptr;
    Cancel();
    if (IsConnected()) {
        if (TimeOut <= 0)
            TimeOut = kQuitLimitWithoutTimeOut;
        try {
            Disconnect();
        } catch (...) {
        }
    }
    m_directoryList.reset();
}

qint64 TFtpClient::ReceivedCount() const {
    return m_data ? m_data->ReceivedCount() : 0;
}

qint64 TFtpClient::SentCount() const {
    return m_data ? m_data->SentCount() : 0;
}

// --- pure helpers ---------------------------------------------------------------------

TCmdType TFtpClient::CommandTypeOf(const QString& command) {
    const qsizetype space = command.indexOf(QLatin1Char(' '));
    const QString word = (space < 0 ? command : command.left(space)) + QLatin1Char(' ');
    if (word == QLatin1String("CWD "))
        return ctChangeDir;
    if (word == QLatin1String("DELE "))
        return ctDelete;
    if (word == QLatin1String("MKD "))
        return ctMakeDir;
    if (word == QLatin1String("RMD "))
        return ctRemoveDir;
    if (command == QLatin1String("PWD"))
        return ctCurrentDir;
    return ctDoCommand;
}

qint64 TFtpClient::SizeFromReply(const QString& line) {
    const QString upper = line.toUpper();
    const qsizetype byteAt = upper.indexOf(QLatin1String("BYTE"));
    if (byteAt < 0)
        return 0;
    const auto isDigit = [&](qsizetype i) {
        return upper.at(i) >= QLatin1Char('0') && upper.at(i) <= QLatin1Char('9');
    };
    qsizetype last = byteAt - 1;
    while (last >= 0 && !isDigit(last))
        --last;
    if (last < 0)
        return 0;
    qsizetype first = last;
    while (first > 0 && isDigit(first - 1))
        --first;
    bool ok = false;
    const qlonglong value = upper.mid(first, last - first + 1).toLongLong(&ok);
    if (!ok || value > std::numeric_limits<qint32>::max())
        return 0;
    return value;
}

QString TFtpClient::StripListingLineEnd(const QString& line) {
    if (line.size() <= 2 || !line.endsWith(QLatin1Char('\n')))
        return line;
    const bool crlf = line.at(line.size() - 2) == QLatin1Char('\r');
    return line.left(line.size() - (crlf ? 2 : 1));
}

bool TFtpClient::IsContinuation(const QString& line) {
    if (line.isEmpty())
        return false;
    return line.at(0) == QLatin1Char(' ') || (line.size() >= 4 && line.at(3) == QLatin1Char('-'));
}

bool TFtpClient::HoldsLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QChar(0));
}

// --- control session ----------------------------------------------------------------------

void TFtpClient::refuseLineBreak(const QString& text) const {
    // The server would take what follows a line break as a command of its own.
    if (HoldsLineBreak(text))
        throw Error(QStringLiteral("Line break in FTP command or name refused"));
}

void TFtpClient::WaitTimedOut() {
    dropOutOfStepSession();
}

// After a time-out the server may still answer what it was asked, and that late reply would
// be taken for the answer to the next command. The session is closed instead (no QUIT: it
// would only wait for the same silent server once more).
void TFtpClient::dropOutOfStepSession() {
    if (!IsConnected())
        return;
    m_directoryList.reset();
    Vendor = VendorDetect;
    TAsyncSocket::Disconnect();
}

QString TFtpClient::readReplyLine() {
    ReplyScope scope(m_readingReply);
    return ReadLn();
}

void TFtpClient::SkipContinuation(const QString& line) {
    QString last = line;
    qsizetype total = line.size();
    while (IsContinuation(last)) {
        last = readContinuationLine(total);
        ReportStatus(1, last);
    }
}

QString TFtpClient::readContinuationLine(qsizetype& total) {
    const QString line = readReplyLine();
    total += line.size();
    if (total > kMaxReplyBytes)
        throw ESockError(QStringLiteral("Reply too long from peer"));
    return line;
}

QString TFtpClient::Transaction(const QString& command) {
    ReplyScope scope(m_readingReply);
    const QString first = TAsyncSocket::Transaction(command);
    requireReplyCode(first);
    SkipContinuation(first);
    return first;
}

void TFtpClient::CheckTransferAbort(TAsyncSocket*) {
    // A 421/426 that arrives while a reply is awaited is that reply and is read as such.
    if (m_readingReply || BufferedCount() < 4)
        return;
    const char* front = m_in.constData() + m_inPos;
    if (qstrncmp(front, "421", 3) == 0 || qstrncmp(front, "426", 3) == 0) {
        m_serverAbortSeen = true;
        Cancel();
    }
}

QString TFtpClient::DrainAfterAbort() {
    clearCancel();
    QElapsedTimer since;
    since.start();
    pumpUntil([this] { return BufferedCount() > 0; }, kDrainLimit);
    if (BufferedCount() > 0) {
        // The reply may come in pieces; let its line end arrive within the same bound.
        const auto left =
            std::chrono::milliseconds(std::max<qint64>(0, kDrainLimit.count() - since.elapsed()));
        pumpUntil([this] { return peekInput().contains('\n'); }, left);
    }
    const QString got = Read(0);
    if (!got.isEmpty())
        ReportStatus(1, got);
    return got;
}

void TFtpClient::Abort() {
    if (m_data)
        m_data->Cancel();
}

void TFtpClient::Connect() {
    clearCancel();
    if (IsConnected())
        return;
    if (!UserID.isEmpty())
        refuseLineBreak(UserID);
    if (!Password.isEmpty())
        refuseLineBreak(Password);
    discardInput();
    TAsyncSocket::Connect();
    try {
        const QString greeting = readReplyLine();
        ReportStatus(1, greeting);
        if (!isReplyCode(ReplyCodeOf(greeting))) {
            // Something else listens on that port (or the server is broken): no login.
            if (OnConnectionFailed)
                OnConnectionFailed(this);
            requireReplyCode(greeting);
        }
        SkipContinuation(greeting);
        // A server that refuses service says so in its greeting; sending USER would only
        // hide its reason behind a closed connection.
        const int greetingCode = ReplyCodeOf(greeting);
        if (greetingCode >= 400 && greetingCode < 600) {
            setLastReply(greeting);
            setReplyCode(qint16(greetingCode));
            if (OnConnectionFailed)
                OnConnectionFailed(this);
            throw FTPException(greeting);
        }
        if (UserID.isEmpty() || Password.isEmpty()) {
            bool handled = false;
            if (OnAuthenticationNeeded)
                OnAuthenticationNeeded(handled);
        }
        refuseLineBreak(UserID);
        refuseLineBreak(Password);
        ReportStatus(1, QStringLiteral("USER ") + UserID);
        Transaction(Proxy.isEmpty() ? QStringLiteral("USER ") + UserID
                                    : QStringLiteral("USER ") + UserID + QLatin1Char('@') + Host);
        const auto refused = [this] { return ReplyCode() > 400 && ReplyCode() < 600; };
        if (refused()) {
            if (OnConnectionFailed)
                OnConnectionFailed(this);
            throw FTPException(LastReply());
        }
        if (ReplyCode() == 331) {
            ReportStatus(1, QStringLiteral("PASS ")); // the password never shows in a status
            Transaction(QStringLiteral("PASS ") + Password);
            if (refused()) {
                if (OnConnectionFailed)
                    OnConnectionFailed(this);
                throw FTPException(LastReply());
            }
        }
        if (OnConnect)
            OnConnect(this);
    } catch (...) {
        try {
            Disconnect();
        } catch (...) {
            // The login's own failure is the one to report.
        }
        ReportStatus(1, QStringLiteral("Disconnected"));
        throw;
    }
}

void TFtpClient::Disconnect() {
    clearCancel();
    if (!IsConnected())
        return;
    ReportStatus(1, QStringLiteral("QUIT"));
    m_directoryList.reset();
    Vendor = VendorDetect;
    if (BufferedCount() > 0)
        Read(0);
    try {
        Transaction(QStringLiteral("QUIT"));
        if (isFailureAfterLogin(ReplyCode()))
            throw FTPException(LastReply());
    } catch (...) {
        TAsyncSocket::Disconnect();
        throw;
    }
    TAsyncSocket::Disconnect();
}

bool TFtpClient::failureHandled(TCmdType type) {
    if (!OnFailure)
        return false;
    bool handled = false;
    OnFailure(handled, type);
    return handled;
}

void TFtpClient::raiseReplyFailure(TCmdType type, const QString& reply) {
    setLastReply(reply);
    setReplyCode(ReplyCodeOf(reply));
    if (!failureHandled(type))
        throw FTPException(reply);
}

void TFtpClient::DoCommand(const QString& command) {
    const TCmdType type = CommandTypeOf(command);
    refuseLineBreak(command);
    clearCancel();
    CheckConnected();
    ReportStatus(1, command);
    if (BufferedCount() > 0)
        Read(0);
    Transaction(command);
    const int code = ReplyCode();
    if (code >= 400 && code < 600) {
        if (OnUnSupportedFunction && code >= 500 && code <= 502)
            OnUnSupportedFunction(type);
        if (!failureHandled(type))
            throw FTPException(LastReply());
        return;
    }
    if (OnSuccess)
        OnSuccess(type);
}

void TFtpClient::ChangeDir(const QString& directory) {
    DoCommand(QStringLiteral("CWD ") + directory);
}

void TFtpClient::MakeDir(const QString& directory) {
    DoCommand(QStringLiteral("MKD ") + directory);
}

QString TFtpClient::CurrentDir() {
    DoCommand(QStringLiteral("PWD"));
    const QString& reply = LastReply();
    const qsizetype open = reply.indexOf(QLatin1Char('"'));
    if (open < 0)
        return {};
    const qsizetype close = reply.indexOf(QLatin1Char('"'), open + 1);
    if (close < 0)
        return {};
    return reply.mid(open + 1, close - open - 1);
}

void TFtpClient::SetMode(int mode) {
    switch (mode) {
    case tmAscii:
        DoCommand(QStringLiteral("TYPE A"));
        break;
    case tmImage:
        DoCommand(QStringLiteral("TYPE I"));
        break;
    case tmLocal8:
        DoCommand(QStringLiteral("TYPE L 8"));
        break;
    default:
        break;
    }
}

// --- transfers ---------------------------------------------------------------------------

void TFtpClient::List() {
    transfer(ctList, QString(), QString());
}

void TFtpClient::NList() {
    transfer(ctNList, QString(), QString());
}

void TFtpClient::Download(const QString& remoteFile, const QString& localFile) {
    transfer(ctDownload, remoteFile, localFile);
}

void TFtpClient::Upload(const QString& localFile, const QString& remoteFile) {
    transfer(ctUpload, remoteFile, localFile);
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

void TFtpClient::transfer(TCmdType type, const QString& remoteFile, const QString& localFile) {
    QString command;
    QString reported;
    QString local = localFile;
    switch (type) {
    case ctList:
        command = QStringLiteral("LIST");
        break;
    case ctNList:
        command = QStringLiteral("NLST");
        break;
    case ctDownload:
        command = QStringLiteral("RETR ") + remoteFile;
        if (local.isEmpty())
            local = QFile::decodeName(remoteFileName(remoteFile).toLatin1());
        break;
    default: // ctUpload
        command =
            QStringLiteral("STOR ") + (remoteFile.isEmpty() ? remoteNameOf(localFile) : remoteFile);
        reported = QStringLiteral("STOR ") + (remoteFile.isEmpty() ? localFile : remoteFile);
        break;
    }
    if (reported.isEmpty())
        reported = command;
    refuseLineBreak(command);

    clearCancel();
    m_serverAbortSeen = false;
    CheckConnected();

    TransferResult result;
    std::exception_ptr error;
    bool dataTimedOut = false;
    {
        TAsyncSocket data;
        data.LineWaitName = QStringLiteral("a listing line");
        m_data = &data;
        try {
            transferSteps(type, command, reported, local, result);
        } catch (...) {
            error = std::current_exception();
            dataTimedOut = data.m_lastWaitTimedOut;
        }
        m_data = nullptr;
    } // the data connection is freed here, before any result event
    if (dataTimedOut)
        dropOutOfStepSession();

    const bool serverAborted = m_serverAbortSeen;
    m_serverAbortSeen = false;
    QString drained;
    if (serverAborted || (CancelRequested() && (type == ctDownload || type == ctNList)))
        drained = DrainAfterAbort();

    if (serverAborted) {
        // The server aborted the transfer (421/426) while the data phase ran: whatever
        // arrived is not the whole, and its reason is the failure to report.
        const QString reply = firstLine(drained);
        if (reply.isEmpty()) {
            if (error)
                std::rethrow_exception(error);
            throw ESockError(QStringLiteral("Transfer aborted by the server"));
        }
        raiseReplyFailure(type, reply);
        return;
    }
    if (error)
        std::rethrow_exception(error);
    if (result.completionReply.isEmpty()) {
        clearCancel();
        throw EAbortError(QStringLiteral("Transfer aborted"));
    }
    const int completion = ReplyCodeOf(result.completionReply);
    if (completion >= 400 && completion < 600) {
        raiseReplyFailure(type, result.completionReply);
        return;
    }
    if (!result.dataError.isEmpty()) {
        // The server confirmed a transfer whose data connection broke: do not believe it.
        if (!failureHandled(type))
            throw ESockError(result.dataError);
        return;
    }
    if (result.target && !result.target->commit())
        throw FileError(QStringLiteral("Cannot write %1: %2").arg(local, result.target->errorString()));
    if (OnSuccess)
        OnSuccess(type);
}

void TFtpClient::transferSteps(TCmdType type, const QString& command, const QString& reported,
                               const QString& localFile, TransferResult& r) {
    TAsyncSocket& data = *m_data;
    if (BufferedCount() > 0)
        Read(0);
    if (type == ctList)
        prepareParser();

    data.TimeOut = TimeOut;
    data.Port = 0;
    // The server has nothing to send once the session is gone or it aborted the transfer.
    data.WaitAbandoned = [this]() -> QString {
        if (!IsConnected())
            return kControlLost;
        if (m_serverAbortSeen)
            return QStringLiteral("Transfer aborted by the server");
        return {};
    };
    data.Listen(true);

    if (type == ctUpload) {
        QFile file(localFile);
        if (!file.open(QIODevice::ReadOnly))
            throw FileError(QStringLiteral("Cannot open %1: %2").arg(localFile, file.errorString()));
        setTransferSize(file.size());
    } else if (type == ctDownload) {
        // The data goes to a temporary file beside the target, which it replaces only
        // once the server has confirmed the whole transfer.
        r.target = std::make_unique<ReplacingFile>(localFile);
        if (!r.target->open())
            throw FileError(QStringLiteral("Cannot create %1: %2").arg(localFile, r.target->errorString()));
    }

    const QString port = QStringLiteral("PORT ") + LocalAddressText() + data.LocalPortText();
    ReportStatus(1, port);
    Transaction(port);
    if (isFailureAfterLogin(ReplyCode())) {
        if (type == ctNList || !failureHandled(type))
            throw FTPException(LastReply());
    }

    if (type == ctDownload && OnPacketRecvd)
        data.OnPacketRecvd = OnPacketRecvd;
    if (type == ctUpload && OnPacketSent)
        data.OnPacketSent = OnPacketSent;

    ReportStatus(1, reported);
    if (type == ctDownload) {
        setTransferSize(0);
        ReplyScope scope(m_readingReply);
        requireReplyCode(TAsyncSocket::Transaction(command));
    } else {
        Transaction(command);
    }
    const auto checkFailure = [&](bool unsupportedFirst) {
        if (!isFailureAfterLogin(ReplyCode()))
            return;
        if (type == ctNList)
            throw FTPException(LastReply());
        if (unsupportedFirst && OnUnSupportedFunction && ReplyCode() >= 500 && ReplyCode() <= 502)
            OnUnSupportedFunction(type);
        if (!failureHandled(type))
            throw FTPException(LastReply());
    };
    checkFailure(type != ctDownload);

    if (type != ctUpload) {
        setTransferSize(SizeFromReply(LastReply()));
        if (type == ctDownload) {
            QString last = LastReply();
            qsizetype total = last.size();
            while (IsContinuation(last)) {
                last = readContinuationLine(total);
                ReportStatus(1, last);
                if (TransferSize() == 0)
                    setTransferSize(SizeFromReply(last));
                checkFailure(true);
            }
        }
    }

    const qint64 announced = type == ctDownload ? TransferSize() : 0;
    if (type == ctList && OnTransactionStart)
        OnTransactionStart(this);
    data.UseAcceptedSocket(data.Accept());
    if (type != ctList && OnTransactionStart)
        OnTransactionStart(this);

    // From here a 421/426 lets the data phase run to its end; only a lost session stops it.
    data.WaitAbandoned = [this]() -> QString { return IsConnected() ? QString() : kControlLost; };
    if (!CancelRequested() && !TimedOut()) {
        try {
            switch (type) {
            case ctList:
            case ctNList:
                data.setCounting(true);
                for (;;) {
                    data.waitUntil(
                        [&] {
                            return data.BufferedCount() > 0 || !data.IsConnected() || data.CancelRequested();
                        },
                        data.DataWaitName, true);
                    if (data.CancelRequested())
                        throw EAbortError(QStringLiteral("Socket readln aborted"));
                    if (data.BufferedCount() == 0)
                        break; // closed and read to its end
                    const QString line = StripListingLineEnd(data.ReadLn());
                    if (type == ctList && ParseList && m_directoryList)
                        m_directoryList->ParseLine(line);
                    if (OnListItem)
                        OnListItem(line);
                }
                data.setCounting(false);
                break;
            case ctDownload:
                data.CaptureFile(r.target->device());
                break;
            default:
                data.SendFile(localFile);
                break;
            }
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError& e) {
            // Still connected: nothing moved for TimeOut, or the session is gone; both end
            // the transfer at once. A data connection the server broke is judged below
            // together with the server's reply.
            if (data.IsConnected() || !IsConnected())
                throw;
            r.dataError = e.message();
        }
        if (r.dataError.isEmpty() && data.LastSocketError() != 0)
            r.dataError = SocketErrorMessage(data.LastSocketError());
        // A reset data connection looks like a normal end at this level; fewer bytes than
        // the server announced is what gives it away. (More is normal: ASCII line ends.)
        if (r.dataError.isEmpty() && announced > 0 && data.ReceivedCount() < announced)
            r.dataError = QStringLiteral("Received %1 of the %2 bytes announced")
                              .arg(data.ReceivedCount())
                              .arg(announced);
    }
    if (OnTransactionStop)
        OnTransactionStop(this);
    // Closing is graceful, so the last bytes of an upload still reach the server.
    data.RequestCloseSocket();
    if (type != ctUpload) {
        setTransferSize(data.ReceivedCount());
        ReportStatus(1, QStringLiteral("Received %1 Bytes").arg(data.ReceivedCount()));
    }
    if (!CancelRequested() && !TimedOut()) {
        const QString line = readReplyLine();
        ReportStatus(1, line);
        requireReplyCode(line);
        if (!CancelRequested() && !TimedOut())
            SkipContinuation(line);
        r.completionReply = line;
    }
}

} // namespace vantor
