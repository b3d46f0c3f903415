#pragma once

#include <QObject>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QRadioButton;
class QWidget;

namespace vantor {

class RadioGroup;

// The controls of the Function sheet, the workflow's gate: machine family and model, the
// ion-beam confirmation and the function choice.
class FunctionSheet final : public QObject {
    Q_OBJECT
public:
    explicit FunctionSheet(QWidget* sheet);

    // Unchecks both families (an exclusive pair refuses that by itself).
    void clearMachine();

    QGroupBox* gbMachine;
    QRadioButton* rbQEL;
    QRadioButton* rbDAX;
    QComboBox* CmbDaxType;
    QButtonGroup* machineGroup;
    RadioGroup* RGConfirm;
    RadioGroup* RdoFunction;
};

} // namespace vantor
