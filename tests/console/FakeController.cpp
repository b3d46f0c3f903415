#include "FakeController.h"

#include "support/Wait.h"

#include <QtTest>

namespace vantor::test {

FakeController::FakeController() {
    m_peer.onConnection = [this](FakeConnection& c) {
        m_client = &c;
        m_heard.clear();
    };
    m_peer.onData = [this](FakeConnection& c, const QByteArray& bytes) {
        if (&c == m_client)
            m_heard += bytes;
    };
}

bool FakeController::waitForClient(std::chrono::milliseconds limit) {
    return pumpUntil([this] { return !m_client.isNull(); }, limit);
}

void FakeController::say(const QByteArray& bytes) {
    QVERIFY(m_client && m_client->socket());
    m_client->send(bytes);
    m_client->socket()->flush();
}

bool FakeController::waitForHeard(const QByteArray& expected, std::chrono::milliseconds limit) {
    return pumpUntil([&] { return m_heard.contains(expected); }, limit);
}

void FakeController::hangUp() {
    if (m_client)
        m_client->close();
}

} // namespace vantor::test
