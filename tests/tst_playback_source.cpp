// The output's side of one stream, driven by hand: blocks are queued the way
// the decoder hands them over, one at a time, and buffers are asked for the
// way a device asks (what a buffer does not get is silence). Steady levels
// make every cut plain: a buffer that ends at full level before its end
// cuts the sound off.

#include "engine/Crossfade.h"
#include "engine/PlaybackSource.h"

#include <QTest>

#include <cmath>

namespace {

constexpr int rate = 48000;
constexpr int bufferFrames = 1024;

class Stream {
public:
    Stream() { m_source.setPlayRequested(true); }

    PlaybackSource& source() { return m_source; }

    // Queues a block of one level, following on from the last of its generation.
    void queue(std::uint64_t generation, float level, int frames = AudioBlock::capacityFrames, bool last = false)
    {
        queueAt(generation, generation == m_generation ? m_nextFrame : 0, level, frames, last);
    }
    // The first block of a loop change, the stream's own audio from where
    // the output was (pass: as the decoder counts them).
    void queueAt(std::uint64_t generation, std::int64_t startFrame, float level, int frames = AudioBlock::capacityFrames,
                 bool last = false, bool joins = false, std::uint32_t pass = 0, std::uint32_t region = 0,
                 std::int64_t countedTo = -1)
    {
        AudioBlock* block = m_source.ring().writableBlock();
        QVERIFY(block);
        block->generation = generation;
        block->startFrame = startFrame;
        block->frames = frames;
        block->pauseFrames = 0;
        block->endOfStream = last;
        block->joinsInPlace = joins;
        block->positionCountedTo = countedTo;
        block->speed = m_speed;
        block->marks = LoopMarks{};
        block->marks.pass = pass;
        block->marks.region = region;
        std::fill_n(block->samples, frames * AudioBlock::channels, level);
        m_generation = generation;
        m_nextFrame = block->startFrame + frames;
        m_source.ring().publish();
    }

    // A loop's pass that turns a buffer and a block from its start, then
    // the next pass, of the loop region given.
    void setSpeed(double speed) { m_speed = speed; }

    // Stretched, the blocks' stream frames are rounded as the decoder
    // rounds them.
    void playTowardATurn(std::uint32_t region, double speed = 1.0)
    {
        const int capacity = AudioBlock::capacityFrames;
        m_source.setRequestedGeneration(1);
        m_speed = speed;
        for (int i = 0; i < 3; ++i)
            queueAt(1, std::llround(i * capacity * speed), 0.5f, capacity, false, false, 1, region);
        for (int i = 0; i < 2; ++i)
            queueAt(1, std::llround(i * capacity * speed), 0.5f, capacity, false, false, 2, region);
    }

    // The rest of a pause between passes, counted to a device frame (as the
    // decoder carries it over a change made in the pause).
    void queuePause(std::uint64_t generation, std::int64_t pauseFrames, std::int64_t countedTo)
    {
        AudioBlock* block = m_source.ring().writableBlock();
        QVERIFY(block);
        *block = AudioBlock{};
        block->generation = generation;
        block->pauseFrames = pauseFrames;
        block->pauseCountedTo = countedTo;
        m_generation = generation;
        m_nextFrame = 0;
        m_source.ring().publish();
    }

    // Plays a buffer of generation 1, a few blocks of one level queued.
    bool startPlaying(int blocks)
    {
        m_source.setRequestedGeneration(1);
        for (int i = 0; i < blocks; ++i)
            queue(1, 0.5f);
        return render() == bufferFrames;
    }

    // One device buffer: the frames the stream supplied, and what went out.
    int render(std::vector<float>* heard = nullptr)
    {
        std::vector<float> out(std::size_t(bufferFrames) * AudioBlock::channels, 0.0f);
        const int supplied = m_source.mixInto(out.data(), bufferFrames, m_deviceFrame, 0, 0);
        m_deviceFrame += bufferFrames;
        if (heard)
            *heard = std::move(out);
        return supplied;
    }

private:
    PlaybackSource m_source{rate};
    std::uint64_t m_generation = 0;
    std::int64_t m_nextFrame = 0;
    std::int64_t m_deviceFrame = 0;
    double m_speed = 1.0;  // of the blocks queued
};

}  // namespace

