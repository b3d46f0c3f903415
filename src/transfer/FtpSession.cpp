// The FTP bar's connection: construction, opening and closing, the transfer type, the
// exclusive user actions and the connection events. The synchronous operations and the
// result events that end their waits are in FtpSessionWaits.cpp.

#include "FtpSession.h"

#include "TransferPanels.h"
#include "support/Guard.h"
#include "support/Prompter.h"
#include "support/TQelBtn.h"
#include "support/Wait.h"

#include <QLineEdit>
#include <QLoggingCategory>
#include <QRadioButton>
#include <QTimer>
#include <exception>

Q_LOGGING_CATEGORY(lcSession, "vantor.transfer.session", QtWarningMsg)

namespace vantor {

FtpSession::FtpSession(const BorrowedControls& controls, QObject* parent)
    : QObject(parent), m_panels(controls.panels), m_address(controls.EditlIPAdrs1),
      m_user(controls.EditUser1), m_password(controls.EditPass1) {
    m_ftpOS9 = new TFtpClient(this);
    m_ftpOS9->setObjectName(QStringLiteral("FtpOS9"));
    m_ftpOS9->Port = 21;
    m_ftpOS9->TimeOut = 20000;
    m_ftpOS9->ReportLevel = 0;
    m_ftpOS9->UserID = QStringLiteral("super");
    m_ftpOS9->Password = QStringLiteral("kolm");
    m_ftpOS9->Vendor = VendorDetect;
    m_ftpOS9->ParseList = true;
    m_ftpOS9->ProxyPort = 0;
    bindClientEvents();

    m_timerTrnsCheck = new QTimer(this);
    m_timerTrnsCheck->setObjectName(QStringLiteral("TimerTrnsCheck"));
    m_timerTrnsCheck->setSingleShot(true);
    m_timerTrnsCheck->setInterval(1000);
    connect(m_timerTrnsCheck, &QTimer::timeout, this,
            [this] { swallowing([this] { TimerTrnsCheckTimer(); }); });

    TransferPanels* p = m_panels;
    connect(p->BtnFTPOpen, &QAbstractButton::clicked, this,
            [this] { guarded([this] { BtnFTPOpenClick(); }); });
    connect(p->BtnFTPClose, &QAbstractButton::clicked, this,
            [this] { guarded([this] { BtnFTPCloseClick(); }); });
    for (QRadioButton* radio : {p->RdoAscii, p->RdoBinary})
        connect(radio, &QAbstractButton::clicked, this,
                [this, radio] { guarded([&] { userModeClick(radio); }); });
}

FtpSession::~FtpSession() {
    // The client says goodbye to the server while the controls it reports to still exist;
    // its destructor fires no events.
    m_timerTrnsCheck->stop();
    delete m_ftpOS9;
    m_ftpOS9 = nullptr;
}

// The client reports through callbacks; none of its exceptions may cross them.
void FtpSession::bindClientEvents() {
    TFtpClient* c = m_ftpOS9;
    c->OnConnect = [this](TAsyncSocket*) { swallowing([this] { FtpOS9Connect(); }); };
    c->OnConnectionFailed = [this](TAsyncSocket*) { swallowing([this] { FtpOS9ConnectionFailed(); }); };
    c->OnDisconnect = [this](TAsyncSocket*) { swallowing([this] { FtpOS9Disconnect(); }); };
    c->OnInvalidHost = [this](bool&) { swallowing([this] { FtpOS9InvalidHost(); }); };
    c->OnStatus = [this](TAsyncSocket*, const QString& status) { swallowing([&] { FtpOS9Status(status); }); };
    c->OnError = [this](TAsyncSocket*, quint16 errnum, const QString& errmsg) {
        swallowing([&] { FtpOS9Error(errnum, errmsg); });
    };
    c->OnSuccess = [this](TCmdType type) { swallowing([&] { FtpOS9Success(type); }); };
    c->OnFailure = [this](bool& handled, TCmdType type) {
        swallowing([&] { FtpOS9Failure(handled, type); });
    };
    c->OnPacketRecvd = [this](TAsyncSocket*) { swallowing([this] { FtpOS9PacketRecvd(); }); };
    c->OnPacketSent = [this](TAsyncSocket*) { swallowing([this] { FtpOS9PacketSent(); }); };
    c->OnListItem = [this](const QString& line) { swallowing([&] { Q_EMIT listItem(line); }); };
}

// --- state and reports --------------------------------------------------------------------

bool FtpSession::isConnected() const {
    return m_ftpOS9->IsConnected();
}

void FtpSession::setPort(int port) {
    m_ftpOS9->Port = port;
}

void FtpSession::setReportLevel(int level) {
    m_ftpOS9->ReportLevel = level;
}

void FtpSession::log(const QString& text) {
    Q_EMIT logged(text);
}

void FtpSession::showStatus(const QString& text) {
    m_statusText = text;
    Q_EMIT statusChanged(text);
}

void FtpSession::showProgress(const QString& text) {
    Q_EMIT progressChanged(text);
}

// --- exclusive user actions ---------------------------------------------------------------

bool FtpSession::runExclusive(const std::function<void()>& action) {
    if (m_actionDepth > 0)
        return false;
    ++m_actionDepth;
    const auto finish = [this] {
        if (m_closePending) {
            m_closePending = false;
            swallowing([this] { closeNow(); });
        }
        --m_actionDepth;
    };
    try {
        action();
    } catch (const std::exception& e) {
        finish();
        if (!m_shuttingDown)
            throw;
        qCDebug(lcSession) << "action ended by the closing window:" << e.what();
    } catch (...) {
        finish();
        if (!m_shuttingDown)
            throw;
    }
    finish();
    return true;
}

void FtpSession::refuseWhileClosing() const {
    if (m_closePending)
        throw Error(QStringLiteral("Not Connected"));
}

// --- FTP bar ------------------------------------------------------------------------------

void FtpSession::BtnFTPOpenClick() {
    if (!m_panels->BtnFTPOpen->isChecked()) {
        BtnFTPCloseClick();
        return;
    }
    if (!runExclusive([this] { open(); }))
        m_panels->BtnFTPOpen->setChecked(false); // the connection is busy closing
}

void FtpSession::open() {
    m_shuttingDown = false;
    // A new connection starts in the server's own type, whatever the radios show.
    m_modeInForce = nullptr;
    Q_EMIT opening();
    m_ftpOS9->Host = m_address->text();
    // A login refused a moment ago and corrected in the settings is used at once.
    if (m_user)
        m_ftpOS9->UserID = m_user->text();
    if (m_password)
        m_ftpOS9->Password = m_password->text();
    try {
        // Connect returns once logged in; a server that hung up at once leaves no
        // connection to go on with.
        m_ftpOS9->Connect();
        if (!m_ftpOS9->IsConnected())
            throw Error(QStringLiteral("Not Connected"));
    } catch (...) {
        if (!m_ftpOS9->IsConnected())
            Q_EMIT disconnected();
        throw;
    }
    if (m_openingSteps)
        m_openingSteps();
    checkBinary();
    Q_EMIT opened();
}

void FtpSession::BtnFTPCloseClick() {
    if (isBusy()) {
        // The client is inside an operation: end its wait; the close follows once the
        // operation has unwound.
        m_closePending = true;
        m_ftpOS9->Abort();
        m_ftpOS9->Cancel();
        return;
    }
    runExclusive([this] { closeNow(); });
}

void FtpSession::closeForSheetChange() {
    if (!m_panels->BtnFTPOpen->isChecked())
        return;
    m_panels->BtnFTPClose->setChecked(true);
    BtnFTPCloseClick();
}

void FtpSession::closeForShutdown() {
    m_shuttingDown = true;
    if (isBusy() || isConnected())
        BtnFTPCloseClick();
}

void FtpSession::closeNow() {
    Q_EMIT closing();
    m_ftpOS9->Disconnect();
    if (!m_ftpOS9->IsConnected())
        Q_EMIT disconnected();
}

// --- transfer type ------------------------------------------------------------------------

void FtpSession::userModeClick(QRadioButton* button) {
    if (button == m_modeInForce)
        return; // checking the checked button sends nothing
    if (isBusy()) {
        // Another operation holds the connection: the mode stays what was last sent.
        if (m_modeInForce) {
            m_modeInForce->setChecked(true);
        } else {
            button->setAutoExclusive(false);
            button->setChecked(false);
            button->setAutoExclusive(true);
        }
        return;
    }
    runExclusive([&] { RdoTransModeClick(button); });
}

void FtpSession::RdoTransModeClick(QRadioButton* button) {
    m_modeInForce = button;
    SetModeAndWait(button == m_panels->RdoBinary ? tmImage : tmAscii);
}

void FtpSession::checkMode(QRadioButton* button) {
    if (button->isChecked() && button == m_modeInForce)
        return;
    button->setChecked(true);
    RdoTransModeClick(button);
}

void FtpSession::checkAscii() {
    checkMode(m_panels->RdoAscii);
}

void FtpSession::checkBinary() {
    checkMode(m_panels->RdoBinary);
}

// --- connection events --------------------------------------------------------------------

void FtpSession::FtpOS9Connect() {
    Q_EMIT connected();
}

void FtpSession::FtpOS9ConnectionFailed() {
    showStatus(QStringLiteral("Connection Failed"));
    Q_EMIT connectionFailed();
}

void FtpSession::FtpOS9Disconnect() {
    Q_EMIT disconnected();
}

void FtpSession::FtpOS9InvalidHost() {
    showStatus(QStringLiteral("Invalid Host!"));
}

void FtpSession::FtpOS9Status(const QString& status) {
    showStatus(status);
    if (m_ftpOS9->ReplyCode() == 530)
        Prompter::current().warning(QStringLiteral("Requested action not taken"));
}

} // namespace vantor
