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

private:
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
    const QString folder = m_dir.filePath(QString(60, QLatin1Char('a')) + "/" + QString(60, QLatin1Char('b')));
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
}

void TestFileViewer::codecRoundTrips() {
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeTextFile(decodeTextFile(bytes)), bytes);
}

QTEST_MAIN(TestFileViewer)
#include "tst_fileviewer.moc"
