#include "ConsoleSheetsFixture.h"

#include "common/ScriptedPrompter.h"
#include "common/TestSupport.h"
#include "console/widgets/BatchBoxes.h"
#include "console/widgets/BatchPanel.h"
#include "console/widgets/CommandList.h"
#include "console/widgets/ConsoleSheets.h"
#include "console/widgets/TelnetConsole.h"
#include "console/widgets/TerminalView.h"
#include "support/TQelBtn.h"
#include "support/TQelGroupBox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>

using namespace vantor;
using namespace vantor::test;

class TestTelnetSheet : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void loginAnswersBothPrompts();
    void bothPromptsInOneChunk();
    void loginCorrectedAfterLoginPressedCounts();
    void promptSplitOverTwoReadsIsNotAnswered();
    void erasedCharacterEcho();
    void shiftJisSplitAcrossReadsShowsWhole();
    void panelsEnabledOnlyWhileConnectedOnTelnetSheet();
    void batchLinesEndWithCrOnly();
    void fixedCommands();
    void commandListEmptyRowsAndNumbers();
    void commandListArrowKeysSendNothing();
    void terminalAndCommandListUseTheHeight();
    void keysAreSentOneByOne();
    void keysCountAsPressedInTheView();
    void rightClickPastesClipboard();
    void refusedConnectionShowsErrorAndKeepsButtonDown();
    void logSavedWithCrLf();
    void cancelKeepsExistingLog();

private:
    void login();
    void waitForView(const QString& lastLine);
    void clickCell(int row, int column);

    PrompterScope m_prompts;
    std::unique_ptr<InstrumentFolders> m_folders;
    std::unique_ptr<FakeController> m_controller;
    std::unique_ptr<TFormInstall> m_form;
    ConsoleSheets* m_consoles = nullptr;
};

void TestTelnetSheet::init() {
    m_prompts.prompter.clear();
    m_folders = std::make_unique<InstrumentFolders>();
    m_controller = std::make_unique<FakeController>();
    m_form = std::make_unique<TFormInstall>();
    m_form->show();
    m_consoles = m_form->consoles();
    m_form->EditlIPAdrs1->setText(QStringLiteral("127.0.0.1"));
    m_consoles->telnet().setPort(m_controller->port());
    chooseFunction(*m_form, 0); // Install OS9: Telnet and Serial get tabs
    chooseSheet(*m_form, m_form->ShtTelnet);
}

void TestTelnetSheet::cleanup() {
    m_form.reset();
    m_controller.reset();
    m_folders.reset();
}

void TestTelnetSheet::login() {
    m_consoles->telnet().BtnLogin->click();
    QVERIFY(m_consoles->telnet().BtnLogin->isChecked());
    QVERIFY(m_controller->waitForClient());
    QTRY_VERIFY_WITH_TIMEOUT(m_consoles->telnet().hasConnection(), 5000);
}

void TestTelnetSheet::waitForView(const QString& lastLine) {
    TerminalView* view = m_consoles->telnet().MemoTelnet;
    QTRY_COMPARE_WITH_TIMEOUT(view->lastLine(), lastLine, 5000);
}

