#include "common/ScriptedPrompter.h"
#include "support/TQelBtn.h"
#include "transfer/FileViewerSheet.h"
#include "transfer/TextFileCodec.h"

#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;

namespace {
QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

class TestFileViewer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_scope.prompter.clear(); }
    void cancelLeavesPaneEmpty();
    void openEditSaveKeepsLineEnds();
    void discardOnNo();
    void sameFileInBothPanesLastCloseWins();
    void unreadableFileShowsErrorAndReleases();
    void failedSaveKeepsText();
    void longPathLeavesPanesEven();
    void codecRoundTrips_data();
    void codecRoundTrips();
    void untouchedFileSavesBackByteForByte_data();
    void untouchedFileSavesBackByteForByte();
    void editedFileKeepsEachLinesEnd_data();
    void editedFileKeepsEachLinesEnd();
    void shiftJisFileShowsJapanese();
    void characterTheFileCannotStoreKeepsThePaneOpen();

private:
    // Opens the file in the pane of `button`, runs `whileOpen`, then closes the pane
    // answering Yes to "Save File ?".
    void openSaveClose(TQelBtn* button, const QString& path, const std::function<void()>& whileOpen) {
        m_scope.prompter.paths.enqueue(path);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(button->isChecked());
        whileOpen();
        m_scope.prompter.answers.enqueue(true);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!button->isChecked());
    }

    test::PrompterScope m_scope;
    QTemporaryDir m_dir;
};

void TestFileViewer::cancelLeavesPaneEmpty() {
    QWidget sheet;
    FileViewerSheet viewer(&sheet);
    QTest::mouseClick(viewer.BtnEditFile1, Qt::LeftButton);
    QCOMPARE(m_scope.prompter.texts("open").size(), 1);
    QVERIFY(!viewer.BtnEditFile1->isChecked());
    QCOMPARE(viewer.LblEditFile1->text(), QStringLiteral("XXXXXXXXX"));
    QVERIFY(viewer.MemoEditFile1->toPlainText().isEmpty());
}

void TestFileViewer::openEditSaveKeepsLineEnds() {
    const QString path = m_dir.filePath("startup");
    write(path, "chd /h0\r\nstartqel2\r\n");
    QWidget sheet;
    FileViewerSheet viewer(&sheet);
    m_scope.prompter.paths.enqueue(path);
    QTest::mouseClick(viewer.BtnEditFile2, Qt::LeftButton);
    QVERIFY(viewer.BtnEditFile2->isChecked());
    QCOMPARE(viewer.LblEditFile2->text(), path);
    QCOMPARE(viewer.MemoEditFile2->toPlainText(), QStringLiteral("chd /h0\nstartqel2"));
    viewer.MemoEditFile2->appendPlainText(QStringLiteral("dir -e"));
    m_scope.prompter.answers.enqueue(true);
    QTest::mouseClick(viewer.BtnEditFile2, Qt::LeftButton);
    QCOMPARE(m_scope.prompter.texts("yesno"), QStringList{"Save File ?"});
    QCOMPARE(contents(path), QByteArray("chd /h0\r\nstartqel2\r\ndir -e\r\n"));
    QVERIFY(viewer.LblEditFile2->text().isEmpty());
    QVERIFY(viewer.MemoEditFile2->toPlainText().isEmpty());
}

void TestFileViewer::discardOnNo() {
    const QString path = m_dir.filePath("keep.txt");
    write(path, "original\n");
    QWidget sheet;
    FileViewerSheet viewer(&sheet);
    m_scope.prompter.paths.enqueue(path);
    QTest::mouseClick(viewer.BtnEditFile1, Qt::LeftButton);
    viewer.MemoEditFile1->setPlainText(QStringLiteral("changed"));
    m_scope.prompter.answers.enqueue(false);
    QTest::mouseClick(viewer.BtnEditFile1, Qt::LeftButton);
    QCOMPARE(contents(path), QByteArray("original\n"));
    QVERIFY(viewer.MemoEditFile1->toPlainText().isEmpty());
    QVERIFY(!viewer.BtnEditFile1->isChecked());
}

void TestFileViewer::sameFileInBothPanesLastCloseWins() {
    const QString path = m_dir.filePath("both.txt");
    write(path, "x\n");
    QWidget sheet;
    FileViewerSheet viewer(&sheet);
    m_scope.prompter.paths.enqueue(path);
    m_scope.prompter.paths.enqueue(path);
    QTest::mouseClick(viewer.BtnEditFile1, Qt::LeftButton);
    QTest::mouseClick(viewer.BtnEditFile2, Qt::LeftButton);
    viewer.MemoEditFile1->setPlainText(QStringLiteral("left"));
    viewer.MemoEditFile2->setPlainText(QStringLiteral("right"));
    m_scope.prompter.answers.enqueue(true);
    m_scope.prompter.answers.enqueue(true);
    QTest::mouseClick(viewer.BtnEditFile1, Qt::LeftButton);
    QTest::mouseClick(viewer.BtnEditFile2, Qt::LeftButton);
    QCOMPARE(contents(path), QByteArray("right\n"));
}

