#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>

#include <algorithm>
#include <vector>

class QPainter;

// Paints a capsule (a rounded rect whose corner radius is half its shorter
// side) in a left-to-right gradient of two colours that runs from its left
// end to its right end: the picture of
//   painter.fillPath(Shapes::capsule(rect),
//                    LinearGradient{{from, to}, UnitPoint::leading(), UnitPoint::trailing()}.brushIn(rect))
// to the level everywhere but on the round ends' edge pixels, which come out
// by their exact coverage where the path fill cuts the curve into chords (a
// few tens of levels on such a pixel, at most). In the window it costs less
// than half as much as the path fill (bench_controls times the two warm).
//
// The bar's fill is such a capsule, and while a loop plays it grows at every
// frame: the gradient spans it, so each frame every pixel of it changes. The
// painter's path fill rasterises the smoothed outline and fetches the
// gradient pixel by pixel; here one row of colours is worked out, copied down,
// the ends are faded by their coverage, and the rows go to the screen as one
// image copy.
//
// Only a painter that maps to device pixels by one scale for both axes and a
// shift, and lays what it paints over what is there, is drawn on this way;
// any other, and a shape taller than 128 device pixels or far off the
// device, falls back to the path fill. GUI thread only.
class GradientCapsulePainter {
public:
    GradientCapsulePainter(QColor from, QColor to);

    // Paints over rect, given in the painter's coordinates.
    void paint(QPainter& painter, const QRectF& rect);

private:
    void paintAsPath(QPainter& painter, const QRectF& rect) const;
    // Fills the image's first pixels with the capsule over shape, given in
    // the image's pixels.
    void render(const QRectF& shape, QSize pixels);

    // How much of each pixel row one round end covers, summed outward from
    // where the outline starts to curve, at fine steps. The same for both
    // ends, and for every frame of a fill that only grows: made again only
    // when the height, the radius or the place on the pixel grid changes.
    struct EndProfile {
        static constexpr int fewestSteps = 256;
        qreal top = -1;  // in the image's pixels: within the first one
        qreal height = -1;
        qreal radius = -1;
        int rows = 0;
        int steps = fewestSteps;
        qreal stepsPerPixel = 0;
        std::vector<qreal> coverageByRow;  // of a straight column
        std::vector<qreal> areasByRow;     // rows of steps + 1

        // A distance out from the curve's start, as a step and a fraction of
        // the next: nothing short of the start, all of the end past it.
        struct Place {
            int step = 0;
            qreal fraction = 0;
        };
        Place placeOf(qreal distance) const
        {
            const qreal position = std::clamp(distance * stepsPerPixel, 0.0, qreal(steps));
            const int step = std::min(int(position), steps - 1);
            return {step, position - step};
        }
        // The area of the row the end covers from the curve's start out to there.
        qreal area(int row, Place place) const
        {
            const qreal* areas = areasByRow.data() + size_t(row) * size_t(steps + 1) + size_t(place.step);
            return areas[0] + (areas[1] - areas[0]) * place.fraction;
        }
        qreal rowCoverage(int row) const { return coverageByRow[size_t(row)]; }
    };
    const EndProfile& endProfile(qreal top, qreal height, qreal radius, int rows);

    QColor m_from;
    QColor m_to;
    QImage m_image;  // reused from paint to paint; only grows
    std::vector<int> m_curvedCoverage;  // scratch for render(), kept for its room
    EndProfile m_endProfile;
};
