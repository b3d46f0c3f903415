#include "ConsoleSheetsFixture.h"

#include "app/StatusBarPanels.h"
#include "common/PtyPair.h"
#include "common/ScriptedPrompter.h"
#include "console/widgets/BatchBoxes.h"
#include "console/widgets/BatchPanel.h"
#include "console/widgets/CommandList.h"
#include "console/widgets/ConsoleSheets.h"
#include "console/widgets/SerialConsole.h"
#include "console/widgets/TerminalView.h"
#include "serial/TSerialCom.h"
#include "support/TQelBtn.h"
#include "support/TQelGroupBox.h"
#include "support/Wait.h"

#include <QComboBox>
#include <QTableWidget>

using namespace std::chrono_literals;
using namespace vantor;
using namespace vantor::test;

class TestSerialSheet : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void startsClosedOnFirstPort();
    void openingTakesThePortAndEnablesPanels();
    void receivedLinesFollowLineEndRules_data();
    void receivedLinesFollowLineEndRules();
    void longArrivalIsDrainedInBoundedPieces();
    void batchesCommandsAndKeysGoToThePort();
    void closingReleasesThePanels();
    void vanishedDeviceReleasesButtonAndPanels();
    void missingPortNamesItAndReleasesButton();
    void secondPortUsesItsOwnDevice();
    void versionUpSendsOneCtrlC();
    void versionUpWithMissingPortSendsNothing();

private:
    void openOnSerialSheet();

    PrompterScope m_prompts;
    std::unique_ptr<InstrumentFolders> m_folders;
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<ComMapping> m_com1;
    std::unique_ptr<TFormInstall> m_form;
    SerialConsole* m_serial = nullptr;
};

void TestSerialSheet::init() {
    m_prompts.prompter.clear();
    m_folders = std::make_unique<InstrumentFolders>();
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(m_pty->isOpen());
    m_com1 = std::make_unique<ComMapping>(1, m_pty->slavePath());
    m_form = std::make_unique<TFormInstall>();
    m_form->show();
    m_serial = &m_form->consoles()->serial();
}

void TestSerialSheet::cleanup() {
    m_form.reset();
    m_com1.reset();
    m_pty.reset();
    m_folders.reset();
}

void TestSerialSheet::openOnSerialSheet() {
    chooseFunction(*m_form, 0);
    chooseSheet(*m_form, m_form->ShtRs232c);
    m_serial->BtnSerialOpen->click();
    QVERIFY(m_serial->isOpen());
}

void TestSerialSheet::startsClosedOnFirstPort() {
    QCOMPARE(m_serial->CmbSerial->count(), 2);
    QCOMPARE(m_serial->CmbSerial->itemText(0), QStringLiteral("COM1"));
    QCOMPARE(m_serial->CmbSerial->itemText(1), QStringLiteral("COM2"));
    QCOMPARE(m_serial->CmbSerial->currentIndex(), 0);
    QCOMPARE(m_serial->BtnSerialOpen->text(), QStringLiteral("OPEN"));
    QVERIFY(!m_serial->BtnSerialOpen->isChecked());
    QVERIFY(!m_serial->isOpen());
    QCOMPARE(m_serial->SerialCom->Interval(), 10);
    QCOMPARE(m_serial->receiveBufferSize(), 1000);
    QVERIFY(!m_form->consoles()->batchPanel().PnlBaseBatch->isEnabled());
    QVERIFY(!m_form->consoles()->commandList().PnlBaseCmdList->isEnabled());
}

void TestSerialSheet::openingTakesThePortAndEnablesPanels() {
    m_serial->MemoSerial->appendLine(u"from before");
    openOnSerialSheet();
    QVERIFY(m_serial->BtnSerialOpen->isChecked());
    QCOMPARE(m_serial->SerialCom->ComID(), 1);
    QCOMPARE(m_serial->MemoSerial->lineCount(), 0); // a new session starts with an empty view
    QVERIFY(m_form->ShtRs232c->isAncestorOf(m_form->consoles()->batchPanel().PnlBaseBatch));
    QVERIFY(m_form->consoles()->batchPanel().PnlBaseBatch->isEnabled());
    QVERIFY(m_form->consoles()->commandList().PnlBaseCmdList->isEnabled());

    // The port stays open on other sheets; the panels are disabled there.
    chooseSheet(*m_form, m_form->ShtTelnet);
    QVERIFY(m_serial->isOpen());
    QVERIFY(!m_form->consoles()->batchPanel().PnlBaseBatch->isEnabled());
}

