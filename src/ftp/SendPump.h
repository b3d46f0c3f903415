#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QIODevice;

namespace vantor {

// What a socket sends next: the bytes queued in memory or, while a file is being sent, the
// rest of that file. The socket asks for the next piece, hands it on and says how much of it
// was taken; what was not taken is offered again.
class TSendPump {
public:
    void queue(const QByteArray& bytes);
    // From now on the pump offers this file's bytes, from its current position, until
    // sendFile(nullptr). The memory queue is emptied.
    void sendFile(QIODevice* file);
    bool sendingFile() const { return m_file != nullptr; }

    bool pending() const; // bytes are left to offer
    // The next piece, at most `max` bytes; empty when nothing is left or the file could not
    // be read (then fileError() says why). Valid until the next call.
    QByteArrayView next(qint64 max);
    // `taken` bytes of the last piece went out.
    void consumed(qint64 taken);
    const QString& fileError() const { return m_fileError; }
    void clear();

private:
    QByteArray m_queue;
    qsizetype m_queuePos = 0;
    QIODevice* m_file = nullptr;
    QByteArray m_chunk; // the last piece read from the file
    qint64 m_offered = 0;
    QString m_fileError;
};

} // namespace vantor
