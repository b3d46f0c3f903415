// The socket component on its own, against a fake peer: name resolution, line and
// buffer reads, waits that end on close, cancel or time-out, status levels.

#include "common/FakePeer.h"
#include "common/TestSupport.h"
#include "ftp/AsyncSocket.h"
#include "support/Wait.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace vantor;
using namespace vantor::test;
using namespace std::chrono_literals;

class TestAsyncSocket : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void dottedAddressNeedsNoLookup();
    void namesAreLookedUp();
    void broadcastAddressIsLookedUpAsAName_data();
    void broadcastAddressIsLookedUpAsAName();
    void unresolvableHostRetriesOnceWhenHandled_data();
    void unresolvableHostRetriesOnceWhenHandled();
    void alreadyConnected();
    void readsLinesAndBuffers();
    void readWithNothingBuffered();
    void transactionReplyCodes_data();
    void transactionReplyCodes();
    void peerCloseEndsWaits_data();
    void peerCloseEndsWaits();
    void cancelEndsLineWait();
    void silentPeerTimesOut();
    void sendEmptyFileReturnsAtOnce();
    void captureTakesEverythingUntilClose();
    void acceptWaits();
    void statusLevels();

private:
    void connectSocket();

    std::unique_ptr<FakePeer> m_peer;
    std::unique_ptr<TAsyncSocket> m_socket;
    QStringList m_statuses;
};

void TestAsyncSocket::init() {
    m_peer = std::make_unique<FakePeer>();
    QVERIFY(m_peer->isListening());
    m_socket = std::make_unique<TAsyncSocket>();
    m_socket->Host = "127.0.0.1";
    m_socket->Port = m_peer->port();
    m_socket->TimeOut = 2000;
    m_statuses.clear();
    m_socket->OnStatus = [this](TAsyncSocket*, const QString& s) { m_statuses << s; };
}

void TestAsyncSocket::cleanup() {
    m_peer.reset();
    m_socket.reset();
}

void TestAsyncSocket::connectSocket() {
    bool connected = false;
    m_socket->OnConnect = [&](TAsyncSocket* sender) { connected = sender == m_socket.get(); };
    m_socket->Connect();
    QVERIFY(connected);
    QVERIFY(m_socket->IsConnected());
    m_socket->OnConnect = nullptr;
    QVERIFY(pumpUntil([this] { return !m_peer->connections().isEmpty(); }, 2s));
}

void TestAsyncSocket::dottedAddressNeedsNoLookup() {
    int resolved = 0;
    m_socket->OnHostResolved = [&](TAsyncSocket*) { ++resolved; };
    connectSocket();
    QCOMPARE(resolved, 0);
    QCOMPARE(m_socket->RemoteAddress(), QHostAddress("127.0.0.1"));
}

void TestAsyncSocket::namesAreLookedUp() {
    int resolved = 0;
    m_socket->Host = "localhost";
    m_socket->OnHostResolved = [&](TAsyncSocket*) { ++resolved; };
    connectSocket();
    QCOMPARE(resolved, 1);
    QCOMPARE(m_socket->RemoteAddress().protocol(), QAbstractSocket::IPv4Protocol);
}

void TestAsyncSocket::broadcastAddressIsLookedUpAsAName_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("lookedUp");
    QTest::newRow("127.0.0.1") << "127.0.0.1" << false;
    QTest::newRow("255.255.255.255") << "255.255.255.255" << true; // inet_addr cannot tell it from "none"
}

void TestAsyncSocket::broadcastAddressIsLookedUpAsAName() {
    QFETCH(QString, host);
    QFETCH(bool, lookedUp);
    m_socket->Host = host;
    m_socket->TimeOut = 3000;
    m_socket->ReportLevel = 8;
    try {
        m_socket->ResolveHost();
    } catch (const ESockError&) {
        // whatever the lookup finds, it is the way taken that counts here
    }
    QCOMPARE(m_statuses.contains("Timer On"), lookedUp);
}

void TestAsyncSocket::unresolvableHostRetriesOnceWhenHandled_data() {
    QTest::addColumn<bool>("handled");
    QTest::addColumn<int>("lookups");
    QTest::newRow("handler asks for a retry") << true << 2;
    QTest::newRow("handler declines") << false << 1;
}

