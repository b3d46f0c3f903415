#pragma once

#include "console/engine/TelnetClient.h"
#include "console/engine/TelnetReceiver.h"

#include <QObject>
#include <QString>

#include <functional>

namespace vantor {

class TerminalText;

// The telnet console without its widgets: the connection to the controller's shell, the
// automatic login and what the connection writes into the terminal view's text.
//
// Events, shown in the view as they happen:
//   connect    - a line "Connected", then connectionChanged(true)
//   read       - the chunk by the rules of TelnetReceiver; "User name?:" is answered with
//                the user name, "Password:" with the password (each followed by CR LF,
//                user name first when a chunk holds both), and answering the password
//                prompt sets isLoggedIn() and raises loggedIn()
//   disconnect - a line "Disconnected", logged-in cleared, then connectionChanged(false)
//   error      - a line "Error : <code>", then socketError(code); the owner shows
//                TelnetClient::errorText(code) in the error box
// The view's text is not owned and must outlive the session.
class TelnetSession final : public QObject {
    Q_OBJECT
public:
    explicit TelnetSession(TerminalText& view, QObject* parent = nullptr);

    // Where the answers to the login prompts come from: each is asked for when its prompt
    // arrives, so a login corrected in the settings counts from the next prompt on.
    void setLogin(std::function<QString()> user, std::function<QString()> password) {
        m_user = std::move(user);
        m_password = std::move(password);
    }
    // Fixed answers.
    void setUserName(const QString& user) {
        m_user = [user] { return user; };
    }
    void setPassword(const QString& password) {
        m_password = [password] { return password; };
    }

    void open(const QString& host, quint16 port = TelnetClient::kTelnetPort);
    void close();

    // There is a connection to send through (the "TelnetConnection" exists).
    bool isConnected() const { return m_client.isConnected(); }
    // The password prompt has been answered on this connection ("TelnetLoggedIn").
    bool isLoggedIn() const { return m_loggedIn; }

    // Sends the bytes unaltered; false when there is no connection.
    bool send(const QByteArray& bytes) { return m_client.send(bytes); }
    // Sends text as the controller's Shift-JIS bytes, unaltered otherwise.
    bool sendText(QStringView text);

    TelnetClient& client() { return m_client; }

Q_SIGNALS:
    void connectionChanged(bool connected);
    void loggedIn();
    void socketError(int code);

private:
    void onConnected();
    void onReceived(const QByteArray& chunk);
    void onDisconnected();
    void onError(int code);

    TerminalText& m_view;
    TelnetClient m_client;
    TelnetReceiver m_receiver;
    std::function<QString()> m_user;
    std::function<QString()> m_password;
    bool m_loggedIn = false;
};

} // namespace vantor
