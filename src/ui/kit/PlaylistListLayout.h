#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <utility>
#include <vector>

// Where everything of the playlist list goes, for a list of any length: each
// playlist is a group (its header row, then, when open, its track rows or a
// "No files" note) and the groups are stacked top to bottom. Only the groups'
// tops are stored (prefix sums); a track row's place is computed from its
// index, so building the layout costs the same for ten tracks as for ten
// thousand, and finding what is at a point or in a band is a binary search.
// Content coordinates: x from 0 to width, y from 0 at the top of the content.
class PlaylistListLayout {
public:
    struct Metrics {
        qreal listPaddingTop = 10;
        qreal listPaddingBottom = 10;
        qreal groupSpacing = 8;
        qreal groupPaddingHorizontal = 12;
        qreal groupPaddingVertical = 5;
        qreal disclosureWidth = 16;
        qreal headerHeight = 32;   // the name's line plus 8 above and below
        qreal contentSpacing = 6;  // below the header and between track rows
        qreal trackIndent = 15;
        qreal trackHeight = 30;  // the taller of name and Play, plus 4 above and below
        qreal trackPaddingHorizontal = 10;
        QSizeF playButtonSize{40, 22};
        qreal noFilesHeight = 21;  // its line plus 4 above and below
        qreal noPlaylistsHeight = 33;  // its line plus 10 above and below
        qreal noPlaylistsWidth = 90;   // its text plus 15 on each side

        // The interface's fonts: what the list paints with.
        static Metrics standard();
    };

    struct Group {
        int trackCount = 0;
        bool expanded = false;
    };

    enum class Part { None, Disclosure, Label, TrackRow, PlayButton, NoFiles, NoPlaylists };
    struct Hit {
        Part part = Part::None;
        int group = -1;
        int track = -1;  // for TrackRow and PlayButton
        bool operator==(const Hit&) const = default;
    };

    PlaylistListLayout() = default;
    PlaylistListLayout(std::vector<Group> groups, qreal width, const Metrics& metrics);

    const Metrics& metrics() const { return m_metrics; }
    qreal width() const { return m_width; }
    int groupCount() const { return int(m_groups.size()); }
    const Group& group(int index) const { return m_groups[size_t(index)]; }
    qreal contentHeight() const { return m_contentHeight; }

    // An empty list shows its note instead of groups.
    QRectF noPlaylistsRect() const;

    // The whole group, padding included: what the current playlist's tint fills.
    QRectF groupRect(int group) const;
    QRectF headerRect(int group) const;
    QRectF disclosureRect(int group) const;
    // The label button: the rest of the header, all of it clickable.
    QRectF labelRect(int group) const;
    // The shown rows under an open header: its tracks, or one "No files" note.
    int contentRowCount(int group) const;
    // The track card, indented under the name.
    QRectF trackRect(int group, int track) const;
    QRectF playButtonRect(int group, int track) const;
    // Where a track's file name goes: the card's inside, left of Play.
    QRectF trackTextRect(int group, int track) const;
    QRectF noFilesRect(int group) const;

    // Groups that reach into [top, bottom): [first, last).
    std::pair<int, int> groupsIn(qreal top, qreal bottom) const;
    // Track rows of a group that reach into [top, bottom): [first, last).
    std::pair<int, int> tracksIn(int group, qreal top, qreal bottom) const;

    Hit hitTest(const QPointF& point) const;

private:
    qreal contentTop(int group) const;
    qreal rowPitch() const { return m_metrics.trackHeight + m_metrics.contentSpacing; }

    std::vector<Group> m_groups;
    std::vector<qreal> m_groupTops;
    Metrics m_metrics;
    qreal m_width = 0;
    qreal m_contentHeight = 0;
};
