// The transfer sheets of the main window, run offscreen against a real FTP server on
// loopback that answers LIST the way the controller does.

#include "app/FormInstall.h"
#include "app/StatusBarPanels.h"
#include "common/FtpServerFixture.h"
#include "common/PtyPair.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSupport.h"
#include "console/widgets/ConsoleSheets.h"
#include "support/TQelBtn.h"
#include "transfer/FtpSession.h"
#include "transfer/LocalFolderPanel.h"
#include "transfer/RemoteBrowser.h"
#include "transfer/TransferPanels.h"
#include "transfer/TransferRunner.h"
#include "transfer/TransferSheets.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace vantor;
using namespace vantor::test;

namespace {

// What FTP's ASCII type makes of a text on its way between this machine and the server.
QByteArray asciiToServer(QByteArray bytes) {
    return bytes.replace("\r\n", "\n");
}
QByteArray asciiFromServer(QByteArray bytes) {
    return bytes.replace("\n", "\r\n");
}

// Binary content that ASCII type would visibly change.
QByteArray binaryContent(quint32 seed) {
    return randomBytes(3000, seed) + QByteArray("\r\n\n\r\n");
}

QStringList items(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void selectItems(QListWidget* list, const QStringList& names) {
    list->clearSelection();
    for (int i = 0; i < list->count(); ++i)
        if (names.contains(list->item(i)->text()))
            list->item(i)->setSelected(true);
}

// The offscreen platform says so each time the window's minimum size follows its contents.
QtMessageHandler g_previousHandler = nullptr;
void quietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("does not support propagateSizeHints")))
        return;
    g_previousHandler(type, context, message);
}

const char* kFolderLine = "    0.0    26/12/01 0915   d-ewrewr       1A0       192 ";
const char* kFileLine = "    0.0    26/12/01 0915   ----r-wr       2B4         3 ";

} // namespace

// One main window connected to one server, with a local work folder.
class Rig {
public:
    explicit Rig(FtpServerFixture::Options options = {}) {
        options.devices << QStringLiteral("h0") << QStringLiteral("h1");
        options.os9Listing = true;
        options.extraArguments << QStringLiteral("--command-log") << logPath();
        server = std::make_unique<FtpServerFixture>(options);
    }

    bool start() {
        if (!server->start()) {
            qWarning("%s", qPrintable(server->errorString()));
            return false;
        }
        form = std::make_unique<TFormInstall>();
        form->EditlIPAdrs1->setText(server->host());
        form->EdtInsSystem->setText(local(QStringLiteral("Install/System")));
        form->EdtInsApplication->setText(local(QStringLiteral("Install/Program")));
        form->EdtVerApplication->setText(local(QStringLiteral("VersionUp/Program")));
        form->EdtBackApplication->setText(local(QStringLiteral("Backup")));
        QDir().mkpath(local(QStringLiteral("Backup")));
        sheets = form->transferSheets();
        p = form->transferPanels();
        session = sheets->session();
        session->setPort(server->port());
        form->show();
        return true;
    }

    // Shows a transfer sheet as the engineer's choice of its tab does.
    void showSheet(QWidget* sheet) {
        form->setSheetTabVisible(sheet, true);
        form->PageFTPCtrl->setCurrentWidget(sheet);
    }

    void open() { p->BtnFTPOpen->click(); }

