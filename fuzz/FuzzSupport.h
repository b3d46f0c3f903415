#pragma once

// Shared by the fuzz targets: property checks that stop the run with a readable message,
// fuzzer-chosen splits of one input, and a scratch folder for the targets that read files.

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vantor::fuzz {

// A broken property is a finding like a crash: libFuzzer saves the input and stops.
[[noreturn]] inline void fail(const char* property, const QString& detail) {
    std::fprintf(stderr, "\n*** property broken: %s\n%s\n", property, detail.toLocal8Bit().constData());
    std::abort();
}

#define VANTOR_FUZZ_CHECK(condition, detail)                                                                 \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::vantor::fuzz::fail(#condition, (detail));                                                      \
    } while (false)

inline QString hex(QByteArrayView bytes) {
    return QString::fromLatin1(bytes.toByteArray().toHex(' '));
}

// The input's first byte seeds where the rest is cut: the same payload is then fed whole
// and in pieces, and a parser that keeps state between pieces must give the same result.
struct SplitInput {
    QByteArray payload;
    QList<QByteArray> pieces;
};

inline SplitInput splitInput(const uint8_t* data, size_t size) {
    SplitInput split;
    if (size == 0)
        return split;
    uint32_t state = data[0] * 2654435761u + 1;
    split.payload = QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    qsizetype at = 0;
    while (at < split.payload.size()) {
        state = state * 1103515245u + 12345u;
        // Mostly short pieces, so every boundary inside a sequence gets its turn.
        const qsizetype length = 1 + qsizetype((state >> 16) % (data[0] % 2 ? 4 : 17));
        split.pieces.append(split.payload.mid(at, length));
        at += length;
    }
    return split;
}

// One scratch folder for the process; a target overwrites its file there at every input.
inline const QString& scratchFolder() {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vantor-fuzz-XXXXXX"));
    static const QString path = dir.path();
    return path;
}

} // namespace vantor::fuzz
