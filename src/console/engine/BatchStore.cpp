#include "BatchStore.h"

#include "support/Errors.h"
#include "support/IniFile.h"
#include "support/Paths.h"

#include <QDir>

namespace vantor {

namespace {

[[noreturn]] void writeFailed(const IniFile& ini) {
    throw FileError(QStringLiteral("Unable to write to %1. %2")
                        .arg(QDir::toNativeSeparators(ini.path()), ini.errorString()));
}

QString lineKey(qsizetype n) {
    return QStringLiteral("Line%1").arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

QString batchFilePath(const QString& dataFolder) {
    return paths::fileInFolder(dataFolder, QLatin1String(kBatchFileName));
}

StoredBatch LoadBatchSection(const QString& iniPath, const QString& section) {
    const IniFile ini(iniPath);
    const QStringList keys = ini.keys(section);
    StoredBatch batch;
    if (keys.size() < 2)
        return batch;
    batch.title = ini.read(section, keys.first());
    for (qsizetype i = 1; i < keys.size(); ++i)
        batch.lines << ini.read(section, keys.at(i));
    return batch;
}

void SaveBatchSection(const QString& iniPath, const QString& section, const QString& title,
                      const QStringList& lines) {
    QList<IniFile::Entry> entries;
    entries.reserve(lines.size() + 1);
    entries.append({QStringLiteral("Title"), title});
    for (qsizetype n = 0; n < lines.size(); ++n)
        entries.append({lineKey(n), lines.at(n)});

    IniFile ini(iniPath);
    // The new keys go in first, in one rewrite, so a failure leaves the old batch readable.
    if (!ini.write(section, entries))
        writeFailed(ini);
    // Then what an earlier save left over goes.
    QStringList wanted;
    for (const IniFile::Entry& e : entries)
        wanted << e.first.toLower();
    for (const QString& key : ini.keys(section))
        if (!wanted.contains(key.toLower()) && !ini.deleteKey(section, key))
            writeFailed(ini);
    // A section written by another tool may have had its keys in another order; only this
    // order reads back as the same batch.
    QStringList found = ini.keys(section);
    for (QString& key : found)
        key = key.toLower();
    if (found != wanted) {
        if (!ini.eraseSection(section) || !ini.write(section, entries))
            writeFailed(ini);
    }
}

void DeleteBatchSection(const QString& iniPath, const QString& section) {
    IniFile ini(iniPath);
    if (!ini.eraseSection(section))
        writeFailed(ini);
}

} // namespace vantor
