// The sound device fails while a loop is being drilled: it stops calling
// back, as a device that was unplugged or hung does. After a moment the wall
// clock takes over; the position, the loop and the engine's ticks carry on,
// and a new track plays on. Says so once.
#include "TestSupport.h"

#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "engine/Log.h"

#include <QTest>

namespace {

struct Span {
    double lowest = 1e9;
    double highest = -1e9;
    int wraps = 0;
};

// Lets the engine's timer run for a while; notes the published positions and
// how often the loop pulled back.
Span drill(AudioPlayer& engine, Log::Capture& log, int milliseconds, const QString& wrapLine)
{
    Span span;
    for (int waited = 0; waited < milliseconds; waited += 10) {
        QTest::qWait(10);
        span.lowest = std::min(span.lowest, engine.currentTime());
        span.highest = std::max(span.highest, engine.currentTime());
    }
    span.wraps = int(log.lines().count(wrapLine));
    log.clear();
    return span;
}

}  // namespace

class DeviceFailureTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("SDL_AUDIODRIVER", "dummy");
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::Device);
    }

    void theLoopGoesOnWhenTheDeviceStops()
    {
        Log::Capture log;
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(QStringLiteral("chirp-cbr.mp3")), fixtureUrl(QStringLiteral("sine-5s.mp3"))});
        engine.playTrack(0);
        engine.setLoopStart(2.0);
        engine.setLoopEnd(2.3);
        engine.seek(2.0);
        log.clear();
        const QString wrapLine = QStringLiteral("Seek to: 2.0");

        const Span before = drill(engine, log, 800, wrapLine);
        QVERIFY2(before.wraps >= 2, qPrintable(QString::number(before.wraps)));

        AudioOutput::shared()->simulateDeviceStallForTesting();
        // Until the stall is noticed the position stands still; then it moves on.
        QTRY_COMPARE_WITH_TIMEOUT(AudioOutput::shared()->driver(), AudioOutput::Driver::WallClock, 2000);
        QCOMPARE(log.lines().count(QStringLiteral("Audio output stopped responding, playing silently")), 1);
        log.clear();
        const Span after = drill(engine, log, 1200, wrapLine);
        QVERIFY2(after.wraps >= 3, qPrintable(QString::number(after.wraps)));
        QVERIFY2(after.lowest >= 2.0 && after.highest < 2.4, qPrintable(QStringLiteral("%1 .. %2").arg(after.lowest).arg(after.highest)));
        QVERIFY(engine.isPlaying());
        QVERIFY(engine.timer());
        QCOMPARE(*engine.loopStart(), 2.0);
        QCOMPARE(*engine.loopEnd(), 2.3);

        // Another track loads and plays on the wall clock; nothing more is said about the output.
        engine.playTrack(1);
        QCOMPARE(log.lines().last(), QStringLiteral("Playing: sine-5s.mp3"));
        QTest::qWait(300);
        QVERIFY2(engine.currentTime() > 0.15 && engine.currentTime() < 0.5, qPrintable(QString::number(engine.currentTime())));
        QVERIFY(!log.lines().join(u'\n').contains(QStringLiteral("Audio output")));
    }
};

QTEST_MAIN(DeviceFailureTest)
#include "tst_faults_devicefailure.moc"
