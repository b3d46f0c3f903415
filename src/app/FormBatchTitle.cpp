#include "FormBatchTitle.h"

namespace vantor {

TFormBatchTitle::TFormBatchTitle(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormBatchTitle"));
    setWindowTitle(QStringLiteral("Batch Title"));
}

} // namespace vantor
