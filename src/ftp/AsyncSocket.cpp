#include "AsyncSocket.h"

#include "InputBuffer.h"
#include "SendPump.h"

#include "support/Guard.h"
#include "support/SocketErrors.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QLoggingCategory>
#include <QNetworkProxy>
#include <QPointer>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#if defined(Q_OS_LINUX)
#include <linux/sockios.h>
#include <sys/ioctl.h>
#elif defined(Q_OS_DARWIN)
#include <sys/socket.h>
#endif

Q_LOGGING_CATEGORY(lcSocket, "vantor.ftp.socket", QtWarningMsg)

namespace vantor {

namespace {

// Reads and writes move at most this much per socket call; the packet events fire per block.
constexpr qint64 kBlock = 16383;
constexpr int kBlocksPerRead = 64;
constexpr int kBlocksPerWrite = 8;
// Qt's own buffers are kept small so a slow consumer holds the peer back through TCP
// instead of piling the stream up in memory.
constexpr qint64 kReadBufferSize = 1024 * 1024;
constexpr qint64 kWriteQueueLimit = 256 * 1024;
// A line longer than this is no reply and no listing line: the peer is broken or hostile.
constexpr qsizetype kMaxLine = 1024 * 1024;
const QString kClosedByPeer = QStringLiteral("Connection closed by peer");

int g_instances = 0; // live sockets; the first one records the socket layer's description

// Closes a socket its owner no longer uses. Bytes still queued in it are delivered first
// (a graceful close), and it is freed once closed, never inside one of its own signals.
void dropSocket(QTcpSocket* socket, QObject* owner) {
    socket->disconnect(owner);
    if (socket->state() != QAbstractSocket::UnconnectedState) {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState)
            return;
    }
    socket->deleteLater();
}

// A short write gives no reason (a full disk, a size limit); the write of the rest does.
bool writeAll(QIODevice& device, const char* data, qint64 size) {
    while (size > 0) {
        const qint64 n = device.write(data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

// Everything the socket keeps for itself. Which of its waits may end is told by `phase`
// and the flags below; the buffers hold what is on its way in and out.
struct TAsyncSocket::Private {
    QTcpSocket* socket = nullptr; // the connection, or a fresh one ready for Connect
    QTcpServer* listener = nullptr;
    QPointer<QTcpSocket> accepted; // the connection Listen took, until Accept hands it on
    TSocketPhase phase = TSocketPhase::Idle;

    TInputBuffer in;
    QIODevice* capture = nullptr; // during CaptureFile: where received bytes go instead of `in`
    QString captureError;
    TSendPump out;

    bool cancelRequested = false;
    bool timedOut = false;
    bool lastNotificationOk = true; // the last connect / accept / lookup notification had no error
    bool counting = false;
    bool destroying = false;
    bool reportAcceptOnCompletion = true;
    bool lastWaitTimedOut = false;
    // The read and write handlers never run inside each other; a notification that comes
    // while one runs is taken up when it is done.
    bool busy = false;
    bool readDeferred = false;
    bool writeDeferred = false;
    bool readPosted = false;
    bool writePosted = false;

    qint16 replyCode = 0;
    QString lastReply;
    QString lastStatus;
    int lastSocketError = 0;
    qint64 receivedCount = 0;
    qint64 sentCount = 0;
    qint64 transferSize = 0;
    QStringList winsockInfo;

    QHostAddress remoteAddress;
    int lookupId = -1; // the name lookup awaited, -1 when none
    QHostInfo lookupResult;
    QTimer timer;
    QElapsedTimer lastProgress;
    qint64 lastQueued = -1; // unacknowledgedBytes() when last looked at

    bool connected() const { return phase == TSocketPhase::Connected || phase == TSocketPhase::Accepted; }
    // The outgoing stream is empty and Qt has handed every byte on.
    bool sendDone() const { return !out.pending() && (!socket || socket->bytesToWrite() == 0); }
    // Bytes queued in the system and not yet acknowledged by the peer; -1 where the
    // platform cannot tell.
    qint64 unacknowledgedBytes() const;
};

qint64 TAsyncSocket::Private::unacknowledgedBytes() const {
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return -1;
    const qintptr fd = socket->socketDescriptor();
    if (fd < 0)
        return -1;
#if defined(Q_OS_LINUX)
    int queued = 0;
    if (::ioctl(int(fd), SIOCOUTQ, &queued) == 0)
        return queued;
#elif defined(Q_OS_DARWIN)
    int queued = 0;
    socklen_t size = sizeof queued;
    if (::getsockopt(int(fd), SOL_SOCKET, SO_NWRITE, &queued, &size) == 0)
        return queued;
#endif
    return -1;
}

TAsyncSocket::TAsyncSocket(QObject* owner) : QObject(owner), d(std::make_unique<Private>()) {
    ReportStatus(8, QStringLiteral("Create"));
    d->timer.setSingleShot(true);
    connect(&d->timer, &QTimer::timeout, this, [this] { swallowing([this] { TimerExpired(); }); });
    ReportStatus(8, QStringLiteral("Initializing Winsock"));
    if (++g_instances == 1) {
        d->winsockInfo << QStringLiteral("Version= 1.1") << QStringLiteral("High Version= 1.1")
                       << QStringLiteral("Description= Qt Network ") + QLatin1String(qVersion())
                       << QStringLiteral("System= Running") << QStringLiteral("Max Sockets= 32767")
                       << QStringLiteral("Max Udp pack size= 65507");
    }
    createSocket();
}

TAsyncSocket::~TAsyncSocket() {
    ReportStatus(8, QStringLiteral("Destroy"));
    TAsyncSocket::Abort();
    Cancel();
    d->timer.stop();
    d->destroying = true;
    RequestCloseSocket();
    --g_instances;
}

// --- socket plumbing ------------------------------------------------------------------

void TAsyncSocket::createSocket() {
    d->socket = new QTcpSocket(this);
    attach(d->socket);
}

void TAsyncSocket::attach(QTcpSocket* socket) {
    // The controller is reached directly; the component's own Proxy setting is the only
    // indirection, never an application-wide one.
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->setReadBufferSize(kReadBufferSize);
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        if (socket == d->socket)
            swallowing([this] { onConnectedNotification(); });
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (socket == d->socket)
            swallowing([this] { ReadToStream(); });
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        if (socket == d->socket)
            swallowing([this] { onBytesWritten(); });
    });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket] { swallowing([this, socket] { onSocketError(socket); }); });
    connect(socket, &QTcpSocket::disconnected, this,
            [this, socket] { swallowing([this, socket] { onCloseNotification(socket); }); });
}

