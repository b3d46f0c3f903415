#include "LocalFolderPanel.h"

#include "RepaintThrottle.h"
#include "support/Errors.h"
#include "support/Guard.h"
#include "support/Paths.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeWidget>

namespace vantor {

namespace {

constexpr int kPathRole = Qt::UserRole;

const QDir::SortFlags kOrder = QDir::Name | QDir::IgnoreCase | QDir::LocaleAware;

// "/" or "C:/" for an absolute path in Qt's form.
QString rootOf(const QString& absolutePath) {
    QDir dir(absolutePath);
    while (dir.cdUp()) {
    }
    return dir.absolutePath();
}

} // namespace

LocalFolderPanel::LocalFolderPanel(QComboBox* drives, QTreeWidget* folders, QListWidget* files,
                                   QObject* parent)
    : QObject(parent), m_drives(drives), m_folders(folders), m_files(files),
      m_foldersPaint(new RepaintThrottle(folders, this)), m_filesPaint(new RepaintThrottle(files, this)),
      m_folder(QDir::currentPath()) {
    fillDrives();
    refresh();
    connect(m_folders, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { guarded([&] { folderActivated(item); }); });
    connect(m_drives, &QComboBox::activated, this,
            [this](int index) { guarded([&] { driveChosen(index); }); });
}

QString LocalFolderPanel::folder() const {
    return QDir::toNativeSeparators(m_folder);
}

QString LocalFolderPanel::filePath(const QString& name) const {
    return paths::join(folder(), name);
}

bool LocalFolderPanel::setFolder(const QString& path) {
    if (path.isEmpty())
        return false;
    const QString absolute = paths::absoluteIn(folder(), path);
    if (!paths::isEnterableFolder(absolute))
        return false;
    // Showing the folder already shown changes nothing, the selection of files included.
    if (QDir(absolute) == QDir(m_folder))
        return true;
    const QString canonical = QFileInfo(absolute).canonicalFilePath();
    m_folder = QDir::fromNativeSeparators(canonical.isEmpty() ? absolute : canonical);
    refresh();
    if (OnChange)
        OnChange();
    return true;
}

bool LocalFolderPanel::enterOrCreate(const QString& name) {
    const QString path = filePath(name);
    if (!QFileInfo::exists(path) && !QDir().mkdir(path))
        return false;
    return setFolder(path);
}

void LocalFolderPanel::refresh() {
    rebuildFolders();
    refreshFiles();
    showDriveOf(m_folder);
}

void LocalFolderPanel::rebuildFolders() {
    const QString current = m_folder;
    QStringList chain{current};
    for (QDir up(current); up.cdUp();)
        chain.prepend(up.absolutePath());

    m_foldersPaint->aboutToChange();
    m_folders->clear();
    const QIcon closedIcon = m_folders->style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QIcon openIcon = m_folders->style()->standardIcon(QStyle::SP_DirOpenIcon);
    QTreeWidgetItem* parent = nullptr;
    for (const QString& path : chain) {
        const QString name = parent ? QDir(path).dirName() : QDir::toNativeSeparators(path);
        auto* item = parent ? new QTreeWidgetItem(parent, {name}) : new QTreeWidgetItem(m_folders, {name});
        item->setData(0, kPathRole, path);
        item->setIcon(0, openIcon);
        parent = item;
    }
    m_currentItem = parent;
    m_subFolders = QDir(current).entryList(QDir::Dirs | QDir::NoDotAndDotDot, kOrder);
    for (const QString& name : m_subFolders) {
        auto* item = new QTreeWidgetItem(m_currentItem, {name});
        item->setData(0, kPathRole, QDir(current).absoluteFilePath(name));
        item->setIcon(0, closedIcon);
    }
    m_folders->expandAll();
    m_folders->setCurrentItem(m_currentItem);
    m_folders->scrollToItem(m_currentItem);
}

void LocalFolderPanel::refreshFiles() {
    m_filesPaint->aboutToChange();
    m_files->clear();
    m_files->addItems(QDir(m_folder).entryList(QDir::Files, kOrder));
}

QStringList LocalFolderPanel::subFolders() const {
    return m_subFolders;
}

QStringList LocalFolderPanel::fileNames() const {
    QStringList names;
    for (int i = 0; i < m_files->count(); ++i)
        names << m_files->item(i)->text();
    return names;
}

QStringList LocalFolderPanel::selectedFileNames() const {
    QStringList names;
    for (int i = 0; i < m_files->count(); ++i)
        if (m_files->item(i)->isSelected())
            names << m_files->item(i)->text();
    return names;
}

QString LocalFolderPanel::selectedFolderEntry() const {
    const QTreeWidgetItem* item = m_folders->currentItem();
    return item ? item->text(0) : QString();
}

QStringList LocalFolderPanel::driveRoots() {
    QStringList roots;
#ifdef Q_OS_WIN
    for (const QFileInfo& drive : QDir::drives())
        roots << QDir::toNativeSeparators(drive.absolutePath());
#else
    roots << QStringLiteral("/");
    QStringList mounted;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady() && !volume.isRoot())
            mounted << volume.rootPath();
    mounted.sort();
    mounted.removeDuplicates();
    roots << mounted;
#endif
    return roots;
}

namespace {
QString driveAmong(const QStringList& roots, const QString& path) {
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString best = QDir::toNativeSeparators(rootOf(absolute));
    for (const QString& root : roots) {
        const QString r = QDir::fromNativeSeparators(root);
        const bool holds =
            absolute.compare(r, Qt::CaseInsensitive) == 0 ||
            absolute.startsWith(r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/'), Qt::CaseInsensitive);
        if (holds && r.size() >= QDir::fromNativeSeparators(best).size())
            best = root;
    }
    return best;
}
} // namespace

QString LocalFolderPanel::driveOf(const QString& path) {
    return driveAmong(driveRoots(), path);
}

void LocalFolderPanel::fillDrives() {
    const QSignalBlocker block(m_drives);
    m_drives->clear();
    m_roots = driveRoots();
    m_drives->addItems(m_roots);
}

void LocalFolderPanel::showDriveOf(const QString& path) {
    // The volumes known when the panel was made: reading them again on every change of
    // folder would cost more than a tree walk can afford.
    const QString drive = driveAmong(m_roots, path);
    const QSignalBlocker block(m_drives);
    int index = m_drives->findText(drive);
    if (index < 0) {
        m_drives->addItem(drive);
        index = m_drives->count() - 1;
    }
    m_drives->setCurrentIndex(index);
}

void LocalFolderPanel::folderActivated(QTreeWidgetItem* item) {
    if (!item || locked())
        return;
    const QString path = item->data(0, kPathRole).toString();
    if (!setFolder(path))
        throw FileError(QStringLiteral("Cannot open folder ") + QDir::toNativeSeparators(path));
}

void LocalFolderPanel::driveChosen(int index) {
    const QString root = m_drives->itemText(index);
    if (locked() || driveAmong(m_roots, m_folder) == root) {
        showDriveOf(m_folder);
        return;
    }
    if (!setFolder(root)) {
        showDriveOf(m_folder);
        throw FileError(QStringLiteral("Cannot open folder ") + root);
    }
}

} // namespace vantor
