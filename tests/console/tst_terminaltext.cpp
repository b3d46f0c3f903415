#include "console/engine/ConsoleCommands.h"
#include "console/engine/Cp932.h"
#include "console/engine/TerminalLog.h"
#include "console/engine/TerminalText.h"
#include "support/Errors.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;

// The text store behind both terminal views, and what is saved and sent from it.
class TestTerminalText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void appendsAndBreaksLines_data();
    void appendsAndBreaksLines();
    void crLfSplitBetweenAppendsIsOneBreak();
    void deleteLastCharTakesWholeCharacters();
    void messageLinesStandAlone();
    void overlongLineIsEnded();
    void byteOrderMarkIsKeptAndErasedAsOneCharacter();
    void splittingTheSameBytesGivesTheSameLines_data();
    void splittingTheSameBytesGivesTheSameLines();
    void manyMegabytesStayIntact();
    void changeListenerHearsEveryChange();
    void shiftJisRoundTrip();
    void logHasCrLfAndShiftJis();
    void logOfEmptyView();
    void logToUnwritablePlaceLeavesNothing();
    void commandsEndWithCrOnly();
};

void TestTerminalText::appendsAndBreaksLines_data() {
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("one piece") << QStringList{"abc"} << QStringList{"abc"};
    QTest::newRow("pieces join on the last line") << QStringList{"ab", "c"} << QStringList{"abc"};
    QTest::newRow("CR LF ends a line") << QStringList{"a\r\nb"} << QStringList{"a", "b"};
    QTest::newRow("trailing CR LF opens an empty line") << QStringList{"a\r\n"} << QStringList{"a", ""};
    QTest::newRow("bare CR and LF stay in the line") << QStringList{"a\rb\nc"} << QStringList{"a\rb\nc"};
    QTest::newRow("LF CR is no pair") << QStringList{"a\n\rb"} << QStringList{"a\n\rb"};
    QTest::newRow("empty lines") << QStringList{"\r\n\r\n"} << QStringList{"", "", ""};
    QTest::newRow("CR CR LF") << QStringList{"a\r\r\nb"} << QStringList{"a\r", "b"};
    QTest::newRow("Japanese") << QStringList{QString::fromUtf8("日本\r\nｶﾅ")}
                              << QStringList{QString::fromUtf8("日本"), QString::fromUtf8("ｶﾅ")};
    // At the line-length limit the full line ends there and no pair is parted.
    const qsizetype max = TerminalText::kMaxLineLength;
    const QString full(max, u'x');
    const QString oneShort(max - 1, u'x');
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("full line, CR LF") << QStringList{full + "\r\n"} << QStringList{full, ""};
    QTest::newRow("full line, CR | LF") << QStringList{full + "\r", "\n"} << QStringList{full, ""};
    QTest::newRow("full line | CR | LF y") << QStringList{full, "\r", "\ny"} << QStringList{full, "y"};
    QTest::newRow("full line, CR CR | LF") << QStringList{full + "\r\r", "\n"} << QStringList{full, "\r", ""};
    QTest::newRow("full line, CR | x") << QStringList{full + "\r", "x"} << QStringList{full, "\rx"};
    QTest::newRow("one short, CR | LF") << QStringList{oneShort + "\r", "\n"} << QStringList{oneShort, ""};
    QTest::newRow("one short, surrogate pair")
        << QStringList{oneShort + face + "y"} << QStringList{oneShort, face + "y"};
    QTest::newRow("one short | surrogate pair")
        << QStringList{oneShort, face + "y"} << QStringList{oneShort, face + "y"};
    QTest::newRow("surrogate pair split between pieces")
        << QStringList{"a" + face.left(1), face.mid(1) + "b"} << QStringList{"a" + face + "b"};
    QTest::newRow("full line | high surrogate | low surrogate")
        << QStringList{full, face.left(1), face.mid(1)} << QStringList{full, face};
    QTest::newRow("two short, surrogate pair") << QStringList{oneShort.left(max - 2) + face + "y"}
                                               << QStringList{oneShort.left(max - 2) + face, "y"};
}

void TestTerminalText::appendsAndBreaksLines() {
    QFETCH(QStringList, pieces);
    QFETCH(QStringList, lines);
    TerminalText text;
    for (const QString& piece : pieces)
        text.append(piece);
    QCOMPARE(text.lines(), lines);
    QCOMPARE(text.lineCount(), lines.size());
    QCOMPARE(text.lastLine(), lines.last());
}

