#include "ui/screens/PlaylistListView.h"

#include "engine/AudioPlayer.h"
#include "input/KeyRepeats.h"
#include "library/PlaylistCodec.h"
#include "library/PlaylistLibrary.h"
#include "state/ContentState.h"
#include "ui/kit/AccessibleEvents.h"
#include "ui/kit/CardStyle.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PlainButton.h"
#include "ui/kit/Shapes.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/TextLine.h"
#include "ui/kit/Typography.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSet>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr qreal chevronPointSize = 9;
// The corners of a playlist's own row as the cursor's ring follows them.
constexpr qreal headerCornerRadius = 8;
// Rows just outside the exposed band still cast their shadows into it.
constexpr qreal shadowBleed = 8;

CardStyle trackCardStyle()
{
    return {8, Palette::white(0.9), {{Palette::black(0.05), 3, {0, 0}}}};
}

QString absoluteString(const std::optional<QUrl>& track)
{
    return track ? PlaylistCodec::trackToString(*track) : QString();
}

}  // namespace

PlaylistListView::PlaylistListView(ContentState& state, PlaylistLibrary& library, QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_state(state)
    , m_library(library)
    , m_metrics(PlaylistListLayout::Metrics::standard())
    , m_nameFont(Typography::font(TextStyle::Body, FontDesign::Rounded, FontWeight::Medium))
    , m_trackFont(Typography::font(TextStyle::Subheadline))
    , m_playLabel(tr("Play"), Palette::blue(), Palette::cyan())
{
    setFrameShape(QFrame::NoFrame);
    setAccessibleName(tr("Playlists"));
    // The viewport passes its focus policy on to the list, its focus proxy:
    // set the list's own after it.
    viewport()->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::TabFocus);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setStyleSheet(CardStyle::slimScrollBarStyleSheet());
    verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
    // A wheel notch (three steps) moves about two track rows.
    verticalScrollBar()->setSingleStep(int(std::lround(m_metrics.trackHeight)));

    connect(&state, &ContentState::changed, this, [this](ContentState::Field field) {
        switch (field) {
        case ContentState::Field::Playlists:
        case ContentState::Field::CurrentPlaylist:
        case ContentState::Field::ExpandedPlaylists:
            reload();
            break;
        default:
            break;
        }
    });
    // Heard a hundred times a second while playing: repaint only when the
    // current track is another one.
    connect(&state.audioPlayer(), &AudioPlayer::changed, this, &PlaylistListView::checkCurrentTrack);
    m_checkedTrack = state.audioPlayer().currentTrack();
    reload();
}

QRectF PlaylistListView::toViewport(const QRectF& contentRect) const
{
    return contentRect.translated(0, -scrollOffset());
}

int PlaylistListView::scrollOffset() const
{
    return verticalScrollBar()->value();
}

void PlaylistListView::reload()
{
    // The cursor stays on its playlist (and track) across the rebuild.
    std::optional<std::pair<QString, int>> cursor;
    if (m_cursorRow >= 0) {
        const Row at = row(m_cursorRow);
        cursor = std::pair{m_groups[size_t(at.group)].name, at.track};
    }
    const int previousCursor = m_cursorRow;

    const QStringList names = m_library.sortedPlaylistNames();
    const QString& current = m_state.currentPlaylist();
    QSet<QString> wereOpen;
    for (const Group& group : m_groups)
        if (group.expanded)
            wereOpen.insert(group.name);
    m_groups.clear();
    m_groups.reserve(size_t(names.size()));
    m_currentGroup = -1;
    for (const QString& name : names) {
        if (m_currentGroup < 0 && PlaylistName::same(name, current))
            m_currentGroup = int(m_groups.size());
        m_groups.push_back({name, m_state.playlists().tracks(name), m_library.isPlaylistExpanded(name)});
    }
    // A press on a row that moved or went away must not fire on release.
    m_pressed.reset();
    countRows();

    m_cursorRow = -1;
    if (cursor) {
        for (size_t index = 0; index < m_groups.size() && m_cursorRow < 0; ++index) {
            const Group& group = m_groups[index];
            if (group.name != cursor->first)
                continue;
            int track = -1;
            if (cursor->second >= 0 && group.expanded && !group.tracks.isEmpty())
                track = std::min(cursor->second, int(group.tracks.size()) - 1);
            m_cursorRow = rowIndex({int(index), track});
        }
        // Its playlist went away: the row that took its place.
        if (m_cursorRow < 0 && m_rowCount > 0)
            m_cursorRow = std::min(previousCursor, m_rowCount - 1);
    }
    m_dropTargetGroup.reset();
    relayout();
    // Opening a row selects its playlist: two changes, either one first.
    // (The empty name is a playlist's too: none is nullopt.)
    std::optional<QString> openedNow;
    for (const Group& group : m_groups)
        if (group.expanded && !wereOpen.contains(group.name))
            openedNow = group.name;
    // Kept for the next rebuild only while it is not the current one yet:
    // once shown, a later rebuild (a track played) must not bring it back.
    const std::optional<QString> currentName =
        m_currentGroup >= 0 ? std::optional(m_groups[size_t(m_currentGroup)].name) : std::nullopt;
    const std::optional<QString> openedBefore =
        std::exchange(m_openedLast, openedNow == currentName ? std::nullopt : openedNow);
    const bool currentOpened = currentName && m_groups[size_t(m_currentGroup)].expanded
        && (currentName == openedNow || currentName == openedBefore);
    bool brought = bringCurrentIntoSight(currentOpened);
    // After the playlist, its track: files handed over, one of them played.
    brought = bringPlayingIntoSight() || brought;
    m_playingToShow = false;
    if (m_cursorRow >= 0 && hasFocus()) {
        // Not back to the cursor when the current playlist was just brought
        // into sight (files handed over while the list has the focus).
        if (!brought)
            ensureRowVisible(m_cursorRow);
        announceCursor();
    }
}