void TestSerialSheet::receivedLinesFollowLineEndRules_data() {
    QTest::addColumn<QByteArrayList>("arrivals");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR, then LF and text") << QByteArrayList{"abc\r", "\ndef"} << QStringList{"abc", "def"};
    QTest::newRow("CR LF pairs") << QByteArrayList{"x\r\ny\r\nz"} << QStringList{"x", "y", "z"};
    QTest::newRow("bare CRs") << QByteArrayList{"one\rtwo\r"} << QStringList{"one", "two", ""};
    QTest::newRow("erased echo alone") << QByteArrayList{"$ ab", "\b \b"} << QStringList{"$ a"};
    QTest::newRow("erased echo then text") << QByteArrayList{"$ ab", "\b \bc"} << QStringList{"$ ac"};
    QTest::newRow("Shift-JIS split") << QByteArrayList{"\x83\x65\x83", "\x58\x83\x67"}
                                     << QStringList{"テスト"};
}

void TestSerialSheet::receivedLinesFollowLineEndRules() {
    QFETCH(QByteArrayList, arrivals);
    QFETCH(QStringList, lines);
    openOnSerialSheet();
    TerminalView* view = m_serial->MemoSerial;
    QString shown;
    for (const QByteArray& bytes : arrivals) {
        const QString before = view->lines().join(u'|');
        QVERIFY(m_pty->send(bytes));
        // Each arrival is taken by its own poll before the next is sent.
        QVERIFY(QTest::qWaitFor([&] { return view->lines().join(u'|') != before; }, 5000));
    }
    QCOMPARE(view->lines(), lines);
}

void TestSerialSheet::longArrivalIsDrainedInBoundedPieces() {
    openOnSerialSheet();
    QByteArray text;
    for (int i = 0; i < 300; ++i)
        text += QByteArray::number(i).rightJustified(8, '0') + "\r\n";
    QVERIFY(m_pty->send(text)); // 3000 bytes, more than one buffer's worth
    TerminalView* view = m_serial->MemoSerial;
    QTRY_COMPARE_WITH_TIMEOUT(view->lineCount(), 301, 5000);
    QCOMPARE(view->lines().at(0), QStringLiteral("00000000"));
    QCOMPARE(view->lines().at(299), QStringLiteral("00000299"));
}

void TestSerialSheet::batchesCommandsAndKeysGoToThePort() {
    openOnSerialSheet();
    ConsoleSheets* consoles = m_form->consoles();
    consoles->batchPanel().BtnReset->click();
    QCOMPARE(m_pty->receive(30, 2s), QByteArray("chx /h0/QEL_V4/CMDS\rcpureset\r"));

    QTableWidget* grid = consoles->commandList().GridCmdList;
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(5, 1)).center());
    QCOMPARE(m_pty->receive(9, 2s), QByteArray("free /h0\r"));

    QTest::keyClick(m_serial->MemoSerial, Qt::Key_L);
    QTest::keyClick(m_serial->MemoSerial, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(m_pty->receive(2, 2s), QByteArray("l\x03"));
}

void TestSerialSheet::closingReleasesThePanels() {
    openOnSerialSheet();
    m_serial->BtnSerialOpen->click();
    QVERIFY(!m_serial->BtnSerialOpen->isChecked());
    QVERIFY(!m_serial->isOpen());
    QVERIFY(!m_form->consoles()->batchPanel().PnlBaseBatch->isEnabled());
    // Closed, the port takes nothing: a key typed now goes nowhere.
    QTest::keyClick(m_serial->MemoSerial, Qt::Key_X);
    m_serial->BtnSerialOpen->click();
    QVERIFY(m_serial->isOpen());
    QTest::keyClick(m_serial->MemoSerial, Qt::Key_Y);
    QCOMPARE(m_pty->receive(2, 500ms), QByteArray("y"));
}

