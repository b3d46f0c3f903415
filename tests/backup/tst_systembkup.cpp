// The restore engine against a real FTP server (pyftpdlib on loopback, the controller's
// listing) and a backup folder in the plan's layout.

#include "backup/SystemBkup.h"
#include "common/RestoreFixture.h"
#include "common/ScriptedPrompter.h"
#include "ftp/FtpClient.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;
using namespace vantor::test;

namespace {

const QString kRemoteData = QStringLiteral("/h0/QEL_V4/data");

// Every entry below `root`, folders included ("<folder>"), except the folders of kept files.
QMap<QString, QByteArray> snapshot(const QString& root) {
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        if (relative.startsWith("RestoreReplaced"))
            continue;
        out.insert(relative, it.fileInfo().isDir() ? QByteArray("<folder>") : fileBytes(path));
    }
    return out;
}

// The mask the dialog builds from its boxes.
constexpr quint32 kAll = 0; // a zero mask selects every entry
constexpr quint32 kAlways = planbits::AlwaysSet;

// A backup folder in the plan's layout, relative path -> content. Each file has its own
// bytes so a file restored to the wrong place shows.
QMap<QString, QByteArray> backupLayout() {
    QMap<QString, QByteArray> files;
    const QStringList names{"IonSource.ini",       "Option.ini",        "StageLimit.ini",
                            "Hard3Const.txt",      "Misc.ini",          "dbase/IonGunExchange1.db",
                            "dbase/ApCtrl30kV.db", "dbase/Other.db",    "2200ion/a.ion",
                            "2200ion/b.ion",       "ionlog/Memory.ion", "ionlog/mon2000.ion",
                            "ionlog/extra.ion",    "HARD/h1.dat",       "HARD/h 2.dat",
                            "MANAGER/m1",          "STAGE/s1",          "STAGE2/s2"};
    quint32 seed = 7;
    for (const QString& name : names) {
        files.insert(name, randomBytes(100 + int(seed) * 37, seed));
        ++seed;
    }
    return files;
}

// The PC files (below the data folder) and the controller files (below the data
// directory) a restore of the whole layout puts in place for a mask.
struct Expected {
    QStringList pc;
    QStringList controller;
};

} // namespace

class TestSystemBkup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void restoresByMask_data();
    void restoresByMask();
    void logOfASmallRestore();
    void backupFolderForms_data();
    void backupFolderForms();
    void missingSubFolderAndCreatedDestination();
    void abortDuringUpload();
    void refusedConnection();
    void hostileBackupFolder();
    void controllerListingNames_data();
    void controllerListingNames();
    void previewChangesNothingAndTheRunFollowsIt();
    void replacedFilesAreKeptAndUndoRestoresThem();
    void keepFailureIsLoggedAndTheRunGoesOn();
    void withoutDataFolderOnlyTheControllerIsRestored();
    void failedCopyLeavesTheInstrumentFile_data();
    void failedCopyLeavesTheInstrumentFile();

private:
    bool startServer();
    void prepare(const QString& localBase);
    bool writeBackup(const QMap<QString, QByteArray>& files);
    QString backup() const { return m_backup->path(); }
    QString data() const { return m_data->path(); }
    QString remote(const QString& relative) const {
        return m_server->localPath(kRemoteData + QLatin1Char('/') + relative);
    }

    std::unique_ptr<QTemporaryDir> m_backup;
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<FtpServerFixture> m_server;
    std::unique_ptr<TSystemBkup> m_engine;
    std::unique_ptr<PrompterScope> m_prompts;
};

void TestSystemBkup::init() {
    m_backup = std::make_unique<QTemporaryDir>();
    m_data = std::make_unique<QTemporaryDir>();
    m_prompts = std::make_unique<PrompterScope>();
    QVERIFY(startServer());
    m_engine = std::make_unique<TSystemBkup>();
    prepare(data());
}

void TestSystemBkup::cleanup() {
    m_engine.reset();
    m_server.reset();
    m_prompts.reset();
}

