#include "FileIO.h"

#include "TextEncoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace vantor {

namespace {

// Lines end with CR LF, LF or a lone CR.
QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\n' && c != u'\r')
            continue;
        lines.append(text.mid(from, i - from));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        from = i + 1;
    }
    if (from < text.size())
        lines.append(text.mid(from));
    return lines;
}

} // namespace

bool TFileIO::loadTable(const QString& path, const QString& fileName) {
    if (fileName.isEmpty())
        return false;
    if (!path.isEmpty() && !QFileInfo(path).isDir())
        return false;
    const QString filePath = path.isEmpty() ? fileName : QDir(path).filePath(fileName);
    if (QFileInfo(filePath).isDir())
        return false;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;

    for (auto& row : m_cells)
        row.fill(QString());
    m_rowCount = 0;
    m_columnCount = 0;
    for (const QString& line : splitLines(decodeText(bytes).text)) {
        if (m_rowCount == quint32(kRows))
            break;
        const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        auto& row = m_cells[m_rowCount++];
        const qsizetype kept = std::min<qsizetype>(words.size(), kColumns);
        for (qsizetype w = 0; w < kept; ++w)
            row[w] = words.at(w);
        m_columnCount = std::max<qint32>(m_columnCount, qint32(kept));
    }
    return true;
}

QString TFileIO::cell(int word, int line) const {
    if (word < 0 || word >= kColumns || line < 0 || line >= kRows)
        return {};
    return m_cells[line][word];
}

} // namespace vantor
