#include "IniFile.h"

#include "TextEncoding.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>
#include <QSaveFile>

#include <optional>

Q_LOGGING_CATEGORY(lcIni, "vantor.support.ini", QtWarningMsg)

namespace vantor {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

enum class LineKind { Blank, Comment, Section, Key, Other };

struct LineMeaning {
    LineKind kind = LineKind::Other;
    QString name;             // section or key name, trimmed
    QString value;            // key value, trimmed
    qsizetype valueStart = 0; // where the value begins in the line (after "=" and blanks)
};

LineMeaning meaningOf(const QString& text) {
    LineMeaning m;
    qsizetype start = 0;
    while (start < text.size() && text.at(start).isSpace())
        ++start;
    if (start == text.size()) {
        m.kind = LineKind::Blank;
        return m;
    }
    const QChar first = text.at(start);
    if (first == u';') {
        m.kind = LineKind::Comment;
        return m;
    }
    if (first == u'[') {
        const qsizetype close = text.lastIndexOf(u']');
        if (close > start) {
            m.kind = LineKind::Section;
            m.name = text.mid(start + 1, close - start - 1).trimmed();
        }
        return m;
    }
    const qsizetype equals = text.indexOf(u'=', start);
    if (equals < 0)
        return m;
    m.name = text.mid(start, equals - start).trimmed();
    if (m.name.isEmpty())
        return m;
    m.kind = LineKind::Key;
    qsizetype v = equals + 1;
    while (v < text.size() && text.at(v).isSpace())
        ++v;
    m.valueStart = v;
    m.value = text.mid(v).trimmed();
    return m;
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool hasLineBreak(const QString& s) {
    return s.contains(u'\n') || s.contains(u'\r');
}

struct StoredAs {
    TextEncoding encoding;
    bool byteOrderMark;
};

// The encoding in which this program last wrote each file, with a digest of the bytes it
// wrote. A file that still holds those bytes is read in that encoding again: guessed anew,
// an 8-bit file whose last non-ASCII byte the program has just overwritten would be taken
// for UTF-8 from then on, and an 8-bit file that starts like a byte order mark could turn
// into UTF-16 by growing. A file that anyone else has changed since is guessed afresh.
class WrittenEncodings {
public:
    static WrittenEncodings& instance() {
        static WrittenEncodings written;
        return written;
    }

    std::optional<StoredAs> lookup(const QString& path, const QByteArray& bytes) {
        const QString key = QFileInfo(path).absoluteFilePath();
        const QByteArray digest = digestOf(bytes);
        QMutexLocker lock(&m_mutex);
        for (const Entry& e : m_entries)
            if (e.path == key)
                return e.digest == digest ? std::optional(e.storedAs) : std::nullopt;
        return std::nullopt;
    }

    void remember(const QString& path, const QByteArray& bytes, StoredAs storedAs) {
        Entry entry{QFileInfo(path).absoluteFilePath(), digestOf(bytes), storedAs};
        QMutexLocker lock(&m_mutex);
        m_entries.removeIf([&](const Entry& e) { return e.path == entry.path; });
        // The program writes a handful of files; the bound only keeps a long run of
        // throw-away files from growing the list.
        if (m_entries.size() >= kMaxFiles)
            m_entries.removeFirst();
        m_entries.append(std::move(entry));
    }

private:
    static constexpr qsizetype kMaxFiles = 64;
    struct Entry {
        QString path;
        QByteArray digest;
        StoredAs storedAs;
    };
    static QByteArray digestOf(const QByteArray& bytes) {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    }

    QMutex m_mutex;
    QList<Entry> m_entries; // the most recently written last
};

} // namespace

// The file as lines, each with its own line end, so untouched lines are written back as
// they came.
class IniFile::Document {
public:
    struct Line {
        QString text;
        QString end; // "\r\n", "\n", or empty for a last line without line end
    };
    struct Span {
        qsizetype header; // index of the "[name]" line
        qsizetype end;    // index after the last line of the section
    };

    QList<Line> lines;
    TextEncoding encoding = TextEncoding::Utf8;
    bool byteOrderMark = false;
    QString lineEnd = kCrLf; // used for lines the program adds