bool TestSystemBkup::startServer() {
    FtpServerFixture::Options options;
    options.devices = {"h0"};
    options.os9Listing = true;
    m_server = std::make_unique<FtpServerFixture>(options);
    if (!m_server->start()) {
        qWarning() << m_server->errorString();
        return false;
    }
    for (const QString& dir : ControllerFtp::kDataFolders)
        QDir().mkpath(m_server->localPath(kRemoteData + QLatin1Char('/') + dir));
    return true;
}

// What the main window does when Restore Data is chosen.
void TestSystemBkup::prepare(const QString& localBase) {
    m_engine->SetHost(m_server->host());
    m_engine->Ftp().Port = m_server->port();
    m_engine->SetLocalBase(localBase);
    m_engine->SetRemoteBase(kRemoteData);
    m_engine->LoadPlan(QStringLiteral("SystemBkup.ini"));
}

bool TestSystemBkup::writeBackup(const QMap<QString, QByteArray>& files) {
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        if (!putFile(m_backup->filePath(it.key()), it.value()))
            return false;
    return true;
}

void TestSystemBkup::restoresByMask_data() {
    QTest::addColumn<quint32>("mask");
    QTest::addColumn<QStringList>("pc");
    QTest::addColumn<QStringList>("controller");

    QTest::newRow("everything")
        << kAll << QStringList{"IonSource.ini",       "Option.ini",     "StageLimit.ini",
                               "Hard3Const.txt",      "Misc.ini",       "dbase/IonGunExchange1.db",
                               "dbase/ApCtrl30kV.db", "dbase/Other.db", "2200ion/a.ion",
                               "2200ion/b.ion"}
        << QStringList{"ionlog/Memory.ion", "ionlog/mon2000.ion", "HARD/h1.dat", "HARD/h 2.dat",
                       "MANAGER/m1",        "STAGE/s1",           "STAGE2/s2"};
    // Files of a deselected specific type are not restored by the catch-all entries either.
    QTest::newRow("Other Info. alone")
        << (kAlways | planbits::Other) << QStringList{"Misc.ini", "dbase/Other.db"}
        << QStringList{"HARD/h1.dat", "HARD/h 2.dat", "MANAGER/m1", "STAGE/s1", "STAGE2/s2"};
    QTest::newRow("Lens alone: Ap* takes its file from *")
        << (kAlways | planbits::Lens) << QStringList{"dbase/ApCtrl30kV.db"} << QStringList{};
    QTest::newRow("Other without Lens: neither Ap* nor * copies it")
        << (kAlways | planbits::Other | planbits::Stage)
        << QStringList{"StageLimit.ini", "Misc.ini", "dbase/Other.db"}
        << QStringList{"HARD/h1.dat", "HARD/h 2.dat", "MANAGER/m1", "STAGE/s1", "STAGE2/s2"};
    QTest::newRow("ion and current ion")
        << (kAlways | planbits::Ion | planbits::CurrentIon)
        << QStringList{"IonSource.ini", "dbase/IonGunExchange1.db", "2200ion/a.ion", "2200ion/b.ion"}
        << QStringList{"ionlog/Memory.ion", "ionlog/mon2000.ion"};
    QTest::newRow("every box cleared") << kAlways << QStringList{} << QStringList{};
}

void TestSystemBkup::restoresByMask() {
    QFETCH(quint32, mask);
    QFETCH(QStringList, pc);
    QFETCH(QStringList, controller);
    const auto files = backupLayout();
    QVERIFY(writeBackup(files));

    QVERIFY(m_engine->Restore(backup(), mask));

    auto onPc = filesBelow(data());
    onPc.remove(QStringLiteral("SystemBkup.ini"));
    QMap<QString, QByteArray> expectedPc;
    for (const QString& f : pc)
        expectedPc.insert(f, files.value(f));
    QCOMPARE(onPc, expectedPc);

    QMap<QString, QByteArray> expectedController;
    for (const QString& f : controller)
        expectedController.insert(f, files.value(f));
    QCOMPARE(filesBelow(m_server->localPath(kRemoteData)), expectedController);

    // The log on disk is the engine's log with CR LF line ends; every file either copied or
    // logged as ignored.
    const QByteArray logFile = fileBytes(m_backup->filePath("Restore.txt"));
    QCOMPARE(logFile, (m_engine->Log.join("\r\n") + "\r\n").toUtf8());
    const int copies = int(m_engine->Log.filter(QRegularExpression("^o--(Copy|OS9-R) ")).size());
    QCOMPARE(copies, pc.size() + controller.size());
    if (mask == kAlways)
        QVERIFY(!m_engine->Log.filter("x--Copy(ignored) ").isEmpty());
    QVERIFY(m_prompts->prompter.shown.isEmpty());
}

