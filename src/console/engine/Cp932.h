#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <memory>

class QTextDecoder;

namespace vantor {

// The controller's character set: Shift-JIS as Windows has it (code page 932).
//
// A decoder for one received byte stream. A character whose bytes are split between two
// reads is held back and comes out whole with the next read. Bytes that are no character
// come out as U+FFFD.
class Cp932Decoder final {
public:
    Cp932Decoder();
    ~Cp932Decoder();
    Cp932Decoder(Cp932Decoder&&) noexcept;
    Cp932Decoder& operator=(Cp932Decoder&&) noexcept;

    QString decode(QByteArrayView bytes);
    // Forgets a held-back partial character (a new connection starts clean).
    void reset();

private:
    std::unique_ptr<QTextDecoder> m_decoder;
};

QString decodeCp932(QByteArrayView bytes);

// Text typed, pasted or stored, as the controller's bytes. The yen sign stands for the
// backslash byte, as on a Japanese PC; characters the code page lacks become "?".
QByteArray encodeCp932(QStringView text);

} // namespace vantor
