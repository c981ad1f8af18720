// The file player on a real SDL device (the dummy driver, which keeps a
// device's pace without sound): the position as heard over real time through
// pause and seeks, the end of the file, and the engine drilling a loop through
// a device that stops responding.

#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "engine/FilePlayer.h"
#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <cmath>
#include <csignal>
#include <functional>

namespace {

struct Watch {
    double first = 0, last = 0, lowest = 1e9, highest = -1e9, seconds = 0;
    double deviceSeconds = 0;  // what the device took meanwhile
    bool monotonic = true;
    double pace() const { return (last - first) / seconds; }
};

// Samples a position every 5 ms for a while, with the event loop running.
Watch watch(const std::function<double()>& position, double seconds)
{
    Watch w;
    QElapsedTimer clock;
    clock.start();
    const std::int64_t framesBefore = AudioOutput::shared()->renderedFrames();
    w.first = w.last = position();
    while (clock.elapsed() < seconds * 1000) {
        QTest::qWait(5);
        const double now = position();
        w.monotonic = w.monotonic && now >= w.last;
        w.lowest = std::min(w.lowest, now);
        w.highest = std::max(w.highest, now);
        w.last = now;
    }
    w.seconds = double(clock.nsecsElapsed()) / 1e9;
    w.deviceSeconds = double(AudioOutput::shared()->renderedFrames() - framesBefore) / AudioOutput::shared()->sampleRate();
    return w;
}

Watch watch(const FilePlayer& player, double seconds)
{
    return watch([&] { return player.currentTime(); }, seconds);
}

// Times the program's own threads (named "rivetone ...") have gone to sleep
// and woken again, all together, from the kernel's count for each.
long long ownThreadWakeUps()
{
    long long total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().startsWith("rivetone "))
            continue;
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            continue;  // ended meanwhile
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return total;
}

std::unique_ptr<FilePlayer> load(const char* name)
{
    return FilePlayer::load(fixtureUrl(QString::fromUtf8(name)), nullptr);
}

}  // namespace

