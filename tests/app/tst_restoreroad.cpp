// The whole road of a restore offscreen: the Function page's "Restore Data" against a real FTP
// server, a scripted telnet peer and a pseudo-terminal for the serial line, through the
// Restore dialog and back to the main window.

#include "app/FormInstall.h"
#include "app/FunctionSheet.h"
#include "app/RadioGroup.h"
#include "app/RestorePreparation.h"
#include "app/StatusBarPanels.h"
#include "backup/FormRestore.h"
#include "backup/SystemBkup.h"
#include "common/FakePeer.h"
#include "common/InstrumentFolders.h"
#include "common/PtyPair.h"
#include "common/RestoreFixture.h"
#include "common/ScriptedPrompter.h"
#include "console/engine/TelnetSession.h"
#include "console/widgets/ConsoleSheets.h"
#include "console/widgets/TelnetConsole.h"
#include "console/widgets/TerminalView.h"
#include "support/TQelBtn.h"
#include "transfer/Os9Module.h"
#include "transfer/TransferPanels.h"

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

using namespace vantor;
using namespace vantor::test;
using namespace std::chrono_literals;

namespace {

// Sets an environment variable for the lifetime of the object.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_previous(qgetenv(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvironmentValue() {
        if (m_had)
            qputenv(m_name, m_previous);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_previous;
};

// The main window and the Restore dialog as the program has them, with the controller's
// three ways in: FTP (pyftpdlib), telnet (a scripted peer) and the serial line (a pty).
struct Rig {
    explicit Rig(quint16 ftpPort, bool telnetPrompts = true)
        : com(1, pty.slavePath()), ftpPortVariable("VANTOR_FTP_PORT", QByteArray::number(ftpPort)) {
        telnet.onConnection = [telnetPrompts](FakeConnection& c) {
            if (telnetPrompts)
                c.send("OS-9/68K V3.0\r\nUser name?: ");
        };
        telnet.onLine = [](FakeConnection& c, const QByteArray& line) {
            if (line.endsWith("super"))
                c.send("Password: ");
            else if (line.endsWith("kolm"))
                c.send("$ ");
        };
        form = std::make_unique<TFormInstall>();
        dialog = std::make_unique<TFormRestore>(form.get());
        form->setRestoreDialog(dialog.get());
        form->consoles()->telnet().setPort(telnet.port());
        form->EditlIPAdrs1->setText(QStringLiteral("127.0.0.1"));
        form->show();
    }

    void chooseRestoreData() {
        form->functionSheet()->rbQEL->click();
        form->functionSheet()->RGConfirm->button(0)->click();
        form->functionSheet()->RdoFunction->button(2)->click();
    }
    QString ftpLog() const { return form->MemoFtp->toPlainText(); }
    QStringList terminalLines() const { return form->consoles()->telnet().MemoTelnet->text().lines(); }
    RestorePreparation& preparation() const { return *form->restorePreparation(); }
    QByteArray heardOnTelnet() const {
        QByteArray all;
        for (const FakeConnection* c : telnet.connections())
            all += c->received();
        return all;
    }
    // Reads what the peer was sent so far without the event loop: the bytes are already
    // with the operating system when the program says it sent them.
    QByteArray waitHeard(const QByteArray& expected, int limitMs = 3000) {
        QDeadlineTimer deadline(limitMs);
        FakeConnection* c = telnet.connections().isEmpty() ? nullptr : telnet.connections().last();
        while (c && !c->received().contains(expected) && !deadline.hasExpired())
            c->socket()->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        return c ? c->received() : QByteArray();
    }

    PrompterScope prompts;
    InstrumentFolders folders;
    PtyPair pty;
    ComMapping com;
    EnvironmentValue ftpPortVariable;
    FakePeer telnet;
    std::unique_ptr<TFormInstall> form;
    std::unique_ptr<TFormRestore> dialog;
};

