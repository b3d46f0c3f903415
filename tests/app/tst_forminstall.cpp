#include "app/Application.h"
#include "app/FormInstall.h"
#include "app/FunctionSheet.h"
#include "app/RadioGroup.h"
#include "app/StatusBarPanels.h"
#include "backup/FormRestore.h"
#include "common/InstrumentFolders.h"
#include "common/ScriptedPrompter.h"
#include "console/widgets/FormBatchTitle.h"
#include "transfer/TransferPanels.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;

using vantor::test::InstrumentFolders;

class TestFormInstall : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsOnFunctionSheetWithNoTabs();
    void threeWindowsInOrderWithCaptions();
    void everySheetHasItsCaption();
    void setupSheetHoldsInitialSettings();
    void controllerAddressFromMonitorIni_data();
    void controllerAddressFromMonitorIni();
    void startsDespiteAnUnusableFolderVariable_data();
    void startsDespiteAnUnusableFolderVariable();
    void statusBarClockTicksAndShowsVersion();
    void statusBarResizeNeverNegative_data();
    void statusBarResizeNeverNegative();
    void chooseLogFolder();
    void addressLabelFollowsEditAndOpensSetup();

private:
    test::PrompterScope m_prompts;
};

void TestFormInstall::startsOnFunctionSheetWithNoTabs() {
    InstrumentFolders folders;
    TFormInstall form;
    form.show();
    QCOMPARE(form.windowTitle(), QStringLiteral("Installer for OS-9 Remote System"));
    QCOMPARE(form.PageFTPCtrl->currentWidget(), form.ShtEntry);
    QVERIFY(form.visibleTabCaptions().isEmpty());
    QVERIFY(!form.functionSheet()->RdoFunction->isEnabled());
    QVERIFY(!form.functionSheet()->RGConfirm->isEnabled());
    QCOMPARE(form.functionSheet()->RdoFunction->itemIndex(), -1);
    QVERIFY(!form.functionSheet()->rbQEL->isChecked());
    QVERIFY(!form.functionSheet()->rbDAX->isChecked());
    QCOMPARE(form.functionSheet()->CmbDaxType->currentIndex(), 0);
    QCOMPARE(form.pos(), QPoint(0, 0));
}

void TestFormInstall::threeWindowsInOrderWithCaptions() {
    InstrumentFolders folders;
    Application windows;
    QCOMPARE(windows.formInstall().windowTitle(), QStringLiteral("Installer for OS-9 Remote System"));
    QCOMPARE(windows.formBatchTitle().windowTitle(), QStringLiteral("Batch Title"));
    QCOMPARE(windows.formRestore().windowTitle(), QStringLiteral("Restore"));
}

void TestFormInstall::everySheetHasItsCaption() {
    InstrumentFolders folders;
    TFormInstall form;
    const QList<QPair<QWidget*, QString>> sheets = {
        {form.ShtEntry, "Function"}, {form.ShtInstall, "Install"},   {form.ShtVerUp, "Version Up"},
        {form.ShtBackup, "Backup"},  {form.ShtGet, "File Transfer"}, {form.ShtView, "File Viewer"},
        {form.ShtTelnet, "Telnet"},  {form.ShtRs232c, "Serial"},     {form.ShtDBMainte, "DataBase Mainte."},
        {form.ShtSetup, "Setup"}};
    for (const auto& [sheet, caption] : sheets) {
        QCOMPARE(form.PageFTPCtrl->tabText(form.PageFTPCtrl->indexOf(sheet)), caption);
        QCOMPARE(form.findChild<QWidget*>(sheet->objectName()), sheet);
    }
    for (const char* name :
         {"MemoFtp",      "StsBar",     "StatusPanel",   "ProgressPanel", "MachinePanel", "ClockPanel",
          "VersionPanel", "LblIPAdrs2", "BtnFTPOpen",    "BtnFTPClose",   "LblSts2",      "RdoAscii",
          "RdoBinary",    "LblInstDir", "LblInstDir2",   "EdtDstDrv",     "EdtDstPath",   "gbMachine",
          "rbQEL",        "rbDAX",      "CmbDaxType",    "RGConfirm",     "RdoFunction",  "PageDB",
          "TabDBAp",      "TabDBIon",   "TabDBOption",   "GridCmdList",   "MemoBatch5",   "MemoBatch6",
          "MemoBatch7",   "GrpBatch5",  "GrpBatch6",     "GrpBatch7",     "BtnOpt1",      "BtnOpt2",
          "BtnOpt3",      "BtnStartup", "GrpStartup",    "BtnAbort",      "BtnQEL740",    "GrpQEL740",
          "MemoStartup",  "MemoQEL740", "BtnSerialOpen", "CmbSerial"})
        QVERIFY2(form.findChild<QWidget*>(QLatin1String(name)), name);
}

