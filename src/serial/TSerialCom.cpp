#include "TSerialCom.h"

#include "support/Errors.h"
#include "support/Guard.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QSerialPort>
#include <QTimer>

#include <memory>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <termios.h>
#endif

Q_LOGGING_CATEGORY(lcSerial, "vantor.serial.port", QtWarningMsg)

namespace vantor {

namespace {

// Qt buffers what the OS delivers. A port nobody drains must not grow without end; past
// this the OS queue fills and the line's own flow control or overrun takes over, as with
// the driver queue of a Windows port.
constexpr qint64 kReadBufferLimit = 64 * 1024;

// A write waits for the driver at least this long, and longer when the bytes need more
// time on the line.
constexpr qint64 kMinWriteWaitMs = 5000;

QSerialPort::StopBits toQt(TSerialCom::TStopBits bits) {
    switch (bits) {
    case TSerialCom::sb15:
        return QSerialPort::OneAndHalfStop;
    case TSerialCom::sb2:
        return QSerialPort::TwoStop;
    case TSerialCom::sb1:
        break;
    }
    return QSerialPort::OneStop;
}

QSerialPort::Parity toQt(TSerialCom::TParityType parity) {
    switch (parity) {
    case TSerialCom::ptOdd:
        return QSerialPort::OddParity;
    case TSerialCom::ptEven:
        return QSerialPort::EvenParity;
    case TSerialCom::ptMark:
        return QSerialPort::MarkParity;
    case TSerialCom::ptNone:
        break;
    }
    return QSerialPort::NoParity;
}

} // namespace

TSerialCom::TSerialCom(QObject* parent) : QObject(parent), m_pollTimer(new QTimer(this)) {
    m_pollTimer->setInterval(m_interval);
    connect(m_pollTimer, &QTimer::timeout, this, [this] { swallowing([this] { poll(); }); });
}

TSerialCom::~TSerialCom() {
    Close();
}

void TSerialCom::setInterval(int ms) {
    m_interval = ms;
    m_pollTimer->setInterval(ms);
}

QString TSerialCom::deviceName(int comId) {
#ifdef Q_OS_WIN
    return portName(comId);
#else
    const QString mapped = qEnvironmentVariable(qPrintable(QStringLiteral("VANTOR_COM%1").arg(comId)));
    if (!mapped.isEmpty())
        return mapped;
    return QStringLiteral("/dev/ttyS%1").arg(comId - 1);
#endif
}

bool TSerialCom::Open() {
    if (m_opened)
        return true;
    if (m_port) { // the flag was cleared by hand; the port itself never closed
        m_opened = true;
        return true;
    }
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(deviceName(m_comId));
    if (m_comId < 1 || !port->open(QIODevice::ReadWrite)) {
        const QString reason =
            m_comId < 1 ? QStringLiteral("No such file or directory") : port->errorString();
        throw FileError(QStringLiteral("Cannot open file \"%1\". %2").arg(portName(m_comId), reason));
    }
    port->setReadBufferSize(kReadBufferLimit);
    m_port = port.release();
    m_lostReason.clear();
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        swallowing([this, error] { onPortError(int(error)); });
    });
    applyLineSettings();
    m_port->clear(QSerialPort::AllDirections);
    m_port->clearError();
    m_pollTimer->start();
    m_opened = true;
    qCDebug(lcSerial) << portName(m_comId) << "opened as" << m_port->portName();
    return true;
}

void TSerialCom::applyLineSettings() {
    m_problems.clear();
    const auto require = [this](bool ok, const QString& what) {
        if (!ok) {
            m_problems << QStringLiteral("%1: %2").arg(what, m_port->errorString());
            qCWarning(lcSerial) << portName(m_comId) << "did not take" << what << m_port->errorString();
            m_port->clearError();
        }
    };
    require(m_port->setBaudRate(m_baudRate), QStringLiteral("%1 baud").arg(m_baudRate));
    require(m_byteSize >= 5 && m_byteSize <= 8 &&
                m_port->setDataBits(static_cast<QSerialPort::DataBits>(m_byteSize)),
            QStringLiteral("%1 data bits").arg(m_byteSize));
    require(m_port->setParity(toQt(m_parity)), QStringLiteral("parity %1").arg(int(m_parity)));
    require(m_port->setStopBits(toQt(m_stopBit)), QStringLiteral("stop bits %1").arg(int(m_stopBit)));

    QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
    if (m_rtsCts)
        flow = QSerialPort::HardwareControl;
    else if (m_xonXoff)
        flow = QSerialPort::SoftwareControl;
    require(m_port->setFlowControl(flow), QStringLiteral("flow control"));
    if (m_rtsCts && m_xonXoff)
        m_problems << QStringLiteral("XON/XOFF together with RTS/CTS: only RTS/CTS is used");
    if (m_dtrDsr)
        m_problems << QStringLiteral("DTR/DSR flow control is not available");

#ifdef Q_OS_UNIX
    // Qt offers no setting for the flow-control characters; the terminal attributes do.
    termios attributes{};
    const int fd = int(m_port->handle());
    if (::tcgetattr(fd, &attributes) == 0) {
        attributes.c_cc[VSTART] = cc_t(m_xonChar);
        attributes.c_cc[VSTOP] = cc_t(m_xoffChar);
        if (::tcsetattr(fd, TCSANOW, &attributes) != 0)
            m_problems << QStringLiteral("XON/XOFF characters");
    }
#endif
    if (!m_binary)
        m_problems << QStringLiteral("text mode: the port is always binary");

    // Without handshaking the modem lines stay low, as the controller's console expects
    // from this program. A device without modem lines simply has none to lower.
    if (!m_rtsCts) {
        if (!m_port->setRequestToSend(false))
            m_port->clearError();
    }
    if (!m_port->setDataTerminalReady(false))
        m_port->clearError();
}

