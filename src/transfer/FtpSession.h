#pragma once

#include "ftp/FtpClient.h"

#include <QDateTime>
#include <QObject>

#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QTimer;

namespace vantor {

class TransferPanels;

// The main window's FTP connection to the controller: the FTP bar's buttons (OPEN, CLOSE,
// ASCII/BINARY), the client's events turned into results and notices, and the synchronous
// operations the browsing and the transfers are built on. What the bar, the status bar and
// the FTP log show of it is FtpBarView's, which follows the signals below.
//
// The client's operations block (pumping events) until they are done and cannot nest, so
// every user action that talks to the controller runs through runExclusive(): a second
// one that arrives from inside the first one's wait is turned back. A close asked for
// while an action runs cancels the client's wait and happens as soon as that action has
// unwound; until then every operation here refuses with "Not Connected".
//
// Ownership: the session owns its client FtpOS9 and its check timer TimerTrnsCheck; the
// borrowed controls belong to the main window and outlive the session.
class FtpSession final : public QObject {
    Q_OBJECT
public:
    // The controls the FTP bar borrows from the main window. The session reads the bar's
    // buttons and the address and login fields; FtpBarView shows the results on the rest.
    struct BorrowedControls {
        TransferPanels* panels;
        QPlainTextEdit* MemoFtp;
        QLabel* StatusPanel;
        QLabel* ProgressPanel;
        QLineEdit* EditlIPAdrs1;
        QLineEdit* EditUser1; // the login, taken as it stands when OPEN is pressed
        QLineEdit* EditPass1;
    };
    explicit FtpSession(const BorrowedControls& controls, QObject* parent = nullptr);
    ~FtpSession() override;

    // --- State, as the last operation and result event left it -----------------------------
    bool WaitingForReply() const { return m_waitingForReply; }
    bool LastOpSucceeded() const { return m_lastOpSucceeded; }
    bool ChangeDirDone() const { return m_changeDirDone; }
    QDateTime TransferDeadline() const { return m_transferDeadline; }
    // One more after each upload or download call returned.
    qint32 TransferCounter() const { return m_transferCounter; }
    // What the status panel shows: the operation under way or the last result.
    QString statusText() const { return m_statusText; }
    bool isConnected() const;
    bool isBusy() const { return m_actionDepth > 0; }

    // The client, to read its state; its operations go through this session, which must
    // see their events.
    const TFtpClient& FtpOS9() const { return *m_ftpOS9; }
    // Where the controller's FTP server listens: 21 unless a test or a benchmark says else.
    void setPort(int port);
    // 1 lets the protocol traffic reach the status panel; 0 by design.
    void setReportLevel(int level);

    // What opening does once logged in: change to the device, list it, enter the local
    // install folders. The steps run inside the opening action and may fail, and a failure
    // must end the opening as a refused login does; a signal could not carry that back.
    void setOpeningSteps(std::function<void()> steps) { m_openingSteps = std::move(steps); }

    // --- FTP bar --------------------------------------------------------------------------
    void BtnFTPOpenClick();
    void BtnFTPCloseClick();
    // A change of sheet: presses CLOSE when OPEN is down.
    void closeForSheetChange();
    // The window is closing: closes the connection, ending the wait of an action under way;
    // that action then ends without telling anyone, as nobody is left to tell.
    void closeForShutdown();
    // Check a radio button the way the program does it (not a click): the mode follows
    // unless that button was checked already and its type sent on this connection.
    void checkAscii();
    void checkBinary();

    // --- Synchronous operations -------------------------------------------------------------
    void SetModeAndWait(int mode);
    void ChangeDirAndWait(const QString& directory);
    void MakeDirAndWait(const QString& directory);
    // The local file (an absolute path), sent under its bare name.
    void UploadAndWait(const QString& localFile);
    // The remote file of that name (the controller's bytes, as the listing gives them),
    // into `localFolder` (absolute) under the same name, which must be a plain name.
    void DownloadAndWait(const QString& fileName, const QString& localFolder);
    bool CheckTransferOk();
    // The remote current directory (PWD).
    QString CurrentDir();
    // LIST of the remote current directory; the lines arrive through listItem().
    void List();

    // Runs a user action that talks to the controller; false (and nothing run) while
    // another one is under way.
    bool runExclusive(const std::function<void()>& action);

    // Appends a line to the FTP log.
    void log(const QString& text);

    // Longest wait for a result event after a call has returned.
    static constexpr int kResultLimitMs = 20000;

Q_SIGNALS:
    // Each fires synchronously, in the order the session's steps run.
    void opening();          // OPEN pressed: the log starts afresh and the type may be chosen
    void connected();        // logged in
    void connectionFailed(); // the server refused the connection or the login
    void disconnected();     // no connection (any more); may repeat
    void closing();          // CLOSE: what needs the connection stops before it ends
    void opened();           // logged in, the opening steps done and the binary type set
    void statusChanged(const QString& text);
    void progressChanged(const QString& text);
    void logged(const QString& line);
    void listItem(const QString& line); // one line of the listing that List() asked for

private:
    // Client events.
    void FtpOS9Connect();
    void FtpOS9ConnectionFailed();
    void FtpOS9Disconnect();
    void FtpOS9InvalidHost();
    void FtpOS9Status(const QString& status);
    void FtpOS9Error(quint16 errnum, const QString& errmsg);
    void FtpOS9Success(TCmdType type);
    void FtpOS9Failure(bool& handled, TCmdType type);
    void FtpOS9PacketRecvd();
    void FtpOS9PacketSent();
    void TimerTrnsCheckTimer();
    void bindClientEvents();

    void open();
    void closeNow();
    void refuseWhileClosing() const;
    void awaitResult(const std::function<bool()>& arrived, const QString& what);
    void awaitTransferResult();
    // Shows and logs `what`, runs the client's upload or download, then waits for its result.
    void transferAndWait(const QString& what, const std::function<void()>& transfer);
    // RdoAscii / RdoBinary became checked.
    void RdoTransModeClick(QRadioButton* button);
    void checkMode(QRadioButton* button);
    void userModeClick(QRadioButton* button);
    void showStatus(const QString& text);
    void showProgress(const QString& text);
    // The waiting operation's result arrived as `succeeded` (or never will).
    void endWait(bool succeeded);

    TFtpClient* m_ftpOS9;
    QTimer* m_timerTrnsCheck; // one-shot, armed by the last packet of a download

    bool m_waitingForReply = false;
    bool m_lastOpSucceeded = false;
    bool m_changeDirDone = false;
    QDateTime m_transferDeadline;
    qint32 m_transferCounter = 0;
    QString m_statusText;

    TransferPanels* m_panels;
    QLineEdit* m_address;
    QLineEdit* m_user;
    QLineEdit* m_password;
    std::function<void()> m_openingSteps;

    QRadioButton* m_modeInForce = nullptr; // the radio whose TYPE was last sent
    int m_actionDepth = 0;
    bool m_closePending = false;
    bool m_shuttingDown = false;
    bool m_transferInFlight = false; // an upload or download call has not returned yet
    qint32 m_checkTag = 0;           // TransferCounter when TimerTrnsCheck was armed
};

} // namespace vantor
