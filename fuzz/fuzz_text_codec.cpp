// Local text files as the program reads and writes them: the INI files' and data files'
// encoding guess, and the file viewer's codec (encoding, byte order mark, line ends).
// What is read and saved untouched must come back as the same bytes; nothing the file holds
// makes opening or saving fail.

#include "FuzzSupport.h"

#include "support/Errors.h"
#include "support/TextEncoding.h"
#include "transfer/TextFileCodec.h"

using namespace vantor;

namespace {

QString describe(const TextFileContent& c) {
    QStringList ends;
    for (const QString& end : c.ends)
        ends.append(fuzz::hex(end.toUtf8()));
    return QStringLiteral("text %1 ends [%2] encoding %3 bom %4")
        .arg(fuzz::hex(c.text().toUtf8()), ends.join(u','))
        .arg(int(c.encoding))
        .arg(c.byteOrderMark);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // The encoding chosen for a file always stores its text back as the same bytes.
    const DecodedText decoded = decodeText(bytes);
    const std::optional<QByteArray> stored =
        encodeText(decoded.text, decoded.encoding, decoded.byteOrderMark);
    VANTOR_FUZZ_CHECK(
        stored && *stored == bytes,
        QStringLiteral("bytes %1\nstored %2").arg(fuzz::hex(bytes), stored ? fuzz::hex(*stored) : "none"));

    // The viewer: a file opened and saved untouched comes back as the very same bytes.
    const TextFileContent opened = decodeTextFile(bytes);
    QByteArray saved;
    try {
        saved = encodeTextFile(opened);
    } catch (const Error& e) {
        fuzz::fail("an opened file can be saved",
                   QStringLiteral("bytes %1\n%2: %3").arg(fuzz::hex(bytes), describe(opened), e.message()));
    }
    VANTOR_FUZZ_CHECK(saved == bytes, QStringLiteral("bytes %1\nopened %2\nsaved %3")
                                          .arg(fuzz::hex(bytes), describe(opened), fuzz::hex(saved)));
    // The editor's own text given back unchanged is no change either.
    VANTOR_FUZZ_CHECK(encodeTextFile(opened.withLines(opened.lines)) == bytes, fuzz::hex(bytes));
    return 0;
}
