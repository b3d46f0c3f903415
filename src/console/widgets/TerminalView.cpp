#include "TerminalView.h"

#include "console/widgets/TerminalAccessible.h"

#include <QAccessible>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <cmath>

namespace vantor {

namespace {

constexpr int kMargin = 4;
// Text changes reach the screen at most this often; a flood of output costs one repaint
// per interval, not one per received chunk.
constexpr int kRefreshMs = 25;
constexpr int kAutoScrollMs = 50;
constexpr int kTabWidth = 8;

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

} // namespace

TerminalView::TerminalView(QWidget* parent)
    : QAbstractScrollArea(parent), m_refreshTimer(new QTimer(this)), m_autoScrollTimer(new QTimer(this)),
      m_menu(new QMenu(this)) {
    setFont(terminalFont());
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    setAttribute(Qt::WA_InputMethodEnabled, false);

    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(kRefreshMs);
    connect(m_refreshTimer, &QTimer::timeout, this, &TerminalView::refreshNow);
    m_autoScrollTimer->setInterval(kAutoScrollMs);
    connect(m_autoScrollTimer, &QTimer::timeout, this, &TerminalView::autoScroll);
    m_text.setChangeListener([this] { scheduleRefresh(); });
    static const bool accessible = [] {
        QAccessible::installFactory(&TerminalAccessible::factory);
        return true;
    }();
    Q_UNUSED(accessible);

    m_menu->setObjectName(QStringLiteral("PopupMenuTelnetSerial"));
    QAction* save = m_menu->addAction(QStringLiteral("Save..."));
    save->setObjectName(QStringLiteral("Save1"));
    connect(save, &QAction::triggered, this, &TerminalView::saveRequested);
    updateScrollBars();
}

TerminalView::~TerminalView() {
    m_text.setChangeListener({});
}

QFont TerminalView::terminalFont() {
    static const QStringList preferred = {
        QStringLiteral("MS Gothic"),
        QStringLiteral("ＭＳ ゴシック"),
        QStringLiteral("Noto Sans Mono CJK JP"),
        QStringLiteral("Source Han Code JP"),
        QStringLiteral("IPAGothic"),
        QStringLiteral("IPAゴシック"),
        QStringLiteral("TakaoGothic"),
        QStringLiteral("VL Gothic"),
    };
    const QStringList installed = QFontDatabase::families(QFontDatabase::Japanese);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const QString& family : preferred) {
        if (installed.contains(family, Qt::CaseInsensitive)) {
            font = QFont(family);
            break;
        }
    }
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(21);
    return font;
}

void TerminalView::clear() {
    m_anchor = m_cursor = {};
    m_selecting = false;
    m_text.clear();
    refreshNow();
}

// ---- selection ----

std::pair<TerminalView::Position, TerminalView::Position> TerminalView::orderedSelection() const {
    return m_anchor < m_cursor ? std::pair{m_anchor, m_cursor} : std::pair{m_cursor, m_anchor};
}

QString TerminalView::selectedText() const {
    if (!hasSelection())
        return {};
    const auto [from, to] = orderedSelection();
    QStringList parts;
    for (qsizetype line = from.line; line <= to.line && line < m_text.lineCount(); ++line) {
        const QString text = m_text.line(line);
        const qsizetype begin = line == from.line ? std::min(from.column, text.size()) : 0;
        const qsizetype end = line == to.line ? std::min(to.column, text.size()) : text.size();
        parts << text.mid(begin, std::max<qsizetype>(0, end - begin));
    }
    return parts.join(QLatin1Char('\n'));
}

void TerminalView::setSelection(Position anchor, Position cursor) {
    m_anchor = anchor;
    m_cursor = cursor;
    viewport()->update();
}

void TerminalView::clearSelection() {
    setSelection(m_cursor, m_cursor);
}

