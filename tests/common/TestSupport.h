#pragma once

#include <QByteArray>
#include <QString>

namespace vantor::test {

// Folder of the source tree, for fixtures.
QString sourceDir();

// Fills a buffer with reproducible pseudo-random bytes.
QByteArray randomBytes(qsizetype size, quint32 seed = 1);

// A file's bytes, or "<missing>" when it cannot be read, so that a comparison shows which.
QByteArray fileBytes(const QString& path);

// Writes `bytes` to `path`, making its folders first; false when any of it failed.
bool putFile(const QString& path, const QByteArray& bytes);

// A port on 127.0.0.1 that nobody listens on (taken and given back at once), for refused
// connections; 0 when no port could be taken.
quint16 closedPort();

} // namespace vantor::test
