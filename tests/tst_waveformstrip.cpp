// The strip of a track's loudness: which stretch of the track it shows as the
// play head moves, what a click and a drag report, and what it repaints.

#include "ui/kit/Shapes.h"
#include "ui/kit/WaveformStrip.h"
#include "WidgetTesting.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTest>

#include <cmath>

namespace {

// A minute of loud phrases (2 s each) and quiet pauses (1 s each).
std::shared_ptr<WaveformStrip::Envelope> lesson()
{
    auto envelope = std::make_shared<WaveformStrip::Envelope>();
    envelope->durationSeconds = 60;
    for (int hop = 0; hop < 6000; ++hop)
        envelope->levelsDecibels.push_back(hop % 300 < 200 ? -12.0f : -70.0f);
    for (int phrase = 0; phrase < 20; ++phrase) {
        envelope->phrases.emplace_back(phrase * 3.0, phrase * 3.0 + 2.0);
        envelope->phraseLoops.emplace_back(phrase * 3.0 - 0.1, phrase * 3.0 + 2.1);
    }
    return envelope;
}

struct StripUnderTest {
    std::shared_ptr<const WaveformStrip::Envelope> envelope = lesson();
    double playHead = 0;
    std::optional<WaveformStrip::Span> loop;
    std::vector<double> seeks, starts, ends;
    WaveformStrip strip;

    StripUnderTest()
    {
        strip.setEnvelope([this] { return envelope; });
        strip.setPlayHead([this] { return playHead; });
        strip.setLoop([this] { return loop; });
        strip.setOnSeek([this](double s) { seeks.push_back(s); });
        strip.setOnMoveLoopStart([this](double s) { starts.push_back(s); });
        strip.setOnMoveLoopEnd([this](double s) { ends.push_back(s); });
        strip.resize(500, WaveformStrip::preferredHeight);  // 50 points a second
    }
};

}  // namespace

