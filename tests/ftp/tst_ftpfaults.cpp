// The FTP client against scripted servers: the replies and faults no real server gives
// on demand. Each case must end as intended, within a bounded time, with any existing
// local file left as it was.

#include "common/ScriptedFtpServer.h"
#include "common/TestSupport.h"
#include "ftp/FtpClient.h"
#include "support/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace vantor;
using namespace vantor::test;
using namespace std::chrono_literals;

namespace {

constexpr int kTimeOut = 1500;  // the client's TimeOut in these tests
constexpr qint64 kBound = 6000; // no case may take longer than this

void later(int ms, std::function<void()> f) {
    QTimer::singleShot(ms, std::move(f));
}

} // namespace

class TestFtpFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void multiLineGreetingReadBeforeUser();
    void loginReplies_data();
    void loginReplies();
    void greetingRefusingService();
    void commandTypesOfResults_data();
    void commandTypesOfResults();
    void unsupportedBeforeFailure_data();
    void unsupportedBeforeFailure();
    void reply421ToCommandIsTheFailure();
    void retrRefused_data();
    void retrRefused();
    void announcedSize_data();
    void announcedSize();
    void shortOfAnnouncedSize();
    void systUnansweredBeforeListing();
    void listingLineEnds();
    void reply426DuringDownload();
    void reply426DuringUpload();
    void completionFailureRanges_data();
    void completionFailureRanges();
    void dataResetDuringDownload_data();
    void dataResetDuringDownload();
    void dataResetDuringUpload();
    void serverStopsAnswering();
    void controlClosedMidTransfer();
    void neverConnectsBack();
    void transferTypeCommands();
    void slowTransferIsNotCutOff();
    void garbageReplies_data();
    void garbageReplies();
    void garbageGreeting();
    void garbageCompletionReply();
    void endlessReply_data();
    void endlessReply();
    void lineBreaksRefused_data();
    void lineBreaksRefused();
    void remotePathNeverPlacesLocalFile();
    void nonAsciiNamesCrossAsFileNameBytes();
    void serverClosesWhileIdle();
    void connectionRefused();
    void multiLineRepliesReadWhole_data();
    void multiLineRepliesReadWhole();
    void refusalWhileAwaitingDataConnection_data();
    void refusalWhileAwaitingDataConnection();
    void localWriteFailureKeepsSessionInStep_data();
    void localWriteFailureKeepsSessionInStep();
    void slowPeerUploadIsNotCutOff();
    void strangerOnDataPortRefused_data();
    void strangerOnDataPortRefused();

private:
    void login();
    QStringList entries() const { return QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden); }

    std::unique_ptr<ScriptedFtpServer> m_fake;
    std::unique_ptr<TFtpClient> m_ftp;
    std::unique_ptr<QTemporaryDir> m_local;
    QString m_keep; // an existing local file that no failure may touch
    QStringList m_events;
    QStringList m_statuses;
    QElapsedTimer m_clock;
};

void TestFtpFaults::init() {
    m_fake = std::make_unique<ScriptedFtpServer>();
    QVERIFY(m_fake->peer.isListening());
    m_local = std::make_unique<QTemporaryDir>();
    m_keep = m_local->filePath("keep.bin");
    QVERIFY(putFile(m_keep, "the good copy"));
    m_events.clear();
    m_statuses.clear();
    m_ftp = std::make_unique<TFtpClient>();
    m_ftp->Host = "127.0.0.1";
    m_ftp->Port = m_fake->peer.port();
    m_ftp->TimeOut = kTimeOut;
    m_ftp->UserID = "super";
    m_ftp->Password = "kolm";
    m_ftp->ReportLevel = 1;
    m_ftp->OnStatus = [this](TAsyncSocket*, const QString& s) { m_statuses << s.trimmed(); };
    m_ftp->OnConnect = [this](TAsyncSocket*) { m_events << "connect"; };
    m_ftp->OnConnectionFailed = [this](TAsyncSocket*) { m_events << "connection failed"; };
    m_ftp->OnDisconnect = [this](TAsyncSocket*) { m_events << "disconnect"; };
    m_ftp->OnSuccess = [this](TCmdType t) { m_events << "success " + CmdTypeName(t); };
    m_ftp->OnFailure = [this](bool&, TCmdType t) { m_events << "failure " + CmdTypeName(t); };
    m_ftp->OnUnSupportedFunction = [this](TCmdType t) { m_events << "unsupported " + CmdTypeName(t); };
    m_ftp->OnTransactionStart = [this](TAsyncSocket*) { m_events << "start"; };
    m_ftp->OnTransactionStop = [this](TAsyncSocket*) { m_events << "stop"; };
    m_ftp->OnListItem = [this](const QString& line) { m_events << "item " + line; };
    m_clock.start();
}

void TestFtpFaults::cleanup() {
    // Every case ends within a bound, the local file it must not touch is intact and no
    // temporary file is left behind.
    QVERIFY2(m_clock.elapsed() < kBound, qPrintable(QString::number(m_clock.elapsed())));
    QCOMPARE(fileBytes(m_keep), QByteArray("the good copy"));
    // The fake goes first: its handlers refer to the finished test's locals.
    m_fake.reset();
    m_ftp.reset();
    m_local.reset();
}

void TestFtpFaults::login() {
    m_ftp->Connect();
    QVERIFY(m_ftp->IsConnected());
    m_events.clear();
    m_statuses.clear();
}

