// Drilling a loop: setting and nudging its points one at a time, passes per
// loop and the pause between passes, saved loops per track, and a track that
// keeps playing when its list goes. The audio is pulled by hand and placed on
// a straight decode, so every claim about what is heard is checked on the
// samples themselves.

#include "engine/AudioOutput.h"
#include "engine/Crossfade.h"
#include "engine/LoopControl.h"
#include "library/PlaylistCodec.h"
#include "library/SavedLoopsLibrary.h"
#include "state/DrillOptions.h"
#include "state/PhraseNavigation.h"
#include "state/SpeedOption.h"
#include "ui/kit/PlainButton.h"
#include "ui/kit/CustomProgressBar.h"
#include "ui/kit/TextLine.h"
#include "ui/screens/DrillRow.h"
#include "ui/screens/PlayerCard.h"
#include "ui/screens/PlayerDisplay.h"
#include "KnownSignal.h"
#include "LibraryFixture.h"
#include "LoopListener.h"
#include "ManualOutput.h"

#include <QFile>
#include <QFontMetricsF>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>

namespace {

constexpr int rate = 44100;
const int fade = Crossfade::framesAt(rate);
const QString chirp = QStringLiteral("chirp-cbr.mp3");

// A window's state with the chirp in a playlist, played and paused at `at`.
struct Drill : LibraryFixture {
    explicit Drill(double at = 1.5, const QString& track = chirp)
        : LibraryFixture(QStringLiteral("{\"D\":[\"%1\"]}").arg(fixtureUrl(track).toString(QUrl::FullyEncoded)).toUtf8())
    {
        library->loadPlaylists();
        library->playTrackInPlaylist(QStringLiteral("D"), fixtureUrl(track));
        player().togglePlayPause();
        player().seek(at);
        player().setCurrentTime(at);
        log.clear();
    }
    // Drills the loop from its start, the output pulling as a device does.
    bool drill(DrillSettings settings, double startSeconds, double endSeconds)
    {
        player().setDrill(settings);
        player().setLoop(startSeconds, endSeconds);
        player().togglePlayPause();
        return ManualOutput::likeADevice(player().player());
    }
    // Drills 1.0 to 1.2 s, a second's pause after each pass, and plays a
    // pass, its fade-out and a quarter of its pause.
    bool intoTheFirstPause()
    {
        if (!drill({0, PassPause{PassPause::Kind::Fixed, 1.0}}, 1.0, 1.2))
            return false;
        ManualOutput::pull(std::llround(1.2 * rate) - rate + fade + rate / 4);
        return ManualOutput::likeADevice(player().player());
    }
    std::function<void(bool)> settingLoop()
    {
        return [this](bool value) { state->setIsSettingLoop(value); };
    }
};

}  // namespace

class DrillTest : public QObject {
    Q_OBJECT

    std::vector<float> m_straight;

private slots:
    void initTestCase()
    {
        AudioOutput::useManualOutputForTesting(rate);
        m_straight = KnownSignal::straightDecode(fixturePath(chirp), rate);
    }

    // Each point on its own: refused where it would turn the loop around,
    // moved within the track and never to a loop shorter than 50 ms.
    void pointsAreSetAndNudgedWithinTheRules()
    {
        Drill d(1.5);
        QVERIFY(LoopEdit::setEndHere(d.player(), d.settingLoop()));  // no start yet: from the beginning
        QCOMPARE(d.player().loopStart(), std::optional<double>(0.0));
        QCOMPARE(d.player().loopEnd(), std::optional<double>(1.5));
        QVERIFY(d.state->isSettingLoop());

        d.player().setCurrentTime(2.0);
        QVERIFY(!LoopEdit::setStartHere(d.player(), d.settingLoop()));  // after the end: refused, nothing changes
        QCOMPARE(d.player().loopStart(), std::optional<double>(0.0));
        d.player().setCurrentTime(1.2);
        QVERIFY(LoopEdit::setStartHere(d.player(), d.settingLoop()));
        d.player().setCurrentTime(1.1);
        QVERIFY(!LoopEdit::setEndHere(d.player(), d.settingLoop()));  // before the start: refused
        QCOMPARE(d.player().loopEnd(), std::optional<double>(1.5));

        // Nudges: to the millisecond, kept 50 ms apart, within the track.
        for (int i = 0; i < 20; ++i)
            LoopEdit::nudgeStart(d.player(), +LoopEdit::nudgeSeconds);
        QCOMPARE(d.player().loopStart(), std::optional<double>(1.45));
        QVERIFY(!LoopEdit::nudgeEnd(d.player(), -LoopEdit::fineNudgeSeconds));  // already as short as it goes
        LoopEdit::nudgeEnd(d.player(), +LoopEdit::fineNudgeSeconds);
        QCOMPARE(d.player().loopEnd(), std::optional<double>(1.51));
        for (int i = 0; i < 200; ++i)
            LoopEdit::nudgeEnd(d.player(), +LoopEdit::nudgeSeconds);
        QCOMPARE(d.player().loopEnd(), std::optional<double>(6.0));  // the track's end
        // A start alone stops short of the end by the shortest loop, so an
        // end can still be set after it.
        d.player().setLoop(5.5, std::nullopt);
        for (int i = 0; i < 20; ++i)
            LoopEdit::nudgeStart(d.player(), +LoopEdit::nudgeSeconds);
        QCOMPARE(d.player().loopStart(), std::optional<double>(5.95));
        // Set there, a start would have no room for an end: refused.
        d.player().setLoop(std::nullopt, std::nullopt);
        d.player().setCurrentTime(5.97);
        QVERIFY(!LoopEdit::setStartHere(d.player(), d.settingLoop()));
        QCOMPARE(d.log.lines().last(), QStringLiteral("Loop start not set: 5.97 is too near the track's end"));
        QCOMPARE(d.player().loopStart(), std::nullopt);
        d.player().setCurrentTime(5.9);
        QVERIFY(LoopEdit::setStartHere(d.player(), d.settingLoop()));
        d.player().setCurrentTime(6.0);
        QVERIFY(LoopEdit::setEndHere(d.player(), d.settingLoop()));
        QCOMPARE(d.player().loopEnd(), std::optional<double>(6.0));
        d.player().setLoop(1.45, 6.0);
        for (int i = 0; i < 200; ++i)
            LoopEdit::nudgeStart(d.player(), -LoopEdit::nudgeSeconds);
        QCOMPARE(d.player().loopStart(), std::optional<double>(0.0));
        QVERIFY(d.log.lines().contains(QStringLiteral("Loop start moved to 0.0")));
        QCOMPARE(d.log.lines().last(), QStringLiteral("Loop start not moved: 0.0 is as far as it goes"));

        // A loop already shorter than that (two quick presses of the loop
        // key): a nudge that would shorten it further is refused, rather
        // than moving the point the other way.
        d.player().setLoop(2.0, 2.02);
        QVERIFY(!LoopEdit::nudgeStart(d.player(), +LoopEdit::fineNudgeSeconds));
        QVERIFY(!LoopEdit::nudgeEnd(d.player(), -LoopEdit::fineNudgeSeconds));
        QCOMPARE(d.player().loopStart(), std::optional<double>(2.0));
        QCOMPARE(d.player().loopEnd(), std::optional<double>(2.02));
        QVERIFY(LoopEdit::nudgeEnd(d.player(), +LoopEdit::fineNudgeSeconds));  // longer: as asked
        QCOMPARE(d.player().loopEnd(), std::optional<double>(2.05));
        // The other point off the millisecond grid: the limit still leaves
        // the full 50 ms, rather than rounding into them.
        d.player().setLoop(1.9, 2.0236);
        while (LoopEdit::nudgeStart(d.player(), +LoopEdit::fineNudgeSeconds)) {}
        QCOMPARE(d.player().loopStart(), std::optional<double>(1.973));
        QVERIFY(*d.player().loopEnd() - *d.player().loopStart() >= LoopEdit::shortestLoopSeconds);
        d.player().setLoop(2.0004, 2.2);
        while (LoopEdit::nudgeEnd(d.player(), -LoopEdit::fineNudgeSeconds)) {}
        QCOMPARE(d.player().loopEnd(), std::optional<double>(2.051));
        // As short as it goes at a track's end off the millisecond grid: the
        // end still goes as far as the track's end, short of the millisecond.
        Drill offGrid(1.0, QStringLiteral("chirp-vbr-noheader.mp3"));
        const double length = offGrid.player().player()->duration();
        const double pastMillisecond = length * 1000 - std::floor(length * 1000);
        QVERIFY2(pastMillisecond > 0.01, qPrintable(QString::number(length, 'f', 6)));
        const double start = length - LoopEdit::shortestLoopSeconds - pastMillisecond / 2000;
        offGrid.player().setLoop(start, start + 0.04);
        QVERIFY(LoopEdit::nudgeEnd(offGrid.player(), +LoopEdit::fineNudgeSeconds));
        QCOMPARE(offGrid.player().loopEnd(), std::optional<double>(length));
        // At the track's very end, longer would be past it, and a loop
        // reaching past it (phrases of a map made to an estimated length)
        // would become too short at it: both refused.
        d.player().setLoop(5.96, 6.0);
        QVERIFY(!LoopEdit::nudgeEnd(d.player(), +LoopEdit::fineNudgeSeconds));
        QCOMPARE(d.player().loopEnd(), std::optional<double>(6.0));
        d.player().setLoop(5.98, 6.3);
        QVERIFY(!LoopEdit::nudgeEnd(d.player(), -LoopEdit::fineNudgeSeconds));
        QCOMPARE(d.player().loopEnd(), std::optional<double>(6.3));
        QCOMPARE(formatTimeHundredths(1.514), QStringLiteral("00:01.51"));
        QCOMPARE(formatTimeHundredths(3725.456), QStringLiteral("01:02:05.46"));
        // Beside a point past the hour, a point before it reads alike.
        QCOMPARE(formatTimeHundredths(3599.5, 3600.75), QStringLiteral("00:59:59.50"));
        QCOMPARE(formatTimeHundredths(3600.75, 3599.5), QStringLiteral("01:00:00.75"));
        QCOMPARE(formatTimeHundredths(3599.5, 3599.9), QStringLiteral("59:59.50"));
    }

