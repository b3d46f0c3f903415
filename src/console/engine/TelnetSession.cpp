#include "TelnetSession.h"

#include "console/engine/Cp932.h"
#include "console/engine/TerminalText.h"

namespace vantor {

TelnetSession::TelnetSession(TerminalText& view, QObject* parent) : QObject(parent), m_view(view) {
    connect(&m_client, &TelnetClient::connected, this, &TelnetSession::onConnected);
    connect(&m_client, &TelnetClient::received, this, &TelnetSession::onReceived);
    connect(&m_client, &TelnetClient::disconnected, this, &TelnetSession::onDisconnected);
    connect(&m_client, &TelnetClient::errorOccurred, this, &TelnetSession::onError);
}

void TelnetSession::open(const QString& host, quint16 port) {
    m_loggedIn = false;
    m_receiver.reset();
    m_client.open(host, port);
}

void TelnetSession::close() {
    m_client.close();
}

bool TelnetSession::sendText(QStringView text) {
    return m_client.send(encodeCp932(text));
}

void TelnetSession::onConnected() {
    m_view.appendLine(u"Connected");
    Q_EMIT connectionChanged(true);
}

void TelnetSession::onReceived(const QByteArray& chunk) {
    const TelnetPrompts prompts = m_receiver.receive(chunk, m_view);
    if (prompts.userName)
        sendText(QString((m_user ? m_user() : QString()) + QStringLiteral("\r\n")));
    if (prompts.password) {
        sendText(QString((m_password ? m_password() : QString()) + QStringLiteral("\r\n")));
        const bool first = !m_loggedIn;
        m_loggedIn = true;
        if (first)
            Q_EMIT loggedIn();
    }
}

void TelnetSession::onDisconnected() {
    m_view.appendLine(u"Disconnected");
    m_loggedIn = false;
    Q_EMIT connectionChanged(false);
}

void TelnetSession::onError(int code) {
    m_view.appendLine(QString(QStringLiteral("Error : ") + QString::number(code)));
    Q_EMIT socketError(code);
}

} // namespace vantor