    QString local(const QString& relative) const { return QDir::cleanPath(m_local.filePath(relative)); }
    QString remote(const QString& remotePath) const { return server->localPath(remotePath); }
    QString logPath() const { return m_local.filePath(QStringLiteral("commands.log")); }
    QStringList commands() const {
        return QString::fromUtf8(fileBytes(logPath())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList memoLines() const { return form->MemoFtp->toPlainText().split(QLatin1Char('\n')); }
    QString status() const { return form->StsBar->text(StatusBarPanels::StatusPanel); }

    // The TYPE in force for each STOR or RETR, by the remote path it named.
    QMultiMap<QString, QString> transferTypes(const QString& verb) const {
        QMultiMap<QString, QString> out;
        QString cwd = QStringLiteral("/");
        QString type = QStringLiteral("A");
        for (const QString& line : commands()) {
            const QString arg = line.section(QLatin1Char(' '), 1);
            if (line.startsWith(QLatin1String("CWD "))) {
                if (arg.startsWith(QLatin1Char('/')))
                    cwd = arg;
                else if (arg == QLatin1String(".."))
                    cwd = cwd.section(QLatin1Char('/'), 0, -2).isEmpty()
                              ? QStringLiteral("/")
                              : cwd.section(QLatin1Char('/'), 0, -2);
                else
                    cwd = (cwd.endsWith(QLatin1Char('/')) ? cwd : cwd + QLatin1Char('/')) + arg;
            } else if (line.startsWith(QLatin1String("TYPE "))) {
                type = arg;
            } else if (line.startsWith(verb + QLatin1Char(' '))) {
                out.insert((cwd.endsWith(QLatin1Char('/')) ? cwd : cwd + QLatin1Char('/')) + arg, type);
            }
        }
        return out;
    }

    std::unique_ptr<FtpServerFixture> server;
    std::unique_ptr<TFormInstall> form;
    TransferSheets* sheets = nullptr;
    TransferPanels* p = nullptr;
    FtpSession* session = nullptr;

private:
    QTemporaryDir m_local;
};

class TestTransferSheets : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { g_previousHandler = qInstallMessageHandler(quietOffscreen); }
    void init();
    void cleanup();

    void openListsDeviceAndCloses();
    void refusedLoginLeavesDisconnected();
    void sheetChangeClosesConnection();
    void browsingDownAndUp();
    void typingDeviceSendsOneChangeOfDirectory();
    void installRecreatesTreeByteExact();
    void makeDirOfExistingFolderIsLogged();
    void folderLinkBackIntoTreeIsNotFollowed();
    void versionUpGatesSystemButtonAndSendsAttrBatch();
    void backupOfTreeWithSubFolders();
    void backupOfFolderWithoutSubFolders();
    void copiesToRemote();
    void copiesFromRemote();
    void failedTransferEndsFolderButNotWalk();
    void droppedConnectionEndsRunAndRestoresBar();
    void sheetChangeDuringRunEndsItAndCloses();
    void closingWindowDuringRunEndsItQuietly();
    void freshConnectionSendsTheTypeTheRadioShows();
    void hostileListingNamesStayRemote();
    void deleteFilesAsksFirst();
    void correctedPasswordCountsAtTheNextOpen();
    void installSystemStaysDisabledWithoutItsFolder_data();
    void installSystemStaysDisabledWithoutItsFolder();
    void namesBeginningWithAColonLandInTheChosenFolder();
    void missingBackupFolderIsCreated_data();
    void missingBackupFolderIsCreated();
    void nonAsciiNamesKeepTheirBytes();

private:
    PrompterScope* m_prompts = nullptr;
    QString m_startFolder;
};

void TestTransferSheets::init() {
    m_startFolder = QDir::currentPath();
    m_prompts = new PrompterScope;
}

void TestTransferSheets::cleanup() {
    delete m_prompts;
    m_prompts = nullptr;
    QDir::setCurrent(m_startFolder);
}

void TestTransferSheets::openListsDeviceAndCloses() {
    Rig rig;
    QVERIFY(putFile(rig.remote("/h0/startup"), "x"));
    QDir().mkpath(rig.remote("/h0/QEL_V4"));
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtInstall);
    QDir().mkpath(rig.local("Install/System"));
    rig.form->MemoFtp->setPlainText(QStringLiteral("old text"));

    rig.open();
    QVERIFY(m_prompts->prompter.shown.isEmpty());
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Connected"));
    QVERIFY(rig.p->BtnFTPOpen->isChecked());
    QVERIFY(rig.p->BtnFTPClose->isEnabled());
    QVERIFY(!rig.form->EditlIPAdrs1->isEnabled());
    QVERIFY(rig.p->RdoBinary->isChecked() && rig.p->RdoBinary->isEnabled());
    QVERIFY(!rig.form->MemoFtp->toPlainText().contains(QLatin1String("old text")));
    QCOMPARE(rig.p->LblDstDir3->text(), QStringLiteral("/h0"));
    QCOMPARE(items(rig.p->ListDstDir), QStringList{"QEL_V4"}); // the device root has no ".."
    QCOMPARE(items(rig.p->ListDst), QStringList{"startup"});
    QVERIFY(rig.memoLines().contains(QStringLiteral("ChangeDir success")));
    QVERIFY(rig.memoLines().contains(QStringLiteral("List success")));
    QVERIFY(rig.p->BtnInstallSys->isEnabled());    // Install/System exists
    QVERIFY(!rig.p->BtnInstallAppli->isEnabled()); // Install/Program does not
    QCOMPARE(rig.sheets->localPanel()->folder(), rig.local("Install/System"));
    QCOMPARE(QDir::currentPath(), m_startFolder); // the process's own folder never moves
    QCOMPARE(rig.commands().last(), QStringLiteral("TYPE I"));

    // BINARY again while checked: no TYPE sent.
    const int sent = rig.commands().size();
    rig.p->RdoBinary->click();
    QCOMPARE(rig.commands().size(), sent);
    rig.p->RdoAscii->click();
    QCOMPARE(rig.commands().last(), QStringLiteral("TYPE A"));

    rig.p->BtnFTPClose->click();
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Disconnected"));
    QVERIFY(!rig.p->BtnFTPOpen->isChecked());
    QVERIFY(!rig.p->BtnFTPClose->isChecked() && !rig.p->BtnFTPClose->isEnabled());
    QVERIFY(!rig.p->RdoAscii->isEnabled() && !rig.p->RdoBinary->isEnabled());
    QVERIFY(!rig.p->BtnInstallSys->isEnabled());
    QVERIFY(rig.form->EditlIPAdrs1->isEnabled());
    QCOMPARE(rig.commands().last(), QStringLiteral("QUIT"));
    QVERIFY(m_prompts->prompter.shown.isEmpty());
}

void TestTransferSheets::refusedLoginLeavesDisconnected() {
    FtpServerFixture::Options options;
    options.password = QStringLiteral("other");
    Rig rig(options);
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtInstall);
    rig.open();
    const QStringList errors = m_prompts->prompter.texts("error");
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().startsWith(QLatin1String("530")), qPrintable(errors.first()));
    QCOMPARE(rig.status(), QStringLiteral("Connection Failed"));
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Disconnected"));
    QVERIFY(!rig.p->BtnFTPOpen->isChecked());
    QVERIFY(rig.p->BtnFTPOpen->isEnabled());
    QVERIFY(!rig.p->BtnFTPClose->isEnabled());
    QVERIFY(!rig.p->RdoBinary->isEnabled());
}

