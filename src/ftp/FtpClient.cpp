#include "FtpClient.h"

#include "FtpClientDetail.h"
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

using namespace ftpdetail;
using namespace std::chrono_literals;

// How long a transfer that the server aborted waits for the server's reason.
constexpr std::chrono::milliseconds kDrainLimit{950};
// A QUIT from the destructor must not hold up the program for ever.
constexpr int kQuitLimitWithoutTimeOut = 5000;

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

} // namespace vantor
