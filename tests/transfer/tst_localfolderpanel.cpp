// The local panel of the transfer sheets owns its folder; the process's stays where it was.

#include "transfer/LocalFolderPanel.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace vantor;

class TestLocalFolderPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void showsPathSubFoldersAndFiles();
    void refusesWhatIsNotAFolder();
    void sameFolderKeepsTheSelection();
    void doubleClickEntersUnlessLocked();
    void drivesHoldEveryFolder();

private:
    void touch(const QString& relative) {
        QDir().mkpath(QFileInfo(m_dir.filePath(relative)).absolutePath());
        QFile f(m_dir.filePath(relative));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    QTemporaryDir m_dir;
    QString m_startFolder;
    QComboBox m_drives;
    QTreeWidget m_folders;
    QListWidget m_files;
};

void TestLocalFolderPanel::init() {
    m_startFolder = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
}

void TestLocalFolderPanel::cleanup() {
    QDir::setCurrent(m_startFolder);
}

void TestLocalFolderPanel::showsPathSubFoldersAndFiles() {
    touch("Top/b.txt");
    touch("Top/A.txt");
    touch("Top/.hidden");
    QDir().mkpath(m_dir.filePath("Top/zeta"));
    QDir().mkpath(m_dir.filePath("Top/Alpha"));
    QDir().mkpath(m_dir.filePath("Top/.git"));
    LocalFolderPanel panel(&m_drives, &m_folders, &m_files);
    int changes = 0;
    panel.OnChange = [&] { ++changes; };
    QVERIFY(panel.setFolder(m_dir.filePath("Top")));
    QCOMPARE(changes, 1);
    QCOMPARE(panel.folder(), QDir::toNativeSeparators(QDir(m_dir.filePath("Top")).canonicalPath()));
    QCOMPARE(QDir::currentPath(), QDir(m_dir.path()).canonicalPath());
    QCOMPARE(panel.subFolders(), (QStringList{"Alpha", "zeta"}));
    QCOMPARE(panel.fileNames(), (QStringList{"A.txt", "b.txt"}));
    QCOMPARE(panel.selectedFolderEntry(), QStringLiteral("Top"));
    // The chain from the root down to the folder, then its sub-folders below it.
    QTreeWidgetItem* item = m_folders.topLevelItem(0);
    QCOMPARE(item->text(0), QDir::toNativeSeparators(QDir::rootPath()));
    while (item->text(0) != QLatin1String("Top"))
        item = item->child(0);
    QCOMPARE(item->childCount(), 2);
    QCOMPARE(item->child(1)->text(0), QStringLiteral("zeta"));

    QVERIFY(panel.enterOrCreate(QStringLiteral("made")));
    QVERIFY(QDir(m_dir.filePath("Top/made")).exists());
    QCOMPARE(panel.selectedFolderEntry(), QStringLiteral("made"));
    QVERIFY(panel.setFolder(QStringLiteral("..")));
    QCOMPARE(panel.selectedFolderEntry(), QStringLiteral("Top"));
}

void TestLocalFolderPanel::refusesWhatIsNotAFolder() {
    touch("file");
    LocalFolderPanel panel(&m_drives, &m_folders, &m_files);
    const QString before = panel.folder();
    QVERIFY(!panel.setFolder(m_dir.filePath("file")));
    QVERIFY(!panel.setFolder(m_dir.filePath("missing")));
    QVERIFY(!panel.setFolder(QString()));
    QVERIFY(!panel.enterOrCreate(QStringLiteral("file")));
    QCOMPARE(panel.folder(), before);
}

void TestLocalFolderPanel::sameFolderKeepsTheSelection() {
    touch("S/one");
    touch("S/two");
    LocalFolderPanel panel(&m_drives, &m_folders, &m_files);
    QVERIFY(panel.setFolder(m_dir.filePath("S")));
    m_files.item(1)->setSelected(true);
    int changes = 0;
    panel.OnChange = [&] { ++changes; };
    QVERIFY(panel.setFolder(m_dir.filePath("S")));
    QCOMPARE(changes, 0);
    QCOMPARE(panel.selectedFileNames(), QStringList{"two"});
}

void TestLocalFolderPanel::doubleClickEntersUnlessLocked() {
    QDir().mkpath(m_dir.filePath("D/inner"));
    LocalFolderPanel panel(&m_drives, &m_folders, &m_files);
    QVERIFY(panel.setFolder(m_dir.filePath("D")));
    bool locked = true;
    panel.NavigationLocked = [&] { return locked; };
    const auto inner = [&] {
        return m_folders.findItems("inner", Qt::MatchExactly | Qt::MatchRecursive).value(0);
    };
    QVERIFY(inner());
    Q_EMIT m_folders.itemActivated(inner(), 0);
    QCOMPARE(panel.selectedFolderEntry(), QStringLiteral("D"));
    locked = false;
    Q_EMIT m_folders.itemActivated(inner(), 0);
    QCOMPARE(panel.selectedFolderEntry(), QStringLiteral("inner"));
}

void TestLocalFolderPanel::drivesHoldEveryFolder() {
    LocalFolderPanel panel(&m_drives, &m_folders, &m_files);
    const QStringList roots = LocalFolderPanel::driveRoots();
    QVERIFY(!roots.isEmpty());
    const QString drive = LocalFolderPanel::driveOf(m_dir.path());
    QVERIFY(roots.contains(drive));
    QCOMPARE(m_drives.currentText(), LocalFolderPanel::driveOf(panel.folder()));
}

QTEST_MAIN(TestLocalFolderPanel)
#include "tst_localfolderpanel.moc"
