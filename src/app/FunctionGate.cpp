#include "FunctionGate.h"

#include "FamilyBatches.h"
#include "FormInstall.h"
#include "FunctionSheet.h"
#include "RadioGroup.h"
#include "StatusBarPanels.h"
#include "support/Guard.h"
#include "support/Prompter.h"
#include "support/Wait.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>

using namespace std::chrono_literals;

namespace vantor {

namespace {
enum Function { InstallOS9 = 0, VersionUpOS9 = 1, RestoreData = 2, Others = 3 };

void setLines(QPlainTextEdit* memo, const QStringList& lines) {
    if (memo)
        memo->setPlainText(lines.join(QLatin1Char('\n')));
}

void setCaption(QAbstractButton* button, const QString& caption) {
    if (button && !caption.isEmpty())
        button->setText(caption);
}

void setCaption(QGroupBox* group, const QString& caption) {
    if (group)
        group->setTitle(caption);
}

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

FunctionGate::FunctionGate(TFormInstall& form, FunctionSheet& sheet)
    : QObject(&form), m_form(form), m_sheet(sheet) {
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

void FunctionGate::rbMachineClick() {
    ShowMachineSelection();
    const bool qel = m_sheet.rbQEL->isChecked();
    const bool dax = m_sheet.rbDAX->isChecked();
    m_sheet.RGConfirm->setEnabled(qel || dax);
    if (!qel && !dax)
        return;
    const FamilyBatches texts = familyBatches(qel ? 1 : 2, m_sheet.CmbDaxType->currentIndex());
    setCaption(m_batch.BtnStartup, texts.startupButton);
    setCaption(m_batch.GrpStartup, texts.startupGroup);
    setCaption(m_batch.BtnAbort, texts.abortButton);
    setCaption(m_batch.BtnQEL740, texts.seriesButton);
    setCaption(m_batch.GrpQEL740, texts.seriesGroup);
    setLines(m_batch.MemoStartup, texts.startupLines);
    setLines(m_batch.MemoQEL740, texts.seriesLines);
}

void FunctionGate::RGConfirmClick() {
    if (m_sheet.RGConfirm->itemIndex() == 0) {
        m_sheet.RdoFunction->setEnabled(true);
    } else if (m_sheet.RGConfirm->itemIndex() == 1) {
        m_sheet.RdoFunction->setEnabled(false);
        Prompter::current().warning(QStringLiteral("Turn off ion beam, then try again."));
    }
}

void FunctionGate::applyTabRow(bool install, bool versionUp, bool others) {
    m_form.setSheetTabVisible(m_form.ShtEntry, true);
    m_form.setSheetTabVisible(m_form.ShtInstall, install);
    m_form.setSheetTabVisible(m_form.ShtVerUp, versionUp);
    for (QWidget* sheet :
         {m_form.ShtBackup, m_form.ShtGet, m_form.ShtView, m_form.ShtDBMainte, m_form.ShtSetup})
        m_form.setSheetTabVisible(sheet, others);
    m_form.setSheetTabVisible(m_form.ShtTelnet, true);
    m_form.setSheetTabVisible(m_form.ShtRs232c, true);
}

void FunctionGate::RdoFunctionClick() {
    const int function = m_sheet.RdoFunction->itemIndex();
    // A choice still being entered (waiting inside Version Up) is superseded by this one.
    const quint64 choice = ++m_choice;
    m_lastFunction = function;

    StatusBarPanels& bar = *m_form.StsBar;
    const int family = m_sheet.rbQEL->isChecked() ? 1 : m_sheet.rbDAX->isChecked() ? 2 : 0;
    if (family == 0) {
        m_form.releaseSysInfo();
        bar.setText(StatusBarPanels::MachinePanel, QString());
        return;
    }
    if (function < 0) {
        hideAllTabs();
        return;
    }
    // The folders first: a family whose folders cannot be found gets no sheets, so no
    // sheet ever works without them.
    try {
        m_form.recreateSysInfo(family);
    } catch (...) {
        m_sheet.RdoFunction->setItemIndex(-1);
        m_lastFunction = -1;
        hideAllTabs();
        throw;
    }
    for (QWidget* sheet : {m_form.ShtEntry, m_form.ShtTelnet, m_form.ShtRs232c})
        m_form.setSheetTabVisible(sheet, true);
    const bool qel = family == 1;
    m_form.PageDB->setTabVisible(m_form.PageDB->indexOf(m_form.TabDBAp), qel);
    m_form.PageDB->setTabVisible(m_form.PageDB->indexOf(m_form.TabDBIon), qel);
    if (qel) {
        bar.setText(StatusBarPanels::MachinePanel, m_sheet.rbQEL->text());
    } else {
        m_form.PageDB->setCurrentWidget(m_form.TabDBOption);
        bar.setText(StatusBarPanels::MachinePanel, m_sheet.rbDAX->text() + m_sheet.CmbDaxType->currentText());
    }

    switch (function) {
    case InstallOS9:
        applyTabRow(true, false, false);
        m_form.showSheet(m_form.ShtInstall);
        break;
    case VersionUpOS9:
        applyTabRow(false, true, false);
        m_form.showSheet(m_form.ShtVerUp);
        if (!abortViaSerial(choice))
            return; // the engineer left this choice during the wait; it ends here
        break;
    case RestoreData:
        if (enterRestoreData)
            enterRestoreData();
        break;
    case Others:
        applyTabRow(false, false, true);
        m_form.showSheet(m_form.ShtGet);
        break;
    default:
        hideAllTabs();
        return;
    }
    bar.setText(StatusBarPanels::MachinePanel, bar.text(StatusBarPanels::MachinePanel) +
                                                   QStringLiteral("   ") +
                                                   m_sheet.RdoFunction->itemText(function));
    m_form.setUpSheet(m_form.PageFTPCtrl->currentWidget());
    if (function == RestoreData && restoreDataEntered)
        restoreDataEntered();
}

void FunctionGate::hideAllTabs() {
    for (QWidget* sheet :
         {m_form.ShtEntry, m_form.ShtInstall, m_form.ShtVerUp, m_form.ShtBackup, m_form.ShtGet,
          m_form.ShtView, m_form.ShtDBMainte, m_form.ShtSetup, m_form.ShtTelnet, m_form.ShtRs232c})
        m_form.setSheetTabVisible(sheet, false);
    m_form.showSheet(m_form.ShtEntry);
    m_form.StsBar->setText(StatusBarPanels::MachinePanel, QString());
}

bool FunctionGate::pumpWithinChoice(std::chrono::milliseconds duration) {
    const quint64 choice = m_choice;
    ++m_entering;
    pumpUntil([&] { return m_choice != choice; }, duration);
    --m_entering;
    return m_choice == choice;
}

bool FunctionGate::abortViaSerial() {
    return abortViaSerial(m_choice);
}

bool FunctionGate::abortViaSerial(quint64 choice) {
    if (!openSerialPort || !openSerialPort())
        return m_choice == choice;
    if (m_choice != choice || !pumpWithinChoice(1000ms))
        return false;
    if (runAbortBatch)
        runAbortBatch();
    return m_choice == choice;
}

void FunctionGate::reset() {
    ++m_choice;
    m_sheet.RdoFunction->setItemIndex(-1);
    m_lastFunction = -1;
    RdoFunctionClick();
    m_sheet.RdoFunction->setEnabled(false);
    m_sheet.RGConfirm->setItemIndex(-1);
    m_sheet.RGConfirm->setEnabled(false);
    m_sheet.clearMachine();
    ShowMachineSelection();
}

} // namespace vantor
