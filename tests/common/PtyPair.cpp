#include "PtyPair.h"

#include <QDeadlineTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace vantor::test {

PtyPair::PtyPair() {
    char name[256] = {};
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
    m_slave = slave;
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() {
    hangUp();
}

void PtyPair::hangUp() {
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

bool PtyPair::send(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd p{m_master, POLLOUT, 0};
                if (::poll(&p, 1, 1000) <= 0)
                    return false;
                continue;
            }
            return false;
        }
        done += n;
    }
    return true;
}

QByteArray PtyPair::receive(qsizetype count, std::chrono::milliseconds limit) {
    QByteArray out;
    const QDeadlineTimer deadline(limit);
    while (out.size() < count) {
        pollfd p{m_master, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(std::max<qint64>(0, deadline.remainingTime())));
        if (ready <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, n);
    }
    return out;
}

bool PtyPair::attributes(termios* out) const {
    return ::tcgetattr(m_slave, out) == 0;
}

ComMapping::ComMapping(int comId, const QString& device)
    : m_name("VANTOR_COM" + QByteArray::number(comId)), m_previous(qgetenv(m_name.constData())),
      m_hadPrevious(qEnvironmentVariableIsSet(m_name.constData())) {
    qputenv(m_name.constData(), device.toLocal8Bit());
}

ComMapping::~ComMapping() {
    if (m_hadPrevious)
        qputenv(m_name.constData(), m_previous);
    else
        qunsetenv(m_name.constData());
}

} // namespace vantor::test
