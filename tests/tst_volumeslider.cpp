#include "ui/CustomVerticalSlider.h"

#include "WidgetTesting.h"

#include <QTest>

#include <cmath>
#include <vector>

namespace {

// A 20 x 100 slider over 0...1 in steps of 0.01, as in the volume column.
struct SliderUnderTest {
    float volume = 1.0f;
    std::vector<float> reported;
    CustomVerticalSlider slider;

    SliderUnderTest()
    {
        slider.setValue(Binding<float>::to(volume));
        slider.setRange({0.0f, 1.0f});
        slider.setStep(0.01f);
        slider.setOnChanged([this](float value) { reported.push_back(value); });
        slider.resize(20, 100);
    }

    void press(qreal y) { sendMouse(slider, QEvent::MouseButtonPress, {10, y}); }
    void move(qreal y) { sendMouse(slider, QEvent::MouseMove, {10, y}); }
    void release(qreal y) { sendMouse(slider, QEvent::MouseButtonRelease, {10, y}); }
};

bool isBlue(const QColor& c)
{
    return c.blue() > 200 && c.red() < 60;
}

// The topmost blue row in the bar's middle column, or the height when none.
int fillTop(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        if (isBlue(image.pixelColor(4, y)))
            return y;
    }
    return image.height();
}

class PaintSpy : public QObject {
public:
    PaintSpy(QWidget& widget, int& count)
        : m_count(count)
    {
        widget.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++m_count;
        return false;
    }

private:
    int& m_count;
};

}  // namespace

class VolumeSliderTest : public QObject {
    Q_OBJECT

private slots:
    void pressSetsTheValueFromItsHeight_data()
    {
        QTest::addColumn<qreal>("y");
        QTest::addColumn<float>("expected");
        QTest::newRow("43.2 below the top: 56.8 rounds up") << qreal(43.2) << 0.57f;
        QTest::newRow("top") << qreal(0) << 1.0f;
        QTest::newRow("above the top") << qreal(-30) << 1.0f;
        QTest::newRow("bottom") << qreal(100) << 0.0f;
        QTest::newRow("below the bottom") << qreal(140) << 0.0f;
        QTest::newRow("half step rounds away from zero") << qreal(99.5) << 0.01f;
        QTest::newRow("just under half a step") << qreal(99.6) << 0.0f;
    }

    void pressSetsTheValueFromItsHeight()
    {
        QFETCH(qreal, y);
        QFETCH(float, expected);
        SliderUnderTest t;
        t.volume = 0.33f;
        t.press(y);
        QCOMPARE(t.reported.size(), size_t(1));
        QCOMPARE(t.reported[0], expected);
        QCOMPARE(t.volume, expected);
    }

    void everyMoveReportsAndReleaseReportsNothing()
    {
        SliderUnderTest t;
        t.press(50);
        t.move(-10);
        t.move(-20);  // past the end: still reported, once per movement
        t.move(75);
        t.move(130);
        t.release(130);
        t.move(20);
        QCOMPARE(t.reported, (std::vector<float>{0.5f, 1.0f, 1.0f, 0.25f, 0.0f}));
        QCOMPARE(t.volume, 0.0f);
    }

    void dragsOnlyProduceMultiplesOfTheStep()
    {
        SliderUnderTest t;
        t.press(0);
        for (qreal y = 0; y <= 100; y += 0.37)
            t.move(y);
        QVERIFY(t.reported.size() > 200);
        for (float value : t.reported) {
            const float steps = value / 0.01f;
            QVERIFY2(std::abs(steps - std::round(steps)) < 1e-3f, qPrintable(QString::number(value)));
            QVERIFY(value >= 0.0f && value <= 1.0f);
        }
    }

    void lowerBoundOnlyClampsWhatADragProduces()
    {
        SliderUnderTest t;
        t.slider.setRange({0.2f, 1.0f});
        t.press(95);
        QCOMPARE(t.reported.back(), 0.2f);
        // The scale still runs from 0: halfway up is half the upper bound.
        t.move(50);
        QCOMPARE(t.reported.back(), 0.5f);
    }

    void callbackGetsTheComputedValueNotTheBindingsOwn()
    {
        SliderUnderTest t;
        t.slider.setValue({[&t] { return t.volume; }, [&t](float) { t.volume = 0.9f; }});
        t.press(70);
        QCOMPARE(t.reported.size(), size_t(1));
        QCOMPARE(t.reported[0], 0.3f);  // fuzzy: 0.01f * 30 is one float below 0.3f
        QCOMPARE(t.volume, 0.9f);
    }

    void fillRisesFromTheBottomInProportion_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("top");
        QTest::newRow("full") << 1.0f << 0;
        QTest::newRow("half") << 0.5f << 50;
        QTest::newRow("set elsewhere, not a step") << 0.123f << 88;
        QTest::newRow("empty") << 0.0f << 100;
    }

    void fillRisesFromTheBottomInProportion()
    {
        QFETCH(float, value);
        QFETCH(int, top);
        SliderUnderTest t;
        t.volume = value;
        const QImage image = renderOnWhite(t.slider);
        QVERIFY2(std::abs(fillTop(image) - top) <= 1, qPrintable(QString::number(fillTop(image))));
        if (top > 2)
            QVERIFY2(!isBlue(image.pixelColor(4, top - 2)) && image.pixelColor(4, top - 2).red() < 240,
                     "gray track above the fill");
    }

    void barSitsAtTheLeadingSide()
    {
        SliderUnderTest t;
        t.volume = 1.0f;
        QImage image = renderOnWhite(t.slider);
        QVERIFY(isBlue(image.pixelColor(4, 50)));
        QCOMPARE(image.pixelColor(15, 50), QColor(Qt::white));

        t.slider.setLayoutDirection(Qt::RightToLeft);
        image = renderOnWhite(t.slider);
        QVERIFY(isBlue(image.pixelColor(15, 50)));
        QCOMPARE(image.pixelColor(4, 50), QColor(Qt::white));
    }

    void heightlessSliderGivesTheUpperBound()
    {
        // (h - y) / h is 0 / 0 here: not less than the upper bound, so the upper bound.
        SliderUnderTest t;
        t.slider.resize(20, 0);
        t.press(0);
        QCOMPARE(t.reported.size(), size_t(1));
        QCOMPARE(t.reported[0], 1.0f);
    }

    void repaintsOnlyWhenTheValueChanges()
    {
        SliderUnderTest t;
        t.slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.slider));
        int paints = 0;
        PaintSpy spy(t.slider, paints);
        QTest::qWait(20);
        paints = 0;
        t.slider.refresh();
        QTest::qWait(20);
        QCOMPARE(paints, 0);
        t.volume = 0.5f;
        t.slider.refresh();
        QTRY_COMPARE(paints, 1);
    }

    void pressesOnTheEmptyPartCount()
    {
        SliderUnderTest t;
        sendMouse(t.slider, QEvent::MouseButtonPress, {18, 80});
        QCOMPARE(t.reported.size(), size_t(1));
        QCOMPARE(t.reported[0], 0.2f);
    }
};

QTEST_MAIN(VolumeSliderTest)
#include "tst_volumeslider.moc"
