// The file player on a real SDL device (the dummy driver, which keeps a
// device's pace without sound): the position as heard over real time, pause,
// the end of the file, teardown while playing, the engine on top, and a
// device that stops responding.
#include "TestSupport.h"

#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "engine/FilePlayer.h"
#include "engine/Log.h"

#include <QTest>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Samples the position every 5 ms for a while; fails on any step backwards.
struct Watch {
    double first = 0;
    double last = 0;
    double elapsed = 0;
    bool monotonic = true;
};

Watch watch(const FilePlayer& player, double seconds)
{
    Watch result;
    const auto start = Clock::now();
    result.first = result.last = player.currentTime();
    while (secondsSince(start) < seconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const double now = player.currentTime();
        result.monotonic = result.monotonic && now >= result.last;
        result.last = now;
    }
    result.elapsed = secondsSince(start);
    return result;
}

}  // namespace

class FilePlayerDeviceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("SDL_AUDIODRIVER", "dummy");
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::Device);
    }

    void positionAdvancesAtTheDevicePaceAndSmoothly()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        player->play();
        watch(*player, 0.2);  // past the start-up
        const Watch run = watch(*player, 1.0);
        QVERIFY(run.monotonic);
        const double pace = (run.last - run.first) / run.elapsed;
        QVERIFY2(pace > 0.9 && pace < 1.1, qPrintable(QString::number(pace)));
    }

    void pauseHoldsThePositionAndPlayGoesOnFromIt()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        player->play();
        watch(*player, 0.3);
        player->pause();
        QVERIFY(!player->isPlaying());
        const double paused = player->currentTime();
        QVERIFY(paused > 0.2 && paused < 0.6);
        const Watch still = watch(*player, 0.2);
        QCOMPARE(still.first, paused);
        QCOMPARE(still.last, paused);
        player->play();
        const Watch resumed = watch(*player, 0.3);
        QVERIFY(resumed.monotonic);
        QVERIFY(resumed.first >= paused);
        QVERIFY(resumed.last > paused + 0.15);
    }

    void seekShowsTheTargetAtOnceAndPlaysOnFromIt()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp.m4a")), nullptr);
        player->play();
        watch(*player, 0.2);
        player->setCurrentTime(4.25);
        QCOMPARE(player->currentTime(), 4.25);
        const Watch after = watch(*player, 0.3);
        QVERIFY(after.monotonic);
        QVERIFY(after.first >= 4.25);
        QVERIFY(after.last > 4.4 && after.last < 4.7);
        // Backwards too, as the loop does.
        player->setCurrentTime(1.0);
        QCOMPARE(player->currentTime(), 1.0);
        QVERIFY(watch(*player, 0.1).last >= 1.0);
    }

    void theEndOfTheFileStopsPlaybackByItself()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        player->setCurrentTime(5.7);
        player->play();
        QVERIFY(!player->hasReachedEnd());
        const auto start = Clock::now();
        while (!player->hasReachedEnd() && secondsSince(start) < 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        QVERIFY(player->hasReachedEnd());
        // Not before the remaining 0.3 s could have been heard.
        QVERIFY2(secondsSince(start) > 0.25, qPrintable(QString::number(secondsSince(start))));
        QVERIFY(!player->isPlaying());
        QCOMPARE(player->currentTime(), player->duration());
        player->play();
        QVERIFY(player->hasReachedEnd());
        player->setCurrentTime(0);
        QVERIFY(!player->hasReachedEnd());
    }

    void destroyingWhilePlayingIsClean()
    {
        for (int round = 0; round < 20; ++round) {
            auto player = FilePlayer::load(fixtureUrl(round % 2 ? QStringLiteral("chirp.m4a") : QStringLiteral("sine-5s.mp3")), nullptr);
            player->play();
            std::this_thread::sleep_for(std::chrono::milliseconds(round % 5 * 7));
            player->setCurrentTime(2.0);
        }
    }

    void theEngineDrillsALoopOnThisPlayer()
    {
        QCoreApplication* app = QCoreApplication::instance();
        QVERIFY(app);
        Log::Capture log;
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(QStringLiteral("chirp-cbr.mp3"))});
        engine.playTrack(0);
        QVERIFY(engine.isPlaying());
        QCOMPARE(log.lines().last(), QStringLiteral("Playing: chirp-cbr.mp3"));
        engine.seek(1.0);
        engine.setLoopStart(1.0);
        engine.setLoopEnd(1.25);
        engine.tick();  // publishes the sought position
        double lowest = 10, highest = 0;
        const auto start = Clock::now();
        while (secondsSince(start) < 1.0) {
            QTest::qWait(5);
            lowest = std::min(lowest, engine.currentTime());
            highest = std::max(highest, engine.currentTime());
        }
        QVERIFY2(lowest >= 1.0 && highest < 1.3, qPrintable(QStringLiteral("%1 %2").arg(lowest).arg(highest)));
        QVERIFY(log.lines().count(QStringLiteral("Seek to: 1.0")) >= 3);
        engine.stop();
        QCOMPARE(log.lines().last(), QStringLiteral("Stop: currentTime=0.0, loop cleared"));
    }

    // Last: it leaves the process's output on the wall clock.
    void aDeviceThatStopsRespondingDoesNotStopTheClock()
    {
        Log::Capture log;
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        player->play();
        watch(*player, 0.1);
        AudioOutput::shared()->simulateDeviceStallForTesting();
        const Watch stalled = watch(*player, 2.0);
        QVERIFY(stalled.monotonic);
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::WallClock);
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Audio output stopped responding, playing silently")});
        // Frozen for up to the stall limit, then on at the normal pace.
        const Watch after = watch(*player, 0.5);
        const double pace = (after.last - after.first) / after.elapsed;
        QVERIFY2(pace > 0.9 && pace < 1.1, qPrintable(QString::number(pace)));
        player->pause();
        const double paused = player->currentTime();
        QCOMPARE(watch(*player, 0.1).last, paused);
    }
};

QTEST_MAIN(FilePlayerDeviceTest)
#include "tst_fileplayer_device.moc"
