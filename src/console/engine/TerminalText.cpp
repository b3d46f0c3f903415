#include "TerminalText.h"

#include <QStringDecoder>

#include <cstring>

namespace vantor {

namespace {

constexpr qint64 kBlockSize = qint64(1) << 20;

// Character cells a character takes in a fixed-pitch terminal font.
int cellsOf(char32_t c) {
    if (c == U'\t')
        return 8;
    if (c < 0x20 || c == 0x7F || c == 0xFEFF || (c >= 0x200B && c <= 0x200F))
        return 0;
    if (c < 0x1100 || (c >= 0xFF61 && c <= 0xFF9F))
        return 1;
    return 2;
}

// A U+FEFF at the start of a line is text the controller sent; QString::fromUtf8 would take
// it for a byte order mark and drop it.
QString fromStoredUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

} // namespace

TerminalText::TerminalText() = default;
TerminalText::~TerminalText() = default;

void TerminalText::startLineIfNone() {
    if (m_blocks.empty())
        m_blocks.push_back({std::unique_ptr<char[]>(new char[kBlockSize]), 0});
    if (m_lineStarts.empty())
        m_lineStarts.push_back(qint64(m_blocks.size() - 1) * kBlockSize + m_blocks.back().used);
}

// The last line always lives in the last block; when the block cannot take `bytes` more,
// the last line moves to a fresh block so that no line spans two blocks.
void TerminalText::ensureRoom(qsizetype bytes) {
    Block& current = m_blocks.back();
    if (kBlockSize - current.used >= bytes)
        return;
    Block fresh{std::unique_ptr<char[]>(new char[kBlockSize]), 0};
    const qsizetype offset = qsizetype(m_lineStarts.back() % kBlockSize);
    const qsizetype length = current.used - offset;
    std::memcpy(fresh.bytes.get(), current.bytes.get() + offset, size_t(length));
    fresh.used = length;
    current.used = offset;
    m_blocks.push_back(std::move(fresh));
    m_lineStarts.back() = qint64(m_blocks.size() - 1) * kBlockSize;
}

bool TerminalText::lastLineEndsWithCr() const {
    if (m_lineStarts.empty())
        return false;
    const Block& block = m_blocks.back();
    const qsizetype offset = qsizetype(m_lineStarts.back() % kBlockSize);
    return block.used > offset && block.bytes[block.used - 1] == '\r';
}

void TerminalText::append(QStringView text) {
    if (text.isEmpty())
        return;
    // A surrogate pair split between two pieces is joined before it is stored.
    QString joined;
    if (m_heldHighSurrogate != 0) {
        joined.reserve(text.size() + 1);
        joined.append(QChar(m_heldHighSurrogate)).append(text);
        m_heldHighSurrogate = 0;
        text = joined;
    }
    if (text.back().isHighSurrogate()) {
        m_heldHighSurrogate = text.back().unicode();
        text.chop(1);
        if (text.isEmpty())
            return;
    }
    qsizetype i = 0;
    if (text.front() == u'\n' && lastLineEndsWithCr()) {
        removeLastChar();
        // A CR that the length limit had moved to a line of its own ends, with its LF, the
        // full line above, which the limit has ended already: the same lines as when the
        // pair arrives in one piece.
        if (!(m_lastLineAfterLimit && m_lastChars == 0))
            newLine();
        i = 1;
    }
    const qsizetype n = text.size();
    const QChar* data = text.data();
    while (i < n) {
        qsizetype end = i;
        while (end < n && !(data[end] == u'\r' && end + 1 < n && data[end + 1] == u'\n'))
            ++end;
        writeSegment(text.sliced(i, end - i));
        if (end >= n)
            break;
        newLine();
        i = end + 2;
    }
    changed();
}

void TerminalText::writeSegment(QStringView text) {
    startLineIfNone();
    while (!text.isEmpty()) {
        const qsizetype room = kMaxLineLength - m_lastChars;
        if (room <= 0) {
            breakAtLimit();
            continue;
        }
        qsizetype take = std::min(room, text.size());
        if (take < text.size() && text[take - 1].isHighSurrogate() && text[take].isLowSurrogate()) {
            // A surrogate pair goes whole to one line.
            if (take == 1) {
                breakAtLimit();
                continue;
            }
            --take;
        }
        ensureRoom(take * 3);
        Block& block = m_blocks.back();
        char* out = block.bytes.get() + block.used;
        char* const begin = out;
        qsizetype cells = 0;
        for (qsizetype k = 0; k < take; ++k) {
            char32_t c = text[k].unicode();
            if (c < 0x80) {
                *out++ = char(c);
                cells += cellsOf(c);
                continue;
            }
            if (QChar::isHighSurrogate(c) && k + 1 < take && text[k + 1].isLowSurrogate()) {
                c = QChar::surrogateToUcs4(char16_t(c), text[k + 1].unicode());
                ++k;
                *out++ = char(0xF0 | (c >> 18));
                *out++ = char(0x80 | ((c >> 12) & 0x3F));
                *out++ = char(0x80 | ((c >> 6) & 0x3F));
                *out++ = char(0x80 | (c & 0x3F));
                cells += 2;
                continue;
            }
            if (QChar::isSurrogate(c))
                c = 0xFFFD;
            if (c < 0x800) {
                *out++ = char(0xC0 | (c >> 6));
                *out++ = char(0x80 | (c & 0x3F));
            } else {
                *out++ = char(0xE0 | (c >> 12));
                *out++ = char(0x80 | ((c >> 6) & 0x3F));
                *out++ = char(0x80 | (c & 0x3F));
            }
            cells += cellsOf(c);
        }
        block.used += out - begin;
        m_lastChars += take;
        m_lastCells += cells;
        text = text.sliced(take);
    }
}

void TerminalText::newLine() {
    startLineIfNone();
    m_widestCells = std::max(m_widestCells, m_lastCells);
    m_lastChars = 0;
    m_lastCells = 0;
    m_lastLineAfterLimit = false;
    m_lineStarts.push_back(qint64(m_blocks.size() - 1) * kBlockSize + m_blocks.back().used);
}

void TerminalText::breakAtLimit() {
    newLine();
    m_lastLineAfterLimit = true;
}

void TerminalText::writeHeldSurrogate() {
    if (m_heldHighSurrogate == 0)
        return;
    const QChar alone(m_heldHighSurrogate);
    m_heldHighSurrogate = 0;
    writeSegment(QStringView(&alone, 1));
}

void TerminalText::breakLine() {
    writeHeldSurrogate();
    newLine();
    changed();
}

void TerminalText::appendLine(QStringView text) {
    writeHeldSurrogate();
    if (!isEmpty() && m_blocks.back().used > qsizetype(m_lineStarts.back() % kBlockSize))
        newLine();
    writeSegment(text);
    newLine();
    changed();
}

void TerminalText::deleteLastChar() {
    if (m_heldHighSurrogate != 0)
        m_heldHighSurrogate = 0; // the last character received, not yet shown
    else if (removeLastChar())
        changed();
}

bool TerminalText::removeLastChar() {
    if (m_lineStarts.empty())
        return false;
    Block& block = m_blocks.back();
    const qsizetype offset = qsizetype(m_lineStarts.back() % kBlockSize);
    if (block.used <= offset)
        return false;
    const auto* bytes = reinterpret_cast<const uchar*>(block.bytes.get());
    qsizetype p = block.used - 1;
    while (p > offset && (bytes[p] & 0xC0) == 0x80)
        --p;
    // The line holds only what writeSegment encoded, so the sequence is whole and valid.
    const qsizetype length = block.used - p;
    char32_t c = bytes[p];
    if (length == 2)
        c = (c & 0x1F) << 6 | (bytes[p + 1] & 0x3F);
    else if (length == 3)
        c = (c & 0x0F) << 12 | (bytes[p + 1] & 0x3F) << 6 | (bytes[p + 2] & 0x3F);
    else if (length == 4)
        c = (c & 0x07) << 18 | (bytes[p + 1] & 0x3F) << 12 | (bytes[p + 2] & 0x3F) << 6 |
            (bytes[p + 3] & 0x3F);
    block.used = p;
    m_lastChars = std::max<qsizetype>(0, m_lastChars - (length == 4 ? 2 : 1));
    m_lastCells = std::max<qsizetype>(0, m_lastCells - cellsOf(c));
    return true;
}

void TerminalText::clear() {
    m_blocks.clear();
    m_lineStarts.clear();
    m_lastChars = m_lastCells = m_widestCells = 0;
    m_lastLineAfterLimit = false;
    m_heldHighSurrogate = 0;
    changed();
}

QByteArrayView TerminalText::lineUtf8(qsizetype index) const {
    if (index < 0 || index >= lineCount())
        return {};
    const qint64 start = m_lineStarts[size_t(index)];
    const qsizetype blockIndex = qsizetype(start / kBlockSize);
    const qsizetype offset = qsizetype(start % kBlockSize);
    const Block& block = m_blocks[size_t(blockIndex)];
    qsizetype end = block.used;
    if (index + 1 < lineCount()) {
        const qint64 next = m_lineStarts[size_t(index + 1)];
        if (next / kBlockSize == blockIndex)
            end = qsizetype(next % kBlockSize);
    }
    return QByteArrayView(block.bytes.get() + offset, end - offset);
}

QString TerminalText::line(qsizetype index) const {
    return fromStoredUtf8(lineUtf8(index));
}

QString TerminalText::lastLine() const {
    return isEmpty() ? QString() : line(lineCount() - 1);
}

QStringList TerminalText::lines() const {
    QStringList out;
    out.reserve(lineCount());
    for (qsizetype i = 0; i < lineCount(); ++i)
        out << line(i);
    return out;
}

qint64 TerminalText::storedBytes() const {
    qint64 total = 0;
    for (const Block& b : m_blocks)
        total += b.used;
    return total;
}

} // namespace vantor
