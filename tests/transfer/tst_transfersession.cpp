// The FTP session of the transfer sheets against a scripted server, for the timings and
// replies a real server does not give on demand.

#include "common/ScriptedFtpServer.h"
#include "common/ScriptedPrompter.h"
#include "support/TQelBtn.h"
#include "support/Wait.h"
#include "transfer/FtpBarView.h"
#include "transfer/FtpSession.h"
#include "transfer/TransferPanels.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace vantor;
using namespace vantor::test;

namespace {

// The FTP bar and the window parts the session reports to.
struct Bar {
    QWidget sheet;
    TransferPanels panels{&sheet};
    QPlainTextEdit memo;
    QLabel status;
    QLabel progress;
    QLineEdit address{QStringLiteral("127.0.0.1")};
    QLineEdit user{QStringLiteral("super")};
    QLineEdit password{QStringLiteral("kolm")};
    FtpSession::BorrowedControls controls{&panels, &memo, &status, &progress, &address, &user, &password};
    FtpSession session{controls};
    FtpBarView view{session, controls};
};

} // namespace

class TestTransferSession : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void checkTimerNeverFailsTheNextTransfer();
    void checkTimerFailsATransferThatHangsAfterItsData();
    void status530ShowsTheBox();
    void closeDuringTransferEndsItAtOnce();
    void noticesOfAnOpening_data();
    void noticesOfAnOpening();
    void viewFollowsTheNotices_data();
    void viewFollowsTheNotices();
    void viewShowsTheReportedTexts();

private:
    PrompterScope* m_prompts = nullptr;
    QTemporaryDir m_dir;
    QString m_startFolder;
};

void TestTransferSession::init() {
    m_startFolder = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    m_prompts = new PrompterScope;
}

void TestTransferSession::cleanup() {
    delete m_prompts;
    QDir::setCurrent(m_startFolder);
}

void TestTransferSession::checkTimerNeverFailsTheNextTransfer() {
    ScriptedFtpServer ftp;
    ftp.answer("RETR", [&](const QByteArray&) {
        ftp.reply("150 Opening data connection (5 bytes)");
        ftp.sendData("abcde", "226 Transfer complete");
    });
    // The upload's completion comes well after the download's check timer would fire.
    ftp.answer("STOR", [&](const QByteArray&) {
        ftp.reply("150 Ok to send data");
        ftp.receiveData("226 Transfer complete", 1600);
    });
    Bar bar;
    bar.session.setPort(ftp.peer.port());
    QFile up(QStringLiteral("up"));
    QVERIFY(up.open(QIODevice::WriteOnly) && up.write("payload") == 7);
    up.close();
    bar.panels.BtnFTPOpen->click();
    QCOMPARE(bar.panels.LblSts2->text(), QStringLiteral("Connected"));

    bool downloaded = false;
    bool uploaded = false;
    QVERIFY(bar.session.runExclusive([&] {
        bar.session.DownloadAndWait(QStringLiteral("down"), m_dir.path());
        downloaded = bar.session.CheckTransferOk();
        bar.session.UploadAndWait(m_dir.filePath(QStringLiteral("up")));
        uploaded = bar.session.CheckTransferOk();
    }));
    QVERIFY(downloaded);
    QVERIFY(uploaded);
    QCOMPARE(bar.session.TransferCounter(), 2);
    QVERIFY(!bar.memo.toPlainText().contains(QLatin1String("FTP Time Out")));
    QVERIFY(m_prompts->prompter.shown.isEmpty());
}

void TestTransferSession::checkTimerFailsATransferThatHangsAfterItsData() {
    ScriptedFtpServer ftp;
    ftp.answer("RETR", [&](const QByteArray&) {
        ftp.reply("150 Opening data connection (5 bytes)");
        ftp.sendData("abcde", "226 Transfer complete", 1600);
    });
    Bar bar;
    bar.session.setPort(ftp.peer.port());
    bar.panels.BtnFTPOpen->click();
    bool ok = true;
    QVERIFY(bar.session.runExclusive([&] {
        bar.session.DownloadAndWait(QStringLiteral("hang"), m_dir.path());
        ok = bar.session.CheckTransferOk();
    }));
    QVERIFY(!ok);
    QCOMPARE(m_prompts->prompter.texts("error"), QStringList{"Can't transfer file"});
    QVERIFY(bar.memo.toPlainText().contains(QLatin1String("FTP Time Out... 5/5")));
    QVERIFY(bar.progress.text().isEmpty());
}

