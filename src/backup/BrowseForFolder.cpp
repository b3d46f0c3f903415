#include "BrowseForFolder.h"

#include "support/Prompter.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWidget>

namespace vantor {

TBrowseForFolder::TBrowseForFolder(QWidget* owner) : QObject(owner) {}

int TBrowseForFolder::shellFolderId(TBrowseLocation root) {
    switch (root) {
    case TBrowseLocation::bl_STANDART:
    case TBrowseLocation::bl_CUSTOM:
        return -1;
    case TBrowseLocation::bl_DESKTOP:
        return 0;
    default:
        break;
    }
    // From bl_PROGRAMS on the numbers run 2 ... 11, then 16 ... 27.
    const int index = int(root) - int(TBrowseLocation::bl_PROGRAMS);
    return index <= 9 ? 2 + index : 16 + (index - 10);
}

QString TBrowseForFolder::standardFolder(TBrowseLocation root) {
    using L = TBrowseLocation;
    const auto first = [](QStandardPaths::StandardLocation location) {
        const QStringList found = QStandardPaths::standardLocations(location);
        return found.isEmpty() ? QString() : found.constFirst();
    };
    switch (root) {
    case L::bl_DESKTOP:
    case L::bl_DESKTOPDIRECTORY:
    case L::bl_COMMON_DESKTOPDIRECTORY:
        return first(QStandardPaths::DesktopLocation);
    case L::bl_PROGRAMS:
    case L::bl_STARTMENU:
    case L::bl_COMMON_PROGRAMS:
    case L::bl_COMMON_STARTMENU:
        return first(QStandardPaths::ApplicationsLocation);
    case L::bl_PERSONAL:
        return first(QStandardPaths::DocumentsLocation);
    case L::bl_FONTS:
        return first(QStandardPaths::FontsLocation);
    case L::bl_APPDATA:
        return first(QStandardPaths::GenericDataLocation);
    case L::bl_DRIVES:
        return QDir::rootPath();
    default:
        // Printers, the network, the recycle bin and the like are no folders to restore from.
        return {};
    }
}

bool TBrowseForFolder::Execute() {
    const QString start = m_root == TBrowseLocation::bl_CUSTOM ? m_customRoot : standardFolder(m_root);
    const QString chosen = Prompter::current().chooseFolder(m_title, start);
    if (chosen.isEmpty())
        return false;
    m_folderName = QDir::toNativeSeparators(chosen);
    const QString name = QFileInfo(chosen).fileName();
    m_displayName = name.isEmpty() ? m_folderName : name; // a drive or root shows as itself
    return true;
}

} // namespace vantor
