#pragma once

#include <QRectF>
#include <QSizeF>

#include <optional>
#include <utility>
#include <vector>

// What the progress bar shows, read from its bindings at one moment.
struct ProgressBarValues {
    double currentTimeSeconds = 0;
    double durationSeconds = 0;
    std::optional<double> loopStartSeconds;
    std::optional<double> loopEndSeconds;
    // Stretches marked faintly along the bar's foot (saved loops), in seconds.
    std::vector<std::pair<double, double>> faintSpans;

    bool operator==(const ProgressBarValues&) const = default;
};

// Where the parts of the progress bar go, in the bar's own coordinates
// (origin at its top-leading corner). A time t lies at t / d * w. Parts whose
// geometry would not be finite (a zero duration or width) are left out, and so
// is a fill or region of no width.
struct ProgressBarLayout {
    // Markers closer than this (in points) drop their labels; the bar asks
    // for more where its labels are wider (a large desktop font).
    static constexpr qreal labelSpacingPoints = 30;
    static constexpr qreal faintSpanHeight = 3;

    struct Marker {
        qreal x = 0;
        bool showsLabel = false;
        bool operator==(const Marker&) const = default;
    };

    std::optional<qreal> fillWidth;  // from the leading edge; not clamped to the bar
    std::optional<QRectF> loopRegion;
    std::optional<Marker> startMarker;
    std::optional<Marker> endMarker;
    std::vector<QRectF> faintSpans;  // a thin strip each, within the bar

    static ProgressBarLayout compute(const ProgressBarValues& values, const QSizeF& barSize,
                                     qreal labelSpacing = labelSpacingPoints);

    bool operator==(const ProgressBarLayout&) const = default;
};
