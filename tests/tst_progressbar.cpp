#include "ui/CustomProgressBar.h"

#include "WidgetTesting.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace {

// A bar whose bindings lead to plain variables, as the main window's lead to the player.
struct BarUnderTest {
    double currentTime = 0;
    std::optional<double> loopStart;
    std::optional<double> loopEnd;
    std::vector<double> reported;
    CustomProgressBar bar;

    explicit BarUnderTest(double durationSeconds, int barWidth = 200)
    {
        bar.setCurrentTime(Binding<double>::to(currentTime));
        bar.setDuration(durationSeconds);
        bar.setLoopStart([this] { return loopStart; });
        bar.setLoopEnd([this] { return loopEnd; });
        bar.setOnTimeChanged([this](double seconds) { reported.push_back(seconds); });
        const QMargins m = bar.barMargins();
        bar.resize(barWidth + m.left() + m.right(), bar.sizeHint().height());
    }

    QRectF barRect() const { return bar.barRect(); }
    QImage picture() { return renderOnWhite(bar); }
    // A point at x along the bar (from its leading edge), on its centre line.
    QPointF onBar(qreal x) const { return {barRect().left() + x, barRect().center().y()}; }
};

int saturation(const QColor& colour)
{
    return colour.hsvSaturation();
}

// Whether a tick stands at x: its ends reach past the bar, so the rows just
// above and below the bar are red there.
bool hasTickAt(BarUnderTest& t, const QImage& image, qreal x)
{
    const QRectF bar = t.barRect();
    for (int dx = -1; dx <= 1; ++dx) {
        const qreal column = bar.left() + x + dx;
        if (isReddish(colourAt(image, {column, bar.top() - 1})) && isReddish(colourAt(image, {column, bar.bottom() + 0.5})))
            return true;
    }
    return false;
}

// Red pixels in the band above the tick ends, within halfWidth of x: the label.
int labelPixelsNear(BarUnderTest& t, const QImage& image, qreal x, qreal halfWidth = 8)
{
    const QRectF bar = t.barRect();
    int count = 0;
    for (qreal y = 0; y < bar.top() - 3; ++y) {
        for (qreal dx = -halfWidth; dx <= halfWidth; ++dx) {
            if (isReddish(colourAt(image, {bar.left() + x + dx, y})))
                ++count;
        }
    }
    return count;
}

int redPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isReddish(image.pixelColor(x, y)))
                ++count;
        }
    }
    return count;
}

// Counts paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

}  // namespace