void TestTransferSession::status530ShowsTheBox() {
    ScriptedFtpServer ftp;
    ftp.passReply = "530 Login incorrect";
    Bar bar;
    bar.session.setPort(ftp.peer.port());
    bar.session.setReportLevel(1); // protocol traffic reaches the status panel
    bar.panels.BtnFTPOpen->click();
    QVERIFY(!m_prompts->prompter.texts("warning").isEmpty());
    QCOMPARE(m_prompts->prompter.texts("warning").first(), QStringLiteral("Requested action not taken"));
    QCOMPARE(m_prompts->prompter.texts("error").size(), 1);
    QCOMPARE(bar.panels.LblSts2->text(), QStringLiteral("Disconnected"));
    QVERIFY(!bar.panels.BtnFTPOpen->isChecked());
}

void TestTransferSession::closeDuringTransferEndsItAtOnce() {
    ScriptedFtpServer ftp;
    ftp.answer("STOR", [&](const QByteArray&) {
        ftp.reply("150 Ok to send data");
        ftp.receiveData("226 Transfer complete", 60000); // the completion would come much later
    });
    Bar bar;
    bar.session.setPort(ftp.peer.port());
    QFile up(QStringLiteral("up"));
    QVERIFY(up.open(QIODevice::WriteOnly) && up.write("payload") == 7);
    up.close();
    bar.panels.BtnFTPOpen->click();
    QTimer::singleShot(300, &bar.session, [&] { bar.session.BtnFTPCloseClick(); });
    QElapsedTimer clock;
    clock.start();
    QString error;
    try {
        bar.session.runExclusive([&] { bar.session.UploadAndWait(m_dir.filePath(QStringLiteral("up"))); });
    } catch (const Error& e) {
        error = e.message();
    }
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(!error.isEmpty());
    QVERIFY(!bar.session.isConnected());
    QCOMPARE(bar.panels.LblSts2->text(), QStringLiteral("Disconnected"));
    QVERIFY(!bar.panels.BtnFTPOpen->isChecked());
    QVERIFY(!bar.session.isBusy());
}

// The notices in the order they came, a notice repeated at once counted once.
class NoticeRecorder {
public:
    explicit NoticeRecorder(FtpSession& session) {
        const auto record = [this](const char* name) {
            return [this, name] {
                if (notices.isEmpty() || notices.last() != QLatin1String(name))
                    notices << QLatin1String(name);
            };
        };
        QObject::connect(&session, &FtpSession::opening, &m_context, record("opening"));
        QObject::connect(&session, &FtpSession::connected, &m_context, record("connected"));
        QObject::connect(&session, &FtpSession::connectionFailed, &m_context, record("connectionFailed"));
        QObject::connect(&session, &FtpSession::disconnected, &m_context, record("disconnected"));
        QObject::connect(&session, &FtpSession::closing, &m_context, record("closing"));
        QObject::connect(&session, &FtpSession::opened, &m_context, record("opened"));
    }
    QStringList notices;

private:
    QObject m_context;
};

void TestTransferSession::noticesOfAnOpening_data() {
    QTest::addColumn<QByteArray>("passReply");
    QTest::addColumn<bool>("stepsFail");
    QTest::addColumn<QStringList>("notices");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("error");

    QTest::newRow("login accepted") << QByteArray("230 Logged in") << false
                                    << QStringList{"opening", "connected", "opened"} << "Connected"
                                    << QString();
    QTest::newRow("login refused") << QByteArray("530 Login incorrect") << false
                                   << QStringList{"opening", "connectionFailed", "disconnected"}
                                   << "Disconnected"
                                   << "530 Login incorrect";
    // The opening steps are the owner's; their failure ends the opening before "opened".
    QTest::newRow("opening steps fail")
        << QByteArray("230 Logged in") << true << QStringList{"opening", "connected"} << "Connected"
        << "no such device";
}

