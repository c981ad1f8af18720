#include "ui/kit/FramePacer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int motionFrameMilliseconds = 34;  // 30 frames a second, rounded up

// A pacer asked for work every few milliseconds, as a playing engine asks,
// and when its work ran.
struct PacedWork {
    QWidget widget;
    QElapsedTimer clock;
    std::vector<qint64> runsAtMilliseconds;
    FramePacer pacer{&widget, [this] { runsAtMilliseconds.push_back(clock.elapsed()); }};
    QTimer asker;

    PacedWork()
    {
        clock.start();
        asker.setInterval(3);
        QObject::connect(&asker, &QTimer::timeout, [this] { pacer.request(); });
    }

    qint64 shortestGapMilliseconds(std::size_t from = 0) const
    {
        qint64 shortest = INT64_MAX;
        for (std::size_t i = std::max<std::size_t>(from, 1); i < runsAtMilliseconds.size(); ++i)
            shortest = std::min(shortest, runsAtMilliseconds[i] - runsAtMilliseconds[i - 1]);
        return shortest;
    }
};

}  // namespace

class FramePacerTest : public QObject {
    Q_OBJECT

private slots:
    // Load only ever stretches the gaps, so the shortest gap is what the pacer
    // allows; how many frames ran is left alone.
    void playbackAloneIsShownAtUpToThirtyFrames()
    {
        PacedWork work;
        work.widget.show();
        QCOMPARE(work.pacer.frameIntervalMilliseconds(), std::max(motionFrameMilliseconds, work.pacer.screenFrameMilliseconds()));
        work.asker.start();
        QTest::qWait(700);
        QVERIFY2(work.runsAtMilliseconds.size() >= 5, qPrintable(QString::number(work.runsAtMilliseconds.size())));
        QVERIFY2(work.shortestGapMilliseconds() >= motionFrameMilliseconds - 1,
                 qPrintable(QString::number(work.shortestGapMilliseconds())));
    }

    void whatTheHandDoesIsShownAtTheScreensRateForHalfASecond()
    {
        PacedWork work;
        work.widget.show();
        const int screenFrame = work.pacer.screenFrameMilliseconds();
        QVERIFY(screenFrame < motionFrameMilliseconds);
        work.asker.start();
        QTest::qWait(100);

        // Hovering is not handling: the pace stays.
        QTest::mouseMove(&work.widget, QPoint(5, 5));
        QCOMPARE(work.pacer.frameIntervalMilliseconds(), motionFrameMilliseconds);

        // Keys pressed and a drag under way, through the application's events.
        const std::size_t handled = work.runsAtMilliseconds.size();
        for (int i = 0; i < 8; ++i) {
            if (i % 2 == 0)
                QTest::keyClick(&work.widget, Qt::Key_Right);
            else
                QTest::mousePress(&work.widget, Qt::LeftButton, {}, QPoint(10, 10));
            QCOMPARE(work.pacer.frameIntervalMilliseconds(), screenFrame);
            QTest::qWait(60);
            if (i % 2 == 1)
                QTest::mouseRelease(&work.widget, Qt::LeftButton, {}, QPoint(10, 10));
        }
        QVERIFY2(work.shortestGapMilliseconds(handled + 1) < motionFrameMilliseconds - 4,
                 qPrintable(QString::number(work.shortestGapMilliseconds(handled + 1))));
        QVERIFY(work.shortestGapMilliseconds(handled + 1) >= screenFrame - 1);

        QTest::qWait(FramePacer::handHeldMilliseconds + 50);
        QCOMPARE(work.pacer.frameIntervalMilliseconds(), motionFrameMilliseconds);
    }

    // A frame waiting at the slower pace is brought forward by a key.
    void aKeyBringsAWaitingFrameForward()
    {
        PacedWork work;
        work.widget.show();
        work.pacer.request();
        QTRY_COMPARE(work.runsAtMilliseconds.size(), std::size_t(1));
        work.pacer.request();  // waits for the next motion frame
        QTest::keyClick(&work.widget, Qt::Key_Space);
        QTRY_COMPARE(work.runsAtMilliseconds.size(), std::size_t(2));
        const qint64 gap = work.runsAtMilliseconds[1] - work.runsAtMilliseconds[0];
        QVERIFY2(gap < motionFrameMilliseconds, qPrintable(QString::number(gap)));
    }
};

QTEST_MAIN(FramePacerTest)
#include "tst_framepacer.moc"
