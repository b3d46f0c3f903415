#include "ConsoleSheetsFixture.h"

#include "app/Application.h"
#include "common/ScriptedPrompter.h"
#include "console/widgets/BatchBoxes.h"
#include "console/widgets/BatchPanel.h"
#include "console/widgets/ConsoleSheets.h"
#include "console/widgets/FormBatchTitle.h"
#include "support/IniFile.h"
#include "support/TQELSpeedButton.h"
#include "support/TQelGroupBox.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

using namespace vantor;
using namespace vantor::test;

class TestBatchFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void boxesStartWithDesignTexts();
    void boxLinesIgnoreOneFinalBreak_data();
    void boxLinesIgnoreOneFinalBreak();
    void savedBatchComesBackAtNextStart();
    void line101IsStoredAsLine100();
    void emptyTitleLeavesDesignCaptionsForNextStart();
    void emptyBoxSavesNothing();
    void shorterResaveLeavesNoOldLines();
    void cancelSavesNothing();
    void deleteRemovesSectionAndRestoresCaptions();
    void deleteWithoutFileOnlyEmptiesTheBox();
    void fileFromAnotherProgramLoadsAtStart();
    void unwritableFileKeepsCaptions();
    void scrollBarsAppearWhenWorkedIn();
    void applicationWiresTheTitleDialog();

private:
    void start();
    void restart() { start(); }
    void saveThroughMenu(int tab, const QString& title);
    BatchBoxes& boxes() { return m_form->consoles()->batchBoxes(); }
    BatchPanel& panel() { return m_form->consoles()->batchPanel(); }
    QString batchFile() const { return m_folders->dataFile(QStringLiteral("OS9Batch.INI")); }

    PrompterScope m_prompts;
    std::unique_ptr<InstrumentFolders> m_folders;
    std::unique_ptr<TFormInstall> m_form;
    std::unique_ptr<TFormBatchTitle> m_dialog;
};

void TestBatchFile::init() {
    m_prompts.prompter.clear();
    m_folders = std::make_unique<InstrumentFolders>();
}

void TestBatchFile::cleanup() {
    m_dialog.reset();
    m_form.reset();
    m_folders.reset();
}

// As the program starts: main window, then the title dialog.
void TestBatchFile::start() {
    m_dialog.reset();
    m_form.reset();
    m_form = std::make_unique<TFormInstall>();
    m_dialog = std::make_unique<TFormBatchTitle>(m_form.get());
    m_form->consoles()->setBatchTitleDialog(m_dialog.get());
    m_form->show();
    chooseFunction(*m_form, 3); // Others: the Setup sheet gets its tab
    chooseSheet(*m_form, m_form->ShtSetup);
}

void TestBatchFile::saveThroughMenu(int tab, const QString& title) {
    boxes().PageBatch->setCurrentIndex(tab);
    boxes().SaveBatchItem->trigger();
    QVERIFY(m_dialog->isVisible());
    QVERIFY(!m_dialog->isModal());
    QTest::keyClicks(m_dialog->EditBatchTit, title);
    m_dialog->BTnOK->click();
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(m_dialog->EditBatchTit->text(), QString());
    QCOMPARE(m_dialog->title(), title);
}

void TestBatchFile::boxesStartWithDesignTexts() {
    start();
    QTabWidget* page = boxes().PageBatch;
    QVERIFY(m_form->ShtSetup->isAncestorOf(page));
    QCOMPARE(page->count(), 7);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(page->tabText(i), QStringLiteral("- %1 -").arg(i + 1));
    QCOMPARE(boxes().GrpAttr->title(), QStringLiteral("Change File Attribute "));
    QCOMPARE(boxes().GrpReset->title(), QStringLiteral("CPU Reset "));
    QCOMPARE(boxes().GrpBatch5->title(), QStringLiteral("Batch5 "));
    QCOMPARE(boxes().GrpBatch7->title(), QStringLiteral("Batch7 "));
    QCOMPARE(panel().BtnOpt2->text(), QStringLiteral("Batch6"));
    QCOMPARE(panel().BtnAttr->text(), QStringLiteral("Change Attr"));
    QCOMPARE(panel().BtnAdjTime->text(), QStringLiteral("Ajdust Time"));
    QCOMPARE(panel().PnlBaseBatch->title(), QStringLiteral("Batch  File  "));
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoAttr),
             QStringList({"chd /h0/ISP/OBJS", "attr ch* -eperprwpw", "dir ch* -e", "chd /h0/QEL_V4/CMDS",
                          "attr * -eperprwpw", "dir -e"}));
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoReset), QStringList({"chx /h0/QEL_V4/CMDS", "cpureset"}));
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoStartup).size(), 5);
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoQEL740).size(), 19);
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoBatch5), QStringList());
}

