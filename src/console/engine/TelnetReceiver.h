#pragma once

#include "console/engine/Cp932.h"

#include <QByteArray>

namespace vantor {

class TerminalText;

// The login prompts found in one received chunk.
struct TelnetPrompts {
    bool userName = false; // "User name?:" - answer with the user name and CR LF
    bool password = false; // "Password:"   - answer with the password and CR LF
};

// What the telnet console does with one received chunk, apart from answering:
// - a chunk that starts with "\b \b" (the controller's echo of an erased character)
//   deletes the last character of the view; a chunk of exactly these bytes does nothing
//   more, otherwise the three bytes are dropped. Elsewhere in a chunk they are text;
// - the rest is decoded as Shift-JIS and appended to the last line as it came;
// - the login prompts are looked for in this chunk only: a prompt split between two
//   chunks is not found (the engineer answers it by hand).
class TelnetReceiver final {
public:
    TelnetPrompts receive(const QByteArray& chunk, TerminalText& view);
    // A new connection: a partial character of the old one is forgotten.
    void reset() { m_decoder.reset(); }

private:
    Cp932Decoder m_decoder;
};

} // namespace vantor
