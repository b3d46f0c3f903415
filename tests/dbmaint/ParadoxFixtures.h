#pragma once

#include "common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QString>

namespace vantor::test {

// The folder of Paradox tables written by Paradox and the Borland engine (never copied into
// this repository). VANTOR_PARADOX_FIXTURES names it; otherwise it is looked for beside the
// source tree. Empty when absent: the tests that need it are skipped.
inline QString paradoxFixtures() {
    const QString given = qEnvironmentVariable("VANTOR_PARADOX_FIXTURES");
    if (!given.isEmpty())
        return QDir(given).exists() ? given : QString();
    for (const char* relative : {"../shared/fixtures/paradox", "../../shared/fixtures/paradox"}) {
        const QDir dir(QDir(sourceDir()).filePath(QLatin1String(relative)));
        if (dir.exists())
            return dir.absolutePath();
    }
    return {};
}

// Copies a fixture table (its .DB and, when present, the .PX and .MB with the same base
// name) into `folder`, writable; returns the copied .DB path or an empty string.
inline QString copyFixtureTable(const QString& dbName, const QString& folder) {
    const QDir source(paradoxFixtures());
    const QString base = QFileInfo(dbName).completeBaseName();
    QString copied;
    for (const QString& name : source.entryList({base + QStringLiteral(".*")}, QDir::Files)) {
        const QString target = QDir(folder).filePath(name);
        QFile::remove(target);
        if (!QFile::copy(source.filePath(name), target))
            return {};
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        if (name == dbName)
            copied = target;
    }
    return copied;
}

} // namespace vantor::test
