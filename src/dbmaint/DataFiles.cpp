#include "DataFiles.h"

#include "DatabaseErrors.h"
#include "support/TextEncoding.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace vantor {

QString CellGrid::cell(int column, int row) const {
    if (column < 0 || column >= m_columns || row < 0 || row >= m_rows)
        return {};
    return m_cells[row * m_columns + column];
}

void CellGrid::setCell(int column, int row, const QString& text) {
    if (column >= 0 && column < m_columns && row >= 0 && row < m_rows)
        m_cells[row * m_columns + column] = text;
}

QStringList splitAtBlanks(const QString& line, int maxTokens) {
    QStringList tokens = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (maxTokens >= 0 && tokens.size() > maxTokens)
        tokens.resize(maxTokens);
    return tokens;
}

void ParseApDataFile(const QStringList& lines, CellGrid& grid) {
    QStringList kept;
    for (const QString& line : lines) {
        if (line.trimmed().isEmpty() && !line.contains(QLatin1Char('\t')))
            continue;
        if (line.startsWith(QLatin1String("Align2")))
            continue;
        QString cleaned = line;
        const qsizetype equals = cleaned.indexOf(QLatin1Char('='));
        if (equals >= 0)
            cleaned.remove(equals, 1);
        kept.append(cleaned);
    }
    for (int k = 2; k < kept.size(); ++k) {
        const QStringList tokens = splitAtBlanks(kept[k], 16);
        for (int t = 0; t < tokens.size(); ++t)
            grid.setCell(t, k - 1, tokens[t]);
    }
}

void ParseIonDataFile(const QStringList& lines, CellGrid& grid) {
    if (lines.isEmpty())
        throw Error(QStringLiteral("List index out of bounds (0)"));
    bool ok = false;
    const int count = lines.first().trimmed().toInt(&ok);
    if (!ok)
        throw ConversionError(
            QStringLiteral("'%1' is not a valid integer value").arg(lines.first().trimmed()));
    for (int r = 1; r <= count; ++r) {
        if (r >= lines.size())
            throw Error(QStringLiteral("List index out of bounds (%1)").arg(r));
        const QStringList values = splitAtBlanks(lines[r]);
        for (int c = 0; c < values.size(); ++c)
            grid.setCell(c + 1, r, values[c]);
    }
}

QString formatApValue(double value) {
    if (std::isnan(value))
        return {};
    return QString::asprintf(value >= 100.0 ? "%8.2f" : "%8.3f", value);
}

double cellNumber(const QString& text) {
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}

QStringList readTextLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    const QString text = decodeText(file.readAll()).text;
    QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line starts no new line
    return lines;
}

} // namespace vantor
