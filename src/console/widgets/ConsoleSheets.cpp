#include "ConsoleSheets.h"

#include "console/engine/Cp932.h"
#include "console/engine/TerminalLog.h"
#include "console/widgets/BatchBoxes.h"
#include "console/widgets/BatchPanel.h"
#include "console/widgets/CommandList.h"
#include "console/widgets/ConsoleKeyEvent.h"
#include "console/widgets/SerialConsole.h"
#include "console/widgets/TelnetConsole.h"
#include "console/widgets/TerminalView.h"
#include "support/Guard.h"
#include "support/Prompter.h"
#include "support/TQelBtn.h"
#include "support/TQelGroupBox.h"

#include <QBoxLayout>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>

namespace vantor {

namespace {
const QString kLogFilter = QStringLiteral("Text files (*.txt);;All files (*)");

// Pasted text goes out as a Windows clipboard holds it: every line ended by CR LF.
QString withCrLf(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}
} // namespace

ConsoleSheets::ConsoleSheets(const BorrowedControls& controls, QObject* parent)
    : QObject(parent), m_controls(controls) {
    m_telnet =
        new TelnetConsole(controls.telnetSheet, controls.address, controls.user, controls.password, this);
    m_serial = new SerialConsole(
        controls.serialSheet, [this] { return activeConsole() == Console::Serial; }, this);
    m_boxes = new BatchBoxes(controls.dataFolder, controls.startupLines, controls.seriesLines, this);
    m_panel = new BatchPanel(
        *m_boxes, [this](const QByteArray& bytes) { SendToConsole(bytes); }, this);
    m_commands = new CommandList([this](const QByteArray& bytes) { sendListedCommand(bytes); }, this);

    if (controls.batchArea)
        controls.batchArea->addWidget(m_boxes->PageBatch);
    movePanelsTo(m_telnet->panelRow());

    wireView(m_telnet->MemoTelnet);
    wireView(m_serial->MemoSerial);
    connect(m_telnet, &TelnetConsole::connectionChanged, this, [this] { UpdateConsolePanels(); });
    connect(m_serial, &SerialConsole::portChanged, this, [this] { UpdateConsolePanels(); });
}

ConsoleSheets::~ConsoleSheets() = default;

void ConsoleSheets::wireView(TerminalView* view) {
    connect(view, &TerminalView::keyReleased, this,
            [this](QKeyEvent* event) { guarded([this, event] { ConsoleKeyUp(event); }); });
    connect(view, &TerminalView::rightButtonReleased, this,
            [this] { guarded([this] { ConsoleRightButtonUp(); }); });
    connect(view, &TerminalView::saveRequested, this,
            [this, view] { guarded([this, view] { Save1Click(view); }); });
}

void ConsoleSheets::prepareSerialPort() {
    m_serial->selectFirstPort();
    m_serial->allocateReceiveBuffer();
}

void ConsoleSheets::fillCommandList() {
    m_commands->fill();
}

void ConsoleSheets::loadUserBatches() {
    m_boxes->loadUserBatches();
}

void ConsoleSheets::setBatchTitleDialog(TFormBatchTitle* dialog) {
    m_boxes->setTitleDialog(dialog);
}

ConsoleSheets::Console ConsoleSheets::activeConsole() const {
    QWidget* active = m_controls.activeSheet ? m_controls.activeSheet() : nullptr;
    if (active && active == m_controls.telnetSheet)
        return Console::Telnet;
    if (active && active == m_controls.serialSheet)
        return Console::Serial;
    return Console::None;
}

void ConsoleSheets::UpdateConsolePanels() {
    bool enabled = false;
    switch (activeConsole()) {
    case Console::Telnet:
        enabled = m_telnet->hasConnection();
        break;
    case Console::Serial:
        enabled = m_serial->isOpen();
        break;
    case Console::None:
        break;
    }
    m_panel->PnlBaseBatch->setEnabled(enabled);
    m_commands->PnlBaseCmdList->setEnabled(enabled);
}

void ConsoleSheets::sheetShown(QWidget* sheet) {
    if (sheet && sheet == m_controls.telnetSheet)
        movePanelsTo(m_telnet->panelRow());
    else if (sheet && sheet == m_controls.serialSheet)
        movePanelsTo(m_serial->panelRow());
    UpdateConsolePanels();
}

void ConsoleSheets::movePanelsTo(QBoxLayout* row) {
    if (row->indexOf(m_panel->PnlBaseBatch) >= 0)
        return;
    row->insertWidget(0, m_panel->PnlBaseBatch);
    row->insertWidget(1, m_commands->PnlBaseCmdList, 1); // the list takes the height left
    m_panel->PnlBaseBatch->show();
    m_commands->PnlBaseCmdList->show();
}

void ConsoleSheets::SendToConsole(const QByteArray& bytes) {
    if (activeConsole() == Console::Telnet)
        m_telnet->send(bytes);
    else
        m_serial->write(bytes);
}

void ConsoleSheets::sendListedCommand(const QByteArray& bytes) {
    // The list looks at the connect buttons itself rather than trusting the panel's state.
    switch (activeConsole()) {
    case Console::Telnet:
        if (m_telnet->BtnLogin->isChecked())
            m_telnet->send(bytes);
        break;
    case Console::Serial:
        if (m_serial->BtnSerialOpen->isChecked())
            m_serial->write(bytes);
        break;
    case Console::None:
        break;
    }
}

bool ConsoleSheets::openSerialPort() {
    return m_serial->pressAndOpen();
}

void ConsoleSheets::runAbortBatch() {
    m_panel->BatchButtonClick(m_panel->BtnAbort);
}

void ConsoleSheets::ConsoleKeyUp(QKeyEvent* event) {
    const std::optional<char> byte = consoleKeyByte(*event);
    if (!byte)
        return;
    const QByteArray one(1, *byte);
    if (activeConsole() == Console::Telnet) {
        if (m_telnet->hasConnection())
            m_telnet->send(one);
    } else if (m_serial->isOpen()) {
        m_serial->write(one);
    }
}

void ConsoleSheets::ConsoleRightButtonUp() {
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty())
        return;
    const QByteArray bytes = encodeCp932(withCrLf(text));
    // Pasted text goes where a typed key would go, never to the console of another sheet.
    if (activeConsole() == Console::Telnet) {
        if (m_telnet->hasConnection())
            m_telnet->send(bytes);
    } else if (m_serial->isOpen()) {
        m_serial->write(bytes);
    }
}

QString ConsoleSheets::overwriteQuestion(const QString& path) {
    return QStringLiteral("The file '%1' is exists. Overwrite the file?").arg(QDir::toNativeSeparators(path));
}

void ConsoleSheets::Save1Click(TerminalView* view) {
    if (!view)
        return;
    Prompter& prompter = Prompter::current();
    const QString folder = m_controls.saveFolder ? m_controls.saveFolder() : QString();
    const QString path =
        prompter.saveFile(QStringLiteral("Save As"), folder, kLogFilter, QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    if (QFileInfo::exists(path) && !prompter.confirmOkCancel(overwriteQuestion(path)))
        return;
    saveTerminalLog(view->text(), path);
}

} // namespace vantor
