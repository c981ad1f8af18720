// The heard clock goes from the audio thread to the main thread through a
// seqlock: a reader never sees half of one write and half of another, and
// never goes back to an older write. Run under ThreadSanitizer by scripts/test.
#include "engine/HeardClock.h"

#include <QTest>

#include <atomic>
#include <thread>

namespace {

// Eight words that one write always sets to the same number.
struct Stamp {
    std::uint64_t words[8] = {};
};

}  // namespace

class SeqlockTest : public QObject {
    Q_OBJECT

private slots:
    void readsAreWholeAndInOrderWhileAWriterRuns()
    {
        SeqlockValue<Stamp> shared;
        constexpr std::uint64_t writes = 200000;
        std::atomic<bool> done{false};
        std::thread writer([&] {
            Stamp stamp;
            for (std::uint64_t n = 1; n <= writes; ++n) {
                std::fill(std::begin(stamp.words), std::end(stamp.words), n);
                shared.store(stamp);
            }
            done = true;
        });

        std::uint64_t last = 0;
        std::uint64_t reads = 0;
        bool whole = true;
        bool inOrder = true;
        while (!done.load() || reads == 0) {
            const Stamp seen = shared.load();
            whole = whole && std::all_of(std::begin(seen.words), std::end(seen.words),
                                         [&](std::uint64_t word) { return word == seen.words[0]; });
            inOrder = inOrder && seen.words[0] >= last;
            last = seen.words[0];
            ++reads;
        }
        writer.join();
        QVERIFY(whole);
        QVERIFY(inOrder);
        QCOMPARE(shared.load().words[7], writes);
        QVERIFY(reads > 0);
    }
};

QTEST_GUILESS_MAIN(SeqlockTest)
#include "tst_fileplayer_seqlock.moc"
