#pragma once

#include <QByteArray>

namespace vantor {

// Removes telnet command sequences (IAC ...) from a received byte stream and passes the
// data bytes on; a doubled IAC is the data byte 255. A sequence split between two reads
// is still removed whole. The console negotiates nothing, so the commands are dropped,
// never answered.
class TelnetCommandFilter final {
public:
    QByteArray filter(const QByteArray& received);
    void reset() {
        m_state = State::Data;
        m_subnegotiated = 0;
    }

private:
    enum class State { Data, Command, Option, Subnegotiation, SubnegotiationIac };
    State m_state = State::Data;
    qsizetype m_subnegotiated = 0;
};

} // namespace vantor
