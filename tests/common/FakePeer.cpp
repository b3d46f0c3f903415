#include "FakePeer.h"

#include "support/Guard.h"

#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace vantor::test {

FakeConnection::FakeConnection(FakePeer& peer, QTcpSocket* socket, int index)
    : QObject(&peer), m_peer(peer), m_socket(socket), m_index(index) {
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &FakeConnection::onReadyRead);
    connect(socket, &QTcpSocket::connected, this, &FakeConnection::onConnected);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        takeIn(-1);
        m_peerClosed = true;
        if (m_peer.onClosed)
            swallowing([this] { m_peer.onClosed(*this); });
    });
}

void FakeConnection::send(const QByteArray& bytes) {
    if (!m_socket)
        return;
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->write(bytes);
    else
        m_pending.append(bytes);
}

void FakeConnection::close() {
    if (!m_socket)
        return;
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->disconnectFromHost();
    else
        m_closeWhenConnected = true;
}

void FakeConnection::reset() {
    if (!m_socket)
        return;
#ifdef Q_OS_UNIX
    const qintptr fd = m_socket->socketDescriptor();
    if (fd >= 0) {
        linger l{1, 0};
        ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
#endif
    m_socket->abort();
}

void FakeConnection::readSlowly(qint64 bytes, std::chrono::milliseconds tick) {
    m_slowReadBytes = bytes;
    if (m_socket)
        m_socket->setReadBufferSize(bytes);
    limitReceiveBuffer();
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { takeIn(m_slowReadBytes); });
    timer->start(tick);
}

void FakeConnection::limitReceiveBuffer() {
    if (m_slowReadBytes > 0 && m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, int(m_slowReadBytes));
}

void FakeConnection::onConnected() {
    limitReceiveBuffer();
    if (!m_pending.isEmpty()) {
        m_socket->write(m_pending);
        m_pending.clear();
    }
    if (m_closeWhenConnected)
        m_socket->disconnectFromHost();
}

void FakeConnection::onReadyRead() {
    if (m_slowReadBytes == 0)
        takeIn(-1);
}

void FakeConnection::takeIn(qint64 limit) {
    if (!m_socket || !m_socket->isOpen())
        return;
    const QByteArray bytes = limit < 0 ? m_socket->readAll() : m_socket->read(limit);
    if (bytes.isEmpty())
        return;
    m_received.append(bytes);
    if (m_peer.onData)
        swallowing([&] { m_peer.onData(*this, bytes); });
    m_partial.append(bytes);
    for (qsizetype lf = m_partial.indexOf('\n'); lf >= 0; lf = m_partial.indexOf('\n')) {
        QByteArray line = m_partial.left(lf);
        m_partial.remove(0, lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        m_lines.append(line);
        if (m_peer.onLine)
            swallowing([&] { m_peer.onLine(*this, line); });
        if (!m_socket)
            return;
    }
}

FakePeer::FakePeer(QObject* parent) : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            FakeConnection* c = adopt(socket);
            if (onConnection)
                swallowing([&] { onConnection(*c); });
            // Data that came with the connection.
            if (socket->bytesAvailable() > 0)
                QMetaObject::invokeMethod(
                    c, [c] { Q_EMIT c->socket()->readyRead(); }, Qt::QueuedConnection);
        }
    });
    m_server.listen(QHostAddress::LocalHost, 0);
}

FakePeer::~FakePeer() {
    m_server.close();
    // Connections are children; their sockets go with them.
}

FakeConnection* FakePeer::adopt(QTcpSocket* socket) {
    auto* c = new FakeConnection(*this, socket, int(m_connections.size()));
    m_connections.append(c);
    return c;
}

FakeConnection* FakePeer::connectTo(const QHostAddress& host, quint16 port, const QHostAddress& from) {
    auto* socket = new QTcpSocket;
    if (!from.isNull())
        socket->bind(from);
    FakeConnection* c = adopt(socket);
    socket->connectToHost(host, port);
    return c;
}

} // namespace vantor::test
