// The FTP client against a real server: pyftpdlib on loopback, active mode.

#include "common/FtpServerFixture.h"
#include "common/TestSupport.h"
#include "ftp/FtpClient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantor;
using namespace vantor::test;

namespace {

// What a client reported, in order.
struct Recorder {
    QStringList events;
    QStringList statuses;
    QStringList items;

    void attach(TFtpClient& ftp) {
        ftp.ReportLevel = 1;
        ftp.OnStatus = [this](TAsyncSocket*, const QString& s) { statuses << s.trimmed(); };
        ftp.OnConnect = [this](TAsyncSocket*) { events << "connect"; };
        ftp.OnDisconnect = [this](TAsyncSocket*) { events << "disconnect"; };
        ftp.OnSuccess = [this](TCmdType t) { events << "success " + CmdTypeName(t); };
        ftp.OnFailure = [this](bool&, TCmdType t) { events << "failure " + CmdTypeName(t); };
        ftp.OnTransactionStart = [this](TAsyncSocket*) { events << "start"; };
        ftp.OnTransactionStop = [this](TAsyncSocket*) { events << "stop"; };
        ftp.OnListItem = [this](const QString& line) { items << line; };
    }
    QStringList sent() const { // commands as reported
        QStringList out;
        for (const QString& s : statuses)
            if (!s.isEmpty() && !s.at(0).isDigit())
                out << s;
        return out;
    }
};

} // namespace

class TestFtpSession : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void loginCommandsAndQuit();
    void makeDirNewAndExisting();
    void transferTypes();
    void listAndNameList();
    void systDetectionOncePerLogin();
    void os9Listing();
    void roundTrip_data();
    void roundTrip();
    void downloadCountersAndPacketEvents();
    void uploadCountersAndPacketEvents();
    void downloadReplacesExistingFileOnSuccess();
    void missingRemoteFileLeavesLocalFile();
    void unwritableLocalFolderFailsBeforeTheTransfer();

private:
    void connectClient();

    std::unique_ptr<FtpServerFixture> m_server;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<TFtpClient> m_ftp;
    Recorder m_rec;
};

void TestFtpSession::init() {
    m_server = std::make_unique<FtpServerFixture>(FtpServerFixture::Options{.devices = {"h0"}});
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    m_local = std::make_unique<QTemporaryDir>();
    QVERIFY(m_local->isValid());
    m_ftp = std::make_unique<TFtpClient>();
    m_ftp->Host = m_server->host();
    m_ftp->Port = m_server->port();
    m_ftp->TimeOut = 10000;
    m_ftp->UserID = "super";
    m_ftp->Password = "kolm";
    m_rec = Recorder{};
    m_rec.attach(*m_ftp);
}

void TestFtpSession::cleanup() {
    m_ftp.reset();
    m_server.reset();
    m_local.reset();
}

void TestFtpSession::connectClient() {
    m_ftp->Connect();
    QVERIFY(m_ftp->IsConnected());
}

void TestFtpSession::loginCommandsAndQuit() {
    connectClient();
    QCOMPARE(m_rec.events, QStringList{"connect"});
    QVERIFY(m_rec.statuses.contains("PASS")); // reported without the password
    QVERIFY(!m_rec.statuses.join('|').contains("kolm"));

    QCOMPARE(m_ftp->CurrentDir(), QString("/"));
    m_ftp->ChangeDir("h0");
    QCOMPARE(m_ftp->CurrentDir(), QString("/h0"));
    QCOMPARE(m_rec.events,
             (QStringList{"connect", "success CurrentDir", "success ChangeDir", "success CurrentDir"}));

    m_rec.events.clear();
    QVERIFY_THROWS_EXCEPTION(FTPException, m_ftp->ChangeDir("nothere"));
    QCOMPARE(m_rec.events, QStringList{"failure ChangeDir"});
    QVERIFY(m_ftp->LastReply().startsWith("550"));

    m_rec.events.clear();
    m_ftp->Disconnect();
    QVERIFY(!m_ftp->IsConnected());
    QCOMPARE(m_rec.events, QStringList{"disconnect"});
    QVERIFY(m_rec.sent().contains("QUIT"));
    QCOMPARE(int(m_ftp->ReplyCode()), 221);

    // Once disconnected, nothing is sent and nothing fires.
    m_rec.events.clear();
    m_ftp->Disconnect();
    QVERIFY(m_rec.events.isEmpty());
    try {
        m_ftp->ChangeDir("h0");
        QFAIL("no exception");
    } catch (const Error& e) {
        QCOMPARE(e.message(), QString("Not Connected"));
    }
}

