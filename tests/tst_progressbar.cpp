#include "ui/kit/CustomProgressBar.h"
#include "ui/kit/Typography.h"
#include "ui/kit/Shadow.h"
#include "WidgetTesting.h"

#include <QScopeGuard>
#include <QTest>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

namespace {

const double none = std::numeric_limits<double>::quiet_NaN();

std::optional<double> unlessNaN(double seconds)
{
    return std::isnan(seconds) ? std::nullopt : std::optional(seconds);
}

// A bar whose bindings lead to plain variables, as the main window's lead to the player.
struct BarUnderTest {
    double currentTime = 0;
    std::optional<double> loopStart;
    std::optional<double> loopEnd;
    std::vector<double> reported;
    CustomProgressBar bar;
    QImage image;

    explicit BarUnderTest(double durationSeconds)
    {
        bar.setCurrentTime(Binding<double>::to(currentTime));
        bar.setDuration(durationSeconds);
        bar.setLoopStart([this] { return loopStart; });
        bar.setLoopEnd([this] { return loopEnd; });
        bar.setOnTimeChanged([this](double seconds) { reported.push_back(seconds); });
        const QMargins m = bar.barMargins();
        bar.resize(200 + m.left() + m.right(), bar.sizeHint().height());
    }

    void paint() { image = renderOnWhite(bar); }
    // Shown on screen with its fill painted at the given time.
    bool shownAt(double seconds)
    {
        bar.show();
        if (!QTest::qWaitForWindowExposed(&bar))
            return false;
        currentTime = seconds;
        bar.refresh();
        QCoreApplication::processEvents();
        return true;
    }
    // A point at x along the bar (from its leading edge), on its centre line.
    QPointF onBar(qreal x) const { return {bar.barRect().left() + x, bar.barRect().center().y()}; }
    int saturationAt(qreal x) const { return colourAt(image, onBar(x)).hsvSaturation(); }
    bool isTrackOnlyAt(qreal x) const { return saturationAt(x) < 30; }
    void press(qreal x) { sendMouse(bar, QEvent::MouseButtonPress, onBar(x)); }

    // Whether any pixel in a rect of the widget is red: ticks and labels are.
    bool hasRedIn(const QRectF& rect) const { return pixelsIn(image, rect, isReddish) > 0; }
    bool hasRed() const { return hasRedIn(image.rect()); }
    // A tick's ends reach past the bar: the rows just above and below it are red.
    bool hasTickAt(qreal x) const
    {
        const QRectF b = bar.barRect();
        return hasRedIn({b.left() + x - 1, b.top() - 1, 3, 1}) && hasRedIn({b.left() + x - 1, b.bottom(), 3, 1});
    }
    // A label is red in the band above the tick ends, within halfWidth of x.
    bool hasLabelNear(qreal x, qreal halfWidth = 8) const
    {
        return hasRedIn({bar.barRect().left() + x - halfWidth, 0, 2 * halfWidth, bar.barRect().top() - 3});
    }
};

}  // namespace

