#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

namespace vantor {

// Reads a small text file into a table of words: word w of non-blank line l goes to
// cell(w, l). Only the blank separates words (a tab is part of a word); runs of blanks
// count as one; leading blanks and blank lines are dropped. The table holds 51 words a
// line and 101 lines; what lies beyond is ignored.
class TFileIO final {
public:
    static constexpr int kColumns = 51;
    static constexpr int kRows = 101;

    TFileIO() = default;

    void setPath(QString path) { m_path = std::move(path); }
    void setFileName(QString fileName) { m_fileName = std::move(fileName); }
    QString path() const { return m_path; }
    QString fileName() const { return m_fileName; }

    // Reads `fileName` in the folder `path` (the current folder when empty). False, with
    // the table unchanged, when the folder or file cannot be opened; otherwise the table
    // holds this file's words alone. The process's current folder is not touched.
    bool loadTable(const QString& path, const QString& fileName);
    // The same for path() and fileName().
    bool loadTable() { return loadTable(m_path, m_fileName); }

    // Empty for a cell no word filled and for indexes outside the table.
    QString cell(int word, int line) const;
    // The most words found on one line (at most 51).
    qint32 columnCount() const { return m_columnCount; }
    // The number of non-blank lines kept (at most 101).
    quint32 rowCount() const { return m_rowCount; }

private:
    QString m_path;
    QString m_fileName;
    std::array<std::array<QString, kColumns>, kRows> m_cells{};
    qint32 m_columnCount = 4;
    quint32 m_rowCount = 4;
};

} // namespace vantor
