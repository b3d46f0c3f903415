#include "support/Wait.h"
#include "support/Guard.h"
#include "support/Errors.h"
#include "common/ScriptedPrompter.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

using namespace std::chrono_literals;
using namespace vantor;

class TestWait : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noticesEventAtOnceWhateverTheLimit_data();
    void noticesEventAtOnceWhateverTheLimit();
    void endsAtDeadline();
    void doesNotSpin();
    void returnsAtOnceWhenAlreadyTrue();
    void pumpForKeepsTimersRunning();
    void guardShowsExceptionText();
};

void TestWait::noticesEventAtOnceWhateverTheLimit_data() {
    QTest::addColumn<int>("limitMs");
    QTest::newRow("200 ms bound") << 200;
    QTest::newRow("20 s bound") << 20000;
    QTest::newRow("no bound") << -1;
}

// The awaited event must end the wait within a millisecond or two, never at the next
// wake-up or at the caller's bound.
void TestWait::noticesEventAtOnceWhateverTheLimit() {
    QFETCH(int, limitMs);
    // The median of several waits, so one pass that the scheduler delays on a busy machine
    // does not decide; a wait that only looks at its flag on a periodic wake-up is late on
    // every pass.
    QList<qint64> latencies;
    for (int pass = 0; pass < 7; ++pass) {
        bool flag = false;
        QElapsedTimer firedAt;
        QTimer::singleShot(15, Qt::PreciseTimer, [&] { flag = true; firedAt.start(); });
        QVERIFY(pumpUntil([&] { return flag; }, std::chrono::milliseconds(limitMs)));
        QVERIFY(firedAt.isValid());
        latencies << firedAt.nsecsElapsed();
    }
    std::sort(latencies.begin(), latencies.end());
    QVERIFY2(latencies.at(3) < 2'000'000, qPrintable(QString::number(latencies.at(3))));
}

void TestWait::endsAtDeadline() {
    QElapsedTimer t;
    t.start();
    QVERIFY(!pumpUntil([] { return false; }, 100ms));
    QVERIFY(t.elapsed() >= 99);
    QVERIFY(t.elapsed() < 1000);
}

// A wait of half a second must leave the processor idle, not poll in a tight loop.
void TestWait::doesNotSpin() {
    int checks = 0;
    const std::clock_t cpu0 = std::clock();
    pumpUntil([&] { ++checks; return false; }, 500ms);
    const double cpuMs = double(std::clock() - cpu0) * 1000.0 / CLOCKS_PER_SEC;
    QVERIFY2(checks < 200, qPrintable(QString::number(checks)));
    QVERIFY2(cpuMs < 100, qPrintable(QString::number(cpuMs)));
}

void TestWait::returnsAtOnceWhenAlreadyTrue() {
    QElapsedTimer t;
    t.start();
    QVERIFY(pumpUntil([] { return true; }, 10s));
    QVERIFY(t.elapsed() < 5);
}

void TestWait::pumpForKeepsTimersRunning() {
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    pumpFor(200ms);
    QVERIFY(ticks >= 5);
}

void TestWait::guardShowsExceptionText() {
    test::PrompterScope scope;
    QVERIFY(!guarded([] { throw Error("Not Connected"); }));
    QVERIFY(!guarded([] { throw std::runtime_error("plain"); }));
    QVERIFY(guarded([] {}));
    QCOMPARE(scope.prompter.texts("error"), QStringList({"Not Connected", "plain"}));
    swallowing([] { throw Error("quiet"); });
    QCOMPARE(scope.prompter.shown.size(), 2);
}

QTEST_GUILESS_MAIN(TestWait)
#include "tst_wait.moc"
