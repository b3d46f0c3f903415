#include "SerialConsole.h"

#include "console/widgets/ConsoleSheetLayout.h"
#include "console/widgets/TerminalView.h"
#include "serial/TSerialCom.h"
#include "support/Errors.h"
#include "support/Guard.h"
#include "support/Prompter.h"
#include "support/TQelBtn.h"

#include <QComboBox>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSerialConsole, "vantor.console.serial", QtWarningMsg)

namespace vantor {

SerialConsole::SerialConsole(QWidget* sheet, std::function<bool()> serialSheetActive, QObject* parent)
    : QObject(parent), m_serialSheetActive(std::move(serialSheetActive)) {
    CmbSerial = new QComboBox(sheet);
    CmbSerial->setObjectName(QStringLiteral("CmbSerial"));
    CmbSerial->addItems({QStringLiteral("COM1"), QStringLiteral("COM2")});
    CmbSerial->setCurrentIndex(-1);
    const ConsoleSheetLayout shape =
        layOutConsoleSheet(sheet, {CmbSerial}, QStringLiteral("OPEN"), "BtnSerialOpen", "MemoSerial");
    BtnSerialOpen = shape.connectButton;
    MemoSerial = shape.view;
    m_panelRow = shape.panelRow;

    SerialCom = new TSerialCom(this);
    SerialCom->setObjectName(QStringLiteral("SerialCom"));
    SerialCom->setInterval(kPollInterval);

    connect(BtnSerialOpen, &QAbstractButton::clicked, this,
            [this] { guarded([this] { BtnSerialOpenClick(); }); });
    connect(SerialCom, &TSerialCom::OnArrived, this, [this] { swallowing([this] { SerialComArrived(); }); });
    connect(SerialCom, &TSerialCom::lineLost, this,
            [this](const QString& reason) { swallowing([this, &reason] { SerialComLineLost(reason); }); });
}

SerialConsole::~SerialConsole() {
    SerialCom->disconnect(this);
    SerialCom->Close();
}

void SerialConsole::selectFirstPort() {
    CmbSerial->setCurrentIndex(0);
}

void SerialConsole::allocateReceiveBuffer() {
    m_receiver.allocateBuffer();
}

bool SerialConsole::isOpen() const {
    return SerialCom->Opened();
}

void SerialConsole::write(const QByteArray& bytes) {
    if (!SerialCom->Opened()) {
        qCDebug(lcSerialConsole) << "port closed, not sent:" << bytes;
        return;
    }
    SerialCom->Write(bytes.constData(), bytes.size());
}

bool SerialConsole::BtnSerialOpenClick() {
    bool opened = true;
    if (BtnSerialOpen->isChecked()) {
        opened = openPort();
    } else {
        SerialCom->Close();
    }
    Q_EMIT portChanged(SerialCom->Opened());
    return opened;
}

bool SerialConsole::pressAndOpen() {
    BtnSerialOpen->setChecked(true);
    return BtnSerialOpenClick();
}

bool SerialConsole::openPort() {
    SerialCom->setComID(CmbSerial->currentIndex() + 1);
    try {
        SerialCom->Open();
    } catch (const Error& e) {
        BtnSerialOpen->setChecked(false);
        Prompter::current().error(e.message());
        return false;
    }
    if (!SerialCom->lineSettingProblems().isEmpty())
        qCInfo(lcSerialConsole) << SerialCom->portName(SerialCom->ComID())
                                << "line settings not applied:" << SerialCom->lineSettingProblems();
    MemoSerial->clear();
    m_receiver.reset();
    if (m_serialSheetActive && m_serialSheetActive())
        MemoSerial->setFocus();
    return true;
}

void SerialConsole::SerialComArrived() {
    // Each drain takes at most what the buffer holds; the rest waits for the next poll.
    m_receiver.arrived(*SerialCom, MemoSerial->text());
}

void SerialConsole::SerialComLineLost(const QString& reason) {
    // The port closed itself: the button and the panels follow, and the engineer is told,
    // rather than keys and batches going nowhere.
    BtnSerialOpen->setChecked(false);
    Q_EMIT portChanged(false);
    Prompter::current().error(QStringLiteral("%1 was closed: the serial device stopped answering (%2).")
                                  .arg(TSerialCom::portName(SerialCom->ComID()), reason));
}

} // namespace vantor