void TestTransferSession::noticesOfAnOpening() {
    QFETCH(QByteArray, passReply);
    QFETCH(bool, stepsFail);
    QFETCH(QStringList, notices);
    QFETCH(QString, word);
    QFETCH(QString, error);

    ScriptedFtpServer ftp;
    ftp.passReply = passReply;
    Bar bar;
    bar.session.setPort(ftp.peer.port());
    int steps = 0;
    bar.session.setOpeningSteps([&] {
        ++steps;
        if (stepsFail)
            throw Error(QStringLiteral("no such device"));
    });
    NoticeRecorder recorder(bar.session);
    bar.panels.BtnFTPOpen->click();

    QCOMPARE(recorder.notices, notices);
    QCOMPARE(bar.panels.LblSts2->text(), word);
    QCOMPARE(bar.session.isConnected(), word == QLatin1String("Connected"));
    QCOMPARE(steps, notices.contains(QLatin1String("connected")) ? 1 : 0);
    const QStringList errors = m_prompts->prompter.texts("error");
    QCOMPARE(errors.size(), error.isEmpty() ? 0 : 1);
    if (!error.isEmpty())
        QVERIFY2(errors.first().startsWith(error), qPrintable(errors.first()));
    // The status is the session's own, not read back from the panel.
    QCOMPARE(bar.session.statusText(), bar.status.text());
}

void TestTransferSession::viewFollowsTheNotices_data() {
    QTest::addColumn<QByteArray>("notice");
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("openDown");
    QTest::addColumn<bool>("closeEnabled");
    QTest::addColumn<bool>("typeEnabled");
    QTest::addColumn<bool>("installEnabled");
    QTest::addColumn<bool>("addressEnabled");
    QTest::addColumn<bool>("logKept");

    // From a bar that shows an open connection with everything enabled.
    QTest::newRow("opening") << QByteArray("opening") << "Connected" << true << true << true << true << false
                             << false;
    QTest::newRow("connected") << QByteArray("connected") << "Connected" << true << true << true << true
                               << false << true;
    QTest::newRow("connectionFailed")
        << QByteArray("connectionFailed") << "Disconnected" << false << true << true << true << false << true;
    QTest::newRow("closing") << QByteArray("closing") << "Connected" << true << true << false << false
                             << false << true;
    QTest::newRow("disconnected") << QByteArray("disconnected") << "Disconnected" << false << false << false
                                  << false << true << true;
    QTest::newRow("opened") << QByteArray("opened") << "Connected" << true << true << true << true << false
                            << true;
}

void TestTransferSession::viewFollowsTheNotices() {
    QFETCH(QByteArray, notice);
    QFETCH(QString, word);
    QFETCH(bool, openDown);
    QFETCH(bool, closeEnabled);
    QFETCH(bool, typeEnabled);
    QFETCH(bool, installEnabled);
    QFETCH(bool, addressEnabled);
    QFETCH(bool, logKept);

    Bar bar;
    TransferPanels& p = bar.panels;
    p.LblSts2->setText(QStringLiteral("Connected"));
    p.BtnFTPOpen->setChecked(true);
    p.BtnFTPClose->setEnabled(true);
    for (QWidget* w :
         std::initializer_list<QWidget*>{p.RdoAscii, p.RdoBinary, p.BtnInstallSys, p.BtnInstallAppli})
        w->setEnabled(true);
    bar.address.setEnabled(false);
    bar.memo.setPlainText(QStringLiteral("earlier"));

    QVERIFY(QMetaObject::invokeMethod(&bar.session, notice.constData()));

    QCOMPARE(p.LblSts2->text(), word);
    QCOMPARE(p.BtnFTPOpen->isChecked(), openDown);
    QCOMPARE(p.BtnFTPClose->isEnabled(), closeEnabled);
    QCOMPARE(p.RdoAscii->isEnabled(), typeEnabled);
    QCOMPARE(p.RdoBinary->isEnabled(), typeEnabled);
    QCOMPARE(p.BtnInstallSys->isEnabled(), installEnabled);
    QCOMPARE(p.BtnInstallAppli->isEnabled(), installEnabled);
    QCOMPARE(bar.address.isEnabled(), addressEnabled);
    QCOMPARE(bar.memo.toPlainText(), logKept ? QStringLiteral("earlier") : QString());
}

void TestTransferSession::viewShowsTheReportedTexts() {
    Bar bar;
    bar.session.log(QStringLiteral("Folder created : here"));
    Q_EMIT bar.session.statusChanged(QStringLiteral("ChangeDir : /h0"));
    Q_EMIT bar.session.progressChanged(QStringLiteral("5 of 9"));
    Q_EMIT bar.session.logged(QStringLiteral("ChangeDir success"));
    QCOMPARE(bar.memo.toPlainText(), QStringLiteral("Folder created : here\nChangeDir success"));
    QCOMPARE(bar.status.text(), QStringLiteral("ChangeDir : /h0"));
    QCOMPARE(bar.progress.text(), QStringLiteral("5 of 9"));
}

QTEST_MAIN(TestTransferSession)
#include "tst_transfersession.moc"
