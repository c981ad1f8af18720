#include "ui/kit/PlaylistListLayout.h"

#include "ui/kit/GradientCapsuleLabel.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Typography.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {

// Half-open, so that a point on the line between two neighbours belongs to
// exactly one of them.
bool covers(const QRectF& rect, const QPointF& point)
{
    return rect.left() <= point.x() && point.x() < rect.right() && rect.top() <= point.y() && point.y() < rect.bottom();
}

}  // namespace

PlaylistListLayout::Metrics PlaylistListLayout::Metrics::standard()
{
    Metrics metrics;
    const qreal nameLine = Typography::textSize(QStringLiteral("Ag"),
                                                Typography::font(TextStyle::Body, FontDesign::Rounded, FontWeight::Medium))
                               .height();
    const QFont subheadline = Typography::font(TextStyle::Subheadline);
    const qreal trackLine = Typography::textSize(QStringLiteral("Ag"), subheadline).height();
    metrics.headerHeight = std::ceil(nameLine) + 16;
    metrics.playButtonSize =
        GradientCapsuleLabel(QCoreApplication::translate("PlaylistListView", "Play"), Palette::blue(), Palette::cyan())
            .sizeHint();
    metrics.trackHeight = std::ceil(std::max(trackLine, metrics.playButtonSize.height())) + 8;
    metrics.noFilesHeight = std::ceil(trackLine) + 8;
    metrics.noPlaylistsHeight = std::ceil(trackLine) + 20;
    metrics.noPlaylistsWidth =
        std::ceil(Typography::textSize(QCoreApplication::translate("PlaylistListView", "No playlists"), subheadline)
                      .width())
        + 30;
    return metrics;
}

PlaylistListLayout::PlaylistListLayout(std::vector<Group> groups, qreal width, const Metrics& metrics)
    : m_groups(std::move(groups))
    , m_metrics(metrics)
    , m_width(width)
{
    const Metrics& m = m_metrics;
    m_groupTops.reserve(m_groups.size());
    qreal y = m.listPaddingTop;
    if (m_groups.empty())
        y += m.noPlaylistsHeight;
    for (size_t i = 0; i < m_groups.size(); ++i) {
        if (i > 0)
            y += m.groupSpacing;
        m_groupTops.push_back(y);
        y += 2 * m.groupPaddingVertical + m.headerHeight;
        const int rows = contentRowCount(int(i));
        if (rows > 0) {
            const qreal rowHeight = m_groups[i].trackCount > 0 ? m.trackHeight : m.noFilesHeight;
            y += m.contentSpacing + rows * rowHeight + (rows - 1) * m.contentSpacing;
        }
    }
    m_contentHeight = y + m.listPaddingBottom;
}

QRectF PlaylistListLayout::noPlaylistsRect() const
{
    if (!m_groups.empty())
        return {};
    return {0, m_metrics.listPaddingTop, m_metrics.noPlaylistsWidth, m_metrics.noPlaylistsHeight};
}

int PlaylistListLayout::contentRowCount(int group) const
{
    const Group& g = m_groups[size_t(group)];
    if (!g.expanded)
        return 0;
    return std::max(g.trackCount, 1);
}

QRectF PlaylistListLayout::groupRect(int group) const
{
    const qreal top = m_groupTops[size_t(group)];
    const size_t next = size_t(group) + 1;
    const qreal bottom = next < m_groupTops.size() ? m_groupTops[next] - m_metrics.groupSpacing
                                                   : m_contentHeight - m_metrics.listPaddingBottom;
    return {0, top, m_width, bottom - top};
}

QRectF PlaylistListLayout::headerRect(int group) const
{
    const qreal x = m_metrics.groupPaddingHorizontal;
    return {x, m_groupTops[size_t(group)] + m_metrics.groupPaddingVertical, m_width - 2 * x, m_metrics.headerHeight};
}

QRectF PlaylistListLayout::disclosureRect(int group) const
{
    QRectF header = headerRect(group);
    header.setWidth(m_metrics.disclosureWidth);
    return header;
}

QRectF PlaylistListLayout::labelRect(int group) const
{
    QRectF header = headerRect(group);
    header.setLeft(header.left() + m_metrics.disclosureWidth);
    return header;
}

