#include "TextEncoding.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextCodec>

#include <array>
#include <vector>

namespace vantor {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF", 3);
const QByteArray kUtf16LEBom("\xFF\xFE", 2);
const QByteArray kUtf16BEBom("\xFE\xFF", 2);

constexpr char16_t kEscapeBase = 0xDC00;

QStringConverter::Encoding converterFor(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf16LE:
        return QStringConverter::Utf16LE;
    case TextEncoding::Utf16BE:
        return QStringConverter::Utf16BE;
    default:
        return QStringConverter::Utf8;
    }
}

const QByteArray& bomOf(TextEncoding encoding) {
    static const QByteArray none;
    switch (encoding) {
    case TextEncoding::Utf8:
        return kUtf8Bom;
    case TextEncoding::Utf16LE:
        return kUtf16LEBom;
    case TextEncoding::Utf16BE:
        return kUtf16BEBom;
    case TextEncoding::Cp932:
        break;
    }
    return none;
}

std::optional<QString> decodeUnicodeExactly(QByteArrayView bytes, QStringConverter::Encoding encoding) {
    // A byte order mark inside the content is content: the one in front has been removed already.
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

bool isLeadByte(uchar b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool isTrailByte(uchar b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// Every CP932 code whose character is written back as the same code, built once from the
// codec. Lookups make decoding and encoding exact and independent of how the codec treats
// the codes it does not hold.
class Cp932Table {
public:
    static const Cp932Table& instance() {
        static const Cp932Table table;
        return table;
    }

    std::optional<char16_t> single(uchar b) const {
        if (!m_singleValid[b])
            return std::nullopt;
        return m_single[b];
    }
    std::optional<char16_t> pair(uchar lead, uchar trail) const {
        const char16_t c = m_pair[size_t(lead) << 8 | trail];
        if (c == 0)
            return std::nullopt;
        return c;
    }
    // The code of a character: one byte below 0x100, else lead byte * 0x100 + trail byte.
    std::optional<quint16> code(char16_t c) const {
        const auto it = m_codes.constFind(c);
        if (it == m_codes.cend())
            return std::nullopt;
        return *it;
    }

private:
    Cp932Table() : m_pair(size_t(1) << 16, 0) {
        QTextCodec& codec = cp932Codec();
        // The character the bytes stand for when they give exactly one and it encodes back to them.
        auto characterOf = [&codec](const QByteArray& bytes) -> std::optional<char16_t> {
            const QString text = codec.toUnicode(bytes);
            if (text.size() != 1 || text.at(0) == QChar::ReplacementCharacter || text.at(0).isSurrogate())
                return std::nullopt;
            QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
            const QByteArray back = codec.fromUnicode(text.constData(), 1, &state);
            if (state.invalidChars != 0 || back != bytes)
                return std::nullopt;
            return text.at(0).unicode();
        };
        for (int b = 0; b < 0x100; ++b) {
            if (isLeadByte(uchar(b)))
                continue;
            if (const auto c = characterOf(QByteArray(1, char(b)))) {
                m_single[size_t(b)] = *c;
                m_singleValid[size_t(b)] = true;
                m_codes.insert(*c, quint16(b));
            }
        }
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isLeadByte(uchar(lead)))
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (!isTrailByte(uchar(trail)))
                    continue;
                const char bytes[2] = {char(lead), char(trail)};
                if (const auto c = characterOf(QByteArray(bytes, 2))) {
                    const quint16 code = quint16(lead << 8 | trail);
                    m_pair[code] = *c;
                    m_codes.insert(*c, code);
                }
            }
        }
    }

    std::array<char16_t, 0x100> m_single{};
    std::array<bool, 0x100> m_singleValid{};
    std::vector<char16_t> m_pair; // by lead * 0x100 + trail; 0 when no character
    QHash<char16_t, quint16> m_codes;
};

} // namespace

QTextCodec& cp932Codec() {
    static QTextCodec* const found = [] {
        for (const char* name : {"windows-31j", "cp932", "Shift_JIS"})
            if (QTextCodec* c = QTextCodec::codecForName(name))
                return c;
        qFatal("No Shift-JIS text codec is available");
        return static_cast<QTextCodec*>(nullptr);
    }();
    return *found;
}

QString encodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16");
    case TextEncoding::Cp932:
        break;
    }
    return QStringLiteral("Shift-JIS");
}

QString decodeCp932Exactly(QByteArrayView bytes) {
    const Cp932Table& table = Cp932Table::instance();
    QString text;
    text.reserve(bytes.size());
    const auto* data = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar b = data[i];
        if (b < 0x80) {
            text.append(QChar(b));
            continue;
        }
        if (isLeadByte(b)) {
            if (i + 1 < n && isTrailByte(data[i + 1])) {
                if (const auto c = table.pair(b, data[i + 1]))
                    text.append(QChar(*c));
                else { // a code of the code page's shape that holds no character of its own
                    text.append(QChar(kEscapeBase + b));
                    text.append(QChar(kEscapeBase + data[i + 1]));
                }
                ++i;
            } else {
                text.append(QChar(kEscapeBase + b)); // the next byte starts afresh
            }
            continue;
        }
        if (const auto c = table.single(b))
            text.append(QChar(*c));
        else
            text.append(QChar(kEscapeBase + b));
    }
    return text;
}

std::optional<QByteArray> encodeCp932Exactly(QStringView text) {
    const Cp932Table& table = Cp932Table::instance();
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x80) {
            bytes.append(char(c));
        } else if (c >= kEscapeBase && c <= kEscapeBase + 0xFF) {
            bytes.append(char(c - kEscapeBase));
        } else if (const auto code = table.code(c)) {
            if (*code > 0xFF)
                bytes.append(char(*code >> 8));
            bytes.append(char(*code & 0xFF));
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

std::optional<QString> decodeTextAs(QByteArrayView bytes, TextEncoding encoding, bool byteOrderMark) {
    if (byteOrderMark) {
        const QByteArray& bom = bomOf(encoding);
        if (bom.isEmpty() || !bytes.startsWith(bom))
            return std::nullopt;
        bytes = bytes.sliced(bom.size());
    }
    if (encoding == TextEncoding::Cp932)
        return decodeCp932Exactly(bytes);
    return decodeUnicodeExactly(bytes, converterFor(encoding));
}

DecodedText decodeText(QByteArrayView bytes) {
    for (const TextEncoding marked : {TextEncoding::Utf8, TextEncoding::Utf16LE, TextEncoding::Utf16BE}) {
        const QByteArray& bom = bomOf(marked);
        if (!bytes.startsWith(bom))
            continue;
        if (auto text = decodeUnicodeExactly(bytes.sliced(bom.size()), converterFor(marked)))
            return {*text, marked, true};
    }
    if (auto text = decodeUnicodeExactly(bytes, QStringConverter::Utf8))
        return {*text, TextEncoding::Utf8, false};
    return {decodeCp932Exactly(bytes), TextEncoding::Cp932, false};
}

std::optional<QByteArray> encodeText(QStringView text, TextEncoding encoding, bool byteOrderMark) {
    if (encoding == TextEncoding::Cp932)
        return encodeCp932Exactly(text);
    QByteArray out = byteOrderMark ? bomOf(encoding) : QByteArray();
    QStringEncoder encoder(converterFor(encoding), QStringConverter::Flag::Stateless);
    const QByteArray body = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    // A lone surrogate goes out unreported in UTF-16 and as '?' in UTF-8; reading the bytes
    // back tells.
    if (decodeUnicodeExactly(body, converterFor(encoding)) != text)
        return std::nullopt;
    out += body;
    return out;
}

} // namespace vantor
