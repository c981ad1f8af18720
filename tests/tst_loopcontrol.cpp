#include "TestSupport.h"

#include "engine/AudioPlayer.h"
#include "engine/Log.h"
#include "engine/LoopControl.h"

#include <QTest>

#include <limits>

namespace {

// The window's loop flag and engine together, pressed like the loop key.
struct LoopBench {
    AudioPlayer engine;
    bool isSettingLoop = false;

    void press(double atSeconds, LoopLogging logging = LoopLogging::WithLogLines)
    {
        engine.setCurrentTime(atSeconds);
        cycleLoop(engine, isSettingLoop, [this](bool value) { isSettingLoop = value; }, logging);
    }
    bool isOff() const { return !isSettingLoop && !engine.loopStart() && !engine.loopEnd(); }
};

}  // namespace

class LoopControlTest : public QObject {
    Q_OBJECT

private slots:
    void startEndClear()
    {
        LoopBench bench;
        Log::Capture log;
        bench.press(3.2);
        QVERIFY(bench.isSettingLoop);
        QCOMPARE(bench.engine.loopStart(), std::optional<double>(3.2));
        QVERIFY(!bench.engine.loopEnd());

        bench.press(7.9);
        QCOMPARE(bench.engine.loopEnd(), std::optional<double>(7.9));
        QVERIFY(bench.isSettingLoop);

        bench.press(8.5);
        QVERIFY(bench.isOff());
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("Loop start set to 3.2"), QStringLiteral("Loop end set to 7.9"),
                                           QStringLiteral("Loop cleared")}));
    }

    void endAtOrBeforeStartIsIgnoredUntilPlaybackPassesIt()
    {
        LoopBench bench;
        bench.press(5.0);
        Log::Capture log;
        bench.press(5.0);
        bench.press(4.0);
        bench.press(std::numeric_limits<double>::quiet_NaN());
        QVERIFY(log.lines().isEmpty());
        QVERIFY(!bench.engine.loopEnd());
        QCOMPARE(bench.engine.loopStart(), std::optional<double>(5.0));
        bench.press(5.5);
        QCOMPARE(bench.engine.loopEnd(), std::optional<double>(5.5));
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Loop end set to 5.5")});
    }

    void withoutTrackOnlyTheStartCanBeSet()
    {
        LoopBench bench;
        Log::Capture log;
        bench.press(0.0);
        bench.press(0.0);
        bench.press(0.0);
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Loop start set to 0.0")});
        QCOMPARE(bench.engine.loopStart(), std::optional<double>(0.0));
        QVERIFY(bench.isSettingLoop);
    }

    void stopOrphansTheFlagAndTheNextPressClears()
    {
        LoopBench bench;
        bench.press(1.0);
        bench.press(2.0);
        bench.engine.stop();  // as when another track or playlist is chosen
        QVERIFY(bench.isSettingLoop);
        QVERIFY(!bench.engine.loopStart() && !bench.engine.loopEnd());

        Log::Capture log;
        bench.press(3.0);
        QVERIFY(bench.isOff());
        bench.press(3.0);
        QCOMPARE(bench.engine.loopStart(), std::optional<double>(3.0));
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("Loop cleared"), QStringLiteral("Loop start set to 3.0")}));
    }

    void silentVariantChangesTheSameState()
    {
        LoopBench loud;
        LoopBench quiet;
        Log::Capture log;
        for (double t : {1.5, 1.0, 2.25, 9.0, 0.5}) {
            loud.press(t, LoopLogging::WithLogLines);
            const qsizetype linesBefore = log.lines().size();
            quiet.press(t, LoopLogging::Silent);
            QCOMPARE(log.lines().size(), linesBefore);
            QCOMPARE(quiet.isSettingLoop, loud.isSettingLoop);
            QCOMPARE(quiet.engine.loopStart(), loud.engine.loopStart());
            QCOMPARE(quiet.engine.loopEnd(), loud.engine.loopEnd());
        }
    }

    void pauseSeekAndVolumeLeaveTheLoopAlone()
    {
        LoopBench bench;
        bench.engine.setPlaylist({fixtureUrl(QStringLiteral("sine-5s.mp3"))});
        bench.engine.playTrack(0);
        bench.press(1.0);
        bench.press(2.0);
        bench.engine.togglePlayPause();
        bench.engine.seek(1.5);
        bench.engine.applyVolume(0.2f);
        bench.engine.togglePlayPause();
        QCOMPARE(bench.engine.loopStart(), std::optional<double>(1.0));
        QCOMPARE(bench.engine.loopEnd(), std::optional<double>(2.0));
        QVERIFY(bench.isSettingLoop);
    }
};

QTEST_MAIN(LoopControlTest)
#include "tst_loopcontrol.moc"
