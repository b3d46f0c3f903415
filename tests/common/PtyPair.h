#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

struct termios;

namespace vantor::test {

// A pseudo-terminal standing in for a serial line: the program opens the slave side as
// its port, the test plays the far end on the master side. The slave is put in raw mode
// and kept open by the pair, so the master never sees a hang-up while the program closes
// and reopens its side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isOpen() const { return m_master >= 0; }
    const QString& slavePath() const { return m_slavePath; }

    // Bytes sent from the far end to the program.
    bool send(const QByteArray& bytes);
    // Bytes the program wrote, gathered until `count` have come or `limit` has passed.
    QByteArray receive(qsizetype count, std::chrono::milliseconds limit);
    // The far end goes away, as an unplugged adapter does: both of the pair's ends close,
    // leaving the program's side hung up.
    void hangUp();
    // The slave's terminal attributes as the program left them.
    bool attributes(termios* out) const;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

// Points VANTOR_COMn at a device for its lifetime and restores the previous value after.
class ComMapping {
public:
    ComMapping(int comId, const QString& device);
    ~ComMapping();
    ComMapping(const ComMapping&) = delete;
    ComMapping& operator=(const ComMapping&) = delete;

private:
    QByteArray m_name;
    QByteArray m_previous;
    bool m_hadPrevious;
};

} // namespace vantor::test
