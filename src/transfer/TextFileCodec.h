#pragma once

#include "support/TextEncoding.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vantor {

// A local text file as the engineer's editors see it: its lines, plus how it was stored,
// so that saving writes it back the way it came. Each line keeps its own line end, because
// the controller's files end lines with CR alone and files passed between systems mix them.
//
// Line ends are CR LF, CR, LF, and the characters a text editor turns into a paragraph
// break of its own (U+2029 and the two frame markers U+FDD0, U+FDD1): the editor shows
// each of them as a line break and they are written back as they were.
struct TextFileContent {
    QStringList lines{QString()}; // never empty; an empty file is one empty line
    QStringList ends{QString()};  // ends[i] follows lines[i]; the last is empty when the
                                  // file does not end with a line end
    TextEncoding encoding = TextEncoding::Utf8;
    bool byteOrderMark = false;

    // What the editor shows: the lines joined by "\n".
    QString text() const { return lines.join(QLatin1Char('\n')); }

    // The file with the editor's lines in place of its own. Lines before and after the part
    // the engineer changed keep their ends; changed lines take the ends of the lines they
    // replace, and new ones the file's most common line end. Whether the file ends with a
    // line end stays as it was; an emptied editor gives an empty file.
    TextFileContent withLines(const QStringList& edited) const;
};

TextFileContent decodeTextFile(const QByteArray& bytes);
// Throws FileError when a character cannot be stored in the file's encoding.
QByteArray encodeTextFile(const TextFileContent& content);

// Throw FileError with a message naming the file when it cannot be read or written.
TextFileContent readTextFile(const QString& path);
void writeTextFile(const QString& path, const TextFileContent& content);

} // namespace vantor
