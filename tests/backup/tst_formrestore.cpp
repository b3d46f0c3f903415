// The Restore dialog offscreen: its controls, the mask, the folder picker through the
// scripted prompter, and runs against a real FTP server.

#include "backup/BrowseForFolder.h"
#include "backup/FormRestore.h"
#include "backup/RestorePreview.h"
#include "backup/SystemBkup.h"
#include "common/RestoreFixture.h"
#include "common/ScriptedPrompter.h"
#include "ftp/FtpClient.h"
#include "support/TQelBtn.h"
#include "support/TQelGroupBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

using namespace vantor;
using namespace vantor::test;

namespace {

QString text(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w))
        return g->title();
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return e->text();
    return {};
}

bool ticked(const QWidget* w) {
    auto* b = qobject_cast<const QAbstractButton*>(w);
    return b && b->isChecked();
}

// Whether some pixel of the label's picture is drawn.
bool drawn(const QLabel* label) {
    const QImage image = label->pixmap().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}

// Idle: everything enabled but Abort, the start button up and still.
void verifyIdle(const TFormRestore& dialog) {
    QVERIFY(!dialog.isRunning());
    for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w != dialog.BtnAbort)
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(!dialog.BtnAbort->isEnabled());
    QVERIFY(!dialog.QelBtnStartRestore->isChecked());
    QVERIFY(!dialog.QelBtnStartRestore->isFlashing());
}

} // namespace

class TestFormRestore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void controls_data();
    void controls();
    void windowShape();
    void mask_data();
    void mask();
    void folderPicker();
    void pickerRoots_data();
    void pickerRoots();
    void refusedFolder_data();
    void refusedFolder();
    void closeAndCloseButtonAskTheHost();
    void whileRunning();
    void confirmedAbort();
    void everyBoxCleared();
    void previewTouchesNothing();
    void previewOfARefusedFolder();

private:
    void prepareEngine(quint16 port);
    bool prepareRun(ControllerFtp& controller, const BackupFolder& backup);
    void startRun(const QString& folder);

    std::unique_ptr<PrompterScope> m_prompts;
    std::unique_ptr<TFormRestore> m_dialog;
    std::unique_ptr<QTemporaryDir> m_data;
    QList<QObject*> m_closeRequests;
    QList<QObject*> m_beforeRestore;
};

void TestFormRestore::init() {
    m_prompts = std::make_unique<PrompterScope>();
    m_dialog = std::make_unique<TFormRestore>();
    m_data = std::make_unique<QTemporaryDir>();
    m_closeRequests.clear();
    m_beforeRestore.clear();
    m_dialog->OnCloseRequest = [this](QObject* sender) { m_closeRequests << sender; };
    m_dialog->OnBeforeRestore = [this](QObject* sender) { m_beforeRestore << sender; };
    m_dialog->show();
}

void TestFormRestore::cleanup() {
    m_dialog.reset();
    m_data.reset();
    m_prompts.reset();
}

void TestFormRestore::prepareEngine(quint16 port) {
    TSystemBkup& bkup = m_dialog->Bkup();
    bkup.SetHost(QStringLiteral("127.0.0.1"));
    bkup.Ftp().Port = port;
    bkup.SetLocalBase(m_data->path());
    bkup.SetRemoteBase(QStringLiteral("/h0/QEL_V4/data"));
    bkup.LoadPlan(QStringLiteral("SystemBkup.ini"));
}

bool TestFormRestore::prepareRun(ControllerFtp& controller, const BackupFolder& backup) {
    if (!controller.start()) {
        qWarning() << controller.errorString();
        return false;
    }
    prepareEngine(controller.port());
    return backup.isValid();
}

void TestFormRestore::startRun(const QString& folder) {
    m_dialog->EditSourceDir->setText(folder);
    m_dialog->QelBtnStartRestore->click();
}

