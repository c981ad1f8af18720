#include "base/Log.h"
#include "engine/AudioPlayer.h"
#include "engine/LoopControl.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <limits>

namespace {

const QString tone = QStringLiteral("sine-5s.mp3");
const QString stopLine = QStringLiteral("Stop: currentTime=0.0, loop cleared");

void playTone(AudioPlayer& engine)
{
    engine.setPlaylist({fixtureUrl(tone)});
    engine.playTrack(0);
}

constexpr double stopInstead = -1;  // a step that stops the engine instead of pressing

// The window's loop flag and engine together, pressed like the loop key.
struct LoopKey {
    AudioPlayer engine;
    bool isSettingLoop = false;

    QStringList step(double atSeconds, LoopLogging logging)
    {
        Log::Capture log;
        if (atSeconds == stopInstead) {
            engine.stop();
        } else {
            engine.setCurrentTime(atSeconds);
            cycleLoop(engine, isSettingLoop, [this](bool value) { isSettingLoop = value; }, logging);
        }
        return log.lines();
    }
    QString state() const
    {
        auto text = [](std::optional<double> seconds) { return seconds ? Log::formatDouble(*seconds) : QStringLiteral("none"); };
        return text(engine.loopStart()) + QStringLiteral("..") + text(engine.loopEnd()) + (isSettingLoop ? ", setting" : "");
    }
};

}  // namespace

class AudioPlayerTest : public QObject {
    Q_OBJECT

private slots:
    void fromNothingTheToggleStartsTheFirstTrack()
    {
        AudioPlayer engine;
        QSignalSpy willChange(&engine, &AudioPlayer::objectWillChange);
        Log::Capture log;
        engine.togglePlayPause();  // empty playlist
        engine.seek(3.0);          // nothing loaded
        QCOMPARE(willChange.count(), 0);
        engine.setLoopStart(1.0);
        engine.stop();
        QCOMPARE(log.lines(), QStringList{stopLine});
        QVERIFY(!engine.loopStart());

        engine.setPlaylist({fixtureUrl(tone), fixtureUrl(QStringLiteral("sine-5s.m4a"))});
        double seenWhileAnnounced = -1;  // views read the old value when told: the store comes after
        connect(&engine, &AudioPlayer::objectWillChange, this, [&] { seenWhileAnnounced = engine.volume(); });
        engine.applyVolume(0.3f);
        QCOMPARE(seenWhileAnnounced, 1.0);
        log.clear();
        willChange.clear();
        engine.playTrack(2);
        engine.playTrack(-1);
        QVERIFY(log.lines().isEmpty() && !engine.player());
        engine.togglePlayPause();
        QCOMPARE(willChange.count(), 6);  // stop (playing, loop start, loop end, position), track, playing
        QCOMPARE(log.lines(), (QStringList{stopLine, QStringLiteral("Playing: sine-5s.mp3")}));
        QVERIFY(engine.isPlaying() && engine.timer() && engine.timer()->isActive());
        QCOMPARE(engine.currentTrack(), std::optional<QUrl>(fixtureUrl(tone)));
        QCOMPARE(engine.player()->volume(), 0.3f);  // the volume carries to the track
        engine.tick();  // unchanged values are announced too
        QCOMPARE(willChange.count(), 7);
    }

