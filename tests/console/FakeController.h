#pragma once

#include "common/FakePeer.h"

#include <QByteArray>
#include <QPointer>

#include <chrono>

namespace vantor::test {

// A controller's telnet port on 127.0.0.1: the test writes what the controller says and
// reads back what the console sent over its latest connection.
class FakeController final {
public:
    FakeController();

    quint16 port() const { return m_peer.port(); }
    bool waitForClient(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Writes the bytes as one send.
    void say(const QByteArray& bytes);
    // Waits until everything sent by the console so far holds `expected`.
    bool waitForHeard(const QByteArray& expected, std::chrono::milliseconds limit = std::chrono::seconds(5));
    const QByteArray& heard() const { return m_heard; }
    // Starts what heard() holds afresh.
    void forget() { m_heard.clear(); }
    void hangUp();

private:
    FakePeer m_peer;
    QPointer<FakeConnection> m_client;
    QByteArray m_heard;
};

} // namespace vantor::test