void TestFormRestore::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("parent");
    QTest::newRow("QelGBfrom") << "QelGBfrom"
                               << "Source Directory" << true << false << "FormRestore";
    QTest::newRow("EditSourceDir") << "EditSourceDir"
                                   << "" << true << false << "QelGBfrom";
    QTest::newRow("BtnBrowse") << "BtnBrowse"
                               << "Select" << true << false << "QelGBfrom";
    QTest::newRow("QelBtnStartRestore") << "QelBtnStartRestore"
                                        << "Start Restore" << true << false << "FormRestore";
    QTest::newRow("QelBtnClose") << "QelBtnClose"
                                 << "Close" << true << false << "FormRestore";
    QTest::newRow("BtnPreview") << "BtnPreview"
                                << "Preview" << true << false << "FormRestore";
    QTest::newRow("BtnAbort") << "BtnAbort"
                              << "Abort" << false << false << "FormRestore";
    QTest::newRow("QelGBDataType") << "QelGBDataType"
                                   << "Data Type" << true << false << "FormRestore";
    QTest::newRow("CBOption") << "CBOption"
                              << "Option" << true << true << "QelGBDataType";
    QTest::newRow("CBColumn") << "CBColumn"
                              << "Column Data" << true << true << "QelGBDataType";
    QTest::newRow("CBLens") << "CBLens"
                            << "Lens  Data" << true << true << "QelGBDataType";
    QTest::newRow("CBStage") << "CBStage"
                             << "Stage Data (Correction , Limit, Exchange Pos., R. Center)" << true << true
                             << "QelGBDataType";
    QTest::newRow("CBIon") << "CBIon"
                           << "Ion Source (Exchange Info., Former Log, Parameter)" << true << true
                           << "QelGBDataType";
    QTest::newRow("CBcurrentIon") << "CBcurrentIon"
                                  << "Current  ion  source  Log." << true << false << "QelGBDataType";
    QTest::newRow("CBOther") << "CBOther"
                             << "Other Info." << true << true << "QelGBDataType";
    QTest::newRow("ImgDn") << "ImgDn"
                           << "" << true << false << "FormRestore";
    QTest::newRow("Image2") << "Image2"
                            << "" << true << false << "FormRestore";
}

void TestFormRestore::controls() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    QFETCH(bool, checked);
    QFETCH(QString, parent);
    auto* w = m_dialog->findChild<QWidget*>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(text(w), caption);
    QCOMPARE(w->isEnabled(), enabled);
    QCOMPARE(ticked(w), checked);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QVERIFY(w->parentWidget()->rect().contains(w->geometry())); // nothing cut off
}

void TestFormRestore::windowShape() {
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Restore"));
    QCOMPARE(m_dialog->size(), QSize(634, 390));
    QCOMPARE(m_dialog->minimumSize(), m_dialog->maximumSize()); // a dialog border: not resizable
    QVERIFY(m_dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!m_dialog->isModal());
    QCOMPARE(m_dialog->font().family(), QStringLiteral("Arial"));
    QVERIFY(drawn(m_dialog->ImgDn));
    QVERIFY(drawn(m_dialog->Image2));
    // "Start Restore" is a toggle of group 1 that a second click releases.
    QCOMPARE(m_dialog->QelBtnStartRestore->groupIndex(), 1);
    QVERIFY(m_dialog->QelBtnStartRestore->allowAllUp());
    QVERIFY(!m_dialog->FolderPicker());
}

void TestFormRestore::mask_data() {
    QTest::addColumn<QStringList>("cleared");
    QTest::addColumn<QStringList>("ticked");
    QTest::addColumn<quint32>("mask");
    const QStringList all{"CBOption", "CBColumn", "CBLens", "CBStage", "CBIon", "CBcurrentIon", "CBOther"};
    QTest::newRow("as shown") << QStringList() << QStringList() << 0x50790000u;
    QTest::newRow("every box") << QStringList() << QStringList{"CBcurrentIon"} << 0x507B0000u;
    QTest::newRow("no box") << all << QStringList() << 0x40000000u;
    QTest::newRow("Option") << all << QStringList{"CBOption"} << 0x40200000u;
    QTest::newRow("Column Data") << all << QStringList{"CBColumn"} << 0x40010000u;
    QTest::newRow("Lens Data") << all << QStringList{"CBLens"} << 0x40400000u;
    QTest::newRow("Stage Data") << all << QStringList{"CBStage"} << 0x40080000u;
    QTest::newRow("Ion Source") << all << QStringList{"CBIon"} << 0x40100000u;
    QTest::newRow("current ion log") << all << QStringList{"CBcurrentIon"} << 0x40020000u;
    QTest::newRow("Other Info.") << all << QStringList{"CBOther"} << 0x50000000u;
}

void TestFormRestore::mask() {
    QFETCH(QStringList, cleared);
    QFETCH(QStringList, ticked);
    QFETCH(quint32, mask);
    for (const QString& name : cleared)
        m_dialog->findChild<QCheckBox*>(name)->setChecked(false);
    for (const QString& name : ticked)
        m_dialog->findChild<QCheckBox*>(name)->click();
    QCOMPARE(m_dialog->RestoreMask(), mask);
}

