#include "TextEncoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace vantor {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF", 3);
const QByteArray kUtf16LEBom("\xFF\xFE", 2);
const QByteArray kUtf16BEBom("\xFE\xFF", 2);

std::optional<QString> decodeExactly(const QByteArray& bytes, QStringConverter::Encoding encoding) {
    // A byte order mark inside the content is content: it has been removed already.
    QStringDecoder decoder(encoding,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    QStringEncoder encoder(encoding, QStringConverter::Flag::Stateless);
    const QByteArray back = encoder.encode(text);
    if (encoder.hasError() || back != bytes)
        return std::nullopt;
    return text;
}

std::optional<QStringConverter::Encoding> converterFor(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringConverter::Utf8;
    case TextEncoding::Utf16LE:
        return QStringConverter::Utf16LE;
    case TextEncoding::Utf16BE:
        return QStringConverter::Utf16BE;
    case TextEncoding::SystemCodePage:
        return QStringConverter::System;
    case TextEncoding::Latin1:
        return QStringConverter::Latin1;
    }
    return std::nullopt;
}

} // namespace

DecodedText decodeText(const QByteArray& bytes) {
    struct Marked {
        const QByteArray& bom;
        TextEncoding encoding;
    };
    for (const Marked& m : {Marked{kUtf8Bom, TextEncoding::Utf8}, Marked{kUtf16LEBom, TextEncoding::Utf16LE},
                            Marked{kUtf16BEBom, TextEncoding::Utf16BE}}) {
        if (!bytes.startsWith(m.bom))
            continue;
        if (auto text = decodeExactly(bytes.mid(m.bom.size()), *converterFor(m.encoding)))
            return {*text, m.encoding, true};
    }
    if (auto text = decodeExactly(bytes, QStringConverter::Utf8))
        return {*text, TextEncoding::Utf8, false};
#ifdef Q_OS_WIN
    if (auto text = decodeExactly(bytes, QStringConverter::System))
        return {*text, TextEncoding::SystemCodePage, false};
#endif
    return {QString::fromLatin1(bytes), TextEncoding::Latin1, false};
}

std::optional<QByteArray> encodeText(const QString& text, TextEncoding encoding, bool byteOrderMark) {
    QByteArray out;
    if (byteOrderMark) {
        switch (encoding) {
        case TextEncoding::Utf8:
            out = kUtf8Bom;
            break;
        case TextEncoding::Utf16LE:
            out = kUtf16LEBom;
            break;
        case TextEncoding::Utf16BE:
            out = kUtf16BEBom;
            break;
        default:
            break;
        }
    }
    const QStringConverter::Encoding converter = *converterFor(encoding);
    QStringEncoder encoder(converter, QStringConverter::Flag::Stateless);
    const QByteArray body = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    // Some code pages replace what they cannot store without reporting it; reading the
    // bytes back tells.
    QStringDecoder decoder(converter,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    if (decoder.decode(body) != text || decoder.hasError())
        return std::nullopt;
    out += body;
    return out;
}

} // namespace vantor
