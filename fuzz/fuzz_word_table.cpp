// The instrument's word tables (small text files read into words per line): whatever the
// bytes, the table stays within its bounds, every cell is one word, and each kept line's
// words are that line of the file with its blanks evened out.

#include "FuzzSupport.h"

#include "support/FileIO.h"
#include "support/TextEncoding.h"

#include <QFile>

using namespace vantor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString folder = fuzz::scratchFolder();
    {
        QFile file(folder + QStringLiteral("/words.txt"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            fuzz::fail("the scratch file can be written", file.fileName());
    }
    TFileIO table;
    VANTOR_FUZZ_CHECK(table.loadTable(folder, QStringLiteral("words.txt")), fuzz::hex(bytes));
    VANTOR_FUZZ_CHECK(table.rowCount() <= quint32(TFileIO::kRows) && table.columnCount() >= 0 &&
                          table.columnCount() <= TFileIO::kColumns,
                      fuzz::hex(bytes));

    // The non-blank lines of the file, in order, as the table should hold them.
    // (Not a regular expression: the text may hold lone surrogates, which those refuse.)
    QString text = decodeText(bytes).text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QStringList expected;
    for (const QString& line : text.split(u'\n')) {
        const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        if (!words.isEmpty())
            expected.append(words.mid(0, TFileIO::kColumns).join(u' '));
    }
    QStringList rows;
    for (int line = 0; line < int(table.rowCount()); ++line) {
        QStringList words;
        for (int word = 0; word < TFileIO::kColumns && !table.cell(word, line).isEmpty(); ++word)
            words.append(table.cell(word, line));
        rows.append(words.join(u' '));
    }
    VANTOR_FUZZ_CHECK(table.rowCount() == quint32(std::min<qsizetype>(expected.size(), TFileIO::kRows)),
                      QStringLiteral("bytes %1\nrows:\n%2\nexpected:\n%3")
                          .arg(fuzz::hex(bytes), rows.join(u'\n'), expected.join(u'\n')));

    for (int line = -1; line <= TFileIO::kRows; ++line) {
        QStringList words;
        for (int word = -1; word <= TFileIO::kColumns; ++word) {
            const QString cell = table.cell(word, line);
            const bool inside =
                word >= 0 && word < table.columnCount() && line >= 0 && line < int(table.rowCount());
            VANTOR_FUZZ_CHECK(inside || cell.isEmpty(), fuzz::hex(bytes));
            VANTOR_FUZZ_CHECK(!cell.contains(u' ') && !cell.contains(u'\r') && !cell.contains(u'\n'),
                              fuzz::hex(bytes));
            if (!cell.isEmpty())
                words.append(cell);
        }
        if (line >= 0 && line < int(table.rowCount()))
            VANTOR_FUZZ_CHECK(words.join(u' ') == expected.at(line),
                              QStringLiteral("bytes %1\nline %2: %3\nexpected %4")
                                  .arg(fuzz::hex(bytes))
                                  .arg(line)
                                  .arg(words.join(u' '), expected.at(line)));
    }
    return 0;
}
