// The backup plan: the regenerated "SystemBkup.ini", reading it back, and the paths of entries.

#include "backup/BackupPlan.h"
#include "common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;
using vantor::test::fileBytes;

namespace {

// The default plan file as the instrument PC's profile functions write it, typed from the
// plan's tables.
const QByteArray kDefaultFile = "[BkupSectionNames]\r\n"
                                "AllFiles=1\r\n"
                                "AllFiles0=1\r\n"
                                "AllFiles1=1\r\n"
                                "AllFiles2=1\r\n"
                                "AllFiles3=1\r\n"
                                "[AllFiles]\r\n"
                                "IonSource.ini=$00100000\r\n"
                                "IonGunExchange*=$00100008\r\n"
                                "*.ion=$00100400\r\n"
                                "Option.ini=$00200000\r\n"
                                "StageLimit.ini=$00080000\r\n"
                                "StageCorrection.ini=$00080000\r\n"
                                "QELInitData.ini=$00080000\r\n"
                                "Hard3Const.txt=$00010000\r\n"
                                "Hard3Const2.txt=$00010000\r\n"
                                "*.ini=$10000000\r\n"
                                "Ap*=$00400008\r\n"
                                "*=$10000008\r\n"
                                "[AllFiles0]\r\n"
                                "Memory.ion=$00100021\r\n"
                                "lev2200.ion=$00100021\r\n"
                                "mem2200.ion=$00100021\r\n"
                                "mng2200.ion=$00100021\r\n"
                                "mon2000.ion=$00020021\r\n"
                                "*=$10000041\r\n"
                                "[AllFiles1]\r\n"
                                "*=$10000081\r\n"
                                "[AllFiles2]\r\n"
                                "*=$10000101\r\n"
                                "[AllFiles3]\r\n"
                                "*=$10000201\r\n"
                                "[SourceDir]\r\n"
                                "dbase=$00000008\r\n"
                                "2200ion=$00000400\r\n"
                                "ionlog=$00000021\r\n"
                                "HARD=$00000041\r\n"
                                "MANAGER=$00000081\r\n"
                                "STAGE=$00000101\r\n"
                                "STAGE2=$00000201\r\n";

QString local(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

class TestBackupPlan : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void defaultFileBytes();
    void loadingTwiceAndOverwritingEdits();
    void noDataFolderWritesNothing();
    void instrumentDirAndSubPath_data();
    void instrumentDirAndSubPath();
    void bases_data();
    void bases();
    void entryFlags_data();
    void entryFlags();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    TBackupPlan m_plan;
};

void TestBackupPlan::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_plan = TBackupPlan();
    m_plan.SetLocalBase(m_dir->path());
    m_plan.SetRemoteBase(QStringLiteral("/h0/QEL_V4/data"));
}

void TestBackupPlan::defaultFileBytes() {
    m_plan.LoadPlan(QStringLiteral("SystemBkup.ini"));
    QCOMPARE(fileBytes(m_dir->filePath(QStringLiteral("SystemBkup.ini"))), kDefaultFile);
    QCOMPARE(m_plan.SectionNames,
             QStringList({"AllFiles", "AllFiles0", "AllFiles1", "AllFiles2", "AllFiles3"}));
    QCOMPARE(m_plan.Sections[0].size(), 12);
    QCOMPARE(m_plan.Sections[0].at(10), QStringLiteral("Ap*=$00400008"));
    QCOMPARE(m_plan.Sections[4], QStringList({"*=$10000201"}));
    QCOMPARE(m_plan.SourceDirs.size(), 7);
    QCOMPARE(m_plan.SourceDirs.at(1), QStringLiteral("2200ion=$00000400"));
}

void TestBackupPlan::loadingTwiceAndOverwritingEdits() {
    const QString path = m_dir->filePath(QStringLiteral("SystemBkup.ini"));
    m_plan.LoadPlan(QStringLiteral("SystemBkup.ini"));
    const QStringList names = m_plan.SectionNames;
    const auto sections = m_plan.Sections;
    const QStringList dirs = m_plan.SourceDirs;

    QFile edit(path);
    QVERIFY(edit.open(QIODevice::Append));
    edit.write("[AllFiles]\r\nSecret.ini=$00000001\r\n[Extra]\r\nx=1\r\n");
    edit.close();

    m_plan.LoadPlan(QStringLiteral("SystemBkup.ini"));
    QCOMPARE(fileBytes(path), kDefaultFile);
    QCOMPARE(m_plan.SectionNames, names);
    QCOMPARE(m_plan.Sections, sections);
    QCOMPARE(m_plan.SourceDirs, dirs);
    QCOMPARE(m_plan.PlanFileName, QStringLiteral("SystemBkup.ini"));
}

void TestBackupPlan::noDataFolderWritesNothing() {
    // Without the instrument's data folder the plan must not land in the current folder,
    // and it is still the whole default plan.
    TBackupPlan fromFile = m_plan;
    fromFile.LoadPlan(QStringLiteral("SystemBkup.ini"));

    const QString previous = QDir::currentPath();
    QTemporaryDir current;
    QDir::setCurrent(current.path());
    TBackupPlan plan;
    plan.LoadPlan(QStringLiteral("SystemBkup.ini"));
    QDir::setCurrent(previous);
    QVERIFY(QDir(current.path()).isEmpty());
    QCOMPARE(plan.SectionNames, fromFile.SectionNames);
    QCOMPARE(plan.Sections, fromFile.Sections);
    QCOMPARE(plan.SourceDirs, fromFile.SourceDirs);
}

