#include "AsyncSocket.h"

#include "support/Guard.h"
#include "support/SocketErrors.h"
#include "support/Wait.h"

#include <QFile>
#include <QHostInfo>
#include <QLoggingCategory>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>

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
// Consumed bytes at the front of the incoming buffer are dropped once they are this many
// and at least half the buffer, which keeps taking lines from the front O(n) overall.
constexpr qsizetype kCompactAt = 64 * 1024;

const QString kClosedByPeer = QStringLiteral("Connection closed by peer");

int g_instances = 0; // live sockets; the first one records the socket layer's description

// Runs `cleanup` when the scope ends, also by an exception.
template <typename F> class Finally {
public:
    explicit Finally(F f) : m_f(std::move(f)) {}
    ~Finally() { m_f(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    F m_f;
};

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

TAsyncSocket::TAsyncSocket(QObject* owner) : QObject(owner) {
    ReportStatus(8, QStringLiteral("Create"));
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { swallowing([this] { TimerExpired(); }); });
    initSocketLayer();
}

void TAsyncSocket::initSocketLayer() {
    ReportStatus(8, QStringLiteral("Initializing Winsock"));
    if (++g_instances == 1) {
        m_winsockInfo << QStringLiteral("Version= 1.1") << QStringLiteral("High Version= 1.1")
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
    m_timer.stop();
    m_destroying = true;
    RequestCloseSocket();
    --g_instances;
}

// --- socket plumbing ------------------------------------------------------------------

void TAsyncSocket::createSocket() {
    m_socket = new QTcpSocket(this);
    attach(m_socket);
}

void TAsyncSocket::attach(QTcpSocket* socket) {
    // The controller is reached directly; the component's own Proxy setting is the only
    // indirection, never an application-wide one.
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->setReadBufferSize(kReadBufferSize);
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        if (socket == m_socket)
            swallowing([this] { onConnectedNotification(); });
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (socket == m_socket)
            swallowing([this] { ReadToStream(); });
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        if (socket == m_socket)
            swallowing([this] { onBytesWritten(); });
    });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket] { swallowing([this, socket] { onSocketError(socket); }); });
    connect(socket, &QTcpSocket::disconnected, this,
            [this, socket] { swallowing([this, socket] { onCloseNotification(socket); }); });
}

// Closes a socket we no longer use. Bytes still queued in it are delivered first (a
// graceful close), and it is freed once closed, never inside one of its own signals.
void TAsyncSocket::dropSocket(QTcpSocket* socket) {
    socket->disconnect(this);
    if (socket->state() != QAbstractSocket::UnconnectedState) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState)
            return;
    }
    socket->deleteLater();
}

void TAsyncSocket::postRead() {
    if (m_readPosted)
        return;
    m_readPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_readPosted = false;
            swallowing([this] { ReadToStream(); });
        },
        Qt::QueuedConnection);
}

void TAsyncSocket::postWrite() {
    if (m_writePosted)
        return;
    m_writePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_writePosted = false;
            swallowing([this] { WriteFromStream(); });
        },
        Qt::QueuedConnection);
}

void TAsyncSocket::onConnectedNotification() {
    m_lastNotificationOk = true;
    m_isConnected = true;
    m_connectSeen = true;
    m_lastProgress.start();
    NotifyConnected();
}

void TAsyncSocket::NotifyConnected() {
    if (OnConnect)
        OnConnect(this);
}

void TAsyncSocket::onSocketError(QTcpSocket* socket) {
    if (socket != m_socket)
        return;
    const int code = winsockErrorOf(socket->error(), socket->errorString());
    if (code == 0)
        return; // the peer closed normally; the close notification follows
    m_lastSocketError = code;
    if (m_connecting)
        m_lastNotificationOk = false;
    if (OnError)
        OnError(this, quint16(code), SocketErrorMessage(code));
}