void TestSerialSheet::vanishedDeviceReleasesButtonAndPanels() {
    openOnSerialSheet();
    QVERIFY(m_form->consoles()->batchPanel().PnlBaseBatch->isEnabled());
    m_pty->hangUp();
    QVERIFY(pumpUntil([&] { return !m_serial->BtnSerialOpen->isChecked(); }, 3s));
    QVERIFY(!m_serial->isOpen());
    QVERIFY(!m_form->consoles()->batchPanel().PnlBaseBatch->isEnabled());
    const QStringList errors = m_prompts.prompter.texts("error");
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(QLatin1String("COM1")), qPrintable(errors.first()));
}

void TestSerialSheet::missingPortNamesItAndReleasesButton() {
    ComMapping missing(1, m_folders->root() + QStringLiteral("/no-such-tty"));
    chooseFunction(*m_form, 0);
    chooseSheet(*m_form, m_form->ShtRs232c);
    m_serial->MemoSerial->appendLine(u"kept");
    m_serial->BtnSerialOpen->click();
    QVERIFY(!m_serial->isOpen());
    QVERIFY(!m_serial->BtnSerialOpen->isChecked());
    const QStringList errors = m_prompts.prompter.texts("error");
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(QLatin1String("COM1")), qPrintable(errors.first()));
    QVERIFY(!errors.first().contains(QLatin1String("no-such-tty")));
    QCOMPARE(m_serial->MemoSerial->lines().first(), QStringLiteral("kept"));
    QVERIFY(!m_form->consoles()->batchPanel().PnlBaseBatch->isEnabled());
}

void TestSerialSheet::secondPortUsesItsOwnDevice() {
    PtyPair second;
    ComMapping com2(2, second.slavePath());
    chooseFunction(*m_form, 0);
    chooseSheet(*m_form, m_form->ShtRs232c);
    m_serial->CmbSerial->setCurrentIndex(1);
    m_serial->BtnSerialOpen->click();
    QVERIFY(m_serial->isOpen());
    QCOMPARE(m_serial->SerialCom->ComID(), 2);
    m_form->consoles()->batchPanel().BtnStartQel2->click();
    QCOMPARE(second.receive(19, 2s), QByteArray("chd /h0; startqel2\r"));
    QCOMPARE(m_pty->receive(1, 100ms), QByteArray());
}

void TestSerialSheet::versionUpSendsOneCtrlC() {
    // The wait before the abort keeps the window alive: a timer due meanwhile fires.
    bool timerFired = false;
    QTimer::singleShot(100, [&] { timerFired = true; });
    QElapsedTimer clock;
    clock.start();
    chooseFunction(*m_form, 1); // Version Up  OS9
    QVERIFY(clock.elapsed() >= 1000);
    QVERIFY(timerFired);
    QCOMPARE(m_form->PageFTPCtrl->currentWidget(), m_form->ShtVerUp);
    QVERIFY(m_serial->BtnSerialOpen->isChecked());
    QVERIFY(m_serial->isOpen());
    QCOMPARE(m_pty->receive(2, 1s), QByteArray("\x03"));
    QCOMPARE(m_form->StsBar->text(StatusBarPanels::MachinePanel), QStringLiteral("QEL   Version Up  OS9"));
    QVERIFY(!m_form->consoles()->batchPanel().PnlBaseBatch->isEnabled());
}

void TestSerialSheet::versionUpWithMissingPortSendsNothing() {
    m_com1.reset();
    m_com1 = std::make_unique<ComMapping>(1, m_folders->root() + QStringLiteral("/no-such-tty"));
    chooseFunction(*m_form, 1);
    QVERIFY(!m_serial->BtnSerialOpen->isChecked());
    const QStringList errors = m_prompts.prompter.texts("error");
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.first().contains(QLatin1String("COM1")));
    // The choice itself goes through.
    QCOMPARE(m_form->PageFTPCtrl->currentWidget(), m_form->ShtVerUp);
    QCOMPARE(m_form->StsBar->text(StatusBarPanels::MachinePanel), QStringLiteral("QEL   Version Up  OS9"));
    QCOMPARE(m_pty->receive(1, 300ms), QByteArray());
}

QTEST_MAIN(TestSerialSheet)
#include "tst_serialsheet.moc"
