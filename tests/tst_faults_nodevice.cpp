// No sound device at all, not even SDL's silent one: the engine plays on the
// wall clock, unheard, at the usual pace, and says so once.

#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTest>

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
        // The position keeps the pace of time (less what the silent output
        // holds), however late this test itself gets to look.
        QTest::qWait(400);
        const double position = engine.player()->currentTime();
        const double elapsed = sincePlay.elapsed() / 1000.0;
        QVERIFY2(position > elapsed - 0.15 && position <= elapsed + 0.01,
                 qPrintable(QStringLiteral("%1 after %2 s").arg(position).arg(elapsed)));

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
