// The Function sheet's gate without the main window: what each choice plans, and the order
// in which the gate hands a plan over and enters its function.
#include "app/FamilyBatches.h"
#include "app/FunctionGate.h"
#include "app/FunctionPlan.h"
#include "app/FunctionSheet.h"
#include "app/RadioGroup.h"
#include "common/ScriptedPrompter.h"
#include "support/Errors.h"

#include <QComboBox>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

using namespace vantor;

Q_DECLARE_METATYPE(vantor::Family)
Q_DECLARE_METATYPE(vantor::Function)

namespace {
const QStringList kSheetNames{"Entry",      "Install", "VersionUp", "Backup",         "FileTransfer",
                              "FileViewer", "Telnet",  "Serial",    "DatabaseMainte", "Setup"};

QStringList names(const QList<Sheet>& sheets) {
    QStringList out;
    for (Sheet sheet : sheets)
        out << kSheetNames.at(static_cast<int>(sheet));
    return out;
}

QString name(const std::optional<Sheet>& sheet) {
    return sheet ? kSheetNames.at(static_cast<int>(*sheet)) : QString();
}

// Every sheet but `shown`, in tab order.
QStringList allBut(const QStringList& shown) {
    QStringList out;
    for (const QString& sheet : kSheetNames)
        if (!shown.contains(sheet))
            out << sheet;
    return out;
}

QString sysInfoOf(const FunctionPlan& plan) {
    switch (plan.sysInfo) {
    case FunctionPlan::SysInfo::Keep:
        return "keep";
    case FunctionPlan::SysInfo::Release:
        return "release";
    case FunctionPlan::SysInfo::Create:
        return familyCaption(plan.sysInfoFamily);
    }
    return QString();
}

QString entryOf(const FunctionPlan& plan) {
    switch (plan.entry) {
    case FunctionPlan::Entry::AbortViaSerial:
        return "abort";
    case FunctionPlan::Entry::RestoreData:
        return "restore";
    case FunctionPlan::Entry::None:
        break;
    }
    return QString();
}

QString apertureTabsOf(const FunctionPlan& plan) {
    return !plan.apertureTabs ? QString() : *plan.apertureTabs ? "shown" : "hidden";
}
} // namespace

class TestFunctionPlan : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void planByChoice_data();
    void planByChoice();
    void batchTextsByModel_data();
    void batchTextsByModel();
    void familyClickHandsOverTheTexts();
    void functionIsEnteredBetweenApplyAndComplete_data();
    void functionIsEnteredBetweenApplyAndComplete();
    void foldersNotFoundLeaveNothingChosen();
};

void TestFunctionPlan::planByChoice_data() {
    QTest::addColumn<Family>("family");
    QTest::addColumn<int>("daxModel");
    QTest::addColumn<Function>("function");
    QTest::addColumn<QString>("sysInfo");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("apertureTabs");
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("entered"); // "-": never completed

    const QStringList install{"Entry", "Install", "Telnet", "Serial"};
    const QStringList versionUp{"Entry", "VersionUp", "Telnet", "Serial"};
    const QStringList consoles{"Entry", "Telnet", "Serial"};
    const QStringList others{"Entry",  "Backup", "FileTransfer",   "FileViewer",
                             "Telnet", "Serial", "DatabaseMainte", "Setup"};
    QTest::newRow("no family") << Family::None << 0 << Function::InstallOS9 << "release" << QStringList{}
                               << QStringList{} << ""
                               << ""
                               << ""
                               << ""
                               << "-";
    QTest::newRow("QEL, no function")
        << Family::QEL << 0 << Function::None << "keep" << QStringList{} << kSheetNames << "Entry"
        << ""
        << ""
        << ""
        << "-";
    QTest::newRow("QEL Install") << Family::QEL << 0 << Function::InstallOS9 << "QEL" << install
                                 << allBut(install) << "Install"
                                 << "shown"
                                 << "QEL"
                                 << ""
                                 << "QEL   Install  OS9";
    QTest::newRow("QEL Version Up") << Family::QEL << 0 << Function::VersionUpOS9 << "QEL" << versionUp
                                    << allBut(versionUp) << "VersionUp"
                                    << "shown"
                                    << "QEL"
                                    << "abort"
                                    << "QEL   Version Up  OS9";
    QTest::newRow("QEL Restore Data: other tabs as they are")
        << Family::QEL << 0 << Function::RestoreData << "QEL" << consoles << QStringList{} << ""
        << "shown"
        << "QEL"
        << "restore"
        << "QEL   Restore Data";
    QTest::newRow("QEL Others") << Family::QEL << 2 << Function::Others << "QEL" << others << allBut(others)
                                << "FileTransfer"
                                << "shown"
                                << "QEL"
                                << ""
                                << "QEL   Others";
    QTest::newRow("DAX41B Install") << Family::DAX << 3 << Function::InstallOS9 << "DAX" << install
                                    << allBut(install) << "Install"
                                    << "hidden"
                                    << "DAX41B"
                                    << ""
                                    << "DAX41B   Install  OS9";
    QTest::newRow("DAX62 Version Up") << Family::DAX << 1 << Function::VersionUpOS9 << "DAX" << versionUp
                                      << allBut(versionUp) << "VersionUp"
                                      << "hidden"
                                      << "DAX62"
                                      << "abort"
                                      << "DAX62   Version Up  OS9";
    QTest::newRow("DAX without a model, Others")
        << Family::DAX << -1 << Function::Others << "DAX" << others << allBut(others) << "FileTransfer"
        << "hidden"
        << "DAX"
        << ""
        << "DAX   Others";
}