void TestTransferSheets::sheetChangeClosesConnection() {
    Rig rig;
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtInstall);
    rig.open();
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Connected"));
    rig.showSheet(rig.form->ShtBackup);
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Disconnected"));
    QVERIFY(!rig.p->BtnFTPOpen->isChecked());
    QCOMPARE(rig.p->PnlBaseFTP->parentWidget(), rig.form->ShtBackup);
    QCOMPARE(rig.p->BtnInstallAppli->text(), QStringLiteral("BackUp Appli."));
    QCOMPARE(rig.commands().last(), QStringLiteral("QUIT"));
}

void TestTransferSheets::browsingDownAndUp() {
    Rig rig;
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/CMDS/tool"), "t"));
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/startup"), "s"));
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtInstall);
    rig.open();
    QListWidget* dirs = rig.p->ListDstDir;
    const auto enter = [&](const QString& name) {
        const QList<QListWidgetItem*> found = dirs->findItems(name, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(name));
        dirs->setCurrentItem(found.first());
        Q_EMIT dirs->itemDoubleClicked(found.first());
    };
    enter("QEL_V4");
    QCOMPARE(rig.p->LblDstDir3->text(), QStringLiteral("/h0/QEL_V4"));
    QCOMPARE(items(dirs), (QStringList{"..", "CMDS"}));
    QCOMPARE(items(rig.p->ListDst), QStringList{"startup"});
    enter("CMDS");
    QCOMPARE(rig.p->LblDstDir3->text(), QStringLiteral("/h0/QEL_V4/CMDS"));
    QCOMPARE(items(rig.p->ListDst), QStringList{"tool"});
    QCOMPARE(rig.sheets->browser()->RemoteLeafName(), QStringLiteral("CMDS"));
    enter("..");
    QCOMPARE(rig.p->LblDstDir3->text(), QStringLiteral("/h0/QEL_V4"));
    enter("..");
    QCOMPARE(rig.p->LblDstDir3->text(), QStringLiteral("/h0"));
    QVERIFY(!items(dirs).contains(QStringLiteral("..")));
    // The header, title and ruler lines are logged but listed nowhere.
    QVERIFY(rig.form->MemoFtp->toPlainText().contains(QLatin1String(" Owner     Last modified")));
    QVERIFY(m_prompts->prompter.shown.isEmpty());
}

void TestTransferSheets::typingDeviceSendsOneChangeOfDirectory() {
    Rig rig;
    QVERIFY(putFile(rig.remote("/h1/onh1"), "1"));
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtInstall);
    rig.open();
    QLineEdit* device = rig.p->EdtDstDrv;
    device->selectAll();
    QTest::keyClicks(device, QStringLiteral("/h"));
    QTest::keyClicks(device, QStringLiteral("1"));
    QCOMPARE(device->text(), QStringLiteral("/h1"));
    const QStringList cwd = rig.commands().filter(QRegularExpression(QStringLiteral("^CWD ")));
    QCOMPARE(cwd, (QStringList{"CWD /h0", "CWD /h1"}));
    QCOMPARE(rig.p->LblDstDir3->text(), QStringLiteral("/h1"));
    QCOMPARE(items(rig.p->ListDst), QStringList{"onh1"});
}

void TestTransferSheets::installRecreatesTreeByteExact() {
    Rig rig;
    QVERIFY(rig.start());
    const QMap<QString, QByteArray> tree{
        {"f1.txt", "line 1\r\nline 2\r\n"}, {"CMDS/tool", binaryContent(1)}, {"A/a.txt", "in A\r\n"},
        {"A/OBJS/o.bin", binaryContent(2)}, {"A/B/b.txt", "in B\r\n"},       {"A/B/b2.txt", "no line end"},
    };
    for (auto it = tree.begin(); it != tree.end(); ++it)
        QVERIFY(putFile(rig.local("Install/System/" + it.key()), it.value()));
    rig.showSheet(rig.form->ShtInstall);
    rig.open();
    const QString startRemote = rig.p->LblDstDir3->text();

    // While the run is under way: the button flashes, the bar is locked, and a second
    // click on the running button is turned back.
    bool seenRunning = false;
    QMetaObject::Connection probe = connect(rig.form->MemoFtp, &QPlainTextEdit::textChanged, this, [&] {
        if (seenRunning || !rig.form->MemoFtp->toPlainText().contains(QLatin1String("Upload : a.txt")))
            return;
        seenRunning = true;
        QVERIFY(rig.p->BtnInstallSys->isFlashing());
        QVERIFY(!rig.p->BtnFTPOpen->isEnabled() && !rig.p->BtnFTPClose->isEnabled());
        QVERIFY(!rig.p->BtnInstallAppli->isEnabled());
        rig.p->BtnInstallSys->click();
        QVERIFY(rig.p->BtnInstallSys->isChecked());
        QVERIFY(rig.sheets->runner()->isRunning());
    });
    rig.p->BtnInstallSys->click();
    disconnect(probe);
    QVERIFY(seenRunning);
    QVERIFY2(m_prompts->prompter.shown.isEmpty(), qPrintable(m_prompts->prompter.texts("error").join('|')));

    const QMultiMap<QString, QString> stored = rig.transferTypes(QStringLiteral("STOR"));
    QCOMPARE(stored.size(), tree.size());
    for (auto it = tree.begin(); it != tree.end(); ++it) {
        const QString remotePath = "/h0/" + it.key();
        QCOMPARE(stored.count(remotePath), 1);
        const bool binary =
            it.key().contains(QLatin1String("CMDS/")) || it.key().contains(QLatin1String("OBJS/"));
        QCOMPARE(stored.value(remotePath), binary ? QStringLiteral("I") : QStringLiteral("A"));
        QCOMPARE(fileBytes(rig.remote(remotePath)), binary ? it.value() : asciiToServer(it.value()));
    }
    // Each "Upload : " line is followed by its result.
    const QStringList lines = rig.memoLines();
    const int upload = lines.indexOf(QStringLiteral("Upload : f1.txt"));
    QVERIFY(upload >= 0);
    QCOMPARE(lines.at(upload + 1), QStringLiteral("Upload success"));

    // Idle again, where it started.
    QVERIFY(!rig.p->BtnInstallSys->isChecked() && !rig.p->BtnInstallSys->isFlashing());
    QVERIFY(rig.p->BtnInstallSys->isEnabled() && rig.p->BtnInstallAppli->isEnabled());
    QVERIFY(rig.p->BtnFTPOpen->isEnabled() && rig.p->BtnFTPClose->isEnabled());
    QCOMPARE(rig.sheets->localPanel()->folder(), rig.local("Install/System"));
    QCOMPARE(QDir::currentPath(), m_startFolder); // the process's own folder never moves
    QCOMPARE(rig.p->LblDstDir3->text(), startRemote);
}