    // A drill key that changes nothing says why: silence reads as a key not
    // taken. A handle dragged against a limit says nothing at each move.
    void aRefusedDrillKeySaysWhy()
    {
        Drill d(1.5);
        AudioPlayer& player = d.player();
        const auto linesFrom = [&](const std::function<bool()>& press) {
            const qsizetype before = d.log.lines().size();
            return press() ? -1 : d.log.lines().size() - before;
        };
        const auto nudgeStart = [&](double by) { return LoopEdit::nudgeStart(player, by); };
        const auto nudgeEnd = [&](double by) { return LoopEdit::nudgeEnd(player, by); };
        const auto save = [&] { return SavedLoopsLibrary::saveCurrentLoop(*d.state); };
        const auto remove = [&] { return SavedLoopsLibrary::removeCurrentLoop(*d.state); };
        for (const auto& press : std::vector<std::function<bool()>>{
                 [&] { return nudgeStart(-0.05); }, [&] { return nudgeEnd(0.05); }, save, remove})
            QCOMPARE(linesFrom(press), 1);  // no loop
        player.setLoop(0.0, 0.05);
        for (const auto& press : std::vector<std::function<bool()>>{
                 [&] { return nudgeStart(-0.05); }, [&] { return nudgeEnd(-0.01); }, remove})
            QCOMPARE(linesFrom(press), 1);  // at the track's start, as short as it goes, not saved
        QCOMPARE(d.log.lines().last(), QStringLiteral("No saved loop removed: the loop in force is not saved"));
        QCOMPARE(linesFrom([&] { return LoopEdit::nudgeStart(player, -0.05, LoopEdit::Refusal::Unsaid); }), 0);

        // No track: a point set would only leave the loop key's phase
        // behind, and the first B on the next track would clear it.
        LibraryFixture empty;
        const auto settingLoop = [&](bool value) { empty.state->setIsSettingLoop(value); };
        QVERIFY(!LoopEdit::setStartHere(empty.state->audioPlayer(), settingLoop));
        QCOMPARE(empty.log.lines().last(), QStringLiteral("Loop start not set: no track is loaded"));
        QVERIFY(!LoopEdit::setEndHere(empty.state->audioPlayer(), settingLoop));
        QCOMPARE(empty.log.lines().last(), QStringLiteral("Loop end not set: no track is loaded"));
        QVERIFY(!empty.state->isSettingLoop());
        QCOMPARE(empty.state->audioPlayer().loopStart(), std::nullopt);
        // Nor is a saved loop recalled, and the number key says why.
        QVERIFY(!SavedLoopsLibrary::recall(*empty.state, 3));
        QCOMPARE(empty.log.lines().last(), QStringLiteral("No saved loop 3: no track is loaded"));
        // Nor are the phrase keys taken in silence.
        for (const auto& press : std::vector<std::function<bool()>>{
                 [&] { return PhraseNavigation::next(*empty.state); },
                 [&] { return PhraseNavigation::previous(*empty.state); },
                 [&] { return PhraseNavigation::loopHere(*empty.state); }}) {
            empty.log.clear();
            QVERIFY(!press());
            QCOMPARE(empty.log.lines(), QStringList{QStringLiteral("No phrases: no track is loaded")});
        }
    }

    // Short of room, a loop's points lose their leading zeros, both in the
    // form the later one needs: the minutes only from a minute on.
    void theLoopsPointsShortenWithoutLosingTheirMeaning()
    {
        const auto both = [](double start, double end) {
            return formatLoopPointCompact(start, end) + QStringLiteral(" – ") + formatLoopPointCompact(end, end);
        };
        QCOMPARE(both(0.984, 2.016), QStringLiteral("0.98 – 2.02"));
        QCOMPARE(both(1.05, 12.3), QStringLiteral("1.05 – 12.30"));
        QCOMPARE(both(5, 65), QStringLiteral("0:05.00 – 1:05.00"));
        QCOMPARE(both(59.5, 59.996), QStringLiteral("0:59.50 – 1:00.00"));  // rounded up to the minute
        QCOMPARE(both(605.25, 612.5), QStringLiteral("10:05.25 – 10:12.50"));
        QCOMPARE(both(5, 3725.456), QStringLiteral("0:00:05.00 – 1:02:05.46"));
    }

    // With a number of passes, the last one plays on past the end and the
    // loop is gone; with a pause, exact silence follows every pass, the
    // position held at the start; outside the joints every frame is the
    // track's own.
    void passesAndPausesAreExact_data()
    {
        QTest::addColumn<QString>("track");
        QTest::addColumn<int>("passes");
        QTest::addColumn<double>("pauseSeconds");
        for (const char* track : {"chirp-cbr.mp3", "chirp.m4a"}) {
            QTest::addRow("%s, endless with a pause", track) << QString::fromLatin1(track) << 0 << 0.25;
            QTest::addRow("%s, 3 passes", track) << QString::fromLatin1(track) << 3 << 0.0;
            QTest::addRow("%s, 2 passes with a pause", track) << QString::fromLatin1(track) << 2 << 0.1;
        }
    }

    void passesAndPausesAreExact()
    {
        QFETCH(QString, track);
        QFETCH(int, passes);
        QFETCH(double, pauseSeconds);
        const std::vector<float> straight = KnownSignal::straightDecode(fixturePath(track), rate);
        const LoopListener::Listener listener(straight);
        Drill d(1.0, track);
        d.player().setDrill({passes, pauseSeconds > 0 ? PassPause{PassPause::Kind::Fixed, pauseSeconds} : PassPause{}});
        d.player().setLoop(1.0, 1.3);
        d.state->setIsSettingLoop(true);
        d.player().togglePlayPause();
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        const std::int64_t a = rate;
        const std::int64_t b = std::llround(1.3 * rate);
        const std::int64_t pause = std::llround(pauseSeconds * rate);
        const int turns = passes > 0 ? passes - 1 : 100;
        // Every pass; then, with a number of passes, on past the end (else it
        // stops inside the last pass, where every frame can be placed).
        const std::vector<float> heard =
            ManualOutput::pull((b - a - fade) + turns * (b - a + pause) + (passes > 0 ? rate / 8 : -100));
        const LoopListener::Report report = listener.listen(heard, a);
        QCOMPARE(report.lostTrack, std::int64_t(-1));
        // The first joint is the fade-in of the start.
        QCOMPARE(int(report.junctions.size()), turns + 1);
        for (std::size_t i = 1; i < std::size_t(turns + 1); ++i) {
            const LoopListener::Junction& joint = report.junctions[i];
            QCOMPARE(joint.leftAfter, b - fade);
            QCOMPARE(joint.rejoinedAt, a + fade);
            QCOMPARE(joint.length, (pause > 0 ? 2 * fade : fade) + pause);
            QCOMPARE(joint.silentFrames, pause);  // within a frame of its length, exactly
        }
        if (passes > 0) {
            // After the last pass the track plays on, the loop cleared.
            QVERIFY(report.framesFollowed > (b - a) * passes);
            d.player().tick();
            QVERIFY(!d.player().loopStart() && !d.player().loopEnd() && !d.state->isSettingLoop());
            QVERIFY(d.log.lines().contains(QStringLiteral("Loop cleared")));
        }
    }

