#include "SerialReceiver.h"

#include "console/TerminalText.h"
#include "serial/TSerialCom.h"

namespace vantor {

void AppendToLastLine(QStringView text, TerminalText& view) {
    view.append(text);
}

void SerialReceiver::arrived(TSerialCom& port, TerminalText& view) {
    QByteArray received(kReceiveBufferSize, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < kReceiveBufferSize) {
        const qint64 queued = port.ReceivedCount();
        if (queued <= 0)
            break;
        const qint64 take = std::min<qint64>(queued, kReceiveBufferSize - filled);
        port.Read(received.data() + filled, take);
        filled += take;
    }
    received.truncate(filled);
    receive(received, view);
}

void SerialReceiver::receive(const QByteArray& bytes, TerminalText& view) {
    if (!bytes.isEmpty())
        AppendSerialText(m_decoder.decode(bytes), view);
}

void SerialReceiver::AppendSerialText(QStringView text, TerminalText& view) {
    static constexpr QStringView kErasedEcho = u"\b \b";
    if (text.startsWith(kErasedEcho)) {
        view.deleteLastChar();
        text = text.sliced(kErasedEcho.size());
        if (text.isEmpty())
            return;
    }
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            m_afterCr = false;
            continue;
        }
        AppendToLastLine(text.sliced(start, i - start), view);
        start = i + 1;
        if (c == u'\n' && m_afterCr) {
            m_afterCr = false; // the LF of a CR LF pair: the CR already ended the line
            continue;
        }
        view.breakLine();
        m_afterCr = c == u'\r';
    }
    if (start < n)
        AppendToLastLine(text.sliced(start), view);
}

void SerialReceiver::reset() {
    m_decoder.reset();
    m_afterCr = false;
}

} // namespace vantor
