#pragma once

#include <QAccessibleWidget>

namespace vantor {

class TerminalView;

// What a screen reader or an outside test tool sees of a terminal view: read-only text
// made of the lines now on screen (joined by "\n"), the caret where the next received
// character will appear (the end of the text when that point is off screen) and the
// selection as far as it is on screen.
class TerminalAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TerminalAccessible(TerminalView* view);

    // Installed once by every TerminalView; gives this interface for terminal views.
    static QAccessibleInterface* factory(const QString& className, QObject* object);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;

    // QAccessibleTextInterface
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override;
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    TerminalView* view() const;
    QString shownText() const;
};

} // namespace vantor
