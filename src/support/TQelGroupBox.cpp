#include "TQelGroupBox.h"

#include "Emboss.h"

#include <QStyleOptionGroupBox>
#include <QStylePainter>

namespace vantor {

namespace {
constexpr int kCaptionLeft = 8;
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic;
} // namespace

TQelGroupBox::TQelGroupBox(QWidget* parent) : QGroupBox(parent) {}

TQelGroupBox::TQelGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

void TQelGroupBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    // The frame keeps the room for the caption; the caption itself is ours.
    option.subControls &= ~QStyle::SC_GroupBoxLabel;
    painter.drawComplexControl(QStyle::CC_GroupBox, option);
    if (title().isEmpty())
        return;

    const int d = emboss::offset(font());
    const QSize text = fontMetrics().size(kTextFlags, title());
    const QColor background = palette().color(backgroundRole());
    painter.fillRect(QRect(kCaptionLeft, 0, text.width() + d, text.height() + d), background);
    const emboss::Plan plan = emboss::plan(palette().color(foregroundRole()), background, isEnabled(), d);
    for (const emboss::Pass& pass : {plan.first, plan.second}) {
        painter.setPen(pass.colour);
        painter.drawText(QRect(QPoint(kCaptionLeft, 0) + pass.at, text), kTextFlags, title());
    }
}

} // namespace vantor