void TestTransferSheets::makeDirOfExistingFolderIsLogged() {
    Rig rig;
    QDir().mkpath(rig.remote("/h0/A"));
    QVERIFY(rig.start());
    QVERIFY(putFile(rig.local("Install/System/A/x"), "x"));
    rig.showSheet(rig.form->ShtInstall);
    rig.open();
    rig.p->BtnInstallSys->click();
    QVERIFY(rig.memoLines().contains(QStringLiteral("MakeDir failure")));
    QCOMPARE(fileBytes(rig.remote("/h0/A/x")), QByteArray("x"));
    QVERIFY(m_prompts->prompter.shown.isEmpty());
}

void TestTransferSheets::folderLinkBackIntoTreeIsNotFollowed() {
    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(putFile(rig.local("Install/System/A/x"), "x"));
    QVERIFY(QFile::link(rig.local("Install/System"), rig.local("Install/System/A/loop")));
    rig.showSheet(rig.form->ShtInstall);
    rig.open();
    rig.p->BtnInstallSys->click();
    QVERIFY(m_prompts->prompter.shown.isEmpty());
    QCOMPARE(fileBytes(rig.remote("/h0/A/x")), QByteArray("x"));
    QVERIFY(rig.form->MemoFtp->toPlainText().contains(QLatin1String("leads back into the tree")));
    QCOMPARE(rig.transferTypes(QStringLiteral("STOR")).size(), 1);
}

void TestTransferSheets::versionUpGatesSystemButtonAndSendsAttrBatch() {
    // The Version Up function leaves the serial console open; the run's last step sends the
    // "Change Attr" batch to it.
    PtyPair line;
    QVERIFY(line.isOpen());
    ComMapping com1(1, line.slavePath());
    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.form->consoles()->openSerialPort());
    QVERIFY(putFile(rig.local("VersionUp/Program/CMDS/app"), binaryContent(3)));
    QDir().mkpath(rig.local("VersionUp/System"));
    QDir().mkpath(rig.local("VersionUp/Other"));
    rig.showSheet(rig.form->ShtVerUp);
    rig.open();
    QVERIFY(!rig.p->BtnInstallSys->isEnabled());
    QVERIFY(rig.p->BtnInstallAppli->isEnabled());
    LocalFolderPanel* local = rig.sheets->localPanel();
    QVERIFY(local->setFolder(rig.local("VersionUp/Other")));
    QVERIFY(!rig.p->BtnInstallSys->isEnabled());
    QVERIFY(local->setFolder(rig.local("VersionUp/System")));
    QVERIFY(rig.p->BtnInstallSys->isEnabled());
    QCOMPARE(rig.p->LblInstDir->text(), QDir::toNativeSeparators(rig.local("VersionUp/System")));

    rig.p->BtnInstallAppli->click();
    QCOMPARE(fileBytes(rig.remote("/h0/CMDS/app")), binaryContent(3));
    const QByteArray attr = "chd /h0/ISP/OBJS\rattr ch* -eperprwpw\rdir ch* -e\rchd /h0/QEL_V4/CMDS\r"
                            "attr * -eperprwpw\rdir -e\r";
    QCOMPARE(line.receive(attr.size(), std::chrono::seconds(5)), attr);
    QVERIFY(m_prompts->prompter.shown.isEmpty());

    // Without a console to send it to, the run says the batch was not sent.
    int batches = 0;
    rig.sheets->setChangeAttrBatch({});
    rig.p->BtnInstallAppli->click();
    QVERIFY(rig.memoLines().contains(QStringLiteral("Change Attr : batch not sent, no console")));
    rig.sheets->setChangeAttrBatch([&] { ++batches; });
    rig.p->BtnInstallAppli->click();
    QCOMPARE(batches, 1);
}

