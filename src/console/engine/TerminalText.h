#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <memory>
#include <vector>

namespace vantor {

// The text of a terminal view: a list of lines that only ever grows at its end. Received
// text goes to the last line; a CR LF pair ends the line, also when the CR came with one
// piece of text and the LF with the next. Every other character, control characters
// included, stays in the line as received.
//
// Lines are kept as UTF-8 in large blocks with one index entry per line, so tens of
// megabytes of mostly ASCII output cost little more than their own size and appending
// costs time in proportion to the text appended. A line is ended after kMaxLineLength
// UTF-16 units so that a stream without line ends cannot make one unbounded line; that
// break never parts a surrogate pair, and a CR LF pair ends the full line the same way
// whether it arrives in one piece or two. Every character received is kept, U+FEFF
// included: splitting the same text into other pieces gives the same lines. (A high
// surrogate that ends a piece waits, unseen, for its partner at the start of the next.)
class TerminalText final {
public:
    static constexpr qsizetype kMaxLineLength = 4096;

    TerminalText();
    ~TerminalText();
    TerminalText(const TerminalText&) = delete;
    TerminalText& operator=(const TerminalText&) = delete;

    // Appends to the last line; CR LF pairs become line ends.
    void append(QStringView text);
    // Ends the last line; what follows starts a new one.
    void breakLine();
    // Shows a message as a line of its own ("Connected"): a partly filled last line is
    // ended first, and the message line is ended after it.
    void appendLine(QStringView text);
    // Deletes the last character of the last line; an empty last line stays as it is.
    void deleteLastChar();
    void clear();

    bool isEmpty() const { return m_lineStarts.empty(); }
    // 0 for an empty text; after "abc\r\n" there are two lines, the second one empty.
    qsizetype lineCount() const { return qsizetype(m_lineStarts.size()); }
    QString line(qsizetype index) const;
    QByteArrayView lineUtf8(qsizetype index) const;
    QString lastLine() const;
    QStringList lines() const;

    // Width of the widest line in character cells (a wide CJK character takes two), for
    // the view's horizontal extent. Never shrinks while the text is not cleared.
    qsizetype widestLineCells() const { return std::max(m_widestCells, m_lastCells); }
    qint64 storedBytes() const;

    // Called after every change; the view schedules its repaint from it.
    void setChangeListener(std::function<void()> listener) { m_listener = std::move(listener); }

private:
    struct Block {
        std::unique_ptr<char[]> bytes;
        qsizetype used = 0;
    };

    void startLineIfNone();
    void newLine();
    void breakAtLimit();
    void writeHeldSurrogate();
    bool removeLastChar();
    void ensureRoom(qsizetype bytes);
    void writeSegment(QStringView text);
    bool lastLineEndsWithCr() const;
    void changed() {
        if (m_listener)
            m_listener();
    }

    std::vector<Block> m_blocks;
    std::vector<qint64> m_lineStarts; // block * kBlockSize + offset
    qsizetype m_lastChars = 0;        // UTF-16 units in the last line
    qsizetype m_lastCells = 0;
    qsizetype m_widestCells = 0;
    bool m_lastLineAfterLimit = false; // the last line began where the length limit ended the one above
    char16_t m_heldHighSurrogate = 0;
    std::function<void()> m_listener;
};

} // namespace vantor
