#include "FunctionGate.h"

#include "FamilyBatches.h"
#include "FunctionSheet.h"
#include "RadioGroup.h"
#include "support/Guard.h"
#include "support/Prompter.h"
#include "support/Wait.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QRadioButton>
#include <QStyle>

using namespace std::chrono_literals;

namespace vantor {

namespace {
void paintChecked(QRadioButton* button) {
    // A button fills its background from its background role (Button), not from Window.
    QPalette palette = button->palette();
    palette.setColor(button->backgroundRole(),
                     button->isChecked() ? QColor(0, 255, 255)
                                         : button->style()->standardPalette().color(QPalette::Button));
    button->setPalette(palette);
    button->setAutoFillBackground(true);
}
} // namespace

FunctionGate::FunctionGate(FunctionSheet& sheet, QObject* parent) : QObject(parent), m_sheet(sheet) {
    connect(sheet.rbQEL, &QAbstractButton::clicked, this, [this] { guarded([this] { rbMachineClick(); }); });
    connect(sheet.rbDAX, &QAbstractButton::clicked, this, [this] { guarded([this] { rbMachineClick(); }); });
    connect(sheet.RGConfirm, &RadioGroup::itemClicked, this,
            [this] { guarded([this] { RGConfirmClick(); }); });
    connect(sheet.RdoFunction, &RadioGroup::itemClicked, this,
            [this] { guarded([this] { RdoFunctionClick(); }); });
    ShowMachineSelection();
}

void FunctionGate::ShowMachineSelection() {
    paintChecked(m_sheet.rbQEL);
    paintChecked(m_sheet.rbDAX);
}

FunctionChoice FunctionGate::choice() const {
    FunctionChoice chosen;
    chosen.family = m_sheet.rbQEL->isChecked()   ? Family::QEL
                    : m_sheet.rbDAX->isChecked() ? Family::DAX
                                                 : Family::None;
    chosen.daxModel = m_sheet.CmbDaxType->currentIndex();
    chosen.function = functionAt(m_sheet.RdoFunction->itemIndex());
    return chosen;
}

void FunctionGate::rbMachineClick() {
    ShowMachineSelection();
    const FunctionChoice chosen = choice();
    m_sheet.RGConfirm->setEnabled(chosen.family != Family::None);
    if (chosen.family != Family::None && applyBatchTexts)
        applyBatchTexts(familyBatches(chosen.family, chosen.daxModel));
}

void FunctionGate::RGConfirmClick() {
    if (m_sheet.RGConfirm->itemIndex() == 0) {
        m_sheet.RdoFunction->setEnabled(true);
    } else if (m_sheet.RGConfirm->itemIndex() == 1) {
        m_sheet.RdoFunction->setEnabled(false);
        Prompter::current().warning(QStringLiteral("Turn off ion beam, then try again."));
    }
}

void FunctionGate::apply(const FunctionPlan& plan) {
    if (applyPlan)
        applyPlan(plan);
}

void FunctionGate::RdoFunctionClick() {
    // A choice still being entered (waiting inside Version Up) is superseded by this one.
    const quint64 choiceMade = ++m_choice;
    FunctionChoice chosen = choice();
    const FunctionPlan plan = planFunction(chosen);
    try {
        apply(plan);
    } catch (...) {
        // The family's folders cannot be found: no function, so no sheet works without them.
        m_sheet.RdoFunction->setItemIndex(-1);
        chosen.function = Function::None;
        apply(planFunction(chosen));
        throw;
    }
    switch (plan.entry) {
    case FunctionPlan::Entry::AbortViaSerial:
        if (!abortViaSerial(choiceMade))
            return; // the engineer left this choice during the wait; it ends here
        break;
    case FunctionPlan::Entry::RestoreData:
        if (enterRestoreData)
            enterRestoreData();
        break;
    case FunctionPlan::Entry::None:
        break;
    }
    if (plan.enteredMachineText && completePlan)
        completePlan(plan);
}

bool FunctionGate::pumpWithinChoice(std::chrono::milliseconds duration) {
    const quint64 choiceMade = m_choice;
    ++m_entering;
    pumpUntil([&] { return m_choice != choiceMade; }, duration);
    --m_entering;
    return m_choice == choiceMade;
}

bool FunctionGate::abortViaSerial() {
    return abortViaSerial(m_choice);
}

bool FunctionGate::abortViaSerial(quint64 choiceMade) {
    if (!openSerialPort || !openSerialPort())
        return m_choice == choiceMade;
    if (m_choice != choiceMade || !pumpWithinChoice(1000ms))
        return false;
    if (runAbortBatch)
        runAbortBatch();
    return m_choice == choiceMade;
}

void FunctionGate::reset() {
    ++m_choice;
    m_sheet.RdoFunction->setItemIndex(-1);
    RdoFunctionClick();
    m_sheet.RdoFunction->setEnabled(false);
    m_sheet.RGConfirm->setItemIndex(-1);
    m_sheet.RGConfirm->setEnabled(false);
    m_sheet.clearMachine();
    ShowMachineSelection();
}

} // namespace vantor
