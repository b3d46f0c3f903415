#pragma once

#include <QDialog>

namespace vantor {

// The modeless dialog that asks for a user batch's title.
class TFormBatchTitle final : public QDialog {
    Q_OBJECT
public:
    explicit TFormBatchTitle(QWidget* parent = nullptr);
};

} // namespace vantor