class ProgressBarTest : public QObject {
    Q_OBJECT

private slots:
    void fillEndsWherePlaybackStands_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("fillEndX");
        QTest::newRow("half") << 5.0 << 100.0;
        QTest::newRow("quarter") << 2.5 << 50.0;
        QTest::newRow("nearly done") << 9.0 << 180.0;
    }

    void fillEndsWherePlaybackStands()
    {
        QFETCH(double, seconds);
        QFETCH(double, fillEndX);
        BarUnderTest t(10);
        t.currentTime = seconds;
        const QImage image = t.picture();
        QVERIFY2(saturation(colourAt(image, t.onBar(fillEndX - 5))) > 200, "played part is the coloured fill");
        QVERIFY2(saturation(colourAt(image, t.onBar(fillEndX + 5))) < 30, "the rest is the gray track");
    }

    void fillRunsFromGreenToBlue()
    {
        BarUnderTest t(10);
        t.currentTime = 10;
        const QImage image = t.picture();
        const QColor leading = colourAt(image, t.onBar(8));
        const QColor trailing = colourAt(image, t.onBar(192));
        QVERIFY(leading.green() > leading.blue());
        QVERIFY(trailing.blue() > trailing.green());
    }

    void withoutLoopOnlyTrackAndFillAreDrawn()
    {
        BarUnderTest t(10);
        t.currentTime = 3;
        const QImage image = t.picture();
        QCOMPARE(redPixels(image), 0);
        // Beyond the fill nothing but the track: no region tint anywhere.
        for (qreal x = 65; x < 195; x += 5)
            QVERIFY(saturation(colourAt(image, t.onBar(x))) < 30);
    }

    void loopRegionShowsOnlyBeyondThePosition()
    {
        BarUnderTest t(10);
        t.loopStart = 2;
        t.loopEnd = 8;
        t.currentTime = 5;
        const QImage image = t.picture();
        QVERIFY2(saturation(colourAt(image, t.onBar(60))) > 200, "the fill covers the region before the position");
        const int region = saturation(colourAt(image, t.onBar(130)));
        QVERIFY2(region > 60 && region < 180, qPrintable(QString::number(region)));
        QVERIFY(colourAt(image, t.onBar(130)).blue() > colourAt(image, t.onBar(130)).red());
        QVERIFY2(saturation(colourAt(image, t.onBar(180))) < 30, "after the loop end only the track");
        QVERIFY(hasTickAt(t, image, 40));
        QVERIFY(hasTickAt(t, image, 160));
        QVERIFY(labelPixelsNear(t, image, 40) > 0);
        QVERIFY(labelPixelsNear(t, image, 160) > 0);
    }

    void loopStartAloneShowsItsTickAndLabel()
    {
        BarUnderTest t(10);
        t.loopStart = 4;
        const QImage image = t.picture();
        QVERIFY(hasTickAt(t, image, 80));
        QVERIFY(labelPixelsNear(t, image, 80) > 0);
        QVERIFY2(saturation(colourAt(image, t.onBar(120))) < 30, "no region without an end");
        QVERIFY(!hasTickAt(t, image, 120));
    }

    void labelsNeedMoreThanThirtyPointsBetweenTicks_data()
    {
        QTest::addColumn<double>("loopEnd");
        QTest::addColumn<bool>("labelsShown");
        // Start at 2 s is x = 40 on a 200-point bar of 10 s: 1.5 s is 30 points.
        QTest::newRow("just above 30 points") << 3.51 << true;
        QTest::newRow("exactly 30 points") << 3.5 << false;
        QTest::newRow("closer") << 2.5 << false;
    }

    void labelsNeedMoreThanThirtyPointsBetweenTicks()
    {
        QFETCH(double, loopEnd);
        QFETCH(bool, labelsShown);
        BarUnderTest t(10);
        t.loopStart = 2;
        t.loopEnd = loopEnd;
        const QImage image = t.picture();
        const qreal endX = loopEnd / 10 * 200;
        QVERIFY(hasTickAt(t, image, 40));
        QVERIFY(hasTickAt(t, image, endX));
        // Narrow bands on the outer sides, where the two labels cannot meet.
        QCOMPARE(labelPixelsNear(t, image, 40 - 6, 5) > 0, labelsShown);
        QCOMPARE(labelPixelsNear(t, image, endX + 4, 4) > 0, labelsShown);
    }

    void boundsBeyondTheDurationAreHidden()
    {
        // 10.3 s lies at x = 206, past the bar's end but inside the widget.
        BarUnderTest t(10);
        t.loopStart = 5;
        t.loopEnd = 10.3;
        QImage image = t.picture();
        QVERIFY(hasTickAt(t, image, 100));
        QVERIFY(!hasTickAt(t, image, 206));
        QVERIFY2(saturation(colourAt(image, t.onBar(150))) < 30, "an end beyond the duration hides the region");
        QVERIFY2(labelPixelsNear(t, image, 100 - 6, 5) > 0, "the start keeps its label: the ticks are far apart");

        t.loopStart = 10.3;
        t.loopEnd.reset();
        image = t.picture();
        QCOMPARE(redPixels(image), 0);
    }

    void shorterDurationHidesBoundsItNoLongerReaches()
    {
        BarUnderTest t(10);
        t.loopStart = 8;
        t.loopEnd = 9.5;
        QImage image = t.picture();
        QVERIFY(hasTickAt(t, image, 160));
        QVERIFY(hasTickAt(t, image, 190));
        t.bar.setDuration(9.2);
        image = t.picture();
        QVERIFY(hasTickAt(t, image, 8 / 9.2 * 200));
        QVERIFY(!hasTickAt(t, image, 9.5 / 9.2 * 200));
    }

    void degenerateSizesDrawNoMarkersOrFill()
    {
        BarUnderTest zeroDuration(0);
        zeroDuration.currentTime = 5;
        zeroDuration.loopStart = 0;
        const QImage image = zeroDuration.picture();
        QCOMPARE(redPixels(image), 0);
        QVERIFY(saturation(colourAt(image, zeroDuration.onBar(100))) < 30);

        BarUnderTest zeroWidth(10, 0);
        zeroWidth.currentTime = 5;
        zeroWidth.loopStart = 1;
        zeroWidth.loopEnd = 2;
        QCOMPARE(zeroWidth.barRect().width(), 0.0);
        QCOMPARE(redPixels(zeroWidth.picture()), 0);
    }

    void layoutIsFiniteForAnyValues()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        for (double d : {0.0, -1.0, nan, inf, 10.0}) {
            for (double t : {0.0, 5.0, nan, inf, -inf}) {
                const ProgressBarLayout layout =
                    ProgressBarLayout::compute({t, d, t, t == t ? std::optional(t + 1) : std::nullopt}, {200, 12});
                if (layout.fillWidth)
                    QVERIFY(std::isfinite(*layout.fillWidth));
                if (layout.loopRegion)
                    QVERIFY(std::isfinite(layout.loopRegion->width()) && std::isfinite(layout.loopRegion->left()));
                if (layout.startMarker)
                    QVERIFY(std::isfinite(layout.startMarker->x));
                if (layout.endMarker)
                    QVERIFY(std::isfinite(layout.endMarker->x));
            }
        }
    }

    void pressesAndDragsReportTheTimeUnderThePointer()
    {
        BarUnderTest t(10);
        sendMouse(t.bar, QEvent::MouseButtonPress, t.onBar(100));
        QCOMPARE(t.reported, std::vector<double>{5.0});
        QCOMPARE(t.currentTime, 5.0);

        // Every move reports, the vertical position does not matter, and the
        // bar's ends clamp.
        sendMouse(t.bar, QEvent::MouseMove, {t.barRect().left() + 50, 0});
        sendMouse(t.bar, QEvent::MouseMove, t.onBar(200));
        sendMouse(t.bar, QEvent::MouseMove, t.onBar(260));
        sendMouse(t.bar, QEvent::MouseMove, t.onBar(0));
        sendMouse(t.bar, QEvent::MouseMove, t.onBar(-40));
        QCOMPARE(t.reported, (std::vector<double>{5.0, 2.5, 10.0, 10.0, 0.0, 0.0}));

        // Releasing reports nothing, and later moves without a press neither.
        sendMouse(t.bar, QEvent::MouseButtonRelease, t.onBar(150));
        sendMouse(t.bar, QEvent::MouseMove, t.onBar(150));
        QCOMPARE(t.reported.size(), size_t(6));
        QCOMPARE(t.currentTime, 0.0);
    }

    void pressPastTheTrailingEdgeReportsTheDuration()
    {
        BarUnderTest t(7.25);
        sendMouse(t.bar, QEvent::MouseButtonPress, t.onBar(200));
        sendMouse(t.bar, QEvent::MouseButtonRelease, t.onBar(200));
        sendMouse(t.bar, QEvent::MouseButtonPress, {t.bar.width() - 1.0, t.barRect().center().y()});
        QCOMPARE(t.reported, (std::vector<double>{7.25, 7.25}));
    }

    void callbackGetsTheValueReadBackFromTheBinding()
    {
        BarUnderTest t(10);
        // An owner that keeps whole seconds only.
        t.bar.setCurrentTime({[&t] { return t.currentTime; }, [&t](double s) { t.currentTime = std::floor(s); }});
        sendMouse(t.bar, QEvent::MouseButtonPress, t.onBar(117));
        QCOMPARE(t.reported, std::vector<double>{5.0});
    }

    void worksWithoutAnyBindings()
    {
        CustomProgressBar bar;
        bar.resize(bar.sizeHint());
        bar.setDuration(10);
        std::vector<double> reported;
        bar.setOnTimeChanged([&](double s) { reported.push_back(s); });
        sendMouse(bar, QEvent::MouseButtonPress, {bar.barRect().center().x(), 1});
        QCOMPARE(reported, std::vector<double>{5.0});
        QVERIFY(!renderOnWhite(bar).isNull());
    }

    void repaintsOnlyWhenThePictureChanges()
    {
        BarUnderTest t(10);  // 200 points for 10 s: 0.05 s is one pixel
        t.bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.bar));
        PaintCounter paints(t.bar);
        const auto settle = [] {
            QCoreApplication::processEvents();
            QTest::qWait(20);
        };
        settle();
        paints.count = 0;

        t.bar.refresh();
        settle();
        QCOMPARE(paints.count, 0);

        // Less than a pixel at a time is held back until a pixel has built up.
        for (int i = 0; i < 4; ++i) {
            t.currentTime += 0.01;
            t.bar.refresh();
            settle();
        }
        QCOMPARE(paints.count, 0);
        t.currentTime += 0.011;
        t.bar.refresh();
        QTRY_COMPARE(paints.count, 1);

        t.loopStart = 0.02;  // far below a pixel, but a new marker
        t.bar.refresh();
        QTRY_COMPARE(paints.count, 2);

        t.bar.setDuration(10);
        settle();
        QCOMPARE(paints.count, 2);
        t.bar.setDuration(20);
        QTRY_COMPARE(paints.count, 3);
    }
};

QTEST_MAIN(ProgressBarTest)
#include "tst_progressbar.moc"
