#include "TelnetClient.h"

#include "support/Guard.h"
#include "support/SocketErrors.h"

#include <QLoggingCategory>
#include <QTcpSocket>
#include <QTimer>

Q_LOGGING_CATEGORY(lcTelnet, "vantor.console.telnet", QtWarningMsg)

namespace vantor {

namespace {

// Bytes taken from the socket per read event. Bounding it keeps a flood of output from
// holding the event loop: each read event handles at most this much, and the socket
// fetches the rest on the next pass of the loop.
constexpr qint64 kReadChunk = 64 * 1024;

// A peer that takes no more bytes does not keep a closed connection half open.
constexpr std::chrono::milliseconds kCloseLimit{5000};

} // namespace

TelnetClient::TelnetClient(QObject* parent)
    : QObject(parent), m_socket(new QTcpSocket(this)), m_connectTimer(new QTimer(this)),
      m_closeTimer(new QTimer(this)) {
    m_socket->setReadBufferSize(kReadChunk);
    m_connectTimer->setSingleShot(true);
    m_closeTimer->setSingleShot(true);
    connect(m_closeTimer, &QTimer::timeout, m_socket, &QTcpSocket::abort);
    connect(m_socket, &QTcpSocket::connected, this, [this] { swallowing([this] { onConnected(); }); });
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { swallowing([this] { onReadyRead(); }); });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { swallowing([this] { onDisconnected(); }); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] { swallowing([this] { onError(); }); });
    connect(m_connectTimer, &QTimer::timeout, this, [this] { swallowing([this] { onConnectTimeout(); }); });
}

TelnetClient::~TelnetClient() {
    // No events to a half-destroyed owner.
    m_socket->disconnect(this);
    m_socket->abort();
}

void TelnetClient::open(const QString& host, quint16 port) {
    m_closeTimer->stop();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    m_filter.reset();
    m_wasConnected = false;
    qCDebug(lcTelnet) << "connecting to" << host << port;
    m_connectTimer->start(m_connectTimeout);
    m_socket->connectToHost(host, port);
}

void TelnetClient::close() {
    m_connectTimer->stop();
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    if (!m_wasConnected) {
        m_socket->abort(); // still connecting: nothing to report
        return;
    }
    // Whatever was sent goes out first, within a bound; the disconnected event follows.
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_closeTimer->start(kCloseLimit);
}

bool TelnetClient::isConnected() const {
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

bool TelnetClient::isActive() const {
    return m_socket->state() != QAbstractSocket::UnconnectedState;
}

bool TelnetClient::send(const QByteArray& bytes) {
    if (!isConnected())
        return false;
    return m_socket->write(bytes) == bytes.size();
}

void TelnetClient::flush() {
    if (isConnected())
        m_socket->flush();
}

QString TelnetClient::errorText(int code) {
    return QStringLiteral("Asynchronous socket error %1").arg(code);
}

void TelnetClient::onConnected() {
    m_connectTimer->stop();
    m_wasConnected = true;
    qCDebug(lcTelnet) << "connected";
    Q_EMIT connected();
}

void TelnetClient::onReadyRead() {
    const QByteArray data = m_filter.filter(m_socket->read(kReadChunk));
    if (!data.isEmpty())
        Q_EMIT received(data);
    // A reader that gives back control without draining would leave bytes waiting with no
    // new notification; hand the rest over on the next pass of the event loop.
    if (m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(
            this, [this] { swallowing([this] { onReadyRead(); }); }, Qt::QueuedConnection);
}

void TelnetClient::deliverPending() {
    while (m_socket->bytesAvailable() > 0) {
        const QByteArray data = m_filter.filter(m_socket->read(kReadChunk));
        if (!data.isEmpty())
            Q_EMIT received(data);
    }
}

void TelnetClient::onDisconnected() {
    m_connectTimer->stop();
    m_closeTimer->stop();
    if (!m_wasConnected)
        return;
    m_wasConnected = false;
    deliverPending(); // the last output before the close comes before the event
    qCDebug(lcTelnet) << "disconnected";
    Q_EMIT disconnected();
}

void TelnetClient::onError() {
    m_connectTimer->stop();
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        return; // the peer ended the session: the disconnected event tells it
    const int code = winsockErrorOf(m_socket->error(), m_socket->errorString());
    qCDebug(lcTelnet) << "socket error" << code << m_socket->errorString();
    if (m_wasConnected)
        deliverPending();
    Q_EMIT errorOccurred(code);
}

void TelnetClient::onConnectTimeout() {
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        return;
    qCDebug(lcTelnet) << "connect timed out";
    m_socket->abort();
    Q_EMIT errorOccurred(10060);
}

} // namespace vantor