class PlaybackSourceTest : public QObject {
    Q_OBJECT

private slots:
    // After a seek the stretcher's first blocks come one by one, slowly:
    // taken up at the first, the new audio would run dry within the buffer.
    // The old position plays on meanwhile (it died away into a gap) and is
    // crossfaded into the new once a buffer's worth is here. A slower jump
    // lets the old die away after a little while, and the new comes in from
    // silence.
    void aJumpTakesTheNewAudioUpOnlyWithABuffersWorth()
    {
        Stream stream;
        QVERIFY(stream.startPlaying(16));
        std::vector<float> heard;
        const auto steadyAt = [&heard](float level) {
            return std::all_of(heard.begin(), heard.end(), [level](float sample) { return sample == level; });
        };
        stream.source().setRequestedGeneration(2);
        stream.queue(2, -0.5f);
        QCOMPARE(stream.render(&heard), bufferFrames);
        QVERIFY(steadyAt(0.5f));
        stream.queue(2, -0.5f);
        QCOMPARE(stream.render(&heard), bufferFrames);
        const int fade = stream.source().fadeFrames();
        QVERIFY(heard.front() > 0.49f);
        for (int frame = 1; frame < bufferFrames; ++frame)
            QVERIFY(heard[std::size_t(frame) * 2] <= heard[std::size_t(frame - 1) * 2]);  // from the old level down
        QCOMPARE(heard[std::size_t(fade) * 2], -0.5f);

        // A slow one: the old plays on for as long as it may, then dies away.
        const int playOnBuffers = rate * PlaybackSource::playOnAfterJumpMilliseconds / 1000 / bufferFrames;
        for (int block = 0; block < 2 * playOnBuffers + 6; ++block)
            stream.queue(2, 0.5f);
        QCOMPARE(stream.render(&heard), bufferFrames);
        stream.source().setRequestedGeneration(3);
        for (int buffer = 0; buffer < playOnBuffers; ++buffer) {
            QCOMPARE(stream.render(&heard), bufferFrames);
            QVERIFY(steadyAt(0.5f));
        }
        QCOMPARE(stream.render(&heard), fade);
        QVERIFY(std::fabs(heard[std::size_t(fade - 1) * 2]) < 0.001f);
        QCOMPARE(stream.render(), 0);
        stream.queue(3, -0.5f);
        QCOMPARE(stream.render(), 0);
        stream.queue(3, -0.5f);
        QCOMPARE(stream.render(&heard), bufferFrames);
        QVERIFY(std::fabs(heard.front()) < 0.01f);
        QCOMPARE(heard.back(), -0.5f);
    }

    // Only the loop changed: the old audio is what the new will be up to the
    // loop's turn, so it plays on until the new is here, with no gap, and is
    // crossfaded out of then (stretched audio is not joined in place). When
    // it runs out first, it dies away over the last fade's worth of it.
    void aLoopChangePlaysOnUntilItsAudioIsHere()
    {
        Stream stream;
        QVERIFY(stream.startPlaying(5));

        stream.source().setRequestedGeneration(2, true);
        stream.queue(2, -0.5f);
        std::vector<float> heard;
        QCOMPARE(stream.render(&heard), bufferFrames);
        QVERIFY(std::all_of(heard.begin(), heard.end(), [](float sample) { return sample == 0.5f; }));
        stream.queue(2, -0.5f);
        stream.queue(2, -0.5f);
        QCOMPARE(stream.render(&heard), bufferFrames);
        const int fade = stream.source().fadeFrames();
        for (int frame = 1; frame < bufferFrames; ++frame)
            QVERIFY(heard[std::size_t(frame) * 2] <= heard[std::size_t(frame - 1) * 2]);  // from the old level down
        QCOMPARE(heard[std::size_t(fade) * 2], -0.5f);

        // 512 frames of 2 left, less than a buffer: played on, dying away at their end.
        stream.source().setRequestedGeneration(3, true);
        const int left = AudioBlock::capacityFrames;
        QCOMPARE(stream.render(&heard), left);
        QCOMPARE(heard[std::size_t(left - fade - 1) * 2], -0.5f);
        QVERIFY(std::fabs(heard[std::size_t(left - 1) * 2]) < 0.001f);
    }

