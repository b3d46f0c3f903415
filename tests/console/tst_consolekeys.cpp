#include "console/engine/ConsoleKeys.h"
#include "console/widgets/ConsoleKeyEvent.h"

#include <QKeyEvent>
#include <QtTest>

using namespace vantor;

// Keys released in a terminal view and the character each sends.
class TestConsoleKeys : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void translateTable_data();
    void translateTable();
    void typedCharacterIsSent_data();
    void typedCharacterIsSent();
    void keypadKeysSendTheirCharacter_data();
    void keypadKeysSendTheirCharacter();
};

void TestConsoleKeys::translateTable_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<int>("sent"); // -1: nothing

    for (int code : {16, 17, 18, 28, 29})
        QTest::addRow("%d not sent", code) << code << false << false << -1;
    QTest::newRow("Shift+0 nothing") << 48 << true << false << -1;
    QTest::newRow("0") << 48 << false << false << int('0');
    QTest::newRow("Shift+1 !") << 49 << true << false << int('!');
    QTest::newRow("Shift+7 '") << 55 << true << false << int('\'');
    QTest::newRow("Shift+9 )") << 57 << true << false << int(')');
    QTest::newRow("Shift+58 *") << 58 << true << false << int('*');
    QTest::newRow("Shift+59 +") << 59 << true << false << int('+');
    QTest::newRow("5") << 53 << false << false << int('5');
    QTest::newRow("Ctrl+A 1") << 65 << false << true << 1;
    QTest::newRow("Ctrl+Shift+A 1") << 65 << true << true << 1;
    QTest::newRow("Ctrl+C 3") << 67 << false << true << 3;
    QTest::newRow("Ctrl+B b") << 66 << false << true << int('b');
    QTest::newRow("Shift+Z Z") << 90 << true << false << int('Z');
    QTest::newRow("a") << 65 << false << false << int('a');
    QTest::newRow("98 backslash") << 98 << false << false << int('\\');
    QTest::newRow("98 Shift backslash") << 98 << true << false << int('\\');
    QTest::newRow("186 :") << 186 << false << false << int(':');
    QTest::newRow("Shift+186 *") << 186 << true << false << int('*');
    QTest::newRow("187 ;") << 187 << false << false << int(';');
    QTest::newRow("Shift+187 +") << 187 << true << false << int('+');
    QTest::newRow("188 ,") << 188 << false << false << int(',');
    QTest::newRow("Shift+188 <") << 188 << true << false << int('<');
    QTest::newRow("189 -") << 189 << false << false << int('-');
    QTest::newRow("Shift+189 =") << 189 << true << false << int('=');
    QTest::newRow("190 .") << 190 << false << false << int('.');
    QTest::newRow("Shift+190 >") << 190 << true << false << int('>');
    QTest::newRow("191 /") << 191 << false << false << int('/');
    QTest::newRow("Shift+191 ?") << 191 << true << false << int('?');
    QTest::newRow("192 @") << 192 << false << false << int('@');
    QTest::newRow("Shift+192 @") << 192 << true << false << int('@');
    QTest::newRow("219 [") << 219 << false << false << int('[');
    QTest::newRow("Shift+219 {") << 219 << true << false << int('{');
    QTest::newRow("220 backslash") << 220 << false << false << int('\\');
    QTest::newRow("Shift+220 |") << 220 << true << false << int('|');
    QTest::newRow("221 ]") << 221 << false << false << int(']');
    QTest::newRow("Shift+221 }") << 221 << true << false << int('}');
    QTest::newRow("222 ^") << 222 << false << false << int('^');
    QTest::newRow("226 backslash") << 226 << false << false << int('\\');
    QTest::newRow("Shift+226 _") << 226 << true << false << int('_');
    QTest::newRow("Enter CR") << 13 << false << false << 13;
    QTest::newRow("Backspace BS") << 8 << false << false << 8;
    QTest::newRow("Escape ESC") << 27 << false << false << 27;
    QTest::newRow("Tab") << 9 << false << false << 9;
    QTest::newRow("Space") << 32 << true << false << 32;
    QTest::newRow("Left arrow %") << 37 << false << false << 37;
    QTest::newRow("F1 p") << 112 << false << false << 112;
    QTest::newRow("256 not sent") << 256 << false << false << -1;
}

void TestConsoleKeys::translateTable() {
    QFETCH(int, code);
    QFETCH(bool, shift);
    QFETCH(bool, ctrl);
    QFETCH(int, sent);
    quint16 key = quint16(code);
    const bool send = TranslateConsoleKey(key, shift, ctrl);
    QCOMPARE(send, sent >= 0);
    if (send)
        QCOMPARE(int(key), sent);
}