void TestTransferSheets::backupOfTreeWithSubFolders() {
    Rig rig;
    const QMap<QString, QByteArray> tree{
        {"startup", "chd /h0\nstartqel\n"},  {"CMDS/qel", binaryContent(4)}, {"DATA/HARD/hard.dat", "hard\n"},
        {"DATA/MANAGER/m.dat", "manager\n"}, {"RELS/r", binaryContent(5)},
    };
    for (auto it = tree.begin(); it != tree.end(); ++it)
        QVERIFY(putFile(rig.remote("/h0/QEL_V4/" + it.key()), it.value()));
    QDir().mkpath(rig.remote("/h0/QEL_V4/EMPTY"));
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtBackup);
    rig.open();
    QVERIFY(rig.p->BtnInstallAppli->isEnabled());
    rig.p->BtnInstallAppli->click();
    QVERIFY2(m_prompts->prompter.shown.isEmpty(), qPrintable(m_prompts->prompter.texts("error").join('|')));

    for (auto it = tree.begin(); it != tree.end(); ++it) {
        const bool binary =
            it.key().startsWith(QLatin1String("CMDS/")) || it.key().startsWith(QLatin1String("RELS/"));
        QCOMPARE(fileBytes(rig.local("Backup/QEL_V4/" + it.key())),
                 binary ? it.value() : asciiFromServer(it.value()));
    }
    QVERIFY(QDir(rig.local("Backup/QEL_V4/EMPTY")).exists());
    const QMultiMap<QString, QString> fetched = rig.transferTypes(QStringLiteral("RETR"));
    QCOMPARE(fetched.size(), tree.size());
    // Back where it started, on both sides, so the next backup finds the folder again.
    QCOMPARE(rig.sheets->localPanel()->folder(), rig.local("Backup"));
    QCOMPARE(QDir::currentPath(), m_startFolder); // the process's own folder never moves
    QCOMPARE(rig.p->LblDstDir3->text(), QStringLiteral("/h0"));
    rig.p->BtnInstallAppli->click();
    QVERIFY(m_prompts->prompter.shown.isEmpty());
    QCOMPARE(rig.transferTypes(QStringLiteral("RETR")).size(), 2 * tree.size());
}

void TestTransferSheets::backupOfFolderWithoutSubFolders() {
    Rig rig;
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/one"), "1\n"));
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/two"), "2\n"));
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtBackup);
    rig.open();
    rig.p->BtnInstallAppli->click();
    QVERIFY(m_prompts->prompter.shown.isEmpty());
    QCOMPARE(QDir(rig.local("Backup/QEL_V4")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{"one", "two"}));
    const QMultiMap<QString, QString> fetched = rig.transferTypes(QStringLiteral("RETR"));
    QCOMPARE(fetched.keys(), (QStringList{"/h0/QEL_V4/one", "/h0/QEL_V4/two"}));
    QCOMPARE(fileBytes(rig.local("Backup/QEL_V4/one")), QByteArray("1\r\n"));
}

void TestTransferSheets::copiesToRemote() {
    Rig rig;
    QVERIFY(rig.start());
    for (const char* name : {"a", "b", "c"})
        QVERIFY(putFile(rig.local(QStringLiteral("Backup/") + name), binaryContent(name[0])));
    rig.showSheet(rig.form->ShtGet);
    rig.open();
    QVERIFY(rig.p->BtnInstallSys->isEnabled() && rig.p->BtnInstallAppli->isEnabled());
    QCOMPARE(rig.p->BtnInstallSys->text(), QStringLiteral("Copy To   OS9"));

    // Nothing selected: nothing sent.
    rig.p->FileInstall->clearSelection();
    rig.p->BtnInstallSys->click();
    QVERIFY(rig.commands().filter(QRegularExpression("^STOR")).isEmpty());

    // "b" vanished after it was listed: reported, and the copy goes on.
    selectItems(rig.p->FileInstall, {"a", "b", "c"});
    QVERIFY(QFile::remove(rig.local("Backup/b")));
    rig.p->BtnInstallSys->click();
    QCOMPARE(m_prompts->prompter.texts("error"), QStringList{"File: b not found"});
    QCOMPARE(rig.transferTypes(QStringLiteral("STOR")).keys(), (QStringList{"/h0/a", "/h0/c"}));
    QCOMPARE(rig.transferTypes(QStringLiteral("STOR")).values(), (QStringList{"I", "I"}));
    QCOMPARE(fileBytes(rig.remote("/h0/a")), binaryContent('a'));
    QCOMPARE(fileBytes(rig.remote("/h0/c")), binaryContent('c'));
    QVERIFY(items(rig.p->ListDst).contains(QStringLiteral("c")));
}

void TestTransferSheets::copiesFromRemote() {
    Rig rig;
    QVERIFY(putFile(rig.remote("/h0/x"), binaryContent(7)));
    QVERIFY(putFile(rig.remote("/h0/y"), binaryContent(8)));
    QVERIFY(putFile(rig.remote("/h0/z"), "z"));
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtGet);
    rig.open();
    QCOMPARE(rig.p->BtnInstallAppli->text(), QStringLiteral("Copy From OS9"));

    rig.p->ListDst->clearSelection();
    rig.p->BtnInstallAppli->click();
    QVERIFY(rig.commands().filter(QRegularExpression("^RETR")).isEmpty());
    QCOMPARE(items(rig.p->ListDst), (QStringList{"x", "y", "z"}));

    selectItems(rig.p->ListDst, {"x", "y"});
    rig.p->BtnInstallAppli->click();
    QVERIFY(m_prompts->prompter.shown.isEmpty());
    QCOMPARE(fileBytes(rig.local("Backup/x")), binaryContent(7));
    QCOMPARE(fileBytes(rig.local("Backup/y")), binaryContent(8));
    QVERIFY(!QFile::exists(rig.local("Backup/z")));
    QCOMPARE(items(rig.p->FileInstall), (QStringList{"x", "y"}));
}

