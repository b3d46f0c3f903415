#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QPlainTextEdit;

namespace vantor {

// The FTP log as the session writes it. Each line goes into the text at once, so the log
// always holds everything; while lines come faster than the eye can follow, the view is
// repainted at most every kRepaintMs, because painting the view costs far more than
// adding a line and a tree install adds several lines per file.
class FtpLogView final : public QObject {
    Q_OBJECT
public:
    static constexpr int kRepaintMs = 100;

    explicit FtpLogView(QPlainTextEdit* memo, QObject* parent = nullptr);

    void append(const QString& line);
    void clear();

private:
    void resume();

    QPointer<QPlainTextEdit> m_memo;
    QTimer m_resume;
    QElapsedTimer m_shown; // since the view was last let repaint
    bool m_held = false;
};

} // namespace vantor
