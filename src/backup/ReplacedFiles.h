#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace vantor {

// The names of the files a controller listing shows, in listing order: the OS-9 extended
// directory format ("dir -e": owner, date, time, attributes, sector, byte count, name) and
// UNIX "ls -l" lines are understood; titles, headers, rulers and folders are left out.
// Names are returned as they came over the wire (one character per byte).
QStringList ControllerFileNames(const QStringList& listingLines);

// The folder in which one restore run keeps every file it replaces, so that the run can be
// undone by restoring from it: "RestoreReplaced" and the run's date and time, in the
// instrument's data folder, laid out like a backup folder (a file of the backup sub-folder
// "dbase" is kept in its "dbase"). The folder is created with the first file kept; a run
// that replaces nothing leaves none.
class TReplacedFiles final {
public:
    TReplacedFiles(QString dataFolder, const QDateTime& runTime);

    // Empty without a usable data folder (then nothing can be kept).
    const QString& Folder() const { return m_folder; }
    bool Created() const { return m_created; }

    // Where the replaced file `name` of the backup sub-folder `subPath` is to be kept; its
    // folder exists when this returns. Empty, with `error` set, when it cannot be made.
    QString TargetFor(const QString& subPath, const QString& name, QString* error);

    static QString FolderName(const QDateTime& runTime);

private:
    QString m_folder;
    bool m_created = false;
};

} // namespace vantor