// The peer closed. What it sent before closing is still taken in (and counted, so the
// counters tell the whole transfer), then the socket is replaced by a fresh one.
void TAsyncSocket::onCloseNotification(QTcpSocket* socket) {
    if (socket != m_socket)
        return;
    m_lastNotificationOk = true;
    bool stored = false;
    char block[kBlock];
    while (!m_cancelRequested && socket->bytesAvailable() > 0) {
        const qint64 n = socket->read(block, kBlock);
        if (n <= 0)
            break;
        storeBlock(block, n, m_counting);
        stored = true;
        if (socket != m_socket)
            return; // a handler closed the socket meanwhile
    }
    m_isConnected = false;
    RequestCloseSocket();
    if (stored && DataArrivalHook)
        DataArrivalHook(this);
}

void TAsyncSocket::onBytesWritten() {
    m_lastProgress.start();
    const bool pending = m_fileMode && m_sendFile ? !m_sendFile->atEnd() : m_outPos < m_out.size();
    if (pending)
        postWrite();
}

void TAsyncSocket::storeBlock(const char* data, qint64 size, bool counted) {
    if (m_capture) {
        if (m_captureError.isEmpty() && !writeAll(*m_capture, data, size))
            m_captureError = m_capture->errorString();
    } else {
        m_in.append(data, size);
    }
    m_lastProgress.start();
    if (counted) {
        m_receivedCount += size;
        if (OnPacketRecvd)
            OnPacketRecvd(this);
    }
}

void TAsyncSocket::ReadToStream() {
    if (m_busy) {
        m_readDeferred = true; // taken up as soon as the running handler is done
        return;
    }
    m_busy = true;
    bool stored = false;
    {
        Finally done([this] { m_busy = false; });
        ReportStatus(8, QStringLiteral("ReadToStream"));
        QPointer<QTcpSocket> socket = m_socket;
        // Block by block, each with its packet event, but several blocks per call: a
        // round through the event loop per 16 KB would halve the throughput.
        char block[kBlock];
        for (int i = 0; i < kBlocksPerRead && socket && socket == m_socket && socket->bytesAvailable() > 0;
             ++i) {
            const qint64 n = socket->read(block, kBlock);
            if (n <= 0)
                break;
            stored = true;
            storeBlock(block, n, m_counting);
        }
        if (socket && socket == m_socket && socket->bytesAvailable() > 0)
            postRead();
    }
    if (stored && DataArrivalHook)
        DataArrivalHook(this);
    if (m_readDeferred) {
        m_readDeferred = false;
        postRead();
    }
    if (m_writeDeferred) {
        m_writeDeferred = false;
        postWrite();
    }
}