void TestTransferSheets::failedTransferEndsFolderButNotWalk() {
    FtpServerFixture::Options options;
    options.extraArguments << "--announce-size"
                           << "--stall-after-data"
                           << "slow=1.6";
    Rig rig(options);
    // No line ends, so ASCII type leaves the sizes as announced.
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/A/a1"), "first"));
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/A/slow"), "all there, then nothing"));
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/A/zz"), "after the failure"));
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/B/b1"), "next folder"));
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtBackup);
    rig.open();
    rig.p->BtnInstallAppli->click();
    QCOMPARE(m_prompts->prompter.texts("error"), QStringList{"Can't transfer file"});
    QVERIFY(rig.form->MemoFtp->toPlainText().contains(QLatin1String("FTP Time Out... 23/23")));
    QCOMPARE(fileBytes(rig.local("Backup/QEL_V4/A/a1")), QByteArray("first"));
    QVERIFY(!QFile::exists(rig.local("Backup/QEL_V4/A/zz")));
    QCOMPARE(fileBytes(rig.local("Backup/QEL_V4/B/b1")), QByteArray("next folder"));
    QVERIFY(!rig.p->BtnInstallAppli->isChecked());
}

void TestTransferSheets::droppedConnectionEndsRunAndRestoresBar() {
    Rig rig;
    QVERIFY(rig.start());
    for (const char* name : {"f1", "f2", "f3", "f4"})
        QVERIFY(putFile(rig.local(QStringLiteral("Install/System/") + name), name));
    QVERIFY(putFile(rig.local("Install/System/Sub/s"), "s"));
    rig.showSheet(rig.form->ShtInstall);
    rig.open();
    bool dropped = false;
    connect(rig.form->MemoFtp, &QPlainTextEdit::textChanged, this, [&] {
        if (!dropped && rig.form->MemoFtp->toPlainText().contains(QLatin1String("Upload : f3"))) {
            dropped = true;
            rig.server->stop();
        }
    });
    rig.p->BtnInstallSys->click();
    QVERIFY(dropped);
    QCOMPARE(m_prompts->prompter.texts("error").size(), 1);
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Disconnected"));
    QVERIFY(!rig.p->BtnInstallSys->isChecked() && !rig.p->BtnInstallSys->isFlashing());
    QVERIFY(rig.p->BtnFTPOpen->isEnabled() && !rig.p->BtnFTPOpen->isChecked());
    QVERIFY(!rig.p->BtnFTPClose->isEnabled());
    QVERIFY(!rig.sheets->runner()->isRunning());
    QCOMPARE(rig.sheets->localPanel()->folder(), rig.local("Install/System"));
    QCOMPARE(QDir::currentPath(), m_startFolder); // the process's own folder never moves
    QVERIFY(!QFile::exists(rig.remote("/h0/Sub/s")));
}

void TestTransferSheets::sheetChangeDuringRunEndsItAndCloses() {
    Rig rig;
    QVERIFY(rig.start());
    for (const char* name : {"f1", "f2", "f3"})
        QVERIFY(putFile(rig.local(QStringLiteral("Install/System/") + name), name));
    rig.showSheet(rig.form->ShtInstall);
    rig.open();
    bool changed = false;
    connect(rig.form->MemoFtp, &QPlainTextEdit::textChanged, this, [&] {
        if (!changed && rig.form->MemoFtp->toPlainText().contains(QLatin1String("Upload : f2"))) {
            changed = true;
            rig.showSheet(rig.form->ShtGet);
        }
    });
    rig.p->BtnInstallSys->click();
    QVERIFY(changed);
    QCOMPARE(m_prompts->prompter.texts("error").size(), 1);
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Disconnected"));
    QVERIFY(!rig.p->BtnInstallSys->isChecked() && !rig.p->BtnInstallSys->isFlashing());
    QVERIFY(!rig.p->BtnInstallSys->isEnabled() && !rig.p->BtnInstallAppli->isEnabled());
    QVERIFY(rig.p->BtnFTPOpen->isEnabled() && !rig.p->BtnFTPOpen->isChecked());
    QCOMPARE(rig.commands().filter(QRegularExpression("^STOR")).size(), 1);
    QCOMPARE(rig.commands().last(), QStringLiteral("QUIT"));
    QCOMPARE(rig.p->BtnInstallSys->text(), QStringLiteral("Copy To   OS9"));
}

void TestTransferSheets::closingWindowDuringRunEndsItQuietly() {
    Rig rig;
    QVERIFY(rig.start());
    for (const char* name : {"f1", "f2", "f3"})
        QVERIFY(putFile(rig.local(QStringLiteral("Install/System/") + name), name));
    QVERIFY(putFile(rig.local(QStringLiteral("Install/System/SUB/g")), "g"));
    rig.showSheet(rig.form->ShtInstall);
    rig.open();
    bool closed = false;
    connect(rig.form->MemoFtp, &QPlainTextEdit::textChanged, this, [&] {
        if (!closed && rig.form->MemoFtp->toPlainText().contains(QLatin1String("Upload : f2"))) {
            closed = true;
            rig.form->close();
        }
    });
    rig.p->BtnInstallSys->click();
    QVERIFY(closed);
    // Nothing more is sent once the window is gone, and nobody is asked anything.
    QVERIFY2(m_prompts->prompter.shown.isEmpty(), qPrintable(m_prompts->prompter.texts("error").join('|')));
    QCOMPARE(rig.commands().filter(QRegularExpression("^(STOR f3|MKD)")).size(), 0);
    QCOMPARE(rig.commands().last(), QStringLiteral("QUIT"));
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Disconnected"));
    QVERIFY(!rig.p->BtnInstallSys->isChecked() && !rig.p->BtnInstallSys->isFlashing());
    QVERIFY(!rig.session->isBusy());
}

