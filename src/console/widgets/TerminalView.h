#pragma once

#include "console/engine/TerminalText.h"

#include <QAbstractScrollArea>
#include <QHash>

#include <QString>
#include <QStringList>
#include <memory>

class QMenu;
class QTimer;

namespace vantor {

// The terminal view shared by the telnet and the serial console: read-only lines of
// received text in a fixed-pitch font, always appended to at the end. Accessibility tools
// read the lines on screen and the caret through TerminalAccessible.
//
// The view owns its TerminalText; the console writes into text() (or through the
// forwarding calls below) and the view repaints on its own, at most every few tens of
// milliseconds, so a flood of output never holds the event loop. Only the visible lines
// are painted. While the view shows the end it follows new text; scrolled back, it stays.
//
// Mouse: dragging selects; a double-click selects the word under the pointer and then
// shortens the selection to end just before its first space; releasing the left button
// copies a non-empty selection to the clipboard. Releasing the right button raises
// rightButtonReleased() (the console decides whether to paste), then opens the context
// menu with "Save...". Keys are not typed into the view: every key released (auto-repeat
// aside) is handed on by keyReleased() for the console to translate and send. The event
// handed on is the key's press, so that a Shift or Ctrl let go a moment before the key
// itself still counts, as the engineer meant it; a key pressed while another window or
// widget had the focus sends nothing when it comes up here.
class TerminalView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    struct Position {
        qsizetype line = 0;
        qsizetype column = 0; // UTF-16 index into the line
        friend bool operator==(const Position&, const Position&) = default;
        friend auto operator<=>(const Position&, const Position&) = default;
    };

    explicit TerminalView(QWidget* parent = nullptr);
    ~TerminalView() override;

    TerminalText& text() { return m_text; }
    const TerminalText& text() const { return m_text; }

    void appendText(QStringView text) { m_text.append(text); }
    void appendLine(QStringView text) { m_text.appendLine(text); }
    void deleteLastChar() { m_text.deleteLastChar(); }
    void clear();
    QStringList lines() const { return m_text.lines(); }
    qsizetype lineCount() const { return m_text.lineCount(); }
    QString lastLine() const { return m_text.lastLine(); }

    bool hasSelection() const { return m_anchor != m_cursor; }
    // Lines of a selection that spans several are joined with "\n".
    QString selectedText() const;
    void setSelection(Position anchor, Position cursor);
    void clearSelection();
    // The double-click rule at a position.
    void selectWordAt(Position position);
    // Copies a non-empty selection to the clipboard; an empty one leaves it alone.
    void copySelection() const;

    // Text position under a point of the viewport, and the viewport rectangle of one
    // character cell.
    Position positionAt(QPoint point) const;
    QRect characterRect(Position position) const;

    // The lines on screen: the index of the first one, and their texts.
    qsizetype firstShownLine() const;
    QStringList shownLines() const;
    // The selection with its start first.
    std::pair<Position, Position> selectionRange() const { return orderedSelection(); }

    // Applies text changes to the scroll bars and the picture now instead of at the next
    // coalesced refresh.
    void refreshNow();
    bool isFollowingEnd() const;

    // The Japanese fixed-pitch font when one is installed, else the system's fixed font.
    static QFont terminalFont();

Q_SIGNALS:
    // `event` is valid only during the emission.
    void keyReleased(QKeyEvent* event);
    void rightButtonReleased();
    void saveRequested();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    static quint64 heldKey(const QKeyEvent& event);
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct DisplayLine {
        QString text;
        QList<qsizetype> columnToDisplay; // empty: the same index
        qsizetype displayIndex(qsizetype column) const {
            return columnToDisplay.isEmpty() ? column : columnToDisplay.value(column, text.size());
        }
    };

    DisplayLine displayLine(qsizetype line) const;
    qreal advance(const DisplayLine& line, qsizetype column) const;
    qsizetype columnAt(const DisplayLine& line, qreal x) const;
    std::pair<Position, Position> orderedSelection() const;
    void scheduleRefresh();
    void notifyAccessibility();
    void updateScrollBars();
    void autoScroll();
    void showContextMenu(const QPoint& globalPos);
    int lineHeight() const;
    int visibleLines() const;

    TerminalText m_text;
    QTimer* m_refreshTimer;
    QTimer* m_autoScrollTimer;
    QMenu* m_menu;
    Position m_anchor;
    Position m_cursor;
    bool m_selecting = false;
    QPoint m_lastDragPoint;
    // The press of every key now held down, by its scan code (or key when there is none).
    QHash<quint64, std::shared_ptr<QKeyEvent>> m_held;
};

} // namespace vantor
