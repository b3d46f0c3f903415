#include "TelnetCommandFilter.h"

namespace vantor {

namespace {
constexpr uchar IAC = 255;
constexpr uchar SB = 250;
constexpr uchar SE = 240;
constexpr uchar WILL = 251;
constexpr uchar DONT = 254;

// A subnegotiation that never ends would swallow the session; after this many bytes its
// start is taken to have been a stray byte.
constexpr qsizetype kLongestSubnegotiation = 4096;
} // namespace

QByteArray TelnetCommandFilter::filter(const QByteArray& received) {
    if (m_state == State::Data && !received.contains(char(IAC)))
        return received;
    QByteArray out;
    out.reserve(received.size());
    for (const char ch : received) {
        const auto b = uchar(ch);
        switch (m_state) {
        case State::Data:
            if (b == IAC)
                m_state = State::Command;
            else
                out.append(ch);
            break;
        case State::Command:
            if (b == IAC) {
                out.append(ch);
                m_state = State::Data;
            } else if (b >= WILL && b <= DONT) {
                m_state = State::Option;
            } else if (b == SB) {
                m_state = State::Subnegotiation;
                m_subnegotiated = 0;
            } else {
                m_state = State::Data; // a two-byte command: NOP, GA, AYT, ...
            }
            break;
        case State::Option:
            m_state = State::Data;
            break;
        case State::Subnegotiation:
            if (b == IAC)
                m_state = State::SubnegotiationIac;
            else if (++m_subnegotiated > kLongestSubnegotiation)
                m_state = State::Data;
            break;
        case State::SubnegotiationIac:
            m_state = b == SE ? State::Data : State::Subnegotiation;
            break;
        }
    }
    return out;
}

} // namespace vantor