void TestFtpFaults::multiLineGreetingReadBeforeUser() {
    m_fake->greeting = {"220-Welcome to the controller", " a line of text"};
    bool lastLineSent = false;
    m_fake->peer.onConnection = [&](FakeConnection& c) {
        m_fake->control = &c;
        for (const QByteArray& line : m_fake->greeting)
            c.sendLine(line);
        later(150, [&] {
            lastLineSent = true;
            m_fake->reply("220 Ready");
        });
    };
    QByteArray firstCommandSeenAfterGreeting;
    auto defaultHandler = m_fake->peer.onLine;
    m_fake->peer.onLine = [&](FakeConnection& c, const QByteArray& line) {
        if (firstCommandSeenAfterGreeting.isEmpty())
            firstCommandSeenAfterGreeting = lastLineSent ? line : "sent too early: " + line;
        defaultHandler(c, line);
    };
    m_ftp->Connect();
    QCOMPARE(firstCommandSeenAfterGreeting, QByteArray("USER super"));
    QVERIFY(m_statuses.contains("220-Welcome to the controller"));
    QVERIFY(m_statuses.contains("a line of text"));
    QVERIFY(m_statuses.contains("220 Ready"));
    QCOMPARE(m_events, QStringList{"connect"});
}

void TestFtpFaults::loginReplies_data() {
    QTest::addColumn<QByteArray>("userReply");
    QTest::addColumn<QByteArray>("passReply");
    QTest::addColumn<QString>("failure"); // empty = logged in
    QTest::addColumn<bool>("passSent");
    QTest::newRow("230 at USER") << QByteArray("230 Welcome") << QByteArray() << "" << false;
    QTest::newRow("400 at USER") << QByteArray("400 Odd but fine") << QByteArray() << "" << false;
    QTest::newRow("401 at USER") << QByteArray("401 Not you") << QByteArray() << "401 Not you\r\n" << false;
    QTest::newRow("421 at USER") << QByteArray("421 Too many users") << QByteArray()
                                 << "421 Too many users\r\n"
                                 << false;
    QTest::newRow("331 then 230") << QByteArray("331 Password") << QByteArray("230 In") << "" << true;
    QTest::newRow("331 then 530") << QByteArray("331 Password") << QByteArray("530 Login incorrect")
                                  << "530 Login incorrect\r\n"
                                  << true;
}

void TestFtpFaults::loginReplies() {
    QFETCH(QByteArray, userReply);
    QFETCH(QByteArray, passReply);
    QFETCH(QString, failure);
    QFETCH(bool, passSent);
    m_fake->userReply = userReply;
    m_fake->passReply = passReply;
    if (failure.isEmpty()) {
        m_ftp->Connect();
        QVERIFY(m_ftp->IsConnected());
        QCOMPARE(m_events, QStringList{"connect"});
    } else {
        try {
            m_ftp->Connect();
            QFAIL("logged in");
        } catch (const FTPException& e) {
            QCOMPARE(e.message(), failure);
        }
        QVERIFY(!m_ftp->IsConnected());
        QCOMPARE(m_events.first(), QString("connection failed"));
        QCOMPARE(m_statuses.last(), QString("Disconnected"));
    }
    bool sawPass = false;
    for (const QByteArray& c : m_fake->commands)
        sawPass = sawPass || c.startsWith("PASS ");
    QCOMPARE(sawPass, passSent);
    QVERIFY(!m_statuses.join('|').contains("kolm"));
}

void TestFtpFaults::greetingRefusingService() {
    m_fake->greeting = {"421 Service not available, try later"};
    try {
        m_ftp->Connect();
        QFAIL("logged in");
    } catch (const FTPException& e) {
        QCOMPARE(e.message(), QString("421 Service not available, try later\r\n"));
    }
    QVERIFY(!m_ftp->IsConnected());
    QCOMPARE(m_events.first(), QString("connection failed"));
    QCOMPARE(m_fake->commands, QList<QByteArray>{"QUIT"}); // no USER after a refusal
}

void TestFtpFaults::commandTypesOfResults_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("event");
    QTest::newRow("CWD /h0") << "CWD /h0"
                             << "success ChangeDir";
    QTest::newRow("PWD") << "PWD"
                         << "success CurrentDir";
    QTest::newRow("cwd x") << "cwd x"
                           << "success DoCommand";
    QTest::newRow("DELE") << "DELE f"
                          << "success Delete";
    QTest::newRow("RMD") << "RMD d"
                         << "success RemoveDir";
}

void TestFtpFaults::commandTypesOfResults() {
    QFETCH(QString, command);
    QFETCH(QString, event);
    m_fake->onCommand = [&](const QByteArray&) { m_fake->reply("250 OK"); };
    login();
    m_ftp->DoCommand(command);
    QCOMPARE(m_events, QStringList{event});
    QCOMPARE(m_fake->commands.last(), command.toLatin1());
}

void TestFtpFaults::unsupportedBeforeFailure_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("500") << QByteArray("500 Syntax error")
                         << QStringList{"unsupported DoCommand", "failure DoCommand"};
    QTest::newRow("501") << QByteArray("501 Bad arguments")
                         << QStringList{"unsupported DoCommand", "failure DoCommand"};
    QTest::newRow("502") << QByteArray("502 Not implemented")
                         << QStringList{"unsupported DoCommand", "failure DoCommand"};
    QTest::newRow("550") << QByteArray("550 No") << QStringList{"failure DoCommand"};
    QTest::newRow("400") << QByteArray("400 Edge of the range") << QStringList{"failure DoCommand"};
    QTest::newRow("399") << QByteArray("399 Below the range") << QStringList{"success DoCommand"};
}

void TestFtpFaults::unsupportedBeforeFailure() {
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, events);
    m_fake->onCommand = [&](const QByteArray&) { m_fake->reply(reply); };
    login();
    m_ftp->OnFailure = [this](bool& handled, TCmdType t) {
        m_events << "failure " + CmdTypeName(t);
        handled = true;
    };
    m_ftp->DoCommand("SITE X");
    QCOMPARE(m_events, events);

    // Unhandled, the failure is raised with the reply after the same events.
    if (events.last().startsWith("failure")) {
        m_events.clear();
        m_ftp->OnFailure = nullptr;
        try {
            m_ftp->DoCommand("SITE X");
            QFAIL("no exception");
        } catch (const FTPException& e) {
            QCOMPARE(e.message(), QString::fromLatin1(reply + "\r\n"));
        }
    }
}

