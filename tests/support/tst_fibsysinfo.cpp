#include "support/Errors.h"
#include "support/FIBSysInfo.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;

// Builds <root>/X/{Exec,Exe,Data} and <root>/Other/{Exec2,Data2} and starts each test in
// <root>/X/Exec, as the instrument software is started from its program folder.
class TestFIBSysInfo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void foldersBesideTheCurrentFolder_data();
    void foldersBesideTheCurrentFolder();
    void environmentVariables_data();
    void environmentVariables();
    void unusableVariableThrowsAndKeepsCurrentFolder_data();
    void unusableVariableThrowsAndKeepsCurrentFolder();
    void fixedNameAndIdentifier();
    void startFolderGivenLeavesCurrentFolderAlone_data();
    void startFolderGivenLeavesCurrentFolderAlone();
    void dataFilesWhateverTheirLetterCase();

private:
    QString at(const QString& relative) const;
    // Each "name=value" set in the environment, "@" in a value standing for the root folder.
    void setVariables(const QStringList& settings) const;

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_rootPath; // as the system spells it after entering it
    QString m_savedCurrent;
};

static const char* const kVariables[] = {"QelExecPath", "QelDataPath", "DaxExecPath", "DaxDataPath"};

void TestFIBSysInfo::init() {
    m_savedCurrent = QDir::currentPath();
    for (const char* v : kVariables)
        qunsetenv(v);
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    QDir root(m_root->path());
    for (const char* sub : {"X/Exec", "X/Exe", "X/Data", "Other/Exec2", "Other/Data2"})
        QVERIFY(root.mkpath(sub));
    m_rootPath = QDir(m_root->path()).canonicalPath();
    QVERIFY(QDir::setCurrent(at("X/Exec")));
}

void TestFIBSysInfo::cleanup() {
    QVERIFY(QDir::setCurrent(m_savedCurrent));
    for (const char* v : kVariables)
        qunsetenv(v);
    m_root.reset();
}

QString TestFIBSysInfo::at(const QString& relative) const {
    return QDir::toNativeSeparators(m_rootPath + QLatin1Char('/') + relative);
}

void TestFIBSysInfo::setVariables(const QStringList& settings) const {
    for (const QString& s : settings) {
        const qsizetype eq = s.indexOf('=');
        QString value = s.mid(eq + 1);
        value.replace('@', m_root->path());
        qputenv(s.left(eq).toLatin1(), value.toLocal8Bit());
    }
}

void TestFIBSysInfo::foldersBesideTheCurrentFolder_data() {
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("exec");
    QTest::newRow("QEL") << 1 << "X/Data"
                         << "X/Exec";
    QTest::newRow("DAX") << 2 << "X/Data"
                         << "X/Exe";
    QTest::newRow("unknown family 0 as QEL") << 0 << "X/Data"
                                             << "X/Exec";
    QTest::newRow("unknown family 7 as QEL") << 7 << "X/Data"
                                             << "X/Exec";
}

void TestFIBSysInfo::foldersBesideTheCurrentFolder() {
    QFETCH(int, family);
    QFETCH(QString, data);
    QFETCH(QString, exec);
    const QString before = QDir::currentPath();
    const TFIBSysInfo info(family);
    QCOMPARE(info.dataFolder(), at(data));
    QCOMPARE(info.execFolder(), at(exec));
    QCOMPARE(QDir::currentPath(), before);
}

void TestFIBSysInfo::environmentVariables_data() {
    QTest::addColumn<int>("family");
    QTest::addColumn<QStringList>("settings"); // name=value; "@" stands for the root folder
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("exec");

    QTest::newRow("QelExecPath absolute") << 1 << QStringList{"QelExecPath=@/Other/Exec2"} << "X/Data"
                                          << "Other/Exec2";
    QTest::newRow("QelDataPath with trailing separator")
        << 1 << QStringList{"QelDataPath=@/Other/Data2/"} << "Other/Data2"
        << "X/Exec";
    QTest::newRow("both QEL variables")
        << 1 << QStringList{"QelExecPath=@/Other/Exec2", "QelDataPath=@/Other/Data2"} << "Other/Data2"
        << "Other/Exec2";
    QTest::newRow("dotted spelling normalised")
        << 1 << QStringList{"QelDataPath=@/Other/./Exec2/../Data2"} << "Other/Data2"
        << "X/Exec";
    QTest::newRow("relative exec value from the parent folder")
        << 1 << QStringList{"QelExecPath=Exe"} << "X/Data"
        << "X/Exe";
    QTest::newRow("relative data value from the exec folder")
        << 1 << QStringList{"QelExecPath=@/Other/Exec2", "QelDataPath=../Data2"} << "Other/Data2"
        << "Other/Exec2";
    QTest::newRow("empty variables ignored") << 1 << QStringList{"QelExecPath=", "QelDataPath="} << "X/Data"
                                             << "X/Exec";
    QTest::newRow("DAX variables for DAX")
        << 2 << QStringList{"DaxExecPath=@/Other/Exec2", "DaxDataPath=@/Other/Data2"} << "Other/Data2"
        << "Other/Exec2";
    QTest::newRow("QEL variables not for DAX")
        << 2 << QStringList{"QelExecPath=@/Other/Exec2", "QelDataPath=@/Other/Data2"} << "X/Data"
        << "X/Exe";
    QTest::newRow("DAX variables not for QEL")
        << 1 << QStringList{"DaxExecPath=@/Other/Exec2", "DaxDataPath=@/Other/Data2"} << "X/Data"
        << "X/Exec";
}

