#include "TestSupport.h"

#include <QRandomGenerator>

namespace vantor::test {

QString sourceDir() {
    return qEnvironmentVariable("VANTOR_TEST_SOURCE_DIR", QStringLiteral(VANTOR_SOURCE_DIR));
}

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QByteArray out(size, Qt::Uninitialized);
    QRandomGenerator gen(seed);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char(gen.generate() & 0xFF);
    return out;
}

} // namespace vantor::test