void TestSystemBkup::logOfASmallRestore() {
    QVERIFY(writeBackup({{"IonSource.ini", "ion"},
                         {"dbase/ApA.db", "lens"},
                         {"ionlog/Memory.ion", "memory"},
                         {"HARD/h.dat", "hard"}}));
    QVERIFY(m_engine->Restore(backup(), kAll));
    const QString b = backup() + QDir::separator();
    const QString d = data() + QDir::separator();
    const QString s = QDir::separator();
    const QStringList expected{
        "o--Copy " + b + "IonSource.ini to " + d + "IonSource.ini",
        "00100008 00000008",
        "00100400 00000400",
        "x--Copy(ignored) " + b + "IonSource.ini to " + d + "IonSource.ini",
        "00400008 00000008",
        "o--Copy " + b + "dbase" + s + "ApA.db to " + d + "dbase" + s + "ApA.db",
        "10000008 00000008",
        "x--Copy(ignored) " + b + "dbase" + s + "ApA.db to " + d + "dbase" + s + "ApA.db",
        "00100021 00000020",
        "DoCommand success", // TYPE I after the login
        "o--OS9-R " + b + "ionlog" + s + "/Memory.ion to /h0/QEL_V4/data/ionlog",
        "ChangeDir success",
        "Upload success",
        "00100021 00000020",
        "00100021 00000020",
        "00100021 00000020",
        "00020021 00000020",
        "10000041 00000040",
        "o--OS9-R " + b + "HARD" + s + "/h.dat to /h0/QEL_V4/data/HARD",
        "ChangeDir success",
        "Upload success",
        "10000081 00000080",
        "10000101 00000100",
        "10000201 00000200",
    };
    QCOMPARE(m_engine->Log, expected);
    QCOMPARE(fileBytes(remote("ionlog/Memory.ion")), QByteArray("memory"));
    QCOMPARE(fileBytes(m_data->filePath("dbase/ApA.db")), QByteArray("lens"));
}

void TestSystemBkup::backupFolderForms_data() {
    QTest::addColumn<QString>("given"); // "<b>" stands for the backup folder
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain") << "<b>" << true;
    QTest::newRow("trailing separator and blanks") << "  <b>/  " << true;
    QTest::newRow("missing folder") << "<b>/nothere" << false;
    QTest::newRow("a file, not a folder") << "<b>/IonSource.ini" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blanks only") << "   " << false;
}

void TestSystemBkup::backupFolderForms() {
    QFETCH(QString, given);
    QFETCH(bool, accepted);
    QVERIFY(writeBackup({{"IonSource.ini", "ion"}}));
    given.replace("<b>", backup());
    given = QDir::toNativeSeparators(given);
    m_engine->Log = QStringList{"previous run"};

    QCOMPARE(m_engine->Restore(given, kAll), accepted);
    QCOMPARE(QFileInfo::exists(m_data->filePath("IonSource.ini")), accepted);
    QCOMPARE(QFileInfo::exists(m_backup->filePath("Restore.txt")), accepted);
    if (!accepted)
        QCOMPARE(m_engine->Log, QStringList{"previous run"});
}

