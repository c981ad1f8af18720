#include "ui/Gradient.h"
#include "ui/Palette.h"
#include "ui/Shadow.h"
#include "ui/Shapes.h"
#include "ui/Symbols.h"
#include "ui/Typography.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QTest>

#include <cmath>

namespace {

QImage whiteImage(int width, int height, qreal devicePixelRatio = 1.0)
{
    QImage image(QSize(width, height) * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::white);
    return image;
}

// How much darker than white a pixel is (0 white, 255 black).
int darkness(const QImage& image, int x, int y)
{
    return 255 - qGray(image.pixel(x, y));
}

bool roughly(const QColor& actual, const QColor& expected, int tolerance = 8)
{
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

const Symbol allSymbols[] = {Symbol::PlayFill,        Symbol::PauseFill,   Symbol::StopFill,
                             Symbol::QuestionmarkCircleFill, Symbol::SpeakerWave3Fill, Symbol::SpeakerFill,
                             Symbol::Checkmark,       Symbol::ChevronRight, Symbol::ChevronDown};

}  // namespace

class DrawingTest : public QObject {
    Q_OBJECT

private slots:
    void namedColoursAndOpacity()
    {
        QCOMPARE(Palette::blue().name(), QStringLiteral("#007aff"));
        QCOMPARE(Palette::green().name(), QStringLiteral("#34c759"));
        QCOMPARE(Palette::color(NamedColor::Clear).alpha(), 0);
        QCOMPARE(Palette::gray(0.2).alpha(), 51);
        // Opacity multiplies whatever alpha the colour has.
        QCOMPARE(Palette::withOpacity(Palette::red(0.5), 0.5).alpha(), 64);
        QCOMPARE(Palette::withOpacity(Palette::red(), 3.0).alpha(), 255);
        // A linear-light level of 0.5 is encoded as about 0.735 in sRGB.
        QVERIFY(std::abs(Palette::linearGray(0.5).red() - 188) <= 1);
        QCOMPARE(Palette::linearGray(0, 0.33).rgb(), QColor(Qt::black).rgb());
    }

    void continuousCornersEaseOutOfTheEdges()
    {
        const QRectF rect(10, 20, 100, 60);
        const qreal r = 10;
        const QPainterPath continuous = Shapes::roundedRect(rect, r);
        QPainterPath circular;
        circular.addRoundedRect(rect, r, r);

        QCOMPARE(continuous.boundingRect(), rect);
        QVERIFY(continuous.contains(rect.center()));
        QVERIFY(!continuous.contains(rect.topLeft() + QPointF(1, 1)));
        // A continuous corner leaves the edge earlier and more gently: just
        // short of one radius from the corner the circular corner has nearly
        // met the edge, the continuous one is still further in. (A large
        // radius makes the difference measurable.)
        const QRectF big(0, 0, 1000, 600);
        const QPainterPath bigContinuous = Shapes::roundedRect(big, 100);
        QPainterPath bigCircular;
        bigCircular.addRoundedRect(big, 100, 100);
        const QPointF nearEdge(big.right() - 90, big.top() + 1.0);
        QVERIFY(bigCircular.contains(nearEdge));
        QVERIFY(!bigContinuous.contains(nearEdge));
        // The easing spans 1.6 radii; beyond that the edge is straight.
        QVERIFY(bigContinuous.contains(QPointF(big.right() - 165, big.top() + 0.05)));
        // The corners are symmetric: the same at every corner.
        for (const QPointF& corner : {rect.topLeft(), rect.topRight(), rect.bottomLeft(), rect.bottomRight()}) {
            const QPointF inward((rect.center().x() - corner.x()) > 0 ? 1 : -1, (rect.center().y() - corner.y()) > 0 ? 1 : -1);
            QVERIFY(!continuous.contains(corner + inward * 2.0));
            QVERIFY(continuous.contains(corner + inward * 4.0));
        }
    }