void PlaylistListView::countRows()
{
    m_groupRows.clear();
    m_groupRows.reserve(m_groups.size());
    int rows = 0;
    for (const Group& group : m_groups) {
        m_groupRows.push_back(rows);
        rows += 1 + (group.expanded ? int(group.tracks.size()) : 0);
    }
    m_rowCount = rows;
    emit rowsRebuilt();
}

PlaylistListView::Row PlaylistListView::row(int index) const
{
    if (index < 0 || index >= m_rowCount)
        return {};
    const auto after = std::upper_bound(m_groupRows.begin(), m_groupRows.end(), index);
    const int group = int(after - m_groupRows.begin()) - 1;
    return {group, index - m_groupRows[size_t(group)] - 1};
}

int PlaylistListView::rowIndex(const Row& row) const
{
    if (row.group < 0 || row.group >= int(m_groups.size()))
        return -1;
    const int own = m_groupRows[size_t(row.group)];
    if (row.track < 0)
        return own;
    const Group& group = m_groups[size_t(row.group)];
    if (!group.expanded || row.track >= group.tracks.size())
        return -1;
    return own + 1 + row.track;
}

QString PlaylistListView::rowName(int index) const
{
    const Row at = row(index);
    if (at.group < 0)
        return {};
    return at.track < 0 ? m_groups[size_t(at.group)].name : trackName(at.group, at.track);
}

bool PlaylistListView::isRowHighlighted(int index) const
{
    const Row at = row(index);
    if (at.group < 0 || at.group != m_currentGroup)
        return false;
    if (at.track < 0)
        return true;
    const QString currentTrack = absoluteString(m_state.audioPlayer().currentTrack());
    return !currentTrack.isEmpty()
        && PlaylistCodec::trackToString(m_groups[size_t(at.group)].tracks[at.track]) == currentTrack;
}

bool PlaylistListView::isRowExpanded(int index) const
{
    const Row at = row(index);
    return at.group >= 0 && at.track < 0 && m_groups[size_t(at.group)].expanded;
}

QRectF PlaylistListView::rowRect(int index) const
{
    const Row at = row(index);
    if (at.group < 0)
        return {};
    return toViewport(at.track < 0 ? m_layout.headerRect(at.group) : m_layout.trackRect(at.group, at.track));
}

int PlaylistListView::startingRow() const
{
    if (m_currentGroup >= 0)
        return m_groupRows[size_t(m_currentGroup)];
    return m_rowCount > 0 ? 0 : -1;
}

void PlaylistListView::setCursorRow(int index)
{
    const int clamped = m_rowCount > 0 ? std::clamp(index, -1, m_rowCount - 1) : -1;
    if (clamped == m_cursorRow)
        return;
    m_cursorRow = clamped;
    ensureRowVisible(clamped);
    viewport()->update();
    announceCursor();
}