void TerminalView::selectWordAt(Position position) {
    if (position.line < 0 || position.line >= m_text.lineCount()) {
        clearSelection();
        return;
    }
    const QString text = m_text.line(position.line);
    if (position.column < 0 || position.column >= text.size()) {
        setSelection(position, position);
        return;
    }
    // The view's own word selection, as the instrument PC's text views make it: the run
    // of blanks or non-blanks under the pointer, a word taking the blanks after it along.
    const bool onBlank = isBlank(text[position.column]);
    qsizetype start = position.column;
    while (start > 0 && isBlank(text[start - 1]) == onBlank)
        --start;
    qsizetype end = position.column;
    while (end < text.size() && isBlank(text[end]) == onBlank)
        ++end;
    if (!onBlank)
        while (end < text.size() && isBlank(text[end]))
            ++end;
    // Then the console's rule: the selection ends just before its first space.
    for (qsizetype i = start; i < end; ++i) {
        if (isBlank(text[i])) {
            end = i;
            break;
        }
    }
    setSelection({position.line, start}, {position.line, end});
}

void TerminalView::copySelection() const {
    if (!hasSelection())
        return;
    const QString text = selectedText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

// ---- geometry ----

int TerminalView::lineHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}

int TerminalView::visibleLines() const {
    return std::max(1, viewport()->height() / lineHeight());
}

TerminalView::DisplayLine TerminalView::displayLine(qsizetype line) const {
    DisplayLine display;
    const QString raw = m_text.line(line);
    const bool plain = std::none_of(raw.cbegin(), raw.cend(),
                                    [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    if (plain) {
        display.text = raw;
        return display;
    }
    // Tabs go to the next tab stop; other control characters are kept in the text but
    // take no room on the screen.
    display.columnToDisplay.reserve(raw.size() + 1);
    display.text.reserve(raw.size());
    for (const QChar c : raw) {
        display.columnToDisplay.append(display.text.size());
        if (c == u'\t')
            display.text.append(QString(kTabWidth - display.text.size() % kTabWidth, u' '));
        else if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
            display.text.append(c);
    }
    display.columnToDisplay.append(display.text.size());
    return display;
}

qreal TerminalView::advance(const DisplayLine& line, qsizetype column) const {
    const qsizetype index = line.displayIndex(column);
    if (index <= 0)
        return 0;
    return QFontMetricsF(font()).horizontalAdvance(line.text.left(index));
}

qsizetype TerminalView::columnAt(const DisplayLine& line, qreal x) const {
    const qsizetype columns =
        line.columnToDisplay.isEmpty() ? line.text.size() : line.columnToDisplay.size() - 1;
    qsizetype lo = 0;
    qsizetype hi = columns;
    while (lo < hi) { // first column whose left edge is at or right of x
        const qsizetype mid = (lo + hi) / 2;
        if (advance(line, mid) < x)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo > 0 && x - advance(line, lo - 1) < advance(line, lo) - x)
        --lo;
    return lo;
}

TerminalView::Position TerminalView::positionAt(QPoint point) const {
    const qsizetype count = m_text.lineCount();
    if (count == 0)
        return {};
    const qsizetype row = qsizetype(std::floor(double(point.y()) / lineHeight()));
    const qsizetype line = std::clamp<qsizetype>(verticalScrollBar()->value() + row, 0, count - 1);
    const qreal x = point.x() + horizontalScrollBar()->value() - kMargin;
    return {line, columnAt(displayLine(line), x)};
}

QRect TerminalView::characterRect(Position position) const {
    const DisplayLine line = displayLine(position.line);
    const qreal left = advance(line, position.column);
    qreal right = advance(line, position.column + 1);
    if (right <= left)
        right = left + fontMetrics().horizontalAdvance(QLatin1Char('M'));
    const int x0 = kMargin - horizontalScrollBar()->value();
    const int y = int(position.line - verticalScrollBar()->value()) * lineHeight();
    return QRect(QPoint(x0 + qRound(left), y), QPoint(x0 + qRound(right) - 1, y + lineHeight() - 1));
}

// ---- refresh ----

void TerminalView::scheduleRefresh() {
    if (!m_refreshTimer->isActive())
        m_refreshTimer->start();
}

void TerminalView::refreshNow() {
    m_refreshTimer->stop();
    const qsizetype count = m_text.lineCount();
    if (m_anchor.line >= std::max<qsizetype>(count, 1) || m_cursor.line >= std::max<qsizetype>(count, 1))
        m_anchor = m_cursor = {};
    updateScrollBars();
    viewport()->update();
    notifyAccessibility();
}

void TerminalView::notifyAccessibility() {
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent changed(this, QAccessible::VisibleDataChanged);
    QAccessible::updateAccessibility(&changed);
    if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(this))
        if (QAccessibleTextInterface* text = iface->textInterface()) {
            QAccessibleTextCursorEvent caret(this, text->cursorPosition());
            QAccessible::updateAccessibility(&caret);
        }
}

qsizetype TerminalView::firstShownLine() const {
    return verticalScrollBar()->value();
}

QStringList TerminalView::shownLines() const {
    QStringList shown;
    const qsizetype first = firstShownLine();
    const qsizetype end = std::min<qsizetype>(m_text.lineCount(), first + visibleLines());
    for (qsizetype line = first; line < end; ++line)
        shown << m_text.line(line);
    return shown;
}

bool TerminalView::isFollowingEnd() const {
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

void TerminalView::updateScrollBars() {
    QScrollBar* vertical = verticalScrollBar();
    const bool follow = vertical->value() >= vertical->maximum();
    const int lines = int(std::min<qsizetype>(m_text.lineCount(), std::numeric_limits<int>::max()));
    const int page = visibleLines();
    vertical->setRange(0, std::max(0, lines - page));
    vertical->setPageStep(page);
    vertical->setSingleStep(1);
    if (follow)
        vertical->setValue(vertical->maximum());

    QScrollBar* horizontal = horizontalScrollBar();
    const qint64 cell = std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('M')));
    const qint64 width = m_text.widestLineCells() * cell + 2 * kMargin;
    const int maximum =
        int(std::clamp<qint64>(width - viewport()->width(), 0, std::numeric_limits<int>::max() / 2));
    horizontal->setRange(0, maximum);
    horizontal->setPageStep(std::max(1, viewport()->width()));
    horizontal->setSingleStep(int(cell));
}

