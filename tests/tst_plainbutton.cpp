#include "ui/GradientCapsuleLabel.h"
#include "ui/Palette.h"
#include "ui/PlainButton.h"
#include "ui/Typography.h"

#include "WidgetTesting.h"

#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

// A label that fills its whole rect with black and wants 40 x 20.
std::shared_ptr<PainterLabel> blockLabel()
{
    return std::make_shared<PainterLabel>([] { return QSizeF(40, 20); },
                                          [](QPainter& painter, const QRectF& rect) { painter.fillRect(rect, Qt::black); });
}

int darkness(const QImage& image, int x, int y)
{
    return 255 - qGray(image.pixel(x, y));
}

}  // namespace

class PlainButtonTest : public QObject {
    Q_OBJECT

private slots:
    void clickingNeverTakesTheKeyboardFocus()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* capture = new QLineEdit(&window);
        auto* button = new PlainButton(blockLabel(), &window);
        layout->addWidget(capture);
        layout->addWidget(button);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        capture->setFocus();
        QTRY_VERIFY(capture->hasFocus());

        QSignalSpy clicked(button, &QAbstractButton::clicked);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        QCOMPARE(clicked.count(), 1);
        QVERIFY(capture->hasFocus());
        QVERIFY(!button->hasFocus());
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
    }

    void disabledButtonIgnoresClicksAndLooksFaded()
    {
        PlainButton button(blockLabel());
        button.resize(button.sizeHint());
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        const QImage enabled = renderOnWhite(button);

        button.setEnabled(false);
        QSignalSpy clicked(&button, &QAbstractButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton, {}, button.rect().center());
        QCOMPARE(clicked.count(), 0);

        const QImage disabled = renderOnWhite(button);
        QCOMPARE(darkness(enabled, 20, 10), 255);
        QVERIFY(darkness(disabled, 20, 10) < 150);
        QVERIFY(darkness(disabled, 20, 10) > 30);  // still there, only faded
    }

    void scaleShrinksAboutTheCentre()
    {
        PlainButton button(blockLabel());
        button.resize(40, 20);
        button.setScale(0.5);
        const QImage image = renderOnWhite(button);
        QCOMPARE(darkness(image, 1, 1), 0);
        QCOMPARE(darkness(image, 38, 18), 0);
        QCOMPARE(darkness(image, 20, 10), 255);
        QCOMPARE(darkness(image, 11, 6), 255);
        QCOMPARE(darkness(image, 8, 3), 0);
        QVERIFY(button.metaObject()->indexOfProperty("scale") >= 0);
        QVERIFY(button.setProperty("scale", 0.9));
        QCOMPARE(button.scale(), 0.9);
    }

    void overflowMarginsGiveRoomButDoNotTakeClicks()
    {
        PlainButton button(blockLabel());
        button.setOverflowMargins(QMargins(6, 4, 6, 8));
        QCOMPARE(button.sizeHint(), QSize(52, 32));
        button.resize(button.sizeHint());
        QCOMPARE(button.labelRect(), QRectF(6, 4, 40, 20));
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        QSignalSpy clicked(&button, &QAbstractButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(clicked.count(), 0);
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(clicked.count(), 1);
        const QImage image = renderOnWhite(button);
        QCOMPARE(darkness(image, 3, 2), 0);
        QCOMPARE(darkness(image, 7, 5), 255);
    }

    void capsuleLabelIsPaddedCaptionText()
    {
        const GradientCapsuleLabel label(QStringLiteral("Delete"), Palette::red(), Palette::orange());
        const QSizeF text = Typography::textSize(QStringLiteral("Delete"), Typography::font(TextStyle::Caption));
        QCOMPARE(label.sizeHint(), QSizeF(text.width() + 20, text.height() + 10));
    }

    void capsuleLabelRunsFromTopToBottomColourBehindWhiteText()
    {
        const auto label = std::make_shared<GradientCapsuleLabel>(QStringLiteral("New"), Palette::blue(), Palette::red());
        PlainButton button(label);
        button.resize(button.sizeHint());
        const QImage image = renderOnWhite(button);
        const int w = image.width();
        const int h = image.height();
        // Left of the text, near the top and the bottom.
        const QColor top = image.pixelColor(6, 2);
        const QColor bottom = image.pixelColor(6, h - 3);
        QVERIFY2(top.blue() > top.red(), qPrintable(top.name()));
        QVERIFY2(bottom.red() > bottom.blue(), qPrintable(bottom.name()));
        // At opacity 0.8 over white nothing is fully saturated.
        QVERIFY(top.red() > 30);
        // The ends are round: the corners stay white.
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::white));
        QCOMPARE(image.pixelColor(w - 1, h - 1), QColor(Qt::white));
        // White text in the middle: thin strokes, so look for pixels far
        // lighter than the capsule (whose lightest channel stays near 130).
        int whitish = 0;
        for (int x = 10; x < w - 10; ++x) {
            for (int y = 5; y < h - 5; ++y) {
                const QColor c = image.pixelColor(x, y);
                if (std::min({c.red(), c.green(), c.blue()}) > 190)
                    ++whitish;
            }
        }
        QVERIFY(whitish > 5);
    }
};

QTEST_MAIN(PlainButtonTest)
#include "tst_plainbutton.moc"
