#include "support/IniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;

class TestIniFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void readsAsWindowsDoes_data();
    void readsAsWindowsDoes();
    void keysInFileOrder();
    void rewriteKeepsOrderAndAppendsToTheSection();
    void windowsFileWithBomAndCrLf();
    void lfFileStaysLf();
    void unicodeFileWithUtf16Bom();
    void eightBitValueSurvivesByteExact();
    void characterTheEncodingCannotStoreIsRefused();
    void shiftJisTitleReadsAsWritten();
    void rewriteKeepsTheEncodingItWasReadWith_data();
    void rewriteKeepsTheEncodingItWasReadWith();
    void shiftJisFileStaysShiftJisOnceItsLastJapaneseIsGone();
    void fileChangedByAnotherProgramIsGuessedAfresh();
    void missingFileAndSectionAreCreated();
    void lastLineWithoutLineEnd();
    void deleteKey();
    void eraseSection();
    void unusableNamesAndValuesRefused_data();
    void unusableNamesAndValuesRefused();
    void twoObjectsSeeEachOthersWrites();
    void manyKeysInOneRewrite();
    void unwritableFolderFails();

private:
    QString fixture(const QByteArray& bytes, const QString& name = "OS9Batch.INI");
    QByteArray contents(const QString& path);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestIniFile::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestIniFile::fixture(const QByteArray& bytes, const QString& name) {
    QFile f(m_dir->filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write fixture");
    return f.fileName();
}

QByteArray TestIniFile::contents(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

static const QByteArray kSample = "; user batches\r\n"
                                  "orphan=ignored\r\n"
                                  "[Batch5]\r\n"
                                  "Title = Reset stage  \r\n"
                                  "Line00=chd /h0\r\n"
                                  "  Line01  =  dir -e\r\n"
                                  "not a key line\r\n"
                                  "Line02=copy a=b\r\n"
                                  "\r\n"
                                  "[ Batch6 ]\r\n"
                                  "Title=\r\n"
                                  "Title=second copy\r\n"
                                  "[batch5]\r\n"
                                  "Title=second section\r\n";

void TestIniFile::readsAsWindowsDoes_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blanks around value trimmed") << "Batch5"
                                                 << "Title"
                                                 << "Reset stage";
    QTest::newRow("blanks around key trimmed") << "Batch5"
                                               << "Line01"
                                               << "dir -e";
    QTest::newRow("section name any case") << "BATCH5"
                                           << "Line00"
                                           << "chd /h0";
    QTest::newRow("key name any case") << "Batch5"
                                       << "line00"
                                       << "chd /h0";
    QTest::newRow("value holding =") << "Batch5"
                                     << "Line02"
                                     << "copy a=b";
    QTest::newRow("blanks inside brackets") << "Batch6"
                                            << "Title"
                                            << "";
    QTest::newRow("first of repeated keys") << "batch6"
                                            << "TITLE"
                                            << "";
    QTest::newRow("first of repeated sections") << "Batch5"
                                                << "Title"
                                                << "Reset stage";
    QTest::newRow("key before any section") << ""
                                            << "orphan"
                                            << "<default>";
    QTest::newRow("missing key") << "Batch5"
                                 << "Line09"
                                 << "<default>";
    QTest::newRow("missing section") << "Batch7"
                                     << "Title"
                                     << "<default>";
    QTest::newRow("line without =") << "Batch5"
                                    << "not a key line"
                                    << "<default>";
}

void TestIniFile::readsAsWindowsDoes() {
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const IniFile ini(fixture(kSample));
    QCOMPARE(ini.read(section, key, "<default>"), expected);
}

void TestIniFile::keysInFileOrder() {
    const IniFile ini(fixture(kSample));
    QCOMPARE(ini.sections(), QStringList({"Batch5", "Batch6"}));
    QCOMPARE(ini.keys("batch5"), QStringList({"Title", "Line00", "Line01", "Line02"}));
    QCOMPARE(ini.keys("Batch6"), QStringList({"Title", "Title"}));
    QCOMPARE(ini.keys("Batch7"), QStringList());
    QCOMPARE(ini.sectionValues("Batch5"),
             QStringList({"Title=Reset stage", "Line00=chd /h0", "Line01=dir -e", "Line02=copy a=b"}));
    QCOMPARE(IniFile(m_dir->filePath("none.ini")).keys("Batch5"), QStringList());
}

void TestIniFile::rewriteKeepsOrderAndAppendsToTheSection() {
    const QString path = fixture("[A]\nk1=1\nk2=2\nk3=3\n\n[B]\nx=9\n");
    IniFile ini(path);
    QVERIFY(ini.write("a", "K2", "two"));
    QVERIFY(ini.write("A", "k4", "4"));
    QVERIFY(ini.write("B", "y", "10"));
    QCOMPARE(ini.keys("A"), QStringList({"k1", "k2", "k3", "k4"}));
    QCOMPARE(ini.read("A", "k2"), QString("two"));
    QCOMPARE(contents(path), QByteArray("[A]\nk1=1\nk2=two\nk3=3\nk4=4\n\n[B]\nx=9\ny=10\n"));
}

// As Notepad or a Windows program saves it: byte order mark, CR LF, blanks around "=".
void TestIniFile::windowsFileWithBomAndCrLf() {
    const QString path = fixture("\xEF\xBB\xBF" + kSample);
    IniFile ini(path);
    QCOMPARE(ini.sections().value(0), QString("Batch5"));
    QCOMPARE(ini.read("Batch5", "Title"), QString("Reset stage"));
    QVERIFY(ini.write("Batch5", "Line01", "dir"));
    QVERIFY(ini.write("Batch5", "Line03", "free /h0"));
    QByteArray expected = "\xEF\xBB\xBF" + kSample;
    expected.replace("  Line01  =  dir -e\r\n", "  Line01  =  dir\r\n");
    expected.replace("Line02=copy a=b\r\n", "Line02=copy a=b\r\nLine03=free /h0\r\n");
    QCOMPARE(contents(path), expected);
}

void TestIniFile::lfFileStaysLf() {
    QByteArray lf = kSample;
    lf.replace("\r\n", "\n");
    const QString path = fixture(lf);
    QVERIFY(IniFile(path).write("Batch7", "Title", "new"));
    QCOMPARE(contents(path), lf + "[Batch7]\nTitle=new\n");
}

void TestIniFile::unicodeFileWithUtf16Bom() {
    const QString text = QString::fromUtf8("[Batch5]\r\nTitle=\xE6\x97\xA5\xE6\x9C\xAC\r\n");
    QByteArray bytes("\xFF\xFE", 2);
    bytes += QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    const QString path = fixture(bytes);
    IniFile ini(path);
    QCOMPARE(ini.read("Batch5", "Title"), QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC"));
    QVERIFY(ini.write("Batch5", "Line00", "dir"));
    const QString more = text + "Line00=dir\r\n";
    QCOMPARE(contents(path), QByteArray("\xFF\xFE", 2) +
                                 QByteArray(reinterpret_cast<const char*>(more.utf16()), more.size() * 2));
}

// A Shift-JIS title typed on the instrument PC is not valid UTF-8; rewriting another key
// must give back its bytes unchanged.
void TestIniFile::eightBitValueSurvivesByteExact() {
    const QByteArray original = "[Batch5]\r\nTitle=\x83\x65\x83\x58\x83\x67 \xE9t\xE9\r\nLine00=dir\r\n";
    const QString path = fixture(original);
    IniFile ini(path);
    QVERIFY(ini.write("Batch5", "Line00", "dir -e"));
    QVERIFY(ini.write("Batch5", "Line01", "free"));
    QCOMPARE(contents(path), QByteArray("[Batch5]\r\nTitle=\x83\x65\x83\x58\x83\x67 \xE9t\xE9\r\n"
                                        "Line00=dir -e\r\nLine01=free\r\n"));
    // What was read is written back as it came.
    const QString title = ini.read("Batch5", "Title");
    QVERIFY(ini.write("Batch5", "Title", title));
    QVERIFY(ini.write("Batch6", "Title", title));
    QVERIFY(contents(path).endsWith("[Batch6]\r\nTitle=\x83\x65\x83\x58\x83\x67 \xE9t\xE9\r\n"));
}

void TestIniFile::characterTheEncodingCannotStoreIsRefused() {
    const QByteArray original = "[Batch5]\r\nTitle=\xE9t\xE9\r\n";
    const QString path = fixture(original);
    IniFile ini(path);
    // An accented letter, which the Japanese code page lacks.
    QVERIFY(!ini.write("Batch5", "Line00", QString::fromUtf8("\xC3\xA9")));
    QVERIFY(!ini.errorString().isEmpty());
    QCOMPARE(contents(path), original);
}

// "テスト" as the instrument's Japanese Windows PC stores it.
static const QByteArray kTestInShiftJis = "\x83\x65\x83\x58\x83\x67";
static const QString kTestInJapanese = QString::fromUtf8("\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88");

void TestIniFile::shiftJisTitleReadsAsWritten() {
    const QByteArray original = "[Batch5]\r\nTitle=" + kTestInShiftJis + "\r\nLine00=dir\r\n";
    const QString path = fixture(original);
    IniFile ini(path);
    QCOMPARE(ini.read("Batch5", "Title"), kTestInJapanese);
    QVERIFY(ini.write("Batch5", "Title", kTestInJapanese));
    QCOMPARE(contents(path), original);
}

// A rewrite must not change how the rest of the file reads, and gives the file back with
// only the written line changed.
void TestIniFile::rewriteKeepsTheEncodingItWasReadWith_data() {
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("expected");
    // Once the 0xFF is gone, the rest of the file is valid UTF-8.
    QTest::newRow("[A] x=c3 a9 y=ff, y set to 1") << QByteArray("[A]\r\nx=\xC3\xA9\r\ny=\xFF\r\n") << "A"
                                                  << "y"
                                                  << "1" << QByteArray("[A]\r\nx=\xC3\xA9\r\ny=1\r\n");
    // An 8-bit file that starts like a UTF-16 byte order mark, of even length once it grows.
    QTest::newRow("ff fe 58, [A] k=22 added") << QByteArray("\xFF\xFE\x58", 3) << "A"
                                              << "k"
                                              << "22" << QByteArray("\xFF\xFE\x58\r\n[A]\r\nk=22\r\n");
    QTest::newRow("Shift-JIS title, line added")
        << QByteArray("[Batch5]\r\nTitle=" + kTestInShiftJis + "\r\n") << "Batch5"
        << "Line00"
        << "dir" << QByteArray("[Batch5]\r\nTitle=" + kTestInShiftJis + "\r\nLine00=dir\r\n");
    QTest::newRow("UTF-8 byte order mark, Japanese added")
        << QByteArray("\xEF\xBB\xBF[A]\r\nx=1\r\n") << "A"
        << "y" << kTestInJapanese
        << QByteArray("\xEF\xBB\xBF[A]\r\nx=1\r\ny=\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\r\n");
}

void TestIniFile::rewriteKeepsTheEncodingItWasReadWith() {
    QFETCH(QByteArray, original);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, expected);
    const QString path = fixture(original);
    auto everything = [&] {
        QStringList all;
        const IniFile ini(path);
        for (const QString& s : ini.sections())
            all << "[" + s + "]" << ini.sectionValues(s);
        return all;
    };
    QStringList before = everything();
    QVERIFY(IniFile(path).write(section, key, value));
    QCOMPARE(contents(path), expected);
    QCOMPARE(IniFile(path).read(section, key), value);
    QStringList after = everything();
    after.removeAll(key + "=" + value);
    before.removeIf([&](const QString& entry) { return entry.startsWith(key + "="); });
    if (!before.contains("[" + section + "]"))
        before << "[" + section + "]";
    QCOMPARE(after, before);
}

void TestIniFile::shiftJisFileStaysShiftJisOnceItsLastJapaneseIsGone() {
    const QString path = fixture("[Batch5]\r\nTitle=" + kTestInShiftJis + "\r\nLine00=dir\r\n");
    QVERIFY(IniFile(path).write("Batch5", "Title", "plain"));
    QCOMPARE(contents(path), QByteArray("[Batch5]\r\nTitle=plain\r\nLine00=dir\r\n"));
    // The file now holds nothing but ASCII, and is still the Japanese PC's file.
    QVERIFY(IniFile(path).write("Batch5", "Title", kTestInJapanese));
    QCOMPARE(contents(path), QByteArray("[Batch5]\r\nTitle=" + kTestInShiftJis + "\r\nLine00=dir\r\n"));
    QCOMPARE(IniFile(path).read("Batch5", "Title"), kTestInJapanese);
}

void TestIniFile::fileChangedByAnotherProgramIsGuessedAfresh() {
    const QString path = fixture("[A]\r\nx=\xFF\r\n");
    QVERIFY(IniFile(path).write("A", "x", "1"));
    // Another program rewrites the file as UTF-8.
    QFile::remove(path);
    fixture("[A]\r\nx=\xC3\xA9\r\n");
    QCOMPARE(IniFile(path).read("A", "x"), QString::fromUtf8("\xC3\xA9"));
    QVERIFY(IniFile(path).write("A", "y", QString::fromUtf8("\xC3\xA9")));
    QCOMPARE(contents(path), QByteArray("[A]\r\nx=\xC3\xA9\r\ny=\xC3\xA9\r\n"));
}

void TestIniFile::missingFileAndSectionAreCreated() {
    const QString path = m_dir->filePath("SystemBkup.ini");
    IniFile ini(path);
    QVERIFY(!ini.exists());
    QCOMPARE(ini.read("BkupSectionNames", "AllFiles", "none"), QString("none"));
    QVERIFY(ini.write("BkupSectionNames", "AllFiles", "1"));
    QVERIFY(ini.write("AllFiles", "IonSource.ini", "$00100000"));
    QVERIFY(ini.write("BkupSectionNames", "AllFiles0", "1"));
    QVERIFY(ini.exists());
    QCOMPARE(contents(path), QByteArray("[BkupSectionNames]\r\nAllFiles=1\r\nAllFiles0=1\r\n"
                                        "[AllFiles]\r\nIonSource.ini=$00100000\r\n"));
    // An empty entry list creates the file and nothing in it.
    const QString empty = m_dir->filePath("empty.ini");
    QVERIFY(IniFile(empty).write("S", QList<IniFile::Entry>{}));
    QCOMPARE(contents(empty), QByteArray());
}

void TestIniFile::lastLineWithoutLineEnd() {
    const QString path = fixture("[A]\r\nk=1");
    QVERIFY(IniFile(path).write("A", "m", "2"));
    QCOMPARE(contents(path), QByteArray("[A]\r\nk=1\r\nm=2\r\n"));
    const QString other = fixture("[A]\nk=1", "b.ini");
    QVERIFY(IniFile(other).write("B", "m", "2"));
    QCOMPARE(contents(other), QByteArray("[A]\nk=1\n[B]\nm=2\n"));
}

void TestIniFile::deleteKey() {
    const QString path = fixture("[A]\r\n; keep me\r\nk=1\r\nK=again\r\nm=2\r\n[B]\r\nk=3\r\n");
    IniFile ini(path);
    QVERIFY(ini.deleteKey("a", "k"));
    QCOMPARE(contents(path), QByteArray("[A]\r\n; keep me\r\nm=2\r\n[B]\r\nk=3\r\n"));
    QVERIFY(ini.deleteKey("A", "absent"));
    QVERIFY(ini.deleteKey("Absent", "k"));
    QCOMPARE(contents(path), QByteArray("[A]\r\n; keep me\r\nm=2\r\n[B]\r\nk=3\r\n"));
    QVERIFY(IniFile(m_dir->filePath("none.ini")).deleteKey("A", "k"));
    QVERIFY(!QFile::exists(m_dir->filePath("none.ini")));
}

void TestIniFile::eraseSection() {
    const QString path =
        fixture("; head\r\n[A]\r\nk=1\r\n\r\n[B]\r\n; about B\r\nx=2\r\n[a]\r\nk=3\r\n[C]\r\ny=4\r\n");
    IniFile ini(path);
    QVERIFY(ini.eraseSection("A"));
    QCOMPARE(contents(path), QByteArray("; head\r\n[B]\r\n; about B\r\nx=2\r\n[C]\r\ny=4\r\n"));
    QCOMPARE(ini.sections(), QStringList({"B", "C"}));
    QVERIFY(ini.eraseSection("Absent"));
    QVERIFY(ini.eraseSection("c"));
    QCOMPARE(contents(path), QByteArray("; head\r\n[B]\r\n; about B\r\nx=2\r\n"));
}

void TestIniFile::unusableNamesAndValuesRefused_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("empty section") << ""
                                   << "k"
                                   << "v";
    QTest::newRow("blank section") << "  "
                                   << "k"
                                   << "v";
    QTest::newRow("line break in section") << "A\r\n[B"
                                           << "k"
                                           << "v";
    QTest::newRow("empty key") << "A"
                               << ""
                               << "v";
    QTest::newRow("= in key") << "A"
                              << "a=b"
                              << "v";
    QTest::newRow("comment key") << "A"
                                 << ";k"
                                 << "v";
    QTest::newRow("section-like key") << "A"
                                      << "[k]"
                                      << "v";
    QTest::newRow("line feed in value") << "A"
                                        << "k"
                                        << "one\ntwo=2";
    QTest::newRow("carriage return in value") << "A"
                                              << "k"
                                              << "one\rtwo";
}

