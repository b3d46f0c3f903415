#include "TextFileCodec.h"

#include "support/Errors.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace vantor {

TextFileContent decodeTextFile(const QByteArray& bytes) {
    TextFileContent out;
    DecodedText decoded = decodeText(bytes);
    QString text = decoded.text;
    out.encoding = decoded.encoding;
    out.byteOrderMark = decoded.byteOrderMark;
    out.crlf = bytes.contains("\r\n");
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.finalNewline = text.endsWith(QLatin1Char('\n'));
    if (out.finalNewline)
        text.chop(1);
    out.text = text;
    return out;
}

QByteArray encodeTextFile(const TextFileContent& content) {
    QString text = content.text;
    if (content.finalNewline && !text.isEmpty())
        text += QLatin1Char('\n');
    if (content.crlf)
        text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    std::optional<QByteArray> bytes = encodeText(text, content.encoding, content.byteOrderMark);
    if (!bytes)
        throw FileError(QStringLiteral("The text holds characters that the file's encoding cannot store"));
    return *bytes;
}

TextFileContent readTextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return decodeTextFile(file.readAll());
}

void writeTextFile(const QString& path, const TextFileContent& content) {
    // Written beside the target and renamed over it, so a failed save leaves the old file whole.
    const QByteArray bytes = encodeTextFile(content);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw FileError(QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), file.errorString()));
}

} // namespace vantor
