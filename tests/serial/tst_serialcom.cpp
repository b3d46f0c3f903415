#include "common/PtyPair.h"
#include "serial/TSerialCom.h"
#include "support/Errors.h"
#include "support/Wait.h"

#include <QSignalSpy>
#include <QtTest>

#include <termios.h>

using namespace std::chrono_literals;
using namespace vantor;
using vantor::test::ComMapping;
using vantor::test::PtyPair;

class TestSerialCom : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void opensMappedDeviceWith9600_8N1();
    void farEndBytesRaiseArrivedAndRead();
    void writeReachesFarEnd();
    void openPurgesWhatWaitedBefore();
    void openTwiceKeepsThePort();
    void closeWhenClosedDoesNothing();
    void openedFlagDoesNotTouchThePort();
    void silentLineRaisesNothing();
    void missingPortNamesIt_data();
    void missingPortNamesIt();
    void portInUseIsRefused();
    void com2UsesItsOwnMapping();
    void vanishedFarEndClosesThePort();
};

void TestSerialCom::opensMappedDeviceWith9600_8N1() {
    PtyPair pty;
    QVERIFY(pty.isOpen());
    ComMapping map(1, pty.slavePath());
    TSerialCom com;
    QCOMPARE(com.ComID(), 1);
    QVERIFY(com.Open());
    QVERIFY(com.Opened());

    termios t{};
    QVERIFY(pty.attributes(&t));
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(cfgetispeed(&t), speed_t(B9600));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QCOMPARE(t.c_cc[VSTART], cc_t(17));
    QCOMPARE(t.c_cc[VSTOP], cc_t(19));
    QCOMPARE(t.c_lflag & (ICANON | ECHO), tcflag_t(0)); // raw: bytes pass as they are
}

void TestSerialCom::farEndBytesRaiseArrivedAndRead() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    TSerialCom com;
    com.setInterval(10);
    QSignalSpy arrived(&com, &TSerialCom::OnArrived);
    QVERIFY(com.Open());

    QVERIFY(pty.send("hello\r"));
    QVERIFY(pumpUntil([&] { return arrived.count() > 0; }, 2s));
    QCOMPARE(arrived.first().first().value<TSerialCom*>(), &com);
    QCOMPARE(com.ReceivedCount(), 6);

    char buffer[16] = {};
    QVERIFY(com.Read(buffer, 3));
    QCOMPARE(QByteArray(buffer, 3), QByteArray("hel"));
    QCOMPARE(com.ReceivedCount(), 3);
    QVERIFY(com.Read(buffer, sizeof buffer));
    QCOMPARE(QByteArray(buffer, 3), QByteArray("lo\r"));
    QCOMPARE(com.ReceivedCount(), 0);
}

void TestSerialCom::writeReachesFarEnd() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    TSerialCom com;
    QVERIFY(com.Open());
    QVERIFY(com.Write("dir\r", 4));
    QCOMPARE(pty.receive(4, 2s), QByteArray("dir\r"));

    // More than one pass through the driver, every byte value.
    QByteArray block;
    for (int i = 0; i < 3000; ++i)
        block.append(char(i & 0xFF));
    QVERIFY(com.Write(block.constData(), block.size()));
    QCOMPARE(pty.receive(block.size(), 5s), block);
}

void TestSerialCom::openPurgesWhatWaitedBefore() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    QVERIFY(pty.send("stale bytes"));
    TSerialCom com;
    QVERIFY(com.Open());
    QCOMPARE(com.ReceivedCount(), 0);
    QVERIFY(pty.send("x"));
    QVERIFY(pumpUntil([&] { return com.ReceivedCount() == 1; }, 2s));
}

void TestSerialCom::openTwiceKeepsThePort() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    TSerialCom com;
    QVERIFY(com.Open());
    QVERIFY(pty.send("ab"));
    QVERIFY(pumpUntil([&] { return com.ReceivedCount() == 2; }, 2s));
    QVERIFY(com.Open()); // no reopen, so no purge either
    QCOMPARE(com.ReceivedCount(), 2);
    QVERIFY(com.Opened());
}

