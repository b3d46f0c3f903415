#include "TextFileCodec.h"

#include "support/Errors.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace vantor {

TextFileContent decodeTextFile(const QByteArray& bytes) {
    TextFileContent out;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        out.utf8 = false;
        text = QString::fromLocal8Bit(bytes);
        if (text.contains(QChar::ReplacementCharacter))
            text = QString::fromLatin1(bytes);
    }
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
    return content.utf8 ? text.toUtf8() : text.toLocal8Bit();
}

TextFileContent readTextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return decodeTextFile(file.readAll());
}

void writeTextFile(const QString& path, const TextFileContent& content) {
    // Written beside the target and renamed over it, so a failed save leaves the old file whole.
    QSaveFile file(path);
    const QByteArray bytes = encodeTextFile(content);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw FileError(QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), file.errorString()));
}

} // namespace vantor
