// The A-B loop as it is heard: the engine plays it in the audio itself, the
// output pulled by hand and every frame of it placed on a straight decode of
// the track. Nothing from past the end, nothing lost after the start, no
// silence, a joint no longer than the crossfade and no steeper than the
// signal; a moved end obeyed at once; each jump told once, when heard.

#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "engine/Crossfade.h"
#include "engine/FilePlayer.h"
#include "engine/PlaybackSource.h"
#include "KnownSignal.h"
#include "LoopListener.h"
#include "ManualOutput.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTest>

#include <thread>

namespace {

constexpr int rate = 44100;
// As a device's buffer would, the output plays what it is handed this much later.
constexpr std::chrono::milliseconds latency{150};
const int fade = Crossfade::framesAt(rate);

struct Drill {
    explicit Drill(const QString& track)
        : straight(KnownSignal::straightDecode(fixturePath(track), rate))
        , listener(straight)
    {
        engine.setPlaylist({fixtureUrl(track)});
        engine.playTrack(0);
    }
    std::int64_t frame(double seconds) const { return std::llround(seconds * rate); }

    std::vector<float> straight;
    LoopListener::Listener listener;
    AudioPlayer engine;
    Log::Capture log;
};

}  // namespace

class LoopInAudioTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AudioOutput::useManualOutputForTesting(rate, latency); }

    // What is reported heard is what the device plays now: right after a
    // buffer is handed over, that buffer's first frame, not its last; and a
    // jump is told once it is heard, not when it is handed over.
    void theHeardPositionLagsWhatWasHandedOverByTheLatency()
    {
        Drill d(QStringLiteral("chirp-cbr.mp3"));
        d.engine.seek(2.0);
        d.engine.setLoopStart(2.0);
        d.engine.setLoopEnd(2.1);
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        ManualOutput::pull(d.frame(0.05));  // 2.0 to 2.05 handed over
        d.engine.tick();
        QCOMPARE(d.engine.currentTime(), 2.0);  // not heard yet
        d.log.clear();
        // The output's clock is read as the pull begins, so the time a slow
        // run (a sanitizer's) takes to render it counts as heard.
        QElapsedTimer sincePull;
        sincePull.start();
        ManualOutput::pull(d.frame(0.1));  // over the loop's end and back
        d.engine.tick();
        // 2.0, plus the time since the pull that a slow run takes to get here,
        // and some milliseconds by which a loaded machine (a sanitizer run
        // beside another) sets the output's clock apart from this one: far
        // less than the 50 ms handed over beyond what is heard.
        const double sincePullSeconds = double(sincePull.nsecsElapsed()) / 1e9;
        QVERIFY2(d.engine.currentTime() < 2.0 + sincePullSeconds + 0.015,
                 qPrintable(QStringLiteral("%1 after %2 s").arg(d.engine.currentTime()).arg(sincePullSeconds)));
        QVERIFY(d.log.lines().isEmpty());
        QTest::qWait(int(latency.count()) + 50);
        d.engine.tick();
        QCOMPARE(d.log.lines(), QStringList{QStringLiteral("Seek to: 2.0")});
        QVERIFY2(d.engine.currentTime() >= 2.05 - 0.001 && d.engine.currentTime() < 2.1, qPrintable(QString::number(d.engine.currentTime())));
    }

    void everyPassIsTheLoopAndNothingElse_data()
    {
        QTest::addColumn<QString>("track");
        QTest::addColumn<bool>("setWhilePlaying");
        for (const char* track : {"chirp-cbr.mp3", "chirp-vbr-mono.mp3", "chirp.m4a"})
            for (bool playing : {true, false})
                QTest::addRow("%s, set while %s", track, playing ? "playing" : "paused")
                    << QString::fromLatin1(track) << playing;
    }

    void everyPassIsTheLoopAndNothingElse()
    {
        QFETCH(QString, track);
        QFETCH(bool, setWhilePlaying);
        Drill d(track);
        const double start = 1.2345;
        const double end = 1.5678;
        d.engine.seek(1.0);
        if (!setWhilePlaying)
            d.engine.togglePlayPause();
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        ManualOutput::pull(d.frame(0.1));  // heard up to 1.1 s when playing
        d.engine.setLoopStart(start);
        d.engine.setLoopEnd(end);
        if (!setWhilePlaying)
            d.engine.togglePlayPause();
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        d.log.clear();

        const std::int64_t a = d.frame(start);
        const std::int64_t b = d.frame(end);
        const std::int64_t from = setWhilePlaying ? d.frame(1.1) : d.frame(1.0);
        const std::vector<float> heard = ManualOutput::pull(from < a ? (b - from) + 50 * (b - a) : 50 * (b - a));
        const LoopListener::Report report = d.listener.listen(heard, from);
        QCOMPARE(report.lostTrack, std::int64_t(-1));
        QVERIFY2(report.junctions.size() >= 50, qPrintable(QString::number(report.junctions.size())));
        const double ownStep = LoopListener::largestStep(d.straight, a, b);
        std::vector<LoopListener::Junction> wraps = report.junctions;
        if (!setWhilePlaying) {
            // Resumed: the sound fades in where it stood, then the loop goes on.
            QCOMPARE(wraps.front().at, std::int64_t(0));
            QCOMPARE(wraps.front().rejoinedAt, from + fade);
            wraps.erase(wraps.begin());
        }
        for (const LoopListener::Junction& junction : wraps) {
            QCOMPARE(junction.leftAfter, b - fade);    // nothing past the end
            QCOMPARE(junction.rejoinedAt, a + fade);   // nothing after the start lost
            QCOMPARE(junction.length, std::int64_t(fade));  // the joint stands for both, no longer
            QCOMPARE(junction.silentFrames, std::int64_t(0));
            QVERIFY2(junction.largestStep <= ownStep, qPrintable(QStringLiteral("%1 against %2").arg(junction.largestStep).arg(ownStep)));
        }
        QTest::qWait(int(latency.count()) + 50);  // all of it heard
        d.engine.tick();
        const int told = int(d.log.lines().count(QStringLiteral("Seek to: ") + Log::formatDouble(start)));
        QCOMPARE(told, int(wraps.size()));
    }

    // The passes the decoder made ahead before the output played a frame
    // were never heard: a loop changed twice before the first sound (its end
    // nudged) starts at its first pass. (With a count of passes set, the
    // last one would come early.)
    void passesMadeBeforeAnythingIsHeardAreNotCounted()
    {
        const auto player = FilePlayer::load(fixtureUrl(QStringLiteral("chirp-cbr.mp3")), nullptr);
        LoopPlan plan;
        plan.region = {0, rate / 5, 1};
        plan.passes = 0;  // endless: the decoder turns as often as the queue holds
        player->setLoop(plan);
        QVERIFY(ManualOutput::likeADevice(player.get()));  // the queue fills: the decoder turns ahead
        plan.region.endFrame -= rate / 100;
        player->setLoop(plan);
        QVERIFY(ManualOutput::likeADevice(player.get()));
        player->play();
        ManualOutput::pull(rate / 10);
        QTest::qWait(int(latency.count()) + 50);
        QCOMPARE(player->heard().marks.pass, 1u);
        ManualOutput::pull(rate / 5);
        QTest::qWait(int(latency.count()) + 50);
        QCOMPARE(player->heard().marks.pass, 2u);
    }

    // The end moved before the play head while playing: the next audio is the
    // loop's start, crossfaded in from where the output was.
    void anEndMovedBeforeThePlayHeadTurnsAtOnce()
    {
        Drill d(QStringLiteral("chirp-cbr.mp3"));
        d.engine.seek(1.0);
        d.engine.setLoopStart(1.0);
        d.engine.setLoopEnd(2.0);
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        ManualOutput::pull(d.frame(0.5));
        d.log.clear();
        d.engine.setLoopEnd(1.3);
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        const std::vector<float> heard = ManualOutput::pull(d.frame(0.2));
        const LoopListener::Report report = d.listener.listen(heard, d.frame(1.5));
        QCOMPARE(report.lostTrack, std::int64_t(-1));
        QVERIFY(!report.junctions.empty());
        QCOMPARE(report.junctions[0].at, std::int64_t(0));
        QCOMPARE(report.junctions[0].rejoinedAt, d.frame(1.0) + fade);
        QTest::qWait(int(latency.count()) + 50);
        d.engine.tick();
        QCOMPARE(d.log.lines().value(0), QStringLiteral("Seek to: 1.0"));

        // Moved later while inside the loop: the position stays, not a frame skipped.
        d.engine.setLoopEnd(1.9);
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        const std::vector<float> on = ManualOutput::pull(d.frame(0.3));
        const LoopListener::Report stays = d.listener.listen(on, d.frame(1.2));
        QCOMPARE(stays.lostTrack, std::int64_t(-1));
        QVERIFY(stays.junctions.empty());
    }

    // A seek and then, before the output took it up, a change of the loop:
    // the seek stands, at 1x and at another speed (the new audio was joined
    // where the output had been before the seek, and the seek was lost).
    void aLoopChangedRightAfterASeekKeepsTheSeek_data()
    {
        QTest::addColumn<double>("speed");
        QTest::newRow("1x") << 1.0;
        QTest::newRow("0.75x") << 0.75;
    }
    void aLoopChangedRightAfterASeekKeepsTheSeek()
    {
        QFETCH(double, speed);
        Drill d(QStringLiteral("chirp-cbr.mp3"));
        d.engine.setSpeed(speed);
        d.engine.seek(1.0);
        d.engine.setLoopStart(0.5);
        d.engine.setLoopEnd(5.0);
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        ManualOutput::pull(d.frame(0.5));
        d.engine.seek(1.3);
        d.engine.setLoopEnd(4.0);
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        const double pulledSeconds = double(ManualOutput::pull(d.frame(0.3)).size() / 2) / rate;
        // Once all of it is heard (the position stands still; a loaded run
        // takes its time): 1.3 s and that much of the track at this speed,
        // where a lost seek would be 0.2 s further on.
        double heardAt = -1;
        for (int still = 0, waits = 0; (waits < 4 || still < 3) && waits < 100; ++waits) {
            QTest::qWait(50);
            still = d.engine.currentTime() == heardAt ? still + 1 : 0;
            heardAt = d.engine.currentTime();
        }
        // (Until the seek's audio is here, the old position may play on for
        // a little while: the pull holds up to that much less of the new.)
        const double expected = 1.3 + pulledSeconds * speed;
        const double playedOnAtMost = PlaybackSource::playOnAfterJumpMilliseconds / 1000.0 * speed;
        const double position = d.engine.currentTime();
        QVERIFY2(position > expected - playedOnAtMost - 0.05 && position < expected + 0.05,
                 qPrintable(QStringLiteral("at %1, not near %2").arg(position).arg(expected)));
    }

    // A loop handle dragged faster than the device asks for buffers: several
    // changes of the loop's end (all ahead of the play head) between two
    // renders, each one's audio made before the next comes. What is heard is
    // the track straight on, never a step back to where the learner heard it
    // when the change was made (the device's latency behind).
    void aLoopDraggedFasterThanTheOutputGoesStraightOn_data()
    {
        QTest::addColumn<int>("renderFrames");
        QTest::addColumn<int>("changesPerRender");
        QTest::newRow("two a render of 256") << 256 << 2;
        QTest::newRow("three a render of 256") << 256 << 3;
        QTest::newRow("four a render of 1024") << 1024 << 4;
        QTest::newRow("eight a render of 1024") << 1024 << 8;
    }
    void aLoopDraggedFasterThanTheOutputGoesStraightOn()
    {
        QFETCH(int, renderFrames);
        QFETCH(int, changesPerRender);
        Drill d(QStringLiteral("chirp-cbr.mp3"));
        d.engine.seek(1.0);
        d.engine.setLoop(1.0, 4.0);
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        ManualOutput::pull(d.frame(0.3));
        std::vector<float> heard;
        // Between a device's buffers the decoder keeps up: it makes each
        // change's audio, and fills the queue again once one is taken up.
        const auto decoderKeepsUp = [&d] {
            QElapsedTimer waiting;
            waiting.start();
            while (!d.engine.player()->decoderCaughtUpForTesting() && waiting.elapsed() < 5000)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        };
        for (int change = 0; change < 90; ++change) {
            d.engine.setLoopEnd(3.9 - 0.002 * change);
            decoderKeepsUp();
            if (change % changesPerRender == changesPerRender - 1) {
                const std::vector<float> render = ManualOutput::render(renderFrames);
                heard.insert(heard.end(), render.begin(), render.end());
                decoderKeepsUp();
            }
        }
        const std::vector<float> after = ManualOutput::pull(d.frame(0.5));
        heard.insert(heard.end(), after.begin(), after.end());
        const LoopListener::Report report = d.listener.listen(heard, d.frame(1.3));
        QCOMPARE(report.lostTrack, std::int64_t(-1));
        for (const LoopListener::Junction& junction : report.junctions)
            qWarning("left %lld at output frame %lld for %lld", qlonglong(junction.leftAfter), qlonglong(junction.at),
                     qlonglong(junction.rejoinedAt));
        QVERIFY(report.junctions.empty());
    }

    // A change made while the output is inside a turn's crossfade (the end
    // fading out as the start fades in) is joined once the crossfade is
    // over: joined where the output was, the start's own audio would cut it.
    void aChangeInsideATurnsCrossfadeLetsItFinish()
    {
        Drill d(QStringLiteral("chirp-cbr.mp3"));
        d.engine.seek(1.0);
        d.engine.setLoop(1.0, 1.3);
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        const std::int64_t a = d.frame(1.0);
        const std::int64_t b = d.frame(1.3);
        std::vector<float> heard = ManualOutput::pull(b - a - fade + 100);  // 100 frames into the joint
        d.engine.setLoopEnd(1.4);
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        const std::vector<float> after = ManualOutput::pull(d.frame(0.2));
        heard.insert(heard.end(), after.begin(), after.end());
        const LoopListener::Report report = d.listener.listen(heard, a);
        QCOMPARE(report.lostTrack, std::int64_t(-1));
        // The start of play fades in, then the turn's joint, whole.
        QCOMPARE(int(report.junctions.size()), 2);
        QCOMPARE(report.junctions[0].at, std::int64_t(0));
        QCOMPARE(report.junctions[1].leftAfter, b - fade);
        QCOMPARE(report.junctions[1].rejoinedAt, a + fade);
        QCOMPARE(report.junctions[1].length, std::int64_t(fade));
    }

    // A change the output meets a moment before a turn, before the change's
    // first audio is made: the old audio dies away through the turn (back at
    // the loop's start), and the change, begun where the output was, is
    // still taken up and played on, never left waiting in silence.
    void aChangeJustBeforeATurnIsStillTakenUp()
    {
        for (int attempt = 0; attempt < 10; ++attempt) {
            Drill d(QStringLiteral("chirp-cbr.mp3"));
            d.engine.seek(1.0);
            d.engine.setLoop(1.0, 1.3);
            QVERIFY(ManualOutput::likeADevice(d.engine.player()));
            const std::int64_t turnFadeStarts = d.frame(1.3) - d.frame(1.0) - fade;
            QCOMPARE(ManualOutput::pullCount(turnFadeStarts - 50), turnFadeStarts - 50);
            d.engine.setLoopEnd(1.4);
            ManualOutput::render(256);
            QCOMPARE(ManualOutput::pullCount(d.frame(0.5)), d.frame(0.5));
        }
    }

    // A loop the learner sets just as the drill's last pass ends (the end
    // handed to the device, not heard yet) stands: moving on to the next
    // region, or letting go of the loop, heard a moment later, belonged to
    // the loop before.
    void aLoopSetAsTheDrillEndsStands_data()
    {
        QTest::addColumn<bool>("movesOn");
        QTest::newRow("moving on") << true;
        QTest::newRow("letting go") << false;
    }
    void aLoopSetAsTheDrillEndsStands()
    {
        QFETCH(bool, movesOn);
        Drill d(QStringLiteral("chirp-cbr.mp3"));
        if (movesOn)
            d.engine.setNextLoopFinder([](double, double end) { return std::optional(std::pair{end + 1, end + 2}); });
        d.engine.setDrill({1, PassPause{}});
        d.engine.setLoop(0.0, 1.0);
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        ManualOutput::pull(d.frame(1.05));
        d.engine.setLoop(4.0, 4.5);
        // The move is heard now: the device has played on to about 1.02 s.
        QTest::qWait(int(latency.count()) - 20);
        d.engine.tick();
        QCOMPARE(d.engine.loopStart(), std::optional<double>(4.0));
        QCOMPARE(d.engine.loopEnd(), std::optional<double>(4.5));
        QVERIFY(ManualOutput::likeADevice(d.engine.player()));
        ManualOutput::pull(d.frame(0.2));
        QTest::qWait(int(latency.count()) + 50);
        d.engine.tick();
        QCOMPARE(d.engine.loopStart(), std::optional<double>(4.0));
        QCOMPARE(d.engine.loopEnd(), std::optional<double>(4.5));
        QCOMPARE(d.log.lines().filter(QStringLiteral("Loop moved on to")), QStringList());
        QCOMPARE(d.log.lines().filter(QStringLiteral("Loop cleared")), QStringList());
        QCOMPARE(d.engine.loopPass(), 1);
    }

    // Paused, a seek past the loop's end is pulled back a moment later, as
    // the engine's tick always did; nothing runs after that.
    void pausedASeekPastTheEndIsPulledBack()
    {
        Drill d(QStringLiteral("chirp-cbr.mp3"));
        d.engine.setLoopStart(1.0);
        d.engine.setLoopEnd(2.0);
        d.engine.togglePlayPause();
        d.log.clear();
        d.engine.seek(3.0);
        // The tick that pulls it back publishes the old place; the next tick
        // the new one. Wait for that, not for the log line alone.
        QTRY_COMPARE(d.engine.currentTime(), 1.0);
        QCOMPARE(d.log.lines(), (QStringList{QStringLiteral("Seek to: 3.0"), QStringLiteral("Seek to: 1.0")}));
        QTest::qWait(100);
        QCOMPARE(d.log.lines().size(), 2);
    }
};

QTEST_MAIN(LoopInAudioTest)
#include "tst_loop_in_audio.moc"
