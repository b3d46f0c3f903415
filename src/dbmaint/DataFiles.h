#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The two text files saved from the VME controller that the database page reads: the
// aperture data file and the ion-source data file. Pure functions over text lines.
namespace vantor {

// The cells of a string grid, addressed as the grid addresses them: column, then row.
// Cells outside the grid are ignored when set and empty when read.
class CellGrid final {
public:
    CellGrid(int columns, int rows) : m_columns(columns), m_rows(rows), m_cells(columns * rows) {}

    int columns() const { return m_columns; }
    int rows() const { return m_rows; }
    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString& text);

private:
    int m_columns;
    int m_rows;
    QList<QString> m_cells;
};

// Splits at runs of blanks, leading blanks skipped; at most `maxTokens` tokens (the rest
// of the line is dropped), none for a blank line.
QStringList splitAtBlanks(const QString& line, int maxTokens = -1);

// The aperture data file: lines that are empty, hold only blanks or begin with "Align2"
// are dropped, the first "=" of every other line is removed. The first two remaining
// lines are headers; line k after them (k = 2, 3, ...) fills grid row k - 1, token t in
// column t (at most 16 tokens). Cells the file does not reach keep their contents.
void ParseApDataFile(const QStringList& lines, CellGrid& grid);

// The ion-source data file: line 1 holds the number n of data lines, data line r fills
// grid row r from column 1 on. A first line that is not an integer throws ConversionError;
// fewer data lines than announced throw Error after filling the rows that exist.
void ParseIonDataFile(const QStringList& lines, CellGrid& grid);

// An aperture value as the grids show it: "%8.2f" from 100 on, "%8.3f" below; a value
// the table does not hold (NaN) is empty.
QString formatApValue(double value);

// The number in a grid cell as the copy converts it; throws ConversionError for text that
// is not a number (an empty cell included).
double cellNumber(const QString& text);

// A local text file as lines (UTF-8 when valid, else the 8-bit code page), without line
// ends. Throws FileError when it cannot be read.
QStringList readTextLines(const QString& path);

} // namespace vantor