    void smallRectsGetRoundEnds()
    {
        // A 12-high bar with radius 6 has no room for easing: half circles.
        const QRectF bar(0, 0, 100, 12);
        const QPainterPath path = Shapes::roundedRect(bar, 6);
        for (int degrees = 100; degrees <= 260; degrees += 20) {
            const qreal a = degrees * M_PI / 180;
            const QPointF direction(std::cos(a), -std::sin(a));
            QVERIFY(path.contains(QPointF(6, 6) + 5.8 * direction));
            QVERIFY(!path.contains(QPointF(6, 6) + 6.2 * direction));
        }
        QCOMPARE(Shapes::capsule(bar).boundingRect(), bar);
        // A radius beyond half the short side is limited to it.
        QCOMPARE(Shapes::roundedRect(bar, 50).boundingRect(), bar);
        QVERIFY(Shapes::roundedRect(QRectF(0, 0, 0, 12), 6).isEmpty());
        QVERIFY(Shapes::roundedRect(bar, 0).contains(QPointF(0.2, 0.2)));
        QCOMPARE(Shapes::circle(QRectF(0, 0, 40, 20)).boundingRect(), QRectF(10, 0, 20, 20));
    }

    void gradientStopsAreEvenlySpaced()
    {
        const LinearGradient gradient{{Qt::red, Qt::green, Qt::blue}, UnitPoint::leading(), UnitPoint::trailing()};
        const QBrush brush = gradient.brushIn(QRectF(10, 0, 100, 20));
        const auto* linear = static_cast<const QLinearGradient*>(brush.gradient());
        QVERIFY(linear);
        QCOMPARE(linear->start(), QPointF(10, 10));
        QCOMPARE(linear->finalStop(), QPointF(110, 10));
        QCOMPARE(linear->stops().size(), 3);
        QCOMPARE(linear->stops()[1].first, 0.5);
        QCOMPARE(linear->stops()[1].second, QColor(Qt::green));
    }

    void gradientFillIsLaidOverTheShape()
    {
        QImage image = whiteImage(100, 10);
        {
            QPainter painter(&image);
            const FillStyle fill(LinearGradient{{Palette::green(), Palette::blue()}, UnitPoint::leading(), UnitPoint::trailing()});
            painter.fillRect(QRectF(0, 0, 100, 10), fill.brushIn(QRectF(0, 0, 100, 10)));
        }
        QVERIFY(roughly(image.pixelColor(0, 5), Palette::green()));
        QVERIFY(roughly(image.pixelColor(99, 5), Palette::blue()));
        QVERIFY(roughly(image.pixelColor(50, 5), QColor(26, 160, 172), 6));
        QCOMPARE(FillStyle(Palette::red()).brushIn({}).color(), Palette::red());
    }

    void shadowIsSoftAndFollowsItsOffset()
    {
        QImage image = whiteImage(120, 120);
        QPainterPath square;
        square.addRect(40, 40, 40, 40);
        ShadowCache cache;
        {
            QPainter painter(&image);
            cache.draw(painter, square, {Palette::black(0.5), 8, {0, 6}});
        }
        // Under the shape: the colour at its opacity; outside it fades out.
        QVERIFY(std::abs(darkness(image, 60, 60) - 128) <= 3);
        const int justBelow = darkness(image, 60, 86);
        const int fartherBelow = darkness(image, 60, 92);
        QVERIFY(justBelow > fartherBelow && fartherBelow > 0);
        QCOMPARE(darkness(image, 60, 110), 0);
        // Moved down: stronger below the shape than above it.
        QVERIFY(darkness(image, 60, 84) > darkness(image, 60, 36) + 20);
        QCOMPARE(darkness(image, 5, 5), 0);
    }

    void shadowsAreBlurredOnceAndReused()
    {
        ShadowCache cache;
        QImage image = whiteImage(200, 200);
        const ShadowStyle style{Palette::black(0.2), 5, {2, 2}};
        QPainterPath circle = Shapes::circle(QRectF(20, 20, 50, 50));
        {
            QPainter painter(&image);
            cache.draw(painter, circle, style);
            cache.draw(painter, circle, style);
            cache.draw(painter, circle.translated(60, 70), style);  // moved, same silhouette
            cache.draw(painter, circle, {style.color, style.radius, {-2, -2}});  // offset is applied when drawn
        }
        QCOMPARE(cache.blurCount(), 1);
        QCOMPARE(cache.entryCount(), 1);
        {
            QPainter painter(&image);
            cache.draw(painter, circle, {Palette::white(0.7), 5, {}});
            cache.draw(painter, circle, {style.color, 10, {}});
            cache.draw(painter, Shapes::circle(QRectF(20, 20, 60, 60)), style);
        }
        QCOMPARE(cache.blurCount(), 4);
        QImage sharp = whiteImage(100, 100, 2.0);
        {
            QPainter painter(&sharp);
            cache.draw(painter, circle, style);
            cache.draw(painter, circle, style);
        }
        QCOMPARE(cache.blurCount(), 5);
        QCOMPARE(cache.entryCount(), 5);
    }