    // A missing file gives an empty document; an unreadable one gives none.
    static std::optional<Document> load(const QString& path, QString* error) {
        Document doc;
        QFile file(path);
        if (!file.exists())
            return doc;
        if (!file.open(QIODevice::ReadOnly)) {
            if (error)
                *error = QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString());
            return std::nullopt;
        }
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            if (error)
                *error = QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString());
            return std::nullopt;
        }
        DecodedText decoded;
        const std::optional<StoredAs> written = WrittenEncodings::instance().lookup(path, bytes);
        const std::optional<QString> asWritten =
            written ? decodeTextAs(bytes, written->encoding, written->byteOrderMark) : std::nullopt;
        if (asWritten)
            decoded = {*asWritten, written->encoding, written->byteOrderMark};
        else
            decoded = decodeText(bytes);
        doc.encoding = decoded.encoding;
        doc.byteOrderMark = decoded.byteOrderMark;
        const QString& text = decoded.text;
        bool endSeen = false;
        qsizetype from = 0;
        while (from < text.size()) {
            const qsizetype nl = text.indexOf(u'\n', from);
            if (nl < 0) {
                doc.lines.append({text.mid(from), QString()});
                break;
            }
            const bool crlf = nl > from && text.at(nl - 1) == u'\r';
            Line line{text.mid(from, nl - from - (crlf ? 1 : 0)), crlf ? kCrLf : QStringLiteral("\n")};
            if (!endSeen) {
                doc.lineEnd = line.end;
                endSeen = true;
            }
            doc.lines.append(std::move(line));
            from = nl + 1;
        }
        return doc;
    }

    // Empty when a character cannot be stored in the file's encoding.
    std::optional<QByteArray> serialize() const {
        QString text;
        for (const Line& line : lines) {
            text += line.text;
            text += line.end;
        }
        return encodeText(text, encoding, byteOrderMark);
    }

    // Every section of that name, in file order; the first is the one that counts.
    QList<Span> sectionsNamed(const QString& name) const {
        QList<Span> spans;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const LineMeaning m = meaningOf(lines.at(i).text);
            if (m.kind != LineKind::Section)
                continue;
            if (!spans.isEmpty() && spans.last().end < 0)
                spans.last().end = i;
            if (sameName(m.name, name))
                spans.append({i, -1});
        }
        if (!spans.isEmpty() && spans.last().end < 0)
            spans.last().end = lines.size();
        return spans;
    }

    std::optional<Span> section(const QString& name) const {
        const QList<Span> spans = sectionsNamed(name);
        if (spans.isEmpty())
            return std::nullopt;
        return spans.first();
    }

    // Keys of the span in order, with the line index of each.
    QList<std::pair<qsizetype, LineMeaning>> keyLines(const Span& span) const {
        QList<std::pair<qsizetype, LineMeaning>> result;
        for (qsizetype i = span.header + 1; i < span.end; ++i) {
            LineMeaning m = meaningOf(lines.at(i).text);
            if (m.kind == LineKind::Key)
                result.append({i, std::move(m)});
        }
        return result;
    }

    // One text per key of the file's section, in file order; none when the file cannot be read.
    template <typename Text>
    static QStringList keyTexts(const QString& path, const QString& section, Text text) {
        QStringList texts;
        const std::optional<Document> doc = load(path, nullptr);
        if (!doc)
            return texts;
        if (const auto span = doc->section(section.trimmed()))
            for (const auto& [index, m] : doc->keyLines(*span))
                texts.append(text(m));
        return texts;
    }

    void setValue(const QString& sectionName, const QString& key, const QString& value) {
        std::optional<Span> span = section(sectionName);
        if (!span) {
            giveLastLineAnEnd();
            lines.append({QLatin1Char('[') + sectionName + QLatin1Char(']'), lineEnd});
            lines.append({key + QLatin1Char('=') + value, lineEnd});
            return;
        }
        for (const auto& [index, m] : keyLines(*span)) {
            if (!sameName(m.name, key))
                continue;
            // The key's own spelling and the blanks around "=" stay.
            Line& line = lines[index];
            line.text = line.text.left(m.valueStart) + value;
            return;
        }
        // After the last non-blank line, so blank lines that part it from the next
        // section stay where they are.
        qsizetype at = span->header + 1;
        for (qsizetype i = span->end - 1; i > span->header; --i) {
            if (meaningOf(lines.at(i).text).kind != LineKind::Blank) {
                at = i + 1;
                break;
            }
        }
        if (at == lines.size())
            giveLastLineAnEnd();
        lines.insert(at, {key + QLatin1Char('=') + value, lineEnd});
    }

    bool removeKey(const QString& sectionName, const QString& key) {
        const std::optional<Span> span = section(sectionName);
        if (!span)
            return false;
        bool removed = false;
        const auto keys = keyLines(*span);
        for (auto it = keys.crbegin(); it != keys.crend(); ++it) {
            if (sameName(it->second.name, key)) {
                lines.removeAt(it->first);
                removed = true;
            }
        }
        return removed;
    }

    bool removeSection(const QString& name) {
        const QList<Span> spans = sectionsNamed(name);
        for (auto it = spans.crbegin(); it != spans.crend(); ++it)
            lines.remove(it->header, it->end - it->header);
        return !spans.isEmpty();
    }

