#pragma once

#include <QByteArray>
#include <QString>

namespace vantor::test {

// Folder of the source tree, for fixtures.
QString sourceDir();

// Fills a buffer with reproducible pseudo-random bytes.
QByteArray randomBytes(qsizetype size, quint32 seed = 1);

} // namespace vantor::test
