#include "support/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;

class TestPaths : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void localDefault_data();
    void localDefault();
    void join_data();
    void join();
    void stripTrailingSeparator_data();
    void stripTrailingSeparator();
    void parentFolder_data();
    void parentFolder();
    void isPlainRemoteName_data();
    void isPlainRemoteName();
    void absoluteIn_data();
    void absoluteIn();
    void fileInFolderIgnoresLetterCase_data();
    void fileInFolderIgnoresLetterCase();
    void fixedPlaces();
};

// "~" in an expected value stands for the home folder.
static QString expand(QString s) {
    if (s.startsWith('~'))
        s.replace(0, 1, QDir::homePath());
    return QDir::toNativeSeparators(s);
}

void TestPaths::localDefault_data() {
    QTest::addColumn<QString>("windows");
    QTest::addColumn<QString>("local");
#ifdef Q_OS_WIN
    QTest::newRow("backup folder") << "C:\\CorvaneOS9\\Backup"
                                   << "C:\\CorvaneOS9\\Backup";
    QTest::newRow("ion module") << "c:\\ionkill"
                                << "c:\\ionkill";
#else
    QTest::newRow("backup folder") << "C:\\CorvaneOS9\\Backup"
                                   << "~/CorvaneOS9/Backup";
    QTest::newRow("lower-case drive") << "c:\\QEL\\Data"
                                      << "~/QEL/Data";
    QTest::newRow("other drive") << "D:\\Install\\OS9"
                                 << "~/Install/OS9";
    QTest::newRow("trailing backslash") << "C:\\CorvaneOS9\\"
                                        << "~/CorvaneOS9";
    QTest::newRow("doubled backslash") << "C:\\\\CorvaneOS9\\\\Backup"
                                       << "~/CorvaneOS9/Backup";
    QTest::newRow("drive root") << "C:\\"
                                << "~";
    QTest::newRow("drive alone") << "C:"
                                 << "~";
    QTest::newRow("relative") << "Data\\Logs"
                              << "Data/Logs";
#endif
}

void TestPaths::localDefault() {
    QFETCH(QString, windows);
    QFETCH(QString, local);
    QCOMPARE(paths::localDefault(windows), expand(local));
}

void TestPaths::join_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("joined");
    QTest::newRow("plain") << "/a/b"
                           << "c.txt"
                           << "/a/b/c.txt";
    QTest::newRow("folder with separator") << "/a/b/"
                                           << "c.txt"
                                           << "/a/b/c.txt";
    QTest::newRow("name with separator") << "/a/b"
                                         << "/c.txt"
                                         << "/a/b/c.txt";
    QTest::newRow("both with separators") << "/a/b//"
                                          << "//c"
                                          << "/a/b/c";
    QTest::newRow("root") << "/"
                          << "Data"
                          << "/Data";
    QTest::newRow("empty folder") << ""
                                  << "c.txt"
                                  << "c.txt";
    QTest::newRow("sub path") << "/a"
                              << "b/c"
                              << "/a/b/c";
#ifdef Q_OS_WIN
    QTest::newRow("drive root") << "C:\\"
                                << "Data"
                                << "C:\\Data";
    QTest::newRow("backslashes") << "C:\\X\\"
                                 << "Data"
                                 << "C:\\X\\Data";
#endif
}

void TestPaths::join() {
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, joined);
    QCOMPARE(paths::join(folder, name), QDir::toNativeSeparators(joined));
}

void TestPaths::stripTrailingSeparator_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("stripped");
    QTest::newRow("one") << "/a/b/"
                         << "/a/b";
    QTest::newRow("several") << "/a/b///"
                             << "/a/b";
    QTest::newRow("none") << "/a/b"
                          << "/a/b";
    QTest::newRow("root kept") << "/"
                               << "/";
    QTest::newRow("root kept whole") << "//"
                                     << "/";
    QTest::newRow("relative") << "a/"
                              << "a";
    QTest::newRow("empty") << ""
                           << "";
#ifdef Q_OS_WIN
    QTest::newRow("drive root kept") << "C:\\"
                                     << "C:\\";
    QTest::newRow("backslash") << "C:\\X\\"
                               << "C:\\X";
#else
    QTest::newRow("backslash is a name character") << "a\\"
                                                   << "a\\";
#endif
}

void TestPaths::stripTrailingSeparator() {
    QFETCH(QString, path);
    QFETCH(QString, stripped);
    QCOMPARE(paths::stripTrailingSeparator(path), QDir::toNativeSeparators(stripped));
}

void TestPaths::parentFolder_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("parent");
    QTest::newRow("file") << "/a/b/c.txt"
                          << "/a/b";
    QTest::newRow("folder with separator") << "/a/b/"
                                           << "/a";
    QTest::newRow("below root") << "/a"
                                << "/";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("relative") << "a/b"
                              << "a";
    QTest::newRow("bare name") << "a"
                               << "";
    QTest::newRow("doubled separator") << "/a//b"
                                       << "/a";