void TestFIBSysInfo::environmentVariables() {
    QFETCH(int, family);
    QFETCH(QStringList, settings);
    QFETCH(QString, data);
    QFETCH(QString, exec);
    setVariables(settings);
    const QString before = QDir::currentPath();
    const TFIBSysInfo info(family);
    QCOMPARE(info.dataFolder(), at(data));
    QCOMPARE(info.execFolder(), at(exec));
    QCOMPARE(QDir::currentPath(), before);
}

void TestFIBSysInfo::unusableVariableThrowsAndKeepsCurrentFolder_data() {
    QTest::addColumn<int>("family");
    QTest::addColumn<QByteArray>("variable");
    QTest::newRow("QelDataPath") << 1 << QByteArray("QelDataPath");
    QTest::newRow("QelExecPath") << 1 << QByteArray("QelExecPath");
    QTest::newRow("DaxDataPath") << 2 << QByteArray("DaxDataPath");
    QTest::newRow("DaxExecPath") << 2 << QByteArray("DaxExecPath");
}

void TestFIBSysInfo::unusableVariableThrowsAndKeepsCurrentFolder() {
    QFETCH(int, family);
    QFETCH(QByteArray, variable);
    const QString missing = m_root->filePath("Missing/Data");
    qputenv(variable, missing.toLocal8Bit());
    const QString before = QDir::currentPath();
    try {
        TFIBSysInfo info(family);
        QFAIL("no error for a folder that does not exist");
    } catch (const FileError& e) {
        QVERIFY2(e.message().contains(missing), qPrintable(e.message()));
        QVERIFY2(e.message().contains(QString::fromLatin1(variable)), qPrintable(e.message()));
    }
    QCOMPARE(QDir::currentPath(), before);
}

void TestFIBSysInfo::fixedNameAndIdentifier() {
    const TFIBSysInfo info(1);
    QCOMPARE(info.name(), QString("Non Name"));
    QCOMPARE(info.identifier(), -1);
    QCOMPARE(info.family(), 1);
    QCOMPARE(TFIBSysInfo(2).family(), 2);
}

void TestFIBSysInfo::startFolderGivenLeavesCurrentFolderAlone_data() {
    QTest::addColumn<QStringList>("settings"); // name=value; "@" stands for the root folder
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("exec");
    QTest::newRow("no variables") << QStringList{} << "X/Data"
                                  << "X/Exec";
    QTest::newRow("relative exec value") << QStringList{"QelExecPath=Exe"} << "X/Data"
                                         << "X/Exe";
    QTest::newRow("relative data value") << QStringList{"QelDataPath=../Other/Data2"} << "Other/Data2"
                                         << "X/Exec";
    QTest::newRow("data relative to the exec value")
        << QStringList{"QelExecPath=@/Other/Exec2", "QelDataPath=../Data2"} << "Other/Data2"
        << "Other/Exec2";
}

// The folders come from the folder the program started in, wherever the process's current
// folder has gone since; that folder is never moved.
void TestFIBSysInfo::startFolderGivenLeavesCurrentFolderAlone() {
    QFETCH(QStringList, settings);
    QFETCH(QString, data);
    QFETCH(QString, exec);
    setVariables(settings);
    QVERIFY(QDir::setCurrent(at("Other/Exec2")));
    const QString before = QDir::currentPath();
    const TFIBSysInfo info(1, at("X/Exec"));
    QCOMPARE(info.dataFolder(), at(data));
    QCOMPARE(info.execFolder(), at(exec));
    QCOMPARE(QDir::currentPath(), before);
}

void TestFIBSysInfo::dataFilesWhateverTheirLetterCase() {
    QFile monitor(at("X/Data/QELMONITOR.INI"));
    QVERIFY(monitor.open(QIODevice::WriteOnly));
    const TFIBSysInfo info(1);
    QCOMPARE(info.dataFile("QelMonitor.INI"), at("X/Data/QELMONITOR.INI"));
    QCOMPARE(info.dataFile("OS9Batch.INI"), at("X/Data/OS9Batch.INI"));
}

QTEST_GUILESS_MAIN(TestFIBSysInfo)
#include "tst_fibsysinfo.moc"
