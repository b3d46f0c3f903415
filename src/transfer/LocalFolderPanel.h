#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QComboBox;
class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace vantor {
class RepaintThrottle;
}

namespace vantor {

// The local side of the transfer sheets. It owns the folder it shows, which starts as the
// folder the program was started in; the process's current folder is never changed, and
// what the panel hands on are absolute paths. The drive box lists the roots the platform
// has (the drive letters on Windows, "/" and the mounted volumes elsewhere), the folder
// list shows the folder's path down from its root followed by its sub-folders, and the
// file list shows its files. A double click (or Enter) on a folder, or another drive,
// shows that folder.
//
// Hidden files and folders are left out, as the engineer's file manager leaves them out,
// so a tree install sends what the engineer sees.
class LocalFolderPanel final : public QObject {
    Q_OBJECT
public:
    LocalFolderPanel(QComboBox* drives, QTreeWidget* folders, QListWidget* files, QObject* parent = nullptr);

    // The folder shown: absolute, as the system spells it, local separators.
    QString folder() const;
    // The absolute path of `name` in folder(), whatever the name's first character.
    QString filePath(const QString& name) const;
    // Shows `path` (absolute, or relative to folder()), then calls OnChange; the folder
    // shown already changes nothing. False, with nothing changed, when it is not a folder
    // that can be entered.
    bool setFolder(const QString& path);
    // The same for a sub-folder of folder(), which is made first when it does not exist.
    bool enterOrCreate(const QString& name);
    // Reads the folder list and the file list again.
    void refresh();
    void refreshFiles();

    QStringList subFolders() const;        // in the order of the folder list
    QStringList fileNames() const;         // in the order of the file list
    QStringList selectedFileNames() const; // in the order of the file list
    // The folder list's selected entry: the name of the folder shown.
    QString selectedFolderEntry() const;

    // The roots the drive box offers, and the one that holds `path`.
    static QStringList driveRoots();
    static QString driveOf(const QString& path);
    // Selects the drive of `path` in the drive box without changing the folder.
    void showDriveOf(const QString& path);

    // Called after each change of folder.
    std::function<void()> OnChange;
    // While it returns true the engineer cannot change the folder from the panel (a run is
    // walking the folders itself).
    std::function<bool()> NavigationLocked;

private:
    void rebuildFolders();
    void fillDrives();
    void folderActivated(QTreeWidgetItem* item);
    void driveChosen(int index);
    bool locked() const { return NavigationLocked && NavigationLocked(); }

    QComboBox* m_drives;
    QTreeWidget* m_folders;
    QListWidget* m_files;
    // A walk refills both lists at every folder; they repaint at most ten times a second.
    RepaintThrottle* m_foldersPaint;
    RepaintThrottle* m_filesPaint;
    QTreeWidgetItem* m_currentItem = nullptr;
    QStringList m_subFolders;
    QStringList m_roots; // the drive box's entries
    QString m_folder;    // absolute, Qt's separators
};

} // namespace vantor
