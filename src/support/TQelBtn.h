#pragma once

#include "TQELSpeedButton.h"

class QTimer;

namespace vantor {

// A toggle button that shows its state by the colours of its caption and can flash while
// a long run is under way: one second in phase 0, a fifth of a second in phase 1, over
// and over. Flashing needs the button down and visible, and ends by stopFlash(), by
// painting the button while it is up or disabled, or by destruction.
class TQelBtn : public TQELSpeedButton {
    Q_OBJECT
public:
    static constexpr int kPhase0Ms = 1000;
    static constexpr int kPhase1Ms = 200;

    explicit TQelBtn(QWidget* parent = nullptr);
    TQelBtn(const QString& text, QWidget* parent = nullptr);

    // Does nothing unless the button is down, visible and not flashing yet.
    void startFlash();
    void stopFlash();
    void stopFlashAndRepaint();

    bool isFlashing() const { return m_flashTimer != nullptr; }
    int flashPhase() const { return m_phase; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void flashTick();

    QTimer* m_flashTimer = nullptr; // exists only while flashing
    int m_phase = 0;
};

} // namespace vantor
