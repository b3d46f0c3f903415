#include "app/FormInstall.h"
#include "app/FunctionGate.h"
#include "app/FunctionSheet.h"
#include "app/RadioGroup.h"
#include "app/StatusBarPanels.h"
#include "common/InstrumentFolders.h"
#include "common/ScriptedPrompter.h"
#include "console/widgets/BatchBoxes.h"
#include "console/widgets/BatchPanel.h"
#include "console/widgets/ConsoleSheets.h"
#include "support/FIBSysInfo.h"
#include "support/TQELSpeedButton.h"
#include "support/TQelGroupBox.h"
#include "transfer/LocalFolderPanel.h"
#include "transfer/TransferSheets.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace vantor;

namespace {
// The window's batch controls that receive the family's texts.
struct BatchWidgets {
    explicit BatchWidgets(ConsoleSheets& consoles)
        : startup(*consoles.batchPanel().BtnStartup), abort(*consoles.batchPanel().BtnAbort),
          series(*consoles.batchPanel().BtnQEL740), startupGroup(*consoles.batchBoxes().GrpStartup),
          seriesGroup(*consoles.batchBoxes().GrpQEL740), startupMemo(*consoles.batchBoxes().MemoStartup),
          seriesMemo(*consoles.batchBoxes().MemoQEL740) {}
    QAbstractButton &startup, &abort, &series;
    QGroupBox &startupGroup, &seriesGroup;
    QPlainTextEdit &startupMemo, &seriesMemo;
};

QStringList lines(const QPlainTextEdit& memo) {
    return memo.toPlainText().split('\n');
}
} // namespace

class TestFunctionGate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void qelFamilyTexts();
    void daxModel41B();
    void changingModelAloneChangesNothing();
    void ionBeamOnDisablesFunctionsAndWarns();
    void tabsByFunction_data();
    void tabsByFunction();
    void returningToFunctionSheetResets();
    void restoreDataEndsOnAResetGate();
    void unusableDaxDataFolderLeavesNoSheets();
    void dataFolderStaysWithTheStartFolder();
    void versionUpWaitKeepsTheGate_data();
    void versionUpWaitKeepsTheGate();
    void machineSelectionIsAqua();

private:
    void chooseFamily(QRadioButton* family);
    void confirmBeamOff();
    void chooseFunction(int index);

    test::PrompterScope m_scope;
    std::unique_ptr<test::InstrumentFolders> m_folders;
    std::unique_ptr<TFormInstall> m_form;
    std::unique_ptr<BatchWidgets> m_batch;
};

void TestFunctionGate::init() {
    m_scope.prompter.clear();
    m_folders = std::make_unique<test::InstrumentFolders>();
    m_form = std::make_unique<TFormInstall>();
    m_batch = std::make_unique<BatchWidgets>(*m_form->consoles());
    m_form->show();
}

void TestFunctionGate::cleanup() {
    m_batch.reset();
    m_form.reset();
    m_folders.reset();
}

void TestFunctionGate::chooseFamily(QRadioButton* family) {
    family->click(); // a click on the button itself, wherever its text ends
}

void TestFunctionGate::confirmBeamOff() {
    QVERIFY(m_form->functionSheet()->RGConfirm->isEnabled());
    m_form->functionSheet()->RGConfirm->button(0)->click();
}

void TestFunctionGate::chooseFunction(int index) {
    QVERIFY(m_form->functionSheet()->RdoFunction->isEnabled());
    m_form->functionSheet()->RdoFunction->button(index)->click();
}

void TestFunctionGate::qelFamilyTexts() {
    chooseFamily(m_form->functionSheet()->rbQEL);
    QCOMPARE(m_batch->startup.text(), QStringLiteral("Set QEL Startup"));
    QCOMPARE(m_batch->series.text(), QStringLiteral("Set QEL740"));
    QCOMPARE(m_batch->seriesGroup.title(), QStringLiteral("Set QEL740 Series "));
    QCOMPARE(lines(m_batch->startupMemo).size(), 5);
    QCOMPARE(lines(m_batch->seriesMemo).size(), 19);
    QCOMPARE(lines(m_batch->seriesMemo).last(), QStringLiteral("tmode nopause"));
}

