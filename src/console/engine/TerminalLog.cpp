#include "TerminalLog.h"

#include "console/engine/Cp932.h"
#include "console/engine/TerminalText.h"
#include "support/Errors.h"

#include <QDir>
#include <QSaveFile>

namespace vantor {

void saveTerminalLog(const TerminalText& text, const QString& path) {
    QSaveFile file(path);
    const auto fail = [&](const QString& reason) {
        throw FileError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), reason));
    };
    if (!file.open(QIODevice::WriteOnly))
        fail(file.errorString());
    qsizetype count = text.lineCount();
    if (count > 0 && text.lineUtf8(count - 1).isEmpty())
        --count;
    QByteArray pending;
    for (qsizetype i = 0; i < count; ++i) {
        pending += encodeCp932(text.line(i));
        pending += "\r\n";
        if (pending.size() >= 256 * 1024) {
            if (file.write(pending) != pending.size())
                fail(file.errorString());
            pending.clear();
        }
    }
    if (file.write(pending) != pending.size() || !file.commit())
        fail(file.errorString());
}

} // namespace vantor
