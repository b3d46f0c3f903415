#pragma once

#include <QObject>
#include <QStringList>

class QSerialPort;
class QTimer;

namespace vantor {

// One serial port of the PC with the program's fixed line settings. Reception is polled:
// while the port is open a timer of the component looks at the input queue every
// `Interval` ms and raises OnArrived when bytes are waiting; the owner then drains the
// queue with ReceivedCount and Read. Nothing is read by the component itself.
//
// Port numbers are the program's COM numbers: ComID n is "COMn" on Windows; elsewhere it
// is /dev/ttyS(n-1), unless the environment variable VANTOR_COMn names another device
// (a USB adapter, or a pseudo-terminal in tests). Messages always name "COMn".
//
// Line settings are applied at Open only. A device that refuses some of them (a
// pseudo-terminal has no modem lines, no OS offers DTR/DSR flow control everywhere) is
// still opened; what could not be applied is listed by lineSettingProblems().
class TSerialCom final : public QObject {
    Q_OBJECT
public:
    enum TStopBits { sb1, sb15, sb2 };
    Q_ENUM(TStopBits)
    enum TParityType { ptNone, ptOdd, ptEven, ptMark };
    Q_ENUM(TParityType)

private:
    Q_PROPERTY(int ComID READ ComID WRITE setComID)
    Q_PROPERTY(int BaudRate READ BaudRate WRITE setBaudRate)
    Q_PROPERTY(int ByteSize READ ByteSize WRITE setByteSize)
    Q_PROPERTY(TStopBits StopBit READ StopBit WRITE setStopBit)
    Q_PROPERTY(bool XonXoff READ XonXoff WRITE setXonXoff)
    Q_PROPERTY(bool RtsCts READ RtsCts WRITE setRtsCts)
    Q_PROPERTY(bool DtrDsr READ DtrDsr WRITE setDtrDsr)
    Q_PROPERTY(bool Binary READ Binary WRITE setBinary)
    Q_PROPERTY(TParityType Parity READ Parity WRITE setParity)
    Q_PROPERTY(char XonChar READ XonChar WRITE setXonChar)
    Q_PROPERTY(char XoffChar READ XoffChar WRITE setXoffChar)
    Q_PROPERTY(bool Opened READ Opened WRITE setOpened)
    Q_PROPERTY(int Interval READ Interval WRITE setInterval)

public:
    explicit TSerialCom(QObject* parent = nullptr);
    ~TSerialCom() override;

    int ComID() const { return m_comId; }
    void setComID(int id) { m_comId = id; }
    int BaudRate() const { return m_baudRate; }
    void setBaudRate(int rate) { m_baudRate = rate; }
    int ByteSize() const { return m_byteSize; }
    void setByteSize(int bits) { m_byteSize = quint8(bits); }
    TStopBits StopBit() const { return m_stopBit; }
    void setStopBit(TStopBits bits) { m_stopBit = bits; }
    bool XonXoff() const { return m_xonXoff; }
    void setXonXoff(bool on) { m_xonXoff = on; }
    bool RtsCts() const { return m_rtsCts; }
    void setRtsCts(bool on) { m_rtsCts = on; }
    bool DtrDsr() const { return m_dtrDsr; }
    void setDtrDsr(bool on) { m_dtrDsr = on; }
    bool Binary() const { return m_binary; }
    void setBinary(bool on) { m_binary = on; }
    TParityType Parity() const { return m_parity; }
    void setParity(TParityType parity) { m_parity = parity; }
    char XonChar() const { return m_xonChar; }
    void setXonChar(char c) { m_xonChar = c; }
    char XoffChar() const { return m_xoffChar; }
    void setXoffChar(char c) { m_xoffChar = c; }
    // True while the port is open. Writing it only stores the flag; it neither opens nor
    // closes the port.
    bool Opened() const { return m_opened; }
    void setOpened(bool opened) { m_opened = opened; }
    int Interval() const { return m_interval; }
    void setInterval(int ms);

    // Opens and configures the port, empties both directions and starts polling. True,
    // also when the port was already open. Throws FileError naming "COMn" when the device
    // cannot be opened; the component then stays closed.
    bool Open();
    // Stops polling, closes the port when it is open and clears Opened.
    void Close();
    // Hands all bytes to the driver before it returns; true. Throws FileError when the port
    // is closed or the driver does not take every byte within a bounded time.
    bool Write(const char* data, qint64 count);
    // Reads min(ReceivedCount(), max) bytes into `buffer`; true. `bytesRead`, when given,
    // gets how many that were (0 when nothing was queued by then). Throws FileError when
    // the port is closed or fewer bytes come than were queued.
    bool Read(char* buffer, qint64 max, qint64* bytesRead = nullptr);
    // Bytes now waiting to be read; 0 when closed.
    qint64 ReceivedCount();

    // The device opened for ComID n on this platform, and the name used in messages.
    static QString deviceName(int comId);
    static QString portName(int comId) { return QStringLiteral("COM%1").arg(comId); }

    // The line settings the device did not take at the last Open, in words.
    const QStringList& lineSettingProblems() const { return m_problems; }

Q_SIGNALS:
    // Raised from the poll timer while bytes are waiting; the handler drains them.
    void OnArrived(vantor::TSerialCom* sender);
    // The device went away while open (adapter unplugged, far end of a pseudo-terminal
    // closed). The component has closed itself; `reason` is the driver's words.
    void lineLost(const QString& reason);

private:
    void applyLineSettings();
    void poll();
    void onPortError(int error);
    void closeLostLine();

    int m_comId = 1;
    int m_baudRate = 9600;
    quint8 m_byteSize = 8;
    TStopBits m_stopBit = sb1;
    bool m_xonXoff = false;
    bool m_rtsCts = false;
    bool m_dtrDsr = false;
    bool m_binary = true;
    TParityType m_parity = ptNone;
    char m_xonChar = 17;
    char m_xoffChar = 19;
    bool m_opened = false;
    int m_interval = 200;

    QSerialPort* m_port = nullptr; // exists only while open
    QString m_lostReason;          // set when the device failed under an open port
    QTimer* m_pollTimer;
    QStringList m_problems;
};

} // namespace vantor