// A 421 that answers a command is that command's failure, with the server's words.
void TestFtpFaults::reply421ToCommandIsTheFailure() {
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("421 Service closing control connection");
        m_fake->control->close();
    };
    login();
    try {
        m_ftp->ChangeDir("/h0");
        QFAIL("no exception");
    } catch (const FTPException& e) {
        QCOMPARE(e.message(), QString("421 Service closing control connection\r\n"));
    }
    QVERIFY(m_events.contains("failure ChangeDir"));
    QVERIFY(pumpUntil([this] { return !m_ftp->IsConnected(); }, 2s));
}

void TestFtpFaults::retrRefused_data() {
    QTest::addColumn<int>("handler"); // 0 none, 1 leaves Handled, 2 sets Handled
    QTest::newRow("no handler") << 0;
    QTest::newRow("handler leaves it unhandled") << 1;
    QTest::newRow("handler marks it handled") << 2;
}

void TestFtpFaults::retrRefused() {
    QFETCH(int, handler);
    m_fake->onCommand = [&](const QByteArray&) { m_fake->reply("550 No such file"); };
    login();
    if (handler == 0)
        m_ftp->OnFailure = nullptr;
    if (handler == 2)
        m_ftp->OnFailure = [this](bool& handled, TCmdType t) {
            m_events << "failure " + CmdTypeName(t);
            handled = true;
        };
    try {
        m_ftp->Download("absent", m_keep);
        QFAIL("no exception");
    } catch (const FTPException& e) {
        QVERIFY(handler != 2);
        QCOMPARE(e.message(), QString("550 No such file\r\n"));
    } catch (const ESockError& e) {
        // Marked handled, the download goes on and waits for a connection that never comes.
        QCOMPARE(handler, 2);
        QCOMPARE(e.message(), QString("Timed out waiting for the data connection"));
    }
    QCOMPARE(m_events.contains("failure Download"), handler != 0);
    QVERIFY(!m_events.contains("start"));
    QVERIFY(!m_events.contains("success Download"));
    QCOMPARE(m_fake->peer.connections().size(), 1); // no data connection was made
    QCOMPARE(entries(), QStringList{"keep.bin"});
}

void TestFtpFaults::announcedSize_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<qint64>("sizeDuring");
    QTest::newRow("no size") << QByteArray("150 Opening data connection") << qint64(0);
    QTest::newRow("size in parentheses")
        << QByteArray("150 Opening data connection for f (50000 bytes)") << qint64(50000);
}

void TestFtpFaults::announcedSize() {
    QFETCH(QByteArray, reply);
    QFETCH(qint64, sizeDuring);
    const QByteArray payload = randomBytes(50000, 3);
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply(reply);
        m_fake->sendData(payload, "226 Transfer complete");
    };
    login();
    QList<qint64> sizes;
    m_ftp->OnPacketRecvd = [&](TAsyncSocket*) { sizes << m_ftp->TransferSize(); };
    const QString local = m_local->filePath("got.bin");
    m_ftp->Download("f", local);
    QVERIFY(!sizes.isEmpty());
    for (qint64 s : sizes)
        QCOMPARE(s, sizeDuring);
    QCOMPARE(m_ftp->TransferSize(), qint64(payload.size()));
    QVERIFY(fileBytes(local) == payload);
    QCOMPARE(m_events, (QStringList{"start", "stop", "success Download"}));
}

void TestFtpFaults::shortOfAnnouncedSize() {
    // A data connection reset mid-stream reads like its normal end; a server that then
    // claims success must not get a truncated file past the client.
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("150 Opening data connection for f (50000 bytes)");
        m_fake->sendData(randomBytes(20000, 3), "226 Transfer complete");
    };
    login();
    try {
        m_ftp->Download("f", m_keep);
        QFAIL("reported as a success");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Received 20000 of the 50000 bytes announced"));
    }
    QVERIFY(!m_events.contains("success Download"));
    QCOMPARE(entries(), QStringList{"keep.bin"});
}

void TestFtpFaults::systUnansweredBeforeListing() {
    m_fake->onCommand = [&](const QByteArray& command) {
        if (command != "SYST")
            m_fake->reply("502 Not here");
    };
    m_ftp->ParseList = true;
    login();
    try {
        m_ftp->List();
        QFAIL("listed");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Timed out waiting for a reply"));
    }
    QVERIFY(!m_ftp->IsConnected());
    QVERIFY(!m_fake->commands.contains("LIST"));
}

void TestFtpFaults::listingLineEnds() {
    m_fake->onCommand = [&](const QByteArray& command) {
        QVERIFY(command == "LIST");
        m_fake->reply("150 Here it comes");
        m_fake->sendData("first\r\n\r\nLF only\nlast without end", "226 Done");
    };
    login();
    m_ftp->List();
    QCOMPARE(m_events, (QStringList{"start", "item first", "item \r\n", "item LF only",
                                    "item last without end", "stop", "success List"}));
    QCOMPARE(m_ftp->TransferSize(), qint64(33));
}

