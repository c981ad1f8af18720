// Drilling a spoken lesson phrase by phrase: the keys step and loop by the
// phrase map the window makes of the track in the background, and hands-free
// drilling moves the loop on to the next phrase after its last pass. The
// recordings are spoken at test time; the audio is pulled by hand.

#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "state/DrillOptions.h"
#include "state/PhraseNavigation.h"
#include "ui/kit/WaveformStrip.h"
#include "ui/screens/PlayerCard.h"
#include "LibraryFixture.h"
#include "ManualOutput.h"
#include "SpeechFixture.h"
#include "WidgetTesting.h"

#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>

namespace {

constexpr int rate = 44100;

}  // namespace

class PhraseDrillTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    std::optional<SpeechFixture::Recording> m_lesson;

    // The lesson loaded, played and paused at 0, its map made.
    std::unique_ptr<LibraryFixture> loaded(const QString& path)
    {
        auto f = std::make_unique<LibraryFixture>(
            QStringLiteral("{\"L\":[\"%1\"]}").arg(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)).toUtf8());
        f->library->loadPlaylists();
        f->library->playTrackInPlaylist(QStringLiteral("L"), QUrl::fromLocalFile(path));
        f->player().togglePlayPause();
        if (!QTest::qWaitFor([&] { return f->state->phraseMap().has_value(); }, 20000))
            return nullptr;
        f->log.clear();
        return f;
    }

