#include "FIBSysInfo.h"

#include "Errors.h"
#include "Paths.h"

#include <QDir>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSysInfo, "vantor.sysinfo", QtWarningMsg)

namespace vantor {

namespace {

// Puts the process back into the folder it was in, whichever way resolving ends, so a
// failed resolution does not leave later relative paths pointing elsewhere.
class CurrentFolderKeeper final {
public:
    CurrentFolderKeeper() : m_folder(QDir::currentPath()) {}
    ~CurrentFolderKeeper() {
        if (!QDir::setCurrent(m_folder))
            qCWarning(lcSysInfo) << "cannot return to folder" << m_folder;
    }
    CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
    CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;

private:
    QString m_folder;
};

// Enters the folder and returns it as the system spells it afterwards.
QString enter(const QString& folder, const char* variable) {
    if (!QDir::setCurrent(folder)) {
        if (variable)
            throw FileError(QStringLiteral("I/O error: cannot enter the folder \"%1\" named by %2")
                                .arg(folder, QLatin1String(variable)));
        throw FileError(QStringLiteral("I/O error: cannot enter the folder \"%1\"").arg(folder));
    }
    return paths::stripTrailingSeparator(QDir::currentPath());
}

} // namespace

TFIBSysInfo::TFIBSysInfo(int family) : m_family(family == 2 ? 2 : 1) {
    const bool dax = m_family == 2;
    CurrentFolderKeeper keeper;
    const QString parent = enter(QStringLiteral(".."), nullptr);
    m_dataFolder = paths::join(parent, QStringLiteral("Data"));
    m_execFolder = paths::join(parent, dax ? QStringLiteral("Exe") : QStringLiteral("Exec"));

    // A relative value is taken from the folder entered last, as the instrument software
    // itself resolves it: the exec value from the parent folder, the data value from
    // wherever the exec value led.
    const char* execVariable = dax ? "DaxExecPath" : "QelExecPath";
    const QString execValue = qEnvironmentVariable(execVariable);
    if (!execValue.isEmpty())
        m_execFolder = enter(execValue, execVariable);

    const char* dataVariable = dax ? "DaxDataPath" : "QelDataPath";
    const QString dataValue = qEnvironmentVariable(dataVariable);
    if (!dataValue.isEmpty())
        m_dataFolder = enter(dataValue, dataVariable);

    qCDebug(lcSysInfo) << "family" << m_family << "data" << m_dataFolder << "exec" << m_execFolder;
}

} // namespace vantor
