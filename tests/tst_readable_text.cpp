// Text a person can read: grey text at 4.5:1 or more on every surface it lies
// on, and text sizes that follow the desktop's font size.

#include "app/ContentView.h"
#include "ui/kit/CustomProgressBar.h"
#include "ui/screens/ImportStatus.h"
#include "ui/screens/PlayerCard.h"
#include "ui/screens/PlaylistListView.h"
#include "ui/kit/Palette.h"
#include "ui/kit/TextLine.h"
#include "ui/kit/Typography.h"
#include "TestSupport.h"

#include <QLabel>
#include <QTest>

using Palette::contrastRatio;

class ReadableTextTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { Typography::setDesktopFont(std::nullopt); }

    // The guidelines' reference points; then every grey the window draws
    // text in passes on white, on cards over either end of the backdrop, on
    // the bare backdrop and on the current playlist's tint, darkened no
    // further than it takes and keeping its bluish hue.
    void grayTextPassesOnEverySurface()
    {
        QCOMPARE(contrastRatio(Qt::black, Qt::white), 21.0);
        QVERIFY(contrastRatio(Qt::white, QColor(0x76, 0x76, 0x76)) >= Palette::minimumTextContrast);
        QVERIFY(contrastRatio(QColor(0x77, 0x77, 0x77), Qt::white) < Palette::minimumTextContrast);
        const QColor bluest = Palette::over(Palette::blue(0.1), Palette::white());
        const QColor card = Palette::over(Palette::white(0.8), bluest);
        for (const qreal opacity : {1.0, 0.8, 0.6}) {
            const QColor text = Palette::grayText(opacity);
            for (const QColor& surface : {QColor(Qt::white), bluest, card, Palette::over(Palette::blue(0.1), card)})
                QVERIFY(contrastRatio(text, surface) >= Palette::minimumTextContrast);
            QVERIFY(contrastRatio(text, Palette::darkestTextSurface()) < Palette::minimumTextContrast + 0.1);
            QVERIFY(text.alpha() == 255 && text.blue() > text.red() && text.red() == text.green());
        }

        // No line or label in the window or its sheets (its children) is fainter.
        TemporaryDefaults defaults;
        ContentView view(defaults.store());
        const QColor surface = Palette::darkestTextSurface();
        QStringList faint;
        for (const TextLine* line : view.findChildren<TextLine*>())
            if (contrastRatio(Palette::over(line->colour(), surface), surface) < Palette::minimumTextContrast)
                faint.append(line->text());
        const QList<QLabel*> labels = view.findChildren<QLabel*>();
        for (const QLabel* label : labels) {
            const QColor colour = label->palette().color(QPalette::WindowText);
            if (contrastRatio(Palette::over(colour, surface), surface) < Palette::minimumTextContrast)
                faint.append(label->text());
        }
        if (contrastRatio(Palette::over(ImportStatus::textColour(), surface), surface) < Palette::minimumTextContrast)
            faint.append(QStringLiteral("the import note"));
        QVERIFY(labels.size() >= 10);
        QVERIFY2(faint.isEmpty(), qPrintable(faint.join(QStringLiteral(", "))));
    }

    // At the desktop size the styles were drawn for they keep their sizes; a
    // larger desktop font makes them larger in proportion (a size in pixels
    // counts at 96 dots per inch), within 0.75 to 2 times; the plain design
    // takes the desktop's family. A window made under a desktop font of twice
    // the size has every line and label at twice its size, asking for the room.
    void textSizesFollowTheDesktopFont()
    {
        const auto bodyAt = [](const QFont& desktop) {
            Typography::setDesktopFont(desktop);
            return Typography::font(TextStyle::Body).pixelSize();
        };
        QCOMPARE(bodyAt(QFont(QStringLiteral("Sans Serif"), 9)), 13);
        QCOMPARE(bodyAt(QFont(QStringLiteral("DejaVu Serif"), 12)), 17);  // 13 × 12 / 9
        QCOMPARE(Typography::font(TextStyle::Body, FontDesign::Default).family(), QStringLiteral("DejaVu Serif"));
        QFont pixels(QStringLiteral("Sans Serif"));
        pixels.setPixelSize(24);  // 18 points
        QCOMPARE(bodyAt(pixels), 26);
        QCOMPARE(bodyAt(QFont(QStringLiteral("Sans Serif"), 40)), 26);
        QCOMPARE(bodyAt(QFont(QStringLiteral("Sans Serif"), 3)), 10);  // 13 × 0.75

        const auto textAt = [](int desktopPoints) {
            Typography::setDesktopFont(QFont(QStringLiteral("Sans Serif"), desktopPoints));
            TemporaryDefaults defaults;
            ContentView view(defaults.store());
            QList<QSize> sizes;  // pixel size, height asked for
            for (const TextLine* line : view.findChildren<TextLine*>())
                sizes.append({line->textFont().pixelSize(), line->sizeHint().height()});
            for (const QLabel* label : view.findChildren<QLabel*>())
                sizes.append({label->font().pixelSize(), label->sizeHint().height()});
            return sizes;
        };
        const QList<QSize> designed = textAt(9);
        const QList<QSize> doubled = textAt(18);
        QVERIFY(designed.size() >= 4 && doubled.size() == designed.size());
        for (qsizetype i = 0; i < designed.size(); ++i) {
            QVERIFY(designed[i].width() >= 10);
            QCOMPARE(doubled[i].width(), designed[i].width() * 2);
            QVERIFY(doubled[i].height() > designed[i].height() * 3 / 2);
        }

        // The playlists' column widens with its text, so that it holds as
        // much of a name (the window's least width grows with it); it is
        // never narrower than drawn.
        struct Column {
            int width = 0;
            qreal names = 0;  // how many times a name fits
            int windowWidth = 0;
        };
        const auto column = [](int desktopPoints) {
            Typography::setDesktopFont(QFont(QStringLiteral("Sans Serif"), desktopPoints));
            TemporaryDefaults defaults;
            ContentView view(defaults.store());
            const QWidget* list = view.findChild<PlaylistListView*>();
            const QFontMetricsF track(Typography::font(TextStyle::Subheadline));
            return Column{list->width(), list->width() / track.horizontalAdvance(QStringLiteral("Lesson 10.mp3")),
                          view.minimumSizeHint().width()};
        };
        const Column atDesigned = column(9), atDouble = column(18);
        QVERIFY2(atDouble.names > atDesigned.names * 0.95, qPrintable(QStringLiteral("%1 %2").arg(atDouble.names).arg(atDesigned.names)));
        QVERIFY(atDouble.windowWidth > atDesigned.windowWidth + 200);
        QCOMPARE(column(6).width, atDesigned.width);
    }

    // The bar's loop labels overhang it into the card's padding at its ends:
    // with a large desktop font, wider than the usual padding, the card makes
    // room (a label at the start was cut to "tart").
    void theLoopLabelsShowWholeAtTheBarsEnds()
    {
        for (const int desktopPoints : {9, 18, 24}) {
            Typography::setDesktopFont(QFont(QStringLiteral("Sans Serif"), desktopPoints));
            TemporaryDefaults defaults;
            ContentView view(defaults.store());
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            view.resize(view.minimumSizeHint());
            QTRY_COMPARE(view.size(), view.minimumSize());
            const PlayerCard& card = *view.playerCard();
            const CustomProgressBar& bar = *card.progressBar();
            const QRect onCard(bar.mapTo(&card, QPoint()), bar.size());
            QVERIFY2(card.rect().contains(onCard), qPrintable(QStringLiteral("%1 pt: the bar at %2, %3 wide, on a card %4 wide")
                                                                  .arg(desktopPoints).arg(onCard.x()).arg(onCard.width()).arg(card.width())));
        }
    }
};

QTEST_MAIN(ReadableTextTest)
#include "tst_readable_text.moc"