// The capture runs to the end of the data connection, the pending 426 is drained and
// reported, and the download fails with it: nothing of it reaches the local file.
void TestFtpFaults::reply426DuringDownload() {
    const QByteArray first = randomBytes(20000, 1);
    const QByteArray rest = randomBytes(10000, 2);
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("150 Opening data connection");
        FakeConnection* data = m_fake->openData();
        data->send(first);
        later(150, [&] { m_fake->reply("426 Connection closed; transfer aborted"); });
        later(300, [data, &rest] {
            data->send(rest);
            data->close();
        });
    };
    login();
    qint64 lastCount = 0;
    m_ftp->OnPacketRecvd = [&](TAsyncSocket*) { lastCount = m_ftp->ReceivedCount(); };
    try {
        m_ftp->Download("f", m_keep);
        QFAIL("reported as a success");
    } catch (const FTPException& e) {
        QCOMPARE(e.message(), QString("426 Connection closed; transfer aborted\r\n"));
    }
    QCOMPARE(lastCount, qint64(first.size() + rest.size())); // the capture ran to its end
    QCOMPARE(m_events, (QStringList{"start", "stop", "failure Download"}));
    QVERIFY(m_statuses.contains("426 Connection closed; transfer aborted"));
    QCOMPARE(int(m_ftp->ReplyCode()), 426);
    QCOMPARE(entries(), QStringList{"keep.bin"});

    // The session goes on.
    m_fake->onCommand = [&](const QByteArray&) { m_fake->reply("250 OK"); };
    m_ftp->ChangeDir("x");
}

void TestFtpFaults::reply426DuringUpload() {
    const QString source = m_local->filePath("up.bin");
    QVERIFY(putFile(source, randomBytes(300000)));
    FakeConnection* data = nullptr;
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("150 Ok to send data");
        data = m_fake->openData();
        later(100, [&] { m_fake->reply("426 Transfer aborted by operator"); });
    };
    login();
    QVERIFY_THROWS_EXCEPTION(FTPException, m_ftp->Upload(source, "up.bin"));
    QCOMPARE(m_events, (QStringList{"start", "stop", "failure Upload"}));
    QVERIFY(
        pumpUntil([&] { return data && data->received().size() == 300000; }, 2s)); // the send ran to its end
    QVERIFY(QFile::remove(source));
}

void TestFtpFaults::completionFailureRanges_data() {
    QTest::addColumn<QByteArray>("completion");
    QTest::addColumn<bool>("fails");
    QTest::newRow("226") << QByteArray("226 Transfer complete") << false;
    QTest::newRow("250") << QByteArray("250 Done") << false;
    QTest::newRow("451 local error") << QByteArray("451 Local error in processing") << true;
    QTest::newRow("552 storage exceeded") << QByteArray("552 Storage allocation exceeded") << true;
    QTest::newRow("multi-line 226") << QByteArray("226-Transfer complete\r\n226 Statistics follow") << false;
}

void TestFtpFaults::completionFailureRanges() {
    QFETCH(QByteArray, completion);
    QFETCH(bool, fails);
    const QByteArray payload = randomBytes(40000, 9);
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("150 Opening data connection");
        m_fake->sendData(payload, completion);
    };
    login();
    bool raised = false;
    try {
        m_ftp->Download("f", m_keep);
    } catch (const FTPException& e) {
        raised = true;
        QCOMPARE(e.message(), QString::fromLatin1(completion + "\r\n"));
    }
    QCOMPARE(raised, fails);
    QCOMPARE(m_events.last(), QString(fails ? "failure Download" : "success Download"));
    if (!fails) {
        QVERIFY(fileBytes(m_keep) == payload);
        QVERIFY(putFile(m_keep, "the good copy")); // for the check at the end
        QCOMPARE(int(m_ftp->ReplyCode()), 150);      // the transfer command's reply stays
    }
    QCOMPARE(entries(), QStringList{"keep.bin"});
    // Nothing of a multi-line reply is left to confuse the next command.
    m_fake->onCommand = [&](const QByteArray&) { m_fake->reply("257 \"/h0\" is current"); };
    QCOMPARE(m_ftp->CurrentDir(), QString("/h0"));
}

void TestFtpFaults::dataResetDuringDownload_data() {
    QTest::addColumn<QByteArray>("completion");
    QTest::addColumn<QString>("error");
    QTest::newRow("reset, then 426") << QByteArray("426 Connection reset") << "426 Connection reset\r\n";
    QTest::newRow("reset, then 451") << QByteArray("451 Aborted: local error")
                                     << "451 Aborted: local error\r\n";
}

void TestFtpFaults::dataResetDuringDownload() {
    QFETCH(QByteArray, completion);
    QFETCH(QString, error);
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("150 Opening data connection");
        FakeConnection* data = m_fake->openData();
        data->send(randomBytes(30000, 4));
        later(150, [this, data, completion] {
            data->reset();
            later(50, [this, completion] { m_fake->reply(completion); });
        });
    };
    login();
    try {
        m_ftp->Download("f", m_keep);
        QFAIL("reported as a success");
    } catch (const Error& e) {
        QCOMPARE(e.message(), error);
    }
    QCOMPARE(m_events.last(), QString("failure Download"));
    QVERIFY(!m_events.contains("success Download"));
    QCOMPARE(entries(), QStringList{"keep.bin"});
}

void TestFtpFaults::dataResetDuringUpload() {
    const QString source = m_local->filePath("up.bin");
    QVERIFY(putFile(source, randomBytes(8 * 1024 * 1024)));
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("150 Ok to send data");
        FakeConnection* data = m_fake->openData();
        QObject::connect(data->socket(), &QTcpSocket::readyRead, data, [this, data] {
            if (data->received().size() > 100000 && data->isOpen()) {
                data->reset();
                later(50, [this] { m_fake->reply("451 Disk full"); });
            }
        });
    };
    login();
    try {
        m_ftp->Upload(source, "up.bin");
        QFAIL("reported as a success");
    } catch (const FTPException& e) {
        QCOMPARE(e.message(), QString("451 Disk full\r\n"));
    }
    QCOMPARE(m_events, (QStringList{"start", "stop", "failure Upload"}));
    QVERIFY(QFile::remove(source));
}

