#include "ui/screens/PlaylistListView.h"

#include "engine/AudioPlayer.h"
#include "library/PlaylistCodec.h"
#include "library/PlaylistLibrary.h"
#include "state/ContentState.h"
#include "ui/kit/CardStyle.h"
#include "ui/kit/Palette.h"
#include "ui/kit/PlainButton.h"
#include "ui/kit/Shapes.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Typography.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <cmath>
#include <limits>

namespace {

constexpr qreal chevronPointSize = 9;
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

// A slim scroll bar that keeps out of the card's way: a rounded grey thumb on
// no groove, and no arrow buttons.
const char* const scrollBarStyle =
    "QScrollBar:vertical { background: transparent; width: 10px; margin: 8px 2px 8px 0px; }"
    "QScrollBar::handle:vertical { background: rgba(0, 0, 0, 64); border-radius: 4px; min-height: 24px; }"
    "QScrollBar::handle:vertical:hover, QScrollBar::handle:vertical:pressed { background: rgba(0, 0, 0, 110); }"
    "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
    "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }";

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
    setFocusPolicy(Qt::NoFocus);
    viewport()->setFocusPolicy(Qt::NoFocus);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setStyleSheet(QString::fromLatin1(scrollBarStyle));
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
    const QStringList names = m_library.sortedPlaylistNames();
    const QString& current = m_state.currentPlaylist();
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
    m_dropTargetGroup.reset();
    relayout();
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
    viewport()->update();
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
    // Copies: the operation rebuilds the rows.
    const QString name = m_groups[size_t(hit.group)].name;
    switch (hit.part) {
    case PlaylistListLayout::Part::Disclosure:
        m_library.setPlaylistExpanded(name, !m_library.isPlaylistExpanded(name));
        break;
    case PlaylistListLayout::Part::Label:
        m_library.togglePlaylistExpansion(name);
        break;
    case PlaylistListLayout::Part::PlayButton: {
        const Track track = m_groups[size_t(hit.group)].tracks[hit.track];
        m_library.playTrackInPlaylist(name, track);
        break;
    }
    default:
        break;
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
            QToolTip::showText(help->globalPos(), text, viewport());
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

QString PlaylistListView::elidedName(int group) const
{
    const qreal width = m_layout.labelRect(group).width() - 30;
    return QFontMetricsF(m_nameFont).elidedText(m_groups[size_t(group)].name, Qt::ElideRight, width);
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
        return QFontMetricsF(m_trackFont).horizontalAdvance(name) > width ? name : QString();
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
        painter.setPen(Palette::gray());
        painter.drawText(note, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, tr("No playlists"));
        return;
    }

    const QString currentTrack = absoluteString(m_state.audioPlayer().currentTrack());
    const auto [first, last] = m_layout.groupsIn(top, bottom);
    for (int group = first; group < last; ++group)
        paintGroup(painter, group, top, bottom, currentTrack);
}

void PlaylistListView::paintGroup(QPainter& painter, int group, qreal top, qreal bottom,
                                  const QString& currentTrack) const
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

    if (!g.expanded)
        return;
    if (g.tracks.isEmpty()) {
        painter.setFont(m_trackFont);
        painter.setPen(Palette::gray());
        painter.drawText(m_layout.noFilesRect(group), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         tr("No files"));
        return;
    }
    const bool isCurrent = group == m_currentGroup && !currentTrack.isEmpty();
    const auto [firstTrack, lastTrack] = m_layout.tracksIn(group, top, bottom);
    for (int track = firstTrack; track < lastTrack; ++track) {
        const bool highlighted = isCurrent && PlaylistCodec::trackToString(g.tracks[track]) == currentTrack;
        paintTrack(painter, group, track, highlighted);
    }
}

void PlaylistListView::paintTrack(QPainter& painter, int group, int track, bool highlighted) const
{
    trackCardStyle().paint(painter, m_layout.trackRect(group, track));
    const QRectF text = m_layout.trackTextRect(group, track);
    const QString name = QFontMetricsF(m_trackFont).elidedText(trackName(group, track), Qt::ElideRight, text.width());
    painter.setFont(m_trackFont);
    painter.setPen(highlighted ? Palette::blue() : Palette::black());
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);

    const bool pressed = isPressed(PlaylistListLayout::Part::PlayButton, group, track);
    painter.setOpacity(pressed ? PlainButton::pressedOpacity : 1.0);
    m_playLabel.paint(painter, m_layout.playButtonRect(group, track));
    painter.setOpacity(1.0);
}
