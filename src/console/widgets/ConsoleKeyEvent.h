#pragma once

#include <QtGlobal>

#include <optional>

class QKeyEvent;

namespace vantor {

// The Windows virtual-key code of a key event, as TranslateConsoleKey expects it; 0 when
// the key has none that the console uses.
//
// On Windows this is the key's native virtual key. Elsewhere it is derived from the Qt
// key and the typed text so that typing a character sends that character, as the
// Windows program does on a JIS keyboard: the code is the JIS key that gives the typed
// character with the Shift state of the event ("!" with Shift is the key 1, ":" is 186,
// "@" 192, "\" the key 226). Control keys map to their codes (Enter 13, Backspace 8,
// Tab 9, Escape 27, cursor keys 37-40, F1 112, ...). Lock keys, the Windows/Meta key and
// the menu key give 0.
quint16 virtualKeyFromQtKey(const QKeyEvent& event);

// The byte a key released in a terminal view sends to the controller, or nothing.
std::optional<char> consoleKeyByte(const QKeyEvent& event);

} // namespace vantor
