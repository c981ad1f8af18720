// Prints what the drawing layer costs: a progress bar fed at the position
// timer's rate, a full repaint of it, and making versus reusing card shadows.

#include "ui/kit/CustomProgressBar.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Shadow.h"
#include "ui/kit/Shapes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <cstdio>
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
