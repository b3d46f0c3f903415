#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace vantor {

// The bytes a socket has received and its owner has not yet taken. Bytes are appended at
// the back and taken from the front; a line search remembers how far it has looked, and
// consumed bytes are dropped only now and then, so taking a long stream line by line costs
// O(n) overall.
class TInputBuffer {
public:
    void append(const char* data, qsizetype size) { m_bytes.append(data, size); }
    qsizetype size() const { return m_bytes.size() - m_pos; } // bytes not yet taken
    bool isEmpty() const { return size() == 0; }
    QByteArrayView unread() const { return QByteArrayView(m_bytes).sliced(m_pos); }

    // Offset of the first LF among the unread bytes, or -1.
    qsizetype indexOfLf() const;
    // The first `count` unread bytes (at most size()), which are then gone.
    QByteArray take(qsizetype count);
    // Drops the first `count` unread bytes.
    void drop(qsizetype count);
    void clear() { drop(size()); }

private:
    QByteArray m_bytes;
    qsizetype m_pos = 0;
    mutable qsizetype m_lfScanned = 0; // unread bytes known to hold no LF
};

} // namespace vantor
