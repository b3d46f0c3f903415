// The FTP session of the transfer sheets against a scripted server, for the timings and
// replies a real server does not give on demand.

#include "common/ScriptedFtpServer.h"
#include "common/ScriptedPrompter.h"
#include "support/TQelBtn.h"
#include "support/Wait.h"
#include "transfer/FtpSession.h"
#include "transfer/TransferPanels.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
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
    FtpSession session{{&panels, &memo, &status, &progress, &address, &user, &password}};
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
    bar.session.FtpOS9->Port = ftp.peer.port();
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
    QCOMPARE(bar.session.TransferCounter, 2);
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
    bar.session.FtpOS9->Port = ftp.peer.port();
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
    bar.session.FtpOS9->Port = ftp.peer.port();
    bar.session.FtpOS9->ReportLevel = 1; // protocol traffic reaches the status panel
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
    bar.session.FtpOS9->Port = ftp.peer.port();
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

QTEST_MAIN(TestTransferSession)
#include "tst_transfersession.moc"
