// A controller floods the telnet console with output: 50 MB of mixed text (ASCII listing
// lines, Shift-JIS lines, CR-only progress lines) over loopback, through the telnet
// session into a shown terminal view. Prints the throughput, the longest time the event
// loop was held (the lateness of a 5 ms timer) and the peak memory against the text size.
//
//   bench_telnet_flood [megabytes]

#include "console/engine/Cp932.h"
#include "console/engine/TelnetSession.h"
#include "console/widgets/TerminalView.h"
#include "support/Wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <cstdio>

using namespace std::chrono_literals;
using namespace vantor;

namespace {

// Peak resident memory of this process so far, in bytes.
qint64 peakResidentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

// The controller: sends `total` bytes as fast as the connection takes them, then hangs up.
// Text is made block by block, so the peer itself holds little memory.
class FloodingPeer final : public QObject {
public:
    FloodingPeer(qint64 total, QList<QByteArray> japaneseLines)
        : m_total(total), m_japanese(std::move(japaneseLines)) {}

    quint16 listen() {
        m_server = new QTcpServer(this);
        m_server->listen(QHostAddress::LocalHost, 0);
        connect(m_server, &QTcpServer::newConnection, this, [this] {
            m_socket = m_server->nextPendingConnection();
            connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { feed(); });
            feed();
        });
        return m_server->serverPort();
    }

private:
    QByteArray nextBlock() {
        QByteArray block;
        block.reserve(70 * 1024);
        while (block.size() < 64 * 1024) {
            const quint32 kind = m_random.bounded(100);
            if (kind < 8) {
                block += m_japanese.at(m_random.bounded(m_japanese.size()));
            } else if (kind < 12) {
                block += "Copying ... " + QByteArray::number(m_random.bounded(100)) + "%\r";
            } else {
                block += "-----w-r  09/03/07 14:05  " +
                         QByteArray::number(m_random.bounded(1000000)).rightJustified(8, ' ') + "  " +
                         QByteArray(int(m_random.bounded(4, 40)), char('a' + m_random.bounded(26))) +
                         ".dat\r\n";
            }
        }
        return block;
    }

    void feed() {
        while (m_socket && m_socket->bytesToWrite() < 256 * 1024 && m_sent < m_total) {
            QByteArray block = nextBlock();
            if (m_sent + block.size() > m_total)
                block.truncate(m_total - m_sent);
            m_sent += block.size();
            m_socket->write(block);
        }
        if (m_socket && m_sent >= m_total && m_socket->bytesToWrite() == 0)
            m_socket->disconnectFromHost();
    }

    qint64 m_total;
    qint64 m_sent = 0;
    QList<QByteArray> m_japanese;
    QRandomGenerator m_random{20090307};
    QTcpServer* m_server = nullptr;
    QTcpSocket* m_socket = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 50;
    const qint64 total = megabytes * 1024 * 1024;

    const QList<QByteArray> japanese = {
        encodeCp932(QString::fromUtf8("ファイル転送が完了しました。\r\n")),
        encodeCp932(QString::fromUtf8("イオン源データ 加速電圧 30kV ｶﾀｶﾅ\r\n")),
        encodeCp932(QString::fromUtf8("警告: ディスクの空き容量が少なくなっています\r\n")),
    };

    TerminalView view;
    view.resize(900, 600);
    view.show();
    TelnetSession session(view.text());

    QThread peerThread;
    FloodingPeer peer(total, japanese);
    peer.moveToThread(&peerThread);
    peerThread.start();
    quint16 port = 0;
    QMetaObject::invokeMethod(
        &peer, [&] { port = peer.listen(); }, Qt::BlockingQueuedConnection);

    pumpFor(200ms); // let the window settle before measuring
    const qint64 baseline = peakResidentBytes();

    qint64 received = 0;
    QObject::connect(&session.client(), &TelnetClient::received, &app,
                     [&](const QByteArray& data) { received += data.size(); });
    bool ended = false;
    QObject::connect(&session, &TelnetSession::connectionChanged, &app, [&](bool connected) {
        if (!connected)
            ended = true;
    });

    QElapsedTimer sinceTick;
    qint64 worstLateNs = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, &app, [&] {
        worstLateNs = std::max(worstLateNs, sinceTick.nsecsElapsed() - 5'000'000);
        sinceTick.restart();
    });

    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    probe.start();
    session.open(QStringLiteral("127.0.0.1"), port);
    const bool finished = pumpUntil([&] { return ended; }, 300s);
    const double seconds = clock.nsecsElapsed() / 1e9;
    probe.stop();
    view.refreshNow();

    const qint64 peak = peakResidentBytes();
    std::printf("telnet flood into the terminal view (%s)\n", finished ? "complete" : "TIMED OUT");
    std::printf("  text sent        %lld bytes (%lld MB), received %lld bytes\n", total, megabytes, received);
    std::printf("  lines in view    %lld, stored %lld bytes\n", qlonglong(view.lineCount()),
                qlonglong(view.text().storedBytes()));
    std::printf("  time             %.2f s\n", seconds);
    std::printf("  throughput       %.1f MB/s   (goal >= 10)\n", received / seconds / (1024 * 1024));
    std::printf("  longest block    %.1f ms     (goal <= 50; lateness of a 5 ms timer)\n", worstLateNs / 1e6);
    std::printf("  peak memory      %.1f MB = %.2f x the text (goal < 3); %.1f MB before the flood\n",
                peak / 1048576.0, double(peak) / double(total), baseline / 1048576.0);
    std::printf("  view at the end  %s\n",
                view.verticalScrollBar()->value() == view.verticalScrollBar()->maximum()
                    ? "shows the last line"
                    : "does NOT show the last line");

    peerThread.quit();
    peerThread.wait();
    return finished && received == total ? 0 : 1;
}
