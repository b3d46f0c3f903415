// INI files as the instrument software leaves them: whatever the bytes, reading never
// fails hard, a written key reads back while every other key keeps its value, a deleted
// key is gone, and writing the same value again leaves the file's bytes as they are.
//
// Input: a first line "SECTION\x1fKEY\x1fVALUE" naming the change, then the file's bytes.

#include "FuzzSupport.h"

#include "support/IniFile.h"

#include <QFile>

using namespace vantor;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fuzz::fail("the scratch file can be written", path);
}

struct Snapshot {
    QList<std::pair<QString, QString>> keys; // (section, key) in file order
    QStringList values;
};

Snapshot snapshot(const IniFile& ini) {
    Snapshot s;
    const QStringList sections = ini.sections();
    for (const QString& section : sections) {
        for (const QString& key : ini.keys(section)) {
            s.keys.append({section, key});
            s.values.append(ini.read(section, key));
        }
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype headerEnd = input.indexOf('\n');
    const QByteArray header = headerEnd < 0 ? QByteArray() : input.left(headerEnd);
    const QByteArray file = headerEnd < 0 ? input : input.mid(headerEnd + 1);
    const QList<QByteArray> parts = header.split('\x1f');
    // Names and values as typed in the program: text, not bytes.
    const QString section = QString::fromUtf8(parts.value(0, "A"));
    const QString key = QString::fromUtf8(parts.value(1, "k"));
    const QString value = QString::fromUtf8(parts.value(2, "v"));

    const QString path = fuzz::scratchFolder() + QStringLiteral("/fuzz.ini");
    writeAll(path, file);
    IniFile ini(path);

    const Snapshot before = snapshot(ini);
    const QStringList sections = ini.sections();
    for (qsizetype i = 0; i < sections.size(); ++i)
        for (qsizetype j = i + 1; j < sections.size(); ++j)
            VANTOR_FUZZ_CHECK(sections.at(i).compare(sections.at(j), Qt::CaseInsensitive) != 0,
                              fuzz::hex(file));
    for (const QString& entry : ini.sectionValues(section))
        VANTOR_FUZZ_CHECK(entry.contains(u'='), fuzz::hex(file));
    VANTOR_FUZZ_CHECK(readAll(path) == file, QStringLiteral("reading changed the file ") + fuzz::hex(file));

    if (!ini.write(section, key, value))
        return 0; // an unusable name or a value the file's encoding cannot hold: refused, untouched
    const QByteArray written = readAll(path);

    VANTOR_FUZZ_CHECK(ini.read(section, key, QStringLiteral("\x01missing")) == value.trimmed(),
                      QStringLiteral("file %1\nwritten %2\nread back %3")
                          .arg(fuzz::hex(file), fuzz::hex(written), ini.read(section, key)));

    // Writing what is already there is no change.
    VANTOR_FUZZ_CHECK(ini.write(section, key, value) && readAll(path) == written, fuzz::hex(file));

    // Every other key keeps its value: the file keeps the encoding it was read with, even
    // where the rewrite left nothing that would tell it again.
    for (qsizetype i = 0; i < before.keys.size(); ++i) {
        const auto& [s, k] = before.keys.at(i);
        if (s.compare(section.trimmed(), Qt::CaseInsensitive) == 0 &&
            k.compare(key.trimmed(), Qt::CaseInsensitive) == 0)
            continue;
        VANTOR_FUZZ_CHECK(
            ini.read(s, k) == before.values.at(i),
            QStringLiteral("file %1\nwritten %2\n[%3] %4").arg(fuzz::hex(file), fuzz::hex(written), s, k));
    }

    VANTOR_FUZZ_CHECK(ini.deleteKey(section, key), fuzz::hex(file));
    VANTOR_FUZZ_CHECK(ini.read(section, key, QStringLiteral("\x01missing")) == QStringLiteral("\x01missing"),
                      fuzz::hex(file));
    return 0;
}