    // A pause, or a jump whose new audio is not here yet, with less than a
    // fade's worth of the old left (the decoder behind): the sound dies away
    // to nothing over what there is, not cut off partway down its fall.
    void aFadeOutWithLittleLeftStillEndsInSilence_data()
    {
        QTest::addColumn<bool>("jump");
        QTest::addRow("a jump") << true;
        QTest::addRow("a pause") << false;
    }

    void aFadeOutWithLittleLeftStillEndsInSilence()
    {
        QFETCH(bool, jump);
        Stream stream;
        QVERIFY(stream.startPlaying(2));
        const int framesLeft = stream.source().fadeFrames() / 2;
        stream.queue(1, 0.5f, framesLeft);
        if (jump) {
            stream.source().setRequestedGeneration(2);
            stream.queue(2, 0.5f);
        } else {
            stream.source().setPlayRequested(false);
        }
        std::vector<float> heard;
        QCOMPARE(stream.render(&heard), framesLeft);
        float previous = 0.5f;
        for (int frame = 0; frame < framesLeft; ++frame) {
            const float level = heard[std::size_t(frame) * 2];
            QVERIFY2(level <= previous, qPrintable(QString::number(frame)));
            previous = level;
        }
        QVERIFY2(previous < 0.001f, qPrintable(QString::number(previous)));
    }

    // Played on while a jump's audio is made, the old is never used up to
    // its last frame: with only a buffer of it left, it dies away in that
    // buffer (played to its end, it stopped dead between two buffers).
    void theOldPlayedOnAfterAJumpStillDiesAway()
    {
        Stream stream;
        QVERIFY(stream.startPlaying(4));  // a buffer's worth left
        stream.source().setRequestedGeneration(2);
        std::vector<float> first;
        std::vector<float> second;
        stream.render(&first);
        stream.render(&second);
        const float lastOut = first[first.size() - 2];
        const float nextIn = second.front();
        QVERIFY2(std::fabs(lastOut) < 0.001f || std::fabs(nextIn - lastOut) < 0.01f,
                 qPrintable(QStringLiteral("%1, then %2").arg(lastOut).arg(nextIn)));
    }

    // Started from silence, sound waits for a buffer's worth rather than
    // starting and being cut (see the jump's test); a stream that ends
    // sooner plays at once.
    void aStreamShorterThanABufferPlaysAtOnce()
    {
        Stream shortOne;
        shortOne.source().setRequestedGeneration(1);
        shortOne.queue(1, 0.5f, 300, true);
        QCOMPARE(shortOne.render(), 300);
    }

    // Played on for a few buffers, the output has got past the new audio's
    // first frames: it is joined where the output is, with a buffer's
    // worth from there, never run dry within the buffer.
    void aLoopChangeIsJoinedWithABuffersWorthFromWhereTheOutputIs()
    {
        Stream stream;
        QVERIFY(stream.startPlaying(6));
        stream.source().setRequestedGeneration(2, true);
        stream.queueAt(2, bufferFrames, 0.5f, AudioBlock::capacityFrames, false, true);
        for (const int more : {0, 2, 3}) {
            for (int i = 0; i < more; ++i)
                stream.queue(2, 0.5f);
            std::vector<float> heard;
            QCOMPARE(stream.render(&heard), bufferFrames);
            QVERIFY(std::all_of(heard.begin(), heard.end(), [](float sample) { return sample == 0.5f; }));
        }
        QCOMPARE(stream.source().outputPosition().generation, std::uint64_t(2));
        QCOMPARE(stream.source().outputPosition().nextFrame, std::int64_t(4 * bufferFrames));
    }

