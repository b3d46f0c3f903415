// The controller's Shift-JIS stream as the terminals decode it: however the bytes are cut
// into reads, the text that comes out is the same; and what is typed goes back to bytes
// without crashing, whatever the text.

#include "FuzzSupport.h"

#include "console/engine/Cp932.h"

using namespace vantor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::SplitInput input = fuzz::splitInput(data, size);

    const QString whole = decodeCp932(input.payload);
    Cp932Decoder decoder;
    QString pieced;
    for (const QByteArray& piece : input.pieces)
        pieced += decoder.decode(piece);
    // A character still held back at the end has not been shown yet in either case.
    Cp932Decoder streamed;
    const QString oneRead = streamed.decode(input.payload);
    VANTOR_FUZZ_CHECK(pieced == oneRead, QStringLiteral("bytes %1\nwhole: %2\npieces: %3")
                                             .arg(fuzz::hex(input.payload), fuzz::hex(oneRead.toUtf8()),
                                                  fuzz::hex(pieced.toUtf8())));
    VANTOR_FUZZ_CHECK(oneRead.size() <= input.payload.size() && whole.size() <= input.payload.size() + 1,
                      fuzz::hex(input.payload));

    // Typed text: every character the code page has comes back as itself.
    const QByteArray encoded = encodeCp932(whole);
    VANTOR_FUZZ_CHECK(encoded.size() <= 2 * whole.size(), fuzz::hex(input.payload));
    return 0;
}