#ifdef Q_OS_WIN
    QTest::newRow("exec folder") << "C:\\X\\Exec"
                                 << "C:\\X";
    QTest::newRow("below drive root") << "C:\\X"
                                      << "C:\\";
#endif
}

void TestPaths::parentFolder() {
    QFETCH(QString, path);
    QFETCH(QString, parent);
    QCOMPARE(paths::parentFolder(path), QDir::toNativeSeparators(parent));
}

void TestPaths::isPlainRemoteName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("plain");
    QTest::newRow("file") << "startup.QEL740" << true;
    QTest::newRow("with blank") << "a b" << true;
    QTest::newRow("dots inside") << "..a.." << true;
    QTest::newRow("dollar") << "$x" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("leading slash") << "/etc" << false;
    QTest::newRow("parent through slash") << "../x" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("parent through backslash") << "..\\x" << false;
    QTest::newRow("line feed") << "a\nb" << false;
    QTest::newRow("nul") << QString(QChar(0)) + "a" << false;
#ifdef Q_OS_WIN
    QTest::newRow("drive") << "C:x" << false;
    QTest::newRow("stream") << "a:b" << false;
    QTest::newRow("trailing dot") << "a." << false;
#endif
}

void TestPaths::isPlainRemoteName() {
    QFETCH(QString, name);
    QFETCH(bool, plain);
    QCOMPARE(paths::isPlainRemoteName(name), plain);
}

void TestPaths::absoluteIn_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("absolute");
    QTest::newRow("name") << "/a/b"
                          << "c"
                          << "/a/b/c";
    QTest::newRow("absolute path stays") << "/a/b"
                                         << "/x/y"
                                         << "/x/y";
    QTest::newRow("parent") << "/a/b"
                            << ".."
                            << "/a";
    QTest::newRow("dots resolved") << "/a/b"
                                   << "./c/../d"
                                   << "/a/b/d";
    QTest::newRow("parent of the root") << "/"
                                        << ".."
                                        << "/";
    // Qt reads ":x" as one of its resources; a name from the controller is a file here.
    QTest::newRow("resource-like name") << "/a/b"
                                        << ":Name"
                                        << "/a/b/:Name";
    QTest::newRow("resource-like sub path") << "/a"
                                            << ":/x"
                                            << "/a/:/x";
#ifdef Q_OS_WIN
    QTest::newRow("drive path stays") << "C:\\a"
                                      << "D:\\x"
                                      << "D:/x";
#endif
}

void TestPaths::absoluteIn() {
    QFETCH(QString, base);
    QFETCH(QString, path);
    QFETCH(QString, absolute);
    const QString result = paths::absoluteIn(base, path);
    QCOMPARE(result, QDir::toNativeSeparators(absolute));
    QVERIFY(QFileInfo(result).isAbsolute());
    QVERIFY(!result.startsWith(QLatin1Char(':')));
}

void TestPaths::fileInFolderIgnoresLetterCase_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("found");
    QTest::newRow("upper case copy") << QStringList{"QELMONITOR.INI"} << "QelMonitor.INI"
                                     << "QELMONITOR.INI";
    QTest::newRow("lower case copy") << QStringList{"os9batch.ini"} << "OS9Batch.INI"
                                     << "os9batch.ini";
    QTest::newRow("exact spelling wins") << QStringList{"os9batch.ini", "OS9Batch.INI"} << "OS9Batch.INI"
                                         << "OS9Batch.INI";
    QTest::newRow("missing keeps the name asked") << QStringList{"other.ini"} << "SystemBkup.ini"
                                                  << "SystemBkup.ini";
    QTest::newRow("a folder is not the file") << QStringList{"systembkup.ini/"} << "SystemBkup.ini"
                                              << "SystemBkup.ini";
}

void TestPaths::fileInFolderIgnoresLetterCase() {
    QFETCH(QStringList, stored);
    QFETCH(QString, asked);
    QFETCH(QString, found);
    QTemporaryDir dir;
    for (const QString& name : stored) {
        if (name.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir(dir.path()).mkdir(name.chopped(1)));
            continue;
        }
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString folder = QDir::toNativeSeparators(dir.path());
    QCOMPARE(paths::fileInFolder(folder, asked), paths::join(folder, found));
}

void TestPaths::fixedPlaces() {
#ifdef Q_OS_WIN
    QCOMPARE(paths::ionkillLocalFile(), QString("c:\\ionkill"));
#else
    QCOMPARE(paths::ionkillLocalFile(), QDir::tempPath() + "/ionkill");
#endif
    QCOMPARE(paths::programFolder(), QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
    QCOMPARE(paths::toNative("a/b"), QDir::toNativeSeparators("a/b"));
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