void TestSystemBkup::missingSubFolderAndCreatedDestination() {
    // Only the root and dbase exist in the backup; the data folder has no dbase yet.
    QVERIFY(writeBackup({{"Option.ini", "opt"}, {"dbase/ApB.db", "ap"}}));
    QVERIFY(m_engine->Restore(backup(), kAll));
    QCOMPARE(fileBytes(m_data->filePath("dbase/ApB.db")), QByteArray("ap"));
    QVERIFY(QFileInfo(m_data->filePath("2200ion")).isDir()); // created though nothing came
    const QStringList lines = m_engine->Log;
    QVERIFY(lines.filter("2200ion").isEmpty());
    QVERIFY(lines.filter("OS9-R").isEmpty());
    QVERIFY(lines.filter("ionlog").isEmpty());
    QCOMPARE(lines.filter("o--Copy").size(), 2);
}

void TestSystemBkup::abortDuringUpload() {
    QVERIFY(writeBackup({{"HARD/first.dat", randomBytes(3 << 20, 3)}, {"MANAGER/second.dat", "2"}}));
    QVERIFY(putFile(m_backup->filePath("Restore.txt"), "old log"));
    // As the dialog's Abort button does while the upload runs.
    m_engine->Ftp().OnPacketSent = [&](TAsyncSocket*) { m_engine->Abort = true; };
    QVERIFY(m_engine->Restore(backup(), kAll));

    QCOMPARE(fileBytes(remote("HARD/first.dat")), randomBytes(3 << 20, 3)); // ran to its end
    QVERIFY(!QFileInfo::exists(remote("MANAGER/second.dat")));
    QVERIFY(m_engine->Log.last().startsWith("o--OS9-R "));
    QVERIFY(m_engine->Log.last().endsWith("second.dat to /h0/QEL_V4/data/MANAGER"));
    QVERIFY(m_engine->Log.contains("Upload success"));
    QVERIFY(!QFileInfo::exists(m_backup->filePath("Restore.txt")));
    QCOMPARE(fileBytes(m_backup->filePath("Restore-aborted.txt")),
             (m_engine->Log.join("\r\n") + "\r\n").toUtf8());
}

void TestSystemBkup::refusedConnection() {
    QVERIFY(writeBackup({{"Option.ini", "opt"}, {"HARD/h.dat", "h"}, {"STAGE/s.dat", "s"}}));
    const quint16 port = closedPort();
    QVERIFY(port != 0);
    m_engine->Ftp().Port = port;

    QVERIFY(m_engine->Restore(backup(), kAll));
    // Once for each of the four controller sections; the PC side is restored all the same.
    QCOMPARE(m_prompts->prompter.texts("warning"), QStringList(4, "Cannot Connect To OS9  !!!"));
    QCOMPARE(m_engine->Log.count("Connect Fail"), 4);
    QVERIFY(m_engine->Log.filter("OS9-R").isEmpty());
    QCOMPARE(fileBytes(m_data->filePath("Option.ini")), QByteArray("opt"));
    QVERIFY(QFileInfo::exists(m_backup->filePath("Restore.txt")));

    // A preview says what it cannot know, asks nothing and tries the connection once.
    m_prompts->prompter.clear();
    QList<TRestoreStep> steps;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_engine->Preview(backup(), kAll, steps));
    QVERIFY(clock.elapsed() < 4000);
    QVERIFY(m_prompts->prompter.shown.isEmpty());
    int uploads = 0;
    for (const TRestoreStep& step : steps) {
        if (step.kind == TRestoreStep::Upload || step.kind == TRestoreStep::Connect)
            QCOMPARE(step.replaces, TRestoreStep::ReplacementUnknown);
        uploads += step.kind == TRestoreStep::Upload;
    }
    QCOMPARE(uploads, 2);
}