void TestTransferSheets::freshConnectionSendsTheTypeTheRadioShows() {
    Rig rig;
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtGet);
    rig.open();
    QVERIFY(rig.p->RdoBinary->isChecked());
    rig.p->BtnFTPClose->click();
    // The next opening stops at a device the server refuses: the radio still shows BINARY
    // from the last connection, but this one has not been told yet.
    rig.p->EdtDstDrv->setText(QStringLiteral("/zz"));
    rig.open();
    QCOMPARE(m_prompts->prompter.texts("error").size(), 1);
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Connected"));
    rig.session->checkBinary();
    const QStringList commands = rig.commands();
    const QStringList second = commands.mid(commands.lastIndexOf(QStringLiteral("PASS ******")));
    QCOMPARE(second.filter(QRegularExpression("^TYPE")), QStringList{"TYPE I"});
    rig.session->checkBinary(); // now it has been: nothing more is sent
    QCOMPARE(rig.commands().filter(QRegularExpression("^TYPE")).size(),
             commands.filter(QRegularExpression("^TYPE")).size());
}

void TestTransferSheets::hostileListingNamesStayRemote() {
    FtpServerFixture::Options options;
    for (const char* name : {"..", ".", "a/b", "../up"})
        options.extraArguments << "--extra-listing-line" << QString::fromLatin1(kFolderLine) + name;
    for (const char* name : {"../evil", "a/b", "..", "/abs"})
        options.extraArguments << "--extra-listing-line" << QString::fromLatin1(kFileLine) + name;
    Rig rig(options);
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/good"), "g"));
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/SUB/inner"), "i"));
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtBackup);
    rig.open();
    rig.p->BtnInstallAppli->click();
    QVERIFY2(m_prompts->prompter.shown.isEmpty(), qPrintable(m_prompts->prompter.texts("error").join('|')));
    QCOMPARE(fileBytes(rig.local("Backup/QEL_V4/good")), QByteArray("g"));
    QCOMPARE(fileBytes(rig.local("Backup/QEL_V4/SUB/inner")), QByteArray("i"));
    QCOMPARE(QDir(rig.local("Backup/QEL_V4")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{"good", "SUB"}));
    QCOMPARE(QDir(rig.local("Backup")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"QEL_V4"});
    QVERIFY(!QFile::exists(rig.local("evil")) && !QFile::exists(rig.local("up")));
    const QString log = rig.form->MemoFtp->toPlainText();
    for (const char* name : {"../evil", "a/b", "..", ".", "../up", "/abs"})
        QVERIFY2(log.contains(QStringLiteral("Not copied: \"%1\" is not a plain name").arg(name)), name);
    QVERIFY(rig.commands().filter(QRegularExpression("^RETR .*/")).isEmpty());
}

void TestTransferSheets::correctedPasswordCountsAtTheNextOpen() {
    Rig rig;
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtInstall);
    rig.form->EditPass1->setText(QStringLiteral("wrong"));
    rig.open();
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Disconnected"));
    QCOMPARE(m_prompts->prompter.texts("error").size(), 1);
    rig.form->EditPass1->setText(QStringLiteral("kolm"));
    rig.open();
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Connected"));
    QCOMPARE(m_prompts->prompter.texts("error").size(), 1);
    QCOMPARE(rig.commands().filter(QStringLiteral("PASS")).size(), 2);
}

void TestTransferSheets::installSystemStaysDisabledWithoutItsFolder_data() {
    QTest::addColumn<QString>("sheet");
    QTest::newRow("Version Up") << "ShtVerUp";
    QTest::newRow("Backup") << "ShtBackup";
}

void TestTransferSheets::installSystemStaysDisabledWithoutItsFolder() {
    QFETCH(QString, sheet);
    Rig rig;
    QVERIFY(putFile(rig.local("VersionUp/Program/f"), "f"));
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/b"), "b"));
    QVERIFY(rig.start());
    rig.showSheet(rig.form->PageFTPCtrl->findChild<QWidget*>(sheet));
    rig.open();
    QVERIFY(!rig.p->BtnInstallSys->isEnabled());
    QVERIFY(rig.p->BtnInstallAppli->isEnabled());
    rig.p->BtnInstallAppli->click();
    QVERIFY2(m_prompts->prompter.shown.isEmpty(), qPrintable(m_prompts->prompter.texts("error").join('|')));
    QVERIFY(rig.p->LblInstDir->text().isEmpty());
    QVERIFY(!rig.p->BtnInstallSys->isEnabled());
    QVERIFY(rig.p->BtnInstallAppli->isEnabled());
}

