#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// A logout (SIGTERM, or SIGHUP from a closed terminal) or Ctrl+C ends
// Rivetone as closing its window does: the window's place is kept and the
// writes under way finish. By default such a signal ends the process where it
// stands. The same signal again within two seconds is taken for the same
// stop (often told twice); later, it ends Rivetone at once, as by default. A
// signal ignored when Rivetone starts (nohup) stays ignored.
class QuitOnSignal : public QObject {
public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

private:
    static void handle(int signal);
    void quit();

    int m_readEnd = -1;
    int m_writeEnd = -1;
    static constexpr int handledSignals = 3;  // SIGTERM, SIGINT, SIGHUP
    bool m_taken[handledSignals] = {};         // per signal: whether the handler is ours
    std::unique_ptr<QSocketNotifier> m_notifier;
};