void TestTerminalText::crLfSplitBetweenAppendsIsOneBreak() {
    TerminalText text;
    text.append(u"abc\r");
    QCOMPARE(text.lines(), QStringList{"abc\r"});
    text.append(u"\ndef");
    QCOMPARE(text.lines(), (QStringList{"abc", "def"}));
    text.append(u"\r");
    text.append(u"x"); // not a pair: the CR stays
    QCOMPARE(text.lastLine(), QStringLiteral("def\rx"));
}

void TestTerminalText::deleteLastCharTakesWholeCharacters() {
    TerminalText text;
    text.deleteLastChar(); // empty: nothing happens
    QVERIFY(text.isEmpty());
    text.append(QString::fromUtf8("a日\U0001F600"));
    text.deleteLastChar();
    QCOMPARE(text.lastLine(), QString::fromUtf8("a日"));
    text.deleteLastChar();
    QCOMPARE(text.lastLine(), QStringLiteral("a"));
    text.append(u"\r\n");
    text.deleteLastChar(); // an empty last line stays; the line above is untouched
    QCOMPARE(text.lines(), (QStringList{"a", ""}));
}

void TestTerminalText::messageLinesStandAlone() {
    TerminalText text;
    text.appendLine(u"Connected");
    text.append(u"login: ");
    text.appendLine(u"Disconnected");
    text.append(u"x");
    QCOMPARE(text.lines(), (QStringList{"Connected", "login: ", "Disconnected", "x"}));
}

void TestTerminalText::overlongLineIsEnded() {
    TerminalText text;
    const QString run(TerminalText::kMaxLineLength + 10, u'x');
    text.append(run);
    QCOMPARE(text.lineCount(), 2);
    QCOMPARE(text.line(0).size(), TerminalText::kMaxLineLength);
    QCOMPARE(text.line(1), QString(10, u'x'));
    QCOMPARE(text.widestLineCells(), TerminalText::kMaxLineLength);
}

void TestTerminalText::byteOrderMarkIsKeptAndErasedAsOneCharacter() {
    const QString mark(QChar(0xFEFF));
    TerminalText text;
    text.append(QString("dir\r\n" + mark + "ab\r\n" + mark));
    QCOMPARE(text.lines(), (QStringList{"dir", mark + "ab", mark}));
    text.deleteLastChar();
    QCOMPARE(text.lastLine(), QString());
    // The erased mark no longer counts toward the line's length.
    text.append(QString(TerminalText::kMaxLineLength, u'x'));
    QCOMPARE(text.lineCount(), 3);
    QCOMPARE(text.lastLine().size(), TerminalText::kMaxLineLength);
}

// Received bytes split into pieces anywhere, as the network and the serial line do, give
// the same lines as when they arrive in one piece.
void TestTerminalText::splittingTheSameBytesGivesTheSameLines_data() {
    const QByteArray full(TerminalText::kMaxLineLength, 'x');
    const QByteArray japanese = encodeCp932(QString::fromUtf8("日本語ｶﾅ"));
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("full line CR LF") << full + "\r\nabc\r\n";
    QTest::newRow("full line CR CR LF") << full + "\r\r\nz";
    QTest::newRow("full line CR x") << full + "\rx";
    QTest::newRow("full line and a half, no line end") << full + full.left(100);
    QTest::newRow("one short CR LF") << full.left(full.size() - 1) + "\r\n";
    QTest::newRow("Shift-JIS across the limit") << full.left(full.size() - 3) + japanese + "\r\n" + japanese;
    QTest::newRow("LF CR and bare CR") << QByteArray("a\n\rb\rc\r\r\n\n");
    QTest::newRow("stray bytes 81 0d 0a ff") << QByteArray("\x81\r\n\xFF"
                                                           "a\x81");
}

void TestTerminalText::splittingTheSameBytesGivesTheSameLines() {
    QFETCH(QByteArray, bytes);
    auto linesOf = [](const QList<QByteArrayView>& pieces) {
        Cp932Decoder decoder;
        TerminalText text;
        for (QByteArrayView piece : pieces)
            text.append(decoder.decode(piece));
        return text.lines();
    };
    const QStringList whole = linesOf({bytes});
    // Every cut near the end, where the limit and the line ends meet, and two cuts at once.
    for (qsizetype cut = std::max<qsizetype>(1, bytes.size() - 40); cut < bytes.size(); ++cut) {
        const QByteArrayView all(bytes);
        QCOMPARE(linesOf({all.first(cut), all.sliced(cut)}), whole);
        if (cut + 1 < bytes.size())
            QCOMPARE(linesOf({all.first(cut), all.sliced(cut, 1), all.sliced(cut + 1)}), whole);
    }
}

