#pragma once

#include <QString>
#include <QtGlobal>

namespace vantor {

// Where the instrument software keeps its data and programs on this PC, for one family
// (2 = DAX, anything else = QEL). Both folders are found from the process's current
// folder at creation: started from the instrument's program folder, the data folder is
// its sibling "Data". The environment variables QelExecPath/QelDataPath (DaxExecPath/
// DaxDataPath for DAX) override them; their values are normalised by entering them.
//
// Creation enters folders of the process and returns to the folder it started in, also
// when it fails. An environment variable naming a folder that cannot be entered throws
// FileError.
class TFIBSysInfo final {
public:
    explicit TFIBSysInfo(int family);

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
