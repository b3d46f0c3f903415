#include "TerminalAccessible.h"

#include "console/widgets/TerminalView.h"

namespace vantor {

namespace {

// Offsets of the shown text against positions of the view's text.
struct ShownLines {
    qsizetype first = 0;
    QStringList lines;

    // A position above the shown lines is offset 0, one below them the end.
    int offsetOf(TerminalView::Position p) const {
        if (lines.isEmpty() || p.line < first)
            return 0;
        const qsizetype row = std::min(p.line - first, lines.size() - 1);
        qsizetype offset = 0;
        for (qsizetype i = 0; i < row; ++i)
            offset += lines.at(i).size() + 1;
        const qsizetype column = p.line - first > row ? lines.at(row).size() : p.column;
        return int(offset + std::min(column, lines.at(row).size()));
    }
    TerminalView::Position positionOf(int offset) const {
        qsizetype left = std::max(offset, 0);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (left <= lines.at(i).size())
                return {first + i, left};
            left -= lines.at(i).size() + 1;
        }
        return lines.isEmpty() ? TerminalView::Position{first, 0}
                               : TerminalView::Position{first + lines.size() - 1, lines.last().size()};
    }
};

ShownLines shownLines(const TerminalView& view) {
    return {view.firstShownLine(), view.shownLines()};
}

} // namespace

TerminalAccessible::TerminalAccessible(TerminalView* view)
    : QAccessibleWidget(view, QAccessible::EditableText) {}

QAccessibleInterface* TerminalAccessible::factory(const QString& className, QObject* object) {
    if (className == QLatin1String("vantor::TerminalView") && object && object->isWidgetType())
        return new TerminalAccessible(static_cast<TerminalView*>(object));
    return nullptr;
}

TerminalView* TerminalAccessible::view() const {
    return static_cast<TerminalView*>(widget());
}

void* TerminalAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State TerminalAccessible::state() const {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    s.selectableText = true;
    return s;
}

QString TerminalAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Value)
        return shownText();
    if (t == QAccessible::Name) {
        const QString name = QAccessibleWidget::text(t);
        return name.isEmpty() ? view()->objectName() : name;
    }
    return QAccessibleWidget::text(t);
}

QString TerminalAccessible::shownText() const {
    return view()->shownLines().join(QLatin1Char('\n'));
}

void TerminalAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !view()->hasSelection())
        return;
    const ShownLines shown = shownLines(*view());
    const auto [from, to] = view()->selectionRange();
    *startOffset = shown.offsetOf(from);
    *endOffset = shown.offsetOf(to);
}

int TerminalAccessible::selectionCount() const {
    if (!view()->hasSelection())
        return 0;
    int start = 0;
    int end = 0;
    selection(0, &start, &end);
    return start < end ? 1 : 0;
}

int TerminalAccessible::cursorPosition() const {
    const TerminalView& v = *view();
    const qsizetype last = std::max<qsizetype>(v.lineCount() - 1, 0);
    return shownLines(v).offsetOf({last, v.text().line(last).size()});
}

QString TerminalAccessible::text(int startOffset, int endOffset) const {
    const QString all = shownText();
    const int start = std::clamp(startOffset, 0, int(all.size()));
    const int end = endOffset < 0 ? int(all.size()) : std::clamp(endOffset, start, int(all.size()));
    return all.mid(start, end - start);
}

int TerminalAccessible::characterCount() const {
    return int(shownText().size());
}

QRect TerminalAccessible::characterRect(int offset) const {
    const QRect cell = view()->characterRect(shownLines(*view()).positionOf(offset));
    return QRect(view()->viewport()->mapToGlobal(cell.topLeft()), cell.size());
}

int TerminalAccessible::offsetAtPoint(const QPoint& point) const {
    const QPoint local = view()->viewport()->mapFromGlobal(point);
    if (!view()->viewport()->rect().contains(local))
        return -1;
    return shownLines(*view()).offsetOf(view()->positionAt(local));
}

QString TerminalAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
    *startOffset = *endOffset = offset;
    return {};
}

} // namespace vantor