    void shadowCacheKeepsToItsBudget()
    {
        // 50 to 60 KiB per shadow of these squares: 120 KiB hold two.
        ShadowCache cache(120 * 1024);
        QImage image = whiteImage(400, 400);
        QPainter painter(&image);
        for (int size = 100; size < 110; ++size) {
            QPainterPath square;
            square.addRect(0, 0, size, size);
            cache.draw(painter, square, {Palette::black(0.3), 4, {}});
        }
        QCOMPARE(cache.entryCount(), 2);
        QCOMPARE(cache.blurCount(), 10);

        // A shadow larger than the whole budget is never made at all, rather
        // than blurred again on every paint.
        QPainterPath huge;
        huge.addRect(0, 0, 390, 390);
        cache.draw(painter, huge, {Palette::black(0.3), 4, {}});
        cache.draw(painter, huge, {Palette::black(0.3), 4, {}});
        QCOMPARE(cache.blurCount(), 10);
    }

    void blurSpreadsSymmetricallyAndKeepsTheTotal()
    {
        QImage alpha(41, 41, QImage::Format_Alpha8);
        alpha.fill(0);
        for (int y = 18; y <= 22; ++y) {
            for (int x = 18; x <= 22; ++x)
                alpha.scanLine(y)[x] = 255;
        }
        Shadow::blurAlpha(alpha, 3);
        long total = 0;
        for (int y = 0; y < 41; ++y) {
            for (int x = 0; x < 41; ++x)
                total += alpha.constScanLine(y)[x];
        }
        QVERIFY(std::abs(total - 25 * 255) < 25 * 255 / 20);
        // Spread as a Gaussian of sigma 3 spreads: the block's own variance
        // (2) plus sigma squared (9), along each axis.
        double moment = 0;
        for (int y = 0; y < 41; ++y) {
            for (int x = 0; x < 41; ++x)
                moment += alpha.constScanLine(y)[x] * double(x - 20) * double(x - 20);
        }
        const double variance = moment / double(total);
        QVERIFY2(std::abs(variance - 11) < 1.5, qPrintable(QString::number(variance)));
        QCOMPARE(alpha.constScanLine(20)[12], alpha.constScanLine(20)[28]);
        QCOMPARE(alpha.constScanLine(12)[20], alpha.constScanLine(28)[20]);
        QVERIFY(alpha.constScanLine(20)[20] < 255);
        QVERIFY(alpha.constScanLine(20)[14] > 0);
        QCOMPARE(int(alpha.constScanLine(0)[0]), 0);
    }

    void symbolsFillTheirBox()
    {
        for (Symbol symbol : allSymbols) {
            const QString name = Symbols::name(symbol);
            QCOMPARE(Symbols::named(name), std::optional(symbol));
            const QSizeF box = Symbols::size(symbol, 20);
            QCOMPARE(box.height(), 20.0);
            QCOMPARE(Symbols::size(symbol, 40), box * 2);
            const QRectF bounds = Symbols::path(symbol, 20).boundingRect();
            QVERIFY2(!Symbols::path(symbol, 20).isEmpty(), qPrintable(name));
            QVERIFY2(QRectF(QPointF(), box).adjusted(-0.01, -0.01, 0.01, 0.01).contains(bounds), qPrintable(name));
            QVERIFY2(bounds.height() > box.height() * 0.4 && bounds.width() > box.width() * 0.5, qPrintable(name));
        }
        QVERIFY(!Symbols::named(QStringLiteral("play")).has_value());
    }