void TestIniFile::unusableNamesAndValuesRefused() {
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QByteArray original = "[A]\r\nk=1\r\n";
    const QString path = fixture(original);
    IniFile ini(path);
    QVERIFY(!ini.write(section, key, value));
    QVERIFY(!ini.errorString().isEmpty());
    QCOMPARE(contents(path), original);
}

void TestIniFile::twoObjectsSeeEachOthersWrites() {
    const QString path = m_dir->filePath("OS9Batch.INI");
    IniFile first(path);
    IniFile second(path);
    QVERIFY(first.write("Batch5", "Title", "one"));
    QCOMPARE(second.read("Batch5", "Title"), QString("one"));
    QVERIFY(second.write("Batch5", "Line00", "dir"));
    QCOMPARE(first.keys("Batch5"), QStringList({"Title", "Line00"}));
}

void TestIniFile::manyKeysInOneRewrite() {
    const QString path = fixture("[Batch5]\r\nTitle=old\r\nLine00=a\r\n");
    IniFile ini(path);
    QList<IniFile::Entry> entries{{"Title", "new"}};
    for (int n = 0; n < 101; ++n)
        entries.append({QStringLiteral("Line%1").arg(n, 2, 10, QLatin1Char('0')), QString::number(n)});
    QVERIFY(ini.write("Batch5", entries));
    const QStringList keys = ini.keys("Batch5");
    QCOMPARE(keys.size(), 102);
    QCOMPARE(keys.first(), QString("Title"));
    QCOMPARE(keys.last(), QString("Line100"));
    QCOMPARE(ini.read("Batch5", "Line00"), QString("0"));
}

void TestIniFile::unwritableFolderFails() {
    IniFile ini(m_dir->filePath("no-such-folder/OS9Batch.INI"));
    QVERIFY(!ini.write("Batch5", "Title", "x"));
    QVERIFY(ini.errorString().contains("no-such-folder"));
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