void TSerialCom::Close() {
    m_pollTimer->stop();
    m_opened = false;
    if (!m_port)
        return;
    m_port->disconnect(this);
    m_port->close();
    delete m_port;
    m_port = nullptr;
    m_lostReason.clear();
    m_opened = false;
    qCDebug(lcSerial) << portName(m_comId) << "closed";
}

qint64 TSerialCom::ReceivedCount() {
    if (!m_port || !m_lostReason.isEmpty())
        return 0;
    // Collect what the OS holds now, without waiting; a timeout here only means "nothing".
    if (!m_port->waitForReadyRead(0))
        m_port->clearError();
    return m_port->bytesAvailable();
}

bool TSerialCom::Read(char* buffer, qint64 max, qint64* bytesRead) {
    if (bytesRead)
        *bytesRead = 0;
    if (!m_port)
        throw FileError(QStringLiteral("Stream read error: \"%1\" is not open").arg(portName(m_comId)));
    const qint64 wanted = std::min(ReceivedCount(), max);
    if (wanted <= 0)
        return true;
    const qint64 got = m_port->read(buffer, wanted);
    if (got != wanted)
        throw FileError(QStringLiteral("Stream read error"));
    if (bytesRead)
        *bytesRead = got;
    return true;
}

bool TSerialCom::Write(const char* data, qint64 count) {
    if (!m_port)
        throw FileError(QStringLiteral("Stream write error: \"%1\" is not open").arg(portName(m_comId)));
    if (count <= 0)
        return true;
    if (m_port->write(data, count) != count)
        throw FileError(QStringLiteral("Stream write error"));
    // Ten bits a byte on the line, twice over for safety.
    const qint64 lineMs = m_baudRate > 0 ? count * 10 * 1000 * 2 / m_baudRate : 0;
    const QDeadlineTimer deadline(std::max(kMinWriteWaitMs, lineMs));
    while (m_port->bytesToWrite() > 0) {
        if (deadline.hasExpired() ||
            !m_port->waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())))) {
            if (m_port->bytesToWrite() == 0)
                break;
            // What the driver did not take is dropped, so a later write does not send it.
            qCWarning(lcSerial) << portName(m_comId) << "write stalled:" << m_port->errorString();
            m_port->clear(QSerialPort::Output);
            m_port->clearError();
            throw FileError(QStringLiteral("Stream write error"));
        }
    }
    return true;
}

void TSerialCom::onPortError(int error) {
    // A device that is gone keeps its descriptor readable with nothing to read: left open,
    // the port would wake the event loop without pause. Read and resource errors mean the
    // line itself failed; the port is closed once the driver call that reported it is over.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!m_port || !m_lostReason.isEmpty())
        return;
#ifdef Q_OS_UNIX
    // A failed read on a line that is still there (a spurious wake-up) is no loss.
    if (error == QSerialPort::ReadError) {
        pollfd state{int(m_port->handle()), POLLIN, 0};
        if (::poll(&state, 1, 0) != 1 || !(state.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return;
    }
#endif
    // A hung-up line reads as empty with whatever errno was left over; its words say nothing.
    m_lostReason = error == QSerialPort::ResourceError ? m_port->errorString() : QStringLiteral("hung up");
    qCWarning(lcSerial) << portName(m_comId) << "line lost:" << m_lostReason;
    QMetaObject::invokeMethod(
        this, [this] { swallowing([this] { closeLostLine(); }); }, Qt::QueuedConnection);
}

void TSerialCom::closeLostLine() {
    if (!m_port || m_lostReason.isEmpty())
        return;
    const QString reason = m_lostReason;
    Close();
    m_opened = false;
    Q_EMIT lineLost(reason);
}

void TSerialCom::poll() {
    if (ReceivedCount() > 0)
        Q_EMIT OnArrived(this);
}

} // namespace vantor
