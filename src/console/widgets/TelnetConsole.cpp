#include "TelnetConsole.h"

#include "console/engine/TelnetSession.h"
#include "console/widgets/ConsoleSheetLayout.h"
#include "console/widgets/TerminalView.h"
#include "support/Guard.h"
#include "support/Prompter.h"
#include "support/TQelBtn.h"

#include <QLineEdit>

namespace vantor {

quint16 TelnetConsole::defaultPort() {
    bool ok = false;
    const uint port = qEnvironmentVariable("VANTOR_TELNET_PORT").toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? quint16(port) : TelnetClient::kTelnetPort;
}

TelnetConsole::TelnetConsole(QWidget* sheet, QLineEdit* address, QLineEdit* user, QLineEdit* password,
                             QObject* parent)
    : QObject(parent), m_address(address), m_user(user), m_password(password), m_port(defaultPort()) {
    const ConsoleSheetLayout shape =
        layOutConsoleSheet(sheet, {}, QStringLiteral("LOGIN"), "BtnLogin", "MemoTelnet");
    BtnLogin = shape.connectButton;
    MemoTelnet = shape.view;
    m_panelRow = shape.panelRow;

    m_session = std::make_unique<TelnetSession>(MemoTelnet->text());
    m_session->setLogin([this] { return m_user->text(); }, [this] { return m_password->text(); });
    connect(BtnLogin, &QAbstractButton::clicked, this, [this] { guarded([this] { BtnLoginClick(); }); });
    connect(m_session.get(), &TelnetSession::connectionChanged, this, &TelnetConsole::connectionChanged);
    connect(m_session.get(), &TelnetSession::loggedIn, this, &TelnetConsole::loggedIn);
    connect(m_session.get(), &TelnetSession::socketError, this, &TelnetConsole::SocketTelnetError);
}

TelnetConsole::~TelnetConsole() {
    // The session writes into the view's text: it goes first, and quietly.
    m_session->disconnect(this);
    m_session.reset();
}

bool TelnetConsole::TelnetLoggedIn() const {
    return m_session->isLoggedIn();
}

bool TelnetConsole::hasConnection() const {
    return m_session->isConnected();
}

bool TelnetConsole::send(const QByteArray& bytes) {
    return m_session->send(bytes);
}

void TelnetConsole::BtnLoginClick() {
    if (!BtnLogin->isChecked()) {
        m_session->close();
        return;
    }
    m_session->open(m_address->text().trimmed(), m_port);
    if (!m_autoLoginActive)
        MemoTelnet->setFocus();
}

void TelnetConsole::SocketTelnetError(int code) {
    // The socket layer's own report of the error, shown once the notification is over so
    // that no dialog runs inside the socket's event.
    QMetaObject::invokeMethod(
        this, [code] { swallowing([code] { Prompter::current().error(TelnetClient::errorText(code)); }); },
        Qt::QueuedConnection);
}

} // namespace vantor
