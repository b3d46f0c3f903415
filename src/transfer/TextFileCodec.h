#pragma once

#include "support/TextEncoding.h"

#include <QByteArray>
#include <QString>

namespace vantor {

// A local text file as the engineer's editors see it: its text plus how it was stored,
// so that saving writes it back the way it came (encoding and line ends).
struct TextFileContent {
    QString text;          // lines joined by "\n"
    TextEncoding encoding = TextEncoding::Utf8;
    bool byteOrderMark = false;
    bool crlf = false;     // lines ended by CR LF
    bool finalNewline = false;
};

TextFileContent decodeTextFile(const QByteArray& bytes);
// Throws FileError when a character cannot be stored in the file's encoding.
QByteArray encodeTextFile(const TextFileContent& content);

// Throw FileError with a message naming the file when it cannot be read or written.
TextFileContent readTextFile(const QString& path);
void writeTextFile(const QString& path, const TextFileContent& content);

} // namespace vantor
