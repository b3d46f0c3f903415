#include "FunctionSheet.h"

#include "RadioGroup.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vantor {

FunctionSheet::FunctionSheet(QWidget* sheet) : QObject(sheet) {
    gbMachine = new QGroupBox(QStringLiteral("Type"), sheet);
    gbMachine->setObjectName(QStringLiteral("gbMachine"));
    rbQEL = new QRadioButton(QStringLiteral("QEL"), gbMachine);
    rbQEL->setObjectName(QStringLiteral("rbQEL"));
    rbDAX = new QRadioButton(QStringLiteral("DAX"), gbMachine);
    rbDAX->setObjectName(QStringLiteral("rbDAX"));
    // The two families are unchecked together on a reset, which an auto-exclusive pair
    // would refuse; the gate keeps them exclusive itself.
    rbQEL->setAutoExclusive(false);
    rbDAX->setAutoExclusive(false);
    CmbDaxType = new QComboBox(gbMachine);
    CmbDaxType->setObjectName(QStringLiteral("CmbDaxType"));
    CmbDaxType->addItems({QStringLiteral("61"), QStringLiteral("62"), QStringLiteral("41"), QStringLiteral("41B")});
    auto* machine = new QGridLayout(gbMachine);
    machine->addWidget(rbQEL, 0, 0);
    machine->addWidget(rbDAX, 1, 0);
    machine->addWidget(CmbDaxType, 1, 1);

    RGConfirm = new RadioGroup(QStringLiteral("Ion beam  off ?"),
                               {QStringLiteral("Yes.  ion beam is OFF."),
                                QStringLiteral("Ion beam is ON,  or  I don't know.")},
                               sheet);
    RGConfirm->setObjectName(QStringLiteral("RGConfirm"));
    RGConfirm->setEnabled(false);
    RdoFunction = new RadioGroup(QStringLiteral("Select  Function  "),
                                 {QStringLiteral("Install  OS9"), QStringLiteral("Version Up  OS9"),
                                  QStringLiteral("Restore Data"), QStringLiteral("Others")},
                                 sheet);
    RdoFunction->setObjectName(QStringLiteral("RdoFunction"));
    RdoFunction->setEnabled(false);

    auto* layout = new QVBoxLayout(sheet);
    layout->addWidget(gbMachine);
    layout->addWidget(RGConfirm);
    layout->addWidget(RdoFunction);
    layout->addStretch();
}

} // namespace vantor