void TerminalView::scrollContentsBy(int, int) {
    viewport()->update();
    notifyAccessibility();
}

void TerminalView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void TerminalView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateScrollBars();
        viewport()->update();
    }
}

void TerminalView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QPalette& pal = palette();
    painter.fillRect(event->rect(), pal.base());
    painter.setFont(font());
    const QFontMetricsF metrics(font());
    const int height = lineHeight();
    const qsizetype first = verticalScrollBar()->value();
    const qreal x0 = kMargin - horizontalScrollBar()->value();
    const bool selection = hasSelection();
    const auto [from, to] = orderedSelection();

    for (qsizetype row = 0;; ++row) {
        const qsizetype line = first + row;
        const int y = int(row) * height;
        if (y >= viewport()->height() || line >= m_text.lineCount())
            break;
        if (y + height <= event->rect().top())
            continue;
        const DisplayLine display = displayLine(line);
        const QPointF baseline(x0, y + metrics.ascent());
        QRectF selected;
        if (selection && line >= from.line && line <= to.line) {
            const qsizetype columns =
                display.columnToDisplay.isEmpty() ? display.text.size() : display.columnToDisplay.size() - 1;
            const qreal left = x0 + advance(display, line == from.line ? std::min(from.column, columns) : 0);
            qreal right = x0 + advance(display, line == to.line ? std::min(to.column, columns) : columns);
            if (line != to.line)
                right += metrics.horizontalAdvance(QLatin1Char(' ')); // the line end is selected too
            selected = QRectF(left, y, right - left, height);
            painter.fillRect(selected, pal.highlight());
        }
        painter.setPen(pal.text().color());
        painter.drawText(baseline, display.text);
        if (!selected.isEmpty()) {
            painter.save();
            painter.setClipRect(selected);
            painter.setPen(pal.highlightedText().color());
            painter.drawText(baseline, display.text);
            painter.restore();
        }
    }
}

