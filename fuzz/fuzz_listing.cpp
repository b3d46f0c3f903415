// Directory listing lines as the controller sends them, through the FTP engine's column
// parser and the remote panel's classification. Columns put back together give the line
// with its blanks evened out; the parser's lists stay parallel; a classified entry is named
// by the end of its line.

#include "FuzzSupport.h"

#include "ftp/DirectoryList.h"
#include "ftp/FtpClient.h"
#include "transfer/RemoteListing.h"

#include <QRegularExpression>

using namespace vantor;

namespace {

void checkColumns(const TFTPDirectoryList& list, const QString& line) {
    VANTOR_FUZZ_CHECK(list.ColumnCount == list.Columns.size() && list.ColumnCount >= 1, line);
    bool truncated = false;
    for (const QString& column : list.Columns) {
        VANTOR_FUZZ_CHECK(column.size() <= 255 && !column.contains(u' '), line);
        truncated = truncated || column.size() == 255;
    }
    if (!truncated) {
        static const QRegularExpression blanks(QStringLiteral(" +"));
        VANTOR_FUZZ_CHECK(list.Columns.join(u' ') == QString(line).replace(blanks, QStringLiteral(" ")),
                          fuzz::hex(line.toUtf8()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Listing lines arrive as bytes, one character each.
    const QString received = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    TFTPUnixList parser;
    qsizetype filed = 0;
    for (const QString& raw : received.split(u'\n')) {
        const QString line = TFtpClient::StripListingLineEnd(raw + u'\n');
        VANTOR_FUZZ_CHECK(raw.startsWith(line) || line == raw + u'\n', fuzz::hex(raw.toLatin1()));

        parser.ParseLine(line);
        checkColumns(parser, line);
        if (parser.ColumnCount > 7) {
            ++filed;
            VANTOR_FUZZ_CHECK(parser.Names.last() == parser.Columns.last() &&
                                  parser.Attributes.last() == parser.Columns.first(),
                              fuzz::hex(line.toLatin1()));
        }
        VANTOR_FUZZ_CHECK(parser.Names.size() == filed && parser.Sizes.size() == filed &&
                              parser.ModifDates.size() == filed && parser.Attributes.size() == filed,
                          fuzz::hex(line.toLatin1()));

        const ListingEntry entry = classifyListingLine(line);
        if (entry.kind != ListingEntry::Kind::Skipped)
            VANTOR_FUZZ_CHECK(!entry.name.isEmpty() && line.endsWith(entry.name), fuzz::hex(line.toLatin1()));
    }
    return 0;
}
