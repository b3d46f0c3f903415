#include "FunctionChoice.h"

namespace vantor {

QString familyCaption(Family family) {
    switch (family) {
    case Family::QEL:
        return QStringLiteral("QEL");
    case Family::DAX:
        return QStringLiteral("DAX");
    case Family::None:
        break;
    }
    return QString();
}

QStringList daxModels() {
    return {QStringLiteral("61"), QStringLiteral("62"), QStringLiteral("41"), QStringLiteral("41B")};
}

QStringList functionCaptions() {
    return {QStringLiteral("Install  OS9"), QStringLiteral("Version Up  OS9"), QStringLiteral("Restore Data"),
            QStringLiteral("Others")};
}

Function functionAt(int index) {
    if (index < 0 || index >= functionCaptions().size())
        return Function::None;
    return static_cast<Function>(index);
}

} // namespace vantor