// A playlist that became the current one out of sight (made, or the next
// after a delete) is brought into it, where Add Files and drops now go; one
// just opened shows as many of its first tracks as fit below its own row.
// A current playlist already in sight (a track clicked in it) stays put.
bool PlaylistListView::bringCurrentIntoSight(bool newlyOpened)
{
    const Group* current = m_currentGroup >= 0 ? &m_groups[size_t(m_currentGroup)] : nullptr;
    const bool newlyCurrent = current && !(m_shownCurrent && PlaylistName::same(current->name, *m_shownCurrent));
    m_shownCurrent = current ? std::optional(current->name) : std::nullopt;
    if (!current || !(newlyCurrent || newlyOpened) || !isVisible())
        return false;
    const int header = m_groupRows[size_t(m_currentGroup)];
    const int lastRow = header + (current->expanded ? int(current->tracks.size()) : 0);
    if (!newlyOpened) {
        const QRectF shown(viewport()->rect());
        for (int index = header; index <= lastRow; ++index)
            if (rowRect(index).intersects(shown))
                return false;
    }
    int lastFitting = header;
    while (lastFitting < lastRow && rowRect(lastFitting + 1).bottom() - rowRect(header).top() <= viewport()->height())
        ++lastFitting;
    ensureRowVisible(lastFitting);
    // An open playlist without files: its note below the row.
    if (current->expanded && current->tracks.isEmpty())
        ensureContentVisible(m_layout.noFilesRect(m_currentGroup));
    ensureRowVisible(header);
    return true;
}

void PlaylistListView::ensureRowVisible(int index)
{
    if (index < 0)
        return;
    if (!fitsViewport())
        relayout();
    ensureContentVisible(rowRect(index).translated(0, scrollOffset()));
}

void PlaylistListView::ensureContentVisible(const QRectF& content)
{
    // The ring around a row shows whole.
    const qreal margin = FocusRing::gap + FocusRing::lineWidth;
    QScrollBar* bar = verticalScrollBar();
    const int top = int(std::floor(content.top() - margin));
    const int bottom = int(std::ceil(content.bottom() + margin));
    if (top < bar->value())
        bar->setValue(top);
    else if (bottom > bar->value() + viewport()->height())
        bar->setValue(bottom - viewport()->height());
}

// Assistive tools follow the cursor as they follow the focus.
void PlaylistListView::announceCursor()
{
    if (m_cursorRow < 0 || !hasFocus())
        return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(m_cursorRow);
    AccessibleEvents::send(event);
}

// The cursor goes where a click or a tool's press went, without scrolling
// the list under the pointer.
void PlaylistListView::placeCursor(int index)
{
    if (index == m_cursorRow)
        return;
    m_cursorRow = index;
    viewport()->update();
    announceCursor();
}

void PlaylistListView::activateRow(int index)
{
    const Row at = row(index);
    if (at.group < 0)
        return;
    placeCursor(index);
    // Copies: the operation rebuilds the rows.
    const QString name = m_groups[size_t(at.group)].name;
    if (at.track < 0) {
        m_library.togglePlaylistExpansion(name);
    } else {
        const Track track = m_groups[size_t(at.group)].tracks[at.track];
        m_library.playTrackInPlaylist(name, track);
    }
}

FocusOutline PlaylistListView::focusOutline() const
{
    return {QRectF(rect()), cardCornerRadius};
}

void PlaylistListView::keyPressEvent(QKeyEvent* event)
{
    const bool hasCursor = m_cursorRow >= 0;
    switch (event->key()) {
    case Qt::Key_Up:
        setCursorRow(hasCursor ? std::max(0, m_cursorRow - 1) : startingRow());
        break;
    case Qt::Key_Down:
        setCursorRow(hasCursor ? m_cursorRow + 1 : startingRow());
        break;
    case Qt::Key_Home:
        setCursorRow(0);
        break;
    case Qt::Key_End:
        setCursorRow(m_rowCount - 1);
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        // As many rows as the list shows at once (at least one): a long
        // playlist is crossed a screenful at a time.
        const int step = event->key() == Qt::Key_PageDown ? 1 : -1;
        const int from = hasCursor ? m_cursorRow : startingRow();
        int to = from;
        while (to + step >= 0 && to + step < m_rowCount) {
            const QRectF first = rowRect(step > 0 ? from : to + step);
            const QRectF last = rowRect(step > 0 ? to + step : from);
            if (last.bottom() - first.top() > viewport()->height() && to != from)
                break;
            to += step;
        }
        setCursorRow(to);
        break;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A held Enter must not toggle a playlist on and off or restart a track.
        if (!KeyRepeats::isRepeat(*event) && hasCursor)
            activateRow(m_cursorRow);
        break;
    default:
        // Not the scroll area's own keys: the arrows Left and Right seek.
        event->ignore();
        return;
    }
    event->accept();
}