void TestFileViewer::unreadableFileShowsErrorAndReleases() {
    QWidget sheet;
    FileViewerSheet viewer(&sheet);
    m_scope.prompter.paths.enqueue(m_dir.filePath("no-such-file"));
    QTest::mouseClick(viewer.BtnEditFile1, Qt::LeftButton);
    QCOMPARE(m_scope.prompter.texts("error").size(), 1);
    QVERIFY(m_scope.prompter.texts("error").first().contains("no-such-file"));
    QVERIFY(!viewer.BtnEditFile1->isChecked());
}

void TestFileViewer::failedSaveKeepsText() {
    const QString folder = m_dir.filePath("sub");
    QDir().mkpath(folder);
    const QString path = folder + "/f.txt";
    write(path, "a\n");
    QWidget sheet;
    FileViewerSheet viewer(&sheet);
    m_scope.prompter.paths.enqueue(path);
    QTest::mouseClick(viewer.BtnEditFile1, Qt::LeftButton);
    viewer.MemoEditFile1->setPlainText(QStringLiteral("precious edit"));
    QDir(folder).removeRecursively(); // the file's folder vanished meanwhile
    m_scope.prompter.answers.enqueue(true);
    QTest::mouseClick(viewer.BtnEditFile1, Qt::LeftButton);
    QCOMPARE(m_scope.prompter.texts("error").size(), 1);
    QCOMPARE(viewer.MemoEditFile1->toPlainText(), QStringLiteral("precious edit"));
    QCOMPARE(viewer.LblEditFile1->text(), path);
    QVERIFY(viewer.BtnEditFile1->isChecked());
}

void TestFileViewer::longPathLeavesPanesEven() {
    const QString folder =
        m_dir.filePath(QString(60, QLatin1Char('a')) + "/" + QString(60, QLatin1Char('b')));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/reference_copy_of_the_startup_file.txt";
    write(path, "x\n");
    QWidget sheet;
    FileViewerSheet viewer(&sheet);
    sheet.resize(900, 500);
    sheet.show();
    const int minimumBefore = sheet.minimumSizeHint().width();
    m_scope.prompter.paths.enqueue(path);
    QTest::mouseClick(viewer.BtnEditFile1, Qt::LeftButton);
    QCOMPARE(viewer.LblEditFile1->text(), path);
    QCoreApplication::sendPostedEvents();
    sheet.layout()->activate();
    QCOMPARE(sheet.minimumSizeHint().width(), minimumBefore);
    QVERIFY(qAbs(viewer.MemoEditFile1->width() - viewer.MemoEditFile2->width()) <= 2);
}

void TestFileViewer::codecRoundTrips_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("LF with final newline") << QByteArray("a\nb\n");
    QTest::newRow("CR LF without final newline") << QByteArray("a\r\nb");
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBFx\r\n");
    QTest::newRow("UTF-8") << QByteArray("\xC3\xA9t\xC3\xA9\n");
    QTest::newRow("8-bit code page") << QByteArray("caf\xE9\r\n");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("61 0d 62 0a") << QByteArray("a\rb\n");
    QTest::newRow("81 a0 0d 0a") << QByteArray("\x81\xA0\r\n");
}

void TestFileViewer::codecRoundTrips() {
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeTextFile(decodeTextFile(bytes)), bytes);
}

// Awkward files, each opened in the viewer and saved without a change.
void TestFileViewer::untouchedFileSavesBackByteForByte_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("CR only 61 0d 62 0d") << QByteArray("a\rb\r") << "a\nb";
    QTest::newRow("61 0d 62 0a") << QByteArray("a\rb\n") << "a\nb";
    QTest::newRow("mixed 61 0d 0a 62 0a 63 0d 64") << QByteArray("a\r\nb\nc\rd") << "a\nb\nc\nd";
    QTest::newRow("LF CR 61 0a 0d 62") << QByteArray("a\n\rb") << "a\n\nb";
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\n") << "a\n";
    QTest::newRow("81 a0 0d 0a") << QByteArray("\x81\xA0\r\n") << QString::fromUtf8("□");
    QTest::newRow("U+2029 e2 80 a9") << QByteArray("a\xE2\x80\xA9"
                                                   "b\n")
                                     << "a\nb";
    QTest::newRow("U+2028 e2 80 a8") << QByteArray("a\xE2\x80\xA8"
                                                   "b")
                                     << QString::fromUtf8("a\u2028b");
    QTest::newRow("no-break space c2 a0") << QByteArray("a\xC2\xA0"
                                                        "b\r\n")
                                          << QString::fromUtf8("a\u00A0b");
    QTest::newRow("frame marker ef b7 90") << QByteArray("a\xEF\xB7\x90"
                                                         "b")
                                           << "a\nb";
    QTest::newRow("only CR LF") << QByteArray("\r\n") << "";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("NUL 61 00 62") << QByteArray("a\0b", 3) << QString("a") + QChar(0) + "b";
    QTest::newRow("stray ff in Shift-JIS 83 65 ff 0d")
        << QByteArray("\x83\x65\xFF\r") << QString::fromUtf8("テ") + QChar(0xDCFF);
    QTest::newRow("UTF-16 with BOM and CR") << QByteArray::fromHex("fffe61000d006200") << "a\nb";
}