void TestSerialCom::closeWhenClosedDoesNothing() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    TSerialCom com;
    com.Close();
    QVERIFY(!com.Opened());
    QVERIFY(com.Open());
    com.Close();
    com.Close();
    QVERIFY(!com.Opened());
    QCOMPARE(com.ReceivedCount(), 0);
    QVERIFY_THROWS_EXCEPTION(FileError, com.Write("x", 1));
    QVERIFY(com.Open()); // the device is free again
    com.Close();
    // A flag set by hand is cleared by Close all the same.
    com.setOpened(true);
    com.Close();
    QVERIFY(!com.Opened());
}

void TestSerialCom::openedFlagDoesNotTouchThePort() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    TSerialCom com;
    com.setInterval(10);
    QSignalSpy arrived(&com, &TSerialCom::OnArrived);

    com.setOpened(true);
    QVERIFY_THROWS_EXCEPTION(FileError, com.Write("x", 1)); // still closed
    com.setOpened(false);

    QVERIFY(com.Open());
    com.setOpened(false);
    QVERIFY(pty.send("z"));
    QVERIFY(pumpUntil([&] { return arrived.count() > 0; }, 2s)); // still open and polled
    QVERIFY(com.Write("y", 1));
    QCOMPARE(pty.receive(1, 2s), QByteArray("y"));
}

void TestSerialCom::silentLineRaisesNothing() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    TSerialCom com;
    com.setInterval(10);
    QSignalSpy arrived(&com, &TSerialCom::OnArrived);
    QVERIFY(com.Open());
    pumpFor(200ms);
    QCOMPARE(arrived.count(), 0);
}

void TestSerialCom::missingPortNamesIt_data() {
    QTest::addColumn<int>("comId");
    QTest::newRow("COM1") << 1;
    QTest::newRow("COM2") << 2;
}

void TestSerialCom::missingPortNamesIt() {
    QFETCH(int, comId);
    ComMapping map(comId, QStringLiteral("/nonexistent/vantor-tty"));
    TSerialCom com;
    com.setComID(comId);
    const QString name = QStringLiteral("COM%1").arg(comId);
    try {
        com.Open();
        QFAIL("opened a missing device");
    } catch (const FileError& e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(name)),
                 qPrintable(e.message()));
        QVERIFY2(!e.message().contains("vantor-tty"), qPrintable(e.message()));
    }
    QVERIFY(!com.Opened());
    QVERIFY_THROWS_EXCEPTION(FileError, com.Open()); // nothing half-open was left behind
}

void TestSerialCom::portInUseIsRefused() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    TSerialCom first;
    QVERIFY(first.Open());
    TSerialCom second;
    QVERIFY_THROWS_EXCEPTION(FileError, second.Open());
    QVERIFY(!second.Opened());
    first.Close();
    QVERIFY(second.Open());
}

void TestSerialCom::com2UsesItsOwnMapping() {
    PtyPair pty;
    ComMapping one(1, QStringLiteral("/nonexistent/vantor-tty"));
    ComMapping two(2, pty.slavePath());
    QCOMPARE(TSerialCom::deviceName(2), pty.slavePath());
    qunsetenv("VANTOR_COM3");
    QCOMPARE(TSerialCom::deviceName(3), QStringLiteral("/dev/ttyS2"));

    TSerialCom com;
    com.setComID(2);
    QVERIFY(com.Open());
    QVERIFY(com.Write("2", 1));
    QCOMPARE(pty.receive(1, 2s), QByteArray("2"));
}

QTEST_GUILESS_MAIN(TestSerialCom)
void TestSerialCom::vanishedFarEndClosesThePort() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    TSerialCom com;
    com.setInterval(10);
    QSignalSpy lost(&com, &TSerialCom::lineLost);
    QVERIFY(com.Open());
    QVERIFY(pty.send("last words\r"));
    pumpFor(100ms);

    pty.hangUp();
    QVERIFY(pumpUntil([&] { return lost.count() > 0; }, 3s));
    QVERIFY(!com.Opened());
    QCOMPARE(com.ReceivedCount(), 0);
    QCOMPARE(lost.count(), 1);
    // Closed for good: the component opens again once a device is there.
    PtyPair again;
    ComMapping remap(1, again.slavePath());
    QVERIFY(com.Open());
    QVERIFY(com.Opened());
}

#include "tst_serialcom.moc"