    // A loop that ends where the track does: its last pass runs into the
    // track's end, which ends the loop too; the track stops and rewinds.
    void aLoopEndingWithTheTrackFinishesWithIt_data()
    {
        QTest::addColumn<double>("speed");
        QTest::newRow("1x") << 1.0;
        QTest::newRow("1.25x") << 1.25;
    }

    void aLoopEndingWithTheTrackFinishesWithIt()
    {
        QFETCH(double, speed);
        Drill d(5.0);
        d.player().setSpeed(speed);
        QSignalSpy finished(&d.player(), &AudioPlayer::loopFinished);
        d.player().setDrill({2, PassPause{}});
        const double end = d.player().player()->duration();
        d.player().setLoop(end - 0.5, end);
        d.player().togglePlayPause();
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        ManualOutput::pull(rate * 2, std::chrono::milliseconds(300));  // on to the loop, and both passes
        d.player().tick();
        QCOMPARE(finished.size(), 1);
        QVERIFY(!d.player().loopStart() && !d.player().loopEnd());
        QVERIFY(d.log.lines().contains(QStringLiteral("Loop cleared")));
        QVERIFY(!d.player().isPlaying());
        QCOMPARE(d.player().currentTime(), 0.0);
    }

    // The last pass lets go of the loop where it ends, to within a few
    // frames, at any speed: paused just after, the loop is over (and the
    // play head stays where it is, not taken back to the start).
    void theLastPassLetsGoAtTheLoopsEnd_data()
    {
        QTest::addColumn<double>("speed");
        QTest::newRow("1x") << 1.0;
        QTest::newRow("0.75x") << 0.75;
        QTest::newRow("1.25x") << 1.25;
    }
    void theLastPassLetsGoAtTheLoopsEnd()
    {
        QFETCH(double, speed);
        Drill d(1.0);
        d.player().setSpeed(speed);
        QSignalSpy finished(&d.player(), &AudioPlayer::loopFinished);
        QVERIFY(d.drill({1, PassPause{}}, 1.0, 1.5));
        ManualOutput::pull(std::llround(0.5 / speed * rate) + 20);
        d.player().togglePlayPause();
        ManualOutput::pull(rate / 20);
        d.player().tick();
        QCOMPARE(finished.size(), 1);
        QVERIFY(!d.player().hasLoop());
        QVERIFY2(d.player().currentTime() >= 1.5, qPrintable(QString::number(d.player().currentTime())));
    }

    // Space in a pause between passes pauses as usual; Space again skips the
    // rest of the pause and goes on with the loop's start.
    void resumingInAPauseSkipsTheRestOfIt()
    {
        const LoopListener::Listener listener(m_straight);
        Drill d(1.0);
        QVERIFY(d.drill({0, PassPause{PassPause::Kind::Fixed, 2.0}}, 1.0, 1.2));
        const std::int64_t a = rate;
        const std::int64_t b = std::llround(1.2 * rate);
        ManualOutput::pull(b - a + fade + rate / 2);  // a pass, its fade-out and half a second of its pause
        d.player().tick();
        // 1.5 s left, less what the device has played since the last pull.
        QVERIFY2(d.player().passPauseSecondsLeft() > 1.45 && d.player().passPauseSecondsLeft() <= 1.5,
                 qPrintable(QString::number(d.player().passPauseSecondsLeft())));
        QCOMPARE(d.player().currentTime(), 1.0);  // the play head shows the loop start
        QVERIFY(PlayerDisplay::of(d.player()).drillText.contains(QStringLiteral("pause 1.5 s")));  // counted down in tenths
        d.player().togglePlayPause();
        ManualOutput::pull(100, std::chrono::milliseconds(50));
        d.player().togglePlayPause();
        const std::vector<float> heard = ManualOutput::pull(fade + 1000);
        const LoopListener::Report report = listener.listen(heard, a);
        QCOMPARE(report.lostTrack, std::int64_t(-1));
        QVERIFY(report.junctions.size() <= 1);  // straight on from the start (after its fade-in)
        QVERIFY(report.framesFollowed >= 1000);
    }

    // A change that keeps the loop (a nudge of a point, here) counts on from
    // the pass being heard, not from the one the decoder has read ahead to
    // (up to some 0.7 s): in the first pass, the drill still plays both
    // passes; late in the last, it still ends there.
    void aChangeMidDrillCountsOnFromThePassHeard_data()
    {
        QTest::addColumn<int>("passesBefore");
        QTest::addColumn<double>("intoPassSeconds");
        // Changed twice before the output plays on (it rests after a long
        // pause): the second change counts from the pass heard too, not from
        // where the decoder had got to, ahead of it.
        QTest::addColumn<int>("changes");
        QTest::newRow("in the first pass") << 0 << 0.7 << 1;
        QTest::newRow("late in the last pass") << 1 << 0.9 << 1;
        QTest::newRow("late in the last pass, changed twice") << 1 << 0.9 << 2;
    }
    void aChangeMidDrillCountsOnFromThePassHeard()
    {
        QFETCH(int, passesBefore);
        QFETCH(double, intoPassSeconds);
        QFETCH(int, changes);
        Drill d(1.0);
        QSignalSpy finished(&d.player(), &AudioPlayer::loopFinished);
        QVERIFY(d.drill({2, PassPause{}}, 1.0, 2.0));
        const std::int64_t pass = rate;
        ManualOutput::pull(passesBefore * pass + std::llround(intoPassSeconds * rate));
        QVERIFY(ManualOutput::likeADevice(d.player().player()));  // the queue fills up again, as it stays full in front of a device
        d.player().tick();
        QCOMPARE(d.player().loopPass(), passesBefore + 1);
        double end = 2.0;
        for (int change = 0; change < changes; ++change) {
            d.player().setLoopEnd(end += 0.01);
            QVERIFY(ManualOutput::likeADevice(d.player().player()));
        }
        ManualOutput::pull(rate / 50);
        d.player().tick();
        QCOMPARE(d.player().loopPass(), passesBefore + 1);
        QVERIFY(d.player().hasLoop());
        // The rest of the two passes, and on past the end.
        ManualOutput::pull((2 - passesBefore) * std::llround((end - 1.0) * rate) + rate / 4);
        d.player().tick();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(d.log.lines().filter(QStringLiteral("Seek to: 1")).size(), 1);  // two passes, one turn
    }