void TestFileViewer::untouchedFileSavesBackByteForByte() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const QString path = m_dir.filePath("untouched");
    write(path, bytes);
    QWidget sheet;
    FileViewerSheet viewer(&sheet);
    openSaveClose(viewer.BtnEditFile1, path, [&] {
        QCOMPARE(viewer.MemoEditFile1->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n'),
                 shown);
    });
    QVERIFY(m_scope.prompter.texts("error").isEmpty());
    QCOMPARE(contents(path), bytes);
}

void TestFileViewer::editedFileKeepsEachLinesEnd_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("CR only, a line changed")
        << QByteArray("a\rb\rc\r") << "a\nB\nc" << QByteArray("a\rB\rc\r");
    QTest::newRow("CR only, a line inserted") << QByteArray("a\rb\r") << "a\nx\nb" << QByteArray("a\rx\rb\r");
    QTest::newRow("CR only, a line appended") << QByteArray("a\rb\r") << "a\nb\nc" << QByteArray("a\rb\rc\r");
    QTest::newRow("CR only, a line removed") << QByteArray("a\rb\rc\r") << "a\nc" << QByteArray("a\rc\r");
    QTest::newRow("mixed, middle line changed")
        << QByteArray("a\r\nb\nc\rd") << "a\nB\nc\nd" << QByteArray("a\r\nB\nc\rd");
    QTest::newRow("mixed, two lines inserted at the top")
        << QByteArray("a\r\nb\nc\r") << "x\ny\na\nb\nc" << QByteArray("x\r\ny\r\na\r\nb\nc\r");
    QTest::newRow("no line end, a line appended") << QByteArray("a\rb") << "a\nb\nc" << QByteArray("a\rb\rc");
    QTest::newRow("one line, another appended") << QByteArray("a") << "a\nb" << QByteArray("a\nb");
    QTest::newRow("U+2029 kept beside an edit") << QByteArray("a\xE2\x80\xA9") + "b\n"
                                                << "a\nB" << QByteArray("a\xE2\x80\xA9") + "B\n";
    QTest::newRow("everything deleted") << QByteArray("a\r\nb\r\n") << "" << QByteArray();
}

void TestFileViewer::editedFileKeepsEachLinesEnd() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, edited);
    QFETCH(QByteArray, saved);
    const QString path = m_dir.filePath("edited");
    write(path, bytes);
    QWidget sheet;
    FileViewerSheet viewer(&sheet);
    openSaveClose(viewer.BtnEditFile2, path, [&] { viewer.MemoEditFile2->setPlainText(edited); });
    QCOMPARE(contents(path), saved);
}

// The controller's files are Shift-JIS: shown as Japanese, saved back as Shift-JIS.
void TestFileViewer::shiftJisFileShowsJapanese() {
    const QString path = m_dir.filePath("title");
    write(path, "\x83\x65\x83\x58\x83\x67\r");
    QWidget sheet;
    FileViewerSheet viewer(&sheet);
    openSaveClose(viewer.BtnEditFile1, path, [&] {
        QCOMPARE(viewer.MemoEditFile1->toPlainText(), QString::fromUtf8("テスト"));
        viewer.MemoEditFile1->appendPlainText(QString::fromUtf8("日本"));
    });
    QCOMPARE(contents(path), QByteArray("\x83\x65\x83\x58\x83\x67\r\x93\xFA\x96\x7B\r"));
}

void TestFileViewer::characterTheFileCannotStoreKeepsThePaneOpen() {
    const QString path = m_dir.filePath("controller-file");
    const QByteArray original("\x83\x65\r");
    write(path, original);
    QWidget sheet;
    FileViewerSheet viewer(&sheet);
    m_scope.prompter.paths.enqueue(path);
    QTest::mouseClick(viewer.BtnEditFile1, Qt::LeftButton);
    viewer.MemoEditFile1->appendPlainText(QString::fromUtf8("caf\xC3\xA9"));
    m_scope.prompter.answers.enqueue(true);
    QTest::mouseClick(viewer.BtnEditFile1, Qt::LeftButton);
    const QStringList errors = m_scope.prompter.texts("error");
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(QDir::toNativeSeparators(path)) && errors.first().contains("Shift-JIS"),
             qPrintable(errors.first()));
    QVERIFY(viewer.BtnEditFile1->isChecked());
    QVERIFY(viewer.MemoEditFile1->toPlainText().endsWith(QString::fromUtf8("caf\xC3\xA9")));
    QCOMPARE(contents(path), original);
}

QTEST_MAIN(TestFileViewer)
#include "tst_fileviewer.moc"