void TestFormInstall::setupSheetHoldsInitialSettings() {
    InstrumentFolders folders;
    TFormInstall form;
    QCOMPARE(form.EditlIPAdrs1->text(), QStringLiteral("128.0.1.1"));
    QCOMPARE(form.EditUser1->text(), QStringLiteral("super"));
    QCOMPARE(form.EditPass1->text(), QStringLiteral("kolm"));
    const QString home = QDir::homePath();
    QCOMPARE(form.EdtInsSystem->text(), QDir::toNativeSeparators(home + "/CorvaneOS9/Install/System"));
    QCOMPARE(form.EdtInsApplication->text(), QDir::toNativeSeparators(home + "/CorvaneOS9/Install/Program"));
    QCOMPARE(form.EdtVerApplication->text(),
             QDir::toNativeSeparators(home + "/CorvaneOS9/VersionUp/Program"));
    QCOMPARE(form.EdtBackApplication->text(), QDir::toNativeSeparators(home + "/CorvaneOS9/Backup"));
    QCOMPARE(form.transferPanels()->EdtDstDrv->text(), QStringLiteral("/h0"));
    QCOMPARE(form.transferPanels()->EdtDstPath->text(), QStringLiteral("QEL_V4"));
    QCOMPARE(form.transferPanels()->LblInstDir->text(), form.EdtInsSystem->text());
    QCOMPARE(form.transferPanels()->LblInstDir2->text(), form.EdtInsApplication->text());
}

void TestFormInstall::controllerAddressFromMonitorIni_data() {
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("missing file keeps the default") << false << QByteArray() << "128.0.1.1"
                                                    << "QelMonitor.INI";
    QTest::newRow("key = address") << true << QByteArray("IP = 10.1.2.3\r\nother line\r\n") << "10.1.2.3"
                                   << "QelMonitor.INI";
    QTest::newRow("blank first lines")
        << true << QByteArray("\r\n   \r\n\r\nIP   =    10.9.8.7\r\n") << "10.9.8.7"
        << "QelMonitor.INI";
    QTest::newRow("two words give an empty address") << true << QByteArray("IP 10.1.2.3\n") << ""
                                                     << "QelMonitor.INI";
    QTest::newRow("name in capitals, copied from Windows")
        << true << QByteArray("IP = 10.4.4.4\r\n") << "10.4.4.4"
        << "QELMONITOR.INI";
}

void TestFormInstall::controllerAddressFromMonitorIni() {
    QFETCH(bool, present);
    QFETCH(QByteArray, content);
    QFETCH(QString, address);
    QFETCH(QString, fileName);
    InstrumentFolders folders;
    if (present)
        QVERIFY(folders.writeDataFile(fileName, content));
    TFormInstall form;
    QCOMPARE(form.EditlIPAdrs1->text(), address);
    QCOMPARE(form.transferPanels()->LblIPAdrs2->text(), address);
}

void TestFormInstall::startsDespiteAnUnusableFolderVariable_data() {
    QTest::addColumn<QByteArray>("variable");
    QTest::newRow("QelDataPath") << QByteArray("QelDataPath");
    QTest::newRow("QelExecPath") << QByteArray("QelExecPath");
}