class FilePlayerDeviceTest : public QObject {
    Q_OBJECT

private slots:
    // SDL would turn SIGINT and SIGTERM into events that nobody here reads,
    // and the app would ignore a kill or a logout.
    void openingTheOutputLeavesTerminationSignalsAlone()
    {
        // The test runner has handlers of its own: start from a plain process's.
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::Device);
        for (int signalNumber : {SIGTERM, SIGINT}) {
            struct sigaction current {};
            QCOMPARE(sigaction(signalNumber, nullptr, &current), 0);
            QVERIFY(current.sa_handler == SIG_DFL);
        }
    }

    void thePositionFollowsTheDeviceThroughPauseAndSeeksToTheEnd()
    {
        const auto player = load("chirp.m4a");
        player->play();
        watch(*player, 0.2);  // past the start-up
        // The position goes at the device's pace, whatever that is on a busy
        // machine (the dummy driver sleeps between buffers and falls behind
        // when woken late): within four buffers of what it took, as the two
        // are read apart, up to two buffers at either end. A rate mixed up
        // (44.1 for 48 kHz) is twice that over the two seconds.
        const Watch run = watch(*player, 2.0);
        const double bufferSeconds = double(AudioOutput::shared()->bufferFrames()) / AudioOutput::shared()->sampleRate();
        QVERIFY2(run.monotonic && std::abs((run.last - run.first) - run.deviceSeconds) < 4 * bufferSeconds
                     && run.pace() > 0.5 && run.pace() < 1.5,
                 qPrintable(QStringLiteral("%1 s heard while the device took %2 s in %3 s")
                                .arg(run.last - run.first)
                                .arg(run.deviceSeconds)
                                .arg(run.seconds)));
        const double pausing = player->currentTime();
        player->pause();
        // The sound dies away over the next buffer, which a slow run hands
        // over late: the position stops where it does, within a buffer and a
        // fade of the pause. The device takes a few buffers more first.
        const std::int64_t framesAtPause = AudioOutput::shared()->renderedFrames();
        QTRY_VERIFY_WITH_TIMEOUT(
            AudioOutput::shared()->renderedFrames() > framesAtPause + 3 * AudioOutput::shared()->bufferFrames(), 10000);
        double paused = player->currentTime();
        for (QDeadlineTimer deadline(10000); !deadline.hasExpired();) {
            QTest::qWait(100);
            const double now = player->currentTime();
            if (now == paused)
                break;
            paused = now;
        }
        QVERIFY(!player->isPlaying() && paused >= run.last);
        QVERIFY2(paused >= pausing && paused < pausing + 0.06, qPrintable(QStringLiteral("%1 -> %2").arg(pausing).arg(paused)));
        const Watch still = watch(*player, 0.2);
        QVERIFY(still.lowest == paused && still.highest == paused);
        player->play();
        const Watch resumed = watch(*player, 0.3);
        QVERIFY(resumed.monotonic && resumed.first >= paused && resumed.last > paused + 0.15);
        for (double target : {4.25, 1.0}) {  // forwards, and back as the loop does
            player->setCurrentTime(target);
            QCOMPARE(player->currentTime(), target);
            const Watch after = watch(*player, 0.3);
            QVERIFY(after.monotonic && after.first >= target);
            QVERIFY2(after.last > target + 0.15 && after.last < target + 0.45, qPrintable(QString::number(after.last)));
        }
        player->setCurrentTime(5.7);
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(player->hasReachedEnd(), 3000);
        QVERIFY2(clock.elapsed() > 250, qPrintable(QString::number(clock.elapsed())));  // the last 0.3 s were heard
        QVERIFY(!player->isPlaying());
        QCOMPARE(player->currentTime(), player->duration());
    }

    // Seeks in a burst (a flick of the wheel, each step a seek) are heard as
    // soon as one: the queue is taken by audio no longer wanted, and the
    // decoder goes on as soon as that is dropped, not at its next round.
    void aBurstOfSeeksIsHeardAsSoonAsOne()
    {
        const auto player = load("chirp.m4a");
        player->play();
        watch(*player, 0.3);
        // Milliseconds from the last seek until its target has been heard
        // for 50 ms; the seeks 10 ms apart, as a wheel's steps come.
        const auto heardAfter = [&](std::initializer_list<double> targets) {
            for (double target : targets) {
                if (target != *targets.begin())
                    QTest::qWait(10);
                player->setCurrentTime(target);
            }
            const double last = *(targets.end() - 1);
            QElapsedTimer clock;
            clock.start();
            while (player->currentTime() < last + 0.05 && clock.elapsed() < 3000)
                QTest::qWait(1);
            return clock.elapsed();
        };
        // The best of three of each, as a busy machine wakes threads late.
        qint64 one = 3000, burst = 3000;
        for (int i = 0; i < 3; ++i) {
            one = std::min(one, heardAfter({1.0}));
            burst = std::min(burst, heardAfter({2.0, 3.0, 4.0, 1.0}));
        }
        QVERIFY2(burst < one + 50, qPrintable(QStringLiteral("one seek heard after %1 ms, a burst after %2 ms").arg(one).arg(burst)));
    }

    // With nothing to be heard for a few seconds the output rests and the
    // decoder, its queue full, sleeps: no thread of ours wakes over a second.
    // A play wakes both, and the position goes on for longer than the queue
    // lasts (so the decoder is refilling it).
    void theOutputRestsWhenNothingIsHeardAndWakesForPlay()
    {
        const auto player = load("chirp.m4a");
        player->play();
        watch(*player, 0.2);
        player->pause();
        QVERIFY(!AudioOutput::shared()->isResting());
        QTRY_VERIFY_WITH_TIMEOUT(AudioOutput::shared()->isResting(), 5000);
        QVERIFY(ownThreadWakeUps() > 0);  // the count is read at all
        // The output says it rests just before its thread goes to sleep, and
        // that last sleep counts too: let it fall asleep first.
        QTest::qWait(200);
        const long long before = ownThreadWakeUps();
        QTest::qWait(1000);
        QCOMPARE(ownThreadWakeUps(), before);
        const double rested = player->currentTime();
        player->play();
        QTRY_VERIFY(!AudioOutput::shared()->isResting());
        // Past the 0.45 s the queue holds, at whatever pace the device keeps.
        const Watch resumed = watch(*player, 2.0);
        QVERIFY2(resumed.monotonic && resumed.first >= rested && resumed.last > rested + 0.8,
                 qPrintable(QStringLiteral("%1 -> %2 in %3 s").arg(rested).arg(resumed.last).arg(resumed.seconds)));
    }

    // Last: it stalls the process's output.
    void theLoopGoesOnWhenTheDeviceStopsResponding()
    {
        Log::Capture log;
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(QStringLiteral("chirp-cbr.mp3")), fixtureUrl(QStringLiteral("sine-5s.mp3"))});
        engine.playTrack(0);
        engine.setLoopStart(2.0);
        engine.setLoopEnd(2.3);
        engine.seek(2.0);
        engine.tick();
        log.clear();
        // Drilled: the published position stays within the loop, wrapping
        // again and again (at whatever pace the device keeps on a busy machine).
        auto drill = [&](int wraps) {
            double lowest = 1e9;
            double highest = -1e9;
            QElapsedTimer clock;
            clock.start();
            while (log.lines().count(QStringLiteral("Seek to: 2.0")) < wraps && clock.elapsed() < 5000) {
                const Watch w = watch([&] { return engine.currentTime(); }, 0.1);
                lowest = std::min(lowest, w.lowest);
                highest = std::max(highest, w.highest);
            }
            QVERIFY2(lowest >= 2.0 && highest < 2.4, qPrintable(QStringLiteral("%1 .. %2").arg(lowest).arg(highest)));
            QVERIFY2(log.lines().count(QStringLiteral("Seek to: 2.0")) >= wraps, qPrintable(log.lines().join(u'|')));
            log.clear();
        };
        drill(2);
        AudioOutput::shared()->simulateDeviceStallForTesting();
        QTRY_COMPARE_WITH_TIMEOUT(AudioOutput::shared()->driver(), AudioOutput::Driver::WallClock, 2000);
        QCOMPARE(log.lines().count(QStringLiteral("Audio output stopped responding, playing silently")), 1);
        log.clear();
        drill(3);
        QVERIFY(engine.isPlaying() && engine.timer());

        // Another track plays on at the usual pace; nothing more is said about the output.
        engine.playTrack(1);
        QCOMPARE(log.lines().last(), QStringLiteral("Playing: sine-5s.mp3"));
        QTest::qWait(300);
        QVERIFY2(engine.currentTime() > 0.15 && engine.currentTime() < 0.5, qPrintable(QString::number(engine.currentTime())));
        QVERIFY(!log.lines().join(u'\n').contains(QStringLiteral("Audio output")));

        // Paused long enough for the output to rest, and the device well
        // again: the next play is heard on it.
        engine.togglePlayPause();
        QTRY_VERIFY_WITH_TIMEOUT(AudioOutput::shared()->isResting(), 6000);
        AudioOutput::shared()->simulateDeviceStallForTesting(false);
        engine.togglePlayPause();
        QTRY_COMPARE_WITH_TIMEOUT(AudioOutput::shared()->driver(), AudioOutput::Driver::Device, 2000);
        const double before = engine.currentTime();
        QTest::qWait(300);
        QVERIFY2(engine.currentTime() - before > 0.15, qPrintable(QString::number(engine.currentTime() - before)));
    }
};

QTEST_MAIN(FilePlayerDeviceTest)
#include "tst_fileplayer_device.moc"