// Qt takes a path beginning with ":" for one of its resources; a controller's file of such
// a name is still a file of the chosen folder.
void TestTransferSheets::namesBeginningWithAColonLandInTheChosenFolder() {
#ifdef Q_OS_WIN
    QSKIP("Windows refuses the colon in file names");
#endif
    Rig rig;
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/:Name"), "colon"));
    QVERIFY(putFile(rig.remote("/h0/QEL_V4/:Dir/inner"), "inner"));
    QVERIFY(rig.start());
    rig.showSheet(rig.form->ShtBackup);
    rig.open();
    rig.p->BtnInstallAppli->click();
    QVERIFY2(m_prompts->prompter.shown.isEmpty(), qPrintable(m_prompts->prompter.texts("error").join('|') +
                                                             m_prompts->prompter.texts("warning").join('|')));
    QCOMPARE(fileBytes(rig.local("Backup/QEL_V4/:Name")), QByteArray("colon"));
    QCOMPARE(fileBytes(rig.local("Backup/QEL_V4/:Dir/inner")), QByteArray("inner"));
}

void TestTransferSheets::missingBackupFolderIsCreated_data() {
    QTest::addColumn<QString>("sheet");
    QTest::newRow("Backup") << "ShtBackup";
    QTest::newRow("File Transfer") << "ShtGet";
}

void TestTransferSheets::missingBackupFolderIsCreated() {
    QFETCH(QString, sheet);
    Rig rig;
    QVERIFY(rig.start());
    const QString backup = rig.local("Fresh/Backup");
    rig.form->EdtBackApplication->setText(QDir::toNativeSeparators(backup));
    rig.showSheet(rig.form->PageFTPCtrl->findChild<QWidget*>(sheet));
    rig.open();
    QCOMPARE(rig.p->LblSts2->text(), QStringLiteral("Connected"));
    QVERIFY(QFileInfo(backup).isDir());
    QVERIFY(rig.p->BtnInstallAppli->isEnabled());
    QCOMPARE(rig.sheets->localPanel()->folder(), QDir::toNativeSeparators(backup));
    QVERIFY(rig.memoLines().contains(QStringLiteral("Folder created : ") + QDir::toNativeSeparators(backup)));
}

// A name goes to the controller as the bytes it has on disk (UTF-8 here), and a name from
// the controller lands as the local name of those bytes, both for files and folders.
void TestTransferSheets::nonAsciiNamesKeepTheirBytes() {
    Rig rig;
    QVERIFY(rig.start());
    QVERIFY(putFile(rig.local(QStringLiteral("Install/System/été.bin")), "up"));
    QVERIFY(putFile(rig.local(QStringLiteral("Install/System/dossier_é/x")), "x"));
    QVERIFY(putFile(rig.remote(QStringLiteral("/h0/QEL_V4/größe.txt")), "down"));
    QVERIFY(putFile(rig.remote(QStringLiteral("/h0/QEL_V4/Ordner_ü/y")), "y"));
    rig.showSheet(rig.form->ShtInstall);
    rig.open();
    rig.p->BtnInstallSys->click();
    QVERIFY2(m_prompts->prompter.shown.isEmpty(), qPrintable(m_prompts->prompter.texts("error").join('|')));
    QCOMPARE(fileBytes(rig.remote(QStringLiteral("/h0/été.bin"))), QByteArray("up"));
    QCOMPARE(fileBytes(rig.remote(QStringLiteral("/h0/dossier_é/x"))), QByteArray("x"));
    QVERIFY(rig.commands().contains(QStringLiteral("STOR été.bin")));

    rig.showSheet(rig.form->ShtBackup);
    rig.open();
    rig.p->BtnInstallAppli->click();
    QVERIFY2(m_prompts->prompter.shown.isEmpty(), qPrintable(m_prompts->prompter.texts("error").join('|')));
    QCOMPARE(fileBytes(rig.local(QStringLiteral("Backup/QEL_V4/größe.txt"))), QByteArray("down"));
    QCOMPARE(fileBytes(rig.local(QStringLiteral("Backup/QEL_V4/Ordner_ü/y"))), QByteArray("y"));
}

void TestTransferSheets::deleteFilesAsksFirst() {
    Rig rig;
    QVERIFY(rig.start());
    for (const char* name : {"d1", "d2", "keep"})
        QVERIFY(putFile(rig.local(QStringLiteral("Backup/") + name), name));
    rig.showSheet(rig.form->ShtGet);
    QVERIFY(rig.sheets->localPanel()->setFolder(rig.local("Backup")));
    QAction* del = rig.p->PopupMenuCom->findChild<QAction*>(QStringLiteral("DelFile"));
    QVERIFY(del);
    QCOMPARE(del->text(), QStringLiteral("Delete Files"));

    selectItems(rig.p->FileInstall, {"d1", "d2"});
    m_prompts->prompter.answers.enqueue(false);
    del->trigger();
    QCOMPARE(m_prompts->prompter.texts("yesno"), QStringList{"Delete selected files ?"});
    QVERIFY(QFile::exists(rig.local("Backup/d1")));

    selectItems(rig.p->FileInstall, {"d1", "d2"});
    m_prompts->prompter.answers.enqueue(true);
    del->trigger();
    QVERIFY(!QFile::exists(rig.local("Backup/d1")) && !QFile::exists(rig.local("Backup/d2")));
    QCOMPARE(items(rig.p->FileInstall), QStringList{"keep"});
    QVERIFY(m_prompts->prompter.texts("error").isEmpty());
}

QTEST_MAIN(TestTransferSheets)
#include "tst_transfersheets.moc"