void TestFtpFaults::serverStopsAnswering() {
    m_fake->onCommand = [](const QByteArray&) {}; // silence
    login();
    try {
        m_ftp->ChangeDir("/h0");
        QFAIL("no exception");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Timed out waiting for a reply"));
    }
    QVERIFY(m_clock.elapsed() >= kTimeOut);
    // Its late answer would pass for the reply to the next command: the session is closed,
    // at once and without a QUIT that would wait for the silent server once more.
    QVERIFY(m_clock.elapsed() < 2 * kTimeOut);
    QVERIFY(!m_ftp->IsConnected());
    QCOMPARE(m_events, QStringList{"disconnect"});
    QCOMPARE(m_fake->commands.last(), QByteArray("CWD /h0"));
    QVERIFY_THROWS_EXCEPTION(Error, m_ftp->ChangeDir("/h1"));
}

void TestFtpFaults::controlClosedMidTransfer() {
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("150 Opening data connection");
        FakeConnection* data = m_fake->openData();
        data->send(randomBytes(10000, 5)); // and it stays open
        later(150, [&] { m_fake->control->close(); });
    };
    login();
    try {
        m_ftp->Download("f", m_keep);
        QFAIL("reported as a success");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Control connection closed by peer"));
    }
    QVERIFY(m_events.contains("disconnect"));
    QVERIFY(!m_ftp->IsConnected());
    QCOMPARE(entries(), QStringList{"keep.bin"});
}

void TestFtpFaults::neverConnectsBack() {
    m_fake->onCommand = [&](const QByteArray&) { m_fake->reply("150 Opening data connection"); };
    login();
    try {
        m_ftp->Download("f", m_keep);
        QFAIL("no exception");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Timed out waiting for the data connection"));
    }
    // OnTransactionStart of a download comes after the accept. The server's late reply to
    // RETR would be out of step with the next command: the session is closed.
    QCOMPARE(m_events, QStringList{"disconnect"});
    QVERIFY(!m_ftp->IsConnected());
    QVERIFY(m_clock.elapsed() < 2 * kTimeOut);
    QCOMPARE(entries(), QStringList{"keep.bin"});

    // That of a listing comes before it.
    m_fake->control = nullptr;
    login();
    QVERIFY_THROWS_EXCEPTION(ESockError, m_ftp->List());
    QCOMPARE(m_events, (QStringList{"start", "disconnect"}));
}

void TestFtpFaults::transferTypeCommands() {
    login();
    for (int mode : {1, 2, 3, 0, 4})
        m_ftp->SetMode(mode);
    QCOMPARE(m_fake->commands.mid(m_fake->commands.size() - 3),
             (QList<QByteArray>{"TYPE A", "TYPE I", "TYPE L 8"}));
    QCOMPARE(m_events, (QStringList{"success DoCommand", "success DoCommand", "success DoCommand"}));
}

// A transfer slower than TimeOut in total, but never idle for that long, completes.
void TestFtpFaults::slowTransferIsNotCutOff() {
    m_ftp->TimeOut = 400;
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("150 Opening data connection");
        FakeConnection* data = m_fake->openData();
        auto* ticker = new QTimer(data);
        auto sent = std::make_shared<int>(0);
        QObject::connect(ticker, &QTimer::timeout, data, [this, data, ticker, sent] {
            if (++*sent <= 12) {
                data->send(QByteArray(1000, char('a' + *sent)));
                return;
            }
            ticker->stop();
            data->close();
            later(20, [this] { m_fake->reply("226 Done"); });
        });
        ticker->start(150);
    };
    login();
    const QString local = m_local->filePath("slow.bin");
    m_ftp->Download("f", local);
    QCOMPARE(fileBytes(local).size(), 12000);
    QVERIFY(m_clock.elapsed() > 1500);
    QCOMPARE(m_events.last(), QString("success Download"));
}

void TestFtpFaults::garbageReplies_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("error"); // empty: taken as the reply
    QTest::newRow("text without a code")
        << QByteArray("hello there\r\n") << "Not an FTP reply: \"hello there\"";
    QTest::newRow("binary noise") << QByteArray("\x01\xff\x00\x7f noise\r\n", 12)
                                  << QString("Not an FTP reply: \"?") + QChar(0xff) + "?? noise\"";
    QTest::newRow("code out of range") << QByteArray("2500 OK\r\n") << "Not an FTP reply: \"2500 OK\"";
    QTest::newRow("half a line, then silence") << QByteArray("250 O") << "Timed out waiting for a reply";
    QTest::newRow("endless line") << QByteArray(1100 * 1024, 'x') << "Line too long from peer";
}

void TestFtpFaults::garbageReplies() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, error);
    m_fake->onCommand = [&](const QByteArray&) { m_fake->control->send(reply); };
    login();
    try {
        m_ftp->ChangeDir("/h0");
        QFAIL("garbage taken as a reply");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), error);
    }
    QVERIFY(!m_events.contains("success ChangeDir"));
}

void TestFtpFaults::garbageGreeting() {
    m_fake->greeting = {"SSH-2.0-OpenSSH_9.2p1"};
    try {
        m_ftp->Connect();
        QFAIL("logged in");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Not an FTP reply: \"SSH-2.0-OpenSSH_9.2p1\""));
    }
    QVERIFY(!m_ftp->IsConnected());
    QCOMPARE(m_events.first(), QString("connection failed"));
    QVERIFY(!m_events.contains("connect"));
}

void TestFtpFaults::garbageCompletionReply() {
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("150 Opening data connection");
        m_fake->sendData(randomBytes(40000, 7), "Transfer finished, probably");
    };
    login();
    try {
        m_ftp->Download("f", m_keep);
        QFAIL("reported as a success");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Not an FTP reply: \"Transfer finished, probably\""));
    }
    QVERIFY(!m_events.contains("success Download"));
    QCOMPARE(entries(), QStringList{"keep.bin"});
}

void TestFtpFaults::endlessReply_data() {
    QTest::addColumn<bool>("inGreeting");
    QTest::newRow("greeting") << true;
    QTest::newRow("RETR reply") << false;
}