void TestBackupPlan::instrumentDirAndSubPath_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("instrumentDir"); // "<local>" stands for LocalBase
    QTest::addColumn<QString>("subPath");
    QTest::addColumn<QStringList>("logLines");

    QTest::newRow("Memory.ion: controller ionlog") << "Memory.ion=$00100021"
                                                   << "/h0/QEL_V4/data/ionlog"
                                                   << "ionlog" << QStringList{"00100021 00000020"};
    QTest::newRow("IonSource.ini: the data folder itself") << "IonSource.ini=$00100000"
                                                           << "<local>"
                                                           << "" << QStringList{};
    QTest::newRow("Ap*: dbase") << "Ap*=$00400008"
                                << "<local>dbase"
                                << "dbase" << QStringList{"00400008 00000008"};
    QTest::newRow("controller entry selecting nothing keeps the slash") << "x=$00000001"
                                                                        << "/h0/QEL_V4/data/"
                                                                        << "" << QStringList{};
    QTest::newRow("two directories") << "y=$0000040C"
                                     << "<local>dbase2200ion" << local("dbase/2200ion")
                                     << QStringList{"0000040C 00000008", "0000040C 00000400"};
    QTest::newRow("two controller directories") << "z=$000000C1"
                                                << "/h0/QEL_V4/data/HARDMANAGER" << local("HARD/MANAGER")
                                                << QStringList{"000000C1 00000040", "000000C1 00000080"};
    QTest::newRow("a side bit alone selects no directory") << "w=$00000001"
                                                           << "/h0/QEL_V4/data/"
                                                           << "" << QStringList{};
}

void TestBackupPlan::instrumentDirAndSubPath() {
    QFETCH(QString, entry);
    QFETCH(QString, instrumentDir);
    QFETCH(QString, subPath);
    QFETCH(QStringList, logLines);

    m_plan.LoadPlan(QStringLiteral("SystemBkup.ini"));
    m_plan.SourceDirs.append(QStringLiteral("bitzero=$00000001")); // never selected
    m_plan.Sections[0] = QStringList{entry};
    const QString base = m_plan.LocalBase();
    instrumentDir.replace(QStringLiteral("<local>"), base);
    if (instrumentDir == base)
        instrumentDir.chop(1); // the data folder without its final separator

    QCOMPARE(m_plan.InstrumentDir(0, 0), instrumentDir);
    QStringList log;
    QCOMPARE(m_plan.BackupSubPath(0, 0, &log), subPath);
    QCOMPARE(log, logLines);
}

void TestBackupPlan::bases_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("remote");
    QTest::newRow("empty stays empty") << ""
                                       << ""
                                       << "";
    QTest::newRow("separator added") << "/d" << local("/d/") << "/d/";
    QTest::newRow("separator kept") << "/d/" << local("/d/") << "/d/";
}

void TestBackupPlan::bases() {
    QFETCH(QString, given);
    QFETCH(QString, local);
    QFETCH(QString, remote);
    TBackupPlan plan;
    plan.SetLocalBase(given);
    plan.SetRemoteBase(given);
    QCOMPARE(plan.LocalBase(), local);
    QCOMPARE(plan.RemoteBase(), remote);
}

void TestBackupPlan::entryFlags_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("flags");
    QTest::newRow("hex") << "a=$00100021" << true << quint32(0x00100021);
    QTest::newRow("lower-case hex") << "a=$1000000f" << true << quint32(0x1000000F);
    QTest::newRow("decimal") << "a=1048609" << true << quint32(0x00100021);
    QTest::newRow("all bits") << "a=$FFFFFFFF" << true << quint32(0xFFFFFFFF);
    QTest::newRow("negative decimal") << "a=-1" << true << quint32(0xFFFFFFFF);
    QTest::newRow("word") << "a=abc" << false << quint32(0);
    QTest::newRow("empty") << "a=" << false << quint32(0);
    QTest::newRow("C hex") << "a=0x10" << false << quint32(0);
    QTest::newRow("dollar alone") << "a=$" << false << quint32(0);
    QTest::newRow("too many digits") << "a=$100000000" << false << quint32(0);
    QTest::newRow("decimal beyond 32 bits") << "a=4294967296" << false << quint32(0);
    QTest::newRow("trailing text") << "a=12x" << false << quint32(0);
}

void TestBackupPlan::entryFlags() {
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(quint32, flags);
    const QStringList list{QStringLiteral("b=$1"), line};
    if (valid) {
        QCOMPARE(TBackupPlan::EntryFlags(list, 1), flags);
        return;
    }
    try {
        TBackupPlan::EntryFlags(list, 1);
        QFAIL("no conversion error");
    } catch (const EConvertError& e) {
        QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid integer value").arg(line.mid(2)));
    }
}

QTEST_GUILESS_MAIN(TestBackupPlan)
#include "tst_backupplan.moc"
