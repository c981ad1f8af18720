// No sound device at all, not even SDL's silent one: the engine plays on the
// wall clock, unheard, and everything else works as ever. Says so once.
#include "TestSupport.h"

#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "engine/Log.h"

#include <QTest>

namespace {

int count(const QStringList& lines, const QString& line)
{
    return int(lines.count(line));
}

}  // namespace

class NoDeviceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AudioOutput::refuseDevicesForTesting(); }

    void theEngineRunsOnTheWallClock()
    {
        Log::Capture log;
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(QStringLiteral("chirp-cbr.mp3")), fixtureUrl(QStringLiteral("sine-5s.m4a"))});
        engine.playTrack(0);
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("Stop: currentTime=0.0, loop cleared"),
                                           QStringLiteral("Audio output unavailable (no device may be opened), playing silently"),
                                           QStringLiteral("Playing: chirp-cbr.mp3")}));
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::WallClock);
        QVERIFY(engine.isPlaying());

        // The position moves at the pace of time.
        QTest::qWait(400);
        QVERIFY2(engine.currentTime() > 0.25 && engine.currentTime() < 0.6, qPrintable(QString::number(engine.currentTime())));

        // The loop is drilled.
        log.clear();
        engine.setLoopStart(1.0);
        engine.setLoopEnd(1.2);
        engine.seek(1.0);
        double lowest = 10, highest = 0;
        for (int i = 0; i < 80; ++i) {
            QTest::qWait(10);
            lowest = std::min(lowest, engine.currentTime());
            highest = std::max(highest, engine.currentTime());
        }
        QVERIFY2(lowest >= 1.0 && highest < 1.25, qPrintable(QStringLiteral("%1 .. %2").arg(lowest).arg(highest)));
        QVERIFY(count(log.lines(), QStringLiteral("Seek to: 1.0")) >= 3);

        // Pause holds the position; play goes on from it.
        engine.togglePlayPause();
        const double paused = engine.player()->currentTime();
        QTest::qWait(100);
        QCOMPARE(engine.player()->currentTime(), paused);
        engine.togglePlayPause();
        QTRY_VERIFY_WITH_TIMEOUT(engine.player()->currentTime() > paused, 1000);

        // The end of a track is reached as with a device, and the next track
        // loads without another word about the output.
        engine.stop();
        engine.seek(engine.player()->duration() - 0.1);
        engine.togglePlayPause();
        QTRY_VERIFY_WITH_TIMEOUT(!engine.isPlaying(), 2000);
        QCOMPARE(engine.player()->currentTime(), 0.0);
        log.clear();
        engine.playTrack(1);
        QCOMPARE(log.lines().last(), QStringLiteral("Playing: sine-5s.m4a"));
        QCOMPARE(count(log.lines(), QStringLiteral("Audio output unavailable (no device may be opened), playing silently")), 0);
        QTRY_VERIFY_WITH_TIMEOUT(engine.currentTime() > 0.1, 1000);
    }
};

QTEST_MAIN(NoDeviceTest)
#include "tst_faults_nodevice.moc"
