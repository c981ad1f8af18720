#pragma once

#include "state/Playlists.h"
#include "ui/kit/FocusRing.h"
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
// Transparent: whoever holds it paints the card behind it.
//
// Tab reaches it (a click does not give it the focus). Focused, it keeps a
// cursor on one row, marked with a ring: Up and Down (Home, End) move it, and
// Enter or Return does what a click on that row's name or Play does. Every
// other key goes on as if the list were not there, so the window's commands
// keep their keys; Left and Right in particular never move anything here.
class PlaylistListView : public QAbstractScrollArea, public FocusRingShape {
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
    // A playlist's name and a track's as shown, cut to fit their rows. Names
    // of study files and folders differ at their ends ("… Lesson 1.mp3",
    // "… Lesson 10.mp3"): a long one loses its middle.
    QString elidedName(int group) const;
    QString elidedTrackName(int group, int track) const;
    // A content rect in viewport coordinates.
    QRectF toViewport(const QRectF& contentRect) const;
    int scrollOffset() const;

    // Rebuilds the rows from the state; done on every change that affects them.
    void reload();

    // The rows the keyboard and assistive tools step through, top to bottom:
    // each playlist's own row and, while it is open, one per track.
    struct Row {
        int group = -1;
        int track = -1;  // -1: the playlist's own row
        bool operator==(const Row&) const = default;
    };
    int rowCount() const { return m_rowCount; }
    Row row(int index) const;
    // -1 when the row is not shown (its playlist is closed).
    int rowIndex(const Row& row) const;
    // The playlist's name, or the track's file name.
    QString rowName(int index) const;
    // The current playlist's row, and in it the current track's.
    bool isRowHighlighted(int index) const;
    bool isRowExpanded(int index) const;
    // Where the row is drawn, in viewport coordinates.
    QRectF rowRect(int index) const;

    // The row Up, Down and Enter act on; -1 for none. Moving it brings the
    // row into view.
    int cursorRow() const { return m_cursorRow; }
    void setCursorRow(int index);
    // What a click does on the row: its name for a playlist, Play for a
    // track. The cursor goes to the row.
    void activateRow(int index);

    FocusOutline focusOutline() const override;

    // The group whose row is at a point of the viewport (with half the gap
    // around it, so a drag moving down the list goes from row to row), if any.
    std::optional<int> groupAt(const QPointF& viewportPoint) const;
    // Outlines the group that files dragged over the window would go to.
    void setDropTargetGroup(std::optional<int> group);
    std::optional<int> dropTargetGroup() const { return m_dropTargetGroup; }

signals:
    // The rows were rebuilt: an index held from before may now stand for
    // another row, or for none.
    void rowsRebuilt();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct Group {
        QString name;
        TrackList tracks;
        bool expanded = false;
    };

    void relayout();
    void countRows();
    int startingRow() const;
    void ensureRowVisible(int index);
    // A rect in content coordinates (the layout's).
    void ensureContentVisible(const QRectF& content);
    // newlyOpened: the current playlist was opened by this rebuild's change
    // or the one before. Returns whether it was brought into sight.
    bool bringCurrentIntoSight(bool newlyOpened);
    // A new current track out of sight (opened from outside, an added file
    // played) is scrolled to, unless one of its rows shows already.
    bool bringPlayingIntoSight();
    void placeCursor(int index);
    void announceCursor();
    void paintCursor(QPainter& painter, const QRectF& outline, qreal cornerRadius) const;
    bool fitsViewport() const;
    void checkCurrentTrack();
    PlaylistListLayout::Hit hitAt(const QPointF& viewportPoint) const;
    bool isPressed(PlaylistListLayout::Part part, int group, int track = -1) const;
    void activate(const PlaylistListLayout::Hit& hit);
    QString trackName(int group, int track) const;
    QString toolTipAt(const QPointF& viewportPoint) const;

    void paintGroup(QPainter& painter, int group, qreal top, qreal bottom, const QString& currentTrack,
                    const Row& cursor) const;
    void paintTrack(QPainter& painter, int group, int track, bool highlighted, bool isCursor) const;

    ContentState& m_state;
    PlaylistLibrary& m_library;
    std::vector<Group> m_groups;
    int m_currentGroup = -1;
    // The current playlist at the last rebuild, and the playlist it opened.
    std::optional<QString> m_shownCurrent;
    std::optional<QString> m_openedLast;
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
    bool m_playingToShow = false;  // the current track changed; its row not yet shown

    // The row index of each group's own row.
    std::vector<int> m_groupRows;
    int m_rowCount = 0;
    int m_cursorRow = -1;
    std::optional<int> m_dropTargetGroup;
};
