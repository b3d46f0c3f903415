#include "FtpClient.h"

#include "InputBuffer.h"
#include "ReplacingFile.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <exception>
#include <limits>
#include <utility>

namespace vantor {

namespace {

using namespace std::chrono_literals;

// How long a transfer that the server aborted waits for the server's reason.
constexpr std::chrono::milliseconds kDrainLimit{950};
// A QUIT from the destructor must not hold up the program for ever.
constexpr int kQuitLimitWithoutTimeOut = 5000;

const QString kControlLost = QStringLiteral("Control connection closed by peer");
const QString kAbortedByServer = QStringLiteral("Transfer aborted by the server");
const QString kRefusedMeanwhile = QStringLiteral("The server refused the transfer");

// A reply whose continuation lines add up to more than this is no reply: the peer is broken
// or hostile, and reading on would never end while it keeps talking.
constexpr qsizetype kMaxReplyBytes = 1024 * 1024;

// The first line of every reply starts with its three-digit code.
bool isReplyCode(int code) {
    return code >= 100 && code <= 599;
}

// Marks the span in which a reply is awaited on the control connection: the flag is raised
// until the returned guard goes, however the span ends, and then has its old value again.
[[nodiscard]] auto raisedForScope(bool& flag) {
    const bool was = std::exchange(flag, true);
    return qScopeGuard([&flag, was] { flag = was; });
}

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

TFtpClient::TFtpClient(QObject* owner) : TAsyncSocket(owner) {
    Port = 21;
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

bool TFtpClient::IsLastLineOf(const QString& first, const QString& line) {
    return first.size() >= 3 && line.size() >= 4 && line.at(3) == QLatin1Char(' ') &&
           QStringView(line).left(3) == QStringView(first).left(3);
}

qsizetype TFtpClient::ReplyLength(QByteArrayView bytes) {
    qsizetype end = bytes.indexOf('\n');
    if (end < 0)
        return -1;
    const QString first = QString::fromLatin1(bytes.constData(), end + 1);
    if (!IsContinuation(first))
        return end + 1;
    for (;;) {
        const qsizetype from = end + 1;
        end = bytes.indexOf('\n', from);
        if (end < 0)
            return -1;
        if (IsLastLineOf(first, QString::fromLatin1(bytes.constData() + from, end + 1 - from)))
            return end + 1;
    }
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

// A reply that cannot be read to its end (no reply code, endless, a line past the bound)
// leaves the rest of it unread, and the rest would answer the next command: the session
// goes as it does after a time-out.
void TFtpClient::outOfStep(const QString& message) {
    dropOutOfStepSession();
    throw ESockError(message);
}

// A line that does not start with a reply code is no answer to what was asked: taking it as
// one would report a command as done that the peer never confirmed.
void TFtpClient::requireReplyCode(const QString& line) {
    if (isReplyCode(ReplyCodeOf(line)))
        return;
    QString shown = line.left(80).trimmed();
    for (QChar& c : shown)
        if (c.unicode() < 32 || c == QChar(127))
            c = QLatin1Char('?');
    outOfStep(QStringLiteral("Not an FTP reply: \"%1\"").arg(shown));
}

QString TFtpClient::readReplyLine() {
    const auto awaiting = raisedForScope(m_readingReply);
    try {
        return ReadLn();
    } catch (const EAbortError&) {
        throw;
    } catch (const ESockError& e) {
        outOfStep(e.message());
    }
}

// Only a line with the first line's code and a blank ends a multi-line reply; whatever
// comes before it, prefixed or not, belongs to the reply.
void TFtpClient::SkipContinuation(const QString& first, QStringList* rest) {
    if (!IsContinuation(first))
        return;
    qsizetype total = first.size();
    for (;;) {
        const QString line = readReplyLine();
        total += line.size();
        if (total > kMaxReplyBytes)
            outOfStep(QStringLiteral("Reply too long from peer"));
        ReportStatus(1, line);
        if (rest)
            rest->append(line);
        if (IsLastLineOf(first, line))
            return;
    }
}

// Sends the command and reads its whole reply before anything judges it, so a refusal
// leaves nothing of itself to be taken for the answer to the next command.
QString TFtpClient::transact(const QString& command, QStringList* rest) {
    const auto awaiting = raisedForScope(m_readingReply);
    QString first;
    try {
        first = TAsyncSocket::Transaction(command);
    } catch (const EAbortError&) {
        throw;
    } catch (const ESockError& e) {
        if (LastWaitTimedOut() || !IsConnected())
            throw;
        outOfStep(e.message());
    }
    requireReplyCode(first);
    SkipContinuation(first, rest);
    return first;
}

QString TFtpClient::Transaction(const QString& command) {
    return transact(command, nullptr);
}

QString TFtpClient::readReply() {
    const QString first = readReplyLine();
    ReportStatus(1, first);
    requireReplyCode(first);
    SkipContinuation(first);
    return first;
}

void TFtpClient::DataArrived() {
    // A 421/426 that arrives while a reply is awaited is that reply and is read as such.
    if (m_readingReply || BufferedCount() < 4)
        return;
    const QByteArrayView front = input().unread().first(3);
    if (front == "421" || front == "426") {
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
        // The reply may come in pieces, or in several lines; let it end within the same bound.
        const auto left =
            std::chrono::milliseconds(std::max<qint64>(0, kDrainLimit.count() - since.elapsed()));
        pumpUntil([this] { return ReplyLength(input().unread()) >= 0; }, left);
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

// A complete failure reply waits on the control connection while no reply is awaited.
bool TFtpClient::failureReplyWaiting() const {
    const QByteArrayView buffered = input().unread();
    if (buffered.indexOf('\n') < 0)
        return false;
    const int code =
        ReplyCodeOf(QString::fromLatin1(buffered.first(std::min<qsizetype>(3, buffered.size()))));
    return code >= 400 && code < 600;
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
