// A worker that reads files may hang in a read; its owner waits a moment and
// then lets it go. What counts as "ended" must mean all it held is gone:
// the program's end waits on that before its statics are destroyed.

#include "base/LeavableThread.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Something whose release takes a while, and says when it is done.
std::shared_ptr<int> slowToRelease(const std::shared_ptr<std::atomic<bool>>& gone)
{
    return std::shared_ptr<int>(new int(0), [gone](int* value) {
        std::this_thread::sleep_for(100ms);
        delete value;
        *gone = true;
    });
}

}  // namespace

class LeavableThreadTest : public QObject {
    Q_OBJECT

private slots:
    void aWorkerLetGoEndsWithAllItHeldGone()
    {
        auto release = std::make_shared<std::atomic<bool>>(false);
        auto capturedGone = std::make_shared<std::atomic<bool>>(false);
        auto handedGone = std::make_shared<std::atomic<bool>>(false);
        {
            LeavableThread worker("a test's worker", "rivetone test",
                                  [release, held = slowToRelease(capturedGone)] {
                                      while (!*release)  // a read that hangs
                                          std::this_thread::sleep_for(1ms);
                                  });
            QVERIFY(!worker.endedWithin(20ms));
            worker.letGo(slowToRelease(handedGone));
            QVERIFY(!worker.running());
        }  // its owner is gone
        QCOMPARE(LeavableThread::stillRunningLetGo(), 1);
        QVERIFY(!LeavableThread::letGoEndedWithin(50ms));
        *release = true;
        QVERIFY(LeavableThread::letGoEndedWithin(5s));
        QVERIFY(*capturedGone);
        QVERIFY(*handedGone);
        QCOMPARE(LeavableThread::stillRunningLetGo(), 0);
    }
};

QTEST_MAIN(LeavableThreadTest)
#include "tst_leavable_thread.moc"
