#include "support/FileIO.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;

using Table = QList<QStringList>;
Q_DECLARE_METATYPE(Table)

class TestFileIO : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void wordTable_data();
    void wordTable();
    void longLineKeepsFiftyOneWords();
    void moreThan101LinesKeepsTheFirst101();
    void unreadableLeavesTableAsItWas_data();
    void unreadableLeavesTableAsItWas();
    void secondLoadLeavesNothingOfTheFirst();
    void usesPathAndFileNameAndKeepsCurrentFolder();

private:
    QString writeFile(const QString& name, const QByteArray& bytes);
    static Table tableOf(const TFileIO& io);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFileIO::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestFileIO::writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(m_dir->filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write fixture");
    return f.fileName();
}

Table TestFileIO::tableOf(const TFileIO& io) {
    Table table;
    for (quint32 l = 0; l < io.rowCount(); ++l) {
        QStringList words;
        for (int w = 0; w < io.columnCount(); ++w)
            if (!io.cell(w, l).isEmpty())
                words.append(io.cell(w, l));
        table.append(words);
    }
    return table;
}

void TestFileIO::wordTable_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Table>("expected");
    QTest::addColumn<int>("columns");

    const Table ip{{"IP", "=", "10.1.2.3"}};
    QTest::newRow("blank and blank-only first lines")
        << QByteArray("\n   \n\r\n\nIP = 10.1.2.3\n") << ip << 3;
    QTest::newRow("runs of blanks") << QByteArray("IP     =      10.1.2.3      \r\n") << ip << 3;
    QTest::newRow("leading blanks") << QByteArray("      IP = 10.1.2.3") << ip << 3;
    QTest::newRow("tabs are part of words")
        << QByteArray("IP\t= 10.1.2.3\n\tx") << Table{{"IP\t=", "10.1.2.3"}, {"\tx"}} << 2;
    QTest::newRow("blank lines between rows dropped")
        << QByteArray("a b\n\n  \nc\n") << Table{{"a", "b"}, {"c"}} << 2;
    QTest::newRow("CR LF, LF and lone CR line ends")
        << QByteArray("a\r\nb\nc\rd") << Table{{"a"}, {"b"}, {"c"}, {"d"}} << 1;
    QTest::newRow("UTF-8 byte order mark not part of the first word")
        << QByteArray("\xEF\xBB\xBFIP = 10.1.2.3\r\n") << ip << 3;
    QTest::newRow("UTF-8 text") << QByteArray("k\xC3\xA9y v") << Table{{QString::fromUtf8("k\xC3\xA9y"), "v"}}
                                << 2;
    QTest::newRow("8-bit text is Shift-JIS")
        << QByteArray("k\x83\x65y v") << Table{{QString::fromUtf8("k\xE3\x83\x86y"), "v"}} << 2;
    QTest::newRow("empty file") << QByteArray() << Table{} << 0;
    QTest::newRow("only blanks") << QByteArray("   \r\n \r\n") << Table{} << 0;
}

void TestFileIO::wordTable() {
    QFETCH(QByteArray, content);
    QFETCH(Table, expected);
    QFETCH(int, columns);
    writeFile("QelMonitor.INI", content);
    TFileIO io;
    QVERIFY(io.loadTable(m_dir->path(), "QelMonitor.INI"));
    QCOMPARE(tableOf(io), expected);
    QCOMPARE(io.rowCount(), quint32(expected.size()));
    QCOMPARE(io.columnCount(), columns);
    // Cells past a line's last word are empty, not leftovers.
    if (!expected.isEmpty())
        QCOMPARE(io.cell(expected.first().size(), 0), QString());
}

void TestFileIO::longLineKeepsFiftyOneWords() {
    QStringList words;
    for (int i = 0; i < 60; ++i)
        words.append(QStringLiteral("w%1").arg(i));
    writeFile("long.txt", words.join("  ").toLatin1() + "\nnext line\n");
    TFileIO io;
    QVERIFY(io.loadTable(m_dir->path(), "long.txt"));
    QCOMPARE(io.columnCount(), 51);
    QCOMPARE(io.rowCount(), 2u);
    QCOMPARE(io.cell(0, 0), QString("w0"));
    QCOMPARE(io.cell(50, 0), QString("w50"));
    QCOMPARE(io.cell(51, 0), QString());
    // The rest of the long line does not spill into the next row.
    QCOMPARE(io.cell(0, 1), QString("next"));
    QCOMPARE(io.cell(1, 1), QString("line"));
    QCOMPARE(io.cell(2, 1), QString());
}

void TestFileIO::moreThan101LinesKeepsTheFirst101() {
    QByteArray content;
    for (int i = 0; i < 250; ++i)
        content += QByteArray("L") + QByteArray::number(i) + " x\r\n\r\n";
    writeFile("many.txt", content);
    TFileIO io;
    QVERIFY(io.loadTable(m_dir->path(), "many.txt"));
    QCOMPARE(io.rowCount(), 101u);
    QCOMPARE(io.cell(0, 0), QString("L0"));
    QCOMPARE(io.cell(0, 100), QString("L100"));
    QCOMPARE(io.cell(0, 101), QString());
    QCOMPARE(io.cell(-1, 0), QString());
    QCOMPARE(io.cell(0, -1), QString());
}

void TestFileIO::unreadableLeavesTableAsItWas_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::newRow("missing file") << ""
                                  << "nothing.INI";
    QTest::newRow("missing folder") << "no-such-folder"
                                    << "QelMonitor.INI";
    QTest::newRow("name of a folder") << ""
                                      << "sub";
    QTest::newRow("empty file name") << ""
                                     << "";
}

void TestFileIO::unreadableLeavesTableAsItWas() {
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QVERIFY(QDir(m_dir->path()).mkdir("sub"));
    writeFile("QelMonitor.INI", "IP = 10.1.2.3\n");
    TFileIO io;
    QCOMPARE(io.rowCount(), 4u);
    QCOMPARE(io.columnCount(), 4);
    QVERIFY(io.loadTable(m_dir->path(), "QelMonitor.INI"));
    QVERIFY(!io.loadTable(m_dir->filePath(folder), file));
    QCOMPARE(tableOf(io), Table({{"IP", "=", "10.1.2.3"}}));
}

void TestFileIO::secondLoadLeavesNothingOfTheFirst() {
    writeFile("a.txt", "one two three\nfour\nfive\n");
    writeFile("b.txt", "six\n");
    TFileIO io;
    QVERIFY(io.loadTable(m_dir->path(), "a.txt"));
    QVERIFY(io.loadTable(m_dir->path(), "b.txt"));
    QCOMPARE(tableOf(io), Table({{"six"}}));
    QCOMPARE(io.cell(1, 0), QString());
    QCOMPARE(io.cell(0, 1), QString());
    QCOMPARE(io.columnCount(), 1);
}

void TestFileIO::usesPathAndFileNameAndKeepsCurrentFolder() {
    writeFile("QelMonitor.INI", "128.0.1.9\n");
    const QString before = QDir::currentPath();
    TFileIO io;
    io.setPath(m_dir->path());
    io.setFileName("QelMonitor.INI");
    QCOMPARE(io.path(), m_dir->path());
    QCOMPARE(io.fileName(), QString("QelMonitor.INI"));
    QVERIFY(io.loadTable());
    QCOMPARE(io.cell(0, 0), QString("128.0.1.9"));
    QCOMPARE(QDir::currentPath(), before);
}

QTEST_GUILESS_MAIN(TestFileIO)
#include "tst_fileio.moc"
