#include "Cp932.h"

#include "support/TextEncoding.h"

#include <QTextCodec>

namespace vantor {

namespace {

QTextCodec* codec() {
    return &cp932Codec();
}

} // namespace

Cp932Decoder::Cp932Decoder() : m_decoder(codec()->makeDecoder()) {}
Cp932Decoder::~Cp932Decoder() = default;
Cp932Decoder::Cp932Decoder(Cp932Decoder&&) noexcept = default;
Cp932Decoder& Cp932Decoder::operator=(Cp932Decoder&&) noexcept = default;

QString Cp932Decoder::decode(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return {};
    return m_decoder->toUnicode(bytes.data(), int(bytes.size()));
}

void Cp932Decoder::reset() {
    m_decoder.reset(codec()->makeDecoder());
}

QString decodeCp932(QByteArrayView bytes) {
    return codec()->toUnicode(bytes.data(), int(bytes.size()));
}

QByteArray encodeCp932(QStringView text) {
    QString copy = text.toString();
    copy.replace(QChar(0x00A5), QLatin1Char('\\'));
    copy.replace(QChar(0x203E), QLatin1Char('~'));
    return codec()->fromUnicode(copy);
}

} // namespace vantor
