// Leaving a track while it plays (the next one chosen, or Rivetone quit): on
// a real device, SDL's file-writing driver, whose file holds what was
// played, the track dies away over a short fade rather than stop dead, which
// is heard as a click; and a track whose read hangs is left without waiting.

#include "base/LeavableThread.h"
#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "engine/DecodeStream.h"
#include "HungReads.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <cmath>
#include <memory>
#include <numbers>

class SwitchFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void aTrackLeftWhilePlayingDiesAway()
    {
        const DiskDevice device(QStringLiteral("output.raw"));
        // Kept: made again, the output would open the file anew, empty.
        const std::shared_ptr<AudioOutput> output = AudioOutput::shared();
        {
            AudioPlayer engine;
            // Both a 440 Hz tone: the largest step between two samples is
            // the tone's own, but where a track stops dead.
            engine.setPlaylist({fixtureUrl(QStringLiteral("sine-5s.mp3")), fixtureUrl(QStringLiteral("sine-5s.m4a"))});
            engine.playTrack(0);
            QCOMPARE(output->driver(), AudioOutput::Driver::Device);
            QTest::qWait(400);
            engine.playTrack(1);
            QTest::qWait(400);
        }  // quit while playing
        // Resting, the device is closed and its file written out.
        QTRY_VERIFY_WITH_TIMEOUT(output->isResting(), 10000);

        QFile file(device.outputFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto* samples = reinterpret_cast<const float*>(bytes.constData());
        const qsizetype frames = bytes.size() / qsizetype(2 * sizeof(float));
        QVERIFY(frames > output->sampleRate() / 2);
        float peak = 0;
        float largestStep = 0;
        for (qsizetype frame = 1; frame < frames; ++frame) {
            peak = std::max(peak, std::abs(samples[2 * frame]));
            largestStep = std::max(largestStep, std::abs(samples[2 * frame] - samples[2 * frame - 2]));
        }
        const double toneStep = peak * 2 * std::numbers::pi * 440 / output->sampleRate();
        QVERIFY2(peak > 0.05 && largestStep < 1.5 * toneStep,
                 qPrintable(QStringLiteral("largest step %1, the tone's own %2").arg(largestStep).arg(toneStep)));
    }

    // A file on a network share or a disk that stopped answering: the
    // decoder's read does not come back. Neither the next track nor the quit
    // may wait for it; it ends by itself once the read returns.
    void aTrackWhoseReadHangsIsLeftWithoutWaiting()
    {
        auto engine = std::make_unique<AudioPlayer>();
        engine->setPlaylist({fixtureUrl(QStringLiteral("sine-5s.mp3")), fixtureUrl(QStringLiteral("sine-5s.m4a"))});
        engine->playTrack(0);
        QElapsedTimer leaving;
        {
            const HungReads hung;
            // The queue plays down, and the decoder's next read hangs.
            QTRY_COMPARE_WITH_TIMEOUT(DecodeStream::stalledReadsForTesting(), 1, 2000);
            leaving.start();
            engine->playTrack(1);
            QVERIFY2(leaving.elapsed() < 1000, qPrintable(QStringLiteral("the switch took %1 ms").arg(leaving.elapsed())));
            QCOMPARE(LeavableThread::stillRunningLetGo(), 1);
            // The next track, on another disk, plays meanwhile.
            QTRY_VERIFY_WITH_TIMEOUT(engine->currentTime() > 0.3, 2000);
            QCOMPARE(engine->currentTrackIndex(), std::optional<qint64>(1));
        }
        QVERIFY(LeavableThread::letGoEndedWithin(std::chrono::seconds(10)));
        {
            const HungReads hung;
            QTRY_COMPARE_WITH_TIMEOUT(DecodeStream::stalledReadsForTesting(), 1, 2000);
            leaving.start();
            engine.reset();  // the quit
            QVERIFY2(leaving.elapsed() < 1000, qPrintable(QStringLiteral("the quit took %1 ms").arg(leaving.elapsed())));
            QCOMPARE(LeavableThread::stillRunningLetGo(), 1);
        }
        QVERIFY(LeavableThread::letGoEndedWithin(std::chrono::seconds(10)));
    }

    // Chosen on such a share, the track does not open: the window waits for
    // it a little over the open's own deadline, then gives up on it as on
    // any track that cannot be played.
    void aTrackThatDoesNotOpenIsGivenUpOnInTime()
    {
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(QStringLiteral("sine-5s.mp3")), fixtureUrl(QStringLiteral("sine-5s.m4a"))});
        engine.playTrack(0);
        Log::Capture log;
        QElapsedTimer choosing;
        {
            const HungReads hung(8, true);
            choosing.start();
            engine.playTrack(1);
            QVERIFY2(choosing.elapsed() < 5000, qPrintable(QStringLiteral("the choice took %1 ms").arg(choosing.elapsed())));
        }
        QCOMPARE(log.lines().filter(QStringLiteral("Error playing track")), QStringList{QStringLiteral("Error playing track: %1: it did not answer within 3 s")
                                              .arg(fixturePath(QStringLiteral("sine-5s.m4a")))});
        QVERIFY(!engine.isPlaying());
        QVERIFY(LeavableThread::letGoEndedWithin(std::chrono::seconds(10)));
        engine.playTrack(1);  // the share answers again
        QVERIFY(engine.isPlaying());
    }
};

QTEST_MAIN(SwitchFaultsTest)
#include "tst_faults_switch.moc"
