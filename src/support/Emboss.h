#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>

// The embossed text of the program's labels and group boxes: the text drawn twice, offset
// by a few pixels, in two colours chosen from the font colour.
namespace vantor::emboss {

// The offset of the second drawing: the font's point size (its pixel size when it has no
// point size) / 24 + 1.
int offset(const QFont& font);

struct Pass {
    QColor colour;
    QPoint at;
};

struct Plan {
    Pass first;
    Pass second;
};

// Black (or the system window-text colour) is drawn white at (0, 0) under black at (d, d);
// white (or the system highlight-text colour) black at (d, d) under white at (0, 0); any
// other colour its inverse at (0, 0) under itself at (d, d). A disabled control keeps the
// places but draws black first and its background colour second.
Plan plan(const QColor& fontColour, const QColor& background, bool enabled, int d);

} // namespace vantor::emboss
