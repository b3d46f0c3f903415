#include "SerialReceiver.h"

#include "console/engine/TerminalText.h"
#include "serial/TSerialCom.h"

namespace vantor {

void AppendToLastLine(QStringView text, TerminalText& view) {
    view.append(text);
}

void SerialReceiver::allocateBuffer() {
    m_buffer = QByteArray(kReceiveBufferSize, Qt::Uninitialized);
}

void SerialReceiver::arrived(TSerialCom& port, TerminalText& view) {
    if (m_buffer.isEmpty())
        allocateBuffer();
    char* buffer = m_buffer.data();
    qsizetype filled = 0;
    while (filled < kReceiveBufferSize) {
        const qint64 queued = port.ReceivedCount();
        if (queued <= 0)
            break;
        qint64 got = 0;
        port.Read(buffer + filled, std::min<qint64>(queued, kReceiveBufferSize - filled), &got);
        if (got <= 0)
            break; // the queue emptied meanwhile (a line that went away)
        filled += got;
    }
    if (filled > 0)
        receive(QByteArray(buffer, filled), view);
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
