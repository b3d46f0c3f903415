#include "RepaintThrottle.h"

#include <QWidget>

namespace vantor {

RepaintThrottle::RepaintThrottle(QWidget* widget, QObject* parent) : QObject(parent), m_widget(widget) {
    m_resume.setSingleShot(true);
    connect(&m_resume, &QTimer::timeout, this, &RepaintThrottle::resume);
}

void RepaintThrottle::aboutToChange() {
    if (!m_widget || m_held)
        return;
    if (m_shown.isValid() && m_shown.elapsed() < kRepaintMs) {
        m_held = true;
        m_widget->setUpdatesEnabled(false);
        m_resume.start(int(kRepaintMs - m_shown.elapsed()));
        return;
    }
    m_shown.restart();
}

void RepaintThrottle::resume() {
    m_held = false;
    m_shown.restart();
    if (m_widget)
        m_widget->setUpdatesEnabled(true); // one repaint of the whole widget
}

} // namespace vantor
