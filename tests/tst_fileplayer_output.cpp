// What a file player hands to the output, pulled by hand instead of by a
// device: exact seeks through the queue, no stale audio after a seek, gain,
// pause, a bounded queue, and the pieces the output is built from.
#include "KnownSignal.h"
#include "TestSupport.h"

#include "engine/AudioOutput.h"
#include "engine/BlockRing.h"
#include "engine/FilePlayer.h"
#include "engine/HeardClock.h"

#include <QTest>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

constexpr int rate = 44100;

// Pulls frames from the output until `frames` came from the stream or the
// stream stops delivering for a while (end, or paused).
std::vector<float> pull(int frames, std::chrono::milliseconds patience = std::chrono::milliseconds(1000))
{
    std::vector<float> collected;
    float chunk[2 * 256];
    auto lastProgress = std::chrono::steady_clock::now();
    while (collected.size() < std::size_t(frames) * 2) {
        const int wanted = std::min(256, frames - int(collected.size() / 2));
        const int supplied = AudioOutput::shared()->renderForTesting(chunk, wanted);
        if (supplied > 0) {
            collected.insert(collected.end(), chunk, chunk + supplied * 2);
            lastProgress = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - lastProgress > patience) {
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return collected;
}

double largestDifference(const std::vector<float>& heard, const std::vector<float>& straight, std::int64_t at,
                         float gain = 1.0f)
{
    double largest = 0;
    for (std::size_t i = 0; i < heard.size(); ++i)
        largest = std::max(largest, double(std::fabs(heard[i] - gain * straight[std::size_t(at * 2) + i])));
    return largest;
}

}  // namespace

class FilePlayerOutputTest : public QObject {
    Q_OBJECT

    std::vector<float> m_straight;  // chirp-cbr.mp3 at the output rate

private slots:
    void initTestCase()
    {
        AudioOutput::useManualOutputForTesting(rate);
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::Manual);
        QCOMPARE(AudioOutput::shared()->sampleRate(), rate);
        m_straight = KnownSignal::straightDecode(fixturePath(QStringLiteral("chirp-cbr.mp3")), rate);
        QCOMPARE(m_straight.size(), std::size_t(KnownSignal::chirpFrames * 2));
    }

    void nothingComesOutUntilPlay()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        QVERIFY(player);
        QVERIFY(pull(100, std::chrono::milliseconds(100)).empty());
        QCOMPARE(player->currentTime(), 0.0);
        player->play();
        QVERIFY(player->isPlaying());
        QCOMPARE(largestDifference(pull(10000), m_straight, 0), 0.0);
    }

    void seeksThroughTheQueueLandOnTheExactSample_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("seconds");
        for (const char* name : {"chirp-cbr.mp3", "chirp.m4a"})
            for (double seconds : {0.0, 1152.0 / rate, 1.0, 2.5, 3.2, 5.9})
                QTest::addRow("%s at %g", name, seconds) << QString::fromLatin1(name) << seconds;
    }

    void seeksThroughTheQueueLandOnTheExactSample()
    {
        QFETCH(QString, name);
        QFETCH(double, seconds);
        const auto straight = KnownSignal::straightDecode(fixturePath(name), rate);
        const auto player = FilePlayer::load(fixtureUrl(name), nullptr);
        QVERIFY(player);
        player->setCurrentTime(seconds);
        QCOMPARE(player->currentTime(), seconds);
        player->play();
        QCOMPARE(player->currentTime(), seconds);  // nothing heard yet
        const std::int64_t at = std::llround(seconds * rate);
        const auto heard = pull(2048);
        QCOMPARE(std::int64_t(heard.size() / 2), std::min<std::int64_t>(2048, std::int64_t(straight.size() / 2) - at));
        QCOMPARE(largestDifference(heard, straight, at), 0.0);
    }

    void seekWhilePlayingNeverPlaysStaleAudio()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        player->play();
        pull(3000);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the decoder queue far ahead
        // Loop-style: jump back to the same start many times, from wherever
        // playback has got to.
        for (int round = 0; round < 15; ++round) {
            player->setCurrentTime(1.5);
            QCOMPARE(player->currentTime(), 1.5);
            const auto heard = pull(1000 + 97 * round);
            QCOMPARE(largestDifference(heard, m_straight, std::llround(1.5 * rate)), 0.0);
        }
        player->setCurrentTime(4.0);
        QCOMPARE(largestDifference(pull(5000), m_straight, 4 * rate), 0.0);
    }

    void gainScalesWhatIsHandedOut()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        QCOMPARE(player->volume(), 1.0f);
        player->setVolume(0.25f);
        QCOMPARE(player->volume(), 0.25f);
        player->play();
        QVERIFY(largestDifference(pull(4000), m_straight, 0, 0.25f) < 1e-7);
        player->setVolume(0.0f);  // takes effect with the next buffer
        const auto silent = pull(2000);
        QCOMPARE(silent.size(), std::size_t(4000));
        QVERIFY(std::all_of(silent.begin(), silent.end(), [](float sample) { return sample == 0.0f; }));
        player->setVolume(1.0f);
        QCOMPARE(largestDifference(pull(1000), m_straight, 6000), 0.0);
    }

    void pauseStopsOutputAndPlayContinuesSeamlessly()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        player->play();
        pull(7000);
        player->pause();
        QVERIFY(!player->isPlaying());
        // Paused, the position is where the sound stops: what was handed over.
        QCOMPARE(player->currentTime(), 7000.0 / rate);
        QVERIFY(pull(100, std::chrono::milliseconds(100)).empty());
        QCOMPARE(player->currentTime(), 7000.0 / rate);
        player->play();
        QCOMPARE(largestDifference(pull(3000), m_straight, 7000), 0.0);
    }

    void theQueueRunsAheadButStaysBounded()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        player->play();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        // Drain what is queued as fast as it comes. The decoder tops the
        // queue up at most once per wake-up (every 100 ms) and never past the
        // ring; the whole 6 s file would be over 500 blocks.
        float chunk[2 * 256];
        int queued = 0;
        const auto start = std::chrono::steady_clock::now();
        while (const int supplied = AudioOutput::shared()->renderForTesting(chunk, 256)) {
            queued += supplied;
            if (supplied < 256)
                break;
        }
        const auto elapsedMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        const int ringFrames = 64 * AudioBlock::capacityFrames;
        const int allowed = ringFrames * int(2 + elapsedMs / 100);
        QVERIFY2(queued >= 8 * AudioBlock::capacityFrames, qPrintable(QString::number(queued)));
        QVERIFY2(queued <= allowed, qPrintable(QStringLiteral("%1 in %2 ms").arg(queued).arg(elapsedMs)));
    }

    void playingToTheEndHandsOverTheLastSampleAndNoMore()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        player->setCurrentTime(5.9);
        player->play();
        const auto heard = pull(10000, std::chrono::milliseconds(300));
        QCOMPARE(std::int64_t(heard.size() / 2), KnownSignal::chirpFrames - std::llround(5.9 * rate));
        QCOMPARE(largestDifference(heard, m_straight, std::llround(5.9 * rate)), 0.0);
        QVERIFY(player->hasReachedEnd());
        QVERIFY(!player->isPlaying());
        QCOMPARE(player->currentTime(), player->duration());
        player->play();  // at the very end: nothing to play, still at the end
        QVERIFY(player->hasReachedEnd());
        QVERIFY(!player->isPlaying());
        player->setCurrentTime(1.0);
        QVERIFY(!player->hasReachedEnd());
        QVERIFY(player->isPlaying());
        QCOMPARE(largestDifference(pull(500), m_straight, rate), 0.0);
    }

    void seekTargetsAreClamped()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        player->setCurrentTime(-3);
        QCOMPARE(player->currentTime(), 0.0);
        player->setCurrentTime(std::nan(""));
        QCOMPARE(player->currentTime(), 0.0);
        player->setCurrentTime(60);
        QCOMPARE(player->currentTime(), 6.0);
    }

    void destroyingAPlayingPlayerDetachesIt()
    {
        for (int round = 0; round < 10; ++round) {
            auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp.m4a")), nullptr);
            player->play();
            pull(100 * round + 1);
            player.reset();
            float chunk[2 * 64];
            QCOMPARE(AudioOutput::shared()->renderForTesting(chunk, 64), 0);
        }
    }

    void heardClockAdvancesBetweenWhatWasHandedOver()
    {
        HeardClock clock;
        clock.serving = 1;
        clock.hasFrames = 1;
        clock.runStartFrame = 1000;
        clock.anchorFrame = 2000;
        clock.anchorTimeNs = 1'000'000'000;  // frame 2000 is heard at t = 1 s
        clock.handedEndFrame = 3000;
        QCOMPARE(clock.heardFrame(1'000'000'000, 1000), std::int64_t(2000));
        QCOMPARE(clock.heardFrame(1'500'000'000, 1000), std::int64_t(2500));
        QCOMPARE(clock.heardFrame(500'000'000, 1000), std::int64_t(1500));  // the previous buffer, still playing
        QCOMPARE(clock.heardFrame(0, 1000), std::int64_t(1000));            // not before the run started
        QCOMPARE(clock.heardFrame(9'000'000'000, 1000), std::int64_t(3000));  // not past what was handed over
        QCOMPARE(clock.heardFrame(std::int64_t(1) << 62, 48000), std::int64_t(3000));  // no overflow
        clock.serving = 0;  // paused: the sound stops where the handed audio ends
        QCOMPARE(clock.heardFrame(1'000'000'000, 1000), std::int64_t(3000));
    }

    void blockRingPassesBlocksInOrderBetweenTwoThreads()
    {
        BlockRing ring(8);
        QVERIFY(!ring.readableBlock());
        for (int i = 0; i < 8; ++i) {
            QVERIFY(ring.writableBlock());
            ring.publish();
        }
        QVERIFY(!ring.writableBlock());  // full
        QCOMPARE(ring.usedBlocks(), 8);
        for (int i = 0; i < 8; ++i)
            ring.release();
        QCOMPARE(ring.usedBlocks(), 0);

        constexpr std::int64_t blocks = 20000;
        std::thread producer([&] {
            for (std::int64_t i = 0; i < blocks;) {
                if (AudioBlock* block = ring.writableBlock()) {
                    block->startFrame = i;
                    block->samples[0] = float(i % 1000);
                    ring.publish();
                    ++i;
                }
            }
        });
        std::int64_t expected = 0;
        bool inOrder = true;
        while (expected < blocks) {
            if (AudioBlock* block = ring.readableBlock()) {
                inOrder = inOrder && block->startFrame == expected && block->samples[0] == float(expected % 1000);
                ring.release();
                ++expected;
            }
        }
        producer.join();
        QVERIFY(inOrder);
    }
};

QTEST_GUILESS_MAIN(FilePlayerOutputTest)
#include "tst_fileplayer_output.moc"
