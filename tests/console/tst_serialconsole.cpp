#include "common/PtyPair.h"
#include "console/engine/ConsoleCommands.h"
#include "console/engine/SerialReceiver.h"
#include "console/engine/TerminalText.h"
#include "serial/TSerialCom.h"
#include "support/Wait.h"

#include <QtTest>

using namespace std::chrono_literals;
using namespace vantor;
using vantor::test::ComMapping;
using vantor::test::PtyPair;

// The serial console's receive path and sending, over a pseudo-terminal.
class TestSerialConsole : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void arrivalsLandByLineEndRules();
    void drainTakesAtMostTheBuffer();
    void batchGoesOutLineByLineWithCr();
};

void TestSerialConsole::arrivalsLandByLineEndRules() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    TSerialCom com;
    com.setInterval(10);
    TerminalText view;
    SerialReceiver receiver;
    connect(&com, &TSerialCom::OnArrived, &com, [&](TSerialCom* port) { receiver.arrived(*port, view); });
    QVERIFY(com.Open());

    QVERIFY(pty.send("abc\r"));
    QVERIFY(pumpUntil([&] { return view.lines() == QStringList{"abc", ""}; }, 2s));
    QVERIFY(pty.send("\ndef"));
    QVERIFY(pumpUntil([&] { return view.lines() == QStringList{"abc", "def"}; }, 2s));
    QVERIFY(pty.send("\b \b"));
    QVERIFY(pumpUntil([&] { return view.lastLine() == QStringLiteral("de"); }, 2s));
    QVERIFY(pty.send("\r\nx\r\ny\r\nz"));
    QVERIFY(pumpUntil([&] { return view.lines() == QStringList{"abc", "de", "x", "y", "z"}; }, 2s));
}

void TestSerialConsole::drainTakesAtMostTheBuffer() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    TSerialCom com; // nobody listens to OnArrived: the bytes wait in the queue
    QVERIFY(com.Open());
    const QByteArray burst(2500, 'x');
    QVERIFY(pty.send(burst));
    QVERIFY(pumpUntil([&] { return com.ReceivedCount() == burst.size(); }, 2s));

    TerminalText view;
    SerialReceiver receiver;
    receiver.arrived(com, view);
    QCOMPARE(view.lastLine().size(), SerialReceiver::kReceiveBufferSize);
    QCOMPARE(com.ReceivedCount(), burst.size() - SerialReceiver::kReceiveBufferSize);
    receiver.arrived(com, view);
    receiver.arrived(com, view);
    QCOMPARE(view.lastLine(), QString(burst));
    QCOMPARE(com.ReceivedCount(), 0);
    receiver.arrived(com, view); // nothing queued: nothing changes
    QCOMPARE(view.lineCount(), 1);
}

void TestSerialConsole::batchGoesOutLineByLineWithCr() {
    PtyPair pty;
    ComMapping map(1, pty.slavePath());
    TSerialCom com;
    QVERIFY(com.Open());
    for (const QByteArray& line : batchCommands({"chd /h0", "dir st* -e", "tmode nopause"}))
        QVERIFY(com.Write(line.constData(), line.size()));
    const QByteArray expected("chd /h0\rdir st* -e\rtmode nopause\r");
    QCOMPARE(pty.receive(expected.size(), 2s), expected);
}

QTEST_GUILESS_MAIN(TestSerialConsole)
#include "tst_serialconsole.moc"