void TestFtpSession::makeDirNewAndExisting() {
    connectClient();
    m_ftp->MakeDir("fresh");
    QVERIFY(QFileInfo(m_server->localPath("fresh")).isDir());
    QCOMPARE(m_rec.events.last(), QString("success MakeDir"));

    // The folder exists: a handler that marks the failure handled keeps it quiet.
    m_rec.events.clear();
    m_ftp->OnFailure = [this](bool& handled, TCmdType t) {
        m_rec.events << "failure " + CmdTypeName(t);
        handled = t == ctMakeDir;
    };
    m_ftp->MakeDir("fresh");
    QCOMPARE(m_rec.events, QStringList{"failure MakeDir"});
    QCOMPARE(int(m_ftp->ReplyCode()), 550);

    // Without a handler the failure is raised with the server's reply.
    m_ftp->OnFailure = nullptr;
    try {
        m_ftp->MakeDir("fresh");
        QFAIL("no exception");
    } catch (const FTPException& e) {
        QVERIFY2(e.message().startsWith("550 ") && e.message().endsWith("\r\n"), qPrintable(e.message()));
    }
    QVERIFY(m_ftp->IsConnected()); // the session goes on
    m_ftp->ChangeDir("fresh");
}

void TestFtpSession::transferTypes() {
    connectClient();
    m_ftp->SetMode(tmAscii);
    QCOMPARE(int(m_ftp->ReplyCode()), 200);
    m_ftp->SetMode(tmImage);
    QCOMPARE(int(m_ftp->ReplyCode()), 200);
    m_ftp->SetMode(7); // no such mode: nothing sent
    QCOMPARE(m_rec.events, (QStringList{"connect", "success DoCommand", "success DoCommand"}));
    QCOMPARE(m_rec.sent().filter("TYPE"), (QStringList{"TYPE A", "TYPE I"}));
}

void TestFtpSession::listAndNameList() {
    QVERIFY(putFile(m_server->localPath("h0/alpha.txt"), "a"));
    QVERIFY(putFile(m_server->localPath("h0/beta.bin"), QByteArray(1234, 'b')));
    QDir().mkpath(m_server->localPath("h0/CMDS"));
    connectClient();
    m_ftp->ChangeDir("/h0");
    m_rec.events.clear();
    m_ftp->List();
    QCOMPARE(m_rec.events, (QStringList{"start", "stop", "success List"}));
    QCOMPARE(m_rec.items.size(), 3); // sorted by name, capitals first
    QVERIFY(m_rec.items.at(0).startsWith("d") && m_rec.items.at(0).endsWith(" CMDS"));
    QVERIFY(m_rec.items.at(1).startsWith("-rw") && m_rec.items.at(1).endsWith(" alpha.txt"));
    QVERIFY(m_rec.items.at(2).contains(" 1234 ") && m_rec.items.at(2).endsWith(" beta.bin"));
    for (const QString& item : m_rec.items)
        QVERIFY(!item.endsWith('\n') && !item.endsWith('\r'));
    // The received count of the listing becomes the transfer size.
    qint64 listed = 0;
    for (const QString& item : m_rec.items)
        listed += item.size() + 2;
    QCOMPARE(m_ftp->TransferSize(), listed);
    QCOMPARE(m_ftp->ReceivedCount(), 0); // no data connection any more
    QVERIFY(!m_ftp->DataConnection());

    m_rec.events.clear();
    m_rec.items.clear();
    m_ftp->NList();
    QCOMPARE(m_rec.events, (QStringList{"start", "stop", "success NList"}));
    QCOMPARE(m_rec.items, (QStringList{"CMDS", "alpha.txt", "beta.bin"}));
}

void TestFtpSession::systDetectionOncePerLogin() {
    QVERIFY(putFile(m_server->localPath("f.txt"), "x"));
    m_ftp->ParseList = true;
    connectClient();
    QCOMPARE(m_ftp->Vendor, int(VendorDetect));
    m_ftp->List();
    QCOMPARE(m_ftp->Vendor, int(VendorUnix));
    QVERIFY(m_ftp->DirectoryList());
    QCOMPARE(m_ftp->DirectoryList()->Names, (QStringList{"f.txt", "h0"}));
    QCOMPARE(m_ftp->DirectoryList()->Sizes.first(), QString("1"));
    QCOMPARE(m_rec.sent().count("SYST"), 1);
    QCOMPARE(m_rec.events.filter("DoCommand"), QStringList{"success DoCommand"}); // the SYST

    m_ftp->List(); // the same login: no second SYST, lists filled afresh
    QCOMPARE(m_rec.sent().count("SYST"), 1);
    QCOMPARE(m_ftp->DirectoryList()->Names, (QStringList{"f.txt", "h0"}));

    m_ftp->Disconnect();
    QCOMPARE(m_ftp->Vendor, int(VendorDetect));
    QVERIFY(!m_ftp->DirectoryList());
    m_ftp->Connect();
    m_ftp->List();
    QCOMPARE(m_rec.sent().count("SYST"), 2);
}

