#pragma once

#include <QString>

namespace vantor {

// The database engine's aliases: an alias names a folder of tables. It is defined when the
// environment variable of the alias's name ("QelDataBase", "DaxDataBase") names an
// existing folder, or else when "Aliases.ini" in the instrument data folder maps it, in its
// [Aliases] section, to one (a relative folder counts from the data folder).
class DatabaseAliases final {
public:
    explicit DatabaseAliases(QString dataFolder = {});

    // Test an alias: whether it names an existing folder now.
    bool isDefined(const QString& alias) const { return !folder(alias).isEmpty(); }
    // The alias's folder in local form; empty when the alias is not defined.
    QString folder(const QString& alias) const;

    QString dataFolder() const { return m_dataFolder; }

private:
    QString m_dataFolder;
};

} // namespace vantor
