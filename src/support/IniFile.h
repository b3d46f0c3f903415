#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

namespace vantor {

// A Windows INI file with the semantics of the profile functions the instrument software
// uses on the same files: section and key names are case-insensitive, blanks around names
// and values are ignored, ";" starts a comment line, a key outside any section is ignored
// and, with repeated sections or keys, the first one counts.
//
// Nothing is cached: every call reads the file and every change is written at once, so
// two objects on the same path (or another program) always see each other's writes.
// A rewrite changes only the lines concerned; comments, unknown lines, blank lines, the
// line-end style (CR LF or LF), the byte order mark and the encoding stay as they were.
// A file is read as UTF-8 when it is valid UTF-8 (or marked as UTF-8 or UTF-16), else as
// CP932, the code page of the instrument's Japanese Windows PC. Once this program has
// written a file, it reads and writes it in the same encoding for as long as nobody else
// changes it, even when the rewrite left nothing that would tell the encoding again.
// New files get CR LF line ends on every platform, so the instrument PC reads them as its
// own, and are stored as UTF-8. Changes go through a temporary file that replaces the old
// one only when complete.
class IniFile final {
public:
    using Entry = std::pair<QString, QString>;

    explicit IniFile(QString path);

    const QString& path() const { return m_path; }
    bool exists() const;

    // Section names in file order, each name once.
    QStringList sections() const;
    // Key names of the section in file order; empty for a missing file or section.
    QStringList keys(const QString& section) const;
    // The section's entries as "key=value" lines in file order.
    QStringList sectionValues(const QString& section) const;
    QString read(const QString& section, const QString& key, const QString& defaultValue = {}) const;

    // An existing key keeps its place and spelling; a new key goes to the end of its
    // section; a missing section is added at the end of the file, a missing file is
    // created. False when the file cannot be read or written, when a name is unusable
    // (empty, or holding a line break, "=" in a key, ";" or "[" at a key's start) or when
    // a value holds a line break or a character the file's encoding cannot store; the file
    // is then untouched and errorString() says why.
    bool write(const QString& section, const QString& key, const QString& value);
    // Several keys of one section in one rewrite, in the given order.
    bool write(const QString& section, const QList<Entry>& entries);
    // Removes the key (every copy of it in the section); true also when there was none.
    bool deleteKey(const QString& section, const QString& key);
    // Removes the section with all its lines (every copy of it); true also when there was none.
    bool eraseSection(const QString& section);

    // Why the last failed change failed.
    const QString& errorString() const { return m_error; }

private:
    class Document;

    bool change(const std::function<bool(Document&)>& edit);

    QString m_path;
    QString m_error;
};

} // namespace vantor