// Lines that move to a fresh storage block must come out unchanged, wherever the block
// boundary falls.
void TestTerminalText::manyMegabytesStayIntact() {
    TerminalText text;
    QStringList expected;
    for (int i = 0; i < 60000; ++i) {
        QString line = QStringLiteral("line %1 ").arg(i) + QString((i * 37) % 90, QChar(u'a' + i % 26));
        if (i % 7 == 0)
            line += QString::fromUtf8("漢字ｶﾅ");
        expected << line;
        // Each line arrives in two pieces so that lines grow across block boundaries.
        const qsizetype half = line.size() / 2;
        text.append(QStringView(line).left(half));
        text.append(QString(line.mid(half) + QStringLiteral("\r\n")));
    }
    expected << QString();
    QVERIFY(text.storedBytes() > 2 * 1024 * 1024);
    QCOMPARE(text.lineCount(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        QCOMPARE(text.line(i), expected.at(i));
}

void TestTerminalText::changeListenerHearsEveryChange() {
    TerminalText text;
    int calls = 0;
    text.setChangeListener([&] { ++calls; });
    text.append(u"a\r\nb\r\nc"); // one change, however many lines
    QCOMPARE(calls, 1);
    text.deleteLastChar();
    text.appendLine(u"x");
    text.breakLine();
    text.clear();
    QCOMPARE(calls, 5);
    text.deleteLastChar(); // nothing to delete, nothing changed
    QCOMPARE(calls, 5);
}

void TestTerminalText::shiftJisRoundTrip() {
    const QString japanese = QString::fromUtf8("日本語 ｶﾀｶﾅ ①～");
    const QByteArray bytes = encodeCp932(japanese);
    QCOMPARE(decodeCp932(bytes), japanese);
    QCOMPARE(encodeCp932(QString::fromUtf8("C:¥dir")), QByteArray("C:\\dir"));
    // Split after every byte: the decoder holds the lead byte back until its partner comes.
    Cp932Decoder decoder;
    QString joined;
    for (char b : bytes)
        joined += decoder.decode(QByteArrayView(&b, 1));
    QCOMPARE(joined, japanese);
}

void TestTerminalText::logHasCrLfAndShiftJis() {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    TerminalText text;
    text.append(QString::fromUtf8("dir\r\n日本\r\n$ "));
    saveTerminalLog(text, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("dir\r\n") + encodeCp932(QString::fromUtf8("日本")) + "\r\n$ \r\n");

    // A view that ends with a line end adds no empty line; the old file is replaced.
    TerminalText ended;
    ended.append(u"a\r\nb\r\n");
    saveTerminalLog(ended, path);
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("a\r\nb\r\n"));
}

void TestTerminalText::logOfEmptyView() {
    QTemporaryDir dir;
    const QString path = dir.filePath("empty.txt");
    saveTerminalLog(TerminalText(), path);
    QCOMPARE(QFileInfo(path).size(), 0);
}

void TestTerminalText::logToUnwritablePlaceLeavesNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath("no/such/folder/log.txt");
    TerminalText text;
    text.append(u"x");
    QVERIFY_THROWS_EXCEPTION(FileError, saveTerminalLog(text, path));
    QVERIFY(!QFileInfo::exists(path));
}

void TestTerminalText::commandsEndWithCrOnly() {
    QCOMPARE(batchCommands({"chd /h0", "", "dir st* -e"}),
             (QList<QByteArray>{"chd /h0\r", "\r", "dir st* -e\r"}));
    QVERIFY(batchCommands({}).isEmpty());
    QCOMPARE(abortCommand(), QByteArray("\x03"));
    QCOMPARE(startQelCommand(), QByteArray("chd /h0; startqel2\r"));
    QCOMPARE(adjustTimeCommand(QDateTime(QDate(2009, 3, 7), QTime(14, 5, 9))),
             QByteArray("setime 09/03/07 14:05:09\r"));
    const QStringList rows = commandListRows();
    QCOMPARE(rows.size(), 100);
    QCOMPARE(rows.at(0), QStringLiteral("dir"));
    QVERIFY(rows.at(9).isEmpty() && rows.at(10).isEmpty());
    QCOMPARE(rows.at(14), QStringLiteral("dsave /h0/QEL/HARD/CUSTOMDATA -evdmb100"));
    QVERIFY(rows.at(15).isEmpty());
}

QTEST_GUILESS_MAIN(TestTerminalText)
#include "tst_terminaltext.moc"
