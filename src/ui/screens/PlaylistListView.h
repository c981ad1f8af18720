#pragma once

#include "state/Playlists.h"
#include "ui/kit/GradientCapsuleLabel.h"
#include "ui/kit/PlaylistListLayout.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

class ContentState;
class PlaylistLibrary;

// The scrolling list of the playlist panel: a row per playlist in sorted
// order, each opening to its track rows, painted rather than built from
// widgets, so a playlist of ten thousand tracks opens and scrolls as fast as
// one of ten. Every row part is a painted control: the disclosure chevron
// (opens and selects, or closes), the name (togglePlaylistExpansion), and each
// track's Play (playTrackInPlaylist). The current playlist's group is tinted;
// a track's name is blue where it is the engine's current track in the
// current playlist.
//
// Reads the state afresh on every change of the playlists, the current
// playlist or the open rows, and repaints when the current track changes.
// Transparent: whoever holds it paints the card behind it. Never takes the
// keyboard focus.
class PlaylistListView : public QAbstractScrollArea {
    Q_OBJECT

public:
    // The card the list lies on (painted by its holder) has these corners;
    // rows are cut off along them.
    static constexpr qreal cardCornerRadius = 15;

    PlaylistListView(ContentState& state, PlaylistLibrary& library, QWidget* parent = nullptr);

    // Where everything is, in content coordinates (add the scroll offset for
    // viewport coordinates).
    const PlaylistListLayout& listLayout() const { return m_layout; }
    // The playlist of each group, in row order.
    QString groupName(int group) const { return m_groups[size_t(group)].name; }
    // A content rect in viewport coordinates.
    QRectF toViewport(const QRectF& contentRect) const;
    int scrollOffset() const;

    // Rebuilds the rows from the state; done on every change that affects them.
    void reload();

    // The group whose row is at a point of the viewport (with half the gap
    // around it, so a drag moving down the list goes from row to row), if any.
    std::optional<int> groupAt(const QPointF& viewportPoint) const;
    // Outlines the group that files dragged over the window would go to.
    void setDropTargetGroup(std::optional<int> group);
    std::optional<int> dropTargetGroup() const { return m_dropTargetGroup; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Group {
        QString name;
        TrackList tracks;
        bool expanded = false;
    };

    void relayout();
    bool fitsViewport() const;
    void checkCurrentTrack();
    PlaylistListLayout::Hit hitAt(const QPointF& viewportPoint) const;
    bool isPressed(PlaylistListLayout::Part part, int group, int track = -1) const;
    void activate(const PlaylistListLayout::Hit& hit);
    QString elidedName(int group) const;
    QString trackName(int group, int track) const;
    QString toolTipAt(const QPointF& viewportPoint) const;

    void paintGroup(QPainter& painter, int group, qreal top, qreal bottom, const QString& currentTrack) const;
    void paintTrack(QPainter& painter, int group, int track, bool highlighted) const;

    ContentState& m_state;
    PlaylistLibrary& m_library;
    std::vector<Group> m_groups;
    int m_currentGroup = -1;
    PlaylistListLayout m_layout;
    PlaylistListLayout::Metrics m_metrics;
    QFont m_nameFont;
    QFont m_trackFont;
    GradientCapsuleLabel m_playLabel;

    // The control under a press, and whether the pointer is still on it.
    std::optional<PlaylistListLayout::Hit> m_pressed;
    bool m_pressedInside = false;

    // The current track at the last check.
    std::optional<QUrl> m_checkedTrack;

    std::optional<int> m_dropTargetGroup;
};