void TestFunctionPlan::planByChoice() {
    QFETCH(Family, family);
    QFETCH(int, daxModel);
    QFETCH(Function, function);
    QFETCH(QString, sysInfo);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, hidden);
    QFETCH(QString, sheet);
    QFETCH(QString, apertureTabs);
    QFETCH(QString, machine);
    QFETCH(QString, entry);
    QFETCH(QString, entered);
    const FunctionPlan plan = planFunction({family, daxModel, function});
    QCOMPARE(sysInfoOf(plan), sysInfo);
    QCOMPARE(names(plan.tabsShown), shown);
    QCOMPARE(names(plan.tabsHidden), hidden);
    QCOMPARE(name(plan.sheetShown), sheet);
    QCOMPARE(apertureTabsOf(plan), apertureTabs);
    QCOMPARE(plan.machineText, machine);
    QCOMPARE(entryOf(plan), entry);
    QCOMPARE(plan.enteredMachineText.value_or("-"), entered);
}

void TestFunctionPlan::batchTextsByModel_data() {
    QTest::addColumn<Family>("family");
    QTest::addColumn<int>("daxModel");
    QTest::addColumn<QString>("seriesButton"); // empty: the present caption stays
    QTest::addColumn<QString>("startupGroup");
    QTest::addColumn<QStringList>("startupAfterCommon"); // after the five common lines
    QTest::addColumn<int>("seriesLines");
    QTest::newRow("QEL") << Family::QEL << 2 << "Set QEL740"
                         << "Set QEL Startup" << QStringList{} << 19;
    QTest::newRow("DAX61") << Family::DAX << 0 << "Set DAX61"
                           << "Set DAX Startup"
                           << QStringList{"chd /h0/QEL_V4/Data/Manager", "copy TASK_DATA_DAX61 TASK_DATA -vr",
                                          "chd /h0"}
                           << 3;
    QTest::newRow("DAX62") << Family::DAX << 1 << "Set DAX62"
                           << "Set DAX Startup"
                           << QStringList{"chd /h0/QEL_V4/Data/Manager", "copy TASK_DATA_DAX62 TASK_DATA -vr",
                                          "chd /h0"}
                           << 3;
    QTest::newRow("DAX, no model: no caption, no model line")
        << Family::DAX << -1 << ""
        << "Set DAX Startup" << QStringList{"chd /h0/QEL_V4/Data/Manager", "chd /h0"} << 3;
}

void TestFunctionPlan::batchTextsByModel() {
    QFETCH(Family, family);
    QFETCH(int, daxModel);
    QFETCH(QString, seriesButton);
    QFETCH(QString, startupGroup);
    QFETCH(QStringList, startupAfterCommon);
    QFETCH(int, seriesLines);
    const FamilyBatches texts = familyBatches(family, daxModel);
    QCOMPARE(texts.seriesButton, seriesButton);
    QCOMPARE(texts.startupGroup, startupGroup);
    QCOMPARE(texts.startupLines.first(), QStringLiteral("chd /h0"));
    QCOMPARE(texts.startupLines.mid(5), startupAfterCommon);
    QCOMPARE(texts.seriesLines.size(), seriesLines);
}