void TestConsoleKeys::typedCharacterIsSent_data() {
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("sent"); // -1: nothing

    const int shift = Qt::ShiftModifier;
    const int ctrl = Qt::ControlModifier;
    const int keypad = Qt::KeypadModifier;
    QTest::newRow("a") << int(Qt::Key_A) << 0 << "a" << int('a');
    QTest::newRow("Shift+A") << int(Qt::Key_A) << shift << "A" << int('A');
    QTest::newRow("Caps Lock A, no Shift") << int(Qt::Key_A) << 0 << "A" << int('a');
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << ctrl << "\x03" << 3;
    QTest::newRow("Ctrl+B") << int(Qt::Key_B) << ctrl << "\x02" << int('b');
    QTest::newRow("1") << int(Qt::Key_1) << 0 << "1" << int('1');
    QTest::newRow("JIS Shift+2 \"") << int(Qt::Key_QuoteDbl) << shift << "\"" << int('"');
    QTest::newRow("US Shift+2 @") << int(Qt::Key_At) << shift << "@" << int('@');
    QTest::newRow("US Shift+8 *") << int(Qt::Key_Asterisk) << shift << "*" << int('*');
    QTest::newRow("JIS :") << int(Qt::Key_Colon) << 0 << ":" << int(':');
    QTest::newRow("JIS Shift+: *") << int(Qt::Key_Asterisk) << shift << "*" << int('*');
    QTest::newRow("JIS ;") << int(Qt::Key_Semicolon) << 0 << ";" << int(';');
    QTest::newRow("US = ") << int(Qt::Key_Equal) << 0 << "=" << int('=');
    QTest::newRow("JIS Shift+- =") << int(Qt::Key_Equal) << shift << "=" << int('=');
    QTest::newRow("JIS ^") << int(Qt::Key_AsciiCircum) << 0 << "^" << int('^');
    QTest::newRow("JIS Shift+^ ~") << int(Qt::Key_AsciiTilde) << shift << "~" << int('~');
    QTest::newRow("JIS Shift+@ `") << int(Qt::Key_QuoteLeft) << shift << "`" << int('`');
    QTest::newRow("JIS yen key") << int(Qt::Key_yen) << 0 << QString(QChar(0xA5)) << int('\\');
    QTest::newRow("JIS Shift+yen |") << int(Qt::Key_Bar) << shift << "|" << int('|');
    QTest::newRow("JIS ro key") << int(Qt::Key_Backslash) << 0 << "\\" << int('\\');
    QTest::newRow("JIS Shift+ro _") << int(Qt::Key_Underscore) << shift << "_" << int('_');
    QTest::newRow("[") << int(Qt::Key_BracketLeft) << 0 << "[" << int('[');
    QTest::newRow("Shift+[ {") << int(Qt::Key_BraceLeft) << shift << "{" << int('{');
    QTest::newRow("/") << int(Qt::Key_Slash) << 0 << "/" << int('/');
    QTest::newRow("Shift+/ ?") << int(Qt::Key_Question) << shift << "?" << int('?');
    QTest::newRow("French Shift+0") << int(Qt::Key_0) << shift << "0" << int('0');
    QTest::newRow("JIS Shift+0, no text") << int(Qt::Key_0) << shift << "" << -1;
    QTest::newRow("keypad 1") << int(Qt::Key_1) << keypad << "1" << int('1');
    QTest::newRow("keypad *") << int(Qt::Key_Asterisk) << keypad << "*" << int('*');
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << keypad << "\r" << 13;
    QTest::newRow("Return") << int(Qt::Key_Return) << 0 << "\r" << 13;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0 << "\b" << 8;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << "\x1b" << 27;
    QTest::newRow("Tab") << int(Qt::Key_Tab) << 0 << "\t" << 9;
    QTest::newRow("Space") << int(Qt::Key_Space) << 0 << " " << 32;
    QTest::newRow("Shift alone") << int(Qt::Key_Shift) << shift << "" << -1;
    QTest::newRow("Henkan") << int(Qt::Key_Henkan) << 0 << "" << -1;
    QTest::newRow("Caps Lock key") << int(Qt::Key_CapsLock) << 0 << "" << -1;
    QTest::newRow("e acute") << int(Qt::Key_Eacute) << 0 << QString(QChar(0xE9)) << -1;
    QTest::newRow("Left arrow") << int(Qt::Key_Left) << 0 << "" << 37;
    QTest::newRow("F1") << int(Qt::Key_F1) << 0 << "" << 112;
}

void TestConsoleKeys::typedCharacterIsSent() {
#ifdef Q_OS_WIN
    QSKIP("Windows uses the native virtual key");
#endif
    QFETCH(int, qtKey);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(int, sent);
    const QKeyEvent event(QEvent::KeyRelease, qtKey, Qt::KeyboardModifiers(modifiers), text);
    const std::optional<char> byte = consoleKeyByte(event);
    QCOMPARE(byte.has_value(), sent >= 0);
    if (byte)
        QCOMPARE(int(uchar(*byte)), sent);
}

void TestConsoleKeys::keypadKeysSendTheirCharacter_data() {
    QTest::addColumn<int>("virtualKey");
    QTest::addColumn<int>("sent"); // -1: not a keypad key
    for (int digit = 0; digit <= 9; ++digit)
        QTest::addRow("keypad %d", digit) << 96 + digit << int('0' + digit);
    QTest::newRow("keypad *") << 106 << int('*');
    QTest::newRow("keypad +") << 107 << int('+');
    QTest::newRow("keypad -") << 109 << int('-');
    QTest::newRow("keypad .") << 110 << int('.');
    QTest::newRow("keypad /") << 111 << int('/');
    QTest::newRow("separator") << 108 << -1;
    QTest::newRow("digit row 5") << 53 << -1;
    QTest::newRow("letter A") << 65 << -1;
    QTest::newRow("F1") << 112 << -1;
}

// On Windows a keypad key arrives as its own virtual-key code, not as the digit's.
void TestConsoleKeys::keypadKeysSendTheirCharacter() {
    QFETCH(int, virtualKey);
    QFETCH(int, sent);
    const std::optional<char> c = keypadCharacter(quint16(virtualKey));
    QCOMPARE(c.has_value(), sent >= 0);
    if (c)
        QCOMPARE(int(*c), sent);
}

QTEST_GUILESS_MAIN(TestConsoleKeys)
#include "tst_consolekeys.moc"
