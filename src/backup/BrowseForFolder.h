#pragma once

#include <QFlags>
#include <QObject>
#include <QString>

class QWidget;

namespace vantor {

// Options of the folder picker, each standing for the shell's browse flag of the same
// meaning (the value in brackets).
enum TBrowseFlag {
    bf_BrowseForComputer = 0x1000, // BIF_BROWSEFORCOMPUTER
    bf_BrowseForPrinter = 0x2000,  // BIF_BROWSEFORPRINTER
    bf_DontGoBelowDomain = 0x0002, // BIF_DONTGOBELOWDOMAIN
    bf_ReturnFSanceStors = 0x0008, // BIF_RETURNFSANCESTORS
    bf_ReturnOnlyFSDIRS = 0x0001,  // BIF_RETURNONLYFSDIRS
    bf_StatusText = 0x0004,        // BIF_STATUSTEXT
};
Q_DECLARE_FLAGS(TBrowseFlags, TBrowseFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TBrowseFlags)

// The folder at the top of the picker's tree, in the shell's order of special folders.
enum class TBrowseLocation {
    bl_STANDART, // no root: the picker's default
    bl_CUSTOM,   // CustomRoot, set by the owner
    bl_DESKTOP,
    bl_PROGRAMS,
    bl_CONTROLS,
    bl_PRINTERS,
    bl_PERSONAL,
    bl_FAVORITES,
    bl_STARTUP,
    bl_RECENT,
    bl_SENDTO,
    bl_BITBUCKET,
    bl_STARTMENU,
    bl_DESKTOPDIRECTORY,
    bl_DRIVES,
    bl_NETWORK,
    bl_NETHOOD,
    bl_FONTS,
    bl_TEMPLATES,
    bl_COMMON_STARTMENU,
    bl_COMMON_PROGRAMS,
    bl_COMMON_STARTUP,
    bl_COMMON_DESKTOPDIRECTORY,
    bl_APPDATA,
    bl_PRINTHOOD,
};

// The folder picker of a form. Execute shows the program's folder chooser (through the
// Prompter) titled Title, starting at Root; a confirmed choice becomes FolderName and
// DisplayName, a cancelled one leaves both as they were.
class TBrowseForFolder final : public QObject {
    Q_OBJECT
public:
    // The owner is the form the picker belongs to.
    explicit TBrowseForFolder(QWidget* owner);

    QString DisplayName() const { return m_displayName; }
    QString FolderName() const { return m_folderName; }
    QString Title() const { return m_title; }
    void setTitle(const QString& title) { m_title = title; }
    TBrowseFlags Flags() const { return m_flags; }
    void setFlags(TBrowseFlags flags) { m_flags = flags; }
    TBrowseLocation Root() const { return m_root; }
    void setRoot(TBrowseLocation root) { m_root = root; }
    // The top folder for bl_CUSTOM.
    QString CustomRoot() const { return m_customRoot; }
    void setCustomRoot(const QString& folder) { m_customRoot = folder; }

    // True when the engineer chose a folder.
    bool Execute();

    // The shell's special-folder number of a root (CSIDL), -1 for bl_STANDART and bl_CUSTOM.
    static int shellFolderId(TBrowseLocation root);
    // The folder a root stands for on this platform; empty where the platform has none (the
    // picker then starts at its default).
    static QString standardFolder(TBrowseLocation root);

private:
    QString m_displayName;
    QString m_folderName;
    QString m_title = QStringLiteral("Select");
    TBrowseFlags m_flags;
    TBrowseLocation m_root = TBrowseLocation::bl_STANDART;
    QString m_customRoot;
};

} // namespace vantor
