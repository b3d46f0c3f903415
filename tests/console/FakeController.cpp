#include "FakeController.h"

#include "support/Wait.h"

namespace vantor::test {

FakeController::FakeController() {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        m_client = m_server.nextPendingConnection();
        m_heard.clear();
        connect(m_client, &QTcpSocket::readyRead, this, [this] {
            if (m_client)
                m_heard += m_client->readAll();
        });
    });
}

bool FakeController::waitForClient(std::chrono::milliseconds limit) {
    return pumpUntil([this] { return !m_client.isNull(); }, limit);
}

void FakeController::say(const QByteArray& bytes) {
    m_client->write(bytes);
    m_client->flush();
}

bool FakeController::waitForHeard(const QByteArray& expected, std::chrono::milliseconds limit) {
    return pumpUntil([&] { return m_heard.contains(expected); }, limit);
}

void FakeController::hangUp() {
    if (m_client)
        m_client->disconnectFromHost();
}

} // namespace vantor::test