    void seekClampsAndLogs()
    {
        AudioPlayer engine;
        playTone(engine);
        engine.togglePlayPause();
        const double duration = engine.player()->duration();
        Log::Capture log;
        for (double seconds : {-3.0, std::numeric_limits<double>::quiet_NaN(), 1.25, duration + 100})
            engine.seek(seconds);
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("Seek to: 0.0"), QStringLiteral("Seek to: 0.0"),
                                           QStringLiteral("Seek to: 1.25"),
                                           QStringLiteral("Seek to: ") + Log::formatDouble(duration)}));
        QCOMPARE(engine.player()->currentTime(), duration);
        QCOMPARE(engine.currentTime(), 0.0);  // published only by the next tick
        engine.tick();
        QCOMPARE(engine.currentTime(), duration);
    }

    void pauseResumeAndStop()
    {
        AudioPlayer engine;
        playTone(engine);
        FilePlayer* loaded = engine.player();
        engine.setLoopStart(1.0);
        engine.setLoopEnd(2.0);
        // The engine's own timer publishes the position.
        QTRY_VERIFY_WITH_TIMEOUT(engine.currentTime() > 0.0, 10000);

        engine.togglePlayPause();
        QVERIFY(!engine.isPlaying() && !engine.timer() && !engine.player()->isPlaying());
        engine.togglePlayPause();
        QVERIFY(engine.isPlaying() && engine.timer());
        QCOMPARE(engine.loopEnd(), std::optional<double>(2.0));  // only stop clears the loop

        // A track begun again, or a stop, shows its new place at once, not
        // the one the last tick copied: a relative seek (the desktop's, an
        // arrow key) goes from there.
        QTRY_VERIFY_WITH_TIMEOUT(engine.currentTime() > 0.3, 10000);
        engine.playTrack(0);
        QVERIFY2(engine.currentTime() < 0.1, qPrintable(QString::number(engine.currentTime())));
        loaded = engine.player();
        QTRY_VERIFY_WITH_TIMEOUT(engine.currentTime() > 0.3, 10000);
        Log::Capture log;
        engine.stop();
        QCOMPARE(log.lines(), QStringList{stopLine});
        QCOMPARE(engine.currentTime(), 0.0);
        QVERIFY(!engine.loopStart() && !engine.loopEnd() && !engine.player()->isPlaying());
        engine.togglePlayPause();
        QCOMPARE(engine.player(), loaded);
        QVERIFY(engine.isPlaying());
        QCOMPARE(log.lines().size(), 1);  // resumed, not loaded again (as after a failed load, which stops too)
    }

    void loopPullsBackOnceTheEndIsReached_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<double>("position");
        QTest::addColumn<double>("after");
        QTest::newRow("inside") << 1.0 << 2.0 << 1.5 << 1.5;
        QTest::newRow("past the end") << 1.0 << 2.0 << 3.0 << 1.0;
        QTest::newRow("exactly at the end") << 1.0 << 2.0 << 2.0 << 1.0;
        QTest::newRow("start not below the end") << 2.0 << 2.0 << 4.0 << 4.0;
    }

    void loopPullsBackOnceTheEndIsReached()
    {
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(double, position);
        QFETCH(double, after);
        AudioPlayer engine;
        playTone(engine);
        engine.togglePlayPause();  // paused: the loop holds all the same
        engine.setLoopStart(start);
        engine.setLoopEnd(end);
        engine.seek(position);
        Log::Capture log;
        engine.tick();
        const QStringList wrapped{QStringLiteral("Seek to: ") + Log::formatDouble(after)};
        QCOMPARE(log.lines(), after == position ? QStringList() : wrapped);
        QCOMPARE(engine.player()->currentTime(), after);
    }

    void loopEndingAtTheVeryEndKeepsLooping()
    {
        AudioPlayer engine;
        playTone(engine);
        const double duration = engine.player()->duration();
        engine.setLoopStart(duration - 0.3);
        engine.setLoopEnd(duration);
        engine.seek(duration - 0.1);
        QTest::qWait(600);
        QVERIFY(engine.isPlaying());
        QVERIFY(engine.player()->currentTime() >= duration - 0.3);
    }

    void runningOutStopsAndRewinds()
    {
        AudioPlayer engine;
        playTone(engine);
        engine.seek(engine.player()->duration() - 0.1);
        QTRY_VERIFY_WITH_TIMEOUT(!engine.isPlaying(), 3000);
        QVERIFY(!engine.timer());
        QCOMPARE(engine.player()->currentTime(), 0.0);
        QCOMPARE(engine.currentTime(), 0.0);
        engine.togglePlayPause();  // one toggle plays again, from the start
        QTRY_VERIFY_WITH_TIMEOUT(engine.player()->currentTime() > 0.0, 10000);
        QVERIFY(engine.player()->currentTime() < 1.0);
    }

    void loopKeyCycles_data()
    {
        QTest::addColumn<QList<double>>("presses");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("state");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("start, end, clear") << QList<double>{3.2, 7.9, 8.5}
            << QStringList{"Loop start set to 3.2", "Loop end set to 7.9", "Loop cleared"} << "none..none";
        QTest::newRow("an end not after the start waits") << QList<double>{5.0, 5.0, 4.0, nan, 5.5}
            << QStringList{"Loop start set to 5.0", "Loop end set to 5.5"} << "5.0..5.5, setting";
        QTest::newRow("after a stop the next press clears") << QList<double>{1.0, 2.0, stopInstead, 3.0, 3.0}
            << QStringList{"Loop start set to 1.0", "Loop end set to 2.0", stopLine, "Loop cleared", "Loop start set to 3.0"}
            << "3.0..none, setting";
    }

    void loopKeyCycles()
    {
        QFETCH(QList<double>, presses);
        QFETCH(QStringList, lines);
        QFETCH(QString, state);
        LoopKey loud;
        LoopKey quiet;  // the silent variant changes the same state without a line
        QStringList loudLines;
        QStringList quietLines;
        for (double at : presses) {
            loudLines += loud.step(at, LoopLogging::WithLogLines);
            quietLines += quiet.step(at, LoopLogging::Silent);
            QCOMPARE(quiet.state(), loud.state());
        }
        QCOMPARE(loudLines, lines);
        QCOMPARE(quietLines, lines.filter(QStringLiteral("Stop: ")));
        QCOMPARE(loud.state(), state);
    }
};

QTEST_MAIN(AudioPlayerTest)
#include "tst_audioplayer.moc"
