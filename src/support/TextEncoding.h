#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

class QTextCodec;

namespace vantor {

// How a local text file (INI, data file) was stored, so that a rewrite gives back the same
// bytes for everything the program did not change.
enum class TextEncoding {
    Utf8,
    Utf16LE,
    Utf16BE,
    Cp932, // the instrument PC's and the controller's code page (Shift-JIS as Windows has it)
};

struct DecodedText {
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
    bool byteOrderMark = false;
};

// UTF-8 or UTF-16 when the bytes start with that byte order mark and are valid after it,
// else UTF-8 when the bytes are valid UTF-8, else CP932. Whatever is chosen encodes back
// to exactly the same bytes.
DecodedText decodeText(QByteArrayView bytes);

// Decodes bytes known to be stored as `encoding`, with or without its byte order mark in
// front; empty when they are not exactly that. CP932 without a mark always succeeds.
std::optional<QString> decodeTextAs(QByteArrayView bytes, TextEncoding encoding, bool byteOrderMark);

// How the engineer knows the encoding: "UTF-8", "UTF-16", "Shift-JIS".
QString encodingName(TextEncoding encoding);

// Encodes text as it was read. Empty when a character cannot be stored in that encoding,
// so the caller can refuse the write instead of saving a '?' in its place.
std::optional<QByteArray> encodeText(QStringView text, TextEncoding encoding, bool byteOrderMark);

// CP932 that gives back every byte: a byte that is no character, or a pair whose character
// would be written back as other bytes (the code page holds some characters twice), is kept
// as the lone surrogate U+DC00 + byte, which no real character decodes to.
QString decodeCp932Exactly(QByteArrayView bytes);
// Empty when a character has no CP932 code.
std::optional<QByteArray> encodeCp932Exactly(QStringView text);

// The code page's converter, shared with the terminals' streaming decoder.
QTextCodec& cp932Codec();

} // namespace vantor
