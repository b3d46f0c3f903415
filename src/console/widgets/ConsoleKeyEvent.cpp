#include "ConsoleKeyEvent.h"

#include "console/engine/ConsoleKeys.h"

#include <QKeyEvent>

namespace vantor {

namespace {

bool shiftOf(const QKeyEvent& e) {
    return e.modifiers() & Qt::ShiftModifier;
}

bool ctrlOf(const QKeyEvent& e) {
#ifdef Q_OS_MACOS
    return e.modifiers() & Qt::MetaModifier; // the Control key on a Mac keyboard
#else
    return e.modifiers() & Qt::ControlModifier;
#endif
}

#ifndef Q_OS_WIN

// Keys without a character.
quint16 controlKeyCode(int key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return 18;
    case Qt::Key_Henkan:
        return 28;
    case Qt::Key_Muhenkan:
        return 29;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return quint16(112 + (key - Qt::Key_F1));
    return 0;
}

// The JIS key that gives a character with the given Shift state.
quint16 jisKeyFor(char16_t c, bool shift) {
    if (!shift) {
        if (c >= u'0' && c <= u'9')
            return c;
        switch (c) {
        case u'-':
            return 189;
        case u'^':
            return 222;
        case u'\\':
            return 226;
        case u'@':
            return 192;
        case u'[':
            return 219;
        case u';':
            return 187;
        case u':':
            return 186;
        case u']':
            return 221;
        case u',':
            return 188;
        case u'.':
            return 190;
        case u'/':
            return 191;
        default:
            return 0;
        }
    }
    switch (c) {
    case u'!':
        return 49;
    case u'"':
        return 50;
    case u'#':
        return 51;
    case u'$':
        return 52;
    case u'%':
        return 53;
    case u'&':
        return 54;
    case u'\'':
        return 55;
    case u'(':
        return 56;
    case u')':
        return 57;
    case u'=':
        return 189;
    case u'|':
        return 220;
    case u'{':
        return 219;
    case u'+':
        return 187;
    case u'*':
        return 186;
    case u'}':
        return 221;
    case u'<':
        return 188;
    case u'>':
        return 190;
    case u'?':
        return 191;
    case u'_':
        return 226;
    default:
        return 0;
    }
}

// Any code that TranslateConsoleKey turns into the character with this Shift state.
quint16 anyKeyFor(char16_t c, bool shift) {
    if (quint16 jis = jisKeyFor(c, shift))
        return jis;
    if (c >= 256)
        return 0;
    for (quint16 code = 1; code < 256; ++code) {
        quint16 key = code;
        if (TranslateConsoleKey(key, shift, false) && key == c)
            return code;
    }
    return 0;
}

struct DerivedKey {
    quint16 code = 0;
    bool shift = false;
};

DerivedKey deriveKey(const QKeyEvent& event) {
    const int key = event.key();
    const bool shift = shiftOf(event);
    if (quint16 code = controlKeyCode(key))
        return {code, shift};
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return {quint16(65 + (key - Qt::Key_A)), shift};

    // The character typed, as the engineer's own keyboard layout gives it. With Ctrl held
    // the text is a control code, so the key itself tells the character.
    const QString text = event.text();
    const bool hasText = text.size() == 1 && text.front().unicode() >= 0x20 && text.front().unicode() != 0x7F;
    char16_t typed = 0;
    if (hasText)
        typed = text.front().unicode();
    else if (key >= 0x20 && key < 0x100)
        typed = char16_t(key);
    if (typed == 0)
        return {};
    // A digit key that typed nothing (Shift+0 on a JIS layout) is the key itself.
    if (!hasText && typed >= u'0' && typed <= u'9')
        return {typed, shift};
    if (typed == 0x00A5) // the yen key of a Japanese layout
        typed = u'\\';
    if (typed >= u'a' && typed <= u'z')
        return {quint16(typed - u'a' + 65), shift};
    if (typed >= u'A' && typed <= u'Z')
        return {quint16(typed - u'A' + 65), shift};
    if (event.modifiers() & Qt::KeypadModifier && typed >= u'0' && typed <= u'9')
        return {typed, false};
    if (quint16 code = anyKeyFor(typed, shift))
        return {code, shift};
    // A layout that gives the character with the other Shift state (digits with Shift on
    // a French keyboard): send the character all the same.
    if (hasText)
        if (quint16 code = anyKeyFor(typed, !shift))
            return {code, !shift};
    return {};
}

#endif

} // namespace

quint16 virtualKeyFromQtKey(const QKeyEvent& event) {
#ifdef Q_OS_WIN
    return quint16(event.nativeVirtualKey());
#else
    return deriveKey(event).code;
#endif
}

std::optional<char> consoleKeyByte(const QKeyEvent& event) {
#ifdef Q_OS_WIN
    quint16 key = quint16(event.nativeVirtualKey());
    const bool shift = shiftOf(event);
    if (const std::optional<char> keypad = keypadCharacter(key))
        return keypad;
#else
    const DerivedKey derived = deriveKey(event);
    quint16 key = derived.code;
    const bool shift = derived.shift;
#endif
    if (key == 0 || !TranslateConsoleKey(key, shift, ctrlOf(event)))
        return std::nullopt;
    return char(key);
}

} // namespace vantor