private:
    void giveLastLineAnEnd() {
        if (!lines.isEmpty() && lines.last().end.isEmpty())
            lines.last().end = lineEnd;
    }
};

IniFile::IniFile(QString path) : m_path(std::move(path)) {}

bool IniFile::exists() const {
    return QFileInfo(m_path).isFile();
}

QStringList IniFile::sections() const {
    QStringList names;
    const std::optional<Document> doc = Document::load(m_path, nullptr);
    if (!doc)
        return names;
    for (const Document::Line& line : doc->lines) {
        const LineMeaning m = meaningOf(line.text);
        if (m.kind == LineKind::Section && !names.contains(m.name, Qt::CaseInsensitive))
            names.append(m.name);
    }
    return names;
}

QStringList IniFile::keys(const QString& section) const {
    return Document::keyTexts(m_path, section, [](const LineMeaning& m) { return m.name; });
}

QStringList IniFile::sectionValues(const QString& section) const {
    return Document::keyTexts(m_path, section,
                              [](const LineMeaning& m) { return m.name + QLatin1Char('=') + m.value; });
}

QString IniFile::read(const QString& section, const QString& key, const QString& defaultValue) const {
    const std::optional<Document> doc = Document::load(m_path, nullptr);
    if (!doc)
        return defaultValue;
    const QString wanted = key.trimmed();
    if (const auto span = doc->section(section.trimmed()))
        for (const auto& [index, m] : doc->keyLines(*span))
            if (sameName(m.name, wanted))
                return m.value;
    return defaultValue;
}

bool IniFile::write(const QString& section, const QString& key, const QString& value) {
    return write(section, QList<Entry>{{key, value}});
}

bool IniFile::write(const QString& section, const QList<Entry>& entries) {
    const QString sectionName = section.trimmed();
    if (sectionName.isEmpty() || hasLineBreak(sectionName)) {
        m_error = QStringLiteral("Unusable section name \"%1\"").arg(section);
        return false;
    }
    for (const auto& [key, value] : entries) {
        const QString k = key.trimmed();
        if (k.isEmpty() || hasLineBreak(k) || k.contains(u'=') || k.startsWith(u';') || k.startsWith(u'[')) {
            m_error = QStringLiteral("Unusable key name \"%1\"").arg(key);
            return false;
        }
        if (hasLineBreak(value)) {
            m_error = QStringLiteral("The value of \"%1\" holds a line break").arg(key);
            return false;
        }
    }
    return change([&](Document& doc) {
        for (const auto& [key, value] : entries)
            doc.setValue(sectionName, key.trimmed(), value.trimmed());
        return true;
    });
}

bool IniFile::deleteKey(const QString& section, const QString& key) {
    return change([&](Document& doc) { return doc.removeKey(section.trimmed(), key.trimmed()); });
}

bool IniFile::eraseSection(const QString& section) {
    return change([&](Document& doc) { return doc.removeSection(section.trimmed()); });
}

bool IniFile::change(const std::function<bool(Document&)>& edit) {
    m_error.clear();
    std::optional<Document> doc = Document::load(m_path, &m_error);
    if (!doc) {
        qCWarning(lcIni) << m_error;
        return false;
    }
    const QList<Document::Line> before = doc->lines;
    if (!edit(*doc))
        return true; // nothing to remove
    if (doc->lines.size() == before.size() && exists()) {
        bool same = true;
        for (qsizetype i = 0; same && i < before.size(); ++i)
            same = before.at(i).text == doc->lines.at(i).text && before.at(i).end == doc->lines.at(i).end;
        if (same)
            return true;
    }
    const std::optional<QByteArray> bytes = doc->serialize();
    if (!bytes) {
        m_error = QStringLiteral("\"%1\" is a %2 file and cannot store these characters")
                      .arg(m_path, encodingName(doc->encoding));
        qCWarning(lcIni) << m_error;
        return false;
    }
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly) || out.write(*bytes) != bytes->size() || !out.commit()) {
        m_error = QStringLiteral("Cannot write \"%1\": %2").arg(m_path, out.errorString());
        qCWarning(lcIni) << m_error;
        return false;
    }
    WrittenEncodings::instance().remember(m_path, *bytes, {doc->encoding, doc->byteOrderMark});
    return true;
}

} // namespace vantor
