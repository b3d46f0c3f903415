#pragma once

#include <QAbstractButton>

namespace vantor {

// A flat speed button in fixed size steps. It never takes the keyboard focus. With a
// GroupIndex above 0 it is a toggle: "down" is its checked state, and pressing it releases
// the other buttons of the same GroupIndex under the same parent. Whether a click on the
// down button releases it is AllowAllUp, shared by the whole group.
enum class TQELButtonHeight { H40, H60, H80 };
enum class TQELButtonWidth { W40, W60, W80, W120, W160, W240 };

class TQELSpeedButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TQELSpeedButton(QWidget* parent = nullptr);
    TQELSpeedButton(const QString& text, QWidget* parent = nullptr);

    // Setting the value a button already has changes nothing.
    void setButtonHeight(TQELButtonHeight height);
    TQELButtonHeight buttonHeight() const { return m_height; }
    void setButtonWidth(TQELButtonWidth width);
    TQELButtonWidth buttonWidth() const { return m_width; }

    static int pixels(TQELButtonHeight height);
    static int pixels(TQELButtonWidth width);

    void setGroupIndex(int index);
    int groupIndex() const { return m_groupIndex; }
    void setAllowAllUp(bool allow);
    bool allowAllUp() const { return m_allowAllUp; }

    // Pressed by the mouse or held down as a toggle.
    bool isShownDown() const { return isDown() || isChecked(); }

    QSize sizeHint() const override { return size(); }
    QSize minimumSizeHint() const override { return size(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override;

    // The raised or sunken face without caption, for the subclasses that draw their own.
    void paintFace(QPainter& painter) const;

private:
    QList<TQELSpeedButton*> groupMates() const;
    void releaseGroupMates();

    TQELButtonHeight m_height = TQELButtonHeight::H40;
    TQELButtonWidth m_width = TQELButtonWidth::W40;
    int m_groupIndex = 0;
    bool m_allowAllUp = false;
};

} // namespace vantor