    // A turn heard just before a change (the end nudged, the speed stepped,
    // a seek) is heard, and the change's audio after it, before the next
    // tick (or a tick comes before that audio): the turn is in the count of
    // neither audio's jumps, and still told; so is a jump back the change's
    // audio begins with, and nothing else.
    void aTurnHeardJustBeforeAChangeIsTold_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("tickBeforeItsAudio");
        QTest::addColumn<QStringList>("told");
        QTest::addColumn<int>("heardFrames");  // from 300 before the turn's joint
        QTest::addColumn<int>("passAfter");
        const QString toStart = QStringLiteral("Seek to: 1.0");
        QTest::newRow("the end nudged") << QStringLiteral("end") << false << QStringList{toStart} << 600 << 2;
        QTest::newRow("the speed stepped") << QStringLiteral("speed") << false << QStringList{toStart} << 600 << 2;
        QTest::newRow("the speed stepped, a tick between") << QStringLiteral("speed") << true << QStringList{toStart} << 600 << 2;
        QTest::newRow("a seek within") << QStringLiteral("within") << false
                                       << QStringList{QStringLiteral("Seek to: 1.1"), toStart} << 600 << 2;
        QTest::newRow("a seek within, a tick between") << QStringLiteral("within") << true
                                                       << QStringList{QStringLiteral("Seek to: 1.1"), toStart} << 600 << 2;
        QTest::newRow("a seek past the end") << QStringLiteral("past") << false
                                             << QStringList{QStringLiteral("Seek to: 1.25"), toStart, toStart} << 600 << 2;
        QTest::newRow("the end moved behind the play head") << QStringLiteral("behind") << false
                                                            << QStringList{toStart, toStart} << 2900 << 2;
        // Played up to the turn's first frame, not one of it: no turn heard,
        // though the next pass's audio was queued.
        QTest::newRow("a seek within, at the turn") << QStringLiteral("within") << false
                                                    << QStringList{QStringLiteral("Seek to: 1.1")} << 300 << 1;
        // The change's audio goes on with that turn; the seek, made before
        // the output took it up, goes on in the pass heard.
        QTest::newRow("the end nudged, then a seek within, at the turn")
            << QStringLiteral("end, within") << false << QStringList{QStringLiteral("Seek to: 1.1")} << 300 << 1;
        // Played on in the old audio through the turn before the seek: the
        // turn was heard.
        QTest::newRow("the end nudged at the turn, played on through it, then a seek within")
            << QStringLiteral("end, on, within") << false << QStringList{QStringLiteral("Seek to: 1.1"), toStart} << 300 << 2;
    }
    void aTurnHeardJustBeforeAChangeIsTold()
    {
        QFETCH(QString, change);
        QFETCH(bool, tickBeforeItsAudio);
        QFETCH(QStringList, told);
        QFETCH(int, heardFrames);
        QFETCH(int, passAfter);
        Drill d(1.0);
        QSignalSpy wentBack(&d.player(), &AudioPlayer::loopWentBack);
        QVERIFY(d.drill({0, PassPause{}}, 1.0, 1.2));
        const std::int64_t pass = std::llround(0.2 * rate);
        ManualOutput::pull(pass - fade - 300);
        d.player().tick();
        QCOMPARE(d.player().loopPass(), 1);
        d.log.clear();
        QVERIFY(ManualOutput::likeADevice(d.player().player()));  // the render then finds all it asks for
        ManualOutput::render(heardFrames);
        const auto seek = [&](double seconds) {
            d.player().seek(seconds);
            d.player().setCurrentTime(seconds);
        };
        if (change == QStringLiteral("end"))
            d.player().setLoopEnd(1.21);
        else if (change == QStringLiteral("speed"))
            d.player().setSpeed(0.95);
        else if (change == QStringLiteral("within"))
            seek(1.1);
        else if (change.startsWith(QStringLiteral("end, "))) {
            d.player().setLoopEnd(1.21);
            QVERIFY(ManualOutput::likeADevice(d.player().player()));
            if (change.contains(QStringLiteral(" on,")))
                ManualOutput::render(128);
            seek(1.1);
        }
        else if (change == QStringLiteral("past"))
            seek(1.25);
        else
            d.player().setLoopEnd(1.05);
        if (tickBeforeItsAudio)
            d.player().tick();
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        ManualOutput::render(512);
        d.player().tick();
        QCOMPARE(d.player().loopPass(), passAfter);
        QCOMPARE(d.log.lines().filter(QStringLiteral("Seek to: ")), told);
        QCOMPARE(wentBack.size(), int(told.filter(QStringLiteral("Seek to: 1.0")).size()) > 0 ? 1 : 0);
    }

    // Paused mid-drill, nothing new is heard: a seek within the loop shows
    // the pass it goes on with, not a first one, and a new loop its first,
    // not the old loop's pass; played on, the audio counts from there.
    void aPausedDrillShowsThePassItGoesOnWith()
    {
        Drill d(1.0);
        QVERIFY(d.drill({5, PassPause{}}, 1.0, 2.0));
        ManualOutput::pull(2 * rate + rate / 2);
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        d.player().tick();
        QCOMPARE(d.player().loopPass(), 3);
        d.player().togglePlayPause();
        d.player().seek(1.2);
        d.player().tick();
        QCOMPARE(d.player().loopPass(), 3);
        d.player().togglePlayPause();
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        ManualOutput::pull(rate / 10);
        d.player().tick();
        QCOMPARE(d.player().loopPass(), 3);

        d.player().togglePlayPause();
        d.player().setLoop(1.0, 2.0);
        d.player().tick();
        QCOMPARE(d.player().loopPass(), 1);
        d.player().togglePlayPause();
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        ManualOutput::pull(rate + rate / 2);
        d.player().tick();
        QCOMPARE(d.player().loopPass(), 2);
    }

    // Paused just as a pause between passes began, then the end nudged and a
    // seek made within: no turn was heard, so none is told, and the seek
    // goes on in the pass heard (the nudge's audio, taking up the rest of
    // the pause, once counted the next pass as heard).
    void aNudgeAndASeekPausedAtAPauseBetweenPassesTellNoTurn()
    {
        Drill d(1.0);
        QSignalSpy wentBack(&d.player(), &AudioPlayer::loopWentBack);
        QVERIFY(d.drill({0, PassPause{PassPause::Kind::Fixed, 1.0}}, 1.0, 1.2));
        const std::int64_t pass = std::llround(0.2 * rate);
        ManualOutput::pull(pass - fade - 300);
        d.player().tick();
        d.log.clear();
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        ManualOutput::render(300 + fade);  // through the pass's fade, to the pause's first frame
        d.player().togglePlayPause();
        ManualOutput::render(256);
        d.player().setLoopEnd(1.21);
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        ManualOutput::render(256);
        d.player().seek(1.1);
        d.player().setCurrentTime(1.1);
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        ManualOutput::render(256);
        d.player().togglePlayPause();
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        ManualOutput::render(512);
        d.player().tick();
        QCOMPARE(d.player().loopPass(), 1);
        QCOMPARE(d.log.lines().filter(QStringLiteral("Seek to: ")), QStringList{QStringLiteral("Seek to: 1.1")});
        QCOMPARE(wentBack.size(), 0);
    }

    // A change in a pause between passes (a nudge, a new speed) leaves the
    // rest of the pause as it was; only a resume skips it. After it the
    // loop's start comes in with its fade, as after any pause.
    void aChangeInAPauseKeepsTheRestOfIt_data()
    {
        QTest::addColumn<bool>("slowed");
        QTest::addColumn<double>("startSeconds");
        QTest::addColumn<int>("nudges");
        QTest::addColumn<bool>("renderedAtOnce");
        QTest::newRow("end nudged") << false << 1.0 << 1 << false;
        // The second before the output took up the first (a handle dragged).
        QTest::newRow("end nudged twice") << false << 1.0 << 2 << false;
        QTest::newRow("start nudged") << false << 1.05 << 1 << false;
        QTest::newRow("slowed") << true << 1.0 << 1 << false;
        // The device asking for its next buffer before the decoder took the
        // change in (the pause was dropped, and the next pass began at once).
        QTest::newRow("end nudged, a buffer asked for at once") << false << 1.0 << 1 << true;
        QTest::newRow("end nudged twice, a buffer asked for at once each time") << false << 1.0 << 2 << true;
    }
    void aChangeInAPauseKeepsTheRestOfIt()
    {
        QFETCH(bool, slowed);
        QFETCH(double, startSeconds);
        QFETCH(int, nudges);
        QFETCH(bool, renderedAtOnce);
        const LoopListener::Listener listener(m_straight);
        Drill d(1.0);
        QVERIFY(d.intoTheFirstPause());
        const std::int64_t a = rate;
        const std::int64_t b = std::llround(1.2 * rate);
        if (slowed)
            d.player().setSpeed(0.9);
        else if (startSeconds != 1.0)
            d.player().setLoopStart(startSeconds);
        // What the device renders between (at once, or while the change is
        // not made yet) is of the pause too.
        const int renderedFrames = 1024;
        std::int64_t pauseRendered = 0;
        const std::int64_t unsuppliedBefore = ManualOutput::unsuppliedFrames();
        for (int nudge = 1; nudge <= nudges && !slowed && startSeconds == 1.0; ++nudge) {
            d.player().setLoopEnd(1.2 + 0.01 * nudge);
            if (renderedAtOnce) {
                ManualOutput::render(renderedFrames);
                pauseRendered += renderedFrames;
            }
            QVERIFY(ManualOutput::likeADevice(d.player().player()));
        }
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        const std::vector<float> quiet = ManualOutput::pull(rate / 2);
        QVERIFY(std::all_of(quiet.begin(), quiet.end(), [](float sample) { return sample == 0.0f; }));
        // A device takes the rest in real time: the decoder, its lead held
        // short until the change was taken up, has filled the queue by then.
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        d.player().tick();
        const double restSeconds = 0.25 - double(pauseRendered + ManualOutput::unsuppliedFrames() - unsuppliedBefore) / rate;
        QVERIFY2(std::abs(d.player().passPauseSecondsLeft() - restSeconds) < 0.01,
                 qPrintable(QStringLiteral("%1 s left, %2 s expected").arg(d.player().passPauseSecondsLeft()).arg(restSeconds)));
        QCOMPARE(d.player().loopPass(), 2);
        const std::int64_t unsuppliedBeforeRest = ManualOutput::unsuppliedFrames();
        const std::vector<float> rest = ManualOutput::pull(rate / 4 + rate / 10);
        const std::int64_t restFrames = std::llround(restSeconds * rate) - (ManualOutput::unsuppliedFrames() - unsuppliedBeforeRest);
        if (slowed) {
            // Stretched audio is not the decode's own: only where it comes back shows.
            const auto firstSound = std::find_if(rest.begin(), rest.end(), [](float sample) { return sample != 0.0f; });
            const std::int64_t soundAt = std::distance(rest.begin(), firstSound) / 2;
            QVERIFY2(std::abs(soundAt - restFrames) < rate / 100, qPrintable(QString::number(soundAt)));
            return;
        }
        // After it, the loop's start as it is now.
        const std::int64_t start = std::llround(startSeconds * rate);
        const LoopListener::Report report = listener.listen(rest, a);
        QCOMPARE(report.lostTrack, std::int64_t(-1));
        QCOMPARE(int(report.junctions.size()), 1);
        const LoopListener::Junction& comingBack = report.junctions.front();
        QCOMPARE(comingBack.rejoinedAt, start + fade);
        QVERIFY2(std::abs(comingBack.silentFrames - restFrames) < rate / 100,
                 qPrintable(QString::number(comingBack.silentFrames)));
        QVERIFY(comingBack.largestStep <= LoopListener::largestStep(m_straight, start, b));
    }

    // The line under the time is kept from frame to frame; it still follows
    // each point, the pass, a change of the passes and the pause's countdown.
    void theDrillLineFollowsTheLoopThePassAndThePause()
    {
        Drill d(1.0);
        DrillLine kept;
        QStringList shown;
        const auto show = [&] {
            const QString text = kept.of(d.player());
            QCOMPARE(text, PlayerDisplay::of(d.player()).drillText);
            shown << text;
        };
        d.player().setDrill({3, PassPause{PassPause::Kind::Fixed, 2.0}});
        show();
        d.player().setLoopStart(1.0);
        show();
        d.player().setLoopEnd(1.3);
        show();
        d.player().setLoopEnd(1.2);
        show();
        d.player().togglePlayPause();
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        const std::int64_t pass = std::llround(0.2 * rate);
        ManualOutput::pull(pass + fade + rate / 2);  // a pass, its fade-out and half a second of its pause
        d.player().tick();
        show();
        // In a row too narrow for the whole line, the pass and the pause are
        // the last to go: the bar's marks show the points too.
        DrillRow row(*d.state);
        row.present(PlayerDisplay::of(d.player()));
        QStringList narrowed;
        for (const QString& form : {shown[4], QStringLiteral("00:01.00 – 00:01.20 · 2 / 3 · pause 1.5 s"),
                                    QStringLiteral("1.00 – 1.20 · 2 / 3 · pause 1.5 s"), QStringLiteral("2 / 3 · pause 1.5 s")}) {
            row.loopLine()->resize(int(std::ceil(QFontMetricsF(row.loopLine()->textFont()).horizontalAdvance(form))),
                                   row.loopLine()->height());
            narrowed << row.loopLine()->displayedText();
        }
        const QFontMetricsF metrics(row.loopLine()->textFont());
        row.loopLine()->resize(int(std::ceil(metrics.horizontalAdvance(QStringLiteral("2 / 3…")))), row.loopLine()->height());
        narrowed << row.loopLine()->displayedText();
        QCOMPARE(narrowed.mid(0, 4), (QStringList{shown[4], QStringLiteral("00:01.00 – 00:01.20 · 2 / 3 · pause 1.5 s"),
                                                  QStringLiteral("1.00 – 1.20 · 2 / 3 · pause 1.5 s"),
                                                  QStringLiteral("2 / 3 · pause 1.5 s")}));
        QVERIFY2(narrowed[4].startsWith(u'2') && narrowed[4].endsWith(QChar(0x2026)), qPrintable(narrowed[4]));
        // At the row's least width (the window's), the pass and the pause's
        // countdown are still whole, if not its word: nothing else shows
        // them, and room for the word would widen the window for all.
        row.resize(row.minimumSizeHint().width(), row.sizeHint().height());
        row.show();
        QTRY_COMPARE(row.loopLine()->displayedText(), QStringLiteral("2 / 3 · 1.5 s"));
        row.hide();
        // Where the pause's words take the room the word and the points
        // had, the next pass keeps to the shorter form rather than have the
        // line's start jump back and forth at every pass; another loop does not.
        TextLine& line = *row.loopLine();
        line.resize(int(std::ceil(metrics.horizontalAdvance(QStringLiteral("Loop 00:01.00 – 00:01.20 · 2 / 3")))), line.height());
        line.setText(QStringLiteral("Loop 00:01.00 – 00:01.20 · 2 / 3 · pause 1.5 s"));
        line.setShorterForms({QStringLiteral("00:01.00 – 00:01.20 · 2 / 3 · pause 1.5 s"), QStringLiteral("2 / 3 · pause 1.5 s")},
                             QStringLiteral("00:01.00 – 00:01.20"));
        QCOMPARE(line.displayedText(), QStringLiteral("2 / 3 · pause 1.5 s"));
        line.setText(QStringLiteral("Loop 00:01.00 – 00:01.20 · 3 / 3"));
        line.setShorterForms({QStringLiteral("00:01.00 – 00:01.20 · 3 / 3"), QStringLiteral("3 / 3")}, QStringLiteral("00:01.00 – 00:01.20"));
        QCOMPARE(line.displayedText(), QStringLiteral("3 / 3"));
        line.setText(QStringLiteral("Loop 00:01.00 – 00:01.30 · 1 / 3"));
        line.setShorterForms({QStringLiteral("00:01.00 – 00:01.30 · 1 / 3"), QStringLiteral("1 / 3")}, QStringLiteral("00:01.00 – 00:01.30"));
        QCOMPARE(line.displayedText(), QStringLiteral("Loop 00:01.00 – 00:01.30 · 1 / 3"));
        ManualOutput::pull(rate / 4);
        d.player().tick();
        show();
        d.player().setDrill({0, PassPause{PassPause::Kind::Fixed, 2.0}});
        show();
        QCOMPARE(shown.mid(0, 4), (QStringList{QString(), QStringLiteral("Loop 00:01.00 – "),
                                               QStringLiteral("Loop 00:01.00 – 00:01.30"),
                                               QStringLiteral("Loop 00:01.00 – 00:01.20")}));
        QCOMPARE(shown[4], QStringLiteral("Loop 00:01.00 – 00:01.20 · 2 / 3 · pause 1.5 s"));
        QVERIFY2(shown[5] != shown[4] && shown[5].startsWith(QStringLiteral("Loop 00:01.00 – 00:01.20 · 2 / 3 · pause 1.")),
                 qPrintable(shown[5]));
        QVERIFY2(shown[6].startsWith(QStringLiteral("Loop 00:01.00 – 00:01.20 · 2 / ∞ · pause 1.")), qPrintable(shown[6]));
        // Fewer passes than the one under way: it is the last.
        d.player().setDrill({1, PassPause{PassPause::Kind::Fixed, 2.0}});
        show();
        QVERIFY2(shown[7].startsWith(QStringLiteral("Loop 00:01.00 – 00:01.20 · 1 / 1")), qPrintable(shown[7]));
        // Paused in the pause: play resumes with what follows it at once, so
        // no countdown stands still on the line meanwhile.
        QVERIFY(d.player().passPauseSecondsLeft() > 0);
        d.player().togglePlayPause();
        show();
        QCOMPARE(shown[8], QStringLiteral("Loop 00:01.00 – 00:01.20 · 1 / 1"));
    }

    // A choice made in a pause between passes takes effect in it: no pause
    // chosen, the next pass comes at once; fewer passes than were heard
    // already, the loop lets go and play goes on past its end. Two choices
    // made while paused in the pause, before the output plays again, both count.
    void aChoiceMadeInAPauseTakesEffectInIt_data()
    {
        QTest::addColumn<bool>("fewerPasses");
        QTest::addColumn<bool>("twiceWhilePaused");
        QTest::newRow("no pause") << false << false;
        QTest::newRow("fewer passes") << true << false;
        QTest::newRow("fewer passes, chosen twice while paused") << true << true;
    }
    void aChoiceMadeInAPauseTakesEffectInIt()
    {
        QFETCH(bool, fewerPasses);
        QFETCH(bool, twiceWhilePaused);
        Drill d(1.0);
        QVERIFY(d.intoTheFirstPause());
        const std::int64_t a = rate;
        const std::int64_t b = std::llround(1.2 * rate);
        if (twiceWhilePaused) {
            d.player().togglePlayPause();
            ManualOutput::pull(rate / 10, std::chrono::milliseconds(50));
            d.player().setDrill({1, PassPause{PassPause::Kind::Fixed, 1.0}});
            QVERIFY(ManualOutput::likeADevice(d.player().player()));
            d.player().setDrill({1, PassPause{PassPause::Kind::Fixed, 0.5}});
            QVERIFY(ManualOutput::likeADevice(d.player().player()));
            d.player().togglePlayPause();
        } else {
            d.player().setDrill(fewerPasses ? DrillSettings{1, PassPause{PassPause::Kind::Fixed, 1.0}} : DrillSettings{});
        }
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        const std::vector<float> next = ManualOutput::pull(rate / 10);
        QCOMPARE(next.size(), std::size_t(2 * (rate / 10)));
        const std::int64_t from = fewerPasses ? b : a;
        for (std::size_t i = 2 * std::size_t(fade); i < next.size(); ++i)  // after its fade-in
            QVERIFY2(std::abs(next[i] - m_straight[std::size_t(2 * from) + i]) < 1e-6, qPrintable(QString::number(i / 2)));
        d.player().tick();
        QCOMPARE(d.player().hasLoop(), !fewerPasses);
    }

    // Hands-free, the pause as long as the loop: the move on to a shorter
    // phrase, heard in the pause, does not cut short the learner's turn
    // after the longer one.
    void thePauseAfterAPassIsAsLongAsThatPass_data()
    {
        QTest::addColumn<int>("passes");
        QTest::newRow("one pass") << 1;
        QTest::newRow("two passes") << 2;  // the decoder has made the next phrase's first pause already
    }
    void thePauseAfterAPassIsAsLongAsThatPass()
    {
        QFETCH(int, passes);
        Drill d(1.0);
        d.player().setNextLoopFinder([](double, double) { return std::optional<std::pair<double, double>>({2.0, 2.1}); });
        QVERIFY(d.drill({passes, PassPause{PassPause::Kind::LoopLength, 0}}, 1.0, 1.4));
        const std::int64_t pass = std::llround(1.4 * rate) - rate;
        // The passes, each with its fade-out, the pauses between them, and
        // 50 ms of the pause after the last.
        ManualOutput::pull(passes * (pass + fade) + (passes - 1) * pass + rate / 20);
        d.player().tick();                            // hears the move on: the next loop is handed over
        QVERIFY(ManualOutput::likeADevice(d.player().player()));
        const std::vector<float> rest = ManualOutput::pull(rate / 2);
        const auto firstSound = std::find_if(rest.begin(), rest.end(), [](float sample) { return sample != 0.0f; });
        const std::int64_t silentFrames = std::distance(rest.begin(), firstSound) / 2;
        // (Within 25 ms: a pass's fades are counted roughly above; a pause
        // cut to the next phrase's length would be 300 ms short.)
        QVERIFY2(std::abs(silentFrames - (pass - rate / 20)) < rate / 40, qPrintable(QString::number(silentFrames)));
    }

    // Saved loops: per track, kept across starts under a key of their own; a
    // damaged value is kept aside; a recall on a file that got shorter is
    // refused or cut to the track.
    void savedLoopsAreKeptRecalledAndRemoved()
    {
        QTemporaryDir folder;
        const QString lesson = folder.filePath(QStringLiteral("lesson.mp3"));
        QVERIFY(QFile::copy(fixturePath(chirp), lesson));
        LibraryFixture f(LibraryFixture::encoded({{"D", {QUrl::fromLocalFile(lesson), fixtureUrl(chirp)}}}));
        f.library->loadPlaylists();
        SavedLoopsLibrary::load(*f.state);
        f.library->playTrackInPlaylist(QStringLiteral("D"), QUrl::fromLocalFile(lesson));
        AudioPlayer& player = f.player();
        // The bar marks the saved loops of the track playing.
        PlayerCard card(*f.state);
        const auto marked = [&] { return card.progressBar()->values().faintSpans; };
        using Spans = std::vector<std::pair<double, double>>;
        player.setLoop(1.0, 1.5);
        QVERIFY(SavedLoopsLibrary::saveCurrentLoop(*f.state));
        QVERIFY(!SavedLoopsLibrary::saveCurrentLoop(*f.state));  // the same one again: no
        QCOMPARE(marked(), (Spans{{1.0, 1.5}}));
        // Nor with the digits a phrase's bounds carry, which a nudge out and
        // back rounds away: saved as 1.5, it is the same as 1.5 + 2e-16.
        player.setLoop(1.0000000000000002, 1.5000000000000002);
        QVERIFY(!SavedLoopsLibrary::saveCurrentLoop(*f.state));
        QVERIFY(f.log.lines().contains(QStringLiteral("Loop already saved as 1")));
        QVERIFY(SavedLoopsLibrary::removeCurrentLoop(*f.state));
        player.setLoop(1.0, 1.5);
        QVERIFY(SavedLoopsLibrary::saveCurrentLoop(*f.state));
        player.setLoop(1.0, 1.501);  // a millisecond is another loop
        QVERIFY(SavedLoopsLibrary::saveCurrentLoop(*f.state));
        QVERIFY(SavedLoopsLibrary::removeCurrentLoop(*f.state));
        player.setLoop(1.0, 1.5);
        QCOMPARE(marked(), (Spans{{1.0, 1.5}}));
        player.setLoop(4.0, 5.5);
        QVERIFY(SavedLoopsLibrary::saveCurrentLoop(*f.state));
        QVERIFY(f.log.lines().contains(QStringLiteral("Loop saved as 2: 4.0 to 5.5")));
        QCOMPARE(marked(), (Spans{{1.0, 1.5}, {4.0, 5.5}}));
        f.library->playTrackInPlaylist(QStringLiteral("D"), fixtureUrl(chirp));
        QCOMPARE(marked(), Spans{});
        f.library->playTrackInPlaylist(QStringLiteral("D"), QUrl::fromLocalFile(lesson));
        QCOMPARE(marked(), (Spans{{1.0, 1.5}, {4.0, 5.5}}));

        f.log.clear();
        QVERIFY(SavedLoopsLibrary::recall(*f.state, 1));
        QCOMPARE(player.loopStart(), std::optional<double>(1.0));
        QCOMPARE(player.loopEnd(), std::optional<double>(1.5));
        QVERIFY(player.isPlaying());
        QCOMPARE(f.log.lines(), (QStringList{QStringLiteral("Recalled saved loop 1: 1.0 to 1.5"), QStringLiteral("Seek to: 1.0")}));

        // A new start reads them back; the playlist going changes nothing.
        f.defaults.store().finishWrites();
        {
            DefaultsStore again(f.defaults.filePath());
            ContentState state(again);
            SavedLoopsLibrary::load(state);
            QCOMPARE(state.savedLoops().of(QUrl::fromLocalFile(lesson).toString()),
                     (QList<SavedLoop>{{1.0, 1.5}, {4.0, 5.5}}));
        }
        // The file is cut to 3 s: loop 2 now lies past its end.
        QFile file(lesson);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(file.size() / 2));
        file.close();
        f.library->playTrackInPlaylist(QStringLiteral("D"), QUrl::fromLocalFile(lesson));
        f.log.clear();
        QVERIFY(!SavedLoopsLibrary::recall(*f.state, 2));
        QVERIFY(f.log.lines().filter(QRegularExpression(QStringLiteral("^Saved loop"))).value(0).startsWith(
            QStringLiteral("Saved loop 2 lies past the end of the track")));
        QVERIFY(SavedLoopsLibrary::remove(*f.state, 2));
        QCOMPARE(f.state->savedLoops().of(QUrl::fromLocalFile(lesson).toString()).size(), 1);
        QCOMPARE(marked(), (Spans{{1.0, 1.5}}));
        // One that now runs past the end is recalled cut to it, and is still
        // the saved loop in force: not saved again, and Delete removes it.
        SavedLoops withLonger = f.state->savedLoops();
        QVERIFY(withLonger.add(QUrl::fromLocalFile(lesson).toString(), {2.5, 4.0}));
        f.state->setSavedLoops(withLonger);
        QVERIFY(SavedLoopsLibrary::recall(*f.state, 2));
        QCOMPARE(f.player().loopEnd(), std::optional<double>(f.player().player()->duration()));
        QVERIFY(!SavedLoopsLibrary::saveCurrentLoop(*f.state));
        QCOMPARE(f.log.lines().last(), QStringLiteral("Loop already saved as 2"));
        QVERIFY(SavedLoopsLibrary::removeCurrentLoop(*f.state));
        QCOMPARE(f.state->savedLoops().of(QUrl::fromLocalFile(lesson).toString()), (QList<SavedLoop>{{1.0, 1.5}}));
        // Two with one start, cut to one loop by the shorter file (both past
        // its end, or one ending where it now does): the one recalled is the
        // one in force, and the one Delete removes.
        const double fileEnd = f.player().player()->duration();
        for (const SavedLoop& other : {SavedLoop{2.5, 4.0}, SavedLoop{2.5, fileEnd}}) {
            SavedLoops sharingAStart = f.state->savedLoops();
            QVERIFY(sharingAStart.add(QUrl::fromLocalFile(lesson).toString(), other));
            QVERIFY(sharingAStart.add(QUrl::fromLocalFile(lesson).toString(), {2.5, 5.0}));
            f.state->setSavedLoops(sharingAStart);
            QVERIFY(SavedLoopsLibrary::recall(*f.state, 3));
            QCOMPARE(SavedLoopsLibrary::numberOfLoopInForce(*f.state), 3);
            QVERIFY(SavedLoopsLibrary::removeCurrentLoop(*f.state));
            QCOMPARE(f.state->savedLoops().of(QUrl::fromLocalFile(lesson).toString()), (QList<SavedLoop>{{1.0, 1.5}, other}));
            QVERIFY(SavedLoopsLibrary::remove(*f.state, 2));
        }
        // One the cut leaves a sliver of is not recalled; one as short as
        // the nudges make is.
        const double cutEnd = fileEnd;
        SavedLoops withSliver = f.state->savedLoops();
        QVERIFY(withSliver.add(QUrl::fromLocalFile(lesson).toString(), {cutEnd - 0.005, 4.0}));
        QVERIFY(withSliver.add(QUrl::fromLocalFile(lesson).toString(), {2.0, 2.05}));
        f.state->setSavedLoops(withSliver);
        f.log.clear();
        QVERIFY(!SavedLoopsLibrary::recall(*f.state, 2));
        QCOMPARE(f.log.lines(), QStringList{QStringLiteral("Saved loop 2 is shorter than 0.01 s in this track: not recalled")});
        QVERIFY(SavedLoopsLibrary::recall(*f.state, 3));
        f.log.clear();
        QVERIFY(!SavedLoopsLibrary::recall(*f.state, 4));  // a number with no loop under it says so
        QCOMPARE(f.log.lines(), QStringList{QStringLiteral("No saved loop 4 for this track (3 saved)")});
        QVERIFY(SavedLoopsLibrary::remove(*f.state, 3) && SavedLoopsLibrary::remove(*f.state, 2));

        // A save that never reaches the disk says so.
        f.defaults.store().finishWrites();
        QTest::qWait(0);  // the removal's write, reported
        f.log.clear();
        f.defaults.store().cutWritesForTesting(20);
        player.setLoop(2.0, 2.5);
        QVERIFY(SavedLoopsLibrary::saveCurrentLoop(*f.state));
        // Lines picked out by what they say: the phrase map of the track, cut
        // short above, may report from its own thread at any time.
        const auto saveLines = [&] {
            return f.log.lines().filter(QRegularExpression(QStringLiteral("^(Loop saved|Error saving)")));
        };
        QTRY_VERIFY2(saveLines().size() == 2, qPrintable(f.log.lines().join(u'\n')));
        QCOMPARE(saveLines()[0], QStringLiteral("Loop saved as 2: 2.0 to 2.5"));
        QVERIFY2(saveLines()[1].startsWith(QStringLiteral("Error saving saved loops: cannot write ")),
                 qPrintable(saveLines()[1]));

        // A damaged value: kept aside, the window starts with none.
        LibraryFixture damaged;
        damaged.defaults.store().setData(SavedLoopsLibrary::storedKey, "{\"x\":[[3,1]]}");
        SavedLoopsLibrary::load(*damaged.state);
        QVERIFY(damaged.state->savedLoops().isEmpty());
        QCOMPARE(damaged.defaults.store().data(QStringLiteral("unreadableSavedLoops/1")), QByteArray("{\"x\":[[3,1]]}"));
        // (Picked out by what they say, as the phrase map above may still report.)
        QCOMPARE(damaged.log.lines().filter(QRegularExpression(QStringLiteral("^Error loading saved loops: "))).size(), 1);

        // More loops for a track than it can hold: the first ones are used,
        // and the rest survive the next save, under a key of their own.
        QByteArray crowded("{\"x\":[");
        for (int i = 0; i < SavedLoops::perTrack + 1; ++i)
            crowded += QByteArray(i ? "," : "") + "[" + QByteArray::number(i) + "," + QByteArray::number(i + 1) + "]";
        crowded += "],\"y\":[[1,2]]}";
        // (Used in part, such a value is told of once, and kept aside whole.)
        const auto loadKeptAside = [](LibraryFixture& fixture, const QByteArray& value, const QString& linePattern) {
            fixture.defaults.store().setData(SavedLoopsLibrary::storedKey, value);
            SavedLoopsLibrary::load(*fixture.state);
            QVERIFY2(fixture.log.lines().filter(QRegularExpression(linePattern)).size() == 1,
                     qPrintable(fixture.log.lines().join(u'\n')));
            QCOMPARE(fixture.defaults.store().data(QStringLiteral("unreadableSavedLoops/1")), value);
        };
        LibraryFixture full;
        loadKeptAside(full, crowded, QStringLiteral("^Saved loops: only the first 9 of each track are used"));
        QCOMPARE(full.state->savedLoops().of(QStringLiteral("x")).size(), SavedLoops::perTrack);
        QCOMPARE(full.state->savedLoops().of(QStringLiteral("y")).size(), 1);

        // A track stored twice (two files joined by hand): the loops of both
        // are used, one the first holds too once (within a member, each as
        // stored), and the value as stored is kept too.
        const QByteArray twice("{\"x\":[[1,2],[3,4],[3,4]],\"y\":[[5,6]],\"x\":[[3,4],[7,8]]}");
        LibraryFixture joined;
        loadKeptAside(joined, twice, QStringLiteral("^Saved loops: \\[\"x\"\\] stored more than once"));
        QList<double> starts;
        for (const SavedLoop& loop : joined.state->savedLoops().of(QStringLiteral("x")))
            starts.append(loop.startSeconds);
        QCOMPARE(starts, (QList<double>{1, 3, 3, 7}));
        QCOMPARE(joined.state->savedLoops().of(QStringLiteral("y")).size(), 1);

        // A track typed by hand, as a plain path or as a file URL with its
        // space and Korean as typed, is the track under the name the window
        // looks it up by; both spellings of one file are that one track.
        const QString korean = folder.filePath(QStringLiteral("Unit 1 듣기.mp3"));
        const QString typed = QStringLiteral("{\"%1\":[[1,2]],\"file://%1\":[[3,4]],\"%2\":[[5,6]]}").arg(korean, lesson);
        LibraryFixture byHand;
        byHand.defaults.store().setData(SavedLoopsLibrary::storedKey, typed.toUtf8());
        SavedLoopsLibrary::load(*byHand.state);
        QCOMPARE(byHand.state->savedLoops().of(PlaylistCodec::trackToString(QUrl::fromLocalFile(korean))),
                 (QList<SavedLoop>{{1, 2}, {3, 4}}));
        QCOMPARE(byHand.state->savedLoops().of(PlaylistCodec::trackToString(QUrl::fromLocalFile(lesson))),
                 (QList<SavedLoop>{{5, 6}}));
    }

    // The bar's menu names the saved loops where it was opened. Keys work on
    // while it is open: Delete removes the loop in force and renumbers the
    // rest, and another track may start. A choice acts on the loop it named,
    // or on nothing.
    void theBarsMenuActsOnTheSavedLoopItNamed()
    {
        Drill d(1.0);
        PlayerCard card(*d.state);
        const QString track = SavedLoopsLibrary::currentTrackKey(*d.state);
        SavedLoops loops;
        loops.set(track, {{0.5, 1.0}, {2.0, 3.0}, {4.0, 5.0}});
        d.state->setSavedLoops(loops);
        d.player().setLoop(0.5, 1.0);
        const auto chosen = [](QMenu& menu, const QString& text) {
            for (QAction* action : menu.actions())
                if (action->text() == text)
                    return action;
            qFatal("no %s in the menu", qPrintable(text));
        };

        QMenu menu;
        card.fillBarMenu(menu, 2.5);
        QVERIFY(SavedLoopsLibrary::removeCurrentLoop(*d.state));
        chosen(menu, QStringLiteral("Remove Saved Loop 2"))->trigger();
        QCOMPARE(d.state->savedLoops().of(track), (QList<SavedLoop>{{4.0, 5.0}}));

        QMenu another;
        card.fillBarMenu(another, 4.5);  // {4, 5} is loop 1
        loops.set(track, {{0.5, 1.0}});   // and goes meanwhile
        d.state->setSavedLoops(loops);
        d.player().setLoop(std::nullopt, std::nullopt);
        chosen(another, QStringLiteral("Recall Saved Loop 1"))->trigger();
        QVERIFY(!d.player().hasLoop());

        // Saved only while the loop it offered is in force (a drill moving
        // on to the next phrase moves the loop).
        d.player().setLoop(2.0, 2.5);
        QMenu third;
        card.fillBarMenu(third, 2.2);
        d.player().setLoop(2.5, 3.0);
        chosen(third, QStringLiteral("Save This Loop"))->trigger();
        QCOMPARE(d.state->savedLoops().of(track), (QList<SavedLoop>{{0.5, 1.0}}));
        d.player().setLoop(2.0, 2.5);
        chosen(third, QStringLiteral("Save This Loop"))->trigger();
        QCOMPARE(d.state->savedLoops().of(track), (QList<SavedLoop>{{0.5, 1.0}, {2.0, 2.5}}));

        // Saved already, or the track full: not offered, and the item says why.
        QMenu fourth;
        card.fillBarMenu(fourth, 2.2);
        QVERIFY(!chosen(fourth, QStringLiteral("Saved as Loop 2"))->isEnabled());
        for (int i = 2; i < SavedLoops::perTrack; ++i)
            loops.add(track, {10.0 + i, 10.5 + i});
        loops.add(track, {2.0, 2.5});
        d.state->setSavedLoops(loops);
        d.player().setLoop(2.0, 2.4);
        QMenu fifth;
        card.fillBarMenu(fifth, 2.2);
        QVERIFY(!chosen(fifth, QStringLiteral("Save This Loop (9 Saved Already)"))->isEnabled());
        const QList<QAction*> items = fifth.actions();  // (one list: two calls make two)
        QVERIFY(std::none_of(items.begin(), items.end(),
                             [](QAction* action) { return action->text() == QStringLiteral("Save This Loop"); }));
    }

    // A chip's menu opens under it, or above it near the screen's foot: it
    // never covers the chip (and the line beside it).
    void aChipsMenuLeavesTheChipInSight()
    {
        LibraryFixture f;
        DrillRow row(*f.state);
        row.resize(row.sizeHint());
        const QRect screen = row.screen()->availableGeometry();
        for (const int y : {screen.top() + 20, screen.bottom() - row.height() - 2}) {
            row.move(screen.left() + 20, y);
            row.show();
            QVERIFY(QTest::qWaitForWindowExposed(&row));
            QTest::mouseClick(row.pauseButton(), Qt::LeftButton);
            QTRY_VERIFY(row.pauseMenu()->isVisible());
            const QRect chip(row.pauseButton()->mapToGlobal(QPoint(0, 0)), row.pauseButton()->size());
            QVERIFY2(!row.pauseMenu()->geometry().intersects(chip), qPrintable(QString::number(y)));
            row.pauseMenu()->hide();
        }
    }

    // The drill choices persist; one that is not offered counts as never made.
    void drillChoicesPersist()
    {
        LibraryFixture f;
        DrillOptions::setPasses(*f.state, 5);
        DrillOptions::setPause(*f.state, {PassPause::Kind::LoopLength, 0});
        QCOMPARE(f.log.lines(), (QStringList{QStringLiteral("Passes per loop set to: 5"),
                                             QStringLiteral("Pause between passes set to: Loop")}));
        f.defaults.store().finishWrites();
        DefaultsStore again(f.defaults.filePath());
        QCOMPARE(ContentState(again).audioPlayer().drill(), (DrillSettings{5, {PassPause::Kind::LoopLength, 0}}));
        again.setValue(DrillOptions::passesKey, QStringLiteral("7"));
        again.setValue(DrillOptions::pauseKey, QStringLiteral("soon"));
        QCOMPARE(ContentState(again).audioPlayer().drill(), DrillSettings{});
    }

    // The row is presented at every frame and skips the work when nothing it
    // shows has changed; each setting, however it was changed, still shows in
    // the chips and the menus' check marks.
    void theDrillRowShowsEveryChangeOfTheSettings()
    {
        LibraryFixture f;
        DrillRow row(*f.state);
        const auto presented = [&] {
            row.present(PlayerDisplay::of(f.player()));
            QStringList shown{row.passesButton()->text(), row.pauseButton()->text(), row.speedButton()->text()};
            // Each menu's checked items, by place: 0 is the first.
            for (QMenu* menu : {row.passesMenu(), row.pauseMenu(), row.speedMenu()}) {
                QStringList checked;
                for (qsizetype i = 0; i < menu->actions().size(); ++i)
                    if (menu->actions()[i]->isChecked())
                        checked << QString::number(i);
                shown << QStringLiteral("[%1]").arg(checked.join(u','));
            }
            return shown.join(u' ');
        };
        QCOMPARE(presented(), QStringLiteral("Passes ∞ Pause Off 1.0× [0] [0] [4]"));
        QCOMPARE(row.passesMenu()->actions()[1]->text(), QStringLiteral("1 pass"));
        QCOMPARE(row.passesMenu()->actions()[4]->text(), QStringLiteral("5 passes"));
        DrillOptions::setPasses(*f.state, 5);
        QCOMPARE(presented(), QStringLiteral("Passes 5 Pause Off 1.0× [4] [0] [4]"));
        DrillOptions::setPause(*f.state, {PassPause::Kind::Fixed, 2});
        QCOMPARE(presented(), QStringLiteral("Passes 5 Pause 2 s 1.0× [4] [2] [4]"));
        DrillOptions::setPause(*f.state, {PassPause::Kind::LoopLength, 0});
        QCOMPARE(presented(), QStringLiteral("Passes 5 Pause Loop 1.0× [4] [4] [4]"));
        f.state->setDrillThenNextPhrase(true);
        QCOMPARE(presented(), QStringLiteral("Passes 5 → Pause Loop 1.0× [4,7] [4] [4]"));
        SpeedOption::set(*f.state, 0.75);
        QCOMPARE(presented(), QStringLiteral("Passes 5 → Pause Loop 0.75× [4,7] [4] [2]"));
        DrillOptions::setPasses(*f.state, 0);
        QCOMPARE(presented(), QStringLiteral("Passes ∞ Pause Loop 0.75× [0,7] [4] [2]"));
    }

    // A new playlist made while a track plays empties the engine's list; the
    // track is still loaded, so it can be paused and resumed all the same.
    void aTrackWithoutItsListStillPausesAndResumes()
    {
        Drill d(1.0);
        d.player().togglePlayPause();
        d.state->setNewPlaylistName(QStringLiteral("Fresh"));
        d.library->addPlaylist();
        QVERIFY(d.player().playlist().isEmpty());
        QVERIFY(PlayerDisplay::of(d.player()).isTransportEnabled);
        d.player().togglePlayPause();
        QVERIFY(!d.player().isPlaying());
        d.player().togglePlayPause();
        QVERIFY(d.player().isPlaying());
    }
};

QTEST_MAIN(DrillTest)
#include "tst_drill.moc"