void TestSystemBkup::controllerListingNames_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("OS-9 dir -e")
        << QStringList{"                            Directory of /h0/QEL_V4/data/HARD  2026/12/08 09:15\r\n",
                       " Owner     Last modified  Attributes Sector Bytecount Name\r\n",
                       "-------    -------------  ---------- ------ --------- ----\r\n",
                       "    0.0    26/12/08 0915   ------wr       1A4       512 Hard3Const.txt\r\n",
                       "    0.0    26/12/08 0915   d-ewrewr       1B0       128 SUB\r\n",
                       "    0.0    26/12/08 0915   ------wr      2F00         0 name with blanks\r\n"}
        << QStringList{"Hard3Const.txt", "name with blanks"};
    QTest::newRow("UNIX ls -l") << QStringList{"total 8",
                                               "-rw-r--r--   1 owner group  512 Dec 08 09:15 a.dat",
                                               "drwxr-xr-x   2 owner group 4096 Dec 08 09:15 sub",
                                               "lrwxrwxrwx   1 owner group    5 Dec 08 09:15 l -> a.dat"}
                                << QStringList{"a.dat"};
    QTest::newRow("garbage") << QStringList{"", "550 nothing", "--"} << QStringList{};
}

void TestSystemBkup::controllerListingNames() {
    QFETCH(QStringList, lines);
    QFETCH(QStringList, names);
    QCOMPARE(ControllerFileNames(lines), names);
}

void TestSystemBkup::previewChangesNothingAndTheRunFollowsIt() {
    const auto files = backupLayout();
    QVERIFY(writeBackup(files));
    // The instrument already holds some of the files, the controller others.
    QVERIFY(putFile(m_data->filePath("IonSource.ini"), "old ion"));
    QVERIFY(putFile(m_data->filePath("dbase/Other.db"), "old other"));
    QVERIFY(putFile(remote("HARD/h1.dat"), "old h1"));
    QVERIFY(putFile(remote("STAGE/s1"), "old s1"));
    const auto backupBefore = snapshot(backup());
    const auto dataBefore = snapshot(data());
    const auto controllerBefore = snapshot(m_server->localPath(kRemoteData));
    m_engine->Log = QStringList{"last run"};

    QList<TRestoreStep> preview;
    QVERIFY(m_engine->Preview(backup(), kAll, preview));
    QCOMPARE(snapshot(backup()), backupBefore);
    QCOMPARE(snapshot(data()), dataBefore);
    QCOMPARE(snapshot(m_server->localPath(kRemoteData)), controllerBefore);
    QCOMPARE(m_engine->Log, QStringList{"last run"});

    const QStringList lines = TSystemBkup::PreviewLines(preview);
    const QString b = backup() + QDir::separator();
    const QString d = data() + QDir::separator();
    QVERIFY(
        lines.contains("Copy " + b + "IonSource.ini to " + d + "IonSource.ini (replaces the existing file)"));
    QVERIFY(lines.contains("Copy " + b + "Option.ini to " + d + "Option.ini (new file)"));
    QVERIFY(lines.contains("Create folder " + m_data->filePath("2200ion") + QDir::separator()));
    QVERIFY(lines.contains("Ignore " + b + "IonSource.ini (claimed before or type not selected)"));
    QVERIFY(lines.contains("Upload " + b + "HARD" + QDir::separator() +
                           "h1.dat to /h0/QEL_V4/data/HARD (replaces the controller's file)"));
    QVERIFY(lines.contains("Upload " + b + "HARD" + QDir::separator() +
                           "h 2.dat to /h0/QEL_V4/data/HARD (new on the controller)"));
    QCOMPARE(lines.filter("(replaces").size(), 4);
    QCOMPARE(lines.filter(QRegularExpression("^(Copy|Upload) ")).size(), 17);

    QVERIFY(m_engine->Restore(backup(), kAll));
    const QList<TRestoreStep>& performed = m_engine->PerformedSteps();
    QCOMPARE(performed.size(), preview.size());
    for (qsizetype i = 0; i < preview.size(); ++i) {
        QVERIFY2(performed.at(i).sameAction(preview.at(i)), qPrintable(preview.at(i).Describe()));
        QCOMPARE(performed.at(i).replaces, preview.at(i).replaces);
    }
}

