#include "ui/kit/ProgressBarLayout.h"

#include <algorithm>
#include <cmath>

ProgressBarLayout ProgressBarLayout::compute(const ProgressBarValues& values, const QSizeF& barSize, qreal labelSpacing)
{
    ProgressBarLayout layout;
    const double w = barSize.width();
    const double h = barSize.height();
    const double d = values.durationSeconds;
    if (!(d > 0) || !std::isfinite(d) || !(w > 0) || !std::isfinite(w))
        return layout;

    const double fill = w * values.currentTimeSeconds / d;
    if (std::isfinite(fill) && fill > 0)
        layout.fillWidth = fill;

    const std::optional<double>& start = values.loopStartSeconds;
    const std::optional<double>& end = values.loopEndSeconds;
    const auto xOf = [&](double seconds) { return seconds / d * w; };
    // How far apart the two markers stand, in points; only meaningful with both.
    const double spacing = start && end ? (*end - *start) * w / d : 0;

    if (start && end && *end <= d) {
        const double startX = xOf(*start);
        const double endX = xOf(*end);
        if (std::isfinite(startX) && std::isfinite(endX) && endX > startX)
            layout.loopRegion = QRectF(startX, 0, endX - startX, h);
    }
    if (start && *start <= d && std::isfinite(xOf(*start)))
        layout.startMarker = Marker{xOf(*start), !end || spacing > labelSpacing};
    if (end && *end <= d && std::isfinite(xOf(*end)))
        layout.endMarker = Marker{xOf(*end), start && spacing > labelSpacing};
    for (const auto& [from, to] : values.faintSpans) {
        const double left = xOf(std::clamp(from, 0.0, d));
        const double right = xOf(std::clamp(to, 0.0, d));
        if (std::isfinite(left) && std::isfinite(right) && right > left)
            layout.faintSpans.push_back(QRectF(left, h - faintSpanHeight, right - left, faintSpanHeight));
    }
    return layout;
}