class WaveformStripTest : public QObject {
    Q_OBJECT

private slots:
    // The window turns a page only near its edge; in between, only the play
    // head's thin line is repainted.
    void theWindowTurnsPagesAndOnlyThePlayHeadMovesBetween()
    {
        StripUnderTest t;
        t.strip.show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.strip));
        QCoreApplication::processEvents();  // the first picture is whole
        int widestPaint = 0;
        int paints = 0;
        const EventTap tap(t.strip, QEvent::Paint, [&](QObject*, QEvent* event) {
            widestPaint = std::max(widestPaint, static_cast<QPaintEvent*>(event)->region().boundingRect().width());
            ++paints;
        });
        QCOMPARE(t.strip.window(), (WaveformStrip::Span{0, 10}));
        for (double s = 0.1; s < 9.4; s += 0.1) {
            t.playHead = s;
            t.strip.refresh();
            QCoreApplication::processEvents();
        }
        QCOMPARE(t.strip.window(), (WaveformStrip::Span{0, 10}));
        QVERIFY(paints >= 40);
        QVERIFY2(widestPaint <= 9, qPrintable(QString::number(widestPaint)));  // the line's old and new place, not the strip
        t.playHead = 9.6;  // near the edge: a new page, the play head a fifth in
        t.strip.refresh();
        QCOMPARE(t.strip.window().first, 9.6 - 2.0);
        // A loop that fits is kept in view while the play head is on its
        // page; playing up to it from further off, the page shows the play head.
        t.loop = WaveformStrip::Span{30.0, 32.0};
        t.playHead = 31;
        t.strip.refresh();
        QCOMPARE(t.strip.window(), (WaveformStrip::Span{26, 36}));
        t.playHead = 35.9;
        t.strip.refresh();
        QCOMPARE(t.strip.window(), (WaveformStrip::Span{26, 36}));
        t.playHead = 2.5;
        t.strip.refresh();
        QVERIFY(t.strip.window().first <= 2.5 && t.strip.window().second >= 2.5);
        t.playHead = 26.5;  // the loop's page reached
        t.strip.refresh();
        QCOMPARE(t.strip.window(), (WaveformStrip::Span{26, 36}));
        // Played into a page that shows the loop too, then sent back (a
        // seek) onto the loop's own page but off the one shown.
        t.loop.reset();
        t.playHead = 31.5;
        t.strip.refresh();
        t.playHead = 35.7;
        t.strip.refresh();
        QCOMPARE(t.strip.window().first, 35.7 - 2.0);
        t.loop = WaveformStrip::Span{34.0, 36.0};
        t.strip.refresh();
        QCOMPARE(t.strip.window().first, 35.7 - 2.0);  // the loop and the play head in view: no turn
        t.playHead = 31.5;
        t.strip.refresh();
        QCOMPARE(t.strip.window(), (WaveformStrip::Span{30, 40}));
    }

    // A loop changed after the play head's line was asked for, and before
    // it is painted: that paint shows the new loop only where the line is,
    // so the rest is painted too, not left showing the old loop.
    void aLoopSetBetweenAPlayHeadRequestAndItsPaintIsDrawnWhole()
    {
        StripUnderTest t;
        t.strip.show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.strip));
        QCoreApplication::processEvents();
        PaintCounter painted(t.strip);
        t.playHead = 1;
        t.strip.refresh();  // the play head's line alone
        t.loop = WaveformStrip::Span{5, 7};
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        t.strip.refresh();  // the next frame finds nothing new
        QCoreApplication::processEvents();
        const QRect loopArea(int(t.strip.xOf(5)), 0, int(t.strip.xOf(7) - t.strip.xOf(5)), t.strip.height());
        QVERIFY(QRegion(loopArea).subtracted(painted.region).isEmpty());
    }

    // A neighbour's repaint that takes a sliver of the strip along (the bar
    // above overlaps its top edge) does not count as the play head's move:
    // the next frame still takes the line off where the rest of it stands.
    void aSliverRepaintedByANeighbourLeavesNoLineBehind()
    {
        StripUnderTest t;
        t.strip.show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.strip));
        t.playHead = 1;
        t.strip.refresh();
        QCoreApplication::processEvents();
        t.playHead = 3;
        t.strip.repaint(QRect(0, 0, t.strip.width(), 2));
        PaintCounter painted(t.strip);
        t.strip.refresh();
        QCoreApplication::processEvents();
        const QRect oldLine(int(t.strip.xOf(1)) - 1, 0, 3, t.strip.height());
        QVERIFY(QRegion(oldLine).subtracted(painted.region).isEmpty());
    }

    // The strip's round corners are smooth whatever lies in them (the loop,
    // here): each corner pixel is the inside's colour, as much of it as the
    // rounded outline covers of that pixel.
    void theCornersAreSmoothUnderTheLoop()
    {
        StripUnderTest t;
        auto silence = std::make_shared<WaveformStrip::Envelope>();  // nothing in it but the loop
        silence->durationSeconds = 60;
        silence->levelsDecibels.assign(6000, -90.0f);
        t.envelope = silence;
        t.loop = WaveformStrip::Span{0, 60};
        t.strip.refresh();
        QImage drawn(t.strip.size(), QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        t.strip.render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);  // no window behind
        QImage outline(t.strip.size(), QImage::Format_ARGB32_Premultiplied);
        outline.fill(Qt::transparent);
        QPainter painter(&outline);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(Shapes::roundedRect(QRectF(outline.rect()), WaveformStrip::cornerRadius), Qt::white);
        painter.end();
        const int inside = qAlpha(drawn.pixel(drawn.width() - 30, drawn.height() / 2 - 8));
        QVERIFY(inside > 40);
        int partlyCovered = 0;
        for (int y = 0; y < 8; ++y) {
            for (int x = drawn.width() - 8; x < drawn.width(); ++x) {
                const int coverage = qAlpha(outline.pixel(x, y));
                partlyCovered += coverage > 0 && coverage < 255 ? 1 : 0;
                QVERIFY2(std::abs(qAlpha(drawn.pixel(x, y)) - coverage * inside / 255) <= 4,
                         qPrintable(QStringLiteral("%1,%2: %3 of %4").arg(x).arg(y).arg(qAlpha(drawn.pixel(x, y))).arg(coverage)));
            }
        }
        QVERIFY(partlyCovered > 3);
    }

    // A click seeks to the time under it; a handle dragged moves its end,
    // snapping within a few points to where stepping would loop a phrase
    // (not to the sound's very edge) unless Shift is held.
    void clicksSeekAndHandlesMoveTheLoop()
    {
        StripUnderTest t;
        t.loop = WaveformStrip::Span{3.0, 5.0};
        t.strip.refresh();
        sendMouse(t.strip, QEvent::MouseButtonPress, {t.strip.xOf(7.25), 10});
        sendMouse(t.strip, QEvent::MouseButtonRelease, {t.strip.xOf(7.25), 10});
        QCOMPARE(t.seeks, std::vector<double>{7.25});

        sendMouse(t.strip, QEvent::MouseButtonPress, {t.strip.xOf(5.0) + 3, 10});  // on the end's handle
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(5.6), 10});             // not near an edge
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(6.0) + 3, 10});         // on phrase 3's sound
        QTest::mouseMove(&t.strip, QPoint(int(t.strip.xOf(6.0)) + 3, 10));
        sendMouse(t.strip, QEvent::MouseButtonRelease, {t.strip.xOf(6.0) + 3, 10});
        QCOMPARE(t.seeks.size(), std::size_t(1));  // a drag of a handle is no seek
        QCOMPARE(t.ends.size(), std::size_t(2));
        QVERIFY(std::abs(t.ends[0] - 5.54) < 0.021);  // the handle keeps its 3 points from the pointer
        QCOMPARE(t.ends[1], 5.9);  // snapped to phrase 3's loop, its lead-in kept

        QMouseEvent press(QEvent::MouseButtonPress, QPointF(t.strip.xOf(3.0), 10), t.strip.mapToGlobal(QPointF(t.strip.xOf(3.0), 10)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&t.strip, &press);
        const QPointF near(t.strip.xOf(2.0) + 4, 10);
        QMouseEvent shiftMove(QEvent::MouseMove, near, t.strip.mapToGlobal(near), Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(&t.strip, &shiftMove);
        QCOMPARE(t.starts.size(), std::size_t(1));
        QVERIFY(std::abs(t.starts[0] - 2.08) < 0.021);  // Shift: where the pointer is
        sendMouse(t.strip, QEvent::MouseButtonRelease, near);

        // The loop moves on to the next phrase while its end is held: the
        // drag ends there, and moves neither the new loop nor the play head.
        t.loop = WaveformStrip::Span{3.0, 5.0};
        t.starts.clear();
        t.ends.clear();
        sendMouse(t.strip, QEvent::MouseButtonPress, {t.strip.xOf(5.0) + 3, 10});
        t.loop = WaveformStrip::Span{6.0, 8.0};
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(5.6), 10});
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(7.5), 10});
        sendMouse(t.strip, QEvent::MouseButtonRelease, {t.strip.xOf(7.5), 10});
        QVERIFY(t.starts.empty() && t.ends.empty());
        QCOMPARE(t.seeks.size(), std::size_t(1));

        // The map goes (the next track loading) or is made anew (the file
        // read again) under a held button: the drag ends, and neither seeks
        // to where the pointer goes next nor moves the loop's end.
        t.loop = WaveformStrip::Span{3.0, 5.0};
        t.seeks.clear();
        sendMouse(t.strip, QEvent::MouseButtonPress, {t.strip.xOf(7.0), 10});
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(7.5), 10});
        t.envelope = lesson();
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(8.0), 10});
        sendMouse(t.strip, QEvent::MouseButtonRelease, {t.strip.xOf(8.0), 10});
        QCOMPARE(t.seeks, (std::vector<double>{7.0, 7.5}));
        sendMouse(t.strip, QEvent::MouseButtonPress, {t.strip.xOf(5.0) + 3, 10});
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(5.6), 10});
        QCOMPARE(t.ends.size(), std::size_t(1));
        t.envelope = nullptr;
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(5.8), 10});
        t.envelope = lesson();
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(6.2), 10});
        sendMouse(t.strip, QEvent::MouseButtonRelease, {t.strip.xOf(6.2), 10});
        QCOMPARE(t.ends.size(), std::size_t(1));
        QCOMPARE(t.seeks, (std::vector<double>{7.0, 7.5}));
    }

    // A handle is the hand's: a click beside it with a tremor moves nothing,
    // a held one stays on its page while the track plays on past it, two
    // that look like one are told apart by the way the hand goes, and a
    // pointer whose release went elsewhere only hovers.
    void aHeldHandleGoesWhereTheHandGoesOnly()
    {
        StripUnderTest t;
        t.loop = WaveformStrip::Span{4.0, 6.0};
        t.strip.refresh();
        sendMouse(t.strip, QEvent::MouseButtonPress, {t.strip.xOf(4.0) + 4, 10});
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(4.0) + 5, 10});
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(4.0) + 2, 10});
        sendMouse(t.strip, QEvent::MouseButtonRelease, {t.strip.xOf(4.0) + 2, 10});
        QVERIFY(t.starts.empty() && t.ends.empty() && t.seeks.empty());

        t.loop = WaveformStrip::Span{2.0, 20.0};
        t.strip.refresh();
        const WaveformStrip::Span page = t.strip.window();
        sendMouse(t.strip, QEvent::MouseButtonPress, {t.strip.xOf(2.0), 10});
        t.playHead = page.second + 1;
        t.strip.refresh();
        QCOMPARE(t.strip.window(), page);
        sendMouse(t.strip, QEvent::MouseMove, {t.strip.xOf(2.0) + 15, 10});
        QCOMPARE(t.starts.size(), std::size_t(1));
        QVERIFY2(std::abs(t.starts[0] - 2.3) < 0.021, qPrintable(QString::number(t.starts[0])));
        sendMouse(t.strip, QEvent::MouseButtonRelease, {t.strip.xOf(2.0) + 15, 10});
        QVERIFY(t.strip.window().first < t.playHead && t.playHead < t.strip.window().second);  // caught up

        t.playHead = 0;
        t.loop = WaveformStrip::Span{4.0, 4.05};  // 2.5 points
        t.starts.clear();
        t.strip.refresh();
        const qreal middle = t.strip.xOf(4.025);
        sendMouse(t.strip, QEvent::MouseButtonPress, {middle, 10});
        sendMouse(t.strip, QEvent::MouseMove, {middle + 20, 10});
        sendMouse(t.strip, QEvent::MouseButtonRelease, {middle + 20, 10});
        QVERIFY(t.starts.empty());
        QCOMPARE(t.ends.size(), std::size_t(1));
        QVERIFY2(std::abs(t.ends[0] - 4.45) < 0.021, qPrintable(QString::number(t.ends[0])));
        sendMouse(t.strip, QEvent::MouseButtonPress, {middle, 10});
        sendMouse(t.strip, QEvent::MouseMove, {middle - 20, 10});
        sendMouse(t.strip, QEvent::MouseButtonRelease, {middle - 20, 10});
        QCOMPARE(t.starts.size(), std::size_t(1));
        QVERIFY2(std::abs(t.starts[0] - 3.6) < 0.021, qPrintable(QString::number(t.starts[0])));

        t.loop.reset();
        t.strip.refresh();
        sendMouse(t.strip, QEvent::MouseButtonPress, {250, 10});
        for (const qreal x : {300, 350}) {
            QMouseEvent hover(QEvent::MouseMove, QPointF(x, 10), t.strip.mapToGlobal(QPointF(x, 10)), Qt::NoButton,
                              Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&t.strip, &hover);
        }
        QCOMPARE(t.seeks, std::vector<double>{5.0});  // the press's only
    }

    // The window follows every seek, as the player's does: a drag up to the
    // strip's edge seeks to the time under the pointer, not a page further
    // at every move, and the page turns once the button is let go.
    void aDragToTheEdgeHoldsThePageUntilLetGo()
    {
        StripUnderTest t;
        t.strip.setOnSeek([&t](double s) {
            t.seeks.push_back(s);
            t.playHead = s;
            t.strip.refresh();
        });
        t.strip.refresh();
        sendMouse(t.strip, QEvent::MouseButtonPress, {250, 10});
        for (const qreal x : {480, 490, 498, 530})
            sendMouse(t.strip, QEvent::MouseMove, {x, 10});
        QCOMPARE(t.seeks.back(), 10.0);  // past the edge: the page's end
        sendMouse(t.strip, QEvent::MouseMove, {490, 10});
        QCOMPARE(t.strip.window(), (WaveformStrip::Span{0, 10}));
        QVERIFY2(std::abs(t.seeks.back() - 9.8) < 0.05, qPrintable(QString::number(t.seeks.back())));
        sendMouse(t.strip, QEvent::MouseButtonRelease, {490, 10});
        QVERIFY(std::abs(t.strip.window().first - (9.8 - 2.0)) < 0.05);

        // Held still while the track plays on past the page: the page follows.
        sendMouse(t.strip, QEvent::MouseButtonPress, {400, 10});
        t.playHead = t.strip.window().second + 0.5;
        t.strip.refresh();
        QVERIFY(t.strip.window().first < t.playHead && t.playHead < t.strip.window().second);
        sendMouse(t.strip, QEvent::MouseButtonRelease, {400, 10});

        // And back past the start of a later page.
        sendMouse(t.strip, QEvent::MouseButtonPress, {100, 10});
        const double pageStart = t.strip.window().first;
        for (const qreal x : {5, 3, 1})
            sendMouse(t.strip, QEvent::MouseMove, {x, 10});
        QVERIFY2(std::abs(t.seeks.back() - (pageStart + 0.02)) < 0.005, qPrintable(QString::number(t.seeks.back())));
        sendMouse(t.strip, QEvent::MouseButtonRelease, {1, 10});
    }

    // A handle dragged against the page's edge stays on the page, though a
    // phrase's edge just past it is within snapping reach, and snaps to one
    // on the page in reach, though that one is further.
    void aHandleSnapsWithinThePageOnly()
    {
        StripUnderTest t;
        auto withAnEdgeJustPast = std::make_shared<WaveformStrip::Envelope>(*t.envelope);
        withAnEdgeJustPast->phraseLoops.emplace_back(10.05, 10.5);
        t.envelope = withAnEdgeJustPast;
        t.loop = WaveformStrip::Span{5, 8};
        t.strip.refresh();
        sendMouse(t.strip, QEvent::MouseButtonPress, {t.strip.xOf(8), 10});
        for (const qreal x : {450, 500, 530})
            sendMouse(t.strip, QEvent::MouseMove, {x, 10});
        QVERIFY(!t.ends.empty());
        QCOMPARE(t.ends.back(), 10.0);
        sendMouse(t.strip, QEvent::MouseButtonRelease, {530, 10});
        // One on the page, though further than the one past it: that one.
        withAnEdgeJustPast->phraseLoops.emplace_back(9.0, 9.93);
        sendMouse(t.strip, QEvent::MouseButtonPress, {t.strip.xOf(8), 10});  // the loop stays as it was
        for (const qreal x : {450, 500, 530})
            sendMouse(t.strip, QEvent::MouseMove, {x, 10});
        QCOMPARE(t.ends.back(), 9.93);
        sendMouse(t.strip, QEvent::MouseButtonRelease, {530, 10});
    }

    void withoutAnEnvelopeNothingIsDrawnOrReported()
    {
        StripUnderTest t;
        t.envelope.reset();
        t.strip.refresh();
        sendMouse(t.strip, QEvent::MouseButtonPress, {100, 10});
        QVERIFY(t.seeks.empty());
        const QImage picture = renderOnWhite(t.strip);
        QCOMPARE(pixelsIn(picture, picture.rect(), isReddish), 0);  // no play head
    }
};

QTEST_MAIN(WaveformStripTest)
#include "tst_waveformstrip.moc"