class ProgressBarTest : public QObject {
    Q_OBJECT

private slots:
    void fillEndsWherePlaybackStandsGreenToBlue_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::newRow("quarter") << 2.5;
        QTest::newRow("full") << 10.0;
    }

    void fillEndsWherePlaybackStandsGreenToBlue()
    {
        QFETCH(double, seconds);
        BarUnderTest t(10);
        t.currentTime = seconds;
        t.paint();
        const qreal fillEnd = seconds * 20;
        QVERIFY2(t.saturationAt(fillEnd - 5) > 200, "played part is the coloured fill");
        if (seconds < 10)  // a full bar has no rest
            QVERIFY2(t.isTrackOnlyAt(fillEnd + 5), "the rest is the gray track");
        // The gradient spans the played part, not the whole bar.
        const QColor leading = colourAt(t.image, t.onBar(3));
        const QColor trailing = colourAt(t.image, t.onBar(fillEnd - 5));
        QVERIFY(leading.green() > leading.blue());
        QVERIFY(trailing.blue() > trailing.green());
        QVERIFY(!t.hasRed());
    }

    void loopBoundsShowAsLabelledTicksAroundATintedRegion_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<QList<qreal>>("labelledTicks");
        QTest::addColumn<qreal>("noTickX");
        QTest::addColumn<qreal>("regionX");  // NaN: no region anywhere
        QTest::addColumn<qreal>("trackX");
        // On a 200-point bar of 10 s, with the position at 5 s (x = 100).
        QTest::newRow("region beyond the position") << 2.0 << 8.0 << QList<qreal>{40, 160} << 120.0 << 130.0 << 180.0;
        QTest::newRow("start alone") << 4.0 << none << QList<qreal>{80} << 120.0 << none << 120.0;
        // 10.3 s lies at x = 206: past the bar's end but inside the widget.
        QTest::newRow("end beyond the duration") << 5.0 << 10.3 << QList<qreal>{100} << 206.0 << none << 150.0;
        QTest::newRow("start beyond the duration") << 10.3 << none << QList<qreal>{} << 206.0 << none << 150.0;
    }

    void loopBoundsShowAsLabelledTicksAroundATintedRegion()
    {
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(QList<qreal>, labelledTicks);
        QFETCH(qreal, noTickX);
        QFETCH(qreal, regionX);
        QFETCH(qreal, trackX);
        BarUnderTest t(10);
        t.currentTime = 5;
        t.loopStart = unlessNaN(start);
        t.loopEnd = unlessNaN(end);
        t.paint();
        QVERIFY2(t.saturationAt(95) > 200, "the fill lies over the region");
        for (qreal x : labelledTicks)
            QVERIFY(t.hasTickAt(x) && t.hasLabelNear(x));
        QVERIFY(!t.hasTickAt(noTickX));
        QCOMPARE(t.hasRed(), !labelledTicks.isEmpty());
        if (!std::isnan(regionX)) {
            const QColor region = colourAt(t.image, t.onBar(regionX));
            QVERIFY2(region.hsvSaturation() > 60 && region.hsvSaturation() < 180 && region.blue() > region.red(),
                     qPrintable(region.name()));
        }
        QVERIFY2(t.isTrackOnlyAt(trackX), "only the track: no region");
    }

    // With a large desktop font the labels are wider: they show only where
    // both fit whole, a little apart (at 35 points they ran into each
    // other, "StartEnd").
    void labelsNeedMoreThanThirtyPointsBetweenTicks_data()
    {
        QTest::addColumn<int>("desktopPoints");  // 0: the desktop's own
        QTest::addColumn<double>("loopEnd");
        QTest::addColumn<bool>("labelsShown");
        // Start at 2 s is x = 40 on a 200-point bar of 10 s: 1.5 s is 30 points.
        QTest::newRow("just above 30 points") << 0 << 3.51 << true;
        QTest::newRow("exactly 30 points") << 0 << 3.5 << false;
        QTest::newRow("closer") << 0 << 2.5 << false;
        QTest::newRow("35 points, at a large font") << 18 << 3.75 << false;
        QTest::newRow("60 points, at a large font") << 18 << 5.0 << true;
    }

    void labelsNeedMoreThanThirtyPointsBetweenTicks()
    {
        QFETCH(int, desktopPoints);
        QFETCH(double, loopEnd);
        QFETCH(bool, labelsShown);
        if (desktopPoints > 0)
            Typography::setDesktopFont(QFont(QStringLiteral("Sans Serif"), desktopPoints));
        const auto usual = qScopeGuard([] { Typography::setDesktopFont(std::nullopt); });
        const qreal scale = desktopPoints > 0 ? 2 : 1;  // the text at 18 points
        BarUnderTest t(10);
        t.loopStart = 2;
        t.loopEnd = loopEnd;
        t.paint();
        const qreal endX = loopEnd * 20;
        QVERIFY(t.hasTickAt(40) && t.hasTickAt(endX));
        // Narrow bands on the outer sides, where the two labels cannot meet.
        QCOMPARE(t.hasLabelNear(40 - 6 * scale, 5 * scale), labelsShown);
        QCOMPARE(t.hasLabelNear(endX + 4 * scale, 4 * scale), labelsShown);
    }

    // While playing the bar asks to repaint only its fill. A loop point set
    // after that request and before its paint is drawn whole all the same
    // (label, tick ends), not clipped to the fill and left so.
    void aMarkerSetBetweenAFillRequestAndItsPaintIsDrawnWhole()
    {
        BarUnderTest t(10);
        QVERIFY(t.shownAt(1));
        PaintCounter painted(t.bar);

        t.currentTime = 3;
        t.bar.refresh();  // asks for the fill alone
        t.loopStart = 7;  // before the paint comes
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        t.bar.refresh();  // the next tick: nothing new to it
        QCoreApplication::processEvents();
        const QRectF bar = t.bar.barRect();
        const QRect label(int(bar.left() + 140 - 8), 0, 16, int(bar.top()) - 3);  // 7 s of 10 on 200 points
        const QRect tickFoot(int(bar.left() + 140 - 1), int(bar.bottom()), 3, 1);
        QVERIFY2(QRegion(label).subtracted(painted.region).isEmpty() && QRegion(tickFoot).subtracted(painted.region).isEmpty(),
                 "the marker was painted only where the fill was");
    }

    // The bar keeps what does not move while playing; whatever changed since,
    // a paint shows what a bar made afresh with the same values shows, at
    // either pixel ratio.
    void aLongLivedBarPaintsWhatAFreshOneWould_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("1x") << 1.0;
        QTest::newRow("2x, first shown at 1x") << 2.0;
    }

    void aLongLivedBarPaintsWhatAFreshOneWould()
    {
        QFETCH(qreal, ratio);
        BarUnderTest lived(10);
        renderOnWhite(lived.bar, 1.0);  // as on another screen before
        const auto differs = [&] {
            BarUnderTest fresh(lived.bar.duration());
            fresh.currentTime = lived.currentTime;
            fresh.loopStart = lived.loopStart;
            fresh.loopEnd = lived.loopEnd;
            fresh.bar.resize(lived.bar.size());
            lived.bar.refresh();
            // A shadow is reused wherever its shape is drawn next, a fraction
            // of a pixel off perhaps: each bar blurs its own.
            ShadowCache::shared().clear();
            const QImage shown = renderOnWhite(lived.bar, ratio);
            ShadowCache::shared().clear();
            // Text may come out a level apart from one paint to the next.
            return largestChannelDifference(shown, renderOnWhite(fresh.bar, ratio)) > 2;
        };
        const std::vector<std::pair<const char*, std::function<void()>>> steps{
            {"playing", [&] { lived.currentTime = 2; }},
            {"played on", [&] { lived.currentTime = 2.6; }},
            {"loop start", [&] { lived.loopStart = 3; }},
            {"loop end", [&] { lived.loopEnd = 8; }},
            {"start moved", [&] { lived.loopStart = 1; }},
            {"in the loop", [&] { lived.currentTime = 5; }},
            {"longer track", [&] { lived.bar.setDuration(40); }},
            {"wider", [&] { lived.bar.resize(lived.bar.width() + 50, lived.bar.height()); }},
            {"loop cleared", [&] { lived.loopStart.reset(); lived.loopEnd.reset(); }},
        };
        for (const auto& [name, change] : steps) {
            change();
            QVERIFY2(!differs(), name);
        }
    }

    // A fill that shrinks (a loop's wrap from its end back to its start) is
    // repainted as far as it reached before, so none of it is left behind.
    void aShrinkingFillIsRepaintedAsFarAsItReached()
    {
        BarUnderTest t(10);
        QVERIFY(t.shownAt(7));  // 140 of 200 points
        PaintCounter painted(t.bar);
        t.currentTime = 2;
        t.bar.refresh();
        QCoreApplication::processEvents();
        const QRectF bar = t.bar.barRect();
        QVERIFY(QRegion(QRectF(bar.left(), bar.top(), 141, bar.height()).toAlignedRect()).subtracted(painted.region).isEmpty());
    }

    // A repaint of part of the bar (its fill's end, a neighbour's edge in
    // its margin) shows there what a whole paint shows.
    void aPartRepaintedShowsWhatTheWholeShowsThere()
    {
        BarUnderTest t(10);
        t.currentTime = 6.01;  // the fill ends 120.2 points along, smoothed over a column
        t.loopStart = 2;
        t.loopEnd = 8;
        const QImage whole = renderOnWhite(t.bar);
        const QRectF bar = t.bar.barRect();
        const QRect parts[] = {
            QRectF(bar.left() + 100, bar.top() - 1, 30, bar.height() + 2).toAlignedRect(),  // the fill's end
            QRect(int(bar.left()) + 120, int(bar.top()) + 4, 1, 4),                        // its last column alone
            QRectF(bar.left() + 10, bar.center().y(), 180, 1).toAlignedRect(),            // along the middle
            QRect(int(bar.left()) + 50, int(bar.bottom()) + 1, 20, 2),                    // the margin below
        };
        for (const QRect& part : parts) {
            QImage painted(whole.size(), QImage::Format_ARGB32_Premultiplied);
            painted.fill(Qt::white);
            t.bar.render(&painted, part.topLeft(), QRegion(part), QWidget::DrawChildren);
            QVERIFY2(largestChannelDifference(painted, whole, part) <= 2,
                     qPrintable(QStringLiteral("part at %1,%2").arg(part.x()).arg(part.y())));
        }
    }

    // A part repainted while the fill reached past it (the track's end),
    // then the fill gone back (the rewind): nothing of the longer fill is
    // left on screen.
    void aFillGoneBackLeavesNothingOfAPartPaintedLonger()
    {
        BarUnderTest t(10);
        QVERIFY(t.shownAt(2));  // 40 of 200 points
        const QRectF bar = t.bar.barRect();
        t.currentTime = 10;
        t.bar.repaint(QRectF(bar.left() + 100, bar.top() - 1, 50, bar.height() + 2).toAlignedRect());
        t.currentTime = 0;
        t.bar.refresh();
        QCoreApplication::processEvents();
        t.image = t.bar.screen()->grabWindow(t.bar.winId()).toImage();
        for (qreal x = 60; x < 190; x += 10)
            QVERIFY2(t.isTrackOnlyAt(x), qPrintable(QStringLiteral("fill left at %1").arg(x)));
    }

    // A long track moves the fill a small part of a pixel at a time, while a
    // neighbour repaints a sliver of the bar's margin at every frame (the
    // strip's play head). Those slivers do not show the fill: it still moves
    // on screen once a pixel has built up.
    void slowFillMovesThoughANeighbourRepaintsTheMarginEveryFrame()
    {
        BarUnderTest t(180);  // 200 points for 3 minutes: 0.9 s is a pixel
        QVERIFY(t.shownAt(10));
        PaintCounter painted(t.bar);
        const QRectF bar = t.bar.barRect();
        const QRect sliver(int(bar.left()) + 100, t.bar.height() - 1, 3, 1);
        for (int frame = 0; frame < 60; ++frame) {  // two seconds at 30 frames a second
            t.currentTime += 1.0 / 30;
            t.bar.refresh();
            t.bar.repaint(sliver);
            QCoreApplication::processEvents();
        }
        const qreal fillEnd = bar.left() + 200 * t.currentTime / 180;
        QVERIFY2(painted.region.intersects(QRectF(fillEnd - 1, bar.top(), 1, bar.height()).toAlignedRect()),
                 "the fill's end was never repainted");
        // Nothing else changed: no paint was of the whole bar.
        QCOMPARE(painted.wholeCount, 0);
    }

    void degenerateValuesDrawNoMarkersOrFill()
    {
        BarUnderTest zeroDuration(0);
        zeroDuration.currentTime = 5;
        zeroDuration.loopStart = 0;
        zeroDuration.paint();
        QVERIFY(!zeroDuration.hasRed() && zeroDuration.isTrackOnlyAt(100));
        QVERIFY(ProgressBarLayout::compute({5, 10, 1, 2, {}}, {0, 12}) == ProgressBarLayout());

        const double inf = std::numeric_limits<double>::infinity();
        for (double d : {-1.0, none, inf, 10.0}) {
            for (double s : {none, inf, -inf}) {
                const ProgressBarLayout layout = ProgressBarLayout::compute({s, d, s, s, {{s, s}}}, {200, 12});
                QVERIFY(!layout.fillWidth || std::isfinite(*layout.fillWidth));
                QVERIFY(!layout.loopRegion && !layout.startMarker && !layout.endMarker && layout.faintSpans.empty());
            }
        }
    }

    void pressesAndDragsReportTheTimeUnderThePointer()
    {
        BarUnderTest t(10);
        t.press(100);
        QCOMPARE(t.reported, std::vector<double>{5.0});
        QCOMPARE(t.currentTime, 5.0);

        // Every move reports, the vertical position does not matter, and the bar's ends clamp.
        sendMouse(t.bar, QEvent::MouseMove, {t.bar.barRect().left() + 50, 0});
        for (qreal x : {200, 260, 0, -40})
            sendMouse(t.bar, QEvent::MouseMove, t.onBar(x));
        QCOMPARE(t.reported, (std::vector<double>{5.0, 2.5, 10.0, 10.0, 0.0, 0.0}));

        // Releasing reports nothing, and later moves without a press neither.
        sendMouse(t.bar, QEvent::MouseButtonRelease, t.onBar(150));
        sendMouse(t.bar, QEvent::MouseMove, t.onBar(150));
        QCOMPARE(t.reported.size(), size_t(6));
        QCOMPARE(t.currentTime, 0.0);
    }

    // The menu opens on the time under the pointer; from the menu key,
    // which gives no place on the bar, on the play head and under it.
    void theMenuIsAboutThePointerOrFromTheKeyThePlayHead()
    {
        BarUnderTest t(10);
        t.currentTime = 2.5;
        std::optional<double> asked;
        QPoint at;
        t.bar.setOnContextMenu([&](double seconds, const QPoint& global) {
            asked = seconds;
            at = global;
        });
        QContextMenuEvent click(QContextMenuEvent::Mouse, t.onBar(150).toPoint(), t.bar.mapToGlobal(t.onBar(150).toPoint()));
        QCoreApplication::sendEvent(&t.bar, &click);
        QCOMPARE(asked, 7.5);
        QCOMPARE(at, t.bar.mapToGlobal(t.onBar(150).toPoint()));

        const QPoint middle(t.bar.width() / 2, t.bar.height() / 2);
        QContextMenuEvent key(QContextMenuEvent::Keyboard, middle, t.bar.mapToGlobal(middle));
        QCoreApplication::sendEvent(&t.bar, &key);
        QCOMPARE(asked, 2.5);
        QCOMPARE(at.x(), t.bar.mapToGlobal(t.onBar(50).toPoint()).x());
    }

    void callbackGetsTheValueReadBackFromTheBinding()
    {
        BarUnderTest t(10);
        // An owner that keeps whole seconds only.
        t.bar.setCurrentTime({[&t] { return t.currentTime; }, [&t](double s) { t.currentTime = std::floor(s); }});
        t.press(117);
        QCOMPARE(t.reported, std::vector<double>{5.0});
    }

    void repaintsOnlyWhenThePictureChanges()
    {
        BarUnderTest t(10);  // 200 points for 10 s: 0.05 s is one pixel
        t.bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.bar));
        PaintCounter paints(t.bar);
        const auto paintsAfter = [&](const std::function<void()>& change) {
            QTest::qWait(20);
            paints.count = 0;
            change();
            t.bar.refresh();
            return QTest::qWaitFor([&] { return paints.count > 0; }, 100) ? paints.count : 0;
        };
        QCOMPARE(paintsAfter([] {}), 0);
        // Less than a pixel at a time is held back until a pixel has built up.
        for (int i = 0; i < 4; ++i)
            QCOMPARE(paintsAfter([&] { t.currentTime += 0.01; }), 0);
        QCOMPARE(paintsAfter([&] { t.currentTime += 0.011; }), 1);
        QCOMPARE(paintsAfter([&] { t.loopStart = 0.02; }), 1);  // far below a pixel, but a new marker
        QCOMPARE(paintsAfter([&] { t.bar.setDuration(10); }), 0);
        QCOMPARE(paintsAfter([&] { t.bar.setDuration(20); }), 1);
    }
};

QTEST_MAIN(ProgressBarTest)
#include "tst_progressbar.moc"