qreal PlaylistListLayout::contentTop(int group) const
{
    return headerRect(group).bottom() + m_metrics.contentSpacing;
}

QRectF PlaylistListLayout::trackRect(int group, int track) const
{
    const qreal left = m_metrics.groupPaddingHorizontal + m_metrics.disclosureWidth + m_metrics.trackIndent;
    const qreal right = m_width - m_metrics.groupPaddingHorizontal;
    return {left, contentTop(group) + track * rowPitch(), right - left, m_metrics.trackHeight};
}

QRectF PlaylistListLayout::playButtonRect(int group, int track) const
{
    const QRectF card = trackRect(group, track);
    const QSizeF size = m_metrics.playButtonSize;
    return {card.right() - m_metrics.trackPaddingHorizontal - size.width(), card.center().y() - size.height() / 2,
            size.width(), size.height()};
}

QRectF PlaylistListLayout::trackTextRect(int group, int track) const
{
    const QRectF card = trackRect(group, track);
    constexpr qreal spacingBeforePlay = 8;
    const qreal left = card.left() + m_metrics.trackPaddingHorizontal;
    const qreal right = playButtonRect(group, track).left() - spacingBeforePlay;
    return {left, card.top(), std::max<qreal>(0, right - left), card.height()};
}

QRectF PlaylistListLayout::noFilesRect(int group) const
{
    const qreal left = m_metrics.groupPaddingHorizontal + m_metrics.disclosureWidth + 10 + 15;
    return {left, contentTop(group), m_width - m_metrics.groupPaddingHorizontal - 10 - left, m_metrics.noFilesHeight};
}

std::pair<int, int> PlaylistListLayout::groupsIn(qreal top, qreal bottom) const
{
    // The first group whose successor starts after top reaches into the band.
    auto first = std::upper_bound(m_groupTops.begin(), m_groupTops.end(), top);
    if (first != m_groupTops.begin())
        --first;
    auto last = std::lower_bound(first, m_groupTops.end(), bottom);
    int firstIndex = int(first - m_groupTops.begin());
    if (firstIndex < groupCount() && groupRect(firstIndex).bottom() <= top)
        ++firstIndex;
    const int lastIndex = int(last - m_groupTops.begin());
    return {std::min(firstIndex, lastIndex), lastIndex};
}

std::pair<int, int> PlaylistListLayout::tracksIn(int group, qreal top, qreal bottom) const
{
    const int count = m_groups[size_t(group)].expanded ? m_groups[size_t(group)].trackCount : 0;
    if (count == 0)
        return {0, 0};
    const qreal start = contentTop(group);
    const qreal pitch = rowPitch();
    // Row i covers [start + i * pitch, start + i * pitch + trackHeight).
    const int first = std::clamp(int(std::floor((top - start - m_metrics.trackHeight) / pitch)) + 1, 0, count);
    const int last = std::clamp(int(std::ceil((bottom - start) / pitch)), first, count);
    return {first, last};
}

PlaylistListLayout::Hit PlaylistListLayout::hitTest(const QPointF& point) const
{
    if (m_groups.empty())
        return covers(noPlaylistsRect(), point) ? Hit{Part::NoPlaylists, -1, -1} : Hit{};
    const auto [first, last] = groupsIn(point.y(), point.y() + 1e-9);
    if (first >= last || !covers(groupRect(first), point))
        return {};
    const int g = first;
    if (covers(disclosureRect(g), point))
        return {Part::Disclosure, g, -1};
    if (covers(labelRect(g), point))
        return {Part::Label, g, -1};
    if (m_groups[size_t(g)].expanded && m_groups[size_t(g)].trackCount == 0)
        return covers(noFilesRect(g), point) ? Hit{Part::NoFiles, g, -1} : Hit{};
    const auto [track, end] = tracksIn(g, point.y(), point.y() + 1e-9);
    if (track >= end)
        return {};
    if (covers(playButtonRect(g, track), point))
        return {Part::PlayButton, g, track};
    if (covers(trackRect(g, track), point))
        return {Part::TrackRow, g, track};
    return {};
}