void TestFtpFaults::endlessReply() {
    // A peer that keeps a reply going for ever must not hold the client for ever, however
    // busy the line is.
    QFETCH(bool, inGreeting);
    QTimer talker;
    const QByteArray lines = QByteArray(" and one more line of the same reply\r\n").repeated(2000);
    QObject::connect(&talker, &QTimer::timeout, [&] {
        if (m_fake->control && m_fake->control->isOpen() &&
            m_fake->control->socket()->bytesToWrite() < 1000000)
            m_fake->control->send(lines);
    });
    if (inGreeting) {
        m_fake->greeting = {"220-Welcome"};
        talker.start(5);
    } else {
        m_fake->onCommand = [&](const QByteArray&) {
            m_fake->reply("150-Opening data connection");
            talker.start(5);
        };
        login();
    }
    try {
        if (inGreeting)
            m_ftp->Connect();
        else
            m_ftp->Download("f", m_keep);
        QFAIL("the endless reply was taken");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Reply too long from peer"));
    }
    talker.stop();
    QVERIFY(!m_events.contains("success Download"));
    QCOMPARE(entries(), QStringList{"keep.bin"});
}

void TestFtpFaults::lineBreaksRefused_data() {
    QTest::addColumn<int>("operation");
    QTest::newRow("ChangeDir with CR LF") << 0;
    QTest::newRow("MakeDir with LF") << 1;
    QTest::newRow("DoCommand with CR") << 2;
    QTest::newRow("Download remote name with LF") << 3;
    QTest::newRow("Upload remote name with CR") << 4;
    QTest::newRow("Upload local name with LF, no remote name") << 5;
    QTest::newRow("DoCommand with NUL") << 6;
}

void TestFtpFaults::lineBreaksRefused() {
    QFETCH(int, operation);
    m_fake->onCommand = [&](const QByteArray&) { m_fake->reply("250 OK"); };
    login();
    const int before = int(m_fake->commands.size());
    const QString source = m_local->filePath("a\nb");
    QVERIFY(putFile(source, "x"));
    try {
        switch (operation) {
        case 0:
            m_ftp->ChangeDir("x\r\nDELE important");
            break;
        case 1:
            m_ftp->MakeDir("x\nRMD y");
            break;
        case 2:
            m_ftp->DoCommand("NOOP\rDELE important");
            break;
        case 3:
            m_ftp->Download("x\nDELE important", m_keep);
            break;
        case 4:
            m_ftp->Upload(source, "x\rDELE important");
            break;
        case 5:
            m_ftp->Upload(source, QString());
            break;
        default:
            m_ftp->DoCommand(QString("NOOP") + QChar(0) + "DELE important");
            break;
        }
        QFAIL("sent");
    } catch (const Error& e) {
        QCOMPARE(e.message(), QString("Line break in FTP command or name refused"));
    }
    QVERIFY(pumpUntil([] { return false; }, 100ms) == false); // let anything sent arrive
    QCOMPARE(int(m_fake->commands.size()), before);
    QVERIFY(m_events.isEmpty());
    QVERIFY(QFile::remove(source));
}

// A download without a local name takes the remote file's name, never its folders.
void TestFtpFaults::remotePathNeverPlacesLocalFile() {
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("150 Opening data connection");
        m_fake->sendData("payload", "226 Done");
    };
    login();
    const QString inner = m_local->filePath("inner");
    QVERIFY(QDir().mkpath(inner));
    const QString wasCurrent = QDir::currentPath();
    QDir::setCurrent(inner);
    m_ftp->Download("../escape.txt", QString());
    QDir::setCurrent(wasCurrent);
    QCOMPARE(fileBytes(inner + "/escape.txt"), QByteArray("payload"));
    QCOMPARE(entries(), QStringList{"keep.bin"});
    QCOMPARE(m_fake->commands.last(), QByteArray("RETR ../escape.txt"));
}

void TestFtpFaults::nonAsciiNamesCrossAsFileNameBytes() {
    m_fake->onCommand = [&](const QByteArray& command) {
        if (command.startsWith("RETR ")) {
            m_fake->reply("150 Opening data connection");
            m_fake->sendData("down", "226 Done");
        } else {
            m_fake->reply("150 Ok to send data");
            m_fake->receiveData("226 Stored");
        }
    };
    login();
    const QString source = m_local->filePath(QString::fromUtf8("été €.bin"));
    QVERIFY(putFile(source, "up"));
    m_ftp->Upload(source, QString());
    QCOMPARE(m_fake->commands.last(), QByteArray("STOR ") + QString::fromUtf8("été €.bin").toUtf8());

    // A remote name arrives as its bytes; the local file gets the name those bytes spell.
    const QString wasCurrent = QDir::currentPath();
    QDir::setCurrent(m_local->path());
    m_ftp->Download(QString::fromLatin1(QString::fromUtf8("dé.bin").toUtf8()), QString());
    QDir::setCurrent(wasCurrent);
    QCOMPARE(fileBytes(m_local->filePath(QString::fromUtf8("dé.bin"))), QByteArray("down"));
}

void TestFtpFaults::serverClosesWhileIdle() {
    login();
    m_fake->control->close();
    QVERIFY(pumpUntil([this] { return m_events.contains("disconnect"); }, 2s));
    QVERIFY(!m_ftp->IsConnected());
    try {
        m_ftp->ChangeDir("x");
        QFAIL("no exception");
    } catch (const Error& e) {
        QCOMPARE(e.message(), QString("Not Connected"));
    }
}

void TestFtpFaults::connectionRefused() {
    const quint16 closedPort = test::closedPort();
    QVERIFY(closedPort != 0);
    m_ftp->Port = closedPort;
    QStringList errors;
    m_ftp->OnError = [&](TAsyncSocket*, quint16 number, const QString& text) {
        errors << QString::number(number) + " " + text;
    };
    try {
        m_ftp->Connect();
        QFAIL("connected");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Connection Failed"));
    }
    QCOMPARE(errors, QStringList{"10061 10061:Connection refused"});
    QCOMPARE(m_ftp->LastSocketError(), 10061);
    QCOMPARE(m_events, QStringList{"connection failed"});
    QVERIFY(!m_ftp->IsConnected());
}