void TestBatchFile::boxLinesIgnoreOneFinalBreak_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty") << "" << QStringList();
    QTest::newRow("one line, no break") << "dir" << QStringList{"dir"};
    QTest::newRow("one line, final break") << "dir\n" << QStringList{"dir"};
    QTest::newRow("one empty line") << "\n" << QStringList{""};
    QTest::newRow("inner empty line") << "a\n\nb" << QStringList{"a", "", "b"};
    QTest::newRow("two final breaks") << "a\n\n" << QStringList{"a", ""};
}

void TestBatchFile::boxLinesIgnoreOneFinalBreak() {
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QPlainTextEdit box;
    box.setPlainText(text);
    QCOMPARE(BatchBoxes::boxLines(&box), lines);
    BatchBoxes::setBoxLines(&box, lines);
    QCOMPARE(BatchBoxes::boxLines(&box), lines);
}

void TestBatchFile::savedBatchComesBackAtNextStart() {
    start();
    BatchBoxes::setBoxLines(boxes().MemoBatch6, {"chd /h0/CMDS", "", "dir -e"});
    saveThroughMenu(5, QStringLiteral("List CMDS"));
    QCOMPARE(boxes().GrpBatch6->title(), QStringLiteral("List CMDS"));
    QCOMPARE(panel().BtnOpt2->text(), QStringLiteral("List CMDS"));
    const IniFile ini(batchFile());
    QCOMPARE(ini.keys(QStringLiteral("Batch6")), QStringList({"Title", "Line00", "Line01", "Line02"}));
    QCOMPARE(ini.read(QStringLiteral("Batch6"), QStringLiteral("Line02")), QStringLiteral("dir -e"));

    restart();
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoBatch6), QStringList({"chd /h0/CMDS", "", "dir -e"}));
    QCOMPARE(boxes().GrpBatch6->title(), QStringLiteral("List CMDS"));
    QCOMPARE(panel().BtnOpt2->text(), QStringLiteral("List CMDS"));
    QCOMPARE(boxes().GrpBatch5->title(), QStringLiteral("Batch5 "));
}

void TestBatchFile::line101IsStoredAsLine100() {
    start();
    QStringList lines;
    for (int i = 0; i < 101; ++i)
        lines << QStringLiteral("echo %1").arg(i);
    BatchBoxes::setBoxLines(boxes().MemoBatch5, lines);
    saveThroughMenu(4, QStringLiteral("Long"));
    const IniFile ini(batchFile());
    QCOMPARE(ini.read(QStringLiteral("Batch5"), QStringLiteral("Line09")), QStringLiteral("echo 9"));
    QCOMPARE(ini.read(QStringLiteral("Batch5"), QStringLiteral("Line99")), QStringLiteral("echo 99"));
    QCOMPARE(ini.read(QStringLiteral("Batch5"), QStringLiteral("Line100")), QStringLiteral("echo 100"));
    QCOMPARE(ini.keys(QStringLiteral("Batch5")).size(), 102);
    restart();
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoBatch5), lines);
}

void TestBatchFile::emptyTitleLeavesDesignCaptionsForNextStart() {
    start();
    BatchBoxes::setBoxLines(boxes().MemoBatch5, {"dir"});
    saveThroughMenu(4, QString());
    QCOMPARE(boxes().GrpBatch5->title(), QString());
    QCOMPARE(panel().BtnOpt1->text(), QString());
    QVERIFY(readFile(batchFile()).contains("Title=\r\n") || readFile(batchFile()).contains("Title=\n"));
    restart();
    QCOMPARE(boxes().GrpBatch5->title(), QStringLiteral("Batch5 "));
    QCOMPARE(panel().BtnOpt1->text(), QStringLiteral("Batch5"));
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoBatch5), QStringList{"dir"});
}

void TestBatchFile::emptyBoxSavesNothing() {
    start();
    saveThroughMenu(5, QStringLiteral("Nothing"));
    QVERIFY(!QFile::exists(batchFile()));
    QCOMPARE(boxes().GrpBatch6->title(), QStringLiteral("Batch6 "));
    QCOMPARE(panel().BtnOpt2->text(), QStringLiteral("Batch6"));

    // A built-in tab is never stored.
    saveThroughMenu(1, QStringLiteral("Attr"));
    QVERIFY(!QFile::exists(batchFile()));
    QCOMPARE(boxes().GrpAttr->title(), QStringLiteral("Change File Attribute "));
}

void TestBatchFile::shorterResaveLeavesNoOldLines() {
    start();
    BatchBoxes::setBoxLines(boxes().MemoBatch7, {"one", "two", "three", "four", "five"});
    saveThroughMenu(6, QStringLiteral("Five"));
    BatchBoxes::setBoxLines(boxes().MemoBatch7, {"uno", "dos"});
    saveThroughMenu(6, QStringLiteral("Two"));
    const IniFile ini(batchFile());
    QCOMPARE(ini.keys(QStringLiteral("Batch7")), QStringList({"Title", "Line00", "Line01"}));
    restart();
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoBatch7), QStringList({"uno", "dos"}));
    QCOMPARE(panel().BtnOpt3->text(), QStringLiteral("Two"));
}

