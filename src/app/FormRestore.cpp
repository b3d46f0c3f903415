#include "FormRestore.h"

namespace vantor {

TFormRestore::TFormRestore(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormRestore"));
    setWindowTitle(QStringLiteral("Restore"));
}

} // namespace vantor
