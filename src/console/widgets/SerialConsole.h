#pragma once

#include "console/engine/SerialReceiver.h"

#include <QByteArray>
#include <QObject>

#include <functional>
#include <memory>

class QBoxLayout;
class QComboBox;
class QWidget;

namespace vantor {

class TQelBtn;
class TSerialCom;
class TerminalView;

// The Serial sheet: the port choice CmbSerial ("COM1", "COM2"), the OPEN button and the
// terminal view MemoSerial over the serial port SerialCom (9600 baud, 8N1, no flow
// control, polled every 10 ms).
//
// BtnSerialOpen down opens the chosen port, up closes it. A port that cannot be opened is
// reported in the error box (the message names "COM1" or "COM2") and the button is
// released. What arrives is drained into a receive buffer of 1000 bytes per poll and shown
// by the serial line-end rules.
class SerialConsole final : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollInterval = 10;

    // Builds the sheet's controls on `sheet`. `serialSheetActive` tells whether the Serial
    // sheet is the page showing (an opened port then takes the keyboard focus).
    SerialConsole(QWidget* sheet, std::function<bool()> serialSheetActive, QObject* parent = nullptr);
    ~SerialConsole() override;

    QComboBox* CmbSerial;
    TQelBtn* BtnSerialOpen;
    TerminalView* MemoSerial;
    TSerialCom* SerialCom;
    QBoxLayout* panelRow() const { return m_panelRow; }

    // Start-up: the first port is chosen and the receive buffer is reserved.
    void selectFirstPort();
    void allocateReceiveBuffer();
    qsizetype receiveBufferSize() const { return m_receiver.bufferSize(); }

    bool isOpen() const;
    // Writes the bytes to the port when it is open; a closed port sends nothing. Throws
    // FileError when the port does not take them.
    void write(const QByteArray& bytes);

    // BtnSerialOpen was clicked: opens or closes by the button's new state. False when an
    // open failed (the error has been shown and the button released).
    bool BtnSerialOpenClick();
    // Presses the button and opens the port as a click does.
    bool pressAndOpen();

Q_SIGNALS:
    // The port was opened or closed.
    void portChanged(bool open);

private:
    bool openPort();
    void SerialComArrived();
    void SerialComLineLost(const QString& reason);

    std::function<bool()> m_serialSheetActive;
    QBoxLayout* m_panelRow;
    SerialReceiver m_receiver;
};

} // namespace vantor
