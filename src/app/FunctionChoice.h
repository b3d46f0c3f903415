#pragma once

#include <QString>
#include <QStringList>

namespace vantor {

// The instrument families. The system-information object numbers them 1 (QEL) and 2 (DAX).
enum class Family { None, QEL, DAX };

// The functions of the Function sheet, numbered as its items.
enum class Function { None = -1, InstallOS9 = 0, VersionUpOS9 = 1, RestoreData = 2, Others = 3 };

// What the engineer has chosen on the Function sheet.
struct FunctionChoice {
    Family family = Family::None;
    int daxModel = -1; // index into daxModels(); -1 = none chosen
    Function function = Function::None;
};

// The family's radio button caption: "QEL", "DAX".
QString familyCaption(Family family);
// The DAX models in the order of the model choice.
QStringList daxModels();
// The Function sheet's items, in the order of `Function`.
QStringList functionCaptions();
// The function of item `index`; None for no item or one out of range.
Function functionAt(int index);

} // namespace vantor
