#include "SendPump.h"

#include <QIODevice>

#include <algorithm>

namespace vantor {

void TSendPump::queue(const QByteArray& bytes) {
    m_queue.append(bytes);
}

void TSendPump::sendFile(QIODevice* file) {
    clear();
    m_file = file;
}

bool TSendPump::pending() const {
    return m_file ? !m_file->atEnd() : m_queuePos < m_queue.size();
}

QByteArrayView TSendPump::next(qint64 max) {
    m_offered = 0;
    if (!m_file) {
        m_offered = std::min<qint64>(max, m_queue.size() - m_queuePos);
        return QByteArrayView(m_queue).sliced(m_queuePos, m_offered);
    }
    if (m_chunk.size() < max)
        m_chunk.resize(max);
    const qint64 got = m_file->read(m_chunk.data(), max);
    if (got < 0) {
        m_fileError = m_file->errorString();
        return {};
    }
    m_offered = got;
    return QByteArrayView(m_chunk.constData(), got);
}

void TSendPump::consumed(qint64 taken) {
    taken = std::clamp<qint64>(taken, 0, m_offered);
    if (m_file) {
        if (taken < m_offered)
            m_file->seek(m_file->pos() - (m_offered - taken));
    } else {
        m_queuePos += taken;
        if (m_queuePos >= m_queue.size()) {
            m_queue.clear();
            m_queuePos = 0;
        }
    }
    m_offered = 0;
}

void TSendPump::clear() {
    m_queue.clear();
    m_queuePos = 0;
    m_file = nullptr;
    m_offered = 0;
    m_fileError.clear();
}

} // namespace vantor
