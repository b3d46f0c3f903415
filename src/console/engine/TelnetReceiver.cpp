#include "TelnetReceiver.h"

#include "console/engine/TerminalText.h"

namespace vantor {

namespace {
const QByteArray kErasedEcho = QByteArrayLiteral("\b \b");
const QByteArray kUserNamePrompt = QByteArrayLiteral("User name?:");
const QByteArray kPasswordPrompt = QByteArrayLiteral("Password:");
} // namespace

TelnetPrompts TelnetReceiver::receive(const QByteArray& chunk, TerminalText& view) {
    QByteArrayView text(chunk);
    if (text.startsWith(kErasedEcho)) {
        view.deleteLastChar();
        if (text.size() == kErasedEcho.size())
            return {};
        text = text.sliced(kErasedEcho.size());
    }
    view.append(m_decoder.decode(text));
    TelnetPrompts prompts;
    prompts.userName = text.contains(kUserNamePrompt);
    prompts.password = text.contains(kPasswordPrompt);
    return prompts;
}

} // namespace vantor