void TestFormRestore::folderPicker() {
    ScriptedPrompter& prompts = m_prompts->prompter;
    m_dialog->EditSourceDir->setText(QStringLiteral("/backups/before"));
    m_dialog->BtnBrowse->click(); // cancelled: no path queued
    QCOMPARE(m_dialog->EditSourceDir->text(), QStringLiteral("/backups/before"));
    QCOMPARE(prompts.texts("folder"), QStringList{"Select"});
    TBrowseForFolder* picker = m_dialog->FolderPicker();
    QVERIFY(picker);
    QCOMPARE(picker->parent(), static_cast<QObject*>(m_dialog.get()));
    QCOMPARE(picker->FolderName(), QString());

    prompts.paths.enqueue(m_data->path());
    m_dialog->BtnBrowse->click();
    QCOMPARE(m_dialog->FolderPicker(), picker); // made once
    QCOMPARE(m_dialog->EditSourceDir->text(), QDir::toNativeSeparators(m_data->path()));
    QCOMPARE(picker->DisplayName(), QFileInfo(m_data->path()).fileName());

    m_dialog->BtnBrowse->click(); // cancelled again: the last choice stays
    QCOMPARE(picker->FolderName(), QDir::toNativeSeparators(m_data->path()));
    QCOMPARE(m_dialog->EditSourceDir->text(), QDir::toNativeSeparators(m_data->path()));
}

void TestFormRestore::pickerRoots_data() {
    QTest::addColumn<int>("root");
    QTest::addColumn<int>("csidl");
    QTest::addColumn<QString>("folder");
    using L = TBrowseLocation;
    const auto standard = [](QStandardPaths::StandardLocation l) {
        return QStandardPaths::standardLocations(l).value(0);
    };
    QTest::newRow("standard") << int(L::bl_STANDART) << -1 << QString();
    QTest::newRow("desktop") << int(L::bl_DESKTOP) << 0 << standard(QStandardPaths::DesktopLocation);
    QTest::newRow("programs") << int(L::bl_PROGRAMS) << 2 << standard(QStandardPaths::ApplicationsLocation);
    QTest::newRow("printers") << int(L::bl_PRINTERS) << 4 << QString();
    QTest::newRow("personal") << int(L::bl_PERSONAL) << 5 << standard(QStandardPaths::DocumentsLocation);
    QTest::newRow("recycle bin") << int(L::bl_BITBUCKET) << 10 << QString();
    QTest::newRow("start menu") << int(L::bl_STARTMENU) << 11
                                << standard(QStandardPaths::ApplicationsLocation);
    QTest::newRow("desktop folder") << int(L::bl_DESKTOPDIRECTORY) << 16
                                    << standard(QStandardPaths::DesktopLocation);
    QTest::newRow("drives") << int(L::bl_DRIVES) << 17 << QDir::rootPath();
    QTest::newRow("fonts") << int(L::bl_FONTS) << 20 << standard(QStandardPaths::FontsLocation);
    QTest::newRow("application data")
        << int(L::bl_APPDATA) << 26 << standard(QStandardPaths::GenericDataLocation);
    QTest::newRow("print hood") << int(L::bl_PRINTHOOD) << 27 << QString();
}

void TestFormRestore::pickerRoots() {
    QFETCH(int, root);
    QFETCH(int, csidl);
    QFETCH(QString, folder);
    QCOMPARE(TBrowseForFolder::shellFolderId(TBrowseLocation(root)), csidl);
    QCOMPARE(TBrowseForFolder::standardFolder(TBrowseLocation(root)), folder);

    TBrowseForFolder picker(m_dialog.get());
    QCOMPARE(picker.Title(), QStringLiteral("Select"));
    QCOMPARE(picker.Root(), TBrowseLocation::bl_STANDART);
    QCOMPARE(picker.Flags(), TBrowseFlags());
    picker.setFlags(bf_ReturnOnlyFSDIRS | bf_StatusText);
    QCOMPARE(int(picker.Flags()), 5); // the shell's own values
}

void TestFormRestore::refusedFolder_data() {
    QTest::addColumn<QString>("folder");
    QTest::newRow("missing folder") << QStringLiteral("/no/such/backup/folder");
    QTest::newRow("empty field") << QString();
    QTest::newRow("blanks only") << QStringLiteral("   ");
    QTest::newRow("a file") << QStringLiteral("<file>");
}

