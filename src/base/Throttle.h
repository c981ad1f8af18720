#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

// Runs a piece of work at most once per interval, however often it is asked
// for: the first request after a quiet spell runs at the next turn of the
// event loop, later ones once the interval since the last run is over. For
// what follows a source that changes far more often than anyone needs to
// hear of it (the engine's hundred position updates a second).
class Throttle {
public:
    explicit Throttle(std::function<void()> work);

    // A run within intervalMilliseconds of the last one; nothing more while
    // one is waiting.
    void request(int intervalMilliseconds);
    // A waiting run is brought forward to within intervalMilliseconds of the
    // last one, if that is sooner.
    void hurry(int intervalMilliseconds);
    // Runs now; a waiting run is taken along with it.
    void runNow();
    bool isWaiting() const { return m_timer.isActive(); }

private:
    int delayFor(int intervalMilliseconds) const;

    std::function<void()> m_work;
    QTimer m_timer;
    QElapsedTimer m_sinceLastRun;
};