void TestBatchFile::cancelSavesNothing() {
    start();
    BatchBoxes::setBoxLines(boxes().MemoBatch5, {"dir"});
    saveThroughMenu(4, QStringLiteral("First"));
    boxes().SaveBatchItem->trigger();
    QTest::keyClicks(m_dialog->EditBatchTit, QStringLiteral("Second"));
    m_dialog->BtnCancel->click();
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(m_dialog->title(), QString());
    QCOMPARE(m_dialog->EditBatchTit->text(), QString());
    QCOMPARE(boxes().GrpBatch5->title(), QStringLiteral("First"));
    QCOMPARE(IniFile(batchFile()).read(QStringLiteral("Batch5"), QStringLiteral("Title")),
             QStringLiteral("First"));

    // Escape is a Cancel too.
    boxes().SaveBatchItem->trigger();
    QTest::keyClicks(m_dialog->EditBatchTit, QStringLiteral("Third"));
    QTest::keyClick(m_dialog->EditBatchTit, Qt::Key_Escape);
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(IniFile(batchFile()).read(QStringLiteral("Batch5"), QStringLiteral("Title")),
             QStringLiteral("First"));
}

void TestBatchFile::deleteRemovesSectionAndRestoresCaptions() {
    writeFile(batchFile(), "[Batch5]\r\nTitle=Keep me\r\nLine00=dir\r\n"
                           "[Batch7]\r\nTitle=Old\r\nLine00=free /h0\r\nLine01=mfree -e\r\n");
    start();
    QCOMPARE(panel().BtnOpt3->text(), QStringLiteral("Old"));
    boxes().PageBatch->setCurrentIndex(6);
    QPlainTextEdit* box = boxes().MemoBatch7;
    QCOMPARE(box->contextMenuPolicy(), Qt::CustomContextMenu);
    Q_EMIT box->customContextMenuRequested(QPoint(5, 5)); // as a right click on the box does
    QTRY_VERIFY_WITH_TIMEOUT(boxes().PopupMenuBatch->isVisible(), 2000);
    QCOMPARE(boxes().DeleteBatchItem->text(), QStringLiteral("Delete Batch"));
    // No keeps the batch, in the box and in the file.
    m_prompts.prompter.answers.enqueue(false);
    boxes().DeleteBatchItem->trigger();
    QCOMPARE(m_prompts.prompter.texts("yesno"), QStringList{"Delete the batch \"Old\" ?"});
    QCOMPARE(BatchBoxes::boxLines(box), QStringList({"free /h0", "mfree -e"}));
    QCOMPARE(IniFile(batchFile()).keys(QStringLiteral("Batch7")).size(), 3);
    QCOMPARE(panel().BtnOpt3->text(), QStringLiteral("Old"));
    m_prompts.prompter.answers.enqueue(true);
    boxes().DeleteBatchItem->trigger();
    boxes().PopupMenuBatch->hide();

    QCOMPARE(box->toPlainText(), QString());
    QCOMPARE(boxes().GrpBatch7->title(), QStringLiteral("Batch7 "));
    QCOMPARE(panel().BtnOpt3->text(), QStringLiteral("Batch7"));
    const IniFile ini(batchFile());
    QCOMPARE(ini.keys(QStringLiteral("Batch7")), QStringList());
    QCOMPARE(ini.read(QStringLiteral("Batch5"), QStringLiteral("Title")), QStringLiteral("Keep me"));
    restart();
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoBatch7), QStringList());
    QCOMPARE(panel().BtnOpt1->text(), QStringLiteral("Keep me"));
}

void TestBatchFile::deleteWithoutFileOnlyEmptiesTheBox() {
    start();
    BatchBoxes::setBoxLines(boxes().MemoBatch5, {"typed, never saved"});
    boxes().PageBatch->setCurrentIndex(4);
    Q_EMIT boxes().MemoBatch5->customContextMenuRequested(QPoint(5, 5));
    m_prompts.prompter.answers.enqueue(true);
    boxes().DeleteBatchItem->trigger();
    boxes().PopupMenuBatch->hide();
    QCOMPARE(boxes().MemoBatch5->toPlainText(), QString());
    QVERIFY(!QFile::exists(batchFile()));
    QCOMPARE(m_prompts.prompter.texts("yesno"), QStringList{"Delete the batch \"Batch5\" ?"});
    QCOMPARE(m_prompts.prompter.shown.size(), 1);
}

