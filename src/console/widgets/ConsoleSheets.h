#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QBoxLayout;
class QKeyEvent;
class QLineEdit;
class QWidget;

namespace vantor {

class BatchBoxes;
class BatchPanel;
class CommandList;
class SerialConsole;
class TFormBatchTitle;
class TelnetConsole;
class TerminalView;

// The remote consoles of the main window: the Telnet and Serial sheets, the batch panel
// and the command list they share, and the batch boxes of the Setup sheet.
//
// Console output follows the page showing: on the Telnet sheet it goes over the telnet
// connection, on every other page to the serial port (when open). The batch panel and
// the command list sit on whichever console sheet was shown last and are enabled only
// while that sheet's console is connected.
class ConsoleSheets final : public QObject {
    Q_OBJECT
public:
    // What the main window lends the consoles.
    struct BorrowedControls {
        QWidget* telnetSheet = nullptr;
        QWidget* serialSheet = nullptr;
        QBoxLayout* batchArea = nullptr; // receives PageBatch
        std::function<QWidget*()> activeSheet;
        QLineEdit* address = nullptr;
        QLineEdit* user = nullptr;
        QLineEdit* password = nullptr;
        std::function<QString()> saveFolder; // where the log's save dialog starts
        std::function<QString()> dataFolder; // the instrument data folder
        QStringList startupLines;            // design text of batch tab 1
        QStringList seriesLines;             // design text of batch tab 4
    };

    explicit ConsoleSheets(const BorrowedControls& controls, QObject* parent = nullptr);
    ~ConsoleSheets() override;

    TelnetConsole& telnet() const { return *m_telnet; }
    SerialConsole& serial() const { return *m_serial; }
    BatchBoxes& batchBoxes() const { return *m_boxes; }
    BatchPanel& batchPanel() const { return *m_panel; }
    CommandList& commandList() const { return *m_commands; }

    // Start-up of the main window, each at its place in the order.
    void prepareSerialPort(); // first port chosen, receive buffer reserved
    void fillCommandList();
    void loadUserBatches();

    void setBatchTitleDialog(TFormBatchTitle* dialog);

    // Enables the shared panels exactly while the console of the sheet showing is
    // connected; on other pages they are disabled.
    void UpdateConsolePanels();
    // A sheet of the main page control was set up for showing: a console sheet takes the
    // shared panels; the panels are then updated.
    void sheetShown(QWidget* sheet);

    // Sends by the page showing: telnet on the Telnet sheet, else the serial port.
    void SendToConsole(const QByteArray& bytes);

    // For entering Version Up and for stopping the ion beam: press OPEN on the Serial
    // sheet and open the port (false when that failed), and run the abort button.
    bool openSerialPort();
    void runAbortBatch();

    // The terminal views' shared handlers.
    void ConsoleKeyUp(QKeyEvent* event);
    void ConsoleRightButtonUp();
    void Save1Click(TerminalView* view);

    static QString overwriteQuestion(const QString& path);

private:
    enum class Console { Telnet, Serial, None };
    Console activeConsole() const;
    void movePanelsTo(QBoxLayout* row);
    void sendListedCommand(const QByteArray& bytes);
    void wireView(TerminalView* view);

    BorrowedControls m_controls;
    TelnetConsole* m_telnet;
    SerialConsole* m_serial;
    BatchBoxes* m_boxes;
    BatchPanel* m_panel;
    CommandList* m_commands;
};

} // namespace vantor