    // The old audio turns back to the loop's start within the next buffer:
    // past that turn the new loop may turn elsewhere, so it plays on to a
    // fade before the turn and dies away there. The new audio, begun where
    // the output was when the change was asked, then comes in at its own
    // turn: what the old played on is not played again, nor the turn twice.
    void aLoopChangeDiesAwayBeforeATurnAndLeavesTheTurnToTheNewAudio_data()
    {
        QTest::addColumn<double>("speed");
        QTest::newRow("the stream's own audio") << 1.0;
        QTest::newRow("stretched") << 0.9;
    }
    void aLoopChangeDiesAwayBeforeATurnAndLeavesTheTurnToTheNewAudio()
    {
        QFETCH(double, speed);
        Stream stream;
        const int fade = stream.source().fadeFrames();
        const int capacity = AudioBlock::capacityFrames;
        stream.playTowardATurn(0, speed);
        QCOMPARE(stream.render(), bufferFrames);
        stream.source().setRequestedGeneration(2, true);
        std::vector<float> heard;
        QCOMPARE(stream.render(&heard), capacity);
        QCOMPARE(heard[std::size_t(capacity - fade - 1) * 2], 0.5f);
        QVERIFY(heard[std::size_t(capacity - 1) * 2] < 0.01f);

        // Made as the decoder makes it: the rest of the pass from where the
        // output was when the change was asked, then the turn into the next.
        stream.queueAt(2, std::llround(bufferFrames * speed), 0.25f, capacity, false, true, 1, 0, bufferFrames);
        for (int i = 0; i < 3; ++i)
            stream.queueAt(2, std::llround(i * capacity * speed), 0.75f, capacity, false, false, 2);
        QCOMPARE(stream.render(&heard), bufferFrames);
        QCOMPARE(heard[std::size_t(fade) * 2], 0.75f);
        QCOMPARE(stream.source().outputPosition().pass, std::uint32_t(2));
    }

    // Stretched audio of a change overtaken while it was made runs out
    // within the next buffer and a fade, the newest change not here yet: it
    // dies away before its end rather than be cut off there.
    void stretchedAudioAboutToRunOutDiesAwayBeforeItsEnd()
    {
        Stream stream;
        const int fade = stream.source().fadeFrames();
        stream.setSpeed(0.75);
        QVERIFY(stream.startPlaying(2 * bufferFrames / AudioBlock::capacityFrames));
        stream.source().setRequestedGeneration(2, true);
        std::vector<float> heard;
        QCOMPARE(stream.render(&heard), bufferFrames);
        QCOMPARE(heard[std::size_t(bufferFrames - fade - 1) * 2], 0.5f);
        QVERIFY(heard[std::size_t(bufferFrames - 1) * 2] < 0.01f);
    }

    // The loop cleared just before its turn, the new audio slow to come
    // (its first block alone, shorter than what the old played on): once
    // here, it goes on from where the old died away, not from where it
    // began. A pause asked meanwhile dies away at once.
    void theNewAudioGoesOnFromWhereTheOldDiedAway()
    {
        Stream stream;
        const int fade = stream.source().fadeFrames();
        const int capacity = AudioBlock::capacityFrames;
        stream.playTowardATurn(7);
        QCOMPARE(stream.render(), bufferFrames);
        stream.source().setRequestedGeneration(2, true);
        QCOMPARE(stream.render(), capacity);

        const int first = capacity / 2;
        stream.queueAt(2, bufferFrames, 0.25f, first, false, true, 0, 0, bufferFrames);
        QCOMPARE(stream.render(), 0);
        stream.queueAt(2, bufferFrames + first, 0.25f, capacity - first);
        for (int i = 0; i < 3; ++i)
            stream.queue(2, 0.75f);
        std::vector<float> heard;
        QCOMPARE(stream.render(&heard), bufferFrames);
        QCOMPARE(heard[std::size_t(fade) * 2], 0.75f);

        stream.source().setRequestedGeneration(3, true);
        stream.source().setPlayRequested(false);
        QCOMPARE(stream.render(), fade);
    }

