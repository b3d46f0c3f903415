#include "support/TextEncoding.h"

#include <QtTest>

using namespace vantor;

Q_DECLARE_METATYPE(vantor::TextEncoding)

// How local text files are read and written back: whatever the bytes, reading and writing
// untouched gives the same bytes.
class TestTextEncoding : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void untouchedTextComesBackByteForByte_data();
    void untouchedTextComesBackByteForByte();
    void everyShortByteSequenceComesBackAsCp932();
    void cp932ShowsJapaneseAsWritten();
    void charactersTheEncodingLacksAreRefused_data();
    void charactersTheEncodingLacksAreRefused();
    void decodingAsAKnownEncoding();
};

void TestTextEncoding::untouchedTextComesBackByteForByte_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<bool>("byteOrderMark");
    QTest::newRow("empty") << QByteArray() << TextEncoding::Utf8 << false;
    QTest::newRow("ASCII") << QByteArray("[A]\r\nk=v\r\n") << TextEncoding::Utf8 << false;
    QTest::newRow("UTF-8 e9") << QByteArray("\xC3\xA9") << TextEncoding::Utf8 << false;
    QTest::newRow("ef bb bf, UTF-8 after") << QByteArray("\xEF\xBB\xBFx") << TextEncoding::Utf8 << true;
    QTest::newRow("ef bb bf ef bb bf")
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF") << TextEncoding::Utf8 << true;
    QTest::newRow("ef bb bf ff") << QByteArray("\xEF\xBB\xBF\xFF") << TextEncoding::Cp932 << false;
    QTest::newRow("ff fe 58 00") << QByteArray("\xFF\xFEX\x00", 4) << TextEncoding::Utf16LE << true;
    QTest::newRow("fe ff 00 58") << QByteArray("\xFE\xFF\x00X", 4) << TextEncoding::Utf16BE << true;
    QTest::newRow("ff fe 58") << QByteArray("\xFF\xFEX") << TextEncoding::Cp932 << false;
    // Windows keeps a lone surrogate in UTF-16 text, and so does the file.
    QTest::newRow("ff fe 00 d8 (lone surrogate)")
        << QByteArray("\xFF\xFE\x00\xD8", 4) << TextEncoding::Utf16LE << true;
    QTest::newRow("Shift-JIS 83 65 83 58 83 67")
        << QByteArray("\x83\x65\x83\x58\x83\x67") << TextEncoding::Cp932 << false;
    QTest::newRow("half-width katakana b1 b2") << QByteArray("\xB1\xB2") << TextEncoding::Cp932 << false;
    QTest::newRow("NEC-selected ed 40 (written as fa 5c elsewhere)")
        << QByteArray("\xED\x40") << TextEncoding::Cp932 << false;
    QTest::newRow("ee ef and fa 40, the same character")
        << QByteArray("\xEE\xEF\xFA\x40") << TextEncoding::Cp932 << false;
    QTest::newRow("87 9a and 81 e6, the same character")
        << QByteArray("\x87\x9A\x81\xE6") << TextEncoding::Cp932 << false;
    QTest::newRow("unassigned 85 40") << QByteArray("\x85\x40") << TextEncoding::Cp932 << false;
    QTest::newRow("lead byte at the end 41 81") << QByteArray("A\x81") << TextEncoding::Cp932 << false;
    QTest::newRow("lead byte before CR LF 81 0d 0a")
        << QByteArray("\x81\r\n") << TextEncoding::Cp932 << false;
    QTest::newRow("80 a0 fd fe ff") << QByteArray("\x80\xA0\xFD\xFE\xFF") << TextEncoding::Cp932 << false;
    QTest::newRow("81 a0 0d 0a") << QByteArray("\x81\xA0\r\n") << TextEncoding::Cp932 << false;
    QTest::newRow("Latin-1 caf e9") << QByteArray("caf\xE9") << TextEncoding::Cp932 << false;
    QTest::newRow("UTF-8 cut short e3 83") << QByteArray("\xE3\x83") << TextEncoding::Cp932 << false;
    QTest::newRow("NUL bytes") << QByteArray("a\0b\0", 4) << TextEncoding::Utf8 << false;
}

void TestTextEncoding::untouchedTextComesBackByteForByte() {
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    QFETCH(bool, byteOrderMark);
    const DecodedText decoded = decodeText(bytes);
    QCOMPARE(decoded.encoding, encoding);
    QCOMPARE(decoded.byteOrderMark, byteOrderMark);
    QCOMPARE(encodeText(decoded.text, decoded.encoding, decoded.byteOrderMark), bytes);
    QCOMPARE(decodeTextAs(bytes, encoding, byteOrderMark), decoded.text);
}

void TestTextEncoding::everyShortByteSequenceComesBackAsCp932() {
    for (int a = 0; a < 0x100; ++a) {
        for (int b = -1; b < 0x100; ++b) {
            QByteArray bytes(1, char(a));
            if (b >= 0)
                bytes += char(b);
            const QString text = decodeCp932Exactly(bytes);
            if (encodeCp932Exactly(text) != bytes)
                QFAIL(qPrintable("Not given back: " + bytes.toHex(' ')));
        }
    }
}

void TestTextEncoding::cp932ShowsJapaneseAsWritten() {
    QCOMPARE(decodeCp932Exactly("\x83\x65\x83\x58\x83\x67"), QString::fromUtf8("テスト"));
    QCOMPARE(decodeCp932Exactly("\x81\xA0"), QString::fromUtf8("□"));
    QCOMPARE(decodeCp932Exactly("\xB1"), QString::fromUtf8("ｱ"));
    QCOMPARE(decodeCp932Exactly("C:\\"), QStringLiteral("C:\\"));
    // A stray byte stands for itself and leaves the characters around it readable.
    QCOMPARE(decodeCp932Exactly("\x83\x65\xFF\x83\x67").remove(1, 1), QString::fromUtf8("テト"));
    QCOMPARE(encodeCp932Exactly(QString::fromUtf8("テスト")), QByteArray("\x83\x65\x83\x58\x83\x67"));
}

void TestTextEncoding::charactersTheEncodingLacksAreRefused_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::newRow("e9 in CP932") << QString::fromUtf8("caf\xC3\xA9") << TextEncoding::Cp932;
    QTest::newRow("yen sign in CP932 (reads back as a backslash)")
        << QString::fromUtf8("\xC2\xA5") << TextEncoding::Cp932;
    QTest::newRow("emoji in CP932") << QString::fromUtf8("\xF0\x9F\x98\x80") << TextEncoding::Cp932;
    QTest::newRow("lone surrogate in UTF-8") << QString(QChar(0xD800)) << TextEncoding::Utf8;
}

void TestTextEncoding::charactersTheEncodingLacksAreRefused() {
    QFETCH(QString, text);
    QFETCH(TextEncoding, encoding);
    QVERIFY(!encodeText(text, encoding, false));
}

void TestTextEncoding::decodingAsAKnownEncoding() {
    // Valid UTF-8 read as the CP932 it was written in.
    QCOMPARE(decodeTextAs("\xC3\xA9", TextEncoding::Cp932, false), QString::fromUtf8("ﾃｩ"));
    QVERIFY(!decodeTextAs("\xFF", TextEncoding::Utf8, false));
    QVERIFY(!decodeTextAs("x", TextEncoding::Utf8, true));
    QCOMPARE(decodeTextAs("\xEF\xBB\xBFx", TextEncoding::Utf8, true), QStringLiteral("x"));
}

QTEST_GUILESS_MAIN(TestTextEncoding)
#include "tst_textencoding.moc"