void TestAsyncSocket::unresolvableHostRetriesOnceWhenHandled() {
    QFETCH(bool, handled);
    QFETCH(int, lookups);
    m_socket->Host = ""; // fails at once, without asking any name server
    m_socket->ReportLevel = 8;
    int asked = 0;
    m_socket->OnInvalidHost = [&](bool& h) {
        ++asked;
        h = handled;
    };
    try {
        m_socket->Connect();
        QFAIL("connected");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Null Remote Address"));
    }
    QCOMPARE(asked, 1);
    QCOMPARE(m_statuses.count("Resolve Host"), lookups);
}

void TestAsyncSocket::alreadyConnected() {
    connectSocket();
    try {
        m_socket->Connect();
        QFAIL("connected twice");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Already connected"));
    }
}

void TestAsyncSocket::readsLinesAndBuffers() {
    m_peer->onConnection = [](FakeConnection& c) { c.send("first\r\nsecond\nthird"); };
    connectSocket();
    QVERIFY(pumpUntil([this] { return m_socket->BufferedCount() == 19; }, 2s));
    QCOMPARE(m_socket->ReadLn(), QString("first\r\n")); // the CR stays in the line
    QCOMPARE(m_socket->BufferedCount(), 12);
    QCOMPARE(m_socket->ReadLn(), QString("second\n"));
    QCOMPARE(m_socket->Read(3), QString("thi"));
    QCOMPARE(m_socket->Read(0), QString("rd"));
    QCOMPARE(m_socket->Read(0), QString());
}

void TestAsyncSocket::readWithNothingBuffered() {
    QCOMPARE(m_socket->Read(0), QString());
    QCOMPARE(m_socket->ReceivedCount(), 0);
}

void TestAsyncSocket::transactionReplyCodes_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("code");
    QTest::newRow("230 and a space") << QByteArray("230 Logged in\r\n") << 230;
    QTest::newRow("no digits") << QByteArray("Logged in\r\n") << 0;
    QTest::newRow("LF only") << QByteArray("200 ok\n") << 200;
}

void TestAsyncSocket::transactionReplyCodes() {
    QFETCH(QByteArray, reply);
    QFETCH(int, code);
    QByteArray received;
    m_peer->onLine = [&](FakeConnection& c, const QByteArray& line) {
        received = line;
        c.send(reply);
    };
    connectSocket();
    QCOMPARE(m_socket->Transaction("NOOP"), QString::fromLatin1(reply));
    QCOMPARE(int(m_socket->ReplyCode()), code);
    QCOMPARE(m_socket->LastReply(), QString::fromLatin1(reply));
    QCOMPARE(received, QByteArray("NOOP"));
    QCOMPARE(m_peer->connections().first()->received(), QByteArray("NOOP\r\n"));
}

void TestAsyncSocket::peerCloseEndsWaits_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("operation");  // 0 ReadLn, 1 Read(10)
    QTest::addColumn<QString>("result"); // a line, or "!" + the error
    QTest::newRow("line wait, nothing sent") << QByteArray() << 0 << "!Connection closed by peer";
    QTest::newRow("line wait, last line without end") << QByteArray("tail") << 0 << "tail";
    QTest::newRow("count wait, too few bytes") << QByteArray("abc") << 1 << "!Connection closed by peer";
}

void TestAsyncSocket::peerCloseEndsWaits() {
    QFETCH(QByteArray, sent);
    QFETCH(int, operation);
    QFETCH(QString, result);
    m_socket->TimeOut = 0; // only the close can end these waits
    int disconnects = 0;
    m_socket->OnDisconnect = [&](TAsyncSocket*) { ++disconnects; };
    m_peer->onConnection = [&](FakeConnection& c) {
        c.send(sent);
        QTimer::singleShot(100, &c, [&c] { c.close(); });
    };
    connectSocket();
    try {
        const QString got = operation == 0 ? m_socket->ReadLn() : m_socket->Read(10);
        QCOMPARE(got, result);
    } catch (const ESockError& e) {
        QCOMPARE("!" + e.message(), result);
    }
    QCOMPARE(disconnects, 1);
    QVERIFY(!m_socket->IsConnected());
}

void TestAsyncSocket::cancelEndsLineWait() {
    m_socket->TimeOut = 0;
    connectSocket();
    QTimer::singleShot(50, m_socket.get(), [this] { m_socket->Cancel(); });
    try {
        m_socket->ReadLn();
        QFAIL("read a line");
    } catch (const EAbortError& e) {
        QCOMPARE(e.message(), QString("Socket readln aborted"));
    }
    QVERIFY(m_socket->CancelRequested()); // a line wait leaves the flag set
    QTimer::singleShot(50, m_socket.get(), [this] { m_socket->Cancel(); });
    try {
        m_socket->Read(5);
        QFAIL("read");
    } catch (const EAbortError& e) {
        QCOMPARE(e.message(), QString("Socket send aborted"));
    }
    QVERIFY(!m_socket->CancelRequested());
}

