#include "FtpLogView.h"

#include <QPlainTextEdit>

namespace vantor {

FtpLogView::FtpLogView(QPlainTextEdit* memo, QObject* parent) : QObject(parent), m_memo(memo) {
    m_resume.setSingleShot(true);
    connect(&m_resume, &QTimer::timeout, this, &FtpLogView::resume);
}

void FtpLogView::append(const QString& line) {
    if (!m_memo)
        return;
    if (!m_held && m_shown.isValid() && m_shown.elapsed() < kRepaintMs) {
        m_held = true;
        m_memo->setUpdatesEnabled(false);
        m_resume.start(int(kRepaintMs - m_shown.elapsed()));
    }
    m_memo->appendPlainText(line);
    if (!m_held)
        m_shown.restart();
}

void FtpLogView::clear() {
    if (m_memo)
        m_memo->clear();
}

void FtpLogView::resume() {
    m_held = false;
    m_shown.restart();
    if (m_memo)
        m_memo->setUpdatesEnabled(true); // repaints the whole view once
}

} // namespace vantor
