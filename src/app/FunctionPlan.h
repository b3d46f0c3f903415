#pragma once

#include "FunctionChoice.h"

#include <QList>
#include <QString>

#include <optional>

namespace vantor {

// The sheets of the main page control, in tab order.
enum class Sheet {
    Entry,
    Install,
    VersionUp,
    Backup,
    FileTransfer,
    FileViewer,
    Telnet,
    Serial,
    DatabaseMainte,
    Setup
};

// What a function choice on the Function sheet does to the main window. The gate decides it;
// the main window carries it out, in two steps around the entering of the function (Version
// Up's abort over the serial line, the restore preparation):
//   apply     - the system-information object first (the only step that can fail, and then
//               nothing else changes), then the tabs, the database page's tabs, the machine
//               panel and the sheet shown;
//   complete  - once the function has been entered: the machine panel names the function and
//               the sheet then showing is set up. A function the engineer left while it was
//               being entered is never completed.
struct FunctionPlan {
    enum class SysInfo { Keep, Release, Create };
    enum class Entry { None, AbortViaSerial, RestoreData };

    Function function = Function::None;
    SysInfo sysInfo = SysInfo::Keep;
    Family sysInfoFamily = Family::None; // the family it is created for
    // Sheets whose tab is shown and hidden, in tab order; a sheet in neither keeps its tab.
    QList<Sheet> tabsShown;
    QList<Sheet> tabsHidden;
    std::optional<Sheet> sheetShown;
    // The database page's "Aperture" and "Ion Src." tabs, which only the QEL family has;
    // without them its "DataBase" tab is made current. Unset: left as they are.
    std::optional<bool> apertureTabs;
    QString machineText; // the status bar's machine panel
    Entry entry = Entry::None;
    // The machine panel once the function has been entered; unset: there is no completing.
    std::optional<QString> enteredMachineText;
};

// The plan for a choice. No family: the system-information object goes and the machine panel
// is cleared, nothing else. A family and no function: every tab hidden, the Function sheet
// shown, the machine panel cleared.
FunctionPlan planFunction(const FunctionChoice& choice);

} // namespace vantor
