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

class RepaintThrottle;
class TransferPanels;

// The main window's FTP connection to the controller: the FTP bar (OPEN, CLOSE, status
// word, ASCII/BINARY), the client's events turned into the status bar and the FTP log,
// and the synchronous operations the browsing and the transfers are built on.
//
// The client's operations block (pumping events) until they are done and cannot nest, so
// every user action that talks to the controller runs through runExclusive(): a second
// one that arrives from inside the first one's wait is turned back. A close asked for
// while an action runs cancels the client's wait and happens as soon as that action has
// unwound; until then every operation here refuses with "Not Connected".
class FtpSession final : public QObject {
    Q_OBJECT
public:
    struct Controls {
        TransferPanels* panels;
        QPlainTextEdit* MemoFtp;
        QLabel* StatusPanel;
        QLabel* ProgressPanel;
        QLineEdit* EditlIPAdrs1;
        QLineEdit* EditUser1; // the login, taken as it stands when OPEN is pressed
        QLineEdit* EditPass1;
    };
    explicit FtpSession(const Controls& controls, QObject* parent = nullptr);
    ~FtpSession() override;

    TFtpClient* FtpOS9;     // owned
    QTimer* TimerTrnsCheck; // owned; one-shot, armed by the last packet of a download

    bool WaitingForReply = false;
    bool LastOpSucceeded = false;
    bool ChangeDirDone = false;
    QDateTime TransferDeadline;
    qint32 TransferCounter = 0; // one more after each upload or download call returned

    // Filled by the owner: what opening does once logged in (change to the device, list it,
    // enter the local install folders), and whether the File Transfer sheet is showing.
    std::function<void()> OnOpened;
    std::function<bool()> FileTransferSheetShowing;

    // --- FTP bar --------------------------------------------------------------------------
    void BtnFTPOpenClick();
    void BtnFTPCloseClick();
    // A change of sheet: presses CLOSE when OPEN is down.
    void closeForSheetChange();
    // The window is closing: closes the connection, ending the wait of an action under way;
    // that action then ends without telling anyone, as nobody is left to tell.
    void closeForShutdown();
    // RdoAscii / RdoBinary became checked.
    void RdoTransModeClick(QRadioButton* button);
    // Checks a radio button the way the program does it (not a click): the mode follows
    // unless that button was checked already and its type sent on this connection.
    void checkMode(QRadioButton* button);
    void checkAscii();
    void checkBinary();

    // --- Client events ----------------------------------------------------------------------
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
    // LIST of the remote current directory; the lines arrive through FtpOS9->OnListItem.
    void List();

    bool isConnected() const;
    bool isBusy() const { return m_actionDepth > 0; }
    // Runs a user action that talks to the controller; false (and nothing run) while
    // another one is under way.
    bool runExclusive(const std::function<void()>& action);

    void log(const QString& text);
    void showStatus(const QString& text);
    void showProgress(const QString& text);

    // Longest wait for a result event after a call has returned.
    static constexpr int kResultLimitMs = 20000;

private:
    void open();
    void closeNow();
    void showDisconnectedBar();
    void refuseWhileClosing() const;
    void awaitResult(const std::function<bool()>& arrived, const QString& what);
    void awaitTransferResult();
    void userModeClick(QRadioButton* button);

    TransferPanels* m_panels;
    QPlainTextEdit* m_memo;
    QLabel* m_status;
    QLabel* m_progress;
    QLineEdit* m_address;
    QLineEdit* m_user;
    QLineEdit* m_password;
    RepaintThrottle* m_logPaint;
    RepaintThrottle* m_statusPaint;
    RepaintThrottle* m_progressPaint;

    QRadioButton* m_modeInForce = nullptr; // the radio whose TYPE was last sent
    int m_actionDepth = 0;
    bool m_closePending = false;
    bool m_shuttingDown = false;
    bool m_transferInFlight = false; // an upload or download call has not returned yet
    qint32 m_checkTag = 0;           // TransferCounter when TimerTrnsCheck was armed
};

} // namespace vantor
