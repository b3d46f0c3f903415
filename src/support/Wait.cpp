#include "Wait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

namespace vantor {

namespace {
// Conditions that depend on state outside the event queue (a clock, a file) are looked at
// again after at most this long even when no event arrives.
constexpr std::chrono::milliseconds kWakeUp{20};
} // namespace

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    if (done())
        return true;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    if (!dispatcher)
        return false;
    const QDeadlineTimer deadline = limit.count() < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                      : QDeadlineTimer(limit);
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        const qint64 left = deadline.remainingTime(); // -1 = forever
        if (left == 0)
            return done();
        wake.start(left < 0 ? kWakeUp : std::min(kWakeUp, std::chrono::milliseconds(left)));
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        // Events posted during dispatch (for example deferred socket reads) are handled
        // before the condition is tested, so a flag set by them is seen in this pass.
        QCoreApplication::sendPostedEvents();
        if (done())
            return true;
    }
}

void pumpFor(std::chrono::milliseconds duration) {
    pumpUntil([] { return false; }, duration);
}

void pumpPending() {
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(QThread::currentThread()))
        d->processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
}

} // namespace vantor
