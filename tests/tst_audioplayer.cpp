#include "TestSupport.h"

#include "engine/AudioPlayer.h"
#include "engine/Log.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <limits>

namespace {

const QString kTrack = QStringLiteral("sine-5s.mp3");
const QString kOtherTrack = QStringLiteral("sine-5s.m4a");

// Lets the event loop run (timers fire) for the given time.
void runEventLoop(int milliseconds)
{
    QTest::qWait(milliseconds);
}

}  // namespace

class AudioPlayerTest : public QObject {
    Q_OBJECT

private slots:
    void freshEngineIsEmpty()
    {
        AudioPlayer engine;
        QVERIFY(!engine.player());
        QVERIFY(!engine.isPlaying());
        QCOMPARE(engine.currentTime(), 0.0);
        QCOMPARE(engine.volume(), 1.0f);
        QVERIFY(engine.playlist().isEmpty());
        QVERIFY(!engine.currentTrack());
        QVERIFY(!engine.loopStart());
        QVERIFY(!engine.loopEnd());
        QVERIFY(!engine.timer());
    }

    void toggleWithEmptyPlaylistDoesNothing()
    {
        AudioPlayer engine;
        QSignalSpy willChange(&engine, &AudioPlayer::objectWillChange);
        Log::Capture log;
        engine.togglePlayPause();
        QVERIFY(!engine.isPlaying());
        QVERIFY(log.lines().isEmpty());
        QCOMPARE(willChange.count(), 0);
    }