void TAsyncSocket::postRead() {
    if (d->readPosted)
        return;
    d->readPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            d->readPosted = false;
            swallowing([this] { ReadToStream(); });
        },
        Qt::QueuedConnection);
}

void TAsyncSocket::postWrite() {
    if (d->writePosted)
        return;
    d->writePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            d->writePosted = false;
            swallowing([this] { WriteFromStream(); });
        },
        Qt::QueuedConnection);
}

void TAsyncSocket::onConnectedNotification() {
    d->lastNotificationOk = true;
    d->phase = TSocketPhase::Connected;
    d->lastProgress.start();
    NotifyConnected();
}

void TAsyncSocket::NotifyConnected() {
    if (OnConnect)
        OnConnect(this);
}

void TAsyncSocket::onSocketError(QTcpSocket* socket) {
    if (socket != d->socket)
        return;
    const int code = winsockErrorOf(socket->error(), socket->errorString());
    if (code == 0)
        return; // the peer closed normally; the close notification follows
    d->lastSocketError = code;
    if (d->phase == TSocketPhase::Connecting)
        d->lastNotificationOk = false;
    if (OnError)
        OnError(this, quint16(code), SocketErrorMessage(code));
}

// The peer closed. What it sent before closing is still taken in (and counted, so the
// counters tell the whole transfer), then the socket is replaced by a fresh one.
void TAsyncSocket::onCloseNotification(QTcpSocket* socket) {
    if (socket != d->socket)
        return;
    d->lastNotificationOk = true;
    bool stored = false;
    char block[kBlock];
    while (!d->cancelRequested && socket->bytesAvailable() > 0) {
        const qint64 n = socket->read(block, kBlock);
        if (n <= 0)
            break;
        storeBlock(block, n, d->counting);
        stored = true;
        if (socket != d->socket)
            return; // a handler closed the socket meanwhile
    }
    RequestCloseSocket();
    if (stored)
        DataArrived();
}