void TestFunctionGate::daxModel41B() {
    m_form->functionSheet()->CmbDaxType->setCurrentIndex(3);
    chooseFamily(m_form->functionSheet()->rbDAX);
    QCOMPARE(m_batch->series.text(), QStringLiteral("Set DAX41B"));
    QCOMPARE(m_batch->startup.text(), QStringLiteral("Set DAX Startup"));
    QCOMPARE(m_batch->abort.text(), QStringLiteral("Abort DAX"));
    QCOMPARE(m_batch->seriesGroup.title(), QStringLiteral("Set DAX41 "));
    const QStringList startup = lines(m_batch->startupMemo);
    QCOMPARE(startup.size(), 8);
    QCOMPARE(startup.at(5), QStringLiteral("chd /h0/QEL_V4/Data/Manager"));
    QCOMPARE(startup.at(6), QStringLiteral("copy TASK_DATA_DAX41B TASK_DATA -vr"));
    QCOMPARE(startup.at(7), QStringLiteral("chd /h0"));
    QCOMPARE(
        lines(m_batch->seriesMemo),
        QStringList({"chd /h0/QEL_V4/CMDS", "copy DSP_SCAN.EXE_DAX DSP_SCAN.EXE -vr", "dir DSP_SCAN* -e"}));
    confirmBeamOff();
    chooseFunction(0);
    QCOMPARE(m_form->StsBar->text(StatusBarPanels::MachinePanel), QStringLiteral("DAX41B   Install  OS9"));
    QCOMPARE(m_form->sysInfo()->family(), 2);
    QCOMPARE(m_form->PageDB->currentWidget(), m_form->TabDBOption);
    QVERIFY(!m_form->PageDB->isTabVisible(m_form->PageDB->indexOf(m_form->TabDBAp)));
}

void TestFunctionGate::changingModelAloneChangesNothing() {
    chooseFamily(m_form->functionSheet()->rbDAX);
    QCOMPARE(m_batch->series.text(), QStringLiteral("Set DAX61"));
    const QString startup = m_batch->startupMemo.toPlainText();
    m_form->functionSheet()->CmbDaxType->setCurrentIndex(2);
    QCOMPARE(m_batch->series.text(), QStringLiteral("Set DAX61"));
    QCOMPARE(m_batch->startupMemo.toPlainText(), startup);
    chooseFamily(m_form->functionSheet()->rbDAX);
    QCOMPARE(m_batch->series.text(), QStringLiteral("Set DAX41"));
}

void TestFunctionGate::ionBeamOnDisablesFunctionsAndWarns() {
    QVERIFY(!m_form->functionSheet()->RGConfirm->isEnabled());
    chooseFamily(m_form->functionSheet()->rbQEL);
    confirmBeamOff();
    QVERIFY(m_form->functionSheet()->RdoFunction->isEnabled());
    m_form->functionSheet()->RGConfirm->button(1)->click();
    QVERIFY(!m_form->functionSheet()->RdoFunction->isEnabled());
    QCOMPARE(m_scope.prompter.texts("warning"), QStringList{"Turn off ion beam, then try again."});
}

void TestFunctionGate::tabsByFunction_data() {
    QTest::addColumn<int>("function");
    QTest::addColumn<QStringList>("tabs");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("machine");
    QTest::newRow("Install OS9") << 0 << QStringList{"Function", "Install", "Telnet", "Serial"}
                                 << "ShtInstall"
                                 << "QEL   Install  OS9";
    QTest::newRow("Others") << 3 << QStringList{"Function", "Backup", "File Transfer",    "File Viewer",
                                                "Telnet",   "Serial", "DataBase Mainte.", "Setup"}
                            << "ShtGet"
                            << "QEL   Others";
}

void TestFunctionGate::tabsByFunction() {
    QFETCH(int, function);
    QFETCH(QStringList, tabs);
    QFETCH(QString, shown);
    QFETCH(QString, machine);
    chooseFamily(m_form->functionSheet()->rbQEL);
    confirmBeamOff();
    chooseFunction(function);
    QCOMPARE(m_form->visibleTabCaptions(), tabs);
    QCOMPARE(m_form->PageFTPCtrl->currentWidget()->objectName(), shown);
    QCOMPARE(m_form->StsBar->text(StatusBarPanels::MachinePanel), machine);
}