    // Paused at a turn's first frame, then the loop nudged: the change's
    // audio goes on with the turn, but until a frame of it is played the
    // pass heard is still the one before (a seek from here goes on in it).
    // A new loop's audio tells of its own pass: nothing of it was heard.
    void aChangeTakenUpAtATurnTellsThePassHeard_data()
    {
        QTest::addColumn<std::uint32_t>("newRegion");
        QTest::addColumn<std::uint32_t>("heardPass");
        QTest::newRow("the same loop") << std::uint32_t(7) << std::uint32_t(1);
        QTest::newRow("a new loop") << std::uint32_t(8) << std::uint32_t(2);
    }
    void aChangeTakenUpAtATurnTellsThePassHeard()
    {
        QFETCH(std::uint32_t, newRegion);
        QFETCH(std::uint32_t, heardPass);
        Stream stream;
        const int fade = stream.source().fadeFrames();
        stream.source().setRequestedGeneration(1);
        const int capacity = AudioBlock::capacityFrames;
        for (int i = 0; i < bufferFrames / capacity; ++i)
            stream.queueAt(1, i * capacity, 0.5f, capacity, false, false, 1, 7);
        stream.queueAt(1, bufferFrames, 0.5f, fade, false, false, 1, 7);  // faded out by the pause
        for (int i = 0; i < 2; ++i)
            stream.queueAt(1, i * capacity, 0.5f, capacity, false, false, 2, 7);
        QCOMPARE(stream.render(), bufferFrames);
        stream.source().setPlayRequested(false);
        QCOMPARE(stream.render(), fade);
        QCOMPARE(stream.source().outputPosition().heardPass, std::uint32_t(1));

        stream.source().setRequestedGeneration(2, true);
        for (int i = 0; i < 2; ++i)
            stream.queueAt(2, i * capacity, 0.5f, capacity, false, true, 2, newRegion);
        QCOMPARE(stream.render(), 0);
        const PlaybackSource::OutputPosition told = stream.source().outputPosition();
        QCOMPARE(told.generation, std::uint64_t(2));
        QCOMPARE(told.nextFrame, std::int64_t(0));
        QCOMPARE(told.pass, std::uint32_t(2));
        QCOMPARE(told.heardPass, heardPass);
    }

    // A change made in a pause between passes, not decoded yet when the
    // device asks (a loop handle nudged twice in the pause, faster than the
    // decoder): the silence played meanwhile was the pause too. The rest the
    // output tells of is counted to the frame it names, so the change, made
    // from it, comes in once that rest is over, not after all of it again.
    void silencePlayedWhileAChangeIsOnItsWayCountsAsThePause()
    {
        Stream stream;
        stream.source().setRequestedGeneration(1);
        const std::int64_t rest = bufferFrames / 2;
        stream.queuePause(1, rest, 0);
        QCOMPARE(stream.render(), 0);  // less than a buffer's worth, and nothing behind it yet
        stream.source().setRequestedGeneration(2, true);
        QCOMPARE(stream.render(), 0);

        // Made as the decoder makes it: the rest as told, then the loop's start.
        const PlaybackSource::OutputPosition told = stream.source().outputPosition();
        QCOMPARE(told.pauseFramesLeft, rest);
        stream.queuePause(2, told.pauseFramesLeft, told.renderEnd);
        for (int i = 0; i < 3; ++i)
            stream.queue(2, 0.5f);
        std::vector<float> heard;
        QCOMPARE(stream.render(&heard), bufferFrames);
        // Two buffers of silence since less than one of the pause was left:
        // the audio comes in at once, not after the rest again.
        QCOMPARE(heard[std::size_t(rest - 1) * 2], 0.5f);
    }

    // The volume slider dragged, or a desktop's media keys, while sound goes
    // out: the new level comes in over a fade's length, not in one step.
    void aNewVolumeGlidesIn()
    {
        Stream stream;
        stream.source().setRequestedGeneration(1);
        for (int i = 0; i < 12; ++i)
            stream.queue(1, 1.0f);
        stream.source().setGain(0.5f);
        std::vector<float> heard;
        QCOMPARE(stream.render(&heard), bufferFrames);
        QCOMPARE(heard.back(), 0.5f);

        stream.source().setGain(0.2f);
        QCOMPARE(stream.render(&heard), bufferFrames);
        const int fade = stream.source().fadeFrames();
        const float steepest = 0.3f / float(fade) + 1e-6f;
        float previous = 0.5f;
        for (int frame = 0; frame < bufferFrames; ++frame) {
            const float level = heard[std::size_t(frame) * 2];
            QVERIFY2(level <= previous && previous - level <= steepest, qPrintable(QString::number(frame)));
            previous = level;
        }
        QVERIFY(std::fabs(heard[std::size_t(fade) * 2] - 0.2f) < 1e-6f);
    }
};

QTEST_GUILESS_MAIN(PlaybackSourceTest)
#include "tst_playback_source.moc"
