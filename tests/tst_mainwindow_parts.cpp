// The pieces the main window is built from: the text line, the backdrop that
// paints cards and their shadows, the transport row's spacing, and the sheet
// presenter.
#include "WidgetTesting.h"
#include "app/TransportRow.h"
#include "ui/Backdrop.h"
#include "ui/Palette.h"
#include "ui/PlainButton.h"
#include "ui/TextLine.h"
#include "ui/TransportLabels.h"
#include "ui/Typography.h"

#include <QDialog>
#include <QFontMetricsF>
#include <QLabel>
#include <QTest>

namespace {

int brightness(const QColor& colour)
{
    return colour.red() + colour.green() + colour.blue();
}

}  // namespace

class MainWindowPartsTest : public QObject {
    Q_OBJECT

private slots:
    void aLongNameLosesItsMiddleAndStaysOnOneLine()
    {
        TextLine line(Typography::font(TextStyle::Subheadline), Palette::gray(), Qt::AlignLeft);
        line.setElideMode(Qt::ElideMiddle);
        const QString name = QStringLiteral("Advanced listening practice, lesson Unit 12.mp3");
        line.setText(name);
        QCOMPARE(line.minimumSizeHint().width(), 0);
        QCOMPARE(line.sizeHint().height(), line.minimumSizeHint().height());

        line.resize(line.sizeHint());
        QCOMPARE(line.displayedText(), name);
        line.resize(line.sizeHint().width() / 2, line.sizeHint().height());
        const QString shown = line.displayedText();
        QVERIFY(shown.contains(QChar(0x2026)));
        QVERIFY(shown.startsWith(QStringLiteral("Adv")));
        QVERIFY(shown.endsWith(QStringLiteral("12.mp3")));
        QVERIFY(QFontMetricsF(line.textFont()).horizontalAdvance(shown) <= line.width());

        // A line that must be read whole asks for its whole width.
        TextLine hint(Typography::font(TextStyle::Caption), Palette::gray(), Qt::AlignHCenter);
        hint.setElideMode(Qt::ElideNone);
        hint.setText(name);
        QCOMPARE(hint.minimumSizeHint(), hint.sizeHint());
    }

    void theBackdropPaintsACardAndItsShadowBeyondIt()
    {
        Backdrop backdrop({{Palette::blue(0.1)}, UnitPoint::top(), UnitPoint::bottom()});
        backdrop.resize(300, 200);
        auto* card = new QWidget(&backdrop);
        card->setGeometry(50, 40, 120, 60);
        backdrop.addCard(card, CardStyle::standard());
        QCOMPARE(backdrop.cardRect(card), QRectF(50, 40, 120, 60));

        QImage image = renderOnWhite(backdrop);
        const QColor plain = colourAt(image, {110, 180});
        QVERIFY2(brightness(colourAt(image, {110, 70})) > brightness(plain) + 10, "the card is whiter than the ground");
        QVERIFY2(brightness(colourAt(image, {110, 106})) < brightness(plain) - 3, "its shadow falls below it");
        QCOMPARE(colourAt(image, {250, 70}), plain);

        // It follows the card, and a hidden card leaves no trace.
        card->move(150, 40);
        image = renderOnWhite(backdrop);
        QCOMPARE(colourAt(image, {80, 70}), plain);
        QVERIFY(brightness(colourAt(image, {210, 70})) > brightness(plain) + 10);
        card->hide();
        QVERIFY(backdrop.cardRect(card).isEmpty());
        image = renderOnWhite(backdrop);
        QCOMPARE(colourAt(image, {210, 70}), plain);
        QCOMPARE(colourAt(image, {210, 106}), plain);

        // A destroyed card is simply gone.
        delete card;
        QCOMPARE(renderOnWhite(backdrop), image);
    }

    void theTransportShapesStandTwentyApart()
    {
        TransportRow row;
        row.resize(row.sizeHint() + QSize(60, 20));  // extra room: the group stays centred
        row.show();
        QVERIFY(QTest::qWaitForWindowExposed(&row));
        QList<QRectF> shapes;
        for (PlainButton* button : {row.playPauseButton(), row.stopButton(), row.helpButton()})
            shapes.append(button->labelRect().translated(button->pos()));
        QCOMPARE(shapes[0].size(), QSizeF(50, 50));
        QCOMPARE(shapes[1].size(), QSizeF(50, 50));
        QCOMPARE(shapes[1].left() - shapes[0].right(), 20.0);
        QCOMPARE(shapes[2].left() - shapes[1].right(), 20.0);
        QCOMPARE(shapes[0].left() - 0, row.width() - shapes[2].right());
        for (const QRectF& shape : shapes)
            QCOMPARE(shape.center().y(), row.height() / 2.0);
        // Each shape has room for its shadows inside the row.
        const QMargins overflow = TransportLook::overflowMargins();
        QVERIFY(overflow.left() >= 10);
        QVERIFY(shapes[0].left() >= overflow.left());
        QVERIFY(shapes[0].top() >= overflow.top());

        // Swapping play for pause moves nothing; only play/pause and stop switch off.
        const QRect before = row.playPauseButton()->geometry();
        row.setPlayPauseSymbol(Symbol::PauseFill);
        QCOMPARE(row.playPauseSymbol(), Symbol::PauseFill);
        QCOMPARE(row.playPauseButton()->geometry(), before);
        row.setTransportEnabled(false);
        QVERIFY(!row.playPauseButton()->isEnabled());
        QVERIFY(!row.stopButton()->isEnabled());
        QVERIFY(row.helpButton()->isEnabled());
    }
};

QTEST_MAIN(MainWindowPartsTest)
#include "tst_mainwindow_parts.moc"