void TestTelnetSheet::clickCell(int row, int column) {
    QTableWidget* grid = m_consoles->commandList().GridCmdList;
    grid->scrollToItem(grid->item(row, column));
    const QRect cell = grid->visualItemRect(grid->item(row, column));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

void TestTelnetSheet::loginAnswersBothPrompts() {
    login();
    QCOMPARE(m_consoles->telnet().MemoTelnet->lines().first(), QStringLiteral("Connected"));
    QVERIFY(!m_consoles->telnet().TelnetLoggedIn());
    m_controller->say("OS-9 controller\r\nUser name?: ");
    QVERIFY(m_controller->waitForHeard("super\r\n"));
    QVERIFY(!m_consoles->telnet().TelnetLoggedIn());
    m_controller->say("Password: ");
    QVERIFY(m_controller->waitForHeard("kolm\r\n"));
    QCOMPARE(m_controller->heard(), QByteArray("super\r\nkolm\r\n"));
    QVERIFY(m_consoles->telnet().TelnetLoggedIn());
    QCOMPARE(m_consoles->telnet().MemoTelnet->lines().at(1), QStringLiteral("OS-9 controller"));

    m_controller->hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(
        m_consoles->telnet().MemoTelnet->lines().contains(QStringLiteral("Disconnected")), 5000);
    QVERIFY(!m_consoles->telnet().TelnetLoggedIn());
    QVERIFY(m_consoles->telnet().BtnLogin->isChecked()); // only the engineer releases it
}

void TestTelnetSheet::bothPromptsInOneChunk() {
    m_form->EditUser1->setText(QStringLiteral("service"));
    m_form->EditPass1->setText(QStringLiteral("secret"));
    login();
    m_controller->say("User name?: Password: ");
    QVERIFY(m_controller->waitForHeard("secret\r\n"));
    QCOMPARE(m_controller->heard(), QByteArray("service\r\nsecret\r\n"));
    QVERIFY(m_consoles->telnet().TelnetLoggedIn());
}

// The answers are the settings as they are when each prompt arrives.
void TestTelnetSheet::loginCorrectedAfterLoginPressedCounts() {
    m_form->EditUser1->setText(QStringLiteral("wrong"));
    login();
    m_form->EditUser1->setText(QStringLiteral("service"));
    m_controller->say("User name?: ");
    QVERIFY(m_controller->waitForHeard("service\r\n"));
    m_form->EditPass1->setText(QStringLiteral("secret"));
    m_controller->say("Password: ");
    QVERIFY(m_controller->waitForHeard("secret\r\n"));
    QCOMPARE(m_controller->heard(), QByteArray("service\r\nsecret\r\n"));
}

void TestTelnetSheet::promptSplitOverTwoReadsIsNotAnswered() {
    login();
    m_controller->say("User na");
    waitForView(QStringLiteral("User na"));
    m_controller->say("me?: ");
    waitForView(QStringLiteral("User name?: "));
    m_controller->say("Password: ");
    QVERIFY(m_controller->waitForHeard("kolm\r\n"));
    QCOMPARE(m_controller->heard(), QByteArray("kolm\r\n"));
}

void TestTelnetSheet::erasedCharacterEcho() {
    login();
    m_controller->say("$ abc");
    waitForView(QStringLiteral("$ abc"));
    m_controller->say("\b \b");
    waitForView(QStringLiteral("$ ab"));
    m_controller->say("\b \bx");
    waitForView(QStringLiteral("$ ax"));
    m_controller->say("y\b \bz");
    waitForView(QStringLiteral("$ axy\b \bz"));
}

void TestTelnetSheet::shiftJisSplitAcrossReadsShowsWhole() {
    login();
    const QByteArray text("\x83\x65\x83\x58\x83\x67"); // "テスト" in Shift-JIS
    m_controller->say(text.left(3));
    waitForView(QStringLiteral("テ"));
    m_controller->say(text.mid(3));
    waitForView(QStringLiteral("テスト"));
}

void TestTelnetSheet::panelsEnabledOnlyWhileConnectedOnTelnetSheet() {
    QWidget* batch = m_consoles->batchPanel().PnlBaseBatch;
    QWidget* commands = m_consoles->commandList().PnlBaseCmdList;
    QVERIFY(m_form->ShtTelnet->isAncestorOf(batch));
    QVERIFY(!batch->isEnabled());
    QVERIFY(!commands->isEnabled());

    login();
    QVERIFY(batch->isEnabled());
    QVERIFY(commands->isEnabled());

    chooseSheet(*m_form, m_form->ShtRs232c); // the panels go along, the port is closed
    QVERIFY(m_form->ShtRs232c->isAncestorOf(batch));
    QVERIFY(m_form->ShtRs232c->isAncestorOf(commands));
    QVERIFY(!batch->isEnabled());
    QVERIFY(!commands->isEnabled());

    chooseSheet(*m_form, m_form->ShtTelnet);
    QVERIFY(m_form->ShtTelnet->isAncestorOf(batch));
    QVERIFY(batch->isEnabled());

    chooseSheet(*m_form, m_form->ShtInstall);
    QVERIFY(!batch->isEnabled());
    chooseSheet(*m_form, m_form->ShtTelnet);

    m_controller->hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!batch->isEnabled(), 5000);
    QVERIFY(!commands->isEnabled());
}

