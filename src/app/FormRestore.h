#pragma once

#include <QDialog>

namespace vantor {

// The Restore dialog: choose a backup folder and data groups, run or abort a restore.
class TFormRestore final : public QDialog {
    Q_OBJECT
public:
    explicit TFormRestore(QWidget* parent = nullptr);
};

} // namespace vantor