void verifyResetFunctionPage(const TFormInstall& form) {
    QVERIFY(form.isVisible());
    QCOMPARE(form.PageFTPCtrl->currentWidget(), form.ShtEntry);
    QVERIFY(form.visibleTabCaptions().isEmpty());
    QCOMPARE(form.StsBar->text(StatusBarPanels::MachinePanel), QString());
    QCOMPARE(form.functionSheet()->RdoFunction->itemIndex(), -1);
    QVERIFY(!form.functionSheet()->RdoFunction->isEnabled());
    QVERIFY(!form.functionSheet()->rbQEL->isChecked());
}

} // namespace

class TestRestoreRoad : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void wholeRoad_data();
    void wholeRoad();
    void telnetLoginNeverCompletes();
    void refusedModuleUpload();
    void unreachableController();
    void closedWhilePreparing();
    void localDataFolder_data();
    void localDataFolder();
};

void TestRestoreRoad::wholeRoad_data() {
    QTest::addColumn<QString>("drive");
    QTest::addColumn<QString>("path");
    QTest::newRow("defaults") << "/h0"
                              << "QEL_V4";
    QTest::newRow("/h1 and APP") << "/h1"
                                 << "APP";
}

void TestRestoreRoad::wholeRoad() {
    QFETCH(QString, drive);
    QFETCH(QString, path);
    ControllerFtp controller(drive.mid(1), path);
    QVERIFY2(controller.start(), qPrintable(controller.errorString()));
    Rig rig(controller.port());
    QVERIFY(rig.pty.isOpen());
    rig.form->transferPanels()->EdtDstDrv->setText(drive);
    rig.form->transferPanels()->EdtDstPath->setText(path);
    const QString cmds = drive + QLatin1Char('/') + path + QStringLiteral("/cmds");

    rig.chooseRestoreData();

    // Ctrl-C on the serial line; the dialog shown beside a hidden main window.
    QCOMPARE(rig.pty.receive(1, 3s), QByteArray("\x03"));
    QVERIFY(!rig.form->isVisible());
    QVERIFY(rig.dialog->isVisible());
    QVERIFY(!rig.dialog->isModal());
    QVERIFY2(rig.prompts.prompter.shown.isEmpty(), qPrintable(rig.prompts.prompter.shown.value(0).text));

    // The engine pointed at the controller and the instrument's data folder.
    TSystemBkup& bkup = rig.dialog->Bkup();
    QCOMPARE(bkup.RemoteBase(), drive + QLatin1Char('/') + path + QStringLiteral("/data/"));
    QCOMPARE(bkup.LocalBase(), QDir::toNativeSeparators(rig.folders.root() + "/Data/"));
    QVERIFY(QFileInfo::exists(rig.folders.dataFile("SystemBkup.ini")));

    // The module on the controller, whole and valid, and named in the FTP log.
    const QByteArray uploaded = fileBytes(controller.local("cmds/ionkill"));
    QCOMPARE(uploaded.size(), 17738);
    QCOMPARE(uploaded.left(4), QByteArray::fromHex("4AFC0001"));
    const std::vector<std::uint8_t> bytes(uploaded.begin(), uploaded.end());
    QCOMPARE(QString::fromStdString(os9::checkProgramModule(bytes, "ionkill")), QString());
    QVERIFY2(
        rig.ftpLog().contains(QStringLiteral("ionkill uploaded to %1 (ionkill edition 7, 17738 bytes: the "
                                             "built-in stand-in, which stops nothing)")
                                  .arg(cmds)),
        qPrintable(rig.ftpLog()));

    // Its local copy in a folder of its own that nobody else may enter.
    const QString local = rig.preparation().localModuleFile();
    QVERIFY(!local.isEmpty());
    QCOMPARE(fileBytes(local), uploaded);
    const QString localFolder = QFileInfo(local).absolutePath();
    QVERIFY(localFolder != QDir::tempPath());
#ifdef Q_OS_UNIX
    QCOMPARE(QFile::permissions(localFolder) & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther |
                                                QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup),
             QFileDevice::Permissions());
