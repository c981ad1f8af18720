// Where the playlist list puts its rows, and what a point hits, without any
// widget: small round metrics make every position checkable by hand.
#include "ui/PlaylistListLayout.h"

#include <QTest>

namespace {

using Part = PlaylistListLayout::Part;
using Hit = PlaylistListLayout::Hit;

PlaylistListLayout::Metrics roundMetrics()
{
    PlaylistListLayout::Metrics m;
    m.listPaddingTop = 10;
    m.listPaddingBottom = 10;
    m.groupSpacing = 8;
    m.groupPaddingHorizontal = 12;
    m.groupPaddingVertical = 5;
    m.disclosureWidth = 16;
    m.headerHeight = 30;
    m.contentSpacing = 6;
    m.trackIndent = 15;
    m.trackHeight = 30;
    m.trackPaddingHorizontal = 10;
    m.playButtonSize = {40, 20};
    m.noFilesHeight = 20;
    m.noPlaylistsHeight = 34;
    m.noPlaylistsWidth = 100;
    return m;
}

// Groups: 0 closed with 3 tracks, 1 open with 2 tracks, 2 open and empty,
// 3 closed and empty. Width 250.
//   group 0: top 10, header 15..45, bottom 50
//   group 1: top 58, header 63..93, rows at 99 and 135 (30 high), bottom 170
//   group 2: top 178, header 183..213, "No files" 219..239, bottom 244
//   group 3: top 252, header 257..287, bottom 292; content ends at 302
PlaylistListLayout sample()
{
    return PlaylistListLayout({{3, false}, {2, true}, {0, true}, {0, false}}, 250, roundMetrics());
}

}  // namespace

class PlaylistListLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void groupsStackWithTheirPaddingAndSpacing()
    {
        const PlaylistListLayout layout = sample();
        QCOMPARE(layout.groupRect(0), QRectF(0, 10, 250, 40));
        QCOMPARE(layout.groupRect(1), QRectF(0, 58, 250, 112));
        QCOMPARE(layout.groupRect(2), QRectF(0, 178, 250, 66));
        QCOMPARE(layout.groupRect(3), QRectF(0, 252, 250, 40));
        QCOMPARE(layout.contentHeight(), 302.0);

        QCOMPARE(layout.headerRect(1), QRectF(12, 63, 226, 30));
        QCOMPARE(layout.disclosureRect(1), QRectF(12, 63, 16, 30));
        QCOMPARE(layout.labelRect(1), QRectF(28, 63, 210, 30));

        // Closed groups and open empty ones show no track rows; the empty
        // open one shows a single note.
        QCOMPARE(layout.contentRowCount(0), 0);
        QCOMPARE(layout.contentRowCount(1), 2);
        QCOMPARE(layout.contentRowCount(2), 1);
        QCOMPARE(layout.contentRowCount(3), 0);
        QCOMPARE(layout.noFilesRect(2), QRectF(53, 219, 175, 20));
    }

    void trackCardsAreIndentedWithPlayAtTheirTrailingEdge()
    {
        const PlaylistListLayout layout = sample();
        QCOMPARE(layout.trackRect(1, 0), QRectF(43, 99, 195, 30));
        QCOMPARE(layout.trackRect(1, 1), QRectF(43, 135, 195, 30));
        QCOMPARE(layout.playButtonRect(1, 1), QRectF(188, 140, 40, 20));
        // The name runs from inside the card's padding to 8 short of Play.
        QCOMPARE(layout.trackTextRect(1, 1), QRectF(53, 135, 127, 30));
    }

    void anEmptyListHoldsOnlyItsNote()
    {
        const PlaylistListLayout layout({}, 250, roundMetrics());
        QCOMPARE(layout.groupCount(), 0);
        QCOMPARE(layout.noPlaylistsRect(), QRectF(0, 10, 100, 34));
        QCOMPARE(layout.contentHeight(), 54.0);
        QCOMPARE(layout.hitTest({50, 20}), (Hit{Part::NoPlaylists, -1, -1}));
        QCOMPARE(layout.hitTest({150, 20}), Hit{});
        const auto [first, last] = layout.groupsIn(0, 1000);
        QCOMPARE(first, last);
        QVERIFY(sample().noPlaylistsRect().isNull());
    }

    void pointsHitTheControlUnderThem_data()
    {
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<Hit>("expected");
        QTest::newRow("above everything") << QPointF(100, 5) << Hit{};
        QTest::newRow("chevron") << QPointF(20, 30) << Hit{Part::Disclosure, 0, -1};
        QTest::newRow("chevron's last column") << QPointF(27.9, 30) << Hit{Part::Disclosure, 0, -1};
        QTest::newRow("label, start") << QPointF(28, 30) << Hit{Part::Label, 0, -1};
        QTest::newRow("label, empty end") << QPointF(237, 16) << Hit{Part::Label, 0, -1};
        QTest::newRow("group padding beside the header") << QPointF(5, 30) << Hit{};
        QTest::newRow("spacing between groups") << QPointF(100, 54) << Hit{};
        QTest::newRow("first track, name") << QPointF(60, 99) << Hit{Part::TrackRow, 1, 0};
        QTest::newRow("first track, play") << QPointF(200, 110) << Hit{Part::PlayButton, 1, 0};
        QTest::newRow("gap between tracks") << QPointF(200, 131) << Hit{};
        QTest::newRow("second track, last line") << QPointF(60, 164.9) << Hit{Part::TrackRow, 1, 1};
        QTest::newRow("second track, play") << QPointF(227, 150) << Hit{Part::PlayButton, 1, 1};
        QTest::newRow("indent left of a card") << QPointF(35, 110) << Hit{};
        QTest::newRow("no files note") << QPointF(60, 229) << Hit{Part::NoFiles, 2, -1};
        QTest::newRow("last header") << QPointF(100, 270) << Hit{Part::Label, 3, -1};
        QTest::newRow("below everything") << QPointF(100, 300) << Hit{};
    }

    void pointsHitTheControlUnderThem()
    {
        QFETCH(QPointF, point);
        QFETCH(Hit, expected);
        QCOMPARE(sample().hitTest(point), expected);
    }

    void bandsFindTheGroupsAndRowsReachingIntoThem()
    {
        const PlaylistListLayout layout = sample();
        using Range = std::pair<int, int>;
        QCOMPARE(layout.groupsIn(0, 10), Range(0, 0));     // only the list's top padding
        QCOMPARE(layout.groupsIn(0, 10.5), Range(0, 1));
        QCOMPARE(layout.groupsIn(50, 58), Range(1, 1));    // the gap between two groups
        QCOMPARE(layout.groupsIn(49, 59), Range(0, 2));
        QCOMPARE(layout.groupsIn(100, 260), Range(1, 4));
        QCOMPARE(layout.groupsIn(292, 400), Range(4, 4));

        QCOMPARE(layout.tracksIn(1, 0, 99), Range(0, 0));
        QCOMPARE(layout.tracksIn(1, 128.9, 130), Range(0, 1));
        QCOMPARE(layout.tracksIn(1, 129, 135), Range(1, 1));  // between the rows
        QCOMPARE(layout.tracksIn(1, 100, 136), Range(0, 2));
        QCOMPARE(layout.tracksIn(0, 0, 1000), Range(0, 0));  // closed
        QCOMPARE(layout.tracksIn(2, 0, 1000), Range(0, 0));  // no tracks
    }

    void tenThousandRowsAreFoundByArithmetic()
    {
        const PlaylistListLayout layout({{0, true}, {10000, true}, {5, false}}, 250, roundMetrics());
        // Group 1 starts at 10 + 66 + 8; its rows start 5 + 30 + 6 below that.
        const qreal firstRow = 84 + 41;
        QCOMPARE(layout.trackRect(1, 9999).top(), firstRow + 9999 * 36);
        QCOMPARE(layout.groupRect(2).top(), firstRow + 9999 * 36 + 30 + 5 + 8);
        QCOMPARE(layout.contentHeight(), layout.groupRect(2).bottom() + 10);

        const QPointF onLastPlay = layout.playButtonRect(1, 9999).center();
        QCOMPARE(layout.hitTest(onLastPlay), (Hit{Part::PlayButton, 1, 9999}));
        QCOMPARE(layout.hitTest(layout.trackRect(1, 5000).topLeft() + QPointF(1, 1)), (Hit{Part::TrackRow, 1, 5000}));
        const qreal middle = firstRow + 5000 * 36;
        QCOMPARE(layout.tracksIn(1, middle, middle + 400), (std::pair<int, int>(5000, 5012)));
    }
};

QTEST_MAIN(PlaylistListLayoutTest)
#include "tst_playlistlistlayout.moc"