void TestTelnetSheet::batchLinesEndWithCrOnly() {
    login();
    BatchBoxes::setBoxLines(m_consoles->batchBoxes().MemoBatch5, {"chd /h0", "", "dir -e"});
    m_consoles->batchPanel().BtnOpt1->click();
    QVERIFY(m_controller->waitForHeard("dir -e\r"));
    QCOMPARE(m_controller->heard(), QByteArray("chd /h0\r\rdir -e\r"));

    // An empty box sends nothing; the next batch follows at once.
    m_controller->forget();
    m_consoles->batchPanel().BtnOpt2->click();
    m_consoles->batchPanel().BtnReset->click();
    QVERIFY(m_controller->waitForHeard("cpureset\r"));
    QCOMPARE(m_controller->heard(), QByteArray("chx /h0/QEL_V4/CMDS\rcpureset\r"));
}

void TestTelnetSheet::fixedCommands() {
    login();
    m_consoles->batchPanel().setClock([] { return QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)); });
    m_consoles->batchPanel().BtnAbort->click();
    m_consoles->batchPanel().BtnStartQel2->click();
    m_consoles->batchPanel().BtnAdjTime->click();
    QVERIFY(m_controller->waitForHeard("09\r"));
    QCOMPARE(m_controller->heard(), QByteArray("\x03"
                                               "chd /h0; startqel2\rsetime 24/03/05 07:08:09\r"));
}

void TestTelnetSheet::commandListEmptyRowsAndNumbers() {
    QTableWidget* grid = m_consoles->commandList().GridCmdList;
    QCOMPARE(grid->rowCount(), 100);
    QCOMPARE(grid->columnCount(), 2);
    QCOMPARE(grid->columnWidth(0), 40);
    QCOMPARE(grid->columnWidth(1), 476);
    QCOMPARE(grid->item(99, 0)->text(), QStringLiteral("100"));
    QCOMPARE(grid->item(14, 1)->text(), QStringLiteral("dsave /h0/QEL/HARD/CUSTOMDATA -evdmb100"));
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);

    login();
    clickCell(9, 1);  // row 10: empty
    clickCell(10, 1); // row 11: empty
    clickCell(2, 0);  // the number "3"
    clickCell(2, 0);  // again: the cell that is already chosen sends again
    clickCell(0, 1);
    QVERIFY(m_controller->waitForHeard("dir\r"));
    QCOMPARE(m_controller->heard(), QByteArray("3\r3\rdir\r"));

    // With LOGIN released nothing goes out, even if the panel were reachable.
    m_controller->forget();
    m_consoles->commandList().GridCmdListSelectCell(1, 1);
    QVERIFY(m_controller->waitForHeard("procs -e\r"));
    m_consoles->telnet().BtnLogin->click();
    QVERIFY(!m_consoles->telnet().BtnLogin->isChecked());
    m_controller->forget();
    m_consoles->commandList().GridCmdListSelectCell(1, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!m_consoles->telnet().hasConnection(), 5000);
    QCOMPARE(m_controller->heard(), QByteArray());
}

// Walking past the "dsave" rows with the arrow keys sends none of them; Enter or Space
// sends the row the engineer stopped on.
void TestTelnetSheet::commandListArrowKeysSendNothing() {
    login();
    CommandGrid* grid = m_consoles->commandList().GridCmdList;
    grid->setCurrentCellQuietly(10, 1);
    grid->setFocus();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(grid->currentRow(), 14);
    QTest::qWait(200);
    QCOMPARE(m_controller->heard(), QByteArray());
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_Space);
    QVERIFY(m_controller->waitForHeard("chd /h0/QEL_V4/CUSTOMDATA/HARD\r"));
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_Return);
    QVERIFY(m_controller->waitForHeard("-evdmb100\r"));
    QCOMPARE(m_controller->heard(),
             QByteArray("chd /h0/QEL_V4/CUSTOMDATA/HARD\rdsave /h0/QEL_V4/CUSTOMDATA/HARD -evdmb100\r"));
}

