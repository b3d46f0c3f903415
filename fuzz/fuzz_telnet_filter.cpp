// Telnet commands taken out of the controller's byte stream: the same bytes cut into
// different reads give the same data, a stream without IAC passes untouched, and the filter
// never adds a byte.

#include "FuzzSupport.h"

#include "console/engine/TelnetCommandFilter.h"

using namespace vantor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::SplitInput input = fuzz::splitInput(data, size);

    TelnetCommandFilter whole;
    const QByteArray oneRead = whole.filter(input.payload);
    TelnetCommandFilter pieced;
    QByteArray joined;
    for (const QByteArray& piece : input.pieces)
        joined += pieced.filter(piece);

    VANTOR_FUZZ_CHECK(joined == oneRead,
                      QStringLiteral("bytes %1\nwhole: %2\npieces: %3")
                          .arg(fuzz::hex(input.payload), fuzz::hex(oneRead), fuzz::hex(joined)));
    VANTOR_FUZZ_CHECK(oneRead.size() <= input.payload.size(), fuzz::hex(input.payload));
    if (!input.payload.contains(char(0xFF)))
        VANTOR_FUZZ_CHECK(oneRead == input.payload, fuzz::hex(input.payload));
    // After a reset the filter reads a new stream from its start.
    pieced.reset();
    VANTOR_FUZZ_CHECK(pieced.filter(input.payload) == oneRead, fuzz::hex(input.payload));
    return 0;
}
