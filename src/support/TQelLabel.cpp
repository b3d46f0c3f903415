#include "TQelLabel.h"

#include "Emboss.h"

#include <QEvent>
#include <QPainter>

namespace vantor {

namespace {
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs;
}

TQelLabel::TQelLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(false);
    fitToText();
}

TQelLabel::TQelLabel(const QString& text, QWidget* parent) : TQelLabel(parent) {
    setText(text);
}

void TQelLabel::setAutoSize(bool autoSize) {
    if (autoSize == m_autoSize)
        return;
    m_autoSize = autoSize;
    fitToText();
    update();
}

void TQelLabel::setTransparent(bool transparent) {
    if (transparent == m_transparent)
        return;
    m_transparent = transparent;
    // Qt fills the background before paintEvent, in both painting modes.
    setAutoFillBackground(!transparent);
    update();
}

void TQelLabel::setText(const QString& text) {
    QLabel::setText(text);
    fitToText();
}

QSize TQelLabel::sizeHint() const {
    if (!m_autoSize)
        return QLabel::sizeHint();
    // The second drawing lies d pixels right and below the text.
    const int d = emboss::offset(font());
    return fontMetrics().size(kTextFlags, text()) + QSize(d, d);
}

QSize TQelLabel::minimumSizeHint() const {
    return m_autoSize ? sizeHint() : QLabel::minimumSizeHint();
}

void TQelLabel::fitToText() {
    if (!m_autoSize)
        return;
    updateGeometry();
    resize(sizeHint());
}

void TQelLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitToText();
}

void TQelLabel::paintEvent(QPaintEvent* event) {
    if (!m_autoSize) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const int d = emboss::offset(font());
    const emboss::Plan plan =
        emboss::plan(palette().color(foregroundRole()), palette().color(backgroundRole()), isEnabled(), d);
    for (const emboss::Pass& pass : {plan.first, plan.second}) {
        painter.setPen(pass.colour);
        painter.drawText(rect().translated(pass.at), kTextFlags, text());
    }
}

} // namespace vantor