void TestAsyncSocket::silentPeerTimesOut() {
    m_socket->TimeOut = 300;
    connectSocket();
    QElapsedTimer t;
    t.start();
    try {
        m_socket->ReadLn();
        QFAIL("read a line");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Timed out waiting for a reply"));
    }
    QVERIFY(t.elapsed() >= 299);
    QVERIFY(t.elapsed() < 3000);
    QVERIFY(m_socket->IsConnected()); // a time-out closes nothing
}

void TestAsyncSocket::sendEmptyFileReturnsAtOnce() {
    QTemporaryDir dir;
    const QString path = dir.filePath("empty");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    connectSocket();
    int packets = 0;
    m_socket->OnPacketSent = [&](TAsyncSocket*) { ++packets; };
    m_socket->SendFile(path);
    QCOMPARE(m_socket->SentCount(), 0);
    QCOMPARE(m_socket->TransferSize(), 0);
    QCOMPARE(packets, 0);
    try {
        m_socket->SendFile(dir.filePath("absent"));
        QFAIL("sent a missing file");
    } catch (const FileError& e) {
        QVERIFY(e.message().contains("absent"));
    }
}

// Bytes that arrive with the close are still captured, and counted.
void TestAsyncSocket::captureTakesEverythingUntilClose() {
    const QByteArray payload = randomBytes(100000, 11);
    m_peer->onConnection = [&](FakeConnection& c) {
        QTimer::singleShot(50, &c, [&c, &payload] {
            c.send(payload);
            c.close();
        });
    };
    connectSocket();
    QTemporaryDir dir;
    const QString path = dir.filePath("capture.bin");
    m_socket->CaptureFile(path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll() == payload);
    QCOMPARE(m_socket->ReceivedCount(), qint64(payload.size()));
}

void TestAsyncSocket::acceptWaits() {
    TAsyncSocket listener;
    listener.TimeOut = 300;
    listener.Listen(true);
    try {
        listener.Accept();
        QFAIL("accepted");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Timed out waiting for the data connection"));
    }
    QTimer::singleShot(50, &listener, [&] { listener.Cancel(); });
    listener.TimeOut = 0;
    try {
        listener.Accept();
        QFAIL("accepted");
    } catch (const ESockError& e) {
        QCOMPARE(e.message(), QString("Accepting Canceled"));
    }

    // A connection arrives: it is handed over and carries the data.
    TAsyncSocket server;
    server.Listen(true);
    const quint16 port = quint16(server.LocalPortText().section(',', 1, 1).toInt() * 256 +
                                 server.LocalPortText().section(',', 2, 2).toInt());
    FakeConnection* c = m_peer->connectTo(QHostAddress::LocalHost, port);
    c->send("hello\r\n");
    server.TimeOut = 2000;
    server.UseAcceptedSocket(server.Accept());
    QVERIFY(server.IsConnected());
    QCOMPARE(server.ReadLn(), QString("hello\r\n"));
}

void TestAsyncSocket::statusLevels() {
    m_peer->onLine = [](FakeConnection& c, const QByteArray&) { c.sendLine("200 ok"); };
    m_socket->ReportLevel = 0;
    connectSocket();
    m_socket->Transaction("NOOP");
    QVERIFY(m_statuses.isEmpty());
    QVERIFY(m_socket->LastStatus().isEmpty());

    m_socket->ReportLevel = 4;
    m_socket->Transaction("NOOP");
    QCOMPARE(m_statuses, (QStringList{"Sending Buffer", "200 ok\r\n"}));
    QCOMPARE(m_socket->LastStatus(), QString("200 ok\r\n"));

    m_statuses.clear();
    m_socket->ReportLevel = 8;
    m_socket->Transaction("NOOP");
    QCOMPARE(m_statuses.mid(0, 4), (QStringList{"Transaction", "Writeln", "Write", "Sending Buffer"}));
    QVERIFY(m_statuses.contains("ReadLn"));
    QVERIFY(m_statuses.contains("WriteFromStream"));
    QVERIFY(m_statuses.contains("ReadToStream"));
}

QTEST_GUILESS_MAIN(TestAsyncSocket)
#include "tst_asyncsocket.moc"
