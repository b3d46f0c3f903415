// The terminal path from the controller's bytes to the lines of a view, for both consoles:
// telnet (commands filtered out, Shift-JIS decoded, CR LF ending lines) and serial (CR LF,
// CR and LF each ending a line). However the bytes are cut into reads, the view holds the
// same lines.

#include "FuzzSupport.h"

#include "console/engine/Cp932.h"
#include "console/engine/SerialReceiver.h"
#include "console/engine/TelnetCommandFilter.h"
#include "console/engine/TerminalText.h"

using namespace vantor;

namespace {

QStringList telnetLines(const QList<QByteArray>& reads) {
    TelnetCommandFilter filter;
    Cp932Decoder decoder;
    TerminalText view;
    for (const QByteArray& read : reads)
        view.append(decoder.decode(filter.filter(read)));
    return view.lines();
}

QStringList serialLines(const QList<QByteArray>& reads) {
    SerialReceiver receiver;
    TerminalText view;
    for (const QByteArray& read : reads)
        receiver.receive(read, view);
    return view.lines();
}

QString shown(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += fuzz::hex(line.toUtf8()) + QLatin1Char('\n');
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::SplitInput input = fuzz::splitInput(data, size);

    const QStringList telnetWhole = telnetLines({input.payload});
    const QStringList telnetPieced = telnetLines(input.pieces);
    VANTOR_FUZZ_CHECK(telnetWhole == telnetPieced,
                      QStringLiteral("bytes %1\nwhole:\n%2pieces:\n%3")
                          .arg(fuzz::hex(input.payload), shown(telnetWhole), shown(telnetPieced)));

    // An arrival that starts with the erased-character echo "\b \b" deletes; elsewhere the
    // same bytes are text, so only streams without it must not depend on the cuts.
    if (!input.payload.contains("\b \b")) {
        const QStringList serialWhole = serialLines({input.payload});
        const QStringList serialPieced = serialLines(input.pieces);
        VANTOR_FUZZ_CHECK(serialWhole == serialPieced,
                          QStringLiteral("bytes %1\nwhole:\n%2pieces:\n%3")
                              .arg(fuzz::hex(input.payload), shown(serialWhole), shown(serialPieced)));
        for (const QString& line : serialWhole)
            VANTOR_FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n'), fuzz::hex(input.payload));
    }
    return 0;
}