void PlaylistListView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    if (m_cursorRow < 0)
        m_cursorRow = startingRow();
    ensureRowVisible(m_cursorRow);
    viewport()->update();
    announceCursor();
}

void PlaylistListView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

std::optional<int> PlaylistListView::groupAt(const QPointF& viewportPoint) const
{
    if (!viewport()->rect().contains(viewportPoint.toPoint()))
        return std::nullopt;
    const QPointF point = viewportPoint + QPointF(0, scrollOffset());
    const qreal halfGap = m_metrics.groupSpacing / 2;
    const auto [first, last] = m_layout.groupsIn(point.y() - halfGap, point.y() + halfGap);
    for (int group = first; group < last; ++group) {
        const QRectF rect = m_layout.groupRect(group);
        if (point.y() >= rect.top() - halfGap && point.y() < rect.bottom() + halfGap)
            return group;
    }
    return std::nullopt;
}

void PlaylistListView::setDropTargetGroup(std::optional<int> group)
{
    if (group == m_dropTargetGroup)
        return;
    m_dropTargetGroup = group;
    viewport()->update();
}

void PlaylistListView::relayout()
{
    std::vector<PlaylistListLayout::Group> shapes;
    shapes.reserve(m_groups.size());
    for (const Group& group : m_groups)
        shapes.push_back({int(group.tracks.size()), group.expanded});
    m_layout = PlaylistListLayout(std::move(shapes), viewport()->width(), m_metrics);
    const int viewportHeight = viewport()->height();
    const double overflow = std::ceil(m_layout.contentHeight()) - viewportHeight;
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewportHeight);
    bar->setRange(0, int(std::clamp(overflow, 0.0, double(std::numeric_limits<int>::max()))));
    viewport()->update();
}

bool PlaylistListView::fitsViewport() const
{
    return viewport()->width() == m_layout.width() && verticalScrollBar()->pageStep() == viewport()->height();
}

void PlaylistListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (!fitsViewport())
        relayout();
}

void PlaylistListView::scrollContentsBy(int, int)
{
    // The card shows through the rows, so nothing on screen can be reused.
    viewport()->update();
}

void PlaylistListView::checkCurrentTrack()
{
    // Runs after nearly every tick: compare the URLs themselves, and build
    // strings only when painting.
    const std::optional<QUrl>& track = m_state.audioPlayer().currentTrack();
    if (track == m_checkedTrack)
        return;
    m_checkedTrack = track;
    // Its rows may come only with the rebuild that follows (files added).
    m_playingToShow = track.has_value();
    bringPlayingIntoSight();
    viewport()->update();
}

bool PlaylistListView::bringPlayingIntoSight()
{
    if (!m_playingToShow || !isVisible())
        return false;
    const Group* group = m_currentGroup >= 0 ? &m_groups[size_t(m_currentGroup)] : nullptr;
    const QString playing = absoluteString(m_state.audioPlayer().currentTrack());
    // Kept only while the current playlist, open, may yet get the track's
    // rows: a later rebuild (the playlist opened by hand) must not jump.
    if (!group || !group->expanded || playing.isEmpty()) {
        m_playingToShow = false;
        return false;
    }
    // A row in sight whole (one clicked, or the track listed twice) leaves
    // the list as it is; else one cut at the edge is shown whole; else the
    // first.
    std::optional<int> first;
    std::optional<int> cut;
    const QRectF shown(viewport()->rect());
    for (int track = 0; track < group->tracks.size(); ++track) {
        if (PlaylistCodec::trackToString(group->tracks[track]) != playing)
            continue;
        const int index = rowIndex({m_currentGroup, track});
        const QRectF rect = rowRect(index);
        if (shown.contains(rect)) {
            m_playingToShow = false;
            return false;
        }
        if (!cut && rect.intersects(shown))
            cut = index;
        if (!first)
            first = index;
    }
    if (!first)
        return false;
    m_playingToShow = false;
    const int before = verticalScrollBar()->value();
    ensureRowVisible(cut ? *cut : *first);
    return verticalScrollBar()->value() != before;
}

