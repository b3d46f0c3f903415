#include "RestorePictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vantor::restorepictures {

namespace {
// A transparent picture of `size`, drawn antialiased by `draw` given its width and height.
template <typename Draw> QPixmap painted(QSize size, Draw draw) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p, qreal(size.width()), qreal(size.height()));
    p.end();
    return pixmap;
}
} // namespace

QPixmap downArrow(QSize size) {
    return painted(size, [](QPainter& p, qreal w, qreal h) {
        QPainterPath arrow;
        arrow.moveTo(w * 0.35, 0);
        arrow.lineTo(w * 0.65, 0);
        arrow.lineTo(w * 0.65, h * 0.55);
        arrow.lineTo(w * 0.95, h * 0.55);
        arrow.lineTo(w * 0.5, h);
        arrow.lineTo(w * 0.05, h * 0.55);
        arrow.lineTo(w * 0.35, h * 0.55);
        arrow.closeSubpath();
        QLinearGradient fill(0, 0, 0, h);
        fill.setColorAt(0, QColor(0, 160, 255));
        fill.setColorAt(1, QColor(0, 40, 160));
        p.setPen(QPen(QColor(0, 30, 100), 1.5));
        p.setBrush(fill);
        p.drawPath(arrow);
    });
}

QPixmap instrument(QSize size) {
    return painted(size, [](QPainter& p, qreal w, qreal h) {
        const QColor frame(60, 60, 70);

        // The PC: a monitor on a foot.
        const QRectF screen(w * 0.04, h * 0.12, w * 0.46, h * 0.5);
        p.setPen(QPen(frame, 2));
        p.setBrush(QColor(200, 200, 205));
        p.drawRoundedRect(screen, 3, 3);
        QLinearGradient glass(screen.topLeft(), screen.bottomRight());
        glass.setColorAt(0, QColor(40, 90, 170));
        glass.setColorAt(1, QColor(10, 30, 80));
        p.setPen(Qt::NoPen);
        p.setBrush(glass);
        p.drawRect(screen.adjusted(4, 4, -4, -4));
        p.setBrush(QColor(170, 170, 175));
        p.drawRect(QRectF(screen.center().x() - w * 0.04, screen.bottom(), w * 0.08, h * 0.12));
        p.drawRect(QRectF(screen.center().x() - w * 0.14, screen.bottom() + h * 0.12, w * 0.28, h * 0.06));

        // The controller: a VME rack with its cards.
        const QRectF rack(w * 0.62, h * 0.06, w * 0.34, h * 0.88);
        p.setPen(QPen(frame, 2));
        p.setBrush(QColor(120, 125, 135));
        p.drawRect(rack);
        const int cards = 6;
        const qreal slot = (rack.width() - 6) / cards;
        for (int i = 0; i < cards; ++i) {
            const QRectF card(rack.left() + 3 + i * slot + 1, rack.top() + 4, slot - 2, rack.height() - 8);
            p.setPen(QPen(QColor(40, 40, 45), 1));
            p.setBrush(QColor(170, 175, 185));
            p.drawRect(card);
            p.setPen(Qt::NoPen);
            p.setBrush(i % 2 ? QColor(0, 200, 0) : QColor(255, 170, 0));
            p.drawEllipse(QPointF(card.center().x(), card.top() + 5), 1.8, 1.8);
        }

        // The line between them.
        p.setPen(QPen(QColor(230, 150, 0), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(screen.right(), screen.center().y()), QPointF(rack.left(), screen.center().y()));
    });
}

} // namespace vantor::restorepictures
