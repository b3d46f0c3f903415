#pragma once

#include <QString>
#include <QtGlobal>

namespace vantor {

// Where the instrument software keeps its data and programs on this PC, for one family
// (2 = DAX, anything else = QEL). Both folders are found from the folder the program was
// started in (the process's current folder when none is given): started from the
// instrument's program folder, the data folder is its sibling "Data". The environment
// variables QelExecPath/QelDataPath (DaxExecPath/DaxDataPath for DAX) override them;
// their values are normalised as the system spells the folder.
//
// The process's current folder is never changed. An environment variable naming a folder
// that cannot be entered throws FileError.
class TFIBSysInfo final {
public:
    explicit TFIBSysInfo(int family, const QString& startFolder = QString());

    // The file of that name in the data folder, whatever the letter case it was stored
    // with (a folder copied from Windows); the name as given when there is none.
    QString dataFile(const QString& name) const;

    // Without trailing separator, in local form.
    QString dataFolder() const { return m_dataFolder; }
    QString execFolder() const { return m_execFolder; }
    QString name() const { return m_name; }
    qint32 identifier() const { return m_identifier; }
    int family() const { return m_family; }

private:
    int m_family;
    QString m_dataFolder;
    QString m_execFolder;
    QString m_name = QStringLiteral("Non Name");
    qint32 m_identifier = -1;
};

} // namespace vantor