void TestSystemBkup::replacedFilesAreKeptAndUndoRestoresThem() {
    // The instrument and the controller hold an older version of every file of the backup.
    const auto files = backupLayout();
    QVERIFY(writeBackup(files));
    const QStringList pcFolders{"", "dbase", "2200ion"};
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString folder = it.key().contains('/') ? it.key().section('/', 0, 0) : QString();
        const QString target = pcFolders.contains(folder) ? m_data->filePath(it.key()) : remote(it.key());
        QVERIFY(putFile(target, "old " + it.key().toUtf8()));
    }
    QVERIFY(putFile(remote("HARD/untouched"), "stays"));
    const auto dataBefore = snapshot(data());
    const auto controllerBefore = snapshot(m_server->localPath(kRemoteData));

    QVERIFY(m_engine->Restore(backup(), kAll));
    const QString kept = m_engine->ReplacedFolder();
    QVERIFY(!kept.isEmpty());
    QCOMPARE(QFileInfo(kept).absolutePath(), QFileInfo(data()).absoluteFilePath());
    QVERIFY(QFileInfo(kept).fileName().startsWith("RestoreReplaced"));
    QVERIFY(m_engine->Log.contains("Replaced files are kept in " + kept));
    QVERIFY(m_engine->Log.filter("Keep fail").isEmpty());
    QCOMPARE(fileBytes(m_data->filePath("dbase/Other.db")), files.value("dbase/Other.db"));
    QCOMPARE(fileBytes(remote("HARD/h 2.dat")), files.value("HARD/h 2.dat"));

    // Kept in the backup layout, byte-exact: every file the run replaced and nothing else.
    QMap<QString, QByteArray> expectedKept;
    for (const TRestoreStep& step : m_engine->PerformedSteps()) {
        if (step.replaces != TRestoreStep::Replaces)
            continue;
        const QString relative = step.SubPath.isEmpty() ? step.Name : step.SubPath + '/' + step.Name;
        expectedKept.insert(relative, "old " + relative.toUtf8());
    }
    QCOMPARE(expectedKept.size(), 17);
    auto keptFiles = filesBelow(kept);
    keptFiles.remove("Restore.txt");
    QCOMPARE(keptFiles, expectedKept);

    // Undo: a restore from the kept folder with the same data types.
    QVERIFY(m_engine->Restore(kept, kAll));
    QCOMPARE(snapshot(data()), dataBefore);
    QCOMPARE(snapshot(m_server->localPath(kRemoteData)), controllerBefore);
}

void TestSystemBkup::keepFailureIsLoggedAndTheRunGoesOn() {
    // The controller's listing shows a file it cannot deliver.
    m_engine.reset();
    m_server.reset();
    FtpServerFixture::Options options;
    options.devices = {"h0"};
    options.os9Listing = true;
    options.extraArguments = {"--extra-listing-line",
                              "    0.0    26/12/08 0915   ------wr       1A4       512 h1.dat"};
    m_server = std::make_unique<FtpServerFixture>(options);
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    QDir().mkpath(remote("HARD"));
    m_engine = std::make_unique<TSystemBkup>();
    prepare(data());
    QVERIFY(writeBackup({{"HARD/h1.dat", "new"}}));

    QVERIFY(m_engine->Restore(backup(), kAll));
    const QStringList fails = m_engine->Log.filter("-----> Keep fail /h0/QEL_V4/data/HARD/h1.dat: 550");
    QCOMPARE(fails.size(), 1);
    const qsizetype at = m_engine->Log.indexOf(fails.first());
    QVERIFY(m_engine->Log.value(at + 1).startsWith("o--OS9-R "));
    QCOMPARE(m_engine->Log.value(at + 3), QStringLiteral("Upload success"));
    QCOMPARE(fileBytes(remote("HARD/h1.dat")), QByteArray("new"));
}

void TestSystemBkup::withoutDataFolderOnlyTheControllerIsRestored() {
    // No data folder known: nothing may land in whatever folder is current.
    QVERIFY(writeBackup({{"Option.ini", "opt"}, {"dbase/ApA.db", "ap"}, {"HARD/h.dat", "h"}}));
    QTemporaryDir current;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(current.path());
    prepare(QString());
    const bool restored = m_engine->Restore(backup(), kAll);
    QDir::setCurrent(previous);
    QVERIFY(restored);
    QVERIFY(QDir(current.path()).isEmpty());
    QCOMPARE(m_engine->Log.value(0),
             QStringLiteral("-----> No instrument data folder: PC files are not restored"));
    QVERIFY(m_engine->Log.filter("o--Copy").isEmpty());
    QCOMPARE(fileBytes(remote("HARD/h.dat")), QByteArray("h"));
}

