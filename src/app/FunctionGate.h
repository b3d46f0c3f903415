#pragma once

#include "FunctionPlan.h"

#include <QObject>

#include <chrono>
#include <functional>

namespace vantor {

class FunctionSheet;
struct FamilyBatches;

// The Function sheet's gate: family, then the ion-beam confirmation, then a function. The
// gate turns each choice into what it means for the main window (the family's batch texts,
// a function's plan) and hands that to the window to carry out; it runs the entering of a
// function itself (Version Up's abort over the serial line, the restore preparation).
class FunctionGate final : public QObject {
    Q_OBJECT
public:
    explicit FunctionGate(FunctionSheet& sheet, QObject* parent = nullptr);

    // The main window's side. Gives the batch buttons and boxes the texts of the family just
    // clicked.
    std::function<void(const FamilyBatches&)> applyBatchTexts;
    // Applies a function's plan before the function is entered. Throws FileError, having
    // changed nothing, when the family's folders cannot be found.
    std::function<void(const FunctionPlan&)> applyPlan;
    // Completes the plan once its function has been entered.
    std::function<void(const FunctionPlan&)> completePlan;
    // Opens the serial console's port as its OPEN button does; false when it failed (the
    // button is then released).
    std::function<bool()> openSerialPort;
    // Runs the abort batch button.
    std::function<void()> runAbortBatch;
    // Restore Data: hides the main window and shows the restore dialog while the controller
    // is prepared.
    std::function<void()> enterRestoreData;

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
    // What the sheet shows chosen.
    FunctionChoice choice() const;
    void apply(const FunctionPlan& plan);
    // False when the choice was left during the wait; the abort is then not sent.
    bool abortViaSerial(quint64 choiceMade);

    FunctionSheet& m_sheet;
    quint64 m_choice = 0; // moves on at every choice and reset
    int m_entering = 0;
};

} // namespace vantor
