#pragma once

#include "console/engine/Cp932.h"

#include <QByteArray>
#include <QStringView>

namespace vantor {

class TSerialCom;
class TerminalText;

// What the serial console does with received bytes. Unlike the telnet view, the serial
// view evens out line ends: a CR LF pair, a CR alone and an LF alone each end a line, and
// a CR LF pair split between two arrivals ends one line, not two. The result does not
// depend on how the poll timer happened to cut the stream.
// An arrival that starts with "\b \b" deletes the last character of the view first; an
// arrival of exactly these three bytes does nothing more.
class SerialReceiver final {
public:
    // Bytes taken from the port per arrival; the rest stays queued for the next poll.
    static constexpr qsizetype kReceiveBufferSize = 1000;

    // Reserves the receive buffer; arrived() does it when nobody did before.
    void allocateBuffer();
    qsizetype bufferSize() const { return m_buffer.size(); }
    // The OnArrived handler: takes what is queued, at most kReceiveBufferSize bytes, and
    // shows it. Only bytes the port actually delivered are shown.
    void arrived(TSerialCom& port, TerminalText& view);

    // Shows bytes received from the port.
    void receive(const QByteArray& bytes, TerminalText& view);
    // AppendSerialText: shows decoded text by the rules above.
    void AppendSerialText(QStringView text, TerminalText& view);
    // A new session: a partial character and a pending CR are forgotten.
    void reset();

private:
    Cp932Decoder m_decoder;
    QByteArray m_buffer;
    bool m_afterCr = false; // the last character shown was a CR that ended a line
};

// AppendToLastLine: appends to the last line of the view; CR LF pairs end lines.
void AppendToLastLine(QStringView text, TerminalText& view);

} // namespace vantor