// The shared test server speaks the controller's listing format when asked to.
void TestFtpSession::os9Listing() {
    m_ftp.reset();
    m_server =
        std::make_unique<FtpServerFixture>(FtpServerFixture::Options{.devices = {"h0"}, .os9Listing = true});
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    QDir().mkpath(m_server->localPath("h0/QEL_V4/CMDS"));
    QVERIFY(putFile(m_server->localPath("h0/QEL_V4/startup"), QByteArray(1234, 's')));
    m_ftp = std::make_unique<TFtpClient>();
    m_ftp->Host = m_server->host();
    m_ftp->Port = m_server->port();
    m_ftp->UserID = "super";
    m_ftp->Password = "kolm";
    m_ftp->TimeOut = 10000;
    m_rec = Recorder{};
    m_rec.attach(*m_ftp);
    connectClient();
    m_ftp->ChangeDir("/h0/QEL_V4");
    m_ftp->List();
    QCOMPARE(m_rec.items.size(), 5);
    QVERIFY2(QRegularExpression(R"(^ {28}Directory of /h0/QEL_V4  \d{4}/\d\d/\d\d \d\d:\d\d$)")
                 .match(m_rec.items[0])
                 .hasMatch(),
             qPrintable(m_rec.items[0]));
    QCOMPARE(m_rec.items[1], QString(" Owner     Last modified  Attributes Sector Bytecount Name"));
    QCOMPARE(m_rec.items[2], QString("-------    -------------  ---------- ------ --------- ----"));
    const QRegularExpression entry(
        R"(^    0\.0    \d\d/\d\d/\d\d \d{4}   ([d-])[-a-z]{7} +[0-9A-F]+ +(\d+) (\S+)$)");
    const auto folder = entry.match(m_rec.items[3]);
    const auto file = entry.match(m_rec.items[4]);
    QVERIFY2(folder.hasMatch(), qPrintable(m_rec.items[3]));
    QVERIFY2(file.hasMatch(), qPrintable(m_rec.items[4]));
    QCOMPARE(folder.captured(1), QString("d"));
    QCOMPARE(folder.captured(3), QString("CMDS"));
    QCOMPARE(file.captured(1), QString("-"));
    QCOMPARE(file.captured(2), QString("1234"));
    QCOMPARE(file.captured(3), QString("startup"));
    QCOMPARE(m_rec.items[4].indexOf("0.0"), 4); // the group number ends in column 5
}

void TestFtpSession::roundTrip_data() {
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("1 byte") << 1;
    QTest::newRow("16383 bytes") << 16383;
    QTest::newRow("16384 bytes") << 16384;
    QTest::newRow("16385 bytes") << 16385;
    QTest::newRow("3 MiB and 17 bytes") << 3 * 1024 * 1024 + 17;
}

void TestFtpSession::roundTrip() {
    QFETCH(int, size);
    const QByteArray data = randomBytes(size, quint32(size) + 7);
    const QString source = m_local->filePath("source.bin");
    const QString back = m_local->filePath("back.bin");
    QVERIFY(putFile(source, data));
    connectClient();
    m_ftp->SetMode(tmImage);
    m_ftp->ChangeDir("h0");

    m_rec.events.clear();
    m_ftp->Upload(source, QString()); // the remote name is the local file's name
    QCOMPARE(m_rec.events, (QStringList{"start", "stop", "success Upload"}));
    QCOMPARE(m_ftp->TransferSize(), qint64(size));
    QVERIFY(fileBytes(m_server->localPath("h0/source.bin")) == data);
    QVERIFY(m_rec.sent().contains("STOR " + source)); // reported with the full path

    m_rec.events.clear();
    m_ftp->Download("source.bin", back);
    QCOMPARE(m_rec.events, (QStringList{"start", "stop", "success Download"}));
    QCOMPARE(m_ftp->TransferSize(), qint64(size));
    QVERIFY(fileBytes(back) == data);
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"back.bin", "source.bin"}));
}