    void symbolShapesReadAsTheirNames()
    {
        // play points right: tall at its leading side, a tip at its trailing side.
        const QPainterPath play = Symbols::path(Symbol::PlayFill, 100);
        QVERIFY(play.contains(QPointF(20, 20)) && play.contains(QPointF(20, 80)));
        QVERIFY(!play.contains(QPointF(75, 20)) && play.contains(QPointF(75, 50)));
        // pause: two bars with a gap.
        const QPainterPath pause = Symbols::path(Symbol::PauseFill, 100);
        QVERIFY(pause.contains(QPointF(20, 50)) && !pause.contains(QPointF(39, 50)) && pause.contains(QPointF(57, 50)));
        // The question mark is cut out of its disc.
        const QPainterPath help = Symbols::path(Symbol::QuestionmarkCircleFill, 100);
        QVERIFY(help.contains(QPointF(20, 50)));
        QVERIFY(!help.contains(QPointF(50, 76)));
        QVERIFY(!help.contains(QPointF(50, 52)));
        // The waves stand apart from the speaker.
        const QPainterPath loud = Symbols::path(Symbol::SpeakerWave3Fill, 100);
        const QPainterPath quiet = Symbols::path(Symbol::SpeakerFill, 100);
        QVERIFY(loud.contains(QPointF(96, 50)) && !loud.contains(QPointF(58, 50)));
        QVERIFY(quiet.contains(QPointF(30, 50)) && loud.contains(QPointF(30, 50)));
        // The chevrons point their way.
        QVERIFY(Symbols::path(Symbol::ChevronRight, 100).contains(QPointF(44, 50)));
        QVERIFY(!Symbols::path(Symbol::ChevronRight, 100).contains(QPointF(18, 50)));
        QVERIFY(Symbols::path(Symbol::ChevronDown, 100).contains(QPointF(50, 66)));
        QVERIFY(!Symbols::path(Symbol::ChevronDown, 100).contains(QPointF(50, 34)));
    }

    void symbolTakesAGradientFill()
    {
        QImage image = whiteImage(40, 40);
        {
            QPainter painter(&image);
            Symbols::draw(painter, Symbol::StopFill, 40, {0, 0},
                          LinearGradient{{Palette::blue(), Palette::cyan()}, UnitPoint::top(), UnitPoint::bottom()});
        }
        const QColor top = image.pixelColor(18, 7);
        const QColor bottom = image.pixelColor(18, 33);
        QVERIFY2(roughly(top, Palette::blue(), 30), qPrintable(top.name()));
        QVERIFY2(roughly(bottom, Palette::cyan(), 30), qPrintable(bottom.name()));
        QCOMPARE(image.pixelColor(1, 1), QColor(Qt::white));
    }

    void textStylesUseTheRoundedFace()
    {
        const bool hasRounded = QFontDatabase::families().contains(Typography::roundedFamilyName);
        QCOMPARE(Typography::roundedFamily(), hasRounded ? Typography::roundedFamilyName : Typography::systemFamily());

        const QFont headline = Typography::font(TextStyle::Headline);
        QCOMPARE(headline.pixelSize(), 13);
        QCOMPARE(headline.weight(), QFont::Bold);
        QCOMPARE(headline.family(), Typography::roundedFamily());
        const QFont caption2 = Typography::font(TextStyle::Caption2);
        QCOMPARE(caption2.pixelSize(), 10);
        QCOMPARE(caption2.weight(), QFont::Normal);
        QCOMPARE(Typography::font(TextStyle::Subheadline).pixelSize(), 11);
        QCOMPARE(Typography::font(TextStyle::Body, FontDesign::Rounded, FontWeight::Medium).weight(), QFont::Medium);
        QCOMPARE(Typography::font(TextStyle::Caption, FontDesign::Default).family(), Typography::systemFamily());
        QCOMPARE(Typography::systemFont(20).pixelSize(), 20);

        if (hasRounded) {
            QCOMPARE(QFontInfo(headline).family(), Typography::roundedFamilyName);
            // Latin and Hangul come from the same face.
            QVERIFY(QFontMetrics(headline).inFontUcs4(U'가'));
            QVERIFY(QFontMetrics(headline).inFontUcs4(U'B'));
        }
    }

    void centredTextIsCentred()
    {
        QImage image = whiteImage(100, 30);
        {
            QPainter painter(&image);
            Typography::drawCentered(painter, QStringLiteral("HHHH"), Typography::font(TextStyle::Body), Qt::black,
                                     {50, 15});
        }
        int left = 100, right = -1, top = 30, bottom = -1;
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 100; ++x) {
                if (darkness(image, x, y) > 100) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        QVERIFY(right > left);
        QVERIFY2(std::abs((left + right) / 2.0 - 50) <= 2, qPrintable(QStringLiteral("%1..%2").arg(left).arg(right)));
        QVERIFY2(std::abs((top + bottom) / 2.0 - 15) <= 3, qPrintable(QStringLiteral("%1..%2").arg(top).arg(bottom)));
    }
};

QTEST_MAIN(DrawingTest)
#include "tst_drawing.moc"
