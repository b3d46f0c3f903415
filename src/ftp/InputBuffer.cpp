#include "InputBuffer.h"

#include <algorithm>

namespace vantor {

namespace {
// Consumed bytes at the front are dropped once they are this many and at least half the buffer.
constexpr qsizetype kCompactAt = 64 * 1024;
} // namespace

qsizetype TInputBuffer::indexOfLf() const {
    const qsizetype at = m_bytes.indexOf('\n', m_pos + m_lfScanned);
    if (at < 0) {
        m_lfScanned = size();
        return -1;
    }
    return at - m_pos;
}

QByteArray TInputBuffer::take(qsizetype count) {
    count = std::clamp<qsizetype>(count, 0, size());
    QByteArray out = m_bytes.mid(m_pos, count);
    drop(count);
    return out;
}

void TInputBuffer::drop(qsizetype count) {
    count = std::clamp<qsizetype>(count, 0, size());
    m_pos += count;
    m_lfScanned = std::max<qsizetype>(0, m_lfScanned - count);
    if (m_pos >= m_bytes.size()) {
        m_bytes.resize(0);
        m_pos = 0;
        m_lfScanned = 0;
    } else if (m_pos >= kCompactAt && m_pos * 2 >= m_bytes.size()) {
        m_bytes.remove(0, m_pos);
        m_pos = 0;
    }
}

} // namespace vantor