// ---- mouse ----

void TerminalView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_anchor = m_cursor = positionAt(event->position().toPoint());
    m_selecting = true;
    viewport()->update();
}

void TerminalView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_selecting || !(event->buttons() & Qt::LeftButton))
        return;
    m_lastDragPoint = event->position().toPoint();
    m_cursor = positionAt(m_lastDragPoint);
    viewport()->update();
    const bool outside = m_lastDragPoint.y() < 0 || m_lastDragPoint.y() >= viewport()->height();
    if (outside && !m_autoScrollTimer->isActive())
        m_autoScrollTimer->start();
    else if (!outside)
        m_autoScrollTimer->stop();
}

void TerminalView::autoScroll() {
    QScrollBar* vertical = verticalScrollBar();
    if (m_lastDragPoint.y() < 0)
        vertical->setValue(vertical->value() - 1);
    else if (m_lastDragPoint.y() >= viewport()->height())
        vertical->setValue(vertical->value() + 1);
    m_cursor = positionAt(m_lastDragPoint);
    viewport()->update();
}

void TerminalView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_selecting = false;
        m_autoScrollTimer->stop();
        copySelection();
    } else if (event->button() == Qt::RightButton) {
        Q_EMIT rightButtonReleased();
        showContextMenu(event->globalPosition().toPoint());
    }
}

void TerminalView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_selecting = false;
    selectWordAt(positionAt(event->position().toPoint()));
}

void TerminalView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    // A mouse's menu opens on the button's release, after the paste (see above).
    if (event->reason() != QContextMenuEvent::Mouse)
        showContextMenu(viewport()->mapToGlobal(viewport()->rect().center()));
}

void TerminalView::showContextMenu(const QPoint& globalPos) {
    m_menu->popup(globalPos);
}

// ---- keys ----

bool TerminalView::event(QEvent* event) {
    // Tab and Shift+Tab belong to the controller's shell, not to the focus chain.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TerminalView::keyPressEvent(QKeyEvent* event) {
    QScrollBar* vertical = verticalScrollBar();
    switch (event->key()) {
    case Qt::Key_PageUp:
        vertical->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case Qt::Key_PageDown:
        vertical->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    case Qt::Key_Home:
        if (event->modifiers() & Qt::ControlModifier)
            vertical->setValue(vertical->minimum());
        break;
    case Qt::Key_End:
        if (event->modifiers() & Qt::ControlModifier)
            vertical->setValue(vertical->maximum());
        break;
    default:
        break;
    }
    if (!event->isAutoRepeat())
        m_held.insert(heldKey(*event), std::shared_ptr<QKeyEvent>(event->clone()));
    event->accept();
}

void TerminalView::keyReleaseEvent(QKeyEvent* event) {
    event->accept();
    if (event->isAutoRepeat())
        return;
    // A release whose press went elsewhere (the Enter that closed a dialog, the Tab that
    // moved the focus here) is not the engineer typing to the controller.
    const std::shared_ptr<QKeyEvent> press = m_held.take(heldKey(*event));
    if (press)
        Q_EMIT keyReleased(press.get());
}

void TerminalView::focusOutEvent(QFocusEvent* event) {
    m_held.clear(); // their releases go elsewhere
    QAbstractScrollArea::focusOutEvent(event);
}

quint64 TerminalView::heldKey(const QKeyEvent& event) {
    return event.nativeScanCode() != 0 ? (quint64(1) << 32) | event.nativeScanCode()
                                       : quint64(uint(event.key()));
}

} // namespace vantor
