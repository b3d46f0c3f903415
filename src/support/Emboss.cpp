#include "Emboss.h"

#include <QApplication>
#include <QPalette>

namespace vantor::emboss {

int offset(const QFont& font) {
    const int size = font.pointSize() > 0 ? font.pointSize() : font.pixelSize();
    return std::max(size, 0) / 24 + 1;
}

Plan plan(const QColor& fontColour, const QColor& background, bool enabled, int d) {
    const QPalette system = QApplication::palette();
    const QRgb f = fontColour.rgb();
    const QPoint origin(0, 0);
    const QPoint shifted(d, d);
    Plan p;
    if (f == QColor(Qt::black).rgb() || f == system.color(QPalette::Active, QPalette::WindowText).rgb()) {
        p = {{Qt::white, origin}, {Qt::black, shifted}};
    } else if (f == QColor(Qt::white).rgb() ||
               f == system.color(QPalette::Active, QPalette::HighlightedText).rgb()) {
        p = {{Qt::black, shifted}, {Qt::white, origin}};
    } else {
        p = {{QColor::fromRgb(~f & 0x00ffffff), origin}, {fontColour, shifted}};
    }
    if (!enabled) {
        p.first.colour = Qt::black;
        p.second.colour = background;
    }
    return p;
}

} // namespace vantor::emboss