    void toggleWithoutPlayerStartsFirstTrack()
    {
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(kTrack), fixtureUrl(kOtherTrack)});
        Log::Capture log;
        engine.togglePlayPause();
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("Stop: currentTime=0.0, loop cleared"),
                                           QStringLiteral("Playing: sine-5s.mp3")}));
        QVERIFY(engine.isPlaying());
        QVERIFY(engine.player());
        QVERIFY(engine.timer() && engine.timer()->isActive());
        QCOMPARE(engine.currentTrack(), std::optional<QUrl>(fixtureUrl(kTrack)));
        QVERIFY(engine.player()->duration() > 4.9 && engine.player()->duration() < 5.1);
    }

    void everyStoreAnnouncesItselfFirst()
    {
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(kTrack)});
        QSignalSpy willChange(&engine, &AudioPlayer::objectWillChange);
        // Views read the old value when told; the store must come after the signal.
        double seenWhileAnnounced = -1;
        connect(&engine, &AudioPlayer::objectWillChange, this, [&] { seenWhileAnnounced = engine.volume(); });
        engine.applyVolume(0.25f);
        QCOMPARE(seenWhileAnnounced, 1.0);
        QCOMPARE(willChange.count(), 1);

        willChange.clear();
        engine.tick();  // publishes 0 again: unchanged values are announced too
        engine.tick();
        QCOMPARE(willChange.count(), 2);

        willChange.clear();
        engine.playTrack(0);  // stop (playing, loop start, loop end), track, playing
        QCOMPARE(willChange.count(), 5);
    }

    void indexPastTheEndDoesNothing()
    {
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(kTrack)});
        Log::Capture log;
        engine.playTrack(1);
        QVERIFY(log.lines().isEmpty());
        QVERIFY(!engine.player());
        engine.playTrack(-1);
        QVERIFY(log.lines().isEmpty());
    }

    void failedLoadKeepsThePreviousTrackStopped()
    {
        AudioPlayer engine;
        const QUrl missing = QUrl::fromLocalFile(fixturePath(QStringLiteral("no such file.mp3")));
        engine.setPlaylist({fixtureUrl(kTrack), missing, fixtureUrl(QStringLiteral("make-fixtures.sh"))});
        engine.playTrack(0);
        FilePlayer* first = engine.player();
        engine.seek(2.0);
        engine.setLoopStart(1.0);
        engine.setLoopEnd(2.0);

        Log::Capture log;
        engine.playTrack(1);
        QCOMPARE(log.lines().size(), 2);
        QCOMPARE(log.lines().at(0), QStringLiteral("Stop: currentTime=0.0, loop cleared"));
        QVERIFY(log.lines().at(1).startsWith(QStringLiteral("Error playing track: ")));
        QVERIFY2(log.lines().at(1).contains(QStringLiteral("no such file.mp3")), qPrintable(log.lines().at(1)));
        QCOMPARE(engine.player(), first);
        QVERIFY(!engine.player()->isPlaying());
        QCOMPARE(engine.player()->currentTime(), 0.0);
        QVERIFY(!engine.isPlaying());
        QVERIFY(!engine.timer());
        QVERIFY(!engine.loopStart() && !engine.loopEnd());
        QCOMPARE(engine.currentTrack(), std::optional<QUrl>(fixtureUrl(kTrack)));

        // Something that is not audio fails the same way.
        log.clear();
        engine.playTrack(2);
        QVERIFY(log.lines().last().startsWith(QStringLiteral("Error playing track: ")));
        QCOMPARE(engine.player(), first);

        // The old track resumes from the start, without being loaded again.
        log.clear();
        engine.togglePlayPause();
        QVERIFY(engine.isPlaying());
        QCOMPARE(engine.player(), first);
        QVERIFY(log.lines().isEmpty());
        QVERIFY(engine.player()->currentTime() < 0.5);
    }

    void seekClampsAndLogs()
    {
        AudioPlayer engine;
        Log::Capture log;
        engine.seek(3.0);  // nothing loaded
        QVERIFY(log.lines().isEmpty());

        engine.setPlaylist({fixtureUrl(kTrack)});
        engine.playTrack(0);
        engine.togglePlayPause();
        const double duration = engine.player()->duration();
        log.clear();
        engine.seek(-3);
        engine.seek(std::numeric_limits<double>::quiet_NaN());
        engine.seek(1.25);
        engine.seek(duration + 100);
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("Seek to: 0.0"), QStringLiteral("Seek to: 0.0"),
                                           QStringLiteral("Seek to: 1.25"),
                                           QStringLiteral("Seek to: ") + Log::formatDouble(duration)}));
        QCOMPARE(engine.player()->currentTime(), duration);
        // A seek moves the player, not the published position.
        QCOMPARE(engine.currentTime(), 0.0);
        engine.tick();
        QCOMPARE(engine.currentTime(), duration);
    }

    void pauseResumeAndStop()
    {
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(kTrack)});
        engine.playTrack(0);
        FilePlayer* loaded = engine.player();
        runEventLoop(150);
        QVERIFY2(engine.currentTime() > 0.0, "the engine's own timer publishes the position");

        engine.togglePlayPause();
        QVERIFY(!engine.isPlaying());
        QVERIFY(!engine.timer());
        const double pausedAt = engine.player()->currentTime();
        runEventLoop(100);
        QCOMPARE(engine.player()->currentTime(), pausedAt);

        engine.togglePlayPause();
        QVERIFY(engine.isPlaying());
        QVERIFY(engine.timer());

        Log::Capture log;
        engine.stop();
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Stop: currentTime=0.0, loop cleared")});
        QCOMPARE(engine.player(), loaded);
        QVERIFY(engine.currentTrack());
        QVERIFY(!engine.player()->isPlaying());

        engine.togglePlayPause();
        QCOMPARE(engine.player(), loaded);
        QVERIFY(engine.isPlaying());
        QCOMPARE(log.lines().size(), 1);  // no second "Playing:" line
    }

    void stopWithoutPlayerStillLogs()
    {
        AudioPlayer engine;
        engine.setLoopStart(1.0);
        Log::Capture log;
        engine.stop();
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Stop: currentTime=0.0, loop cleared")});
        QVERIFY(!engine.loopStart());
    }

    void loopPullsBackAtTheEnd()
    {
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(kTrack)});
        engine.playTrack(0);
        engine.togglePlayPause();  // paused: the loop is still enforced
        engine.setLoopStart(1.0);
        engine.setLoopEnd(2.0);

        Log::Capture log;
        engine.seek(1.5);
        engine.tick();
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Seek to: 1.5")});

        engine.seek(3.0);
        engine.tick();
        QCOMPARE(log.lines().last(), QStringLiteral("Seek to: 1.0"));
        QCOMPARE(engine.player()->currentTime(), 1.0);
        QVERIFY(!engine.isPlaying());

        // Exactly at the end counts as reached.
        engine.seek(2.0);
        engine.tick();
        QCOMPARE(log.lines().last(), QStringLiteral("Seek to: 1.0"));

        // A start that is not below the end is never enforced.
        engine.setLoopStart(2.0);
        engine.setLoopEnd(2.0);
        log.clear();
        engine.seek(4.0);
        engine.tick();
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Seek to: 4.0")});
    }

    void loopWrapsWhilePlaying()
    {
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(kTrack)});
        engine.playTrack(0);
        engine.setLoopStart(0.5);
        engine.setLoopEnd(0.7);
        engine.seek(0.5);
        Log::Capture log;
        runEventLoop(700);
        int wraps = 0;
        for (const QString& line : log.lines())
            wraps += line == QStringLiteral("Seek to: 0.5");
        QVERIFY2(wraps >= 2, qPrintable(log.lines().join(u'|')));
        QVERIFY(engine.player()->currentTime() < 0.75);
        QVERIFY(engine.isPlaying());
    }

    void volumeCarriesToTheNextTrack()
    {
        AudioPlayer engine;
        engine.applyVolume(0.3f);
        QCOMPARE(engine.volume(), 0.3f);
        engine.setPlaylist({fixtureUrl(kTrack)});
        engine.playTrack(0);
        QCOMPARE(engine.player()->volume(), 0.3f);
        engine.applyVolume(0.7f);
        QCOMPARE(engine.player()->volume(), 0.7f);
    }

    void runningOutStopsAndRewinds()
    {
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(kTrack)});
        engine.playTrack(0);
        engine.seek(engine.player()->duration() - 0.1);
        QTRY_VERIFY_WITH_TIMEOUT(!engine.isPlaying(), 3000);
        QVERIFY(!engine.timer());
        QCOMPARE(engine.player()->currentTime(), 0.0);
        QCOMPARE(engine.currentTime(), 0.0);

        // One toggle plays again, from the start.
        engine.togglePlayPause();
        QVERIFY(engine.isPlaying());
        runEventLoop(100);
        QVERIFY(engine.player()->currentTime() > 0.0);
        QVERIFY(engine.player()->currentTime() < 1.0);
    }

    void loopAtTheVeryEndKeepsLooping()
    {
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(kTrack)});
        engine.playTrack(0);
        const double duration = engine.player()->duration();
        engine.setLoopStart(duration - 0.3);
        engine.setLoopEnd(duration);
        engine.seek(duration - 0.1);
        runEventLoop(600);
        QVERIFY(engine.isPlaying());
        QVERIFY(engine.player()->currentTime() >= duration - 0.3);
    }

    void timerHoldsTheEngineWeakly()
    {
        auto engine = std::make_unique<AudioPlayer>();
        engine->setPlaylist({fixtureUrl(kTrack)});
        engine->playTrack(0);
        QPointer<QTimer> timer = engine->timer();
        QVERIFY(timer);
        engine.reset();
        QVERIFY(!timer);  // gone with the engine, so nothing fires into freed memory
        runEventLoop(30);
    }
};

QTEST_MAIN(AudioPlayerTest)
#include "tst_audioplayer.moc"
