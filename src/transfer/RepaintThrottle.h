#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace vantor {

// Lets a widget whose content changes faster than the eye can follow repaint at most every
// kRepaintMs. The content itself changes at once, so whatever reads the widget sees it
// whole; only the painting waits. A tree install changes the FTP log and the status bar
// several times per file, and painting costs far more than the change.
class RepaintThrottle final : public QObject {
    Q_OBJECT
public:
    static constexpr int kRepaintMs = 100;

    explicit RepaintThrottle(QWidget* widget, QObject* parent = nullptr);

    // Call before each change of the widget's content.
    void aboutToChange();

private:
    void resume();

    QPointer<QWidget> m_widget;
    QTimer m_resume;
    QElapsedTimer m_shown; // since the widget was last let repaint
    bool m_held = false;
};

} // namespace vantor