void TAsyncSocket::onBytesWritten() {
    d->lastProgress.start();
    if (d->out.pending())
        postWrite();
}

void TAsyncSocket::storeBlock(const char* data, qint64 size, bool counted) {
    if (d->capture) {
        if (d->captureError.isEmpty() && !writeAll(*d->capture, data, size))
            d->captureError = d->capture->errorString();
    } else {
        d->in.append(data, size);
    }
    d->lastProgress.start();
    if (counted) {
        d->receivedCount += size;
        if (OnPacketRecvd)
            OnPacketRecvd(this);
    }
}

void TAsyncSocket::ReadToStream() {
    if (d->busy) {
        d->readDeferred = true; // taken up as soon as the running handler is done
        return;
    }
    d->busy = true;
    bool stored = false;
    {
        auto done = qScopeGuard([this] { d->busy = false; });
        ReportStatus(8, QStringLiteral("ReadToStream"));
        QPointer<QTcpSocket> socket = d->socket;
        // Block by block, each with its packet event, but several blocks per call: a
        // round through the event loop per 16 KB would halve the throughput.
        char block[kBlock];
        for (int i = 0; i < kBlocksPerRead && socket && socket == d->socket && socket->bytesAvailable() > 0;
             ++i) {
            const qint64 n = socket->read(block, kBlock);
            if (n <= 0)
                break;
            stored = true;
            storeBlock(block, n, d->counting);
        }
        if (socket && socket == d->socket && socket->bytesAvailable() > 0)
            postRead();
    }
    if (stored)
        DataArrived();
    if (d->readDeferred) {
        d->readDeferred = false;
        postRead();
    }
    if (d->writeDeferred) {
        d->writeDeferred = false;
        postWrite();
    }
}

