// Decoding, and what a file player hands to the output, pulled by hand
// instead of by a device: what loads, the true length and first sample, exact
// seeks, no stale audio after a seek, gain, pause, the end, and the lock-free
// pieces between the threads.

#include "engine/AudioOutput.h"
#include "engine/Crossfade.h"
#include "engine/DecodeStream.h"
#include "engine/FilePlayer.h"
#include "engine/HeardTimeline.h"
#include "engine/LoopPlan.h"
#include "engine/Mp3GaplessInfo.h"
#include "engine/PlaybackSource.h"
#include "engine/Seqlock.h"
#include "KnownSignal.h"
#include "LoopListener.h"
#include "ManualOutput.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <atomic>
#include <cmath>
#include <thread>

using ManualOutput::pull;

namespace {

constexpr int rate = 44100;  // the output's
const QString chirp = QStringLiteral("chirp-cbr.mp3");
const QString invalidData = QStringLiteral(": Invalid data found when processing input");

// Largest difference between frames from `at` on and gain times the same
// frames of a straight decode; the first fadeIn frames faded in as a resume
// fades them (a raised-cosine rise).
double largestDifference(const std::vector<float>& heard, const std::vector<float>& straight, std::int64_t at,
                         float gain = 1.0f, int fadeIn = 0)
{
    double largest = 0;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        const std::int64_t frame = std::int64_t(i / 2);
        const double rise = frame < fadeIn ? std::pow(std::sin(M_PI / 2 * (frame + 0.5) / fadeIn), 2) : 1.0;
        largest = std::max(largest, std::fabs(heard[i] - gain * rise * straight[std::size_t(at * 2) + i]));
    }
    return largest;
}

const int fade = Crossfade::framesAt(rate);

std::vector<float> readFrames(DecodeStream& stream, int frames)
{
    std::vector<float> out(std::size_t(frames) * 2);
    out.resize(std::size_t(stream.read(out.data(), frames)) * 2);
    return out;
}

}  // namespace

class FilePlayerDecodingTest : public QObject {
    Q_OBJECT

    std::vector<float> m_straight;  // the chirp at the output rate
    QTemporaryDir m_folder;
    // The AAC chirp with about a second of its audio data damaged: the decoder
    // makes nothing of those packets, and their time plays as silence.
    const QString m_damagedAac = m_folder.filePath(QStringLiteral("damaged.m4a"));

private slots:
    void initTestCase()
    {
        AudioOutput::useManualOutputForTesting(rate);
        m_straight = KnownSignal::straightDecode(fixturePath(chirp), rate);
        QByteArray damaged = readFile(fixturePath(QStringLiteral("chirp.m4a")));
        for (int i = 30'000; i < 40'000; ++i)
            damaged[i] = char((i * 7919) >> 3);
        QVERIFY(writeFile(m_damagedAac, damaged));
    }

