#include "FIBSysInfo.h"

#include "Errors.h"
#include "Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSysInfo, "vantor.support.sysinfo", QtWarningMsg)

namespace vantor {

namespace {

// The folder as the system spells it once entered (links resolved, no trailing
// separator), or FileError when it cannot be entered.
QString entered(const QString& base, const QString& folder, const char* variable) {
    const QString absolute = paths::absoluteIn(base, folder);
    if (!paths::isEnterableFolder(absolute)) {
        if (variable)
            throw FileError(QStringLiteral("I/O error: cannot enter the folder \"%1\" named by %2")
                                .arg(folder, QLatin1String(variable)));
        throw FileError(QStringLiteral("I/O error: cannot enter the folder \"%1\"").arg(absolute));
    }
    const QString canonical = QFileInfo(absolute).canonicalFilePath();
    return paths::stripTrailingSeparator(canonical.isEmpty() ? absolute : canonical);
}

} // namespace

TFIBSysInfo::TFIBSysInfo(int family, const QString& startFolder) : m_family(family == 2 ? 2 : 1) {
    const bool dax = m_family == 2;
    const QString start = startFolder.isEmpty() ? QDir::currentPath() : startFolder;
    const QString parent = entered(start, QStringLiteral(".."), nullptr);
    m_dataFolder = paths::join(parent, QStringLiteral("Data"));
    m_execFolder = paths::join(parent, dax ? QStringLiteral("Exe") : QStringLiteral("Exec"));

    // A relative value is taken from the folder reached last, as the instrument software
    // itself resolves it: the exec value from the parent folder, the data value from
    // wherever the exec value led.
    const char* execVariable = dax ? "DaxExecPath" : "QelExecPath";
    const QString execValue = qEnvironmentVariable(execVariable);
    if (!execValue.isEmpty())
        m_execFolder = entered(parent, execValue, execVariable);

    const char* dataVariable = dax ? "DaxDataPath" : "QelDataPath";
    const QString dataValue = qEnvironmentVariable(dataVariable);
    if (!dataValue.isEmpty())
        m_dataFolder = entered(execValue.isEmpty() ? parent : m_execFolder, dataValue, dataVariable);

    qCDebug(lcSysInfo) << "family" << m_family << "data" << m_dataFolder << "exec" << m_execFolder;
}

QString TFIBSysInfo::dataFile(const QString& name) const {
    return paths::fileInFolder(m_dataFolder, name);
}

} // namespace vantor
