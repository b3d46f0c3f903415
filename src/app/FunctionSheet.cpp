#include "FunctionSheet.h"

#include "FunctionChoice.h"
#include "RadioGroup.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vantor {

FunctionSheet::FunctionSheet(QWidget* sheet) : QObject(sheet) {
    gbMachine = new QGroupBox(QStringLiteral("Type"), sheet);
    gbMachine->setObjectName(QStringLiteral("gbMachine"));
    rbQEL = new QRadioButton(familyCaption(Family::QEL), gbMachine);
    rbQEL->setObjectName(QStringLiteral("rbQEL"));
    rbDAX = new QRadioButton(familyCaption(Family::DAX), gbMachine);
    rbDAX->setObjectName(QStringLiteral("rbDAX"));
    machineGroup = new QButtonGroup(this);
    machineGroup->addButton(rbQEL);
    machineGroup->addButton(rbDAX);
    CmbDaxType = new QComboBox(gbMachine);
    CmbDaxType->setObjectName(QStringLiteral("CmbDaxType"));
    CmbDaxType->addItems(daxModels());
    auto* machine = new QGridLayout(gbMachine);
    machine->addWidget(rbQEL, 0, 0);
    machine->addWidget(rbDAX, 1, 0);
    machine->addWidget(CmbDaxType, 1, 1);

    RGConfirm = new RadioGroup(
        QStringLiteral("Ion beam  off ?"),
        {QStringLiteral("Yes.  ion beam is OFF."), QStringLiteral("Ion beam is ON,  or  I don't know.")},
        sheet);
    RGConfirm->setObjectName(QStringLiteral("RGConfirm"));
    RGConfirm->setEnabled(false);
    RdoFunction = new RadioGroup(QStringLiteral("Select  Function  "), functionCaptions(), sheet);
    RdoFunction->setObjectName(QStringLiteral("RdoFunction"));
    RdoFunction->setEnabled(false);

    // One narrow column, read top to bottom in the order the engineer answers.
    auto* column = new QVBoxLayout;
    column->addWidget(gbMachine);
    column->addWidget(RGConfirm);
    column->addWidget(RdoFunction);
    column->addStretch();
    auto* layout = new QHBoxLayout(sheet);
    layout->addLayout(column);
    layout->addStretch(1);
    for (QWidget* w : {static_cast<QWidget*>(gbMachine), static_cast<QWidget*>(RGConfirm),
                       static_cast<QWidget*>(RdoFunction)})
        w->setFixedWidth(360);
}

} // namespace vantor

namespace vantor {

void FunctionSheet::clearMachine() {
    machineGroup->setExclusive(false);
    rbQEL->setChecked(false);
    rbDAX->setChecked(false);
    machineGroup->setExclusive(true);
}

} // namespace vantor