    void loadFailuresNameTheFileAndTheReason_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("error");
        const QString web = QStringLiteral("https://example.com/a.mp3");
        QTest::newRow("missing") << fixtureUrl("no-such-file.mp3") << fixturePath("no-such-file.mp3") + ": No such file or directory";
        QTest::newRow("folder") << fixtureUrl("fuzz") << fixturePath("fuzz") + ": Is a directory";
        QTest::newRow("not a file") << QUrl(web) << web + ": not a local file";
        for (const char* name : {"empty.mp3", "truncated.mp3", "not-audio.mp3"})
            QTest::newRow(name) << fixtureUrl(name) << fixturePath(name) + invalidData;
    }

    void loadFailuresNameTheFileAndTheReason()
    {
        QFETCH(QUrl, url);
        QFETCH(QString, error);
        QString description;
        QVERIFY(!FilePlayer::load(url, &description));
        QCOMPARE(description, error);
        QVERIFY(!FilePlayer::load(url, nullptr));
    }

    void everyRealSampleComesOutFromTheFirst_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<int>("lagTolerance");  // -1: not a chirp
        // MP3 keeps the phase exactly; AAC shifts it by a few samples in
        // coding, but never by anything near its 1024 samples of priming.
        QTest::newRow("mp3 cbr") << chirp << qint64(KnownSignal::chirpFrames) << 0;
        QTest::newRow("mp3 vbr mono") << "chirp-vbr-mono.mp3" << qint64(KnownSignal::chirpFrames) << 0;
        QTest::newRow("aac m4a") << "chirp.m4a" << qint64(KnownSignal::chirpFrames) << 8;
        QTest::newRow("tone mp3") << "sine-5s.mp3" << qint64(5 * 44100) << -1;
        QTest::newRow("tone m4a") << "sine-5s.m4a" << qint64(5 * 44100) << -1;
        QTest::newRow("hangul name") << "Unit 1 듣기.mp3" << qint64(44100) << -1;
    }

    void everyRealSampleComesOutFromTheFirst()
    {
        QFETCH(QString, name);
        QFETCH(qint64, frames);
        QFETCH(int, lagTolerance);
        const auto player = FilePlayer::load(fixtureUrl(name), nullptr);
        QVERIFY(player);
        QCOMPARE(player->duration(), double(frames) / 44100);
        for (int outputRate : {44100, 48000}) {
            const auto decoded = KnownSignal::straightDecode(fixturePath(name), outputRate);
            QCOMPARE(qint64(decoded.size() / 2), frames * outputRate / 44100);
            if (lagTolerance >= 0) {  // against the left chirp: swapped channels fail too
                const int lag = KnownSignal::bestLagAgainstChirp(decoded, outputRate, 1500);
                QVERIFY2(std::abs(lag) <= lagTolerance, qPrintable(QStringLiteral("lag %1 at %2").arg(lag).arg(outputRate)));
            }
        }
    }

    void monoReachesBothEarsAtFullLevel()
    {
        const auto mono = KnownSignal::straightDecode(fixturePath(QStringLiteral("chirp-vbr-mono.mp3")), rate);
        float peak = 0;
        for (std::size_t i = 0; i + 1 < mono.size(); i += 2) {
            QCOMPARE(mono[i], mono[i + 1]);
            peak = std::max(peak, std::fabs(mono[i]));
        }
        QVERIFY2(peak > 0.47 && peak < 0.56, qPrintable(QString::number(peak)));  // not 3 dB down
    }

    void seeksLandOnTheExactSample_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("outputRate");
        // (At 24 kHz, an MP3 frame may draw on data stored many frames back.)
        for (const char* name : {"chirp-cbr.mp3", "chirp-vbr-mono.mp3", "chirp-vbr-24k.mp3", "chirp.m4a"})
            for (int outputRate : {44100, 48000})
                QTest::addRow("%s at %d", name, outputRate) << fixturePath(QString::fromLatin1(name)) << outputRate;
        // Seeks into the silence, and just before its end, land there too.
        QTest::addRow("damaged AAC at 44100") << m_damagedAac << 44100;
        QTest::addRow("damaged AAC at 48000") << m_damagedAac << 48000;
    }

    void seeksLandOnTheExactSample()
    {
        QFETCH(QString, path);
        QFETCH(int, outputRate);
        const auto straight = KnownSignal::straightDecode(path, outputRate);
        const std::int64_t length = std::int64_t(straight.size() / 2);
        const auto stream = DecodeStream::open(path, outputRate, nullptr);
        QCOMPARE(stream->outputLengthFrames(), length);

        // 0, codec frame boundaries and their neighbours (1152 for MP3, 1024
        // for AAC, also after the 1105-sample MP3 delay), the resampler's
        // grid (147 -> 160), arbitrary points, and the last frames.
        const std::int64_t targets[] = {0, 1, 1023, 1024, 1025, 1151, 1152, 1153, 1105, 2304, 159, 160, 161,
                                        44100, 48000, 99999, 123457, 200000, length / 2, length - 4096,
                                        length - 700, length - 1};
        for (const std::int64_t target : targets) {
            stream->seek(target);
            QCOMPARE(stream->position(), target);
            const auto decoded = readFrames(*stream, 3000);
            QCOMPARE(std::int64_t(decoded.size() / 2), std::min<std::int64_t>(3000, length - target));
            QCOMPARE(stream->position(), target + std::int64_t(decoded.size() / 2));
            const double difference = largestDifference(decoded, straight, target);
            QVERIFY2(difference <= 1e-6, qPrintable(QStringLiteral("at %1: %2").arg(target).arg(difference)));
        }
        // Where a long silence ends (a damaged stretch), seeks that land a
        // piece of silence, and a frame or two more, before it and read on
        // past it: the sound after it in its place. (Its first codec frame
        // differs by what the decoder kept from before the damage.)
        std::int64_t silentFrom = 0;
        std::int64_t longestEnd = 0;
        std::int64_t longest = 0;
        for (std::int64_t frame = 0; frame < length; ++frame) {
            if (straight[std::size_t(frame) * 2] != 0.0f || straight[std::size_t(frame) * 2 + 1] != 0.0f)
                silentFrom = frame + 1;
            else if (frame + 1 - silentFrom > longest)
                longest = frame + 1 - silentFrom, longestEnd = frame + 1;
        }
        if (path == m_damagedAac)
            QVERIFY(longest > 8192);
        if (longest > 8192) {
            for (const std::int64_t target : {longestEnd - 8194, longestEnd - 8193, longestEnd - 1000, longestEnd + 3}) {
                stream->seek(target);
                const auto decoded = readFrames(*stream, 12000);
                QCOMPARE(stream->position(), target + std::int64_t(decoded.size() / 2));
                const std::int64_t skipped = std::max<std::int64_t>(0, longestEnd + 2048 - target);
                const double difference = largestDifference(
                    std::vector<float>(decoded.begin() + skipped * 2, decoded.end()), straight, target + skipped);
                QVERIFY2(difference <= 1e-6, qPrintable(QStringLiteral("at %1: %2").arg(target).arg(difference)));
            }
        }
        // Drilling a loop: back to the same start again and again, from
        // different points within the loop.
        const std::int64_t loopStart = 3 * outputRate / 2 + 17;
        for (int round = 0; round < 12; ++round) {
            readFrames(*stream, 500 + round * 731);
            stream->seek(loopStart);
            QCOMPARE(largestDifference(readFrames(*stream, 2000), straight, loopStart), 0.0);
        }
        stream->seek(length + 5000);
        QCOMPARE(stream->position(), length);
        QVERIFY(readFrames(*stream, 100).empty() && stream->atEnd());
        stream->seek(-20);
        QCOMPARE(stream->position(), std::int64_t(0));
    }

    void gaplessHeaderIsReadOnlyWhenWhole()
    {
        const QByteArray bytes = readFile(fixturePath(chirp)).left(8192);
        const auto info = Mp3GaplessInfo::parse(bytes);  // whole: read, as the true lengths show
        QVERIFY(info);
        // Cut inside the header, or without the encoder's extension: no claim.
        QVERIFY(!Mp3GaplessInfo::parse(bytes.left(int(info->headerFrameOffset) + 40)));
        QByteArray noEncoderName = bytes;
        noEncoderName.replace(noEncoderName.indexOf("Lav", info->headerFrameOffset), 4, "XXXX");
        QVERIFY(!Mp3GaplessInfo::parse(noEncoderName));
    }

    void seeksThroughTheQueueLandOnTheExactSample_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("seconds");
        // 0.7 s is 30869.999... frames: rounded, not cut off.
        for (const char* name : {"chirp-cbr.mp3", "chirp.m4a"})
            for (double seconds : {0.0, 1152.0 / rate, 0.7, 2.5, 3.2, 5.9})
                QTest::addRow("%s at %g", name, seconds) << QString::fromLatin1(name) << seconds;
    }

    void seeksThroughTheQueueLandOnTheExactSample()
    {
        QFETCH(QString, name);
        QFETCH(double, seconds);
        const auto straight = KnownSignal::straightDecode(fixturePath(name), rate);
        const auto player = FilePlayer::load(fixtureUrl(name), nullptr);
        player->setCurrentTime(seconds);
        QVERIFY(pull(64, std::chrono::milliseconds(20)).empty());  // nothing until play
        player->play();
        QCOMPARE(player->currentTime(), seconds);  // nothing heard yet
        const std::int64_t at = std::llround(seconds * rate);
        const auto heard = pull(2048);
        QCOMPARE(std::int64_t(heard.size() / 2), std::min<std::int64_t>(2048, std::int64_t(straight.size() / 2) - at));
        QVERIFY(largestDifference(heard, straight, at, 1.0f, fade) < 1e-6);  // faded in, then exact
        QCOMPARE(largestDifference(std::vector<float>(heard.begin() + 2 * fade, heard.end()), straight, at + fade), 0.0);
    }

    // A seek while playing crossfades out of the old position into the new
    // one for a few milliseconds, then plays the new audio exactly: nothing
    // queued from before the seek comes after the joint.
    void seekWhilePlayingCrossfadesAndNeverPlaysStaleAudio()
    {
        const LoopListener::Listener listener(m_straight);
        const auto player = FilePlayer::load(fixtureUrl(chirp), nullptr);
        player->play();
        pull(3000);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the decoder queue far ahead
        for (int round = 0; round < 15; ++round) {  // from wherever playback has got to
            const std::int64_t before = 3000 + 97 * round;
            player->setCurrentTime(1.5);
            QCOMPARE(player->currentTime(), 1.5);
            // A device asks a buffer later; by then the new audio is decoded.
            QVERIFY(ManualOutput::likeADevice(player.get()));
            const auto heard = pull(1000 + 97 * round);
            const LoopListener::Report report = listener.listen(heard, before);
            QCOMPARE(report.lostTrack, std::int64_t(-1));
            QCOMPARE(int(report.junctions.size()), 1);
            QCOMPARE(report.junctions[0].at, std::int64_t(0));
            QCOMPARE(report.junctions[0].length, std::int64_t(fade));
            QCOMPARE(report.junctions[0].rejoinedAt, std::llround(1.5 * rate) + fade);
            QCOMPARE(report.junctions[0].silentFrames, std::int64_t(0));
        }
        player->setCurrentTime(4.0);
        QVERIFY(ManualOutput::likeADevice(player.get()));
        const auto heard = pull(5000);
        QCOMPARE(largestDifference(std::vector<float>(heard.begin() + 2 * fade, heard.end()), m_straight, 4 * rate + fade), 0.0);
    }

    void clampsGainAndPauseKeepTheSamplesInPlace()
    {
        const auto player = FilePlayer::load(fixtureUrl(chirp), nullptr);
        for (double outside : {-3.0, std::nan("")}) {  // clamped to the start
            player->setCurrentTime(outside);
            QCOMPARE(player->currentTime(), 0.0);
        }
        player->setVolume(0.25f);
        player->play();
        QVERIFY(largestDifference(pull(7000), m_straight, 0, 0.25f, fade) < 1e-7);
        // A fade out can only use what is decoded; a slow build's decoder
        // may still be behind, so wait until a fade's worth is queued (the
        // block being played and two more).
        QTRY_VERIFY(player->queuedBlocksForTesting() >= 3);
        player->pause();
        QVERIFY(!player->isPlaying());
        // Paused, the sound dies away over a fade's length, and the position
        // is where it stops.
        const auto dying = pull(1000, std::chrono::milliseconds(100));
        QCOMPARE(int(dying.size() / 2), fade);
        for (int i = 0; i < 2 * fade; ++i) {
            const double fall = std::pow(std::cos(M_PI / 2 * (i / 2 + 0.5) / fade), 2);
            QVERIFY(std::fabs(dying[std::size_t(i)] - 0.25 * fall * m_straight[std::size_t(7000 * 2 + i)]) < 1e-7);
        }
        QCOMPARE(player->currentTime(), double(7000 + fade) / rate);
        QVERIFY(pull(100, std::chrono::milliseconds(100)).empty());
        QCOMPARE(player->currentTime(), double(7000 + fade) / rate);
        player->setVolume(1.0f);
        player->play();
        QVERIFY(largestDifference(pull(3000), m_straight, 7000 + fade, 1.0f, fade) < 1e-6);
    }

    void playingToTheEndHandsOverTheLastSampleAndNoMore()
    {
        const auto player = FilePlayer::load(fixtureUrl(chirp), nullptr);
        player->setCurrentTime(5.9);
        player->play();
        const auto heard = pull(10000, std::chrono::milliseconds(300));
        QCOMPARE(std::int64_t(heard.size() / 2), KnownSignal::chirpFrames - std::llround(5.9 * rate));
        QVERIFY(largestDifference(heard, m_straight, std::llround(5.9 * rate), 1.0f, fade) < 1e-6);
        QVERIFY(player->hasReachedEnd() && !player->isPlaying());
        QCOMPARE(player->currentTime(), player->duration());
        player->play();  // at the very end: nothing to play, still at the end
        QVERIFY(player->hasReachedEnd() && !player->isPlaying());
        player->setCurrentTime(60);
        QCOMPARE(player->currentTime(), 6.0);
        player->setCurrentTime(1.0);
        QVERIFY(!player->hasReachedEnd() && player->isPlaying());
        QVERIFY(largestDifference(pull(500), m_straight, rate, 1.0f, fade) < 1e-6);

        // Sent to the very end while playing, or played from there: nothing
        // more to hear, and the end is reached.
        // (At most the old position played on while the end is found, and its fade-out.)
        player->setCurrentTime(60);
        const int playOnFrames = rate * PlaybackSource::playOnAfterJumpMilliseconds / 1000;
        QVERIFY(pull(rate, std::chrono::milliseconds(100)).size() <= std::size_t(2 * (playOnFrames + fade)));
        QVERIFY(player->hasReachedEnd() && !player->isPlaying());
        // Sent to a few frames before the end, shorter than the crossfade
        // into them: what played before still dies away over the whole
        // fade, not cut off where the track ends.
        // (Half a second played first: the queue is down to its steady
        // length, with room for the new audio before the old is dropped.)
        player->setCurrentTime(1.0);
        pull(rate / 2);
        player->setCurrentTime(player->duration() - double(fade / 3) / rate);
        QVERIFY(ManualOutput::likeADevice(player.get()));
        const auto dying = pull(1000, std::chrono::milliseconds(100));
        QCOMPARE(std::int64_t(dying.size() / 2), std::int64_t(fade));
        const double ownStep = LoopListener::largestStep(m_straight, 3 * rate / 2 - fade, 3 * rate / 2 + fade);
        QVERIFY2(LoopListener::largestStep(dying, 0, fade) <= 1.5 * ownStep && std::abs(dying.back()) < 0.02,
                 qPrintable(QStringLiteral("step %1, the chirp's own %2, last %3")
                                .arg(LoopListener::largestStep(dying, 0, fade))
                                .arg(ownStep)
                                .arg(dying.back())));
        QVERIFY(player->hasReachedEnd() && !player->isPlaying());
        const auto fresh = FilePlayer::load(fixtureUrl(chirp), nullptr);
        fresh->setCurrentTime(60);
        fresh->play();
        QVERIFY(pull(1000, std::chrono::milliseconds(100)).empty());
        QVERIFY(fresh->hasReachedEnd() && !fresh->isPlaying());
    }

    // A seek followed at once by a change of the loop (as Stop does: back
    // to the start, the loop cleared): the loop's change goes on from the
    // seek's place, even when the decoder meets only the later request.
    void aLoopChangedRightAfterASeekKeepsTheSeek()
    {
        for (int round = 0; round < 20; ++round) {
            const auto player = FilePlayer::load(fixtureUrl(chirp), nullptr);
            LoopPlan plan;
            plan.region = {rate, 2 * rate, 1};
            player->setCurrentTime(1.4);
            player->setLoop(plan);
            player->play();
            pull(rate / 10);  // the decoder is busy filling the queue again
            player->setCurrentTime(0);
            player->setLoop(std::nullopt);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            pull(rate / 10);
            QVERIFY2(player->currentTime() < 0.3,
                     qPrintable(QStringLiteral("round %1: at %2 s").arg(round).arg(player->currentTime())));
        }
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

    // The device plays a buffer latency after it was handed over, and a loop
    // may jump inside one buffer: what is heard follows the pieces as the
    // device plays them, never ahead of the sound and never past what it got.
    void heardTimelineFollowsThePiecesAsTheDevicePlaysThem()
    {
        HeardTimeline timeline;
        // Frames 5000.. of the stream went out at device frame 1000, then a
        // jump back to 2000 at device frame 1300; the first will be heard at t = 1 s.
        timeline.append({1000, 5000, 300, 0, 0, 1.0, 7, {}});
        timeline.append({1300, 2000, 200, 0, 0, 1.0, 7, {1, 0, 0, 2, 1, 0}});
        timeline.anchorDeviceFrame = 1000;
        timeline.anchorTimeNs = 1'000'000'000;
        auto heardAt = [&](std::int64_t nowNs) { return timeline.heardAt(timeline.deviceFrameAt(nowNs, 1000), 7); };
        QCOMPARE(heardAt(1'000'000'000).frame, std::int64_t(5000));  // the buffer's start, not its end
        QCOMPARE(heardAt(1'100'000'000).frame, std::int64_t(5100));
        QCOMPARE(heardAt(1'400'000'000).frame, std::int64_t(2100));  // after the jump
        QCOMPARE(heardAt(1'400'000'000).marks.wraps, 1u);
        QCOMPARE(heardAt(9'000'000'000).frame, std::int64_t(2200));  // not past what was handed over
        QCOMPARE(heardAt(std::int64_t(1) << 62).frame, std::int64_t(2200));  // no overflow
        QVERIFY(!heardAt(500'000'000).any || heardAt(500'000'000).frame == 5000);  // not before it was heard
        QVERIFY(!timeline.heardAt(timeline.deviceFrameAt(1'100'000'000, 1000), 8).any);  // a seek since: not heard yet
        // A pause between passes holds the position and counts down.
        timeline.append({1500, 2000, 100, 1, 400, 1.0, 7, {2, 0, 0, 3, 1, 0}});
        const HeardTimeline::Heard paused = timeline.heardAt(1530, 7);
        QCOMPARE(paused.frame, std::int64_t(2000));
        QCOMPARE(paused.pauseFramesLeft, std::int64_t(70 + 400));  // of this piece, and what follows it
        // Continuing pieces become one: a long drill does not crowd out what is heard now.
        for (int i = 0; i < 100; ++i)
            timeline.append({1600 + i * 10, 2000 + i * 10, 10, 0, 0, 1.0, 7, {2, 0, 0, 3, 1, 0}});
        QCOMPARE(timeline.heardAt(1605, 7).frame, std::int64_t(2005));
        QCOMPARE(timeline.heardAt(1550, 7).frame, std::int64_t(2000));
        // Stretched audio: each device frame is speed stream frames.
        timeline.append({2600, 3000, 400, 0, 0, 1.5, 7, {2, 0, 0, 3, 1, 0}});
        QCOMPARE(timeline.heardAt(2800, 7).frame, std::int64_t(3300));
    }

    // The heard clock's way from the audio thread to the main thread: a reader
    // never sees half of one write and half of another, nor an older write.
    // The value is long, so that a reader that did not retry would often tear it.
    void seqlockReadsAreWholeAndInOrderWhileAWriterRuns()
    {
        using Stamp = std::array<std::uint64_t, 64>;
        SeqlockValue<Stamp> shared;
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            Stamp stamp;
            for (std::uint64_t n = 1; !stop.load(); ++n) {
                stamp.fill(n);
                shared.store(stamp);
            }
        });
        while (shared.load()[0] == 0)
            std::this_thread::yield();
        const std::uint64_t first = shared.load()[0];
        std::uint64_t last = first;
        bool wholeAndInOrder = true;
        for (int reads = 0; reads < 100000 || last < first + 100000; ++reads) {  // while the writer goes on
            const Stamp seen = shared.load();
            wholeAndInOrder = wholeAndInOrder && seen[0] >= last && std::count(seen.begin(), seen.end(), seen[0]) == 64;
            last = seen[0];
        }
        stop = true;
        writer.join();
        QVERIFY(wholeAndInOrder);
    }
};

QTEST_GUILESS_MAIN(FilePlayerDecodingTest)
#include "tst_fileplayer_decoding.moc"