// Every reply is read to its end, whatever its middle lines look like, before anything is
// made of it: the next command then gets its own answer.
void TestFtpFaults::multiLineRepliesReadWhole_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QList<QByteArray>>("reply");
    QTest::addColumn<QString>("failure"); // empty: the operation succeeds
    using Lines = QList<QByteArray>;
    QTest::newRow("greeting, middle line unprefixed")
        << "greeting" << Lines{"220-Welcome to the controller", "Please log in", "220 Ready"} << "";
    QTest::newRow("greeting, middle line with another code")
        << "greeting" << Lines{"220-Welcome", "230-not the end", "220 Ready"} << "";
    QTest::newRow("RETR refused, continuation line")
        << "RETR" << Lines{"550-No such file", " second line", "550 End"} << "550-No such file\r\n";
    QTest::newRow("RETR refused, middle line unprefixed")
        << "RETR" << Lines{"550-No such file", "check the name", "550 End"} << "550-No such file\r\n";
    QTest::newRow("STOR refused, middle line unprefixed")
        << "STOR" << Lines{"553-Cannot store", "the disk is write-protected", "553 End"}
        << "553-Cannot store\r\n";
    QTest::newRow("CWD refused, middle line unprefixed")
        << "CWD" << Lines{"550-No such folder", "try /h0", "550 End"} << "550-No such folder\r\n";
    QTest::newRow("CWD done, middle line unprefixed")
        << "CWD" << Lines{"250-Folder changed", "a note", "250 OK"} << "";
}

void TestFtpFaults::multiLineRepliesReadWhole() {
    QFETCH(QString, operation);
    QFETCH(QList<QByteArray>, reply);
    QFETCH(QString, failure);
    m_fake->onCommand = [&](const QByteArray& command) {
        // A server finishes one reply before it answers the next command.
        if (command == "PWD")
            later(200, [this] { m_fake->reply("257 \"/h0\" is current"); });
        else
            m_fake->replyInParts(reply);
    };
    const QString source = m_local->filePath("up.bin");
    QVERIFY(putFile(source, "up"));
    auto run = [&] {
        if (operation == "greeting") {
            m_fake->greeting = reply;
            m_fake->greetingInParts = true;
            m_ftp->Connect();
            return;
        }
        login();
        if (operation == "RETR")
            m_ftp->Download("f", m_keep);
        else if (operation == "STOR")
            m_ftp->Upload(source, "up.bin");
        else
            m_ftp->ChangeDir("x");
    };
    try {
        run();
        QVERIFY2(failure.isEmpty(), "no failure");
    } catch (const FTPException& e) {
        QCOMPARE(e.message(), failure);
    }
    if (operation == "greeting")
        QVERIFY(m_fake->commands.contains("PASS kolm"));
    QVERIFY(!m_events.contains("success Download"));
    QCOMPARE(m_ftp->CurrentDir(), QString("/h0"));
    QVERIFY(m_ftp->IsConnected());
    QVERIFY(QFile::remove(source));
}

// A server that cannot open the data connection says why on the control connection; that
// reply ends the wait at once and is the failure reported.
void TestFtpFaults::refusalWhileAwaitingDataConnection_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QList<QByteArray>>("reply");
    QTest::addColumn<bool>("handled");
    using Lines = QList<QByteArray>;
    QTest::newRow("425 after RETR's 150") << "RETR" << Lines{"425 Can't open data connection"} << false;
    QTest::newRow("425 after STOR's 150")
        << "STOR" << Lines{"425 Unable to build data connection: Connection refused"} << false;
    QTest::newRow("425 after LIST's 150") << "LIST" << Lines{"425 Can't open data connection"} << false;
    QTest::newRow("multi-line 425, marked handled")
        << "RETR" << Lines{"425-Can't open data connection", "a firewall may block it", "425 End"} << true;
    QTest::newRow("550 after RETR's 150") << "RETR" << Lines{"550 Permission denied"} << false;
}

void TestFtpFaults::refusalWhileAwaitingDataConnection() {
    QFETCH(QString, operation);
    QFETCH(QList<QByteArray>, reply);
    QFETCH(bool, handled);
    m_fake->onCommand = [&](const QByteArray& command) {
        if (command == "PWD") {
            m_fake->reply("257 \"/h0\" is current");
            return;
        }
        m_fake->reply("150 Opening data connection");
        later(100, [&] { m_fake->replyInParts(reply); });
    };
    login();
    if (handled)
        m_ftp->OnFailure = [this](bool& h, TCmdType t) {
            m_events << "failure " + CmdTypeName(t);
            h = true;
        };
    const QString source = m_local->filePath("up.bin");
    QVERIFY(putFile(source, "up"));
    const QString type = operation == "RETR" ? "Download" : operation == "STOR" ? "Upload" : "List";
    QElapsedTimer waited;
    waited.start();
    try {
        if (operation == "RETR")
            m_ftp->Download("f", m_keep);
        else if (operation == "STOR")
            m_ftp->Upload(source, "up.bin");
        else
            m_ftp->List();
        QVERIFY(handled);
    } catch (const FTPException& e) {
        QVERIFY(!handled);
        QCOMPARE(e.message(), QString::fromLatin1(reply.first() + "\r\n"));
    }
    QVERIFY2(waited.elapsed() < kTimeOut, qPrintable(QString::number(waited.elapsed())));
    QCOMPARE(m_events.last(), "failure " + type);
    QVERIFY(!m_events.contains("success " + type));
    QCOMPARE(m_ftp->ReplyCode(), TAsyncSocket::ReplyCodeOf(QString::fromLatin1(reply.first())));
    QCOMPARE(m_ftp->CurrentDir(), QString("/h0"));
    QCOMPARE(m_fake->peer.connections().size(), 1);
    QVERIFY(QFile::remove(source));
}

