#include "FunctionPlan.h"

#include <iterator>

namespace vantor {

namespace {
constexpr Sheet kAllSheets[] = {Sheet::Entry,          Sheet::Install,    Sheet::VersionUp, Sheet::Backup,
                                Sheet::FileTransfer,   Sheet::FileViewer, Sheet::Telnet,    Sheet::Serial,
                                Sheet::DatabaseMainte, Sheet::Setup};

// The sheets of the "Others" function.
bool isOthersSheet(Sheet sheet) {
    return sheet == Sheet::Backup || sheet == Sheet::FileTransfer || sheet == Sheet::FileViewer ||
           sheet == Sheet::DatabaseMainte || sheet == Sheet::Setup;
}

// The tab of `sheet` under `function`: shown, hidden, or (Restore Data) left as it is.
std::optional<bool> tabUnder(Function function, Sheet sheet) {
    if (sheet == Sheet::Entry || sheet == Sheet::Telnet || sheet == Sheet::Serial)
        return true;
    switch (function) {
    case Function::InstallOS9:
        return sheet == Sheet::Install;
    case Function::VersionUpOS9:
        return sheet == Sheet::VersionUp;
    case Function::Others:
        return isOthersSheet(sheet);
    case Function::RestoreData:
    case Function::None:
        break;
    }
    return std::nullopt;
}

std::optional<Sheet> sheetShownFor(Function function) {
    switch (function) {
    case Function::InstallOS9:
        return Sheet::Install;
    case Function::VersionUpOS9:
        return Sheet::VersionUp;
    case Function::Others:
        return Sheet::FileTransfer;
    case Function::RestoreData:
    case Function::None:
        break;
    }
    return std::nullopt;
}

FunctionPlan::Entry entryFor(Function function) {
    switch (function) {
    case Function::VersionUpOS9:
        return FunctionPlan::Entry::AbortViaSerial;
    case Function::RestoreData:
        return FunctionPlan::Entry::RestoreData;
    default:
        return FunctionPlan::Entry::None;
    }
}

QString machineCaption(Family family, int daxModel) {
    QString caption = familyCaption(family);
    const QStringList models = daxModels();
    if (family == Family::DAX && daxModel >= 0 && daxModel < models.size())
        caption += models.at(daxModel);
    return caption;
}

FunctionPlan nothingChosen() {
    FunctionPlan plan;
    plan.tabsHidden = QList<Sheet>(std::begin(kAllSheets), std::end(kAllSheets));
    plan.sheetShown = Sheet::Entry;
    return plan;
}
} // namespace

FunctionPlan planFunction(const FunctionChoice& choice) {
    if (choice.family == Family::None) {
        FunctionPlan plan;
        plan.sysInfo = FunctionPlan::SysInfo::Release;
        return plan;
    }
    if (choice.function == Function::None)
        return nothingChosen();

    FunctionPlan plan;
    plan.function = choice.function;
    plan.sysInfo = FunctionPlan::SysInfo::Create;
    plan.sysInfoFamily = choice.family;
    for (Sheet sheet : kAllSheets) {
        if (const std::optional<bool> shown = tabUnder(choice.function, sheet))
            (*shown ? plan.tabsShown : plan.tabsHidden) << sheet;
    }
    plan.sheetShown = sheetShownFor(choice.function);
    plan.apertureTabs = choice.family == Family::QEL;
    plan.machineText = machineCaption(choice.family, choice.daxModel);
    plan.entry = entryFor(choice.function);
    plan.enteredMachineText =
        plan.machineText + QStringLiteral("   ") + functionCaptions().at(static_cast<int>(choice.function));
    return plan;
}

} // namespace vantor
