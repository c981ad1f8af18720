// Ten thousand passes in a row of a 0.2 s loop, as a long drill of one phrase
// makes them, as fast as the machine goes: the output is pulled by hand, one
// pass at a time. Every pass is the loop's audio and nothing else, joined by
// the same short crossfade, every jump is told once, and memory does not grow.

#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "engine/Crossfade.h"
#include "KnownSignal.h"
#include "LoopListener.h"
#include "ManualOutput.h"
#include "TestSupport.h"

#include <QFile>
#include <QTest>

#include <unistd.h>

namespace {

constexpr int rate = 48000;

std::int64_t residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    const QList<QByteArray> fields = statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ') : QList<QByteArray>();
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

}  // namespace

class LoopFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AudioOutput::useManualOutputForTesting(rate); }

    void tenThousandPassesKeepTheirSamplesAndTheirMemory()
    {
        const QString track = QStringLiteral("chirp-cbr.mp3");
        const std::vector<float> straight = KnownSignal::straightDecode(fixturePath(track), rate);
        const LoopListener::Listener listener(straight);
        const std::int64_t start = 2 * rate;
        const std::int64_t end = start + rate / 5;
        const int fade = Crossfade::framesAt(rate);
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(track)});
        engine.playTrack(0);
        engine.seek(2.0);
        engine.setLoopStart(2.0);
        engine.setLoopEnd(2.2);
        Log::Capture log;

        // Each pull is one pass: the joint (standing for the last frames before
        // the end and the first after the start), then the loop's own audio.
        int passes = 0;
        auto pass = [&] {
            ++passes;
            const std::vector<float> heard = ManualOutput::pull(end - start - fade);
            const LoopListener::Report report = listener.listen(heard, start);
            engine.tick();
            const bool told = passes == 1 || log.lines() == QStringList{QStringLiteral("Seek to: 2.0")};
            log.clear();
            return told && report.lostTrack < 0 && report.junctions.size() == 1 && report.junctions[0].at == 0
                && report.junctions[0].length == fade && report.junctions[0].rejoinedAt == start + fade
                && report.framesFollowed == end - start - 2 * fade;
        };
        for (int i = 0; i < 500; ++i)  // warm-up: the first passes fill caches and pools that then stay
            QVERIFY2(pass(), qPrintable(QStringLiteral("pass %1").arg(passes)));
        const std::int64_t before = residentBytes();
        for (int i = 0; i < 10000; ++i)
            QVERIFY2(pass(), qPrintable(QStringLiteral("pass %1: %2").arg(passes).arg(log.lines().join(u'|'))));
        const std::int64_t after = residentBytes();
        QVERIFY(engine.isPlaying());
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("resident memory means little under a sanitizer (shadow memory, quarantine); LeakSanitizer checks leaks");
#endif
        QVERIFY(before > 0);
        QVERIFY2(after - before < 1024 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg((after - before) / 1024)));
    }
};

QTEST_MAIN(LoopFaultsTest)
#include "tst_faults_loop.moc"
