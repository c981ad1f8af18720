// Opening the sound output must leave the process's termination signals
// alone: SDL installs handlers that turn SIGINT and SIGTERM into events, and
// nothing here reads SDL's events, so the app would ignore a kill or logout.
#include "engine/AudioOutput.h"

#include <QTest>

#include <csignal>

class AudioOutputSignalsTest : public QObject {
    Q_OBJECT

private slots:
    void terminationSignalsStillEndTheProcess()
    {
        // The test runner has handlers of its own: start from the defaults
        // a plain process has, then open the output for the first time.
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
        qputenv("SDL_AUDIODRIVER", "dummy");
        QVERIFY(AudioOutput::shared());
        for (int signalNumber : {SIGTERM, SIGINT}) {
            struct sigaction current {};
            QCOMPARE(sigaction(signalNumber, nullptr, &current), 0);
            QVERIFY(current.sa_handler == SIG_DFL);
        }
    }
};

QTEST_GUILESS_MAIN(AudioOutputSignalsTest)
#include "tst_audiooutput_signals.moc"
