// Ten thousand wraps in a row of a 0.2 s loop, as a long drill of one phrase
// makes them, driven as fast as the machine goes: the output is pulled by
// hand, and each time playback is put just past the loop end before the tick
// that pulls it back. The bounds never drift, every wrap lands on the loop
// start's exact sample, and memory does not grow.
#include "KnownSignal.h"
#include "ManualOutput.h"
#include "TestSupport.h"

#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "engine/Log.h"

#include <QFile>
#include <QTest>

#include <cmath>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RIVETONE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define RIVETONE_SANITIZED 1
#endif
#endif

namespace {

constexpr int rate = 48000;

// Resident memory of this process, from /proc/self/statm.
std::int64_t residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

}  // namespace

class LoopFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AudioOutput::useManualOutputForTesting(rate); }

    void tenThousandWrapsKeepTheirBoundsTheirSampleAndTheirMemory()
    {
        const QString track = QStringLiteral("chirp-cbr.mp3");
        const std::vector<float> straight = KnownSignal::straightDecode(fixturePath(track), rate);
        QVERIFY(!straight.empty());
        const double loopStart = 2.0;
        const double loopEnd = 2.2;
        const std::size_t startSample = std::size_t(std::llround(loopStart * rate)) * 2;

        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(track)});
        engine.playTrack(0);
        QVERIFY(engine.isPlaying());
        engine.setLoopStart(loopStart);
        engine.setLoopEnd(loopEnd);
        Log::Capture log;

        int wraps = 0;
        auto wrap = [&](bool listen) {
            // Just past the end, by up to the few milliseconds a tick comes late.
            engine.player()->setCurrentTime(loopEnd + (wraps % 7) * 0.0013);
            engine.tick();
            ++wraps;
            if (log.lines() != QStringList{QStringLiteral("Seek to: 2.0")} || engine.player()->currentTime() != loopStart)
                return false;
            log.clear();
            const std::vector<float> heard = ManualOutput::pull(listen ? 1024 : 64);
            if (!listen)
                return heard.size() == 128;
            return heard.size() == 2048 && std::equal(heard.begin(), heard.end(), straight.begin() + std::ptrdiff_t(startSample));
        };

        // Warm up: the first wraps fill caches and pools that then stay.
        for (int i = 0; i < 500; ++i)
            QVERIFY2(wrap(i % 50 == 0), qPrintable(QStringLiteral("wrap %1").arg(wraps)));
        const std::int64_t before = residentBytes();

        for (int i = 0; i < 10000; ++i)
            QVERIFY2(wrap(i % 100 == 0), qPrintable(QStringLiteral("wrap %1: %2").arg(wraps).arg(log.lines().join(u'|'))));

        const std::int64_t after = residentBytes();
        QCOMPARE(wraps, 10500);
        QCOMPARE(*engine.loopStart(), loopStart);
        QCOMPARE(*engine.loopEnd(), loopEnd);
        QVERIFY(engine.isPlaying());
        engine.tick();
        QVERIFY(engine.currentTime() >= loopStart && engine.currentTime() < loopEnd);
#ifdef RIVETONE_SANITIZED
        Q_UNUSED(before);
        Q_UNUSED(after);
        QSKIP("resident memory means little under a sanitizer (shadow memory, quarantine); LeakSanitizer checks leaks");
#else
        qInfo("resident memory: %lld KiB before, %lld KiB after", qlonglong(before / 1024), qlonglong(after / 1024));
        QVERIFY(before > 0);
        QVERIFY2(after - before < 1024 * 1024,
                 qPrintable(QStringLiteral("grew by %1 KiB over 10000 wraps").arg((after - before) / 1024)));
#endif
    }
};

QTEST_MAIN(LoopFaultsTest)
#include "tst_faults_loop.moc"