void TAsyncSocket::WriteFromStream() {
    if (d->busy) {
        d->writeDeferred = true;
        return;
    }
    d->busy = true;
    auto done = qScopeGuard([this] {
        d->busy = false;
        if (d->readDeferred) {
            d->readDeferred = false;
            postRead();
        }
    });
    ReportStatus(8, QStringLiteral("WriteFromStream"));
    if (!d->out.pending() || d->cancelRequested)
        return;
    if (!d->socket || d->socket->state() != QAbstractSocket::ConnectedState) {
        d->lastSocketError = 10057; // a send error is recorded, nothing else
        return;
    }
    // Counted and announced block by block, but handed to Qt several blocks at a time: Qt
    // sends one queued piece per write notification, and 16 KB pieces would slow the
    // stream down to a round through the event loop per block.
    while (d->socket->bytesToWrite() < kWriteQueueLimit && !d->cancelRequested) {
        const QByteArrayView piece = d->out.next(kBlock * kBlocksPerWrite);
        if (piece.isEmpty())
            return; // all sent, or the file could not be read (SendFile reports it)
        const qint64 sent = d->socket->write(piece.data(), piece.size());
        if (sent < 0) {
            d->out.consumed(0);
            d->lastSocketError = winsockErrorOf(d->socket->error(), d->socket->errorString());
            return;
        }
        d->out.consumed(sent);
        for (qint64 done = 0; done < sent; done += kBlock) {
            d->sentCount += std::min(kBlock, sent - done);
            if (d->counting && OnPacketSent)
                OnPacketSent(this);
        }
        if (!d->out.pending() || !d->socket || d->socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
    if (d->socket && d->socket->bytesToWrite() < kWriteQueueLimit)
        postWrite();
}

void TAsyncSocket::noteBytesLeaving() {
    const qint64 queued = d->unacknowledgedBytes();
    if (queued >= 0 && queued < d->lastQueued)
        d->lastProgress.start();
    d->lastQueued = queued;
}

void TAsyncSocket::discardInput() {
    d->in.clear();
}

// --- waiting ----------------------------------------------------------------------------

void TAsyncSocket::waitUntil(const std::function<bool()>& done, const QString& awaited,
                             bool bytesAreProgress) {
    QElapsedTimer waiting;
    waiting.start();
    const auto abandoned = [this] { return WaitAbandoned(); };
    const auto idleMs = [&]() -> qint64 {
        qint64 idle = waiting.elapsed();
        if (bytesAreProgress && d->lastProgress.isValid())
            idle = std::min(idle, d->lastProgress.elapsed());
        return idle;
    };
    d->lastWaitTimedOut = false;
    // Bytes the system still holds for a slow peer move without any event of ours: the
    // queue is looked at on every wake-up, and each byte that leaves it is progress.
    d->lastQueued = bytesAreProgress ? d->unacknowledgedBytes() : -1;
    const bool watchQueue = d->lastQueued >= 0;
    for (;;) {
        const qint64 limit = TimeOut > 0 ? TimeOut - idleMs() : -1;
        if (TimeOut > 0 && limit <= 0) {
            if (done())
                return;
            d->lastWaitTimedOut = true;
            WaitTimedOut();
            throw ESockError(QStringLiteral("Timed out waiting for ") + awaited);
        }
        const bool ended = pumpUntil(
            [&] {
                if (watchQueue)
                    noteBytesLeaving();
                return done() || !abandoned().isEmpty();
            },
            std::chrono::milliseconds(limit));
        if (ended) {
            if (done())
                return;
            throw ESockError(abandoned());
        }
    }
}

// --- operations ---------------------------------------------------------------------

void TAsyncSocket::ReportStatus(quint8 level, const QString& text) {
    if (level > ReportLevel)
        return;
    d->lastStatus = text;
    qCDebug(lcSocket).noquote() << text;
    if (!d->destroying && OnStatus)
        OnStatus(this, text);
}

QString TAsyncSocket::SocketErrorMessage(int code) {
    ReportStatus(8, QStringLiteral("Looking Up Error Message"));
    return winsockErrorText(code);
}

void TAsyncSocket::ErrorManager(int tolerated) {
    ReportStatus(16, QStringLiteral("Checking Error In Error Manager"));
    if (d->lastSocketError == tolerated)
        return;
    const QString message = SocketErrorMessage(d->lastSocketError);
    if (OnError)
        OnError(this, quint16(d->lastSocketError), message);
    throw ESockError(message);
}

void TAsyncSocket::TimerOn() {
    ReportStatus(8, QStringLiteral("Timer On"));
    d->timedOut = false;
    d->timer.stop();
    if (TimeOut > 0) {
        d->timer.setInterval(TimeOut);
        d->timer.start();
    }
}

void TAsyncSocket::TimerOff() {
    ReportStatus(8, QStringLiteral("Timer Off"));
    d->timer.stop();
}

void TAsyncSocket::TimerExpired() {
    ReportStatus(8, QStringLiteral("Timer Triggered"));
    d->timer.stop();
    d->timedOut = true;
    Abort();
}

void TAsyncSocket::Cancel() {
    ReportStatus(8, QStringLiteral("Canceling"));
    d->cancelRequested = true;
}

void TAsyncSocket::CheckConnected() {
    if (IsConnected())
        return;
    if (!OnConnectionRequired)
        throw Error(QStringLiteral("Not Connected"));
    bool handled = false;
    OnConnectionRequired(handled);
    if (IsConnected())
        return;
    throw Error(QStringLiteral("Not Connected"));
}

void TAsyncSocket::ResolveHost() {
    ReportStatus(8, QStringLiteral("Resolve Host"));
    const QString name = Proxy.isEmpty() ? Host : Proxy;
    QHostAddress dotted;
    // As with inet_addr, the broadcast address cannot be told from "no address" and is
    // therefore looked up as a name.
    if (dotted.setAddress(name) && dotted.protocol() == QAbstractSocket::IPv4Protocol &&
        dotted.toIPv4Address() != 0xFFFFFFFFu) {
        d->remoteAddress = dotted;
        return;
    }
    d->remoteAddress = QHostAddress();
    TimerOn();
    d->lastNotificationOk = true;
    const TSocketPhase was = d->phase;
    d->phase = TSocketPhase::Resolving;
    d->lookupId = QHostInfo::lookupHost(name, this, [this](const QHostInfo& info) {
        swallowing([&] {
            if (info.lookupId() != d->lookupId)
                return; // a lookup given up on
            d->lookupResult = info;
            d->lastNotificationOk = info.error() == QHostInfo::NoError;
            d->lookupId = -1;
        });
    });
    pumpUntil([this] { return d->lookupId == -1 || d->timedOut || d->cancelRequested; });
    TimerOff();
    d->phase = was;
    if (d->lookupId != -1)
        QHostInfo::abortHostLookup(std::exchange(d->lookupId, -1));
    if (d->timedOut)
        throw ESockError(QStringLiteral("Host Lookup Timed Out"));
    if (d->cancelRequested)
        throw ESockError(QStringLiteral("Host Lookup Canceled"));
    QHostAddress found;
    if (d->lastNotificationOk) {
        for (const QHostAddress& a : d->lookupResult.addresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                found = a;
                break;
            }
        }
    }
    if (found.isNull()) {
        d->lastSocketError = 11001;
        throw ESockError(QStringLiteral("Host Lookup Failed"));
    }
    d->remoteAddress = found;
    if (OnHostResolved)
        OnHostResolved(this);
}

void TAsyncSocket::Connect() {
    ReportStatus(8, QStringLiteral("Connecting"));
    d->cancelRequested = false;
    if (IsConnected())
        throw ESockError(QStringLiteral("Already connected"));

    bool retried = false;
    for (;;) {
        try {
            ResolveHost();
        } catch (const EAbortError&) {
            throw;
        } catch (const ESockError& e) {
            if (e.message() == QLatin1String("Host Lookup Timed Out") ||
                e.message() == QLatin1String("Host Lookup Canceled"))
                throw;
        }
        if (!d->remoteAddress.isNull())
            break;
        if (retried || !OnInvalidHost)
            throw ESockError(QStringLiteral("Null Remote Address"));
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled)
            throw ESockError(QStringLiteral("Null Remote Address"));
        retried = true;
    }

    const quint16 port = quint16(Proxy.isEmpty() ? Port : ProxyPort);
    d->lastNotificationOk = true;
    if (!d->socket)
        createSocket();
    d->phase = TSocketPhase::Connecting;
    d->socket->connectToHost(d->remoteAddress, port);
    TimerOn();
    // Connecting ends with the connection, or with a close right after it.
    pumpUntil([this] {
        return d->phase != TSocketPhase::Connecting || d->timedOut || d->cancelRequested ||
               !d->lastNotificationOk;
    });
    TimerOff();
    if (!d->timedOut && !d->cancelRequested && d->lastNotificationOk)
        return;

    // Start the next attempt from a clean socket.
    dropSocket(d->socket, this);
    d->phase = TSocketPhase::Idle;
    createSocket();
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (d->timedOut)
        throw ESockError(QStringLiteral("Connection Timed out"));
    if (d->cancelRequested)
        throw ESockError(QStringLiteral("Connection Canceled"));
    throw ESockError(QStringLiteral("Connection Failed"));
}