namespace {
// The Function sheet and its gate on a bare page; what the gate hands over is written down.
struct GateRig {
    GateRig() {
        gate.applyBatchTexts = [this](const FamilyBatches& texts) {
            events << "texts " + texts.seriesButton;
        };
        gate.applyPlan = [this](const FunctionPlan& plan) {
            events << "apply " + plan.machineText + "/" + name(plan.sheetShown);
            if (plan.sysInfo == FunctionPlan::SysInfo::Create && !foldersFound)
                throw FileError(QStringLiteral("Cannot find the DAX folders."));
        };
        gate.completePlan = [this](const FunctionPlan& plan) {
            events << "complete " + *plan.enteredMachineText;
        };
        gate.openSerialPort = [this] {
            events << "open";
            return portOpens;
        };
        gate.runAbortBatch = [this] { events << "abort"; };
        gate.enterRestoreData = [this] { events << "restore"; };
    }
    void choose(QRadioButton* family, int function) {
        family->click();
        sheet.RGConfirm->button(0)->click();
        sheet.RdoFunction->button(function)->click();
    }

    QWidget page;
    FunctionSheet sheet{&page};
    FunctionGate gate{sheet};
    QStringList events;
    bool portOpens = true;
    bool foldersFound = true;
};
} // namespace

void TestFunctionPlan::familyClickHandsOverTheTexts() {
    GateRig rig;
    QVERIFY(!rig.sheet.RGConfirm->isEnabled());
    rig.sheet.CmbDaxType->setCurrentIndex(2);
    rig.sheet.rbDAX->click();
    rig.sheet.rbQEL->click();
    QCOMPARE(rig.events, (QStringList{"texts Set DAX41", "texts Set QEL740"}));
    QVERIFY(rig.sheet.RGConfirm->isEnabled());
}

void TestFunctionPlan::functionIsEnteredBetweenApplyAndComplete_data() {
    QTest::addColumn<int>("function");
    QTest::addColumn<bool>("portOpens");
    QTest::addColumn<bool>("resetDuringWait");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("Install") << 0 << true << false
                             << QStringList{"texts Set QEL740", "apply QEL/Install",
                                            "complete QEL   Install  OS9"};
    QTest::newRow("Version Up: abort after the wait")
        << 1 << true << false
        << QStringList{"texts Set QEL740", "apply QEL/VersionUp", "open", "abort",
                       "complete QEL   Version Up  OS9"};
    QTest::newRow("Version Up, port refused: no abort")
        << 1 << false << false
        << QStringList{"texts Set QEL740", "apply QEL/VersionUp", "open", "complete QEL   Version Up  OS9"};
    QTest::newRow("Version Up left during the wait: never completed")
        << 1 << true << true
        << QStringList{"texts Set QEL740", "apply QEL/VersionUp", "open", "apply /Entry"};
    QTest::newRow("Restore Data") << 2 << true << false
                                  << QStringList{"texts Set QEL740", "apply QEL/", "restore",
                                                 "complete QEL   Restore Data"};
}

void TestFunctionPlan::functionIsEnteredBetweenApplyAndComplete() {
    QFETCH(int, function);
    QFETCH(bool, portOpens);
    QFETCH(bool, resetDuringWait);
    QFETCH(QStringList, events);
    test::PrompterScope prompts;
    GateRig rig;
    rig.portOpens = portOpens;
    if (resetDuringWait)
        QTimer::singleShot(200, &rig.page, [&rig] { rig.gate.reset(); });
    QElapsedTimer clock;
    clock.start();
    rig.choose(rig.sheet.rbQEL, function);
    QCOMPARE(rig.events, events);
    QVERIFY(!rig.gate.isEnteringFunction());
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(prompts.prompter.shown.isEmpty());
}

void TestFunctionPlan::foldersNotFoundLeaveNothingChosen() {
    test::PrompterScope prompts;
    GateRig rig;
    rig.foldersFound = false;
    rig.sheet.CmbDaxType->setCurrentIndex(0);
    rig.choose(rig.sheet.rbDAX, 0);
    QCOMPARE(rig.events, (QStringList{"texts Set DAX61", "apply DAX61/Install", "apply /Entry"}));
    QCOMPARE(prompts.prompter.texts("error"), QStringList{"Cannot find the DAX folders."});
    QCOMPARE(rig.sheet.RdoFunction->itemIndex(), -1);
    // The choice stays open: once the folders are found, the same choice goes through.
    QVERIFY(rig.sheet.RdoFunction->isEnabled());
    rig.foldersFound = true;
    rig.events.clear();
    rig.sheet.RdoFunction->button(0)->click();
    QCOMPARE(rig.events, (QStringList{"apply DAX61/Install", "complete DAX61   Install  OS9"}));
}

QTEST_MAIN(TestFunctionPlan)
#include "tst_functionplan.moc"