namespace {
int terminalLines(const TerminalView* view) {
    return view->viewport()->height() / QFontMetrics(view->font()).lineSpacing();
}
int wholeRowsShown(const QTableWidget* grid) {
    int rows = 0;
    while (rows < grid->rowCount() && grid->rowViewportPosition(rows) >= 0 &&
           grid->rowViewportPosition(rows) + grid->rowHeight(rows) <= grid->viewport()->height())
        ++rows;
    return rows;
}
} // namespace

// At the window's default size a full terminal screen and every listed command show, and
// both grow with the window.
void TestTelnetSheet::terminalAndCommandListUseTheHeight() {
    QCOMPARE(m_form->size(), QSize(1100, 780));
    TerminalView* view = m_consoles->telnet().MemoTelnet;
    QTableWidget* grid = m_consoles->commandList().GridCmdList;
    QTRY_VERIFY2_WITH_TIMEOUT(terminalLines(view) >= 24,
                              qPrintable(QStringLiteral("%1 lines in %2 px, sheet %3 px")
                                             .arg(terminalLines(view))
                                             .arg(view->viewport()->height())
                                             .arg(m_form->ShtTelnet->height())),
                              2000);
    QVERIFY2(wholeRowsShown(grid) >= 15, qPrintable(QString::number(wholeRowsShown(grid))));
    const int lines = terminalLines(view);
    const int gridHeight = grid->height();
    m_form->resize(1100, 980);
    QTRY_VERIFY_WITH_TIMEOUT(terminalLines(view) > lines, 2000);
    QVERIFY(grid->height() > gridHeight);
    // The FTP log gave its room to the terminal; it is back on the sheets that use FTP.
    QVERIFY(!m_form->MemoFtp->isVisible());
    chooseSheet(*m_form, m_form->ShtInstall);
    QVERIFY(m_form->MemoFtp->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(m_form->MemoFtp->height() >= 100, 2000);
}

void TestTelnetSheet::keysAreSentOneByOne() {
    login();
    TerminalView* view = m_consoles->telnet().MemoTelnet;
    QTest::keyClick(view, Qt::Key_D);
    QTest::keyClick(view, Qt::Key_I, Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_Return);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Shift);
    QTest::keyClick(view, Qt::Key_Backspace);
    QVERIFY(m_controller->waitForHeard("\b"));
    QCOMPARE(m_controller->heard(), QByteArray("dI\r\x03\b"));
    QCOMPARE(view->lines(), QStringList({"Connected", ""})); // no local echo: the controller echoes
}

void TestTelnetSheet::keysCountAsPressedInTheView() {
    login();
    TerminalView* view = m_consoles->telnet().MemoTelnet;
    view->setFocus();
    // As a quick hand types "!" and Ctrl+C: the modifier comes up first, then the key.
    const auto send = [view](QEvent::Type type, int key, Qt::KeyboardModifiers modifiers, const QString& text,
                             quint32 scanCode) {
        QKeyEvent event(type, key, modifiers, scanCode, 0, 0, text);
        QCoreApplication::sendEvent(view, &event);
    };
    send(QEvent::KeyPress, Qt::Key_Exclam, Qt::ShiftModifier, QStringLiteral("!"), 10);
    send(QEvent::KeyRelease, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"), 10);
    send(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03"), 54);
    send(QEvent::KeyRelease, Qt::Key_C, Qt::NoModifier, QStringLiteral("c"), 54);
    // The Enter that confirmed a dialog comes up in the view: its press went elsewhere.
    send(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), 36);
    send(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier, QStringLiteral("e"), 26);
    send(QEvent::KeyRelease, Qt::Key_E, Qt::NoModifier, QStringLiteral("e"), 26);
    QVERIFY(m_controller->waitForHeard("e"));
    QCOMPARE(m_controller->heard(), QByteArray("!\x03"
                                               "e"));
}

void TestTelnetSheet::rightClickPastesClipboard() {
    login();
    QGuiApplication::clipboard()->setText(QStringLiteral("dir\nfree /h0"));
    TerminalView* view = m_consoles->telnet().MemoTelnet;
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(20, 20));
    QVERIFY(m_controller->waitForHeard("free /h0"));
    QCOMPARE(m_controller->heard(), QByteArray("dir\r\nfree /h0"));
    QMenu* menu = view->findChild<QMenu*>(QStringLiteral("PopupMenuTelnetSerial"));
    QVERIFY(menu);
    QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 2000);
    menu->hide();
}

