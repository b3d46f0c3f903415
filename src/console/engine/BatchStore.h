#pragma once

#include <QString>
#include <QStringList>

namespace vantor {

// The user batches in "OS9Batch.INI": one section per batch ("Batch5" to "Batch7"), a
// key "Title" with the batch's title, then keys "Line00", "Line01", ..., "Line100", ...
// with its lines. Reading does not go by the key names: the section's first key is the
// title and every further key, in file order, a line, so files written by other tools
// load as well.

inline constexpr const char* kBatchFileName = "OS9Batch.INI";

// The batch file in an instrument data folder, whatever the letter case it was stored with.
QString batchFilePath(const QString& dataFolder);

struct StoredBatch {
    QString title;
    QStringList lines;
};

// A missing file or section, or a section with a single key, gives no title and no lines.
StoredBatch LoadBatchSection(const QString& iniPath, const QString& section);

// Replaces the section by the title and the lines. Keys of an earlier, longer save do not
// survive to be read back as lines. The file keeps its other sections and comments.
// Throws FileError when the file cannot be written; the stored batch is then either the
// old one or the new one.
void SaveBatchSection(const QString& iniPath, const QString& section, const QString& title,
                      const QStringList& lines);

// Removes the section; nothing happens when there is none. Throws FileError when the file
// cannot be written.
void DeleteBatchSection(const QString& iniPath, const QString& section);

} // namespace vantor
