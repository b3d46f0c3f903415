// The directory scanner: name matching, depth limits and what its events report.

#include "backup/DirScan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;

namespace {

bool touch(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

} // namespace

class TestDirScan : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void matching_data();
    void matching();
    void levelsAreClamped_data();
    void levelsAreClamped();
    void flatScanReportsFoldersAndCountsRefusedFiles();
    void recursiveScanStopsAtLevels_data();
    void recursiveScanStopsAtLevels();
};

void TestDirScan::matching_data() {
    QTest::addColumn<QStringList>("patterns");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("matches");
    const QString sep = QDir::separator();
    QTest::newRow("Ap* ApCtrl30kV.db") << QStringList{"Ap*"} << "ApCtrl30kV.db" << true;
    QTest::newRow("Ap* three-character Ap1") << QStringList{"Ap*"} << "Ap1" << false;
    QTest::newRow("Ap* four characters") << QStringList{"Ap*"} << "Ap12" << true;
    QTest::newRow("Ap* ignores what follows the star") << QStringList{"Ap*.db"} << "Apxy.txt" << true;
    QTest::newRow("Ap* letter case") << QStringList{"Ap*"} << "APCTRL.DB" << true;
    QTest::newRow("*.ion a.ion") << QStringList{"*.ion"} << "a.ion" << true;
    QTest::newRow("*.ion bare .ion") << QStringList{"*.ion"} << ".ion" << false;
    QTest::newRow("*.ion other extension") << QStringList{"*.ion"} << "a.ini" << false;
    QTest::newRow("* any name") << QStringList{"*"} << "x" << true;
    QTest::newRow("exact name in capitals") << QStringList{"IonSource.ini"} << "IONSOURCE.INI" << true;
    QTest::newRow("exact name differs") << QStringList{"IonSource.ini"} << "IonSource.ini.bak" << false;
    QTest::newRow("no ? wildcard") << QStringList{"a?c"} << "abc" << false;
    QTest::newRow("only the name after the last separator")
        << QStringList{"Ap*"} << QString("Apfolder" + sep + "x.db") << false;
    QTest::newRow("full path name") << QStringList{"x.db"} << QString(sep + "a" + sep + "x.db") << true;
    QTest::newRow("empty list matches nothing") << QStringList{} << "x" << false;
    QTest::newRow("second pattern decides") << QStringList{"*.ini", "Ap*"} << "ApX" << false;
    QTest::newRow("second pattern matches") << QStringList{"*.ini", "Ap*"} << "ApXY" << true;
}

void TestDirScan::matching() {
    QFETCH(QStringList, patterns);
    QFETCH(QString, path);
    QFETCH(bool, matches);
    QCOMPARE(TDirScan::Matches(patterns, path), matches);
}

void TestDirScan::levelsAreClamped_data() {
    QTest::addColumn<int>("given");
    QTest::addColumn<int>("stored");
    QTest::newRow("1") << 1 << 2;
    QTest::newRow("2") << 2 << 2;
    QTest::newRow("9") << 9 << 9;
    QTest::newRow("40") << 40 << 15;
    QTest::newRow("-3") << -3 << 2;
}

void TestDirScan::levelsAreClamped() {
    QFETCH(int, given);
    QFETCH(int, stored);
    TDirScan scan;
    QCOMPARE(scan.Levels(), 15);
    scan.SetLevels(given);
    QCOMPARE(scan.Levels(), stored);
}

void TestDirScan::flatScanReportsFoldersAndCountsRefusedFiles() {
    QTemporaryDir dir;
    const QString root = dir.path() + QDir::separator();
    QVERIFY(touch(root + "a.ion"));
    QVERIFY(touch(root + "b.ion"));
    QVERIFY(touch(root + ".hidden.ion"));
    QVERIFY(touch(root + "c.ini"));
    QVERIFY(QDir(root).mkpath("sub.ion"));
    QVERIFY(touch(root + "sub.ion/d.ion"));

    TDirScan scan;
    scan.SetAcceptedFiles({"*.ion"});
    QStringList found, added, dirsFound, dirsAdded;
    scan.OnFileFound = [&](QObject*, const QString& name, bool& canAdd) {
        found << name;
        canAdd = name != "b.ion";
    };
    scan.OnFileAdded = [&](QObject*, const QString& name) { added << name; };
    scan.OnDirFound = [&](QObject*, const QString& name, bool&) { dirsFound << name; };
    scan.OnDirAdded = [&](QObject*, const QString& name) { dirsAdded << name; };

    QCOMPARE(scan.Execute(root), 3); // b.ion counts though its handler refused it
    found.sort();
    added.sort();
    QCOMPARE(found, QStringList({".hidden.ion", "a.ion", "b.ion"}));
    QCOMPARE(added, QStringList({".hidden.ion", "a.ion"}));
    QCOMPARE(dirsFound, QStringList{root + "sub.ion" + QDir::separator()});
    QCOMPARE(dirsAdded, dirsFound);
    QCOMPARE(scan.RootDir(), root);

    // With AbsolutePass the events get the whole path.
    found.clear();
    scan.AbsolutePass = true;
    scan.SetAcceptedFiles({"a.ion"});
    QCOMPARE(scan.Execute(root), 1);
    QCOMPARE(found, QStringList{root + "a.ion"});
}

void TestDirScan::recursiveScanStopsAtLevels_data() {
    QTest::addColumn<int>("levels");
    QTest::addColumn<bool>("refuseFolders");
    QTest::addColumn<int>("count"); // one file per level, five levels
    QTest::newRow("levels 2: the root alone") << 2 << false << 1;
    QTest::newRow("levels 3: one level down") << 3 << false << 2;
    QTest::newRow("levels 15: everything") << 15 << false << 5;
    QTest::newRow("refused folders are still walked") << 15 << true << 5;
}

void TestDirScan::recursiveScanStopsAtLevels() {
    QFETCH(int, levels);
    QFETCH(bool, refuseFolders);
    QFETCH(int, count);
    QTemporaryDir dir;
    QString folder = dir.path() + QDir::separator();
    const QString root = folder;
    for (int level = 0; level < 5; ++level) {
        QVERIFY(touch(folder + QString("f%1.dat").arg(level)));
        folder += QString("d%1").arg(level) + QDir::separator();
        QVERIFY(QDir().mkpath(folder));
    }
    TDirScan scan;
    scan.RecursiveScan = true;
    scan.SetLevels(levels);
    scan.SetAcceptedFiles({"*.dat"});
    int deepest = 0;
    scan.OnDirFound = [&](QObject*, const QString&, bool& canAdd) {
        deepest = std::max(deepest, scan.Depth());
        if (refuseFolders)
            canAdd = false;
    };
    QCOMPARE(scan.Execute(root), count);
    QVERIFY(deepest < levels);
    QCOMPARE(scan.Depth(), 0); // every level it entered was closed again
}

QTEST_GUILESS_MAIN(TestDirScan)
#include "tst_dirscan.moc"