void TestBatchFile::fileFromAnotherProgramLoadsAtStart() {
    // Key names are not looked at: the first key is the title, the others are the lines.
    writeFile(batchFile(), "; written by hand\r\n[Batch7]\r\nName=Foreign\r\nFirst=dir\r\nSecond=free /h0\r\n"
                           "[Batch6]\r\nTitle=Only a title\r\n");
    start();
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoBatch7), QStringList({"dir", "free /h0"}));
    QCOMPARE(boxes().GrpBatch7->title(), QStringLiteral("Foreign"));
    QCOMPARE(panel().BtnOpt3->text(), QStringLiteral("Foreign"));
    // A section with a single key loads nothing.
    QCOMPARE(BatchBoxes::boxLines(boxes().MemoBatch6), QStringList());
    QCOMPARE(boxes().GrpBatch6->title(), QStringLiteral("Batch6 "));

    // Saving it again keeps the file's Windows line ends and its comment.
    saveThroughMenu(6, QStringLiteral("Ours"));
    const QByteArray saved = readFile(batchFile());
    QVERIFY(saved.startsWith("; written by hand\r\n"));
    QVERIFY(!saved.contains("Name=") && !saved.contains("Second="));
    QVERIFY(!QByteArray(saved).replace("\r\n", "").contains('\n'));
}

void TestBatchFile::unwritableFileKeepsCaptions() {
    start();
    QDir(m_folders->root()).mkpath(QStringLiteral("Data/OS9Batch.INI")); // a folder in its place
    BatchBoxes::setBoxLines(boxes().MemoBatch5, {"dir"});
    saveThroughMenu(4, QStringLiteral("Never"));
    QCOMPARE(m_prompts.prompter.texts("error").size(), 1);
    QCOMPARE(boxes().GrpBatch5->title(), QStringLiteral("Batch5 "));
    QCOMPARE(panel().BtnOpt1->text(), QStringLiteral("Batch5"));
}

void TestBatchFile::scrollBarsAppearWhenWorkedIn() {
    start();
    QPlainTextEdit* series = boxes().MemoQEL740;
    QCOMPARE(series->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    boxes().PageBatch->setCurrentIndex(3);
    QCOMPARE(series->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(series->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    QPlainTextEdit* attr = boxes().MemoAttr;
    QCOMPARE(attr->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QFocusEvent focusIn(QEvent::FocusIn, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(attr, &focusIn);
    QCOMPARE(attr->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(attr->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

void TestBatchFile::applicationWiresTheTitleDialog() {
    {
        Application windows;
        Prompter::install(&m_prompts.prompter); // the program's own prompter would open real boxes
        TFormInstall& form = windows.formInstall();
        QCOMPARE(form.consoles()->batchBoxes().titleDialog(), &windows.formBatchTitle());
        QCOMPARE(windows.formBatchTitle().BTnOK->text(), QStringLiteral("O. K. "));
        QCOMPARE(windows.formBatchTitle().BtnCancel->text(), QStringLiteral("Cancel"));
        form.show();
        chooseFunction(form, 3);
        chooseSheet(form, form.ShtSetup); // the batch tabs sit at the window's right edge
        BatchBoxes& batches = form.consoles()->batchBoxes();
        BatchBoxes::setBoxLines(batches.MemoBatch5, {"dir"});
        batches.PageBatch->setCurrentIndex(4);
        batches.SaveBatchItem->trigger();
        TFormBatchTitle& dialog = windows.formBatchTitle();
        QVERIFY(dialog.isVisible());
        // Placed with its left edge at the batch tabs' right edge, level with their top, as
        // far as the screen allows: it stays whole on the screen of the batch tabs.
        const QPoint wanted = batches.PageBatch->mapToGlobal(QPoint(batches.PageBatch->width(), 0));
        const QRect area = batches.PageBatch->screen()->availableGeometry();
        QVERIFY2(area.contains(dialog.frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4 on %5x%6")
                                                                       .arg(dialog.x())
                                                                       .arg(dialog.y())
                                                                       .arg(dialog.width())
                                                                       .arg(dialog.height())
                                                                       .arg(area.width())
                                                                       .arg(area.height())));
        if (area.contains(QRect(wanted, dialog.frameGeometry().size())))
            QCOMPARE(dialog.pos(), wanted);
        else
            QVERIFY(dialog.x() < wanted.x() || dialog.y() < wanted.y());

        QTest::keyClicks(dialog.EditBatchTit, QStringLiteral("Via app"));
        QTest::keyClick(dialog.EditBatchTit, Qt::Key_Return);
        QCOMPARE(batches.GrpBatch5->title(), QStringLiteral("Via app"));
    }
    Prompter::install(&m_prompts.prompter);
}

QTEST_MAIN(TestBatchFile)
#include "tst_batchfile.moc"
