#include "FtpBarView.h"

#include "RepaintThrottle.h"
#include "TransferPanels.h"
#include "support/TQelBtn.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>

namespace vantor {

FtpBarView::FtpBarView(FtpSession& session, const FtpSession::BorrowedControls& controls, QObject* parent)
    : QObject(parent), m_controls(controls) {
    m_logPaint = new RepaintThrottle(m_controls.MemoFtp, this);
    m_statusPaint = new RepaintThrottle(m_controls.StatusPanel, this);
    m_progressPaint = new RepaintThrottle(m_controls.ProgressPanel, this);
    connect(&session, &FtpSession::opening, this, &FtpBarView::showOpening);
    connect(&session, &FtpSession::connected, this, &FtpBarView::showConnected);
    connect(&session, &FtpSession::connectionFailed, this, &FtpBarView::showConnectionFailed);
    connect(&session, &FtpSession::disconnected, this, &FtpBarView::showDisconnected);
    connect(&session, &FtpSession::closing, this, &FtpBarView::showClosing);
    connect(&session, &FtpSession::statusChanged, this, &FtpBarView::showStatus);
    connect(&session, &FtpSession::progressChanged, this, &FtpBarView::showProgress);
    connect(&session, &FtpSession::logged, this, &FtpBarView::appendLog);
}

void FtpBarView::showOpening() {
    m_controls.MemoFtp->clear();
    m_controls.panels->RdoAscii->setEnabled(true);
    m_controls.panels->RdoBinary->setEnabled(true);
}

void FtpBarView::showConnected() {
    m_controls.panels->LblSts2->setText(QStringLiteral("Connected"));
    m_controls.panels->BtnFTPClose->setEnabled(true);
    m_controls.EditlIPAdrs1->setEnabled(false);
}

void FtpBarView::showConnectionFailed() {
    m_controls.panels->LblSts2->setText(QStringLiteral("Disconnected"));
    m_controls.panels->BtnFTPOpen->setChecked(false);
}

// However the connection ended, the bar shows the disconnected state: OPEN up and nothing
// enabled that needs the connection.
void FtpBarView::showDisconnected() {
    TransferPanels* p = m_controls.panels;
    p->LblSts2->setText(QStringLiteral("Disconnected"));
    p->BtnFTPOpen->setChecked(false);
    p->BtnFTPClose->setChecked(false);
    p->BtnFTPClose->setEnabled(false);
    showClosing();
    m_controls.EditlIPAdrs1->setEnabled(true);
}

void FtpBarView::showClosing() {
    TransferPanels* p = m_controls.panels;
    p->BtnInstallSys->setEnabled(false);
    p->BtnInstallAppli->setEnabled(false);
    p->RdoAscii->setEnabled(false);
    p->RdoBinary->setEnabled(false);
}

void FtpBarView::showStatus(const QString& text) {
    m_statusPaint->aboutToChange();
    m_controls.StatusPanel->setText(text);
}

void FtpBarView::showProgress(const QString& text) {
    m_progressPaint->aboutToChange();
    m_controls.ProgressPanel->setText(text);
}

void FtpBarView::appendLog(const QString& line) {
    m_logPaint->aboutToChange();
    m_controls.MemoFtp->appendPlainText(line);
}

} // namespace vantor
