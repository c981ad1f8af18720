#include "ui/kit/CustomVerticalSlider.h"
#include "WidgetTesting.h"

#include <QTest>

#include <vector>

namespace {

// A 20 x 100 slider over 0...1 in steps of 0.01, as in the volume column.
struct SliderUnderTest {
    float volume = 0.33f;
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

    void press(qreal y, qreal x = 10) { sendMouse(slider, QEvent::MouseButtonPress, {x, y}); }
    void move(qreal y) { sendMouse(slider, QEvent::MouseMove, {10, y}); }
};

bool isBlue(const QColor& c)
{
    return c.blue() > 200 && c.red() < 60;
}

// The topmost blue row in the bar's middle column, or the height when none.
int fillTop(const QImage& image, int column = 4)
{
    for (int y = 0; y < image.height(); ++y) {
        if (isBlue(image.pixelColor(column, y)))
            return y;
    }
    return image.height();
}

}  // namespace

class VolumeSliderTest : public QObject {
    Q_OBJECT

private slots:
    void pressSetsTheValueFromItsHeight_data()
    {
        QTest::addColumn<qreal>("y");
        QTest::addColumn<float>("lowerBound");
        QTest::addColumn<int>("height");
        QTest::addColumn<float>("expected");
        QTest::newRow("43.2 below the top: 56.8 rounds up") << qreal(43.2) << 0.0f << 100 << 0.57f;
        QTest::newRow("above the top") << qreal(-30) << 0.0f << 100 << 1.0f;
        QTest::newRow("bottom") << qreal(100) << 0.0f << 100 << 0.0f;
        QTest::newRow("below the bottom") << qreal(140) << 0.0f << 100 << 0.0f;
        QTest::newRow("half step rounds away from zero") << qreal(99.5) << 0.0f << 100 << 0.01f;
        QTest::newRow("just under half a step") << qreal(99.6) << 0.0f << 100 << 0.0f;
        QTest::newRow("under the lower bound") << qreal(95) << 0.2f << 100 << 0.2f;
        QTest::newRow("the scale still starts at 0") << qreal(50) << 0.2f << 100 << 0.5f;
        QTest::newRow("no height: 0 / 0 is the upper bound") << qreal(0) << 0.0f << 0 << 1.0f;
    }

    void pressSetsTheValueFromItsHeight()
    {
        QFETCH(qreal, y);
        QFETCH(float, lowerBound);
        QFETCH(int, height);
        QFETCH(float, expected);
        SliderUnderTest t;
        t.slider.setRange({lowerBound, 1.0f});
        t.slider.resize(20, height);
        t.press(y);
        QCOMPARE(t.reported.size(), size_t(1));
        QCOMPARE(t.reported[0], expected);  // fuzzy: a multiple of 0.01f may be a float off
        QCOMPARE(t.volume, expected);
    }

    void everyMoveReportsAndReleaseEndsTheDrag()
    {
        SliderUnderTest t;
        t.press(50, 18);  // beside the bar counts too
        t.move(-10);
        t.move(-20);  // past the end: still reported, once per movement
        t.move(75);
        t.move(130);
        sendMouse(t.slider, QEvent::MouseButtonRelease, {10, 130});
        t.move(20);
        QCOMPARE(t.reported, (std::vector<float>{0.5f, 1.0f, 1.0f, 0.25f, 0.0f}));
        QCOMPARE(t.volume, 0.0f);

        // The callback gets the value computed, not what the owner kept of it.
        t.slider.setValue({[&t] { return t.volume; }, [&t](float) { t.volume = 0.9f; }});
        t.press(70);
        QCOMPARE(t.reported.back(), 0.3f);
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
            QVERIFY2(image.pixelColor(4, top - 2).red() < 240, "gray track above the fill");
        QCOMPARE(fillTop(image, 15), 100);  // the bar keeps to the leading side

        t.slider.setLayoutDirection(Qt::RightToLeft);
        QVERIFY(std::abs(fillTop(renderOnWhite(t.slider), 15) - top) <= 1);
    }

    void repaintsOnlyWhenTheValueChanges()
    {
        SliderUnderTest t;
        t.slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.slider));
        PaintCounter paints(t.slider);
        for (float volume : {0.33f, 0.5f}) {
            QTest::qWait(20);
            paints.count = 0;
            t.volume = volume;
            t.slider.refresh();
            QCOMPARE(QTest::qWaitFor([&] { return paints.count > 0; }, 100), volume != 0.33f);
        }
    }
};

QTEST_MAIN(VolumeSliderTest)
#include "tst_volumeslider.moc"
