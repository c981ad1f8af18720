// The phrase map: phrases found in spoken recordings made at test time
// (espeak-ng) and in made-up levels, loops that hold their phrase alone, the
// helpers a player steps through phrases with, and the levels themselves.

#include "engine/HopLevelMeter.h"
#include "engine/LoudnessScan.h"
#include "engine/PhraseFinder.h"
#include "engine/PhraseMap.h"
#include "SpeechFixture.h"
#include "TestSupport.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <map>

Q_DECLARE_METATYPE(std::vector<Phrase>)
Q_DECLARE_METATYPE(std::vector<float>)

namespace {

// What a boundary found may be off by.
constexpr double boundaryToleranceSeconds = 0.05;

std::optional<PhraseMap> mapOf(const QString& path)
{
    QString error;
    auto envelope = LoudnessScan::run(path, [](double) { return true; }, &error);
    if (!envelope) {
        qWarning("%s", qPrintable(error));
        return std::nullopt;
    }
    std::vector<Phrase> phrases = PhraseFinder().find(envelope->levelsDecibels, envelope->durationSeconds);
    return PhraseMap(std::move(envelope->levelsDecibels), envelope->durationSeconds, std::move(phrases));
}

QString describe(const std::vector<Phrase>& phrases)
{
    QStringList parts;
    for (const Phrase& phrase : phrases)
        parts << QStringLiteral("%1-%2").arg(phrase.startSeconds, 0, 'f', 3).arg(phrase.endSeconds, 0, 'f', 3);
    return parts.join(QLatin1Char(' '));
}

bool sameWithin(const std::vector<Phrase>& found, const std::vector<Phrase>& expected, double tolerance)
{
    if (found.size() != expected.size())
        return false;
    for (std::size_t i = 0; i < found.size(); ++i)
        if (std::fabs(found[i].startSeconds - expected[i].startSeconds) > tolerance
            || std::fabs(found[i].endSeconds - expected[i].endSeconds) > tolerance)
            return false;
    return true;
}

// Levels laid out stretch by stretch, a hop per 10 ms.
class Levels {
public:
    Levels& then(double seconds, float decibels)
    {
        m_levels.insert(m_levels.end(), std::size_t(std::lround(seconds / PhraseMap::hopSeconds)), decibels);
        return *this;
    }
    std::vector<float> levels() const { return m_levels; }
    double seconds() const { return double(m_levels.size()) * PhraseMap::hopSeconds; }

private:
    std::vector<float> m_levels;
};

}  // namespace

class PhraseMapTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::map<QString, SpeechFixture::Recording> m_recordings;
    QString m_skipReason;  // why there are none

    void recordingRows()
    {
        QTest::addColumn<QString>("name");
        for (const QString& name : {QStringLiteral("mp3, clean"), QStringLiteral("mp3, noise at -45 dB"),
                                    QStringLiteral("m4a, clean"), QStringLiteral("m4a, noise at -45 dB")})
            QTest::newRow(qPrintable(name)) << name;
    }

