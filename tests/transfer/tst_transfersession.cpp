// The FTP session of the transfer sheets against a scripted server, for the timings and
// replies a real server does not give on demand.

#include "common/FakePeer.h"
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

// A scripted FTP server: logs in, answers TYPE, PORT and QUIT, and hands RETR and STOR
// to the test.
class FakeFtp {
public:
    FakePeer peer;
    QByteArray passReply = "230 Logged in";
    std::function<void(const QByteArray& name)> onRetr;
    std::function<void(const QByteArray& name)> onStor;
    FakeConnection* control = nullptr;

    FakeFtp() {
        peer.onConnection = [this](FakeConnection& c) {
            if (control)
                return;
            control = &c;
            c.sendLine("220 Controller ready");
        };
        peer.onLine = [this](FakeConnection& c, const QByteArray& line) {
            if (&c == control)
                handle(line);
        };
    }

    void reply(const QByteArray& line) { control->sendLine(line); }
    FakeConnection* openData() { return peer.connectTo(m_dataHost, m_dataPort); }

    // The data, then the data connection closed after `holdMs`, then `completion`.
    void sendData(const QByteArray& bytes, int holdMs, const QByteArray& completion) {
        FakeConnection* data = openData();
        data->send(bytes);
        QObject::connect(data->socket(), &QTcpSocket::disconnected, data,
                         [this, completion] { reply(completion); });
        QTimer::singleShot(holdMs, data, [data] { data->close(); });
    }

    // Takes what arrives; `completion` follows `replyMs` after the client closed.
    void receiveData(int replyMs, const QByteArray& completion) {
        FakeConnection* data = openData();
        QObject::connect(data->socket(), &QTcpSocket::disconnected, data, [this, replyMs, completion] {
            QTimer::singleShot(replyMs, control, [this, completion] { reply(completion); });
        });
    }

private:
    void handle(const QByteArray& line) {
        const QByteArray verb = line.split(' ').first().toUpper();
        const QByteArray arg = line.mid(verb.size() + 1);
        if (verb == "USER") {
            reply("331 Password required");
        } else if (verb == "PASS") {
            reply(passReply);
        } else if (verb == "TYPE") {
            reply("200 Type set");
        } else if (verb == "PORT") {
            const QList<QByteArray> p = arg.split(',');
            m_dataHost = QHostAddress(QString("%1.%2.%3.%4").arg(p[0], p[1], p[2], p[3]));
            m_dataPort = quint16(p[4].toInt() * 256 + p[5].toInt());
            reply("200 PORT command successful");
        } else if (verb == "RETR" && onRetr) {
            onRetr(arg);
        } else if (verb == "STOR" && onStor) {
            onStor(arg);
        } else if (verb == "QUIT") {
            reply("221 Goodbye");
            control->close();
        } else {
            reply("502 Command not implemented");
        }
    }

    QHostAddress m_dataHost;
    quint16 m_dataPort = 0;
};

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
    FakeFtp ftp;
    ftp.onRetr = [&](const QByteArray&) {
        ftp.reply("150 Opening data connection (5 bytes)");
        ftp.sendData("abcde", 0, "226 Transfer complete");
    };
    // The upload's completion comes well after the download's check timer would fire.
    ftp.onStor = [&](const QByteArray&) {
        ftp.reply("150 Ok to send data");
        ftp.receiveData(1600, "226 Transfer complete");
    };
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
    FakeFtp ftp;
    ftp.onRetr = [&](const QByteArray&) {
        ftp.reply("150 Opening data connection (5 bytes)");
        ftp.sendData("abcde", 1600, "226 Transfer complete");
    };
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
    FakeFtp ftp;
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
    FakeFtp ftp;
    ftp.onStor = [&](const QByteArray&) {
        ftp.reply("150 Ok to send data");
        ftp.receiveData(60000, "226 Transfer complete"); // the completion would come much later
    };
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
