// Where the playlist list puts its rows, and what a point hits, without any
// widget: small round metrics make every position checkable by hand.

#include "ui/kit/PlaylistListLayout.h"

#include <QTest>

namespace {

using Part = PlaylistListLayout::Part;
using Hit = PlaylistListLayout::Hit;

PlaylistListLayout::Metrics roundMetrics()
{
    return {.listPaddingTop = 10, .listPaddingBottom = 10, .groupSpacing = 8, .groupPaddingHorizontal = 12,
            .groupPaddingVertical = 5, .disclosureWidth = 16, .headerHeight = 30, .contentSpacing = 6,
            .trackIndent = 15, .trackHeight = 30, .trackPaddingHorizontal = 10, .playButtonSize = {40, 20},
            .noFilesHeight = 20, .noPlaylistsHeight = 34, .noPlaylistsWidth = 100};
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
    void pointsHitTheControlUnderThem_data()
    {
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<Hit>("expected");
        QTest::newRow("above everything") << QPointF(100, 5) << Hit{};
        QTest::newRow("chevron's last column") << QPointF(27.9, 30) << Hit{Part::Disclosure, 0, -1};
        QTest::newRow("label, start") << QPointF(28, 30) << Hit{Part::Label, 0, -1};
        QTest::newRow("label, empty end") << QPointF(237, 16) << Hit{Part::Label, 0, -1};
        QTest::newRow("group padding beside the header") << QPointF(5, 30) << Hit{};
        QTest::newRow("spacing between groups") << QPointF(100, 54) << Hit{};
        QTest::newRow("first track, name") << QPointF(60, 99) << Hit{Part::TrackRow, 1, 0};
        QTest::newRow("first track, play") << QPointF(200, 110) << Hit{Part::PlayButton, 1, 0};
        QTest::newRow("gap between tracks") << QPointF(200, 131) << Hit{};
        QTest::newRow("second track, last line") << QPointF(60, 164.9) << Hit{Part::TrackRow, 1, 1};
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
        QCOMPARE(layout.groupsIn(0, 10), Range(0, 0));  // only the list's top padding
        QCOMPARE(layout.groupsIn(50, 58), Range(1, 1));  // the gap between two groups
        QCOMPARE(layout.groupsIn(49, 59), Range(0, 2));
        QCOMPARE(layout.groupsIn(292, 400), Range(4, 4));
        QCOMPARE(layout.tracksIn(1, 128.9, 130), Range(0, 1));
        QCOMPARE(layout.tracksIn(1, 129, 135), Range(1, 1));  // between the rows
        QCOMPARE(layout.tracksIn(0, 0, 1000), Range(0, 0));  // closed
    }

    // Rows 36 apart, found by arithmetic at any depth; a name ends short of its Play.
    void tenThousandRowsAreFoundByArithmetic()
    {
        const PlaylistListLayout layout({{0, true}, {10000, true}, {5, false}}, 250, roundMetrics());
        QCOMPARE(layout.hitTest(layout.playButtonRect(1, 9999).center()), (Hit{Part::PlayButton, 1, 9999}));
        QVERIFY(layout.trackTextRect(1, 9999).right() < layout.playButtonRect(1, 9999).left());
        const qreal middle = layout.trackRect(1, 5000).top();
        QCOMPARE(layout.tracksIn(1, middle, middle + 400), (std::pair<int, int>(5000, 5012)));
    }
};

QTEST_MAIN(PlaylistListLayoutTest)
#include "tst_playlistlistlayout.moc"