// A download whose data cannot be written fails naming the local file, and the server's
// answer to the transfer is read, so the next command gets its own.
void TestFtpFaults::localWriteFailureKeepsSessionInStep_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("completion");
#ifdef Q_OS_UNIX
    QTest::newRow("file size limit reached") << "size limit" << QByteArray("426 Transfer aborted");
#endif
    QTest::newRow("folder removed meanwhile") << "folder removed" << QByteArray("226 Transfer complete");
}

void TestFtpFaults::localWriteFailureKeepsSessionInStep() {
    QFETCH(QString, fault);
    QFETCH(QByteArray, completion);
    const QString folder = m_local->filePath("sub");
    QVERIFY(QDir().mkpath(folder));
    const QString local = folder + "/big.bin";
    m_fake->onCommand = [&](const QByteArray& command) {
        if (command == "PWD") {
            m_fake->reply("257 \"/h0\" is current");
            return;
        }
        m_fake->reply("150 Opening data connection");
        m_fake->sendData(randomBytes(3 * 1024 * 1024, 12), completion);
    };
    login();
    bool removed = false;
    m_ftp->OnPacketRecvd = [&](TAsyncSocket*) {
        if (fault == "folder removed" && !removed)
            removed = QDir(folder).removeRecursively();
    };
#ifdef Q_OS_UNIX
    rlimit was{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &was) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    auto restore = qScopeGuard([&] {
        setrlimit(RLIMIT_FSIZE, &was);
        std::signal(SIGXFSZ, oldHandler);
    });
    if (fault == "size limit") {
        rlimit small = was;
        small.rlim_cur = 256 * 1024;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    }
#endif
    try {
        m_ftp->Download("f", local);
        QFAIL("reported as a success");
    } catch (const FileError& e) {
        QVERIFY2(e.message().startsWith("Cannot write " + local + ": "), qPrintable(e.message()));
        QVERIFY2(!e.message().endsWith("Unknown error"), qPrintable(e.message())); // and says why
    }
#ifdef Q_OS_UNIX
    restore.dismiss();
    setrlimit(RLIMIT_FSIZE, &was);
    std::signal(SIGXFSZ, oldHandler);
#endif
    QVERIFY(!m_events.contains("success Download"));
    QVERIFY(m_statuses.contains(QString::fromLatin1(completion)));
    QCOMPARE(m_ftp->CurrentDir(), QString("/h0"));
    QVERIFY(m_ftp->IsConnected());
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// The server answers an upload once every byte has reached it. Bytes the system still holds
// for a slow peer are on their way: the upload is not cut off while they leave.
void TestFtpFaults::slowPeerUploadIsNotCutOff() {
    m_ftp->TimeOut = 500;
    const QByteArray payload = randomBytes(96 * 1024, 13);
    const QString source = m_local->filePath("up.bin");
    QVERIFY(putFile(source, payload));
    FakeConnection* data = nullptr;
    m_fake->onCommand = [&](const QByteArray&) {
        m_fake->reply("150 Ok to send data");
        data = m_fake->openData();
        data->readSlowly(4096, 50ms); // about 80 KB/s: over a second in all, never idle
        QObject::connect(data->socket(), &QTcpSocket::disconnected, data,
                         [this] { m_fake->reply("226 Transfer complete"); });
    };
    login();
    m_ftp->Upload(source, "up.bin");
    QVERIFY(data);
    QVERIFY(data->received() == payload);
    QCOMPARE(m_events.last(), QString("success Upload"));
    QVERIFY(m_clock.elapsed() > 2 * m_ftp->TimeOut);
    QVERIFY(QFile::remove(source));
}

// Only the server may open the data connection: a stranger who reaches the announced port
// first is turned away and logged, and the transfer goes on with the server.
void TestFtpFaults::strangerOnDataPortRefused_data() {
    QTest::addColumn<QString>("operation");
    QTest::newRow("download") << "RETR";
    QTest::newRow("upload") << "STOR";
}

void TestFtpFaults::strangerOnDataPortRefused() {
    QFETCH(QString, operation);
    const QHostAddress strangerAddress("127.0.0.2");
    {
        QTcpSocket probe; // some systems route only 127.0.0.1
        if (!probe.bind(strangerAddress))
            QSKIP("127.0.0.2 is not available here");
    }
    const QByteArray payload = randomBytes(50000, 14);
    const QString source = m_local->filePath("up.bin");
    QVERIFY(putFile(source, payload));
    FakeConnection* stranger = nullptr;
    FakeConnection* server = nullptr;
    m_fake->onCommand = [&](const QByteArray& command) {
        m_fake->reply("150 Opening data connection");
        stranger = m_fake->peer.connectTo(m_fake->dataHost, m_fake->dataPort, strangerAddress);
        stranger->send("not your data");
        later(200, [&, command] {
            if (command.startsWith("RETR"))
                m_fake->sendData(payload, "226 Transfer complete");
            else
                server = m_fake->receiveData("226 Transfer complete");
        });
    };
    login();
    const QString local = m_local->filePath("got.bin");
    if (operation == "RETR") {
        m_ftp->Download("f", local);
        QVERIFY(fileBytes(local) == payload);
    } else {
        m_ftp->Upload(source, "up.bin");
        QVERIFY(server && server->received() == payload);
    }
    QVERIFY(stranger);
    QVERIFY(stranger->received().isEmpty());
    QVERIFY(pumpUntil([&] { return !stranger->isOpen(); }, 2s));
    QVERIFY(m_statuses.contains("Refused data connection from 127.0.0.2: not the server 127.0.0.1"));
    QCOMPARE(m_events.last(), QString(operation == "RETR" ? "success Download" : "success Upload"));
    QVERIFY(QFile::remove(source));
}

QTEST_GUILESS_MAIN(TestFtpFaults)
#include "tst_ftpfaults.moc"
