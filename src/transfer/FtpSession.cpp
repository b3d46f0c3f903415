#include "FtpSession.h"

#include "RepaintThrottle.h"
#include "TransferPanels.h"
#include "support/Guard.h"
#include "support/Paths.h"
#include "support/Prompter.h"
#include "support/TQelBtn.h"
#include "support/Wait.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimer>
#include <exception>

Q_LOGGING_CATEGORY(lcSession, "vantor.transfer.session", QtWarningMsg)

namespace vantor {

namespace {

const QString kConnected = QStringLiteral("Connected");
const QString kDisconnected = QStringLiteral("Disconnected");

// A reply as the log shows it: one line, without its line end.
QString withoutLineEnd(QString reply) {
    while (reply.endsWith(QLatin1Char('\n')) || reply.endsWith(QLatin1Char('\r')))
        reply.chop(1);
    return reply;
}

// Marks the span of an upload or download call.
class InFlight {
public:
    explicit InFlight(bool& flag) : m_flag(flag) { m_flag = true; }
    ~InFlight() { m_flag = false; }
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;

private:
    bool& m_flag;
};

} // namespace

FtpSession::FtpSession(const Controls& controls, QObject* parent)
    : QObject(parent), m_panels(controls.panels), m_memo(controls.MemoFtp), m_status(controls.StatusPanel),
      m_progress(controls.ProgressPanel), m_address(controls.EditlIPAdrs1), m_user(controls.EditUser1),
      m_password(controls.EditPass1) {
    m_logPaint = new RepaintThrottle(m_memo, this);
    m_statusPaint = new RepaintThrottle(m_status, this);
    m_progressPaint = new RepaintThrottle(m_progress, this);
    FtpOS9 = new TFtpClient(this);
    FtpOS9->setObjectName(QStringLiteral("FtpOS9"));
    FtpOS9->Port = 21;
    FtpOS9->TimeOut = 20000;
    FtpOS9->ReportLevel = 0;
    FtpOS9->UserID = QStringLiteral("super");
    FtpOS9->Password = QStringLiteral("kolm");
    FtpOS9->Vendor = VendorDetect;
    FtpOS9->ParseList = true;
    FtpOS9->ProxyPort = 0;

    FtpOS9->OnConnect = [this](TAsyncSocket*) { swallowing([this] { FtpOS9Connect(); }); };
    FtpOS9->OnConnectionFailed = [this](TAsyncSocket*) { swallowing([this] { FtpOS9ConnectionFailed(); }); };
    FtpOS9->OnDisconnect = [this](TAsyncSocket*) { swallowing([this] { FtpOS9Disconnect(); }); };
    FtpOS9->OnInvalidHost = [this](bool&) { swallowing([this] { FtpOS9InvalidHost(); }); };
    FtpOS9->OnStatus = [this](TAsyncSocket*, const QString& status) {
        swallowing([&] { FtpOS9Status(status); });
    };
    FtpOS9->OnError = [this](TAsyncSocket*, quint16 errnum, const QString& errmsg) {
        swallowing([&] { FtpOS9Error(errnum, errmsg); });
    };
    FtpOS9->OnSuccess = [this](TCmdType type) { swallowing([&] { FtpOS9Success(type); }); };
    FtpOS9->OnFailure = [this](bool& handled, TCmdType type) {
        swallowing([&] { FtpOS9Failure(handled, type); });
    };
    FtpOS9->OnPacketRecvd = [this](TAsyncSocket*) { swallowing([this] { FtpOS9PacketRecvd(); }); };
    FtpOS9->OnPacketSent = [this](TAsyncSocket*) { swallowing([this] { FtpOS9PacketSent(); }); };

    TimerTrnsCheck = new QTimer(this);
    TimerTrnsCheck->setObjectName(QStringLiteral("TimerTrnsCheck"));
    TimerTrnsCheck->setSingleShot(true);
    TimerTrnsCheck->setInterval(1000);
    connect(TimerTrnsCheck, &QTimer::timeout, this,
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
    TimerTrnsCheck->stop();
    delete FtpOS9;
    FtpOS9 = nullptr;
}

// --- helpers ------------------------------------------------------------------------------

void FtpSession::log(const QString& text) {
    m_logPaint->aboutToChange();
    m_memo->appendPlainText(text);
}

void FtpSession::showStatus(const QString& text) {
    m_statusPaint->aboutToChange();
    m_status->setText(text);
}

void FtpSession::showProgress(const QString& text) {
    m_progressPaint->aboutToChange();
    m_progress->setText(text);
}

bool FtpSession::isConnected() const {
    return FtpOS9->IsConnected();
}

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

void FtpSession::awaitResult(const std::function<bool()>& arrived, const QString& what) {
    if (pumpUntil(arrived, std::chrono::milliseconds(kResultLimitMs)))
        return;
    // The client's operations report before they return; a result that never came means
    // the state of the remote side is unknown, so the caller must not go on.
    WaitingForReply = false;
    LastOpSucceeded = false;
    showStatus(QStringLiteral("Time Out"));
    log(m_status->text());
    throw Error(what + QStringLiteral(" Time Out"));
}

void FtpSession::awaitTransferResult() {
    const auto remaining = [this] {
        return std::chrono::milliseconds(
            std::max<qint64>(0, QDateTime::currentDateTime().msecsTo(TransferDeadline)));
    };
    pumpUntil([this] { return !WaitingForReply; }, remaining());
    if (WaitingForReply) {
        WaitingForReply = false;
        LastOpSucceeded = false;
        showStatus(QStringLiteral("Time Out"));
        log(m_status->text());
    }
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
    m_memo->clear();
    m_panels->RdoAscii->setEnabled(true);
    m_panels->RdoBinary->setEnabled(true);
    FtpOS9->Host = m_address->text();
    // A login refused a moment ago and corrected in the settings is used at once.
    if (m_user)
        FtpOS9->UserID = m_user->text();
    if (m_password)
        FtpOS9->Password = m_password->text();
    try {
        FtpOS9->Connect();
        // Connect reports the login before it returns; a server that hangs up at once
        // must not leave the window waiting.
        pumpUntil([this] { return m_panels->LblSts2->text() == kConnected || !FtpOS9->IsConnected(); },
                  std::chrono::milliseconds(FtpOS9->TimeOut));
        if (m_panels->LblSts2->text() != kConnected || !FtpOS9->IsConnected())
            throw Error(QStringLiteral("Not Connected"));
    } catch (...) {
        if (!FtpOS9->IsConnected())
            showDisconnectedBar();
        throw;
    }
    if (OnOpened)
        OnOpened();
    checkBinary();
    if (FileTransferSheetShowing && FileTransferSheetShowing()) {
        m_panels->BtnInstallSys->setEnabled(true);
        m_panels->BtnInstallAppli->setEnabled(true);
    }
}

void FtpSession::BtnFTPCloseClick() {
    if (isBusy()) {
        // The client is inside an operation: end its wait; the close follows once the
        // operation has unwound.
        m_closePending = true;
        FtpOS9->Abort();
        FtpOS9->Cancel();
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
    m_panels->BtnInstallSys->setEnabled(false);
    m_panels->BtnInstallAppli->setEnabled(false);
    m_panels->RdoAscii->setEnabled(false);
    m_panels->RdoBinary->setEnabled(false);
    FtpOS9->Disconnect();
    if (!FtpOS9->IsConnected())
        showDisconnectedBar();
}

void FtpSession::showDisconnectedBar() {
    TransferPanels* p = m_panels;
    p->LblSts2->setText(kDisconnected);
    p->BtnFTPOpen->setChecked(false);
    p->BtnFTPClose->setChecked(false);
    p->BtnFTPClose->setEnabled(false);
    p->RdoAscii->setEnabled(false);
    p->RdoBinary->setEnabled(false);
    p->BtnInstallSys->setEnabled(false);
    p->BtnInstallAppli->setEnabled(false);
    m_address->setEnabled(true);
}

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

// --- client events ------------------------------------------------------------------------

void FtpSession::FtpOS9Connect() {
    m_panels->LblSts2->setText(kConnected);
    m_panels->BtnFTPClose->setEnabled(true);
    m_address->setEnabled(false);
}

void FtpSession::FtpOS9ConnectionFailed() {
    showStatus(QStringLiteral("Connection Failed"));
    m_panels->LblSts2->setText(kDisconnected);
    m_panels->BtnFTPOpen->setChecked(false);
}

void FtpSession::FtpOS9Disconnect() {
    // However the connection ended, the bar shows the disconnected state: OPEN up and
    // nothing enabled that needs the connection.
    showDisconnectedBar();
}

void FtpSession::FtpOS9InvalidHost() {
    showStatus(QStringLiteral("Invalid Host!"));
}

void FtpSession::FtpOS9Status(const QString& status) {
    showStatus(status);
    if (FtpOS9->ReplyCode() == 530)
        Prompter::current().warning(QStringLiteral("Requested action not taken"));
}

void FtpSession::FtpOS9Error(quint16 errnum, const QString& errmsg) {
    showStatus(QString());
    if (WaitingForReply) {
        WaitingForReply = false;
        LastOpSucceeded = false;
    }
    showStatus(QStringLiteral("Error %1: %2").arg(errnum).arg(errmsg));
    log(m_status->text());
}

void FtpSession::FtpOS9Success(TCmdType type) {
    if (WaitingForReply) {
        WaitingForReply = false;
        LastOpSucceeded = true;
        showProgress(QString());
    }
    if (type == ctChangeDir) {
        showStatus(QStringLiteral("ChangeDir success"));
        ChangeDirDone = true;
    } else if (type == ctList) {
        showStatus(QStringLiteral("List success"));
        ChangeDirDone = false;
    } else if (type <= ctDoCommand) {
        showStatus(CmdTypeName(type) + QStringLiteral(" success"));
    }
    log(m_status->text());
}

void FtpSession::FtpOS9Failure(bool& handled, TCmdType type) {
    showStatus(QString());
    if (WaitingForReply) {
        WaitingForReply = false;
        LastOpSucceeded = false;
    }
    if (type == ctDoCommand) {
        showStatus(QStringLiteral("DoCommand failure:") + withoutLineEnd(FtpOS9->LastReply()));
        handled = true;
    } else {
        showStatus(CmdTypeName(type) + QStringLiteral(" failure"));
        handled = type == ctMakeDir;
    }
    log(m_status->text());
}

void FtpSession::FtpOS9PacketRecvd() {
    const qint64 received = FtpOS9->ReceivedCount();
    const qint64 size = FtpOS9->TransferSize();
    showProgress(QStringLiteral("%1 of %2").arg(received).arg(size));
    if (received == size && m_transferInFlight) {
        m_checkTag = TransferCounter;
        if (!TimerTrnsCheck->isActive())
            TimerTrnsCheck->start();
    }
}

void FtpSession::FtpOS9PacketSent() {
    showProgress(QStringLiteral("%1 of %2").arg(FtpOS9->SentCount()).arg(FtpOS9->TransferSize()));
}

void FtpSession::TimerTrnsCheckTimer() {
    TimerTrnsCheck->stop();
    // Only the transfer that armed the timer may be failed by it, and only while its call
    // has not returned: TransferCounter moves on when it does.
    if (!m_transferInFlight || m_checkTag != TransferCounter)
        return;
    qCDebug(lcSession) << "transfer check fired" << FtpOS9->ReceivedCount() << FtpOS9->TransferSize();
    log(QStringLiteral("FTP Time Out... %1/%2").arg(FtpOS9->ReceivedCount()).arg(FtpOS9->TransferSize()));
    WaitingForReply = false;
    LastOpSucceeded = false;
    showProgress(QString());
}

// --- synchronous operations ---------------------------------------------------------------

void FtpSession::SetModeAndWait(int mode) {
    WaitingForReply = true;
    showStatus(QStringLiteral("ModeSet : %1").arg(mode));
    refuseWhileClosing();
    FtpOS9->SetMode(mode);
    awaitResult([this] { return !WaitingForReply; }, QStringLiteral("ModeSet :"));
}

void FtpSession::ChangeDirAndWait(const QString& directory) {
    WaitingForReply = true;
    ChangeDirDone = false;
    showStatus(QStringLiteral("ChangeDir : ") + directory);
    refuseWhileClosing();
    FtpOS9->ChangeDir(directory);
    awaitResult([this] { return ChangeDirDone; }, QStringLiteral("ChangeDir : ") + directory);
}

void FtpSession::MakeDirAndWait(const QString& directory) {
    WaitingForReply = true;
    showStatus(QStringLiteral("MakDir : ") + directory);
    refuseWhileClosing();
    FtpOS9->MakeDir(directory);
    awaitResult([this] { return !WaitingForReply; }, QStringLiteral("MakDir : ") + directory);
}

void FtpSession::UploadAndWait(const QString& localFile) {
    const QString name = QFileInfo(localFile).fileName();
    WaitingForReply = true;
    LastOpSucceeded = false;
    showStatus(QStringLiteral("Upload : ") + name);
    log(m_status->text());
    refuseWhileClosing();
    {
        InFlight inFlight(m_transferInFlight);
        FtpOS9->Upload(localFile, paths::remoteNameFor(name));
    }
    TransferDeadline = QDateTime::currentDateTime().addMSecs(kResultLimitMs);
    ++TransferCounter;
    awaitTransferResult();
}

void FtpSession::DownloadAndWait(const QString& fileName, const QString& localFolder) {
    // A listing names the file; it must not name where on this machine it lands.
    if (!paths::isPlainRemoteName(fileName))
        throw Error(QStringLiteral("Not a plain file name: ") + fileName);
    WaitingForReply = true;
    LastOpSucceeded = false;
    showStatus(QStringLiteral("Download : ") + fileName);
    log(m_status->text());
    refuseWhileClosing();
    {
        InFlight inFlight(m_transferInFlight);
        FtpOS9->Download(fileName, paths::join(localFolder, paths::localNameFor(fileName)));
    }
    TransferDeadline = QDateTime::currentDateTime().addMSecs(kResultLimitMs);
    ++TransferCounter;
    awaitTransferResult();
}

bool FtpSession::CheckTransferOk() {
    if (!LastOpSucceeded && !m_shuttingDown)
        Prompter::current().error(QStringLiteral("Can't transfer file"));
    return LastOpSucceeded;
}

QString FtpSession::CurrentDir() {
    refuseWhileClosing();
    return FtpOS9->CurrentDir();
}

void FtpSession::List() {
    refuseWhileClosing();
    FtpOS9->ParseList = true;
    FtpOS9->Vendor = VendorDetect;
    FtpOS9->List();
}

} // namespace vantor
