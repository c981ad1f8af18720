// No sound device at all, not even SDL's silent one: the engine plays on the
// wall clock, unheard, at the usual pace, and says so once.

#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTest>

#include <cmath>

class NoDeviceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AudioOutput::refuseDevicesForTesting(); }

    void theEngineRunsOnTheWallClock()
    {
        const QString unavailable = QStringLiteral("Audio output unavailable (no device may be opened), playing silently");
        Log::Capture log;
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(QStringLiteral("chirp-cbr.mp3")), fixtureUrl(QStringLiteral("sine-5s.m4a"))});
        QElapsedTimer sincePlay;
        engine.playTrack(0);
        sincePlay.start();
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("Stop: currentTime=0.0, loop cleared"), unavailable,
                                           QStringLiteral("Playing: chirp-cbr.mp3")}));
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::WallClock);
        // The position keeps the pace of time, never ahead of it. The pace
        // is taken over a window, and over another when the machine was too
        // busy in one (a silent output that falls far behind gives up the
        // time rather than race to catch up); a wrong pace misses all three.
        QStringList paces;
        bool keptPace = false;
        for (int window = 0; window < 3 && !keptPace; ++window) {
            const double from = engine.player()->currentTime();
            QElapsedTimer clock;
            clock.start();
            QTest::qWait(1000);  // long enough that a rate mixed up (44.1 for 48 kHz) shows
            const double advanced = engine.player()->currentTime() - from;
            const double seconds = clock.elapsed() / 1000.0;
            paces << QStringLiteral("%1 in %2 s").arg(advanced).arg(seconds);
            keptPace = std::abs(advanced - seconds) < 0.06;
        }
        QVERIFY2(keptPace, qPrintable(paces.join(QStringLiteral(", "))));
        const double position = engine.player()->currentTime();
        const double elapsed = sincePlay.elapsed() / 1000.0;
        QVERIFY2(position > 0.3 && position <= elapsed + 0.01, qPrintable(QStringLiteral("%1 after %2 s").arg(position).arg(elapsed)));

        engine.seek(engine.player()->duration() - 0.1);
        QTRY_VERIFY_WITH_TIMEOUT(!engine.isPlaying(), 2000);  // the end is reached as with a device
        log.clear();
        engine.playTrack(1);
        QCOMPARE(log.lines().last(), QStringLiteral("Playing: sine-5s.m4a"));
        QVERIFY(!log.lines().contains(unavailable));
        QTRY_VERIFY_WITH_TIMEOUT(engine.currentTime() > 0.1, 1000);
    }
};

QTEST_MAIN(NoDeviceTest)
#include "tst_faults_nodevice.moc"