void TestFtpSession::downloadCountersAndPacketEvents() {
    const int size = 200000;
    QVERIFY(putFile(m_server->localPath("big.bin"), randomBytes(size)));
    connectClient();
    m_ftp->SetMode(tmImage);

    QList<qint64> seen;
    QList<TAsyncSocket*> senders;
    qint64 sizeDuring = -1;
    m_ftp->OnPacketRecvd = [&](TAsyncSocket* sender) {
        senders << sender;
        seen << m_ftp->ReceivedCount();
        sizeDuring = m_ftp->TransferSize();
    };
    m_ftp->Download("big.bin", m_local->filePath("big.bin"));
    QVERIFY(!seen.isEmpty());
    QCOMPARE(seen.last(), qint64(size));
    qint64 previous = 0;
    for (qint64 count : seen) {
        QVERIFY(count > previous);
        QVERIFY2(count - previous <= 16383, "a block is at most 16383 bytes");
        previous = count;
    }
    QVERIFY(seen.size() >= (size + 16382) / 16383);
    for (TAsyncSocket* sender : senders)
        QVERIFY(sender != m_ftp.get()); // the data connection is the sender
    QCOMPARE(sizeDuring, 0);            // pyftpdlib announces no size
    QCOMPARE(m_ftp->TransferSize(), qint64(size));
    QVERIFY(m_rec.statuses.contains(QString("Received %1 Bytes").arg(size)));
}

void TestFtpSession::uploadCountersAndPacketEvents() {
    const int size = 100000;
    const QString source = m_local->filePath("up.bin");
    QVERIFY(putFile(source, randomBytes(size)));
    connectClient();
    m_ftp->SetMode(tmImage);
    QList<qint64> seen;
    qint64 sizeDuring = -1;
    m_ftp->OnPacketSent = [&](TAsyncSocket*) {
        seen << m_ftp->SentCount();
        sizeDuring = m_ftp->TransferSize();
    };
    m_ftp->Upload(source, "up.bin");
    QCOMPARE(seen.size(), (size + 16382) / 16383); // one event per block
    for (int i = 0; i + 1 < seen.size(); ++i)
        QCOMPARE(seen.at(i), qint64(16383) * (i + 1));
    QCOMPARE(seen.last(), qint64(size));
    QCOMPARE(sizeDuring, qint64(size));
    QCOMPARE(m_ftp->SentCount(), 0);
}

void TestFtpSession::downloadReplacesExistingFileOnSuccess() {
    QVERIFY(putFile(m_server->localPath("new.txt"), "new contents"));
    const QString local = m_local->filePath("new.txt");
    QVERIFY(putFile(local, "old contents, longer than the new ones"));
    const auto ownerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser;
    QVERIFY(QFile::setPermissions(local, ownerOnly));
    connectClient();
    const QString wasCurrent = QDir::currentPath();
    QDir::setCurrent(m_local->path());
    m_ftp->Download("/new.txt", QString()); // local name from the remote file's name
    QDir::setCurrent(wasCurrent);
    QCOMPARE(fileBytes(local), QByteArray("new contents"));
    QCOMPARE(QFile::permissions(local), ownerOnly); // a replaced file keeps its permissions
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"new.txt"});

    // A new file gets the permissions any newly made file gets here.
    QVERIFY(putFile(m_local->filePath("plain.txt"), "x"));
    m_ftp->Download("/new.txt", m_local->filePath("fresh.txt"));
    QCOMPARE(QFile::permissions(m_local->filePath("fresh.txt")),
             QFile::permissions(m_local->filePath("plain.txt")));
}

void TestFtpSession::missingRemoteFileLeavesLocalFile() {
    const QString local = m_local->filePath("keep.txt");
    QVERIFY(putFile(local, "precious"));
    connectClient();
    QVERIFY_THROWS_EXCEPTION(FTPException, m_ftp->Download("absent.txt", local));
    QCOMPARE(m_rec.events.last(), QString("failure Download"));
    QCOMPARE(fileBytes(local), QByteArray("precious"));
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.txt"});
    m_ftp->ChangeDir("h0"); // the session is still usable
}

void TestFtpSession::unwritableLocalFolderFailsBeforeTheTransfer() {
    QVERIFY(putFile(m_server->localPath("f.txt"), "x"));
    connectClient();
    m_rec.statuses.clear();
    try {
        m_ftp->Download("f.txt", m_local->filePath("no/such/folder/f.txt"));
        QFAIL("no exception");
    } catch (const FileError& e) {
        QVERIFY2(e.message().startsWith("Cannot create "), qPrintable(e.message()));
    }
    QVERIFY(m_rec.sent().filter("RETR").isEmpty());
    QVERIFY(!m_rec.events.contains("success Download"));
    m_ftp->ChangeDir("h0");
}

QTEST_GUILESS_MAIN(TestFtpSession)
#include "tst_ftpsession.moc"
