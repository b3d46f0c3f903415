#include "TQELSpeedButton.h"

#include <QPainter>
#include <qdrawutil.h>

namespace vantor {

TQELSpeedButton::TQELSpeedButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(pixels(m_width), pixels(m_height));
    connect(this, &QAbstractButton::toggled, this, [this](bool down) {
        if (down)
            releaseGroupMates();
    });
}

TQELSpeedButton::TQELSpeedButton(const QString& text, QWidget* parent) : TQELSpeedButton(parent) {
    setText(text);
}

int TQELSpeedButton::pixels(TQELButtonHeight height) {
    switch (height) {
    case TQELButtonHeight::H40:
        return 40;
    case TQELButtonHeight::H60:
        return 60;
    case TQELButtonHeight::H80:
        return 80;
    }
    return 40;
}

int TQELSpeedButton::pixels(TQELButtonWidth width) {
    switch (width) {
    case TQELButtonWidth::W40:
        return 40;
    case TQELButtonWidth::W60:
        return 60;
    case TQELButtonWidth::W80:
        return 80;
    case TQELButtonWidth::W120:
        return 120;
    case TQELButtonWidth::W160:
        return 160;
    case TQELButtonWidth::W240:
        return 240;
    }
    return 40;
}

void TQELSpeedButton::setButtonHeight(TQELButtonHeight height) {
    if (height == m_height)
        return;
    m_height = height;
    setFixedHeight(pixels(height));
}

void TQELSpeedButton::setButtonWidth(TQELButtonWidth width) {
    if (width == m_width)
        return;
    m_width = width;
    setFixedWidth(pixels(width));
}

void TQELSpeedButton::setGroupIndex(int index) {
    if (index == m_groupIndex)
        return;
    m_groupIndex = index;
    if (index <= 0)
        setChecked(false); // so that listeners hear of it
    setCheckable(index > 0);
    if (index > 0) {
        // Joining a group takes over the group's AllowAllUp and keeps it with one button down.
        const QList<TQELSpeedButton*> mates = groupMates();
        if (!mates.isEmpty())
            m_allowAllUp = mates.first()->m_allowAllUp;
        if (isChecked())
            releaseGroupMates();
    }
}

void TQELSpeedButton::setAllowAllUp(bool allow) {
    m_allowAllUp = allow;
    for (TQELSpeedButton* mate : groupMates())
        mate->m_allowAllUp = allow;
}

QList<TQELSpeedButton*> TQELSpeedButton::groupMates() const {
    QList<TQELSpeedButton*> mates;
    if (m_groupIndex <= 0 || !parentWidget())
        return mates;
    for (TQELSpeedButton* b : parentWidget()->findChildren<TQELSpeedButton*>(Qt::FindDirectChildrenOnly))
        if (b != this && b->m_groupIndex == m_groupIndex)
            mates.append(b);
    return mates;
}

void TQELSpeedButton::releaseGroupMates() {
    for (TQELSpeedButton* mate : groupMates())
        mate->setChecked(false);
}

void TQELSpeedButton::nextCheckState() {
    // Without AllowAllUp one button of the group stays down: clicking it changes nothing.
    if (isChecked() && !m_allowAllUp)
        return;
    QAbstractButton::nextCheckState();
}

void TQELSpeedButton::paintFace(QPainter& painter) const {
    // The two-pixel bevel of the instrument PC's buttons: a one-pixel edge is lost on a
    // light face, and the engineer must see at a glance which buttons are down.
    const QBrush face = palette().button();
    qDrawWinButton(&painter, rect(), palette(), isShownDown(), &face);
}

void TQELSpeedButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintFace(painter);
    QRect area = rect().adjusted(2, 2, -2, -2);
    if (isShownDown())
        area.translate(1, 1);
    if (!icon().isNull()) {
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        const QPixmap pixmap = icon().pixmap(iconSize(), devicePixelRatio(), mode);
        const int textWidth = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text()) + 4;
        const int left = area.left() + (area.width() - iconSize().width() - textWidth) / 2;
        painter.drawPixmap(left, area.top() + (area.height() - iconSize().height()) / 2, pixmap);
        area.setLeft(left + iconSize().width() + 4);
        if (!text().isEmpty()) {
            painter.setPen(
                palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
            painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, text());
        }
        return;
    }
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(area, Qt::AlignCenter | Qt::TextShowMnemonic, text());
}

} // namespace vantor