void TAsyncSocket::Disconnect() {
    ReportStatus(8, QStringLiteral("Disconnecting"));
    RequestCloseSocket();
}

void TAsyncSocket::RequestCloseSocket() {
    ReportStatus(4, QStringLiteral("Request Close Socket"));
    d->phase = TSocketPhase::Idle;
    if (d->listener) {
        d->listener->close();
        d->listener->deleteLater();
        d->listener = nullptr;
    }
    d->out.clear();
    if (!d->socket)
        return;
    dropSocket(d->socket, this);
    d->socket = nullptr;
    if (!d->destroying) {
        if (OnDisconnect)
            OnDisconnect(this);
        if (!d->socket)
            createSocket();
    }
}

void TAsyncSocket::SendBuffer(const QByteArray& bytes, int length) {
    ReportStatus(4, QStringLiteral("Sending Buffer"));
    if (d->cancelRequested)
        return;
    QByteArray data = bytes;
    if (length <= 0) {
        const qsizetype nul = data.indexOf('\0');
        if (nul >= 0)
            data.truncate(nul);
    } else {
        data.truncate(length);
    }
    if (data.isEmpty())
        return;
    d->out.queue(data);
    postWrite();
    waitUntil([this] { return d->sendDone() || d->cancelRequested || !IsConnected(); },
              QStringLiteral("the peer to take the data"), true);
    if (d->cancelRequested) {
        d->cancelRequested = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    if (!d->sendDone())
        throw ESockError(d->lastSocketError ? winsockErrorText(d->lastSocketError) : kClosedByPeer);
}

void TAsyncSocket::Write(const QString& text) {
    ReportStatus(8, QStringLiteral("Write"));
    QByteArray bytes = text.toLatin1();
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    SendBuffer(bytes, int(bytes.size()));
}

void TAsyncSocket::Writeln(const QString& text) {
    ReportStatus(8, QStringLiteral("Writeln"));
    Write(text + QStringLiteral("\r\n"));
}

QString TAsyncSocket::Read(int count) {
    ReportStatus(8, QStringLiteral("Read( %1 )").arg(count));
    if (count > 0)
        waitUntil([this, count] { return BufferedCount() >= count || d->cancelRequested || !IsConnected(); },
                  DataAwaited(), true);
    if (d->cancelRequested) {
        d->cancelRequested = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    if (count > 0 && BufferedCount() < count)
        throw ESockError(kClosedByPeer);
    return QString::fromLatin1(d->in.take(count > 0 ? count : BufferedCount()));
}

QString TAsyncSocket::ReadLn() {
    ReportStatus(8, QStringLiteral("ReadLn"));
    waitUntil(
        [this] {
            return d->in.indexOfLf() >= 0 || d->cancelRequested || !IsConnected() ||
                   BufferedCount() > kMaxLine;
        },
        LineAwaited(), false);
    if (d->cancelRequested)
        throw EAbortError(QStringLiteral("Socket readln aborted"));
    qsizetype length = d->in.indexOfLf();
    if (length >= 0) {
        length += 1;
    } else if (BufferedCount() > kMaxLine) {
        throw ESockError(QStringLiteral("Line too long from peer"));
    } else if (BufferedCount() > 0) {
        length = BufferedCount(); // the peer closed after a line without its end
    } else {
        throw ESockError(kClosedByPeer);
    }
    return QString::fromLatin1(d->in.take(length));
}

QString TAsyncSocket::Transaction(const QString& command) {
    ReportStatus(8, QStringLiteral("Transaction"));
    d->replyCode = 0;
    Writeln(command);
    d->lastReply = ReadLn();
    if (!d->lastReply.isEmpty()) {
        ReportStatus(1, d->lastReply);
        d->replyCode = ReplyCodeOf(d->lastReply);
    }
    return d->lastReply;
}

qint16 TAsyncSocket::ReplyCodeOf(const QString& line) {
    qsizetype digits = 0;
    while (digits < line.size() && digits < 10 && line.at(digits).isDigit() &&
           line.at(digits).unicode() < 128)
        ++digits;
    if (digits == 0)
        return 0;
    bool ok = false;
    const qlonglong value = line.left(digits).toLongLong(&ok);
    if (!ok || value > 32767)
        return 0;
    return qint16(value);
}

void TAsyncSocket::SendFile(const QString& path) {
    ReportStatus(8, QStringLiteral("SendFile"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    d->out.sendFile(&file);
    d->counting = true;
    d->sentCount = 0;
    d->transferSize = file.size();
    QString readError;
    {
        auto restore = qScopeGuard([&] {
            readError = d->out.fileError();
            d->out.sendFile(nullptr);
            d->counting = false;
        });
        postWrite();
        if (d->transferSize > 0)
            waitUntil(
                [this] {
                    return d->sendDone() || d->cancelRequested || !IsConnected() ||
                           !d->out.fileError().isEmpty();
                },
                QStringLiteral("the peer to take the data"), true);
    }
    if (d->cancelRequested) {
        d->cancelRequested = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    if (!readError.isEmpty())
        throw FileError(QStringLiteral("Cannot read %1: %2").arg(path, readError));
    if (d->transferSize > 0 && !d->sendDone())
        throw ESockError(d->lastSocketError ? winsockErrorText(d->lastSocketError) : kClosedByPeer);
}

void TAsyncSocket::WaitDelivered() {
    ReportStatus(8, QStringLiteral("WaitDelivered"));
    if (d->unacknowledgedBytes() <= 0)
        return;
    waitUntil([this] { return d->cancelRequested || !IsConnected() || d->unacknowledgedBytes() <= 0; },
              QStringLiteral("the peer to take the data"), true);
    if (d->cancelRequested) {
        d->cancelRequested = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
}

void TAsyncSocket::CaptureFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileError(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
    CaptureFile(file);
}

void TAsyncSocket::CaptureFile(QIODevice& target) {
    ReportStatus(8, QStringLiteral("CaptureFile"));
    d->counting = true;
    d->captureError.clear();
    d->receivedCount = 0;
    if (BufferedCount() > 0) {
        const qint64 size = BufferedCount();
        if (!writeAll(target, d->in.unread().data(), size))
            d->captureError = target.errorString();
        d->receivedCount = size;
        discardInput();
    }
    d->capture = &target;
    {
        auto restore = qScopeGuard([this] {
            d->capture = nullptr;
            d->counting = false;
        });
        waitUntil([this] { return !IsConnected() || d->cancelRequested || !d->captureError.isEmpty(); },
                  DataAwaited(), true);
    }
    if (d->cancelRequested) {
        d->cancelRequested = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    if (!d->captureError.isEmpty())
        throw FileError(QStringLiteral("Cannot write the received data: %1").arg(d->captureError));
}

void TAsyncSocket::Listen(bool reportOnCompletion) {
    ReportStatus(8, QStringLiteral("Listening"));
    d->phase = TSocketPhase::Listening;
    d->lastNotificationOk = true;
    d->reportAcceptOnCompletion = reportOnCompletion;
    if (!d->listener) {
        d->listener = new QTcpServer(this);
        d->listener->setProxy(QNetworkProxy::NoProxy);
        d->listener->setMaxPendingConnections(1);
        connect(d->listener, &QTcpServer::newConnection, this,
                [this] { swallowing([this] { takePendingConnections(); }); });
        QTcpServer* listener = d->listener;
        connect(d->listener, &QTcpServer::acceptError, this,
                [this, listener](QAbstractSocket::SocketError e) {
                    swallowing([&] {
                        d->lastSocketError = winsockErrorOf(e, listener->errorString());
                        d->lastNotificationOk = false;
                        d->phase = TSocketPhase::Idle;
                    });
                });
    }
    if (!d->listener->listen(QHostAddress::AnyIPv4, quint16(Port))) {
        // Waiting for a connection that cannot come would only end at the time-out.
        d->lastSocketError = winsockErrorOf(d->listener->serverError(), d->listener->errorString());
        if (d->lastSocketError == 0)
            d->lastSocketError = 10048;
        ErrorManager(10035);
    }
}

void TAsyncSocket::takePendingConnections() {
    while (d->listener && !d->accepted) {
        QTcpSocket* socket = d->listener->nextPendingConnection();
        if (!socket)
            return;
        const QHostAddress from = socket->peerAddress();
        if (!AcceptOnlyFrom.isNull() && !from.isEqual(AcceptOnlyFrom, QHostAddress::TolerantConversion)) {
            // Whoever reaches the announced port first would otherwise receive the
            // download, or feed the upload's place on the server with their own bytes.
            const QString text = QStringLiteral("Refused data connection from %1: not the server %2")
                                     .arg(from.toString(), AcceptOnlyFrom.toString());
            qCWarning(lcSocket).noquote() << text;
            ReportStatus(1, text);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        d->accepted = socket;
        d->lastNotificationOk = true;
        d->lastProgress.start();
        d->phase = TSocketPhase::Accepted;
        if (!d->reportAcceptOnCompletion && OnAccept)
            OnAccept(this);
    }
}

QTcpSocket* TAsyncSocket::Accept() {
    waitUntil([this] { return d->phase != TSocketPhase::Listening || d->cancelRequested; },
              QStringLiteral("the data connection"), false);
    if (d->cancelRequested)
        throw ESockError(QStringLiteral("Accepting Canceled"));
    if (!d->lastNotificationOk || !d->listener)
        throw ESockError(QStringLiteral("Error creating Data Connection"));
    ReportStatus(4, QStringLiteral("Accepting"));
    QTcpSocket* socket = d->accepted;
    d->accepted = nullptr;
    if (!socket)
        throw ESockError(QStringLiteral("Error creating Data Connection"));
    d->remoteAddress = socket->peerAddress();
    if (d->cancelRequested) {
        d->cancelRequested = false;
        delete socket;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    return socket;
}

void TAsyncSocket::UseAcceptedSocket(QTcpSocket* socket) {
    if (d->listener) {
        d->listener->close();
        d->listener->deleteLater();
        d->listener = nullptr;
    }
    if (d->socket)
        dropSocket(d->socket, this);
    d->socket = socket;
    socket->setParent(this);
    attach(socket);
    d->phase = TSocketPhase::Connected;
    d->lastProgress.start();
    // The socket lived on its own between the accept and now: it may hold data, or the
    // peer may even have closed already, with nobody listening to its signals.
    QMetaObject::invokeMethod(
        this,
        [this, socket] {
            swallowing([this, socket] {
                if (socket != d->socket)
                    return;
                if (socket->bytesAvailable() > 0)
                    ReadToStream();
                if (socket == d->socket && socket->state() == QAbstractSocket::UnconnectedState)
                    onCloseNotification(socket);
            });
        },
        Qt::QueuedConnection);
}

QString TAsyncSocket::AddressText(const QHostAddress& address) {
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    if (!ok)
        return QStringLiteral("0,0,0,0");
    return QStringLiteral("%1,%2,%3,%4")
        .arg(v4 >> 24)
        .arg((v4 >> 16) & 255)
        .arg((v4 >> 8) & 255)
        .arg(v4 & 255);
}

QString TAsyncSocket::PortText(quint16 port) {
    return QStringLiteral(",%1,%2").arg(port >> 8).arg(port & 255);
}

QString TAsyncSocket::LocalAddressText() const {
    return AddressText(d->socket ? d->socket->localAddress() : QHostAddress());
}

QString TAsyncSocket::LocalPortText() const {
    return PortText(d->listener ? d->listener->serverPort() : (d->socket ? d->socket->localPort() : 0));
}

// --- state -------------------------------------------------------------------------------

TSocketPhase TAsyncSocket::Phase() const {
    return d->phase;
}
bool TAsyncSocket::IsConnected() const {
    return d->connected();
}
qint16 TAsyncSocket::ReplyCode() const {
    return d->replyCode;
}
const QString& TAsyncSocket::LastReply() const {
    return d->lastReply;
}
const QString& TAsyncSocket::LastStatus() const {
    return d->lastStatus;
}
int TAsyncSocket::LastSocketError() const {
    return d->lastSocketError;
}
qint64 TAsyncSocket::ReceivedCount() const {
    return d->receivedCount;
}
qint64 TAsyncSocket::SentCount() const {
    return d->sentCount;
}
qint64 TAsyncSocket::TransferSize() const {
    return d->transferSize;
}
const QStringList& TAsyncSocket::WinsockInfo() const {
    return d->winsockInfo;
}
bool TAsyncSocket::CancelRequested() const {
    return d->cancelRequested;
}
bool TAsyncSocket::TimedOut() const {
    return d->timedOut;
}
qsizetype TAsyncSocket::BufferedCount() const {
    return d->in.size();
}
bool TAsyncSocket::LastWaitTimedOut() const {
    return d->lastWaitTimedOut;
}
QHostAddress TAsyncSocket::RemoteAddress() const {
    return d->remoteAddress;
}
const TInputBuffer& TAsyncSocket::input() const {
    return d->in;
}
void TAsyncSocket::setCounting(bool on) {
    d->counting = on;
}
void TAsyncSocket::setReplyCode(qint16 code) {
    d->replyCode = code;
}
void TAsyncSocket::setLastReply(const QString& reply) {
    d->lastReply = reply;
}
void TAsyncSocket::setTransferSize(qint64 size) {
    d->transferSize = size;
}
void TAsyncSocket::clearCancel() {
    d->cancelRequested = false;
}

} // namespace vantor
