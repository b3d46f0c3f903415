#pragma once

#include <QtGlobal>

#include <optional>

namespace vantor {

// Turns a key released in a terminal view into the one character it sends to the
// controller. `key` is a Windows virtual-key code as a Japanese (JIS) keyboard produces it
// and is replaced by the character code to send; `shift` and `ctrl` are the modifier
// state at release. Returns false when the key sends nothing (modifiers, the IME
// conversion keys, Shift+0, codes above 255).
//
// Only Ctrl+A and Ctrl+C give control codes; other Ctrl combinations send the letter.
// Cursor and function keys send the character of their code, as the instrument PC's
// console always has.
bool TranslateConsoleKey(quint16& key, bool shift, bool ctrl);

// The character of a numeric-keypad key given as its Windows virtual-key code (the digits
// 96-105, and "*", "+", "-", ".", "/" at 106, 107, 109, 110, 111). These codes must not go
// through TranslateConsoleKey, which would send "`", "a", ... for the digits; other codes
// give nothing.
std::optional<char> keypadCharacter(quint16 virtualKey);

} // namespace vantor