void TestSystemBkup::failedCopyLeavesTheInstrumentFile_data() {
    QTest::addColumn<QString>("fault");
    QTest::newRow("backup file is a dangling link") << "link";
    QTest::newRow("destination is a folder") << "folder";
}

void TestSystemBkup::failedCopyLeavesTheInstrumentFile() {
    QFETCH(QString, fault);
    // The instrument's own file stays as it was and nothing is left beside it.
    QVERIFY(putFile(m_data->filePath("StageLimit.ini"), "instrument's own"));
    if (fault == "link") {
        QVERIFY(QFile::link(m_backup->filePath("gone"), m_backup->filePath("StageLimit.ini")));
    } else {
        QVERIFY(putFile(m_backup->filePath("StageLimit.ini"), "new"));
        QVERIFY(QFile::remove(m_data->filePath("StageLimit.ini")));
        QVERIFY(QDir(data()).mkdir("StageLimit.ini"));
    }
    const auto before = filesBelow(data());

    QVERIFY(m_engine->Restore(backup(), kAll));
    auto after = filesBelow(data());
    after.removeIf([](auto it) { return it.key().startsWith("RestoreReplaced"); });
    QCOMPARE(after, before);
    const int at = int(m_engine->Log.indexOf(QRegularExpression("^o--Copy .*StageLimit.ini$")));
    QVERIFY(at >= 0);
    QCOMPARE(m_engine->Log.value(at + 1), QStringLiteral("-----> Copy fail"));
    const QStringList hidden = QDir(data()).entryList(QStringList{".*"}, QDir::Files | QDir::Hidden);
    QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(", ")));
}

void TestSystemBkup::hostileBackupFolder() {
    // Names with blanks and non-ASCII letters, a linked folder in the backup, and an
    // instrument file that is a link to somewhere else.
    const QString apName = QString::fromUtf8("Ap é ü.db");
    const QString hardName = QString::fromUtf8("naïve file.dat");
    QVERIFY(
        writeBackup({{"dbase/" + apName, "lens"}, {"HARD/" + hardName, "hard"}, {"dbase/ApLink.db", "new"}}));
    QTemporaryDir outside;
    QVERIFY(putFile(outside.filePath("victim"), "outside"));
    QVERIFY(QDir(data()).mkdir("dbase"));
    QVERIFY(QFile::link(outside.filePath("victim"), m_data->filePath("dbase/ApLink.db")));
    QVERIFY(QFile::link(outside.path(), m_backup->filePath("HARD/linked")));

    QVERIFY(m_engine->Restore(backup(), kAll));
    QCOMPARE(fileBytes(m_data->filePath("dbase/" + apName)), QByteArray("lens"));
    QCOMPARE(fileBytes(remote("HARD/" + hardName)), QByteArray("hard"));
    QCOMPARE(fileBytes(outside.filePath("victim")), QByteArray("outside"));
    QVERIFY(!QFileInfo(m_data->filePath("dbase/ApLink.db")).isSymLink());
    QCOMPARE(fileBytes(m_data->filePath("dbase/ApLink.db")), QByteArray("new"));
    QVERIFY(!QFileInfo::exists(remote("HARD/linked")));
    QVERIFY(!QFileInfo::exists(remote("HARD/victim")));
    QVERIFY(m_engine->Log.contains("o--Copy " + m_backup->filePath("dbase/" + apName) + " to " +
                                   m_data->filePath("dbase/" + apName)));
    const QByteArray logFile = fileBytes(m_backup->filePath("Restore.txt"));
    QVERIFY(logFile.contains(hardName.toUtf8()));
}

QTEST_GUILESS_MAIN(TestSystemBkup)
#include "tst_systembkup.moc"
