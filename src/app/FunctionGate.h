#pragma once

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>

class QAbstractButton;
class QGroupBox;
class QPlainTextEdit;

namespace vantor {

class FunctionSheet;
class TFormInstall;

// The batch controls whose texts follow the instrument family.
struct FamilyBatchControls {
    QPointer<QAbstractButton> BtnStartup;
    QPointer<QGroupBox> GrpStartup;
    QPointer<QAbstractButton> BtnAbort;
    QPointer<QAbstractButton> BtnQEL740;
    QPointer<QGroupBox> GrpQEL740;
    QPointer<QPlainTextEdit> MemoStartup;
    QPointer<QPlainTextEdit> MemoQEL740;
};

// The Function sheet's gate: family, then the ion-beam confirmation, then a function that
// decides which sheets get tabs, which scripts the batch buttons hold, which data folders
// are used and what the status bar's machine panel says.
class FunctionGate final : public QObject {
    Q_OBJECT
public:
    FunctionGate(TFormInstall& form, FunctionSheet& sheet);

    void setBatchControls(const FamilyBatchControls& controls) { m_batch = controls; }
    // Opens the serial console's port as its OPEN button does; false when it failed (the
    // button is then released).
    std::function<bool()> openSerialPort;
    // Runs the abort batch button.
    std::function<void()> runAbortBatch;
    // Restore Data: hides the main window and shows the restore dialog while the controller
    // is prepared; then, once the gate is reset, brings the main window back if the dialog
    // was closed meanwhile.
    std::function<void()> enterRestoreData;
    std::function<void()> restoreDataEntered;

    void rbMachineClick();
    void RGConfirmClick();
    void RdoFunctionClick();
    // The Function sheet became active: back to nothing chosen. A function still being
    // entered is abandoned.
    void reset();

    // While a function is being entered (Version Up's wait for the serial line, the
    // restore preparation): lets the window run for `duration`. False as soon as the
    // engineer left the choice meanwhile (a reset or another choice); the entering must
    // then stop, as the gate is already in the state the later choice put it in.
    bool pumpWithinChoice(std::chrono::milliseconds duration);
    // True during such a wait; the main window keeps its sheet meanwhile.
    bool isEnteringFunction() const { return m_entering > 0; }

    void ShowMachineSelection();

    // Opens the serial port, lets a second pass and sends the abort batch (Ctrl-C), as
    // entering Version Up and the restore preparation do. False when the engineer left the
    // function being entered during the wait (the abort is then not sent).
    bool abortViaSerial();

private:
    void applyTabRow(bool install, bool versionUp, bool others);
    void hideAllTabs();
    // False when the choice was left during the wait; the abort is then not sent.
    bool abortViaSerial(quint64 choice);

    TFormInstall& m_form;
    FunctionSheet& m_sheet;
    FamilyBatchControls m_batch;
    int m_lastFunction = -1;
    quint64 m_choice = 0; // moves on at every choice and reset
    int m_entering = 0;
};

} // namespace vantor