void TAsyncSocket::WriteFromStream() {
    if (m_busy) {
        m_writeDeferred = true;
        return;
    }
    m_busy = true;
    Finally done([this] {
        m_busy = false;
        if (m_readDeferred) {
            m_readDeferred = false;
            postRead();
        }
    });
    ReportStatus(8, QStringLiteral("WriteFromStream"));
    const bool fileMode = m_fileMode && m_sendFile;
    const bool pending = fileMode ? !m_sendFile->atEnd() : m_outPos < m_out.size();
    if (!pending || m_cancelRequested)
        return;
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState) {
        m_lastSocketError = 10057; // a send error is recorded, nothing else
        return;
    }
    // Counted and announced block by block, but handed to Qt several blocks at a time: Qt
    // sends one queued piece per write notification, and 16 KB pieces would slow the
    // stream down to a round through the event loop per block.
    if (m_sendChunk.isEmpty())
        m_sendChunk.resize(kBlock * kBlocksPerWrite);
    while (m_socket->bytesToWrite() < kWriteQueueLimit && !m_cancelRequested) {
        const char* data = m_sendChunk.constData();
        qint64 size = 0;
        if (fileMode) {
            size = m_sendFile->read(m_sendChunk.data(), m_sendChunk.size());
            if (size < 0) {
                m_sendError = m_sendFile->errorString();
                return;
            }
        } else {
            data = m_out.constData() + m_outPos;
            size = std::min<qint64>(m_sendChunk.size(), m_out.size() - m_outPos);
        }
        if (size == 0)
            return;
        const qint64 sent = m_socket->write(data, size);
        if (sent < 0) {
            m_lastSocketError = winsockErrorOf(m_socket->error(), m_socket->errorString());
            return;
        }
        bool more = false;
        if (fileMode) {
            if (sent < size)
                m_sendFile->seek(m_sendFile->pos() - (size - sent));
            more = !m_sendFile->atEnd();
        } else {
            m_outPos += sent;
            if (m_outPos >= m_out.size()) {
                m_out.clear();
                m_outPos = 0;
            }
            more = m_outPos < m_out.size();
        }
        for (qint64 done = 0; done < sent; done += kBlock) {
            m_sentCount += std::min(kBlock, sent - done);
            if (m_counting && OnPacketSent)
                OnPacketSent(this);
        }
        if (!more || !m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
    if (m_socket && m_socket->bytesToWrite() < kWriteQueueLimit)
        postWrite();
}

bool TAsyncSocket::sendDone() const {
    const bool pending = m_fileMode && m_sendFile ? !m_sendFile->atEnd() : m_outPos < m_out.size();
    return !pending && (!m_socket || m_socket->bytesToWrite() == 0);
}

qint64 TAsyncSocket::unacknowledgedBytes() const {
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return -1;
    const qintptr fd = m_socket->socketDescriptor();
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

void TAsyncSocket::noteBytesLeaving() {
    const qint64 queued = unacknowledgedBytes();
    if (queued >= 0 && queued < m_lastQueued)
        m_lastProgress.start();
    m_lastQueued = queued;
}

qsizetype TAsyncSocket::indexOfLf() {
    const qsizetype from = m_inPos + m_lfScanned;
    const qsizetype at = m_in.indexOf('\n', from);
    if (at < 0)
        m_lfScanned = m_in.size() - m_inPos;
    return at < 0 ? -1 : at - m_inPos;
}

void TAsyncSocket::takeFront(qsizetype count) {
    m_inPos += count;
    m_lfScanned = std::max<qsizetype>(0, m_lfScanned - count);
    if (m_inPos >= m_in.size()) {
        m_in.resize(0);
        m_inPos = 0;
        m_lfScanned = 0;
    } else if (m_inPos >= kCompactAt && m_inPos * 2 >= m_in.size()) {
        m_in.remove(0, m_inPos);
        m_inPos = 0;
    }
}

void TAsyncSocket::discardInput() {
    takeFront(m_in.size() - m_inPos);
}

// --- waiting ----------------------------------------------------------------------------

void TAsyncSocket::waitUntil(const std::function<bool()>& done, const QString& awaited,
                             bool bytesAreProgress) {
    QElapsedTimer waiting;
    waiting.start();
    const auto abandoned = [this]() -> QString { return WaitAbandoned ? WaitAbandoned() : QString(); };
    const auto idleMs = [&]() -> qint64 {
        qint64 idle = waiting.elapsed();
        if (bytesAreProgress && m_lastProgress.isValid())
            idle = std::min(idle, m_lastProgress.elapsed());
        return idle;
    };
    m_lastWaitTimedOut = false;
    // Bytes the system still holds for a slow peer move without any event of ours: the
    // queue is looked at on every wake-up, and each byte that leaves it is progress.
    m_lastQueued = bytesAreProgress ? unacknowledgedBytes() : -1;
    const bool watchQueue = m_lastQueued >= 0;
    for (;;) {
        const qint64 limit = TimeOut > 0 ? TimeOut - idleMs() : -1;
        if (TimeOut > 0 && limit <= 0) {
            if (done())
                return;
            m_lastWaitTimedOut = true;
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
    m_lastStatus = text;
    qCDebug(lcSocket).noquote() << text;
    if (!m_destroying && OnStatus)
        OnStatus(this, text);
}

QString TAsyncSocket::SocketErrorMessage(int code) {
    ReportStatus(8, QStringLiteral("Looking Up Error Message"));
    return winsockErrorText(code);
}

void TAsyncSocket::ErrorManager(int tolerated) {
    ReportStatus(16, QStringLiteral("Checking Error In Error Manager"));
    if (m_lastSocketError == tolerated)
        return;
    const QString message = SocketErrorMessage(m_lastSocketError);
    if (OnError)
        OnError(this, quint16(m_lastSocketError), message);
    throw ESockError(message);
}

void TAsyncSocket::TimerOn() {
    ReportStatus(8, QStringLiteral("Timer On"));
    m_timedOut = false;
    m_timer.stop();
    if (TimeOut > 0) {
        m_timer.setInterval(TimeOut);
        m_timer.start();
    }
}

void TAsyncSocket::TimerOff() {
    ReportStatus(8, QStringLiteral("Timer Off"));
    m_timer.stop();
}

void TAsyncSocket::TimerExpired() {
    ReportStatus(8, QStringLiteral("Timer Triggered"));
    m_timer.stop();
    m_timedOut = true;
    Abort();
}

void TAsyncSocket::Cancel() {
    ReportStatus(8, QStringLiteral("Canceling"));
    m_cancelRequested = true;
}

void TAsyncSocket::CheckConnected() {
    if (m_isConnected)
        return;
    if (!OnConnectionRequired)
        throw Error(QStringLiteral("Not Connected"));
    bool handled = false;
    OnConnectionRequired(handled);
    if (m_isConnected)
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
        m_remoteAddress = dotted;
        return;
    }
    m_remoteAddress = QHostAddress();
    TimerOn();
    m_asyncComplete = false;
    m_lastNotificationOk = true;
    const int id = QHostInfo::lookupHost(name, this, [this](const QHostInfo& info) {
        swallowing([&] {
            if (info.lookupId() != m_lookupId)
                return; // a lookup given up on
            m_lookupResult = info;
            m_lastNotificationOk = info.error() == QHostInfo::NoError;
            m_asyncComplete = true;
        });
    });
    m_lookupId = id;
    pumpUntil([this] { return m_asyncComplete || m_timedOut || m_cancelRequested; });
    TimerOff();
    m_lookupId = -1;
    if (!m_asyncComplete)
        QHostInfo::abortHostLookup(id);
    if (m_timedOut)
        throw ESockError(QStringLiteral("Host Lookup Timed Out"));
    if (m_cancelRequested)
        throw ESockError(QStringLiteral("Host Lookup Canceled"));
    QHostAddress found;
    if (m_lastNotificationOk) {
        for (const QHostAddress& a : m_lookupResult.addresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                found = a;
                break;
            }
        }
    }
    if (found.isNull()) {
        m_lastSocketError = 11001;
        throw ESockError(QStringLiteral("Host Lookup Failed"));
    }
    m_remoteAddress = found;
    if (OnHostResolved)
        OnHostResolved(this);
}

void TAsyncSocket::Connect() {
    ReportStatus(8, QStringLiteral("Connecting"));
    m_cancelRequested = false;
    if (m_isConnected)
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
        if (!m_remoteAddress.isNull())
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
    m_asyncComplete = false;
    m_lastNotificationOk = true;
    m_connectSeen = false;
    if (!m_socket)
        createSocket();
    m_connecting = true;
    Finally notConnecting([this] { m_connecting = false; });
    m_socket->connectToHost(m_remoteAddress, port);
    TimerOn();
    pumpUntil([this] { return m_connectSeen || m_timedOut || m_cancelRequested || !m_lastNotificationOk; });
    TimerOff();
    if (!m_timedOut && !m_cancelRequested && m_lastNotificationOk)
        return;

    // Start the next attempt from a clean socket.
    dropSocket(m_socket);
    m_isConnected = false;
    createSocket();
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (m_timedOut)
        throw ESockError(QStringLiteral("Connection Timed out"));
    if (m_cancelRequested)
        throw ESockError(QStringLiteral("Connection Canceled"));
    throw ESockError(QStringLiteral("Connection Failed"));
}

void TAsyncSocket::Disconnect() {
    ReportStatus(8, QStringLiteral("Disconnecting"));
    RequestCloseSocket();
}

void TAsyncSocket::RequestCloseSocket() {
    ReportStatus(4, QStringLiteral("Request Close Socket"));
    m_isConnected = false;
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
    }
    m_out.clear();
    m_outPos = 0;
    if (!m_socket)
        return;
    dropSocket(m_socket);
    m_socket = nullptr;
    if (!m_destroying) {
        if (OnDisconnect)
            OnDisconnect(this);
        if (!m_socket)
            createSocket();
    }
}

void TAsyncSocket::SendBuffer(const QByteArray& bytes, int length) {
    ReportStatus(4, QStringLiteral("Sending Buffer"));
    if (m_cancelRequested)
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
    m_out.append(data);
    postWrite();
    waitUntil([this] { return sendDone() || m_cancelRequested || !m_isConnected; },
              QStringLiteral("the peer to take the data"), true);
    if (m_cancelRequested) {
        m_cancelRequested = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    if (!sendDone())
        throw ESockError(m_lastSocketError ? winsockErrorText(m_lastSocketError) : kClosedByPeer);
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
        waitUntil([this, count] { return BufferedCount() >= count || m_cancelRequested || !m_isConnected; },
                  DataWaitName, true);
    if (m_cancelRequested) {
        m_cancelRequested = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    if (count > 0 && BufferedCount() < count)
        throw ESockError(kClosedByPeer);
    const qsizetype take = count > 0 ? count : BufferedCount();
    const QString out = QString::fromLatin1(m_in.constData() + m_inPos, take);
    takeFront(take);
    return out;
}

QString TAsyncSocket::ReadLn() {
    ReportStatus(8, QStringLiteral("ReadLn"));
    waitUntil(
        [this] {
            return indexOfLf() >= 0 || m_cancelRequested || !m_isConnected || BufferedCount() > kMaxLine;
        },
        LineWaitName, false);
    if (m_cancelRequested)
        throw EAbortError(QStringLiteral("Socket readln aborted"));
    qsizetype length = indexOfLf();
    if (length >= 0) {
        length += 1;
    } else if (BufferedCount() > kMaxLine) {
        throw ESockError(QStringLiteral("Line too long from peer"));
    } else if (BufferedCount() > 0) {
        length = BufferedCount(); // the peer closed after a line without its end
    } else {
        throw ESockError(kClosedByPeer);
    }
    const QString line = QString::fromLatin1(m_in.constData() + m_inPos, length);
    takeFront(length);
    return line;
}

QString TAsyncSocket::Transaction(const QString& command) {
    ReportStatus(8, QStringLiteral("Transaction"));
    m_replyCode = 0;
    Writeln(command);
    m_lastReply = ReadLn();
    if (!m_lastReply.isEmpty()) {
        ReportStatus(1, m_lastReply);
        m_replyCode = ReplyCodeOf(m_lastReply);
    }
    return m_lastReply;
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
    m_out.clear();
    m_outPos = 0;
    m_counting = true;
    m_fileMode = true;
    m_sendFile = &file;
    m_sendError.clear();
    m_sentCount = 0;
    m_transferSize = file.size();
    {
        Finally restore([this] {
            m_sendFile = nullptr;
            m_counting = false;
            m_fileMode = false;
        });
        postWrite();
        if (m_transferSize > 0)
            waitUntil(
                [this] {
                    return sendDone() || m_cancelRequested || !m_isConnected || !m_sendError.isEmpty();
                },
                QStringLiteral("the peer to take the data"), true);
    }
    if (m_cancelRequested) {
        m_cancelRequested = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    if (!m_sendError.isEmpty())
        throw FileError(QStringLiteral("Cannot read %1: %2").arg(path, m_sendError));
    if (m_transferSize > 0 && !sendDone())
        throw ESockError(m_lastSocketError ? winsockErrorText(m_lastSocketError) : kClosedByPeer);
}

void TAsyncSocket::WaitDelivered() {
    ReportStatus(8, QStringLiteral("WaitDelivered"));
    if (unacknowledgedBytes() <= 0)
        return;
    waitUntil([this] { return m_cancelRequested || !m_isConnected || unacknowledgedBytes() <= 0; },
              QStringLiteral("the peer to take the data"), true);
    if (m_cancelRequested) {
        m_cancelRequested = false;
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
    m_counting = true;
    m_fileMode = true;
    m_captureError.clear();
    m_receivedCount = 0;
    if (BufferedCount() > 0) {
        const qint64 size = BufferedCount();
        if (!writeAll(target, m_in.constData() + m_inPos, size))
            m_captureError = target.errorString();
        m_receivedCount = size;
        discardInput();
    }
    m_capture = &target;
    {
        Finally restore([this] {
            m_capture = nullptr;
            m_counting = false;
            m_fileMode = false;
        });
        waitUntil([this] { return !m_isConnected || m_cancelRequested || !m_captureError.isEmpty(); },
                  DataWaitName, true);
    }
    if (m_cancelRequested) {
        m_cancelRequested = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    if (!m_captureError.isEmpty())
        throw FileError(QStringLiteral("Cannot write the received data: %1").arg(m_captureError));
}

void TAsyncSocket::Listen(bool reportOnCompletion) {
    ReportStatus(8, QStringLiteral("Listening"));
    m_asyncComplete = false;
    m_lastNotificationOk = true;
    m_reportAcceptOnCompletion = reportOnCompletion;
    if (!m_listener) {
        m_listener = new QTcpServer(this);
        m_listener->setProxy(QNetworkProxy::NoProxy);
        m_listener->setMaxPendingConnections(1);
        connect(m_listener, &QTcpServer::newConnection, this,
                [this] { swallowing([this] { takePendingConnections(); }); });
        QTcpServer* listener = m_listener;
        connect(m_listener, &QTcpServer::acceptError, this, [this, listener](QAbstractSocket::SocketError e) {
            swallowing([&] {
                m_lastSocketError = winsockErrorOf(e, listener->errorString());
                m_lastNotificationOk = false;
                m_asyncComplete = true;
            });
        });
    }
    if (!m_listener->listen(QHostAddress::AnyIPv4, quint16(Port))) {
        // Waiting for a connection that cannot come would only end at the time-out.
        m_lastSocketError = winsockErrorOf(m_listener->serverError(), m_listener->errorString());
        if (m_lastSocketError == 0)
            m_lastSocketError = 10048;
        ErrorManager(10035);
    }
}

void TAsyncSocket::takePendingConnections() {
    while (m_listener && !m_accepted) {
        QTcpSocket* socket = m_listener->nextPendingConnection();
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
        m_accepted = socket;
        m_lastNotificationOk = true;
        m_lastProgress.start();
        m_isConnected = true;
        if (m_reportAcceptOnCompletion)
            m_asyncComplete = true;
        else if (OnAccept)
            OnAccept(this);
    }
}

QTcpSocket* TAsyncSocket::Accept() {
    waitUntil([this] { return m_asyncComplete || m_cancelRequested; }, QStringLiteral("the data connection"),
              false);
    if (m_cancelRequested)
        throw ESockError(QStringLiteral("Accepting Canceled"));
    if (!m_lastNotificationOk || !m_listener)
        throw ESockError(QStringLiteral("Error creating Data Connection"));
    ReportStatus(4, QStringLiteral("Accepting"));
    QTcpSocket* socket = m_accepted;
    m_accepted = nullptr;
    if (!socket)
        throw ESockError(QStringLiteral("Error creating Data Connection"));
    m_remoteAddress = socket->peerAddress();
    if (m_cancelRequested) {
        m_cancelRequested = false;
        delete socket;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    return socket;
}

void TAsyncSocket::UseAcceptedSocket(QTcpSocket* socket) {
    if (m_listener) {
        m_listener->close();
        m_listener->deleteLater();
        m_listener = nullptr;
    }
    if (m_socket)
        dropSocket(m_socket);
    m_socket = socket;
    socket->setParent(this);
    attach(socket);
    m_isConnected = true;
    m_lastProgress.start();
    // The socket lived on its own between the accept and now: it may hold data, or the
    // peer may even have closed already, with nobody listening to its signals.
    QMetaObject::invokeMethod(
        this,
        [this, socket] {
            swallowing([this, socket] {
                if (socket != m_socket)
                    return;
                if (socket->bytesAvailable() > 0)
                    ReadToStream();
                if (socket == m_socket && socket->state() == QAbstractSocket::UnconnectedState)
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
    return AddressText(m_socket ? m_socket->localAddress() : QHostAddress());
}

QString TAsyncSocket::LocalPortText() const {
    return PortText(m_listener ? m_listener->serverPort() : (m_socket ? m_socket->localPort() : 0));
}

} // namespace vantor
