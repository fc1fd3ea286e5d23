// The pace of the requests to the engine: the times of the last end and the last refusal, the requests
// under way, and the waits that hold the next one back.
#include "mining/pacer.h"

#include <QEventLoop>
#include <QTimer>
#include <cmath>

namespace Mining {

Pacer::Pacer(QObject* parent)
    : QObject(parent)
{
    clock_.start();
}

Pacer::~Pacer()
{
    // A wait in progress returns false once control gets back to it.
    wakeWaits();
}

void Pacer::setPauseSeconds(double seconds)
{
    pauseSeconds_ = qMax(0.0, seconds);
}

int Pacer::coolDownMs() const
{
    return int(qMax<qint64>(RefusalCoolDownMs, std::llround(pauseSeconds_ * 1000)));
}

int Pacer::msUntilTurn(int gapMs) const
{
    if (stopped_)
        return -1;
    if (underWay_ > 0)
        return BusyRecheckMs;
    const qint64 now = clock_.elapsed();
    qint64 due = now;
    if (lastRefusalMs_ >= 0)
        due = qMax(due, lastRefusalMs_ + coolDownMs());
    if (lastEndMs_ >= 0 && gapMs > 0)
        due = qMax(due, lastEndMs_ + gapMs);
    return int(due - now);
}

bool Pacer::waitTurn(int gapMs)
{
    const QPointer<Pacer> alive(this);
    for (;;) {
        const int ms = msUntilTurn(gapMs);
        if (ms == 0)
            return true;
        if (ms < 0)
            return false;
        QEventLoop loop;
        waits_.append(&loop);
        // Precise: a coarse timer may end the wait up to 5 % early, and the cool-down is a promise.
        QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        if (!alive)
            return false;
        waits_.removeAll(&loop);
    }
}

void Pacer::started()
{
    ++underWay_;
}

void Pacer::ended(bool refused)
{
    underWay_ = qMax(0, underWay_ - 1);
    lastEndMs_ = clock_.elapsed();
    if (refused)
        lastRefusalMs_ = lastEndMs_;
    // A wait held back by this request looks again.
    wakeWaits();
}

void Pacer::stop()
{
    stopped_ = true;
    wakeWaits();
}

void Pacer::allow()
{
    stopped_ = false;
}

void Pacer::wakeWaits()
{
    for (const QPointer<QEventLoop>& wait : std::as_const(waits_)) {
        if (wait)
            wait->quit();
    }
}

} // namespace Mining
