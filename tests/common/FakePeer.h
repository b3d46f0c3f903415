#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <chrono>
#include <functional>

namespace vantor::test {

class FakePeer;

// One connection of a FakePeer, accepted or opened by it. Owned by the peer.
class FakeConnection final : public QObject {
    Q_OBJECT
public:
    FakeConnection(FakePeer& peer, QTcpSocket* socket, int index);

    int index() const { return m_index; } // 0 for the peer's first connection
    QTcpSocket* socket() const { return m_socket; }
    bool isOpen() const { return m_socket && m_socket->state() != QAbstractSocket::UnconnectedState; }
    bool peerClosed() const { return m_peerClosed; }

    // Sends now, or as soon as an outgoing connection is established.
    void send(const QByteArray& bytes);
    void sendLine(const QByteArray& line) { send(line + "\r\n"); }
    // Graceful close after everything queued has gone out.
    void close();
    // Abortive close: the other side sees a reset.
    void reset();
    // A slow reader: takes in at most `bytes` per `tick` and keeps its receive buffers that
    // small, so the other side's data waits in its own system queue.
    void readSlowly(qint64 bytes, std::chrono::milliseconds tick);

    const QByteArray& received() const { return m_received; }
    const QList<QByteArray>& lines() const { return m_lines; } // complete lines, CR LF removed

private:
    void onReadyRead();
    void onConnected();
    void takeIn(qint64 limit); // reads at most `limit` bytes (-1: all) and hands them on
    void limitReceiveBuffer();

    FakePeer& m_peer;
    QPointer<QTcpSocket> m_socket;
    int m_index;
    QByteArray m_received;
    QByteArray m_partial;
    QList<QByteArray> m_lines;
    QByteArray m_pending;
    bool m_closeWhenConnected = false;
    bool m_peerClosed = false;
    qint64 m_slowReadBytes = 0; // > 0: readSlowly is on
};

// A scripted TCP peer on 127.0.0.1 with a free port, for tests that need replies and
// faults no real server gives on demand. The test sets the handlers; they run on the test
// thread inside whatever wait the code under test is in.
class FakePeer final : public QObject {
    Q_OBJECT
public:
    explicit FakePeer(QObject* parent = nullptr);
    ~FakePeer() override;

    bool isListening() const { return m_server.isListening(); }
    QHostAddress address() const { return QHostAddress(QHostAddress::LocalHost); }
    quint16 port() const { return m_server.serverPort(); }

    // Called for each accepted connection, before any of its data.
    std::function<void(FakeConnection&)> onConnection;
    // Raw bytes as they arrive (telnet and the like); called before onLine.
    std::function<void(FakeConnection&, const QByteArray& bytes)> onData;
    // Each complete line (LF-terminated, CR LF removed).
    std::function<void(FakeConnection&, const QByteArray& line)> onLine;
    // The other side closed the connection.
    std::function<void(FakeConnection&)> onClosed;

    // Opens a connection from this peer, as an FTP server does to a PORT address. The
    // connection's data reaches the same handlers. A non-null `from` binds the local end
    // to that address first (another loopback address, as a stranger would come from).
    FakeConnection* connectTo(const QHostAddress& host, quint16 port, const QHostAddress& from = {});

    const QList<FakeConnection*>& connections() const { return m_connections; }
    // Stops accepting; existing connections stay.
    void stopListening() { m_server.close(); }

private:
    friend class FakeConnection;
    FakeConnection* adopt(QTcpSocket* socket);

    QTcpServer m_server;
    QList<FakeConnection*> m_connections;
};

} // namespace vantor::test