#endif

    // Logged in over telnet with the settings' user and password.
    QVERIFY(rig.form->consoles()->telnet().TelnetLoggedIn());
    QTRY_VERIFY_WITH_TIMEOUT(rig.heardOnTelnet().startsWith("super\r\nkolm\r\n"), 3000);

    // Start: the two lines are with the controller before the first file is copied.
    BackupFolder backup;
    QVERIFY(backup.isValid());
    rig.dialog->EditSourceDir->setText(backup.path());
    const QByteArray lines =
        QString(QStringLiteral("attr %1/ionkill -e -pe\r\n%1/ionkill\r\n").arg(cmds)).toLatin1();
    QByteArray heardAtStart;
    bool copiedBeforeStart = true;
    const TFormRestore::TNotifyEvent runIonKill = rig.dialog->OnBeforeRestore;
    QVERIFY(runIonKill);
    rig.dialog->OnBeforeRestore = [&](QObject* sender) {
        runIonKill(sender);
        heardAtStart = rig.waitHeard(lines);
        copiedBeforeStart = QFileInfo::exists(rig.folders.dataFile("IonSource.ini"));
    };
    rig.dialog->QelBtnStartRestore->click();
    QVERIFY2(heardAtStart.endsWith(lines), heardAtStart.constData());
    QVERIFY(!copiedBeforeStart);

    // The restore ran: the PC and the controller have their files, the log has no warning.
    QVERIFY(rig.prompts.prompter.texts("warning").isEmpty());
    QCOMPARE(fileBytes(rig.folders.dataFile("IonSource.ini")), backup.files().value("IonSource.ini"));
    QCOMPARE(fileBytes(rig.folders.dataFile("dbase/ApCtrl30kV.db")),
             backup.files().value("dbase/ApCtrl30kV.db"));
    QCOMPARE(fileBytes(controller.local("data/HARD/h1.dat")), backup.files().value("HARD/h1.dat"));
    QCOMPARE(fileBytes(controller.local("data/ionlog/Memory.ion")),
             backup.files().value("ionlog/Memory.ion"));
    QVERIFY(!backup.restoreLines().isEmpty());
    QVERIFY(backup.restoreLines().first() != RestorePreparation::notStoppedLine());

    // Closing: the local module and its folder go, the main window comes back reset.
    rig.dialog->QelBtnClose->click();
    QVERIFY(!rig.dialog->isVisible());
    QVERIFY(!QFileInfo::exists(local));
    QVERIFY(!QFileInfo::exists(localFolder));
    QCOMPARE(rig.preparation().localModuleFile(), QString());
    verifyResetFunctionPage(*rig.form);
}

void TestRestoreRoad::telnetLoginNeverCompletes() {
    ControllerFtp controller;
    QVERIFY2(controller.start(), qPrintable(controller.errorString()));
    Rig rig(controller.port(), false); // the peer takes the connection and says nothing
    rig.form->consoles()->telnet().session().client().setConnectTimeout(1500ms);
    QElapsedTimer clock;
    clock.start();
    rig.chooseRestoreData();
    QVERIFY(clock.elapsed() < 10000);

    const QString said = QStringLiteral("Telnet login to 127.0.0.1 did not complete: ionkill cannot be run, "
                                        "the ion beam will not be stopped.");
    QVERIFY2(rig.terminalLines().contains(said), qPrintable(rig.terminalLines().join('\n')));
    QVERIFY2(rig.ftpLog().contains(said), qPrintable(rig.ftpLog()));
    QVERIFY(rig.dialog->isVisible());
    QVERIFY(rig.dialog->QelBtnStartRestore->isEnabled());

    // A restore started anyway says in its first line that nothing stopped the beam.
    BackupFolder backup;
    QVERIFY(backup.isValid());
    rig.dialog->EditSourceDir->setText(backup.path());
    rig.dialog->QelBtnStartRestore->click();
    QCOMPARE(backup.restoreLines().value(0), RestorePreparation::notStoppedLine());
    QCOMPARE(rig.heardOnTelnet(), QByteArray());
    QVERIFY(rig.ftpLog().contains(RestorePreparation::notStoppedLine()));

    // The next run with a login gets no such line.
    rig.dialog->close();
    verifyResetFunctionPage(*rig.form);
}