PlaylistListLayout::Hit PlaylistListView::hitAt(const QPointF& viewportPoint) const
{
    return m_layout.hitTest(viewportPoint + QPointF(0, scrollOffset()));
}

bool PlaylistListView::isPressed(PlaylistListLayout::Part part, int group, int track) const
{
    return m_pressed && m_pressedInside && m_pressed->part == part && m_pressed->group == group
        && m_pressed->track == track;
}

void PlaylistListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const PlaylistListLayout::Hit hit = hitAt(event->position());
    using Part = PlaylistListLayout::Part;
    if (hit.part == Part::Disclosure || hit.part == Part::Label || hit.part == Part::PlayButton) {
        m_pressed = hit;
        m_pressedInside = true;
        viewport()->update();
    }
    event->accept();
}

void PlaylistListView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed)
        return;
    const bool inside = hitAt(event->position()) == *m_pressed;
    if (inside != m_pressedInside) {
        m_pressedInside = inside;
        viewport()->update();
    }
}

void PlaylistListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressed || event->button() != Qt::LeftButton)
        return;
    const PlaylistListLayout::Hit pressed = *m_pressed;
    const bool fire = hitAt(event->position()) == pressed;
    m_pressed.reset();
    viewport()->update();
    if (fire)
        activate(pressed);
}

void PlaylistListView::activate(const PlaylistListLayout::Hit& hit)
{
    using Part = PlaylistListLayout::Part;
    const int index = rowIndex({hit.group, hit.part == Part::PlayButton ? hit.track : -1});
    if (hit.part == Part::Disclosure) {
        placeCursor(index);
        const QString name = m_groups[size_t(hit.group)].name;
        m_library.setPlaylistExpanded(name, !m_library.isPlaylistExpanded(name));
    } else if (hit.part == Part::Label || hit.part == Part::PlayButton) {
        activateRow(index);
    }
}

bool PlaylistListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            // A name is text, whatever it holds: a tip would take tags in it
            // for markup. On one line, its spaces as they are.
            const QString asText = QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
            QToolTip::showText(help->globalPos(), asText, viewport());
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

QString PlaylistListView::elidedName(int group) const
{
    const qreal width = m_layout.labelRect(group).width() - 30;
    return QFontMetricsF(m_nameFont).elidedText(m_groups[size_t(group)].name, Qt::ElideMiddle, width);
}

QString PlaylistListView::elidedTrackName(int group, int track) const
{
    return QFontMetricsF(m_trackFont)
        .elidedText(onOneLine(trackName(group, track)), Qt::ElideMiddle, m_layout.trackTextRect(group, track).width());
}

QString PlaylistListView::trackName(int group, int track) const
{
    return m_groups[size_t(group)].tracks[track].fileName();
}

// The whole name or file name, where the row had to cut it short.
QString PlaylistListView::toolTipAt(const QPointF& viewportPoint) const
{
    const PlaylistListLayout::Hit hit = hitAt(viewportPoint);
    using Part = PlaylistListLayout::Part;
    if (hit.part == Part::Label) {
        const QString& name = m_groups[size_t(hit.group)].name;
        return elidedName(hit.group) != name ? name : QString();
    }
    if (hit.part == Part::TrackRow) {
        const QString name = trackName(hit.group, hit.track);
        const qreal width = m_layout.trackTextRect(hit.group, hit.track).width();
        return QFontMetricsF(m_trackFont).horizontalAdvance(onOneLine(name)) > width ? name : QString();
    }
    return {};
}

void PlaylistListView::paintEvent(QPaintEvent* event)
{
    // A hidden widget gets its resize events only when shown; it can still
    // be rendered before that.
    if (!fitsViewport())
        relayout();
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    // Rows scrolled under the card's rounded corners stay inside the card.
    const QRectF card = QRectF(rect()).translated(-viewport()->pos());
    painter.setClipPath(Shapes::roundedRect(card, cardCornerRadius));
    const qreal offset = scrollOffset();
    painter.translate(0, -offset);
    const QRectF exposed = QRectF(event->rect()).translated(0, offset);
    const qreal top = exposed.top() - shadowBleed;
    const qreal bottom = exposed.bottom() + shadowBleed;

    if (m_groups.empty()) {
        const QRectF note = m_layout.noPlaylistsRect().adjusted(15, 10, -15, -10);
        painter.setFont(m_trackFont);
        painter.setPen(Palette::grayText());
        painter.drawText(note, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, tr("No playlists"));
        return;
    }

    const QString currentTrack = absoluteString(m_state.audioPlayer().currentTrack());
    const Row cursor = hasFocus() ? row(m_cursorRow) : Row();
    const auto [first, last] = m_layout.groupsIn(top, bottom);
    for (int group = first; group < last; ++group)
        paintGroup(painter, group, top, bottom, currentTrack, cursor);
}

