#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vantor {

// How a local text file (INI, data file) was stored, so that a rewrite gives back the same
// bytes for everything the program did not change.
enum class TextEncoding {
    Utf8,
    Utf16LE,
    Utf16BE,
    SystemCodePage, // the Windows ANSI code page; never chosen elsewhere
    Latin1,         // the 8-bit fallback: every byte maps to one character and back
};

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
    bool byteOrderMark = false;
};

// UTF-8 when the bytes are valid UTF-8 (or start with a byte order mark), else the
// platform's 8-bit code page. The chosen decoding always encodes back to exactly the
// same bytes; when the Windows code page cannot promise that, Latin-1 is used.
DecodedText decodeText(const QByteArray& bytes);

// Encodes text as it was read. Empty when a character cannot be stored in that encoding,
// so the caller can refuse the write instead of saving a '?' in its place.
std::optional<QByteArray> encodeText(const QString& text, TextEncoding encoding, bool byteOrderMark);

} // namespace vantor
