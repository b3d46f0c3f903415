#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QBoxLayout;
class QLineEdit;
class QWidget;

namespace vantor {

class TQelBtn;
class TelnetSession;
class TerminalView;

// The Telnet sheet: the LOGIN button and the terminal view MemoTelnet over a telnet
// session with the controller (TelnetSession), which answers the two login prompts
// with the user name and password of the settings.
//
// BtnLogin down opens the connection to the address of the settings, up closes it; a
// disconnect or an error leaves the button as it is. What the connection reports is
// written into the view ("Connected", "Disconnected", "Error : <code>", received text);
// an error is also shown in the error box, after the notification has been handled.
class TelnetConsole final : public QObject {
    Q_OBJECT
public:
    // The port of the controller's telnet server: 23, unless VANTOR_TELNET_PORT names
    // another (a controller reached through a tunnel, or a test peer).
    static quint16 defaultPort();

    // Builds the sheet's controls on `sheet`; the settings edits are read when they are
    // needed. `panelRow` receives the layout in which the shared console panels sit
    // while this sheet shows.
    TelnetConsole(QWidget* sheet, QLineEdit* address, QLineEdit* user, QLineEdit* password,
                  QObject* parent = nullptr);
    ~TelnetConsole() override;

    TQelBtn* BtnLogin;
    TerminalView* MemoTelnet;
    QBoxLayout* panelRow() const { return m_panelRow; }

    // The password prompt has been answered on the present connection.
    bool TelnetLoggedIn() const;
    // Set while another part of the program opens the connection itself: opening then
    // leaves the keyboard focus where it is.
    bool AutoLoginActive() const { return m_autoLoginActive; }
    void setAutoLoginActive(bool active) { m_autoLoginActive = active; }

    // There is a connection to send through ("TelnetConnection").
    bool hasConnection() const;
    // Sends the bytes unaltered over the connection; false (nothing sent) without one.
    bool send(const QByteArray& bytes);

    void setPort(quint16 port) { m_port = port; }
    quint16 port() const { return m_port; }

    TelnetSession& session() { return *m_session; }

    // BtnLogin was clicked: opens or closes by the button's new state.
    void BtnLoginClick();

Q_SIGNALS:
    // Connect and disconnect events, after the view has been written.
    void connectionChanged(bool connected);
    void loggedIn();

private:
    void SocketTelnetError(int code);

    QLineEdit* m_address;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QBoxLayout* m_panelRow;
    std::unique_ptr<TelnetSession> m_session;
    quint16 m_port;
    bool m_autoLoginActive = false;
};

} // namespace vantor
