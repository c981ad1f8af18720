// Prints what the drawing layer costs: a progress bar fed at the position
// timer's rate, a full repaint of it, a drill's repaint of its fill (and the fill
// alone, two ways), and making versus reusing card shadows.

#include "ui/kit/CustomProgressBar.h"
#include "ui/kit/Gradient.h"
#include "ui/kit/GradientCapsulePainter.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Shadow.h"
#include "ui/kit/Shapes.h"
#include "ui/kit/WaveformStrip.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

double microsecondsPer(int iterations, const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < iterations; ++i)
        work();
    return double(timer.nsecsElapsed()) / 1000.0 / iterations;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    double currentTime = 0;
    std::optional<double> loopStart = 30.0;
    std::optional<double> loopEnd = 95.0;
    CustomProgressBar bar;
    bar.setCurrentTime(Binding<double>::to(currentTime));
    bar.setDuration(180);
    bar.setLoopStart([&] { return loopStart; });
    bar.setLoopEnd([&] { return loopEnd; });
    bar.resize(500, bar.sizeHint().height());

    QImage target(bar.size(), QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::white);
    bar.render(&target);  // warm the shadow cache and the fonts

    const double refreshUs = microsecondsPer(100000, [&] {
        currentTime += 0.01;  // one position tick: far below a pixel on this bar
        bar.refresh();
    });
    std::printf("progress bar refresh per position tick: %.3f us\n", refreshUs);

    const double paintUs = microsecondsPer(2000, [&] {
        currentTime += 0.5;
        if (currentTime > 180)
            currentTime = 0;
        bar.render(&target);
    });
    std::printf("progress bar full repaint (500 px, loop with labels): %.1f us\n", paintUs);

    // A drill moves the fill a pixel or more at every frame, and the gradient
    // spans it: the repaint asked for is the fill as far as it reaches.
    const QRectF track = bar.barRect();
    const double drillFrameUs = microsecondsPer(4000, [&] {
        currentTime = currentTime >= 95 ? 30 : currentTime + 0.5;
        const qreal reach = track.width() * currentTime / 180;
        bar.render(&target, QPoint(), QRegion(QRectF(track.left() - 1, track.top() - 1, reach + 2, track.height() + 2).toAlignedRect()));
    });
    std::printf("progress bar repaint of its fill while drilling (30-95 s of 180 s): %.1f us\n", drillFrameUs);

    // The fill alone, 300 points of it: through the painter's path fill, and
    // row by row as the bar paints it.
    QImage fillTarget(400, 20, QImage::Format_RGB32);
    fillTarget.fill(Qt::white);
    const LinearGradient fillGradient{{Palette::green(), Palette::blue()}, UnitPoint::leading(), UnitPoint::trailing()};
    qreal fillWidth = 300;
    const double pathFillUs = microsecondsPer(20000, [&] {
        fillWidth = fillWidth > 310 ? 300 : fillWidth + 0.7;
        const QRectF fill(4, 4, fillWidth, 12);
        QPainter painter(&fillTarget);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(Shapes::capsule(fill), fillGradient.brushIn(fill));
    });
    GradientCapsulePainter capsule(Palette::green(), Palette::blue());
    const double rowFillUs = microsecondsPer(20000, [&] {
        fillWidth = fillWidth > 310 ? 300 : fillWidth + 0.7;
        QPainter painter(&fillTarget);
        capsule.paint(painter, QRectF(4, 4, fillWidth, 12));
    });
    std::printf("the fill alone (300 px): path fill %.1f us, row by row %.1f us\n", pathFillUs, rowFillUs);

    // The loudness strip at 1600 points: a page made anew (once per page, loop
    // or map), and a frame while playing (the cached page and the play head).
    auto envelope = std::make_shared<WaveformStrip::Envelope>();
    envelope->durationSeconds = 3600;
    for (int hop = 0; hop < 360000; ++hop)
        envelope->levelsDecibels.push_back(hop % 300 < 200 ? -12.0f - float(hop % 17) : -70.0f);
    for (int phrase = 0; phrase < 1200; ++phrase)
        envelope->phrases.emplace_back(phrase * 3.0, phrase * 3.0 + 2.0);
    double playHead = 100;
    std::optional<WaveformStrip::Span> stripLoop = WaveformStrip::Span{101.0, 103.0};
    WaveformStrip strip;
    strip.setEnvelope([&] { return std::shared_ptr<const WaveformStrip::Envelope>(envelope); });
    strip.setPlayHead([&] { return playHead; });
    strip.setLoop([&] { return stripLoop; });
    strip.resize(1600, WaveformStrip::preferredHeight);
    strip.refresh();
    QImage stripTarget(strip.size(), QImage::Format_ARGB32_Premultiplied);
    strip.render(&stripTarget);
    if (argc > 1)
        stripTarget.save(QString::fromLocal8Bit(argv[1]));
    const double pageUs = microsecondsPer(200, [&] {
        stripLoop = WaveformStrip::Span{101.0 + playHead / 1000, 103.0};  // a new loop each time: a new page
        playHead += 0.001;
        strip.refresh();
        strip.render(&stripTarget);
    });
    const double frameUs = microsecondsPer(2000, [&] {
        playHead = 101 + std::fmod(playHead + 0.016, 2.0);
        strip.refresh();
        strip.render(&stripTarget);
    });
    std::printf("loudness strip at 1600 points: a new page %.0f us, a frame while playing %.0f us\n", pageUs, frameUs);

    const QPainterPath card = Shapes::roundedRect(QRectF(0, 0, 520, 180), 15);
    const ShadowStyle cardShadow{Palette::black(0.1), 10, {0, 5}};
    for (qreal dpr : {1.0, 2.0}) {
        QImage canvas(QSize(560, 220) * dpr, QImage::Format_ARGB32_Premultiplied);
        canvas.setDevicePixelRatio(dpr);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        ShadowCache cache;
        int size = 0;
        const double blurUs = microsecondsPer(50, [&] {
            // A new size each time, as while the window is resized.
            cache.draw(painter, Shapes::roundedRect(QRectF(0, 0, 500 + ++size, 180), 15), cardShadow);
        });
        const double reuseUs = microsecondsPer(2000, [&] { cache.draw(painter, card, cardShadow); });
        std::printf("card shadow 520x180 at %.0fx: blur %.0f us, cached draw %.1f us (%d blurs)\n", dpr, blurUs,
                    reuseUs, cache.blurCount());
    }
    return 0;
}
