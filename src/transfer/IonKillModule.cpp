#include "IonKillModule.h"

#include "ftp/ReplacingFile.h"
#include "support/Errors.h"
#include "transfer/IonKillData.h"

#include <QDir>

namespace vantor {

QByteArrayView IonKillModule::hexText() {
    return QByteArrayView(ionkill_data::kHexText, qsizetype(ionkill_data::kHexDigits));
}

QByteArray IonKillModule::bytes() {
    return QByteArray::fromHex(hexText().toByteArray());
}

bool IonKillModule::isStandIn() {
    return ionkill_data::kStandIn;
}

QString IonKillModule::description() {
    const QString head = QStringLiteral("%1 edition %2, %3 bytes")
                             .arg(QLatin1String(kName))
                             .arg(ionkill_data::kEdition)
                             .arg(ionkill_data::kHexDigits / 2);
    if (isStandIn())
        return head + QStringLiteral(": the built-in stand-in, which stops nothing");
    return head + QStringLiteral(": the site's module ") + QString::fromUtf8(ionkill_data::kOrigin);
}

void IonKillModule::write(const QString& fileName) {
    // Not QSaveFile: it would follow a link planted under the name and write its target.
    ReplacingFile file(fileName);
    const QByteArray data = bytes();
    QString problem;
    if (!file.open())
        problem = file.errorString();
    else if (file.device().write(data) != data.size())
        problem = file.device().errorString();
    else if (!file.commit())
        problem = file.errorString();
    if (!problem.isEmpty())
        throw FileError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(fileName), problem));
}

} // namespace vantor