void TestFunctionGate::returningToFunctionSheetResets() {
    chooseFamily(m_form->functionSheet()->rbQEL);
    confirmBeamOff();
    chooseFunction(3);
    m_form->PageFTPCtrl->setCurrentWidget(m_form->ShtEntry); // as a click on the tab does
    QVERIFY(m_form->visibleTabCaptions().isEmpty());
    QCOMPARE(m_form->PageFTPCtrl->currentWidget(), m_form->ShtEntry);
    QCOMPARE(m_form->StsBar->text(StatusBarPanels::MachinePanel), QString());
    QCOMPARE(m_form->functionSheet()->RdoFunction->itemIndex(), -1);
    QVERIFY(!m_form->functionSheet()->RdoFunction->isEnabled());
    QCOMPARE(m_form->functionSheet()->RGConfirm->itemIndex(), -1);
    QVERIFY(!m_form->functionSheet()->RGConfirm->isEnabled());
    QVERIFY(!m_form->functionSheet()->rbQEL->isChecked());
    QVERIFY(!m_form->functionSheet()->rbDAX->isChecked());
    // The family's batch texts stay as last chosen.
    QCOMPARE(m_batch->startup.text(), QStringLiteral("Set QEL Startup"));
}

void TestFunctionGate::restoreDataEndsOnAResetGate() {
    // The dialog's own road is tested with it; here the gate alone: the function runs, then
    // the Function sheet still showing resets the gate for the engineer's return.
    int entered = 0;
    m_form->functionGate()->enterRestoreData = [&] { ++entered; };
    chooseFamily(m_form->functionSheet()->rbQEL);
    confirmBeamOff();
    chooseFunction(2);
    QCOMPARE(entered, 1);
    QVERIFY(m_scope.prompter.shown.isEmpty());
    QCOMPARE(m_form->PageFTPCtrl->currentWidget(), m_form->ShtEntry);
    QVERIFY(m_form->visibleTabCaptions().isEmpty());
    QCOMPARE(m_form->functionSheet()->RdoFunction->itemIndex(), -1);
    QVERIFY(!m_form->functionSheet()->RGConfirm->isEnabled());
    QCOMPARE(m_form->StsBar->text(StatusBarPanels::MachinePanel), QString());
}

void TestFunctionGate::unusableDaxDataFolderLeavesNoSheets() {
    const QString missing = m_folders->root() + QStringLiteral("/Missing/Data");
    qputenv("DaxDataPath", missing.toLocal8Bit());
    chooseFamily(m_form->functionSheet()->rbDAX);
    confirmBeamOff();
    chooseFunction(0);
    qunsetenv("DaxDataPath");
    const QStringList errors = m_scope.prompter.texts("error");
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(missing), qPrintable(errors.first()));
    QVERIFY(m_form->visibleTabCaptions().isEmpty());
    QCOMPARE(m_form->PageFTPCtrl->currentWidget(), m_form->ShtEntry);
    QCOMPARE(m_form->StsBar->text(StatusBarPanels::MachinePanel), QString());
    QCOMPARE(m_form->functionSheet()->RdoFunction->itemIndex(), -1);
    QVERIFY(!m_form->sysInfo());
    // Once the folder can be found, the same choice goes through.
    QVERIFY(m_form->functionSheet()->RdoFunction->isEnabled());
    chooseFunction(0);
    QVERIFY(m_form->sysInfo());
    QCOMPARE(m_form->visibleTabCaptions(), (QStringList{"Function", "Install", "Telnet", "Serial"}));
}

// The local panel moving to another folder changes neither the process's folder nor the
// instrument's data folder found at the next choice.
void TestFunctionGate::dataFolderStaysWithTheStartFolder() {
    const QString started = QDir::currentPath();
    const QString elsewhere = m_folders->root() + QStringLiteral("/Install/System");
    QVERIFY(QDir().mkpath(elsewhere));
    chooseFamily(m_form->functionSheet()->rbQEL);
    confirmBeamOff();
    chooseFunction(3);
    QVERIFY(m_form->transferSheets()->localPanel()->setFolder(elsewhere));
    QCOMPARE(QDir::currentPath(), started);
    m_form->PageFTPCtrl->setCurrentWidget(m_form->ShtEntry);
    chooseFamily(m_form->functionSheet()->rbQEL);
    confirmBeamOff();
    chooseFunction(0);
    QVERIFY(m_form->sysInfo());
    QCOMPARE(m_form->sysInfo()->dataFolder(),
             QDir::toNativeSeparators(QDir(m_folders->root() + QStringLiteral("/Data")).canonicalPath()));
}