private slots:
    void initTestCase()
    {
        AudioOutput::useManualOutputForTesting(rate);
        if (!SpeechFixture::missingTool().isEmpty())
            QSKIP(qPrintable(SpeechFixture::missingTool() + QStringLiteral(" is not installed: no spoken recordings")));
        QString error;
        m_lesson = SpeechFixture::make(m_folder.path(), QStringLiteral("lesson"), SpeechFixture::lesson(), &error);
        QVERIFY2(m_lesson, qPrintable(error));
    }

    // Next and previous go to a little before each phrase's first sound; a
    // press well into a phrase goes back to its own start; with a loop, the
    // loop moves along.
    void stepsGoPhraseByPhrase()
    {
        const auto f = loaded(m_lesson->path);
        QVERIFY(f);
        const PhraseMap& map = *f->state->phraseMap();
        QCOMPARE(map.phraseCount(), int(m_lesson->sentences.size()));
        AudioPlayer& player = f->player();
        for (int i = 0; i < map.phraseCount(); ++i) {
            QVERIFY(PhraseNavigation::next(*f->state));
            QCOMPARE(player.currentTime(), map.loopBounds(i).startSeconds);
            QVERIFY(player.currentTime() < m_lesson->sentences[std::size_t(i)].startSeconds);
        }
        QVERIFY(!PhraseNavigation::next(*f->state));
        QCOMPARE(f->log.lines().last(), QStringLiteral("No phrase after this one"));
        // The lines tell each loop to the millisecond, not with the binary
        // noise of the levels' sums ("15.090000000000002").
        for (int i = 0; i < map.phraseCount(); ++i) {
            player.setCurrentTime(m_lesson->sentences[std::size_t(i)].startSeconds + 0.2);
            QVERIFY(PhraseNavigation::loopHere(*f->state));
            player.togglePlayPause();
            static const QRegularExpression toTheMillisecond(
                QStringLiteral("^Loop set to phrase \\d of \\d: \\d+(\\.\\d{1,3})? to \\d+(\\.\\d{1,3})?$"));
            const QString told = f->log.lines().filter(QStringLiteral("Loop set to")).last();
            QVERIFY2(toTheMillisecond.match(told).hasMatch(), qPrintable(told));
        }
        player.setLoop(std::nullopt, std::nullopt);

        player.setCurrentTime(m_lesson->sentences[3].startSeconds + 1.5);  // well into phrase 4
        QVERIFY(PhraseNavigation::previous(*f->state));
        QCOMPARE(player.currentTime(), map.loopBounds(3).startSeconds);
        QVERIFY(PhraseNavigation::previous(*f->state));
        QCOMPARE(player.currentTime(), map.loopBounds(2).startSeconds);
        // Looped right where a step left the play head (its lead-in, in the
        // pause): the phrase just stepped to, not the one before; and heard,
        // though nothing played.
        QVERIFY(!player.isPlaying());
        QVERIFY(PhraseNavigation::loopHere(*f->state));
        QCOMPARE(player.loopStart(), std::optional<double>(map.loopBounds(2).startSeconds));
        QVERIFY(player.isPlaying());
        player.togglePlayPause();
        player.setLoop(std::nullopt, std::nullopt);
        QVERIFY(PhraseNavigation::next(*f->state));
        QVERIFY(PhraseNavigation::loopHere(*f->state));
        QCOMPARE(player.loopStart(), std::optional<double>(map.loopBounds(3).startSeconds));
        player.setLoop(std::nullopt, std::nullopt);

        // Looped from before the first phrase (a lesson's intro): heard
        // from the phrase's start, not after the rest of the intro.
        player.setCurrentTime(0);
        QVERIFY(map.loopBounds(0).startSeconds > 0.1);
        QVERIFY(PhraseNavigation::loopHere(*f->state));
        QCOMPARE(player.currentTime(), map.loopBounds(0).startSeconds);
        player.setLoop(std::nullopt, std::nullopt);

        // Loop this phrase, then move the loop along.
        player.setCurrentTime(m_lesson->sentences[2].endSeconds + 0.1);  // in the pause after phrase 3
        QVERIFY(PhraseNavigation::loopHere(*f->state));
        QCOMPARE(player.loopStart(), std::optional<double>(map.loopBounds(2).startSeconds));
        QCOMPARE(player.loopEnd(), std::optional<double>(map.loopBounds(2).endSeconds));
        QVERIFY(*player.loopStart() < m_lesson->sentences[2].startSeconds);
        QVERIFY(*player.loopEnd() > m_lesson->sentences[2].endSeconds);
        QVERIFY(*player.loopEnd() < m_lesson->sentences[3].startSeconds);
        QVERIFY(PhraseNavigation::next(*f->state));
        QCOMPARE(player.loopStart(), std::optional<double>(map.loopBounds(3).startSeconds));
        QVERIFY(PhraseNavigation::previous(*f->state));
        QVERIFY(PhraseNavigation::previous(*f->state));
        QCOMPARE(player.loopEnd(), std::optional<double>(map.loopBounds(1).endSeconds));

        // A loop over phrases 2 and 3: next is phrase 4, previous phrase 1.
        const auto loopOver = [&](int first, int last) {
            player.setLoop(map.loopBounds(first).startSeconds, map.loopBounds(last).endSeconds);
        };
        loopOver(1, 2);
        QVERIFY(PhraseNavigation::next(*f->state));
        QCOMPARE(player.loopStart(), std::optional<double>(map.loopBounds(3).startSeconds));
        loopOver(1, 2);
        QVERIFY(PhraseNavigation::previous(*f->state));
        QCOMPARE(player.loopStart(), std::optional<double>(map.loopBounds(0).startSeconds));
    }

    // A loop handle dragged in the window's strip snaps to where the loop
    // key would put that end, its trailing breath kept: not to the edge of
    // the sound found, which lies within the same reach.
    void aDraggedHandleSnapsWhereTheLoopKeyWouldPutIt()
    {
        const auto f = loaded(m_lesson->path);
        QVERIFY(f);
        const PhraseMap& map = *f->state->phraseMap();
        AudioPlayer& player = f->player();
        player.setLoop(map.loopBounds(0).startSeconds, map.loopBounds(0).endSeconds);
        PlayerCard card(*f->state);
        card.resize(600, 320);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        WaveformStrip& strip = *card.waveformStrip();
        strip.refresh();
        const double loopEnd = map.loopBounds(1).endSeconds;
        const double soundEnd = map.phrase(1).endSeconds;
        const qreal dropAt = strip.xOf(loopEnd) - 3;  // where the handle is let go
        QVERIFY(dropAt - strip.xOf(soundEnd) > 0 && dropAt - strip.xOf(soundEnd) <= WaveformStrip::snapReach);
        const qreal grip = 3;  // points right of the handle
        sendMouse(strip, QEvent::MouseButtonPress, {strip.xOf(*player.loopEnd()) + grip, 10});
        sendMouse(strip, QEvent::MouseMove, {dropAt + grip, 10});
        QTest::qWait(50);  // a drag's changes are taken a frame at a time
        sendMouse(strip, QEvent::MouseButtonRelease, {dropAt + grip, 10});
        QVERIFY2(std::abs(*player.loopEnd() - loopEnd) < 0.0011,
                 qPrintable(QStringLiteral("%1, not %2").arg(*player.loopEnd()).arg(loopEnd)));
    }

    // Three passes of each phrase with the loop's length of silence after
    // each, then on to the next phrase: a whole lesson without a key.
    void handsFreeDrillingGoesOnToTheNextPhrase()
    {
        const auto f = loaded(m_lesson->path);
        QVERIFY(f);
        const PhraseMap& map = *f->state->phraseMap();
        DrillOptions::setPasses(*f->state, 3);
        DrillOptions::setPause(*f->state, {PassPause::Kind::LoopLength, 0});
        DrillOptions::setThenNextPhrase(*f->state, true);
        // Looped from halfway through the phrase: play goes back to the
        // phrase's start, so that the first pass counted is heard whole.
        const auto& first = m_lesson->sentences[0];
        f->player().setCurrentTime((first.startSeconds + first.endSeconds) / 2);
        QVERIFY(PhraseNavigation::loopHere(*f->state));
        QCOMPARE(f->player().currentTime(), map.loopBounds(0).startSeconds);
        QVERIFY(f->player().isPlaying());
        f->log.clear();
        for (int phrase = 0; phrase < 2; ++phrase) {
            const PhraseLoop bounds = map.loopBounds(phrase);
            const double loopSeconds = bounds.endSeconds - bounds.startSeconds;
            // Three passes and their pauses, a little more: the loop has moved on.
            ManualOutput::pull(std::int64_t((3 * 2 * loopSeconds + 0.3) * rate));
            QTest::qWait(30);
            f->player().tick();
            QCOMPARE(f->player().loopStart(), std::optional<double>(map.loopBounds(phrase + 1).startSeconds));
            QCOMPARE(f->player().loopEnd(), std::optional<double>(map.loopBounds(phrase + 1).endSeconds));
        }
        QCOMPARE(f->log.lines().filter(QStringLiteral("Loop moved on to ")).size(), 2);
        QCOMPARE(f->log.lines().filter(QStringLiteral("Loop cleared")).size(), 0);
    }

    // The window held up (a slow disk opening a file) through the next
    // phrase's passes too: the audio, told of no phrase after that one, went
    // on past it. The drill goes on to the phrase after, not away.
    void aHeldUpWindowDoesNotEndTheDrill()
    {
        const auto f = loaded(m_lesson->path);
        QVERIFY(f);
        const PhraseMap& map = *f->state->phraseMap();
        QVERIFY(map.phraseCount() >= 4);
        DrillOptions::setPasses(*f->state, 1);
        DrillOptions::setPause(*f->state, {PassPause::Kind::Fixed, 1});
        DrillOptions::setThenNextPhrase(*f->state, true);
        f->player().setCurrentTime(map.loopBounds(0).startSeconds + 0.2);
        QVERIFY(PhraseNavigation::loopHere(*f->state));
        const auto seconds = [&](int phrase) { return map.loopBounds(phrase).endSeconds - map.loopBounds(phrase).startSeconds; };
        ManualOutput::pull(std::int64_t((seconds(0) + 1 + seconds(1) + 1 + 0.3) * rate));
        QTest::qWait(30);
        f->player().tick();
        QCOMPARE(f->player().loopStart(), std::optional<double>(map.loopBounds(2).startSeconds));
        QCOMPARE(f->player().loopEnd(), std::optional<double>(map.loopBounds(2).endSeconds));
        QVERIFY(f->state->isSettingLoop());
        QCOMPARE(f->log.lines().filter(QStringLiteral("Loop cleared")).size(), 0);
        // And on from there without a key, as ever.
        ManualOutput::pull(std::int64_t((seconds(2) + 1 + 0.2) * rate));
        QTest::qWait(30);
        f->player().tick();
        QCOMPARE(f->player().loopStart(), std::optional<double>(map.loopBounds(3).startSeconds));
        QCOMPARE(f->log.lines().filter(QStringLiteral("Loop moved on to ")).size(), 3);
    }

    // Held up over passes of two phrases, the window tells each jump back
    // with the start of the phrase it went back to, in the order heard.
    void aHeldUpWindowTellsEachPassWithItsPhrase()
    {
        const auto f = loaded(m_lesson->path);
        QVERIFY(f);
        const PhraseMap& map = *f->state->phraseMap();
        QVERIFY(map.phraseCount() >= 3);
        DrillOptions::setPasses(*f->state, 2);
        DrillOptions::setPause(*f->state, {PassPause::Kind::Fixed, 1});
        DrillOptions::setThenNextPhrase(*f->state, true);
        f->player().setCurrentTime(map.loopBounds(0).startSeconds + 0.2);
        QVERIFY(PhraseNavigation::loopHere(*f->state));
        f->log.clear();
        const auto seconds = [&](int phrase) { return map.loopBounds(phrase).endSeconds - map.loopBounds(phrase).startSeconds; };
        ManualOutput::pull(std::int64_t((2 * (seconds(0) + 1) + seconds(1) + 1 + 0.3) * rate));
        QTest::qWait(30);
        f->player().tick();
        const auto told = [](double seconds) { return Log::formatDouble(seconds); };
        QCOMPARE(f->log.lines(), (QStringList{
                                     QStringLiteral("Seek to: ") + told(map.loopBounds(0).startSeconds),
                                     QStringLiteral("Loop moved on to ") + told(map.loopBounds(1).startSeconds)
                                         + QStringLiteral(" to ") + told(map.loopBounds(1).endSeconds),
                                     QStringLiteral("Seek to: ") + told(map.loopBounds(1).startSeconds),
                                 }));
        QCOMPARE(f->player().loopPass(), 2);
    }

    // A loop over two phrases, drilled hands-free, moves on to the phrase
    // after both of them; one cut short inside a phrase, to the next.
    void handsFreeGoesOnToThePhraseAfterTheLoop_data()
    {
        QTest::addColumn<bool>("overTwo");
        QTest::newRow("over two phrases") << true;
        QTest::newRow("cut short") << false;
    }
    void handsFreeGoesOnToThePhraseAfterTheLoop()
    {
        QFETCH(bool, overTwo);
        const auto f = loaded(m_lesson->path);
        QVERIFY(f);
        const PhraseMap& map = *f->state->phraseMap();
        DrillOptions::setPasses(*f->state, 1);
        DrillOptions::setThenNextPhrase(*f->state, true);
        const double start = map.loopBounds(0).startSeconds;
        const double end = overTwo ? map.loopBounds(1).endSeconds : m_lesson->sentences[0].startSeconds + 0.3;
        const int next = overTwo ? 2 : 1;
        f->player().setLoop(start, end);
        f->player().seek(start);
        f->player().setCurrentTime(start);
        f->player().togglePlayPause();
        ManualOutput::pull(std::int64_t((end - start + 0.3) * rate));
        QTest::qWait(30);
        f->player().tick();
        QCOMPARE(f->player().loopStart(), std::optional<double>(map.loopBounds(next).startSeconds));
        QCOMPARE(f->player().loopEnd(), std::optional<double>(map.loopBounds(next).endSeconds));
    }

    // A silent track has no phrases, and the keys say so and do nothing.
    void silenceHasNoPhrases()
    {
        QString error;
        const QString silentPath = m_folder.filePath(QStringLiteral("silent.mp3"));
        QVERIFY(SpeechFixture::runTool(QStringLiteral("ffmpeg"),
                                       {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                                        QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                        QStringLiteral("anullsrc=duration=3"), silentPath},
                                       &error));
        const auto f = loaded(silentPath);
        QVERIFY(f);
        QCOMPARE(f->state->phraseMap()->phraseCount(), 0);
        QVERIFY(!PhraseNavigation::next(*f->state) && !PhraseNavigation::loopHere(*f->state));
        QCOMPARE(f->log.lines(), (QStringList{QStringLiteral("No phrases in this track"), QStringLiteral("No phrases in this track")}));
        QVERIFY(!f->player().loopStart());
    }
};

QTEST_MAIN(PhraseDrillTest)
#include "tst_phrase_drill.moc"