private slots:
    void initTestCase()
    {
        const QString missing = SpeechFixture::missingTool();
        if (!missing.isEmpty()) {
            m_skipReason = QStringLiteral("%1 is not installed: no spoken recordings to map").arg(missing);
            return;
        }
        for (const QString& format : {QStringLiteral("mp3"), QStringLiteral("m4a")})
            for (const bool noisy : {false, true}) {
                SpeechFixture::Recipe recipe = SpeechFixture::lesson();
                recipe.format = format;
                if (noisy)
                    recipe.noiseDecibels = -45;
                const QString name = QStringLiteral("%1, %2").arg(format, noisy ? "noise at -45 dB" : "clean");
                QString error;
                const auto recording = SpeechFixture::make(m_dir.path(), QString(name).remove(QLatin1Char(',')), recipe, &error);
                QVERIFY2(recording, qPrintable(error));
                m_recordings[name] = *recording;
            }
    }

    // Every sentence is found and nothing inside one; every loop holds all of
    // its sentence's sound and none of a neighbour's, and the loop asked for
    // at any time in a sentence or the pause after it is that sentence's.
    void loopsHoldTheirSentenceAlone_data() { recordingRows(); }
    void loopsHoldTheirSentenceAlone()
    {
        if (!m_skipReason.isEmpty())
            QSKIP(qPrintable(m_skipReason));
        QFETCH(QString, name);
        const SpeechFixture::Recording& recording = m_recordings.at(name);
        const auto map = mapOf(recording.path);
        QVERIFY(map);
        const auto& spoken = recording.sentences;
        std::vector<Phrase> truth;
        for (const auto& sentence : spoken)
            truth.push_back({sentence.startSeconds, sentence.endSeconds});
        QVERIFY2(sameWithin(map->phrases(), truth, boundaryToleranceSeconds),
                 qPrintable(QStringLiteral("found %1\nspoken %2").arg(describe(map->phrases()), describe(truth))));
        for (int i = 0; i < map->phraseCount(); ++i) {
            const PhraseLoop loop = map->loopBounds(i);
            const auto& sentence = spoken[std::size_t(i)];
            const QString where = QStringLiteral("sentence %1 (%2-%3), loop %4-%5")
                                      .arg(i)
                                      .arg(sentence.startSeconds)
                                      .arg(sentence.endSeconds)
                                      .arg(loop.startSeconds)
                                      .arg(loop.endSeconds);
            QVERIFY2(loop.startSeconds <= sentence.startSeconds && loop.endSeconds >= sentence.endSeconds, qPrintable(where));
            QVERIFY2(loop.startSeconds >= (i > 0 ? spoken[std::size_t(i) - 1].endSeconds : 0.0), qPrintable(where));
            QVERIFY2(loop.endSeconds <= (std::size_t(i) + 1 < spoken.size() ? spoken[std::size_t(i) + 1].startSeconds
                                                                             : recording.durationSeconds),
                     qPrintable(where));
            // In the pause, short of the next phrase's lead-in.
            const double pauseAfterEnd = std::size_t(i) + 1 < spoken.size() ? loop.endSeconds - 0.01 : recording.durationSeconds;
            for (double at : {sentence.startSeconds, (sentence.startSeconds + sentence.endSeconds) / 2, pauseAfterEnd})
                QCOMPARE(map->loopAround(at), std::optional<PhraseLoop>(loop));
        }
    }

    // Without pauses of its own a track is one phrase covering its sound;
    // without sound it has none.
    void tracksWithoutPauses_data()
    {
        QTest::addColumn<QString>("source");  // a fixture, or an ffmpeg lavfi source
        QTest::addColumn<int>("phrases");
        QTest::newRow("steady tone, MP3") << QStringLiteral("sine-5s.mp3") << 1;
        QTest::newRow("steady tone, m4a") << QStringLiteral("sine-5s.m4a") << 1;
        QTest::newRow("tone swelling by 12 dB") << QStringLiteral("aevalsrc=0.5*(0.625+0.375*sin(2*PI*0.5*t))*sin(2*PI*330*t):d=6") << 1;
        QTest::newRow("digital silence") << QStringLiteral("anullsrc=r=44100:cl=stereo:d=4") << 0;
        QTest::newRow("hiss at -75 dB") << QStringLiteral("anoisesrc=a=0.0003:c=white:d=4") << 0;
    }
    void tracksWithoutPauses()
    {
        QFETCH(QString, source);
        QFETCH(int, phrases);
        QString path = fixturePath(source);
        if (source.contains(QLatin1Char('='))) {
            if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
                QSKIP("ffmpeg is not installed: no track to make");
            path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".mp3"));
            QString error;
            QVERIFY2(SpeechFixture::runTool(QStringLiteral("ffmpeg"),
                                            {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                                             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source,
                                             QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), path},
                                            &error),
                     qPrintable(error));
        }
        const auto map = mapOf(path);
        QVERIFY(map);
        QCOMPARE(map->phraseCount(), phrases);
        if (phrases == 1)
            QVERIFY2(sameWithin(map->phrases(), {{0, map->durationSeconds()}}, boundaryToleranceSeconds),
                     qPrintable(describe(map->phrases())));
    }

    void findsPhrasesInLevels_data()
    {
        QTest::addColumn<std::vector<float>>("levels");
        QTest::addColumn<std::vector<Phrase>>("expected");
        const auto lesson = [](float pause, float speech) {
            return Levels().then(0.5, pause).then(1.5, speech).then(0.6, pause).then(2.0, speech).then(0.5, pause).levels();
        };
        const std::vector<Phrase> lessonPhrases{{0.5, 2.0}, {2.6, 4.6}};
        QTest::newRow("loud and clean") << lesson(-120, -12) << lessonPhrases;
        QTest::newRow("quiet with hiss") << lesson(-70, -40) << lessonPhrases;
        QTest::newRow("loud with hiss") << lesson(-45, -10) << lessonPhrases;
        // Room tone, and digital silence an editor put around it: the floor
        // is the room's, not the silence's.
        const auto padded = [](double before, double after) {
            return Levels().then(before, -120).then(0.5, -62).then(1.5, -20).then(0.6, -62).then(2.0, -20).then(0.5, -62)
                .then(after, -120).levels();
        };
        QTest::newRow("room tone, silence before") << padded(1.0, 0) << std::vector<Phrase>{{1.5, 3.0}, {3.6, 5.6}};
        QTest::newRow("room tone, silence after") << padded(0, 1.0) << std::vector<Phrase>{{0.5, 2.0}, {2.6, 4.6}};
        QTest::newRow("gap of 190 ms inside a phrase")
            << Levels().then(0.5, -120).then(1, -12).then(0.19, -120).then(1, -12).then(0.5, -120).levels()
            << std::vector<Phrase>{{0.5, 2.69}};
        QTest::newRow("pause of 200 ms")
            << Levels().then(0.5, -120).then(1, -12).then(0.2, -120).then(1, -12).then(0.5, -120).levels()
            << std::vector<Phrase>{{0.5, 1.5}, {1.7, 2.7}};
        QTest::newRow("short phrase joins the nearer neighbour")
            << Levels().then(0.5, -120).then(1, -12).then(0.3, -120).then(0.1, -12).then(0.6, -120).then(1, -12).then(0.5, -120).levels()
            << std::vector<Phrase>{{0.5, 1.9}, {2.5, 3.5}};
        // Evenly spaced syllables too short alone pair up, each with the
        // shorter of two neighbours as near: not all into one phrase.
        Levels syllables;
        syllables.then(0.5, -120);
        for (int i = 0; i < 6; ++i)
            syllables.then(0.1, -12).then(i < 5 ? 0.25 : 0.5, -120);
        QTest::newRow("short sounds evenly spaced")
            << syllables.levels() << std::vector<Phrase>{{0.5, 0.95}, {1.2, 1.65}, {1.9, 2.35}};
        QTest::newRow("click in a pause")
            << Levels().then(0.5, -120).then(1, -12).then(0.4, -120).then(0.03, -12).then(0.4, -120).then(1, -12).then(0.5, -120).levels()
            << std::vector<Phrase>{{0.5, 1.5}, {2.33, 3.33}};
        QTest::newRow("soft onset and fading end")
            << Levels().then(0.5, -120).then(0.05, -75).then(1, -12).then(0.03, -75).then(0.5, -120).then(1, -12).then(0.5, -120).levels()
            << std::vector<Phrase>{{0.5, 1.58}, {2.08, 3.08}};
        QTest::newRow("long murmur before a phrase")
            << Levels().then(0.5, -120).then(1, -12).then(0.5, -120).then(0.4, -75).then(1, -12).then(0.5, -120).levels()
            << std::vector<Phrase>{{0.5, 1.5}, {2.32, 3.4}};
        QTest::newRow("sound alone, short") << Levels().then(1, -120).then(0.1, -12).then(1, -120).levels()
                                            << std::vector<Phrase>{{1, 1.1}};
        QTest::newRow("nothing") << std::vector<float>{} << std::vector<Phrase>{};
    }
    void findsPhrasesInLevels()
    {
        QFETCH(std::vector<float>, levels);
        QFETCH(std::vector<Phrase>, expected);
        const auto found = PhraseFinder().find(levels, double(levels.size()) * PhraseMap::hopSeconds);
        QVERIFY2(sameWithin(found, expected, 0.001),
                 qPrintable(QStringLiteral("found %1, expected %2").arg(describe(found), describe(expected))));
    }

    // Phrases 1-2 s, 3-4 s, 4.5-6 s in a track of 6.05 s.
    void stepsThroughPhrases_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("atOrAfter");  // -1: none
        QTest::addColumn<int>("next");
        QTest::addColumn<int>("previous");
        QTest::addColumn<int>("under");
        QTest::newRow("before the first") << 0.5 << 0 << 0 << -1 << 0;
        QTest::newRow("a hair before a start") << 2.98 << 1 << 2 << 0 << 1;
        QTest::newRow("at a start") << 3.0 << 1 << 2 << 0 << 1;
        QTest::newRow("a hair after a start") << 3.02 << 1 << 2 << 0 << 1;
        QTest::newRow("inside") << 3.5 << 1 << 2 << 0 << 1;
        QTest::newRow("in a pause") << 4.2 << 2 << 2 << 1 << 1;
        QTest::newRow("inside the last") << 5.0 << 2 << -1 << 1 << 2;
        QTest::newRow("after the last") << 6.02 << -1 << -1 << 2 << 2;
    }
    void stepsThroughPhrases()
    {
        QFETCH(double, seconds);
        QFETCH(int, atOrAfter);
        QFETCH(int, next);
        QFETCH(int, previous);
        QFETCH(int, under);
        const PhraseMap map({}, 6.05, {{1, 2}, {3, 4}, {4.5, 6}});
        QCOMPARE(map.phraseAtOrAfter(seconds).value_or(-1), atOrAfter);
        QCOMPARE(map.nextPhrase(seconds).value_or(-1), next);
        QCOMPARE(map.previousPhrase(seconds).value_or(-1), previous);
        QCOMPARE(map.phraseUnder(seconds).value_or(-1), under);
    }

    // Loops of phrases 1-2 s, 3-4 s and 4.5-6 s; their phrase loops are
    // 0.87-2.13, 2.87-4.13 and 4.37-6.05 s.
    void thePhrasesAroundALoop_data()
    {
        QTest::addColumn<bool>("after");  // else before
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<int>("phrase");  // -1: none
        QTest::newRow("after a phrase's loop") << true << 0.87 << 2.13 << 1;
        QTest::newRow("after two phrases") << true << 0.87 << 4.13 << 2;
        QTest::newRow("after one cut short inside its phrase") << true << 2.87 << 3.4 << 2;
        QTest::newRow("after reaching a little into the next") << true << 0.87 << 3.1 << 1;
        QTest::newRow("after reaching most of the next") << true << 0.87 << 3.8 << 2;
        QTest::newRow("after one ending in the last") << true << 4.37 << 5.0 << -1;
        QTest::newRow("after one ending past the last") << true << 4.37 << 6.05 << -1;
        QTest::newRow("before a phrase's loop") << false << 2.87 << 4.13 << 0;
        QTest::newRow("before one from the first phrase") << false << 0.87 << 4.13 << -1;
        QTest::newRow("before most of a phrase") << false << 3.25 << 4.25 << 0;
        QTest::newRow("before a piece inside a phrase") << false << 3.6 << 3.9 << 1;
        QTest::newRow("before a phrase's last words") << false << 5.6 << 6.05 << 2;
        QTest::newRow("before one from a phrase's last hair") << false << 1.97 << 4.13 << 0;
    }
    void thePhrasesAroundALoop()
    {
        QFETCH(bool, after);
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(int, phrase);
        const PhraseMap map({}, 6.05, {{1, 2}, {3, 4}, {4.5, 6}});
        QCOMPARE((after ? map.phraseAfterLoop(start, end) : map.phraseBeforeLoop(start, end)).value_or(-1), phrase);
    }

    void loopBoundsReachIntoPauses_data()
    {
        QTest::addColumn<int>("phrase");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        // Phrases 0.05-1 s, 1.8-2.5 s, 2.7-4 s in a track of 4.1 s; a loop reaches
        // 0.13 s into a long pause, half of a short one.
        QTest::newRow("near the track's start, long pause after") << 0 << 0.0 << 1.13;
        QTest::newRow("long pause before, short after") << 1 << 1.67 << 2.6;
        QTest::newRow("short pause before, near the track's end") << 2 << 2.6 << 4.1;
    }
    void loopBoundsReachIntoPauses()
    {
        QFETCH(int, phrase);
        QFETCH(double, start);
        QFETCH(double, end);
        const PhraseMap map({}, 4.1, {{0.05, 1}, {1.8, 2.5}, {2.7, 4}});
        const PhraseLoop loop = map.loopBounds(phrase);
        QVERIFY2(std::fabs(loop.startSeconds - start) < 1e-9 && std::fabs(loop.endSeconds - end) < 1e-9,
                 qPrintable(QStringLiteral("%1-%2").arg(loop.startSeconds).arg(loop.endSeconds)));
        QCOMPARE(PhraseMap().loopAround(1.0), std::nullopt);
    }

    // Levels of known signals, fed in uneven pieces.
    void measuresHopLevels_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<double>("decibels");  // of every whole hop
        QTest::newRow("full-scale square, stereo") << 44100 << 2 << QStringLiteral("square") << 0.0;
        QTest::newRow("sine at half scale, mono, 22050 Hz") << 22050 << 1 << QStringLiteral("sine") << -9.03;
        QTest::newRow("sine at half scale in one of two channels") << 48000 << 2 << QStringLiteral("left sine") << -15.05;
        QTest::newRow("zeros") << 44100 << 2 << QStringLiteral("zeros") << double(PhraseMap::silenceDecibels);
    }
    void measuresHopLevels()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QString, signal);
        QFETCH(double, decibels);
        // 2.005 s: 200 whole hops and half of one more.
        const int frames = rate * 2 + rate / 200;
        std::vector<float> samples(std::size_t(frames) * channels);
        for (int frame = 0; frame < frames; ++frame) {
            const double sine = 0.5 * std::sin(2 * M_PI * 1000.0 * frame / rate);
            for (int channel = 0; channel < channels; ++channel) {
                float& sample = samples[std::size_t(frame) * channels + channel];
                if (signal == QLatin1String("square"))
                    sample = (frame / 20) % 2 ? 1.0f : -1.0f;
                else if (signal == QLatin1String("sine") || (signal == QLatin1String("left sine") && channel == 0))
                    sample = float(sine);
            }
        }
        HopLevelMeter meter(rate);
        for (int at = 0, piece = 1; at < frames; at += piece, piece = piece * 3 % 1000 + 1)
            meter.add(samples.data() + std::size_t(at) * channels, std::min(piece, frames - at), channels);
        const std::vector<float> levels = meter.takeLevels();
        QCOMPARE(levels.size(), std::size_t(201));
        for (std::size_t hop = 0; hop < 200; ++hop)
            QVERIFY2(std::fabs(levels[hop] - decibels) < 0.05, qPrintable(QStringLiteral("hop %1: %2 dB").arg(hop).arg(levels[hop])));
    }
};

QTEST_GUILESS_MAIN(PhraseMapTest)
#include "tst_phrase_map.moc"
