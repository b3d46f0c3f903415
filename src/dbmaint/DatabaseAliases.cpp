#include "DatabaseAliases.h"

#include "support/IniFile.h"
#include "support/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace vantor {

DatabaseAliases::DatabaseAliases(QString dataFolder) : m_dataFolder(std::move(dataFolder)) {}

QString DatabaseAliases::folder(const QString& alias) const {
    if (alias.isEmpty())
        return {};
    const QString fromEnvironment = qEnvironmentVariable(alias.toLocal8Bit().constData());
    if (!fromEnvironment.isEmpty() && QFileInfo(fromEnvironment).isDir())
        return paths::stripTrailingSeparator(QDir::cleanPath(fromEnvironment));
    if (m_dataFolder.isEmpty())
        return {};
    const IniFile ini(paths::join(m_dataFolder, QStringLiteral("Aliases.ini")));
    const QString mapped = ini.read(QStringLiteral("Aliases"), alias).trimmed();
    if (mapped.isEmpty())
        return {};
    const QString resolved =
        QDir::cleanPath(QDir(m_dataFolder).absoluteFilePath(paths::localDefault(mapped)));
    return QFileInfo(resolved).isDir() ? paths::stripTrailingSeparator(resolved) : QString();
}

} // namespace vantor