void TestTelnetSheet::refusedConnectionShowsErrorAndKeepsButtonDown() {
    const quint16 port = closedPort();
    QVERIFY(port != 0);
    m_consoles->telnet().setPort(port);
    m_consoles->telnet().BtnLogin->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_consoles->telnet().MemoTelnet->lineCount() > 0, 5000);
    QCOMPARE(m_consoles->telnet().MemoTelnet->lines().first(), QStringLiteral("Error : 10061"));
    QTRY_COMPARE_WITH_TIMEOUT(m_prompts.prompter.texts("error"),
                              QStringList{"Asynchronous socket error 10061"}, 5000);
    QVERIFY(m_consoles->telnet().BtnLogin->isChecked());
    QVERIFY(!m_consoles->batchPanel().PnlBaseBatch->isEnabled());
}

void TestTelnetSheet::logSavedWithCrLf() {
    login();
    m_controller->say("line one\r\nline two\r\n$ ");
    waitForView(QStringLiteral("$ "));
    const QString path = m_folders->root() + QStringLiteral("/telnet.txt");
    m_prompts.prompter.paths.enqueue(path);
    QAction* save = m_consoles->telnet().MemoTelnet->findChild<QAction*>(QStringLiteral("Save1"));
    QVERIFY(save);
    QCOMPARE(save->text(), QStringLiteral("Save..."));
    save->trigger();
    QCOMPARE(readFile(path), QByteArray("Connected\r\nline one\r\nline two\r\n$ \r\n"));
    QCOMPARE(m_prompts.prompter.texts("okcancel"), QStringList());

    // Saving again over it: OK replaces it.
    m_controller->say("more");
    waitForView(QStringLiteral("$ more"));
    m_prompts.prompter.paths.enqueue(path);
    m_prompts.prompter.answers.enqueue(true);
    save->trigger();
    QCOMPARE(m_prompts.prompter.texts("okcancel"),
             QStringList{QStringLiteral("The file '%1' is exists. Overwrite the file?")
                             .arg(QDir::toNativeSeparators(path))});
    QVERIFY(readFile(path).endsWith("$ more\r\n"));
}

void TestTelnetSheet::cancelKeepsExistingLog() {
    const QString path = m_folders->root() + QStringLiteral("/kept.txt");
    writeFile(path, "engineer's notes\r\n");
    m_consoles->telnet().MemoTelnet->appendLine(u"something else");
    m_prompts.prompter.paths.enqueue(path);
    m_prompts.prompter.answers.enqueue(false);
    m_consoles->telnet().MemoTelnet->findChild<QAction*>(QStringLiteral("Save1"))->trigger();
    QCOMPARE(m_prompts.prompter.texts("okcancel").size(), 1);
    QCOMPARE(readFile(path), QByteArray("engineer's notes\r\n"));

    // A cancelled file choice writes nothing at all.
    m_prompts.prompter.clear();
    m_consoles->telnet().MemoTelnet->findChild<QAction*>(QStringLiteral("Save1"))->trigger();
    QCOMPARE(m_prompts.prompter.texts("save").size(), 1);
    QCOMPARE(m_prompts.prompter.texts("okcancel").size(), 0);
    QCOMPARE(readFile(path), QByteArray("engineer's notes\r\n"));
}

QTEST_MAIN(TestTelnetSheet)
#include "tst_telnetsheet.moc"
