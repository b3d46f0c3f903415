#include "TextFileCodec.h"

#include "support/Errors.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSaveFile>

namespace vantor {

namespace {

bool isParagraphBreak(QChar c) {
    return c == u'\n' || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) || c == QChar(0xFDD1);
}

// For a line the file gives no end of its own: the end its lines have most often, LF when
// it has none.
QString commonEnd(const QStringList& ends) {
    QHash<QString, int> counts;
    QString best = QStringLiteral("\n");
    int bestCount = 0;
    for (const QString& end : ends) {
        if (end.isEmpty())
            continue;
        const int count = ++counts[end];
        if (count > bestCount) {
            best = end;
            bestCount = count;
        }
    }
    return best;
}

} // namespace

TextFileContent TextFileContent::withLines(const QStringList& edited) const {
    TextFileContent out = *this;
    out.lines = edited.isEmpty() ? QStringList{QString()} : edited;
    const qsizetype k = lines.size();
    const qsizetype m = out.lines.size();
    qsizetype prefix = 0;
    while (prefix < k && prefix < m && lines.at(prefix) == out.lines.at(prefix))
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < k - prefix && suffix < m - prefix &&
           lines.at(k - 1 - suffix) == out.lines.at(m - 1 - suffix))
        ++suffix;

    const QString fallback = commonEnd(ends);
    out.ends.clear();
    out.ends.reserve(m);
    for (qsizetype i = 0; i < m; ++i) {
        qsizetype from = -1;
        if (i < prefix)
            from = i;
        else if (i >= m - suffix)
            from = i - m + k;
        else if (i - prefix < k - suffix - prefix)
            from = i; // the changed part, line for line
        QString end = from >= 0 ? ends.at(from) : QString();
        if (i + 1 < m && end.isEmpty())
            end = fallback;
        out.ends.append(end);
    }
    // An editor emptied by the engineer is an empty file, not one line end.
    const bool emptied = m == 1 && out.lines.first().isEmpty() && lines != out.lines;
    out.ends.last() = emptied ? QString() : ends.last();
    return out;
}

TextFileContent decodeTextFile(const QByteArray& bytes) {
    TextFileContent out;
    const DecodedText decoded = decodeText(bytes);
    out.encoding = decoded.encoding;
    out.byteOrderMark = decoded.byteOrderMark;
    out.lines.clear();
    out.ends.clear();
    const QString& text = decoded.text;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        qsizetype endLength = 0;
        if (c == u'\r')
            endLength = i + 1 < n && text.at(i + 1) == u'\n' ? 2 : 1;
        else if (isParagraphBreak(c))
            endLength = 1;
        if (endLength == 0)
            continue;
        out.lines.append(text.mid(start, i - start));
        out.ends.append(text.mid(i, endLength));
        i += endLength - 1;
        start = i + 1;
    }
    if (start < n || out.lines.isEmpty()) {
        out.lines.append(text.mid(start));
        out.ends.append(QString());
    }
    return out;
}

namespace {

std::optional<QByteArray> encoded(const TextFileContent& content) {
    QString text;
    for (qsizetype i = 0; i < content.lines.size(); ++i) {
        text += content.lines.at(i);
        text += content.ends.value(i);
    }
    return encodeText(text, content.encoding, content.byteOrderMark);
}

QString unstorableText(const TextFileContent& content) {
    return QStringLiteral("The text holds characters that a %1 file cannot store.")
        .arg(encodingName(content.encoding));
}

} // namespace

QByteArray encodeTextFile(const TextFileContent& content) {
    std::optional<QByteArray> bytes = encoded(content);
    if (!bytes)
        throw FileError(unstorableText(content));
    return *bytes;
}

TextFileContent readTextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Cannot open file \"%1\". %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
    return decodeTextFile(file.readAll());
}

void writeTextFile(const QString& path, const TextFileContent& content) {
    // Written beside the target and renamed over it, so a failed save leaves the old file whole.
    const std::optional<QByteArray> bytes = encoded(content);
    if (!bytes)
        throw FileError(QStringLiteral("Cannot save \"%1\". %2")
                            .arg(QDir::toNativeSeparators(path), unstorableText(content)));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
        throw FileError(QStringLiteral("Cannot create file \"%1\". %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
}

} // namespace vantor