// The start reports the folder it cannot use and goes on to the Function sheet.
void TestFormInstall::startsDespiteAnUnusableFolderVariable() {
    QFETCH(QByteArray, variable);
    InstrumentFolders folders;
    QVERIFY(folders.writeDataFile("QelMonitor.INI", "IP = 10.1.2.3\r\n"));
    const QString missing = folders.root() + QStringLiteral("/Missing");
    qputenv(variable.constData(), missing.toLocal8Bit());
    Prompter::install(&m_prompts.prompter); // another test's Application took it away
    m_prompts.prompter.clear();
    {
        TFormInstall form;
        form.show();
        qunsetenv(variable.constData());
        const QStringList errors = m_prompts.prompter.texts("error");
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(missing), qPrintable(errors.first()));
        QVERIFY(!form.sysInfo());
        QCOMPARE(form.EditlIPAdrs1->text(), QStringLiteral("128.0.1.1"));
        QCOMPARE(form.PageFTPCtrl->currentWidget(), form.ShtEntry);
        QVERIFY(form.visibleTabCaptions().isEmpty());
        QVERIFY(!form.functionSheet()->RGConfirm->isEnabled());
    }
    qunsetenv(variable.constData());
}

void TestFormInstall::statusBarClockTicksAndShowsVersion() {
    InstrumentFolders folders;
    TFormInstall form;
    QCOMPARE(form.StsBar->text(StatusBarPanels::VersionPanel), QStringLiteral(" V" VANTOR_VERSION));
    const QRegularExpression clock(QStringLiteral("^ \\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}$"));
    const QString first = form.StsBar->text(StatusBarPanels::ClockPanel);
    QVERIFY2(clock.match(first).hasMatch(), qPrintable(first));
    QTRY_VERIFY_WITH_TIMEOUT(form.StsBar->text(StatusBarPanels::ClockPanel) != first, 2500);
    QCOMPARE(form.StsBar->count(), 5);
}

void TestFormInstall::statusBarResizeNeverNegative_data() {
    QTest::addColumn<int>("barWidth");
    QTest::addColumn<int>("expected");
    QTest::newRow("wide") << 1100 << 1100 - 730 - 20;
    QTest::newRow("exactly the fixed panels") << 730 << 0;
    QTest::newRow("narrower than the fixed panels") << 300 << 0;
    QTest::newRow("gaps not covered") << 740 << 0;
}

void TestFormInstall::statusBarResizeNeverNegative() {
    QFETCH(int, barWidth);
    QFETCH(int, expected);
    QCOMPARE(StatusBarPanels::firstPanelWidth(barWidth, {300, 190, 270, 200, 70}), expected);
    StatusBarPanels bar;
    bar.resize(barWidth, bar.height());
    bar.StsBarResize();
    QCOMPARE(bar.panelWidth(0), expected);
    QCOMPARE(bar.panelWidth(1), 190);
    QCOMPARE(bar.panelWidth(4), 70);
}

void TestFormInstall::chooseLogFolder() {
    QTemporaryDir root;
    const QString x = root.filePath("X");
    const QString exec = x + "/Exec";
    QDir().mkpath(exec);
    QCOMPARE(TFormInstall::ChooseLogFolder(exec), QDir::toNativeSeparators(x));
    QDir().mkpath(x + "/Data");
    QCOMPARE(TFormInstall::ChooseLogFolder(exec), QDir::toNativeSeparators(x + "/Data"));
    QDir().mkpath(x + "/Data/Temp");
    QCOMPARE(TFormInstall::ChooseLogFolder(exec), QDir::toNativeSeparators(x + "/Data/Temp"));
    // A program folder without a parent that exists falls back to its own folder.
    QCOMPARE(TFormInstall::ChooseLogFolder(root.filePath("gone/Exec")),
             QDir::toNativeSeparators(root.filePath("gone/Exec")));
}

void TestFormInstall::addressLabelFollowsEditAndOpensSetup() {
    InstrumentFolders folders;
    TFormInstall form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.PageFTPCtrl->setCurrentWidget(form.ShtInstall);
    form.EditlIPAdrs1->clear();
    QTest::keyClicks(form.EditlIPAdrs1, "10.0.0.7");
    QCOMPARE(form.transferPanels()->LblIPAdrs2->text(), QStringLiteral("10.0.0.7"));
    QTest::mouseClick(form.transferPanels()->LblIPAdrs2, Qt::LeftButton);
    QCOMPARE(form.PageFTPCtrl->currentWidget(), form.ShtSetup);
}

QTEST_MAIN(TestFormInstall)
#include "tst_forminstall.moc"