void TestFunctionGate::versionUpWaitKeepsTheGate_data() {
    QTest::addColumn<QString>("during"); // what happens during the one-second wait
    QTest::addColumn<QStringList>("tabs");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("machine");
    QTest::addColumn<bool>("sysInfo");
    QTest::addColumn<int>("aborts");
    const QStringList versionUpTabs{"Function", "Version Up", "Telnet", "Serial"};
    QTest::newRow("Function tab clicked: turned back") << "tab" << versionUpTabs << "ShtVerUp"
                                                       << "QEL   Version Up  OS9" << true << 1;
    QTest::newRow("gate reset: sequence abandoned") << "reset" << QStringList{} << "ShtEntry"
                                                    << "" << true << 0;
    QTest::newRow("another function: it wins")
        << "choice" << QStringList{"Function", "Backup", "File Transfer",    "File Viewer",
                                   "Telnet",   "Serial", "DataBase Mainte.", "Setup"}
        << "ShtGet"
        << "QEL   Others" << true << 0;
}

void TestFunctionGate::versionUpWaitKeepsTheGate() {
    QFETCH(QString, during);
    QFETCH(QStringList, tabs);
    QFETCH(QString, shown);
    QFETCH(QString, machine);
    QFETCH(bool, sysInfo);
    QFETCH(int, aborts);
    FunctionGate& gate = *m_form->functionGate();
    int sent = 0;
    gate.openSerialPort = [] { return true; };
    gate.runAbortBatch = [&] { ++sent; };
    chooseFamily(m_form->functionSheet()->rbQEL);
    confirmBeamOff();
    bool happened = false;
    QTimer::singleShot(300, this, [&] {
        QVERIFY(gate.isEnteringFunction());
        if (during == QLatin1String("tab"))
            m_form->PageFTPCtrl->setCurrentWidget(m_form->ShtEntry); // as a click on the tab does
        else if (during == QLatin1String("reset"))
            gate.reset();
        else
            m_form->functionSheet()->RdoFunction->button(3)->click();
        happened = true;
    });
    chooseFunction(1);
    QVERIFY(happened);
    QVERIFY(!gate.isEnteringFunction());
    QCOMPARE(sent, aborts);
    QCOMPARE(m_form->visibleTabCaptions(), tabs);
    QCOMPARE(m_form->PageFTPCtrl->currentWidget()->objectName(), shown);
    QCOMPARE(m_form->StsBar->text(StatusBarPanels::MachinePanel), machine);
    QCOMPARE(m_form->sysInfo() != nullptr, sysInfo);
}

namespace {
// The colour the button shows beside its caption, as drawn.
QColor shownBackground(QRadioButton* button) {
    const QImage image = button->grab().toImage();
    return image.pixelColor(image.width() - 3, image.height() / 2);
}
} // namespace

void TestFunctionGate::machineSelectionIsAqua() {
    const QColor aqua(0, 255, 255);
    FunctionSheet& sheet = *m_form->functionSheet();
    QVERIFY(shownBackground(sheet.rbQEL) != aqua);
    chooseFamily(sheet.rbDAX);
    QCOMPARE(shownBackground(sheet.rbDAX), aqua);
    QVERIFY(shownBackground(sheet.rbQEL) != aqua);
    chooseFamily(sheet.rbQEL);
    QCOMPARE(shownBackground(sheet.rbQEL), aqua);
    QVERIFY(shownBackground(sheet.rbDAX) != aqua);
    m_form->showSheet(m_form->ShtInstall);
    m_form->PageFTPCtrl->setCurrentWidget(m_form->ShtEntry); // the reset unchecks both
    QVERIFY(shownBackground(sheet.rbQEL) != aqua);
}

QTEST_MAIN(TestFunctionGate)
#include "tst_functiongate.moc"
