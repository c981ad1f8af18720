// Ten thousand wraps in a row of a 0.2 s loop, as a long drill of one phrase
// makes them, as fast as the machine goes: the output is pulled by hand, and
// each time playback is put just past the loop end before the tick that pulls
// it back. Every wrap lands on the loop start's exact sample, and memory does
// not grow.

#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "KnownSignal.h"
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

    void tenThousandWrapsKeepTheirSampleAndTheirMemory()
    {
        const QString track = QStringLiteral("chirp-cbr.mp3");
        const std::vector<float> straight = KnownSignal::straightDecode(fixturePath(track), rate);
        const auto loopStartSample = straight.begin() + 2 * rate * 2;  // 2.0 s in, interleaved stereo
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(track)});
        engine.playTrack(0);
        engine.setLoopStart(2.0);
        engine.setLoopEnd(2.2);
        Log::Capture log;

        int wraps = 0;
        auto wrap = [&](bool listen) {
            // Just past the end, by up to the few milliseconds a tick comes late.
            engine.player()->setCurrentTime(2.2 + (wraps++ % 7) * 0.0013);
            engine.tick();
            if (log.lines() != QStringList{QStringLiteral("Seek to: 2.0")} || engine.player()->currentTime() != 2.0)
                return false;
            log.clear();
            const std::vector<float> heard = ManualOutput::pull(listen ? 1024 : 64);
            return listen ? heard.size() == 2048 && std::equal(heard.begin(), heard.end(), loopStartSample)
                          : heard.size() == 128;
        };
        for (int i = 0; i < 500; ++i)  // warm-up: the first wraps fill caches and pools that then stay
            QVERIFY2(wrap(i % 50 == 0), qPrintable(QStringLiteral("wrap %1").arg(wraps)));
        const std::int64_t before = residentBytes();
        for (int i = 0; i < 10000; ++i)
            QVERIFY2(wrap(i % 100 == 0), qPrintable(QStringLiteral("wrap %1: %2").arg(wraps).arg(log.lines().join(u'|'))));
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
