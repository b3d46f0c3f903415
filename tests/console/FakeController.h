#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <chrono>

namespace vantor::test {

// A controller's telnet port on 127.0.0.1: the test writes what the controller says and
// reads back what the console sent.
class FakeController final : public QObject {
    Q_OBJECT
public:
    FakeController();

    quint16 port() const { return m_server.serverPort(); }
    bool waitForClient(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Writes the bytes as one send.
    void say(const QByteArray& bytes);
    // Waits until everything sent by the console so far holds `expected`.
    bool waitForHeard(const QByteArray& expected, std::chrono::milliseconds limit = std::chrono::seconds(5));
    const QByteArray& heard() const { return m_heard; }
    void hangUp();

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_heard;
};

} // namespace vantor::test
