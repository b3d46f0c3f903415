#pragma once

#include "FtpSession.h"

#include <QObject>

namespace vantor {

class RepaintThrottle;

// What the FTP bar, the status bar's first two panels and the FTP log show of the FTP
// session: the status word, the buttons that need a connection, the operation under way or
// its result, a transfer's progress and the log lines. It follows the session's signals and
// decides nothing; the session never touches these controls.
class FtpBarView final : public QObject {
    Q_OBJECT
public:
    FtpBarView(FtpSession& session, const FtpSession::BorrowedControls& controls, QObject* parent = nullptr);

private:
    void showOpening();
    void showConnected();
    void showConnectionFailed();
    void showDisconnected();
    void showClosing();
    void showStatus(const QString& text);
    void showProgress(const QString& text);
    void appendLog(const QString& line);

    FtpSession::BorrowedControls m_controls;
    RepaintThrottle* m_logPaint;
    RepaintThrottle* m_statusPaint;
    RepaintThrottle* m_progressPaint;
};

} // namespace vantor
