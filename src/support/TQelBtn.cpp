#include "TQelBtn.h"

#include "Guard.h"

#include <QPainter>
#include <QTimer>

#include <optional>

namespace vantor {

namespace {

struct CaptionColours {
    QColor shadow;
    QColor caption;
};

const QColor kLime(0, 255, 0);
const QColor kGreen(0, 128, 0);
const QColor kGrey(128, 128, 128);

// None for a state the button should never reach; it is then drawn as faulty.
std::optional<CaptionColours> captionColours(bool enabled, bool down, int phase) {
    if (!enabled)
        return down ? CaptionColours{kLime, kGreen} : CaptionColours{Qt::white, kGrey};
    if (!down)
        return CaptionColours{Qt::white, Qt::black};
    if (phase == 0)
        return CaptionColours{kGreen, kLime};
    if (phase == 1)
        return CaptionColours{Qt::black, kGreen};
    return std::nullopt;
}

} // namespace

TQelBtn::TQelBtn(QWidget* parent) : TQELSpeedButton(parent) {}

TQelBtn::TQelBtn(const QString& text, QWidget* parent) : TQELSpeedButton(text, parent) {}

void TQelBtn::startFlash() {
    if (!isShownDown() || !isVisible() || m_flashTimer)
        return;
    m_phase = 0;
    m_flashTimer = new QTimer(this);
    m_flashTimer->setSingleShot(true);
    m_flashTimer->setInterval(kPhase0Ms);
    connect(m_flashTimer, &QTimer::timeout, this, [this] { swallowing([this] { flashTick(); }); });
    m_flashTimer->start();
}

void TQelBtn::stopFlash() {
    if (!m_flashTimer)
        return;
    delete m_flashTimer;
    m_flashTimer = nullptr;
    m_phase = 0;
}

void TQelBtn::stopFlashAndRepaint() {
    stopFlash();
    if (isVisible())
        update();
}

void TQelBtn::flashTick() {
    if (!m_flashTimer)
        return;
    m_phase = m_phase == 0 ? 1 : 0;
    m_flashTimer->start(m_phase == 1 ? kPhase1Ms : kPhase0Ms);
    if (isVisible())
        update();
}

void TQelBtn::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintFace(painter);
    const bool down = isShownDown();
    if (!isEnabled() || !down)
        stopFlash();

    const std::optional<CaptionColours> colours = captionColours(isEnabled(), down, m_phase);
    if (!colours) {
        painter.setPen(QPen(Qt::red, 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(rect().adjusted(4, 4, -4, -4), 6, 6);
        painter.drawLine(10, 10, width() - 10, height() - 10);
        painter.drawLine(width() - 10, 10, 10, height() - 10);
        return;
    }
    const QFontMetrics metrics = fontMetrics();
    const int textWidth = metrics.horizontalAdvance(text());
    const int textHeight = metrics.height();
    const int x = (width() - textWidth - 1) / 2;
    const int y = (height() - textHeight - 1) / 2;
    painter.setFont(font());
    painter.setPen(colours->shadow);
    painter.drawText(x + 3, y + 3 + metrics.ascent(), text());
    painter.setPen(colours->caption);
    painter.drawText(x + 1, y + 1 + metrics.ascent(), text());
}

} // namespace vantor
