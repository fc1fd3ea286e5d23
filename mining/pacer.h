// The one pace of every request the program sends to the search engine, whoever sends it: the mining
// run's result pages and suggestions (through the fetch component or the web engine) and the pages of
// the verification window. The engine punishes a program that asks too fast, and most of all one that
// asks again right after it refused.
//
// The rule: no request within the cool-down after a refusal (RefusalCoolDownMs, or the pause between
// queries when that is longer), none sooner than the caller's gap after the end of the last request,
// never two at once, and none at all once stopped until the next run allows them again. A person's
// clicks in the verification window are the person's and are not held back, but they are requests:
// their ends and refusals count for the next one.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>

class QEventLoop;

namespace Mining {

class Pacer : public QObject
{
    Q_OBJECT
public:
    static constexpr int RefusalCoolDownMs = 2000;
    // While a request is under way its end is unknown; a waiting request looks again this often, and
    // at once when it ends.
    static constexpr int BusyRecheckMs = 100;

    explicit Pacer(QObject* parent = nullptr);
    ~Pacer() override;

    // The pause between two queries, as the run is set; it lengthens the cool-down when longer.
    void setPauseSeconds(double seconds);
    double pauseSeconds() const { return pauseSeconds_; }
    int coolDownMs() const;

    // Milliseconds until a request may go that should come at least gapMs after the end of the last
    // one: 0 now; -1 never, once stopped. While another request is under way, the time to look again.
    int msUntilTurn(int gapMs = 0) const;
    // Waits in a local event loop until msUntilTurn(gapMs) is 0; every other event of the application
    // goes on meanwhile. False when stopped, or when the pacer was destroyed, before that.
    bool waitTurn(int gapMs = 0);

    // A request went out; its answer came back, refused when it was the engine's verification.
    void started();
    void ended(bool refused);
    bool busy() const { return underWay_ > 0; }

    // No further request until allow(); a wait in progress ends at once.
    void stop();
    void allow();
    bool isStopped() const { return stopped_; }

private:
    void wakeWaits();

    QElapsedTimer clock_;
    qint64 lastEndMs_ = -1;     // since clock_ started; -1 before the first request ended
    qint64 lastRefusalMs_ = -1;
    int underWay_ = 0;
    bool stopped_ = false;
    double pauseSeconds_ = 0;
    QList<QPointer<QEventLoop>> waits_;
};

} // namespace Mining