void PlaylistListView::paintGroup(QPainter& painter, int group, qreal top, qreal bottom,
                                  const QString& currentTrack, const Row& cursor) const
{
    using Part = PlaylistListLayout::Part;
    const Group& g = m_groups[size_t(group)];
    if (group == m_currentGroup)
        painter.fillPath(Shapes::roundedRect(m_layout.groupRect(group), 10), Palette::blue(0.1));
    if (group == m_dropTargetGroup) {
        const QPainterPath outline = Shapes::roundedRect(m_layout.groupRect(group).adjusted(1, 1, -1, -1), 10);
        painter.fillPath(outline, Palette::blue(0.12));
        painter.strokePath(outline, QPen(Palette::blue(0.8), 2));
    }

    const QRectF disclosure = m_layout.disclosureRect(group);
    const Symbol chevron = g.expanded ? Symbol::ChevronDown : Symbol::ChevronRight;
    const QSizeF chevronSize = Symbols::size(chevron, chevronPointSize);
    painter.setOpacity(isPressed(Part::Disclosure, group) ? PlainButton::pressedOpacity : 1.0);
    Symbols::draw(painter, chevron, chevronPointSize,
                  disclosure.center() - QPointF(chevronSize.width() / 2, chevronSize.height() / 2), Palette::gray());

    const QRectF label = m_layout.labelRect(group);
    painter.setOpacity(isPressed(Part::Label, group) ? PlainButton::pressedOpacity : 1.0);
    painter.setFont(m_nameFont);
    painter.setPen(Palette::black());
    painter.drawText(label.adjusted(15, 0, -15, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     elidedName(group));
    painter.setOpacity(1.0);
    if (cursor == Row{group, -1})
        paintCursor(painter, m_layout.headerRect(group), headerCornerRadius);

    if (!g.expanded)
        return;
    if (g.tracks.isEmpty()) {
        painter.setFont(m_trackFont);
        painter.setPen(Palette::grayText());
        painter.drawText(m_layout.noFilesRect(group), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         tr("No files"));
        return;
    }
    const bool isCurrent = group == m_currentGroup && !currentTrack.isEmpty();
    const auto [firstTrack, lastTrack] = m_layout.tracksIn(group, top, bottom);
    for (int track = firstTrack; track < lastTrack; ++track) {
        const bool highlighted = isCurrent && PlaylistCodec::trackToString(g.tracks[track]) == currentTrack;
        paintTrack(painter, group, track, highlighted, cursor == Row{group, track});
    }
}

void PlaylistListView::paintTrack(QPainter& painter, int group, int track, bool highlighted, bool isCursor) const
{
    const CardStyle card = trackCardStyle();
    card.paint(painter, m_layout.trackRect(group, track));
    if (isCursor)
        paintCursor(painter, m_layout.trackRect(group, track), card.cornerRadius);
    const QRectF text = m_layout.trackTextRect(group, track);
    const QString name = elidedTrackName(group, track);
    painter.setFont(m_trackFont);
    painter.setPen(highlighted ? Palette::blue() : Palette::black());
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);

    const bool pressed = isPressed(PlaylistListLayout::Part::PlayButton, group, track);
    painter.setOpacity(pressed ? PlainButton::pressedOpacity : 1.0);
    m_playLabel.paint(painter, m_layout.playButtonRect(group, track));
    painter.setOpacity(1.0);
}

// The same ring as the focus ring around a control, inside the list.
void PlaylistListView::paintCursor(QPainter& painter, const QRectF& outline, qreal cornerRadius) const
{
    painter.save();
    painter.setPen(QPen(FocusRing::colour(), FocusRing::lineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(FocusRing::ringPath({outline, cornerRadius}));
    painter.restore();
}