void TestRestoreRoad::refusedModuleUpload() {
    ControllerFtp controller(QStringLiteral("h0"), QStringLiteral("QEL_V4"), false); // no cmds folder
    QVERIFY2(controller.start(), qPrintable(controller.errorString()));
    Rig rig(controller.port());
    rig.chooseRestoreData();
    QVERIFY2(rig.ftpLog().contains(QStringLiteral("ionkill upload to /h0/QEL_V4/cmds refused: ")),
             qPrintable(rig.ftpLog()));
    QVERIFY(!rig.ftpLog().contains(QStringLiteral("ionkill uploaded")));
    // The preparation goes on: the telnet login is made.
    QVERIFY(rig.form->consoles()->telnet().TelnetLoggedIn());
    rig.dialog->close();
    verifyResetFunctionPage(*rig.form);
}

void TestRestoreRoad::unreachableController() {
    Rig rig(closedPort());
    rig.chooseRestoreData();
    QVERIFY2(
        rig.ftpLog().contains(QStringLiteral(
            "Restore: cannot connect to 127.0.0.1; ionkill was not uploaded and no telnet login was made.")),
        qPrintable(rig.ftpLog()));
    QCOMPARE(rig.preparation().localModuleFile(), QString());
    QVERIFY(rig.telnet.connections().isEmpty());
    QVERIFY(rig.dialog->isVisible());
    rig.dialog->close();
    verifyResetFunctionPage(*rig.form);
}

void TestRestoreRoad::closedWhilePreparing() {
    ControllerFtp controller;
    QVERIFY2(controller.start(), qPrintable(controller.errorString()));
    Rig rig(controller.port());
    // Closed during the second the serial line is given.
    QTimer::singleShot(200, rig.dialog.get(), [&] {
        QVERIFY(!rig.form->isVisible()); // not back before the preparation has ended
        rig.dialog->close();
        QVERIFY(!rig.form->isVisible());
    });
    rig.chooseRestoreData();
    QVERIFY(!rig.dialog->isVisible());
    QVERIFY(!QFileInfo::exists(controller.local("cmds/ionkill")));
    QCOMPARE(rig.preparation().localModuleFile(), QString());
    QVERIFY(rig.telnet.connections().isEmpty());
    verifyResetFunctionPage(*rig.form);
}

void TestRestoreRoad::localDataFolder_data() {
    QTest::addColumn<QString>("variable"); // QelDataPath: "<other>" an absolute folder
    QTest::addColumn<bool>("moveCurrentFolder");
    QTest::addColumn<bool>("other");
    QTest::newRow("no variable") << QString() << false << false;
    QTest::newRow("current folder moved") << QString() << true << false;
    QTest::newRow("absolute variable") << "<other>" << true << true;
}

void TestRestoreRoad::localDataFolder() {
    QFETCH(QString, variable);
    QFETCH(bool, moveCurrentFolder);
    QFETCH(bool, other);
    ControllerFtp controller;
    QVERIFY2(controller.start(), qPrintable(controller.errorString()));
    Rig rig(controller.port());
    QTemporaryDir elsewhere;
    const QString otherData = QDir::toNativeSeparators(elsewhere.filePath(QStringLiteral("OtherData")));
    QVERIFY(QDir().mkpath(otherData));
    std::unique_ptr<EnvironmentValue> value;
    if (!variable.isEmpty())
        value = std::make_unique<EnvironmentValue>("QelDataPath", otherData.toLocal8Bit());
    const QString before = QDir::currentPath();
    if (moveCurrentFolder) // as the local folder panel did before
        QDir::setCurrent(elsewhere.path());
    rig.chooseRestoreData();
    QDir::setCurrent(before);
    const QString expected =
        other ? otherData + QDir::separator() : QDir::toNativeSeparators(rig.folders.root() + "/Data/");
    QCOMPARE(rig.dialog->Bkup().LocalBase(), expected);
    QVERIFY(QFileInfo::exists(expected + QStringLiteral("SystemBkup.ini")));
    rig.dialog->close();
}

QTEST_MAIN(TestRestoreRoad)
#include "tst_restoreroad.moc"
