#include "console/engine/BatchStore.h"
#include "support/Errors.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;

// User batches in OS9Batch.INI.
class TestBatchStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void roundTrips_data();
    void roundTrips();
    void keyNamesFollowTheLineNumber();
    void shorterResaveLeavesNoOldLines();
    void otherSectionsAndCommentsSurvive();
    void deleteRemovesTheSection();
    void missingFileOrSectionLoadsNothing();
    void fileFromAnotherProgramLoads();
    void oddlyOrderedSectionIsRewritten();
    void unwritableFileThrows();

private:
    QString readAll() const {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    void writeFile(const QByteArray& bytes) {
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestBatchStore::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = batchFilePath(m_dir->path());
    QVERIFY(m_path.endsWith(QLatin1String("/OS9Batch.INI")));
}

void TestBatchStore::roundTrips_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("three lines") << "Setup" << QStringList{"chd /h0", "dir -e", "free /h0"};
    QTest::newRow("empty title") << "" << QStringList{"dir"};
    QTest::newRow("empty line inside") << "T" << QStringList{"a", "", "b"};
    QStringList many;
    for (int i = 0; i < 105; ++i)
        many << QStringLiteral("echo %1").arg(i);
    QTest::newRow("105 lines") << "Long" << many;
}

void TestBatchStore::roundTrips() {
    QFETCH(QString, title);
    QFETCH(QStringList, lines);
    SaveBatchSection(m_path, QStringLiteral("Batch5"), title, lines);
    const StoredBatch loaded = LoadBatchSection(m_path, QStringLiteral("Batch5"));
    QCOMPARE(loaded.title, title);
    QCOMPARE(loaded.lines, lines);
}

void TestBatchStore::keyNamesFollowTheLineNumber() {
    QStringList lines;
    for (int i = 0; i < 101; ++i)
        lines << QStringLiteral("l%1").arg(i);
    SaveBatchSection(m_path, QStringLiteral("Batch6"), QStringLiteral("T"), lines);
    const QString file = readAll();
    QVERIFY(file.contains(QLatin1String("[Batch6]")));
    QVERIFY(file.contains(QLatin1String("Title=T")));
    QVERIFY(file.contains(QLatin1String("Line00=l0")));
    QVERIFY(file.contains(QLatin1String("Line09=l9")));
    QVERIFY(file.contains(QLatin1String("Line99=l99")));
    QVERIFY(file.contains(QLatin1String("Line100=l100"))); // the 101st line
}

void TestBatchStore::shorterResaveLeavesNoOldLines() {
    SaveBatchSection(m_path, QStringLiteral("Batch5"), QStringLiteral("Old"), {"a", "b", "c", "d"});
    SaveBatchSection(m_path, QStringLiteral("Batch5"), QStringLiteral("New"), {"x"});
    const StoredBatch loaded = LoadBatchSection(m_path, QStringLiteral("Batch5"));
    QCOMPARE(loaded.title, QStringLiteral("New"));
    QCOMPARE(loaded.lines, QStringList{"x"});
    QVERIFY(!readAll().contains(QLatin1String("Line03")));
}

void TestBatchStore::otherSectionsAndCommentsSurvive() {
    writeFile("; user batches\r\n[Batch6]\r\nTitle=Keep\r\nLine00=dir\r\n");
    SaveBatchSection(m_path, QStringLiteral("Batch5"), QStringLiteral("Mine"), {"free /h0"});
    SaveBatchSection(m_path, QStringLiteral("Batch5"), QStringLiteral("Mine"), {"free /dd"});
    QVERIFY(readAll().startsWith(QLatin1String("; user batches\r\n")));
    QCOMPARE(LoadBatchSection(m_path, QStringLiteral("Batch6")).lines, QStringList{"dir"});
    QCOMPARE(LoadBatchSection(m_path, QStringLiteral("Batch5")).lines, QStringList{"free /dd"});
}

void TestBatchStore::deleteRemovesTheSection() {
    SaveBatchSection(m_path, QStringLiteral("Batch5"), QStringLiteral("A"), {"a"});
    SaveBatchSection(m_path, QStringLiteral("Batch7"), QStringLiteral("C"), {"c"});
    DeleteBatchSection(m_path, QStringLiteral("Batch5"));
    const StoredBatch gone = LoadBatchSection(m_path, QStringLiteral("Batch5"));
    QVERIFY(gone.title.isEmpty() && gone.lines.isEmpty());
    QVERIFY(!readAll().contains(QLatin1String("[Batch5]")));
    QCOMPARE(LoadBatchSection(m_path, QStringLiteral("Batch7")).title, QStringLiteral("C"));
    DeleteBatchSection(m_path, QStringLiteral("Batch5")); // again: nothing to do
}

void TestBatchStore::missingFileOrSectionLoadsNothing() {
    StoredBatch b = LoadBatchSection(m_path, QStringLiteral("Batch5"));
    QVERIFY(b.title.isEmpty() && b.lines.isEmpty());
    // Saving an empty batch keeps only its title, which loads as nothing.
    SaveBatchSection(m_path, QStringLiteral("Batch5"), QStringLiteral("Only title"), {});
    b = LoadBatchSection(m_path, QStringLiteral("Batch5"));
    QVERIFY(b.title.isEmpty() && b.lines.isEmpty());
}

void TestBatchStore::fileFromAnotherProgramLoads() {
    // Windows line ends, other key names and spellings: the first key is the title.
    writeFile("[batch7]\r\nName=Reset all\r\nfirst=chx /h0/QEL_V4/CMDS\r\nSECOND=cpureset\r\n");
    const StoredBatch b = LoadBatchSection(m_path, QStringLiteral("Batch7"));
    QCOMPARE(b.title, QStringLiteral("Reset all"));
    QCOMPARE(b.lines, (QStringList{"chx /h0/QEL_V4/CMDS", "cpureset"}));
}

void TestBatchStore::oddlyOrderedSectionIsRewritten() {
    writeFile("[Batch5]\r\nLine00=old first\r\nTitle=old\r\nLine01=old second\r\n");
    SaveBatchSection(m_path, QStringLiteral("Batch5"), QStringLiteral("T"), {"one", "two"});
    const StoredBatch b = LoadBatchSection(m_path, QStringLiteral("Batch5"));
    QCOMPARE(b.title, QStringLiteral("T"));
    QCOMPARE(b.lines, (QStringList{"one", "two"}));
}

void TestBatchStore::unwritableFileThrows() {
    const QString folderPath = m_dir->filePath("OS9Batch.INI.d");
    QVERIFY(QDir().mkpath(folderPath)); // a folder where the file should be
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cannot read"));
    QVERIFY_THROWS_EXCEPTION(FileError, SaveBatchSection(folderPath, QStringLiteral("Batch5"), "T", {"a"}));
}

QTEST_GUILESS_MAIN(TestBatchStore)
#include "tst_batchstore.moc"
