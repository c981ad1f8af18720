#include "input/KeyRepeats.h"
#include "ui/kit/GradientCapsuleLabel.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PlainButton.h"
#include "WidgetTesting.h"

#include <QApplication>
#include <QKeyEvent>
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
    void clicksCountOnTheLabelOnlyAndNeverTakeTheFocus()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* capture = new QLineEdit(&window);
        auto* button = new PlainButton(blockLabel(), &window);
        button->setOverflowMargins(QMargins(6, 4, 6, 8));  // room for a shadow
        layout->addWidget(capture);
        layout->addWidget(button);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        capture->setFocus();
        QTRY_VERIFY(capture->hasFocus());

        QSignalSpy clicked(button, &QAbstractButton::clicked);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(clicked.count(), 0);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(clicked.count(), 1);
        QVERIFY(capture->hasFocus());

        button->setEnabled(false);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(clicked.count(), 1);
    }

    // Focused, Enter and Return alone press it, once per press: Space and the
    // arrows are the window's and go on to the parent untouched, as any other
    // key does, and never move the focus.
    void tabReachesItAndOnlyEnterPressesIt()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* field = new QLineEdit(&window);
        auto* button = new PlainButton(blockLabel(), &window);
        layout->addWidget(field);
        layout->addWidget(button);
        layout->addWidget(new PlainButton(blockLabel(), &window));
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClick(window.windowHandle(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), button);

        QList<int> parentKeys;
        const EventTap keysOnTheWindow(window, QEvent::KeyPress, [&](QObject*, QEvent* event) {
            parentKeys.append(static_cast<QKeyEvent*>(event)->key());
        });
        QSignalSpy clicked(button, &QAbstractButton::clicked);
        const QList<int> windowKeys{Qt::Key_Space, Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_B};
        for (const int key : windowKeys)
            QTest::keyClick(window.windowHandle(), Qt::Key(key));
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(QApplication::focusWidget(), button);
        QCOMPARE(parentKeys, windowKeys);

        QTest::keyClick(window.windowHandle(), Qt::Key_Return);
        QTest::keyClick(window.windowHandle(), Qt::Key_Enter);
        QCOMPARE(clicked.count(), 2);
        QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
        QApplication::sendEvent(button, &held);
        QCOMPARE(clicked.count(), 2);
        // Held as X11 sends it when Qt does not mark the repeats: the
        // releases watched, a press of its release's time stamp is one.
        KeyRepeats::watch();
        holdKeyAsX11Does(window.windowHandle(), Qt::Key_Return, QStringLiteral("\r"), 4);
        QCOMPARE(clicked.count(), 3);
        QCOMPARE(parentKeys, windowKeys);
    }

    void labelSitsInsideTheMarginsScalesAboutTheCentreAndFadesWhenDisabled()
    {
        PlainButton button(blockLabel());
        button.setOverflowMargins(QMargins(6, 4, 6, 8));
        QCOMPARE(button.sizeHint(), QSize(40 + 12, 20 + 12));  // the margins are room beyond the label
        button.resize(button.sizeHint());
        QImage image = renderOnWhite(button);
        QVERIFY(darkness(image, 3, 2) == 0 && darkness(image, 26, 16) == 255);

        button.setScale(0.5);  // about the centre: the label's corners are bare now, its middle is not
        image = renderOnWhite(button);
        QVERIFY(darkness(image, 26, 16) == 255 && darkness(image, 8, 5) == 0 && darkness(image, 44, 22) == 0);

        button.setScale(1);
        button.setEnabled(false);
        const int faded = darkness(renderOnWhite(button), 26, 16);
        QVERIFY2(faded > 30 && faded < 150, qPrintable(QString::number(faded)));  // still there, only faded
    }

    void capsuleRunsFromTopToBottomColourBehindWhiteText()
    {
        PlainButton button(std::make_shared<GradientCapsuleLabel>(QStringLiteral("New"), Palette::blue(), Palette::red()));
        button.resize(button.sizeHint());
        const QImage image = renderOnWhite(button);
        const QColor top = image.pixelColor(6, 2);
        const QColor bottom = image.pixelColor(6, image.height() - 3);
        QVERIFY2(top.blue() > top.red() && top.red() > 30, qPrintable(top.name()));  // translucent over white
        QVERIFY2(bottom.red() > bottom.blue(), qPrintable(bottom.name()));
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::white));  // round ends
        // Thin white strokes, far lighter than the capsule (whose lightest channel stays near 130).
        int whitish = 0;
        for (int x = 10; x < image.width() - 10; ++x)
            whitish += qGray(image.pixel(x, image.height() / 2)) > 190;
        QVERIFY(whitish > 2);
    }
};

QTEST_MAIN(PlainButtonTest)
#include "tst_plainbutton.moc"
