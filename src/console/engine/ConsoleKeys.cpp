#include "ConsoleKeys.h"

namespace vantor {

bool TranslateConsoleKey(quint16& key, bool shift, bool ctrl) {
    const quint16 code = key;
    if (code == 16 || code == 17 || code == 18 || code == 28 || code == 29)
        return false;
    if (code == 48)
        return !shift; // Shift+0 has no character on a JIS keyboard
    if (code >= 49 && code <= 59) {
        if (shift)
            key = code - 16; // "!" ... ")", "*", "+"
        return true;
    }
    if (ctrl && code == 65) {
        key = 1;
        return true;
    }
    if (ctrl && code == 67) {
        key = 3;
        return true;
    }
    if (code >= 65 && code <= 90) {
        if (!shift)
            key = code + 32;
        return true;
    }
    if (code == 98) {
        key = 92;
        return true;
    }
    if (shift && (code == 186 || code == 187)) {
        key = code - 144; // "*", "+"
        return true;
    }
    if (code >= 188 && code <= 191) {
        key = shift ? code - 128 : code - 144; // "<=>?" or ",-./"
        return true;
    }
    if (shift && code >= 219 && code <= 221) {
        key = code - 96; // "{|}"
        return true;
    }
    if (code == 226) {
        // The JIS key left of the right Shift: "_" with Shift, its own "\" without.
        key = shift ? 95 : 92;
        return true;
    }
    if (code == 186 || code == 187 || (code >= 192 && code <= 255)) {
        key = code - 128; // ":;" "@" "[\]^" and the rest of the OEM block
        return true;
    }
    return code < 256;
}

std::optional<char> keypadCharacter(quint16 virtualKey) {
    if (virtualKey >= 96 && virtualKey <= 105)
        return char('0' + (virtualKey - 96));
    switch (virtualKey) {
    case 106:
        return '*';
    case 107:
        return '+';
    case 109:
        return '-';
    case 110:
        return '.';
    case 111:
        return '/';
    default:
        return std::nullopt;
    }
}

} // namespace vantor
