// vantor-ftp, run as an engineer would, against the pyftpdlib server.

#include "common/FtpServerFixture.h"
#include "common/TestSupport.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;
using namespace vantor::test;
using namespace std::chrono_literals;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class TestFtpCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void sessionOfCommands();
    void failingCommandStopsTheRun();
    void existingFolderFails();
    void asciiAndVerbose();
    void badUsage_data();
    void badUsage();
    void refusedConnection();
    void wrongPassword();

private:
    Run run(const QStringList& commandsAndOptions, bool withServer = true);

    std::unique_ptr<FtpServerFixture> m_server;
    std::unique_ptr<QTemporaryDir> m_local;
};

void TestFtpCli::init() {
    m_server = std::make_unique<FtpServerFixture>(FtpServerFixture::Options{.devices = {"h0"}});
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    m_local = std::make_unique<QTemporaryDir>();
    QVERIFY(m_local->isValid());
}

void TestFtpCli::cleanup() {
    m_server.reset();
    m_local.reset();
}

Run TestFtpCli::run(const QStringList& arguments, bool withServer) {
    QProcess process;
    process.setWorkingDirectory(m_local->path());
    QStringList args;
    if (withServer)
        args << "--host" << m_server->host() << "--port" << QString::number(m_server->port()) << "--timeout"
             << "10000";
    process.start(QStringLiteral(VANTOR_FTP_CLI), args + arguments);
    Run r;
    if (!pumpUntil([&] { return process.state() == QProcess::NotRunning; }, 60s)) {
        process.kill();
        pumpUntil([&] { return process.state() == QProcess::NotRunning; }, 5s);
        r.err = "<did not finish>";
        return r;
    }
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    r.out = process.readAllStandardOutput();
    r.err = process.readAllStandardError();
    return r;
}

void TestFtpCli::sessionOfCommands() {
    const QByteArray data = randomBytes(70000, 5);
    QVERIFY(putFile(m_local->filePath("module.bin"), data));
    const Run r =
        run({"pwd", "mkdir h0/QEL_V4", "cd /h0/QEL_V4", "pwd", "put module.bin",
             "put module.bin \"copy of module\"", "ls", "get module.bin back.bin", "get \"copy of module\""});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.at(0), QByteArray("/"));
    QCOMPARE(lines.at(1), QByteArray("/h0/QEL_V4"));
    QCOMPARE(lines.size(), 5); // two folders, two listing lines, the end
    QVERIFY(lines.at(2).endsWith(" copy of module") && lines.at(2).contains(" 70000 "));
    QVERIFY(lines.at(3).endsWith(" module.bin"));
    QVERIFY(fileBytes(m_server->localPath("h0/QEL_V4/module.bin")) == data);
    QVERIFY(fileBytes(m_local->filePath("back.bin")) == data);
    QVERIFY(fileBytes(m_local->filePath("copy of module")) == data);
    QVERIFY(r.err.isEmpty());
}

void TestFtpCli::failingCommandStopsTheRun() {
    const Run r = run({"cd nothere", "mkdir never"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith("550 "), r.err.constData());
    QVERIFY(!QFileInfo::exists(m_server->localPath("never")));
}

void TestFtpCli::existingFolderFails() {
    QVERIFY(QDir().mkpath(m_server->localPath("h0/there")));
    QVERIFY(putFile(m_local->filePath("keep.txt"), "keep"));
    const Run r = run({"mkdir h0/there"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith("550 "), r.err.constData());
    const Run missing = run({"get absent.txt keep.txt"});
    QCOMPARE(missing.exitCode, 1);
    QCOMPARE(fileBytes(m_local->filePath("keep.txt")), QByteArray("keep"));
}

void TestFtpCli::asciiAndVerbose() {
    QVERIFY(putFile(m_server->localPath("text.txt"), "one\ntwo\n"));
    const Run r = run({"--ascii", "--verbose", "get text.txt"});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QString err = QString::fromLatin1(r.err);
    QVERIFY2(err.contains("\nTYPE A\n") && err.contains("\n200 "), qPrintable(err));
    QVERIFY(err.contains("\nRETR text.txt\n"));
    QVERIFY(err.contains("\nPASS \n") || err.contains("\nPASS\n"));
    QVERIFY(!err.contains("kolm"));
    QCOMPARE(fileBytes(m_local->filePath("text.txt")), QByteArray("one\r\ntwo\r\n")); // the server's ASCII form
}

void TestFtpCli::badUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown command") << QStringList{"pwd", "frobnicate x"} << "Unknown command: frobnicate x";
    QTest::newRow("missing argument") << QStringList{"cd"} << "Wrong number of arguments: cd";
    QTest::newRow("too many arguments") << QStringList{"get a b c"} << "Wrong number of arguments: get a b c";
    QTest::newRow("both types") << QStringList{"--ascii", "--binary", "pwd"}
                                << "Give either --ascii or --binary";
    QTest::newRow("bad port") << QStringList{"--port", "99999", "pwd"} << "Invalid port: 99999";
}

void TestFtpCli::badUsage() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const Run r = run(arguments, false);
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(QString::fromLatin1(r.err).trimmed(), message);
}

void TestFtpCli::refusedConnection() {
    const quint16 closedPort = test::closedPort();
    QVERIFY(closedPort != 0);
    const Run r = run({"--host", "127.0.0.1", "--port", QString::number(closedPort), "pwd"}, false);
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("Error 10061: 10061:Connection refused\nConnection Failed\n"));
}

void TestFtpCli::wrongPassword() {
    const Run r = run({"--password", "wrong", "pwd"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith("530 "), r.err.constData());
    QVERIFY(r.out.isEmpty());
}

QTEST_GUILESS_MAIN(TestFtpCli)
#include "tst_ftpcli.moc"