void TestFormRestore::refusedFolder() {
    QFETCH(QString, folder);
    prepareEngine(1); // nothing may be reached
    if (folder == QStringLiteral("<file>")) {
        folder = m_data->filePath(QStringLiteral("not-a-folder"));
        QVERIFY(putFile(folder, "x"));
    }
    startRun(folder);
    QCOMPARE(m_prompts->prompter.texts("warning"),
             QStringList{"Make sure the directory pass and try again."});
    QCOMPARE(m_beforeRestore, QList<QObject*>{m_dialog->QelBtnStartRestore});
    verifyIdle(*m_dialog);
    QVERIFY(m_closeRequests.isEmpty());
}

void TestFormRestore::closeAndCloseButtonAskTheHost() {
    m_dialog->QelBtnClose->click();
    QCOMPARE(m_closeRequests, QList<QObject*>{m_dialog->QelBtnClose});
    QVERIFY(m_dialog->isVisible()); // the host decides
    QVERIFY(m_dialog->close());
    QCOMPARE(m_closeRequests.size(), 2);
    QVERIFY(!m_dialog->isVisible());
    m_dialog->show();
    QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
    QCOMPARE(m_closeRequests.size(), 3);
}

void TestFormRestore::whileRunning() {
    ControllerFtp controller;
    BackupFolder backup;
    QVERIFY(prepareRun(controller, backup));

    // Looked at from inside the run, at its first wait for the controller.
    bool looked = false;
    m_dialog->OnBeforeRestore = [&](QObject*) {
        QTimer::singleShot(0, m_dialog.get(), [&] {
            looked = true;
            QVERIFY(m_dialog->isRunning());
            for (QWidget* w : m_dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                QCOMPARE(w->isEnabled(), w == m_dialog->BtnAbort);
            QVERIFY(m_dialog->QelBtnStartRestore->isChecked());
            QVERIFY(m_dialog->QelBtnStartRestore->isFlashing());
            QVERIFY(!m_dialog->close()); // the close box does nothing
            QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
            QVERIFY(m_dialog->isVisible());
            m_prompts->prompter.answers.enqueue(false); // Cancel: the restore goes on
            m_dialog->BtnAbort->click();
        });
    };
    startRun(backup.path());
    QVERIFY(looked);
    QCOMPARE(m_prompts->prompter.texts("okcancel"), QStringList{"Really abort Restore ?"});
    QVERIFY(m_prompts->prompter.texts("warning").isEmpty());
    QVERIFY(m_closeRequests.isEmpty());
    verifyIdle(*m_dialog);
    // The run went on to its end: every file in its place, the log written.
    QCOMPARE(fileBytes(controller.local("data/STAGE2/s2")), backup.files().value("STAGE2/s2"));
    QCOMPARE(fileBytes(m_data->filePath("dbase/ApCtrl30kV.db")), backup.files().value("dbase/ApCtrl30kV.db"));
    QVERIFY(QFileInfo::exists(backup.restoreLog()));
}

void TestFormRestore::confirmedAbort() {
    ControllerFtp controller;
    BackupFolder backup;
    QVERIFY(prepareRun(controller, backup));
    m_dialog->OnBeforeRestore = [&](QObject*) {
        QTimer::singleShot(0, m_dialog.get(), [&] {
            m_prompts->prompter.answers.enqueue(true);
            m_dialog->BtnAbort->click();
        });
    };
    startRun(backup.path());
    // Handed back at once; the run stopped before its next upload, with no message.
    QCOMPARE(m_closeRequests, QList<QObject*>{m_dialog->BtnAbort});
    QVERIFY(m_dialog->Bkup().Abort);
    QVERIFY(m_prompts->prompter.texts("warning").isEmpty());
    QVERIFY(!QFileInfo::exists(backup.restoreLog()));
    QVERIFY(!QFileInfo::exists(controller.local("data/STAGE2/s2")));
    verifyIdle(*m_dialog);
}

void TestFormRestore::everyBoxCleared() {
    ControllerFtp controller;
    BackupFolder backup;
    QVERIFY(prepareRun(controller, backup));
    for (QCheckBox* box : m_dialog->QelGBDataType->findChildren<QCheckBox*>())
        box->setChecked(false);
    QCOMPARE(m_dialog->RestoreMask(), 0x40000000u);
    startRun(backup.path());
    QVERIFY(m_prompts->prompter.texts("warning").isEmpty());

    // Every entry is claimed and ignored: nothing copied, nothing uploaded, the log lists it.
    const QStringList lines = backup.restoreLines();
    QVERIFY(!lines.isEmpty());
    QStringList ignored;
    for (const QString& line : lines) {
        QVERIFY2(!line.startsWith(QStringLiteral("o--")), qPrintable(line));
        if (line.startsWith(QStringLiteral("x--")))
            ignored << line;
    }
    const QString sep = QDir::separator();
    QVERIFY(ignored.contains(QStringLiteral("x--Copy(ignored) ") + backup.path() + sep + "IonSource.ini to " +
                             QDir::toNativeSeparators(m_data->path()) + sep + "IonSource.ini"));
    QVERIFY(ignored.contains(QStringLiteral("x--Copy OS9(ignored) ") + backup.path() + sep + "ionlog" + sep +
                             "/Memory.ion"));
    QCOMPARE(QDir(m_data->path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
             QStringList{"SystemBkup.ini"});
    QVERIFY(!QFileInfo::exists(controller.local("data/HARD/h1.dat")));
}

void TestFormRestore::previewTouchesNothing() {
    ControllerFtp controller;
    BackupFolder backup;
    QVERIFY(prepareRun(controller, backup));
    QVERIFY(putFile(m_data->filePath("IonSource.ini"), "the instrument's own"));
    QVERIFY(putFile(controller.local("data/HARD/h1.dat"), "the controller's own"));
    const QString remoteRoot = controller.local(QString());
    const auto pcBefore = filesBelow(m_data->path());
    const auto remoteBefore = filesBelow(remoteRoot);
    const auto backupBefore = filesBelow(backup.path());

    m_dialog->EditSourceDir->setText(backup.path());
    m_dialog->BtnPreview->click();
    QVERIFY(m_prompts->prompter.shown.isEmpty());
    TRestorePreview* preview = m_dialog->PreviewWindow();
    QVERIFY(preview && preview->isVisible());
    const QStringList lines = preview->lines();
    QCOMPARE(preview->MemoPreview->toPlainText(), lines.join('\n'));
    const auto line = [&](const QString& start, const QString& name) {
        for (const QString& l : lines)
            if (l.startsWith(start) && l.contains(name))
                return l;
        return QString();
    };
    QVERIFY2(line("Copy ", "IonSource.ini").endsWith("(replaces the existing file)"),
             qPrintable(lines.join('\n')));
    QVERIFY(line("Copy ", "ApCtrl30kV.db").endsWith("(new file)"));
    QVERIFY(line("Upload ", "h1.dat").endsWith("(replaces the controller's file)"));
    QVERIFY(line("Upload ", "s2").endsWith("(new on the controller)"));
    QVERIFY(preview->LblSummary->text().contains(QStringLiteral("Nothing has been copied")));

    // Nothing anywhere changed, not even a log in the backup folder.
    QCOMPARE(filesBelow(m_data->path()), pcBefore);
    QCOMPARE(filesBelow(remoteRoot), remoteBefore);
    QCOMPARE(filesBelow(backup.path()), backupBefore);
    verifyIdle(*m_dialog);

    // Saved as the engineer reads it; a file there is replaced only when the engineer agrees.
    QTemporaryDir saves;
    const QString saved = saves.filePath("preview.txt");
    m_prompts->prompter.paths.enqueue(saved);
    preview->BtnSave->click();
    QCOMPARE(fileBytes(saved), (lines.join("\r\n") + "\r\n").toUtf8());
    QVERIFY(putFile(saved, "keep me"));
    m_prompts->prompter.paths.enqueue(saved);
    m_prompts->prompter.answers.enqueue(false);
    preview->BtnSave->click();
    QCOMPARE(fileBytes(saved), QByteArray("keep me"));
    QCOMPARE(m_prompts->prompter.texts("okcancel"), QStringList{TRestorePreview::overwriteQuestion(saved)});
}

void TestFormRestore::previewOfARefusedFolder() {
    prepareEngine(1);
    m_dialog->EditSourceDir->setText(QStringLiteral("/no/such/backup"));
    m_dialog->BtnPreview->click();
    QCOMPARE(m_prompts->prompter.texts("warning"),
             QStringList{"Make sure the directory pass and try again."});
    QVERIFY(!m_dialog->PreviewWindow());
    verifyIdle(*m_dialog);
}

QTEST_MAIN(TestFormRestore)
#include "tst_formrestore.moc"
