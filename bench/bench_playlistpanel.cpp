// The playlist panel with a playlist of 10,000 tracks: how long opening its
// row takes (the library operation, the list's rebuild and the first paint),
// and how long each repaint costs while the list scrolls by wheel notches and
// by jumps. Prints the median and the worst of each; a frame is 16 ms.

#include "base/DefaultsStore.h"
#include "base/Log.h"
#include "library/PlaylistLibrary.h"
#include "state/ContentState.h"
#include "ui/screens/PlaylistListView.h"
#include "ui/screens/PlaylistPanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int trackCount = 10000;
constexpr int openRuns = 41;
constexpr int scrollFrames = 400;

struct Figures {
    double medianMs;
    double worstMs;
};

Figures figuresOf(std::vector<double> milliseconds)
{
    std::sort(milliseconds.begin(), milliseconds.end());
    return {milliseconds[milliseconds.size() / 2], milliseconds.back()};
}

double millisecondsFor(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

void print(const char* what, const Figures& figures)
{
    std::printf("%-58s median %7.3f ms   worst %7.3f ms\n", what, figures.medianMs, figures.worstMs);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Log::Capture quiet;  // the operations' own lines are not the point here

    QTemporaryDir dir;
    DefaultsStore defaults(dir.filePath(QStringLiteral("Rivetone.ini")));
    ContentState state(defaults);
    PlaylistLibrary library(state);

    TrackList tracks;
    tracks.reserve(trackCount);
    for (int i = 0; i < trackCount; ++i)
        tracks << QUrl::fromLocalFile(
            QStringLiteral("/home/learner/Music/Language Study/Unit %1/Dialogue %2 (slow & clear).mp3").arg(i / 40).arg(i));
    Playlists playlists;
    playlists.insert(QStringLiteral("Big"), tracks);
    playlists.insert(QStringLiteral("Drills"), TrackList{tracks.first(), tracks.last()});
    state.setPlaylists(playlists);
    state.setCurrentPlaylist(QStringLiteral("Drills"));

    QWidget window;
    window.resize(320, 640);
    PlaylistPanel panel(state, library, &window);
    panel.setGeometry(0, 0, panel.width(), 640);
    window.show();
    QApplication::processEvents();
    PlaylistListView& list = *panel.list();
    QWidget& viewport = *list.viewport();

    // Open: the label's operation, then the frame that shows it.
    std::vector<double> open;
    for (int run = 0; run < openRuns; ++run) {
        if (library.isPlaylistExpanded(QStringLiteral("Big")))
            library.togglePlaylistExpansion(QStringLiteral("Big"));
        viewport.repaint();
        open.push_back(millisecondsFor([&] {
            library.togglePlaylistExpansion(QStringLiteral("Big"));
            viewport.repaint();
        }));
        quiet.clear();
    }
    print("open the 10,000-track row (operation + first frame)", figuresOf(open));

    // With a track of the big list playing, as when drilling from it.
    library.playTrackInPlaylist(QStringLiteral("Big"), tracks[5000]);
    QScrollBar& bar = *list.verticalScrollBar();
    std::printf("list content height: %.0f points, viewport %d points high\n", list.listLayout().contentHeight(),
                viewport.height());

    std::vector<double> notches;
    const int notch = 3 * bar.singleStep();
    bar.setValue(0);
    for (int frame = 0; frame < scrollFrames; ++frame) {
        notches.push_back(millisecondsFor([&] {
            bar.setValue(bar.value() + notch);
            viewport.repaint();
        }));
    }
    print("repaint per wheel notch while scrolling", figuresOf(notches));

    std::vector<double> jumps;
    QRandomGenerator random(7);
    for (int frame = 0; frame < scrollFrames; ++frame) {
        const int target = int(random.bounded(bar.maximum() + 1));
        jumps.push_back(millisecondsFor([&] {
            bar.setValue(target);
            viewport.repaint();
        }));
    }
    print("repaint per jump to anywhere (scroll bar drag)", figuresOf(jumps));

    std::vector<double> rebuilds;
    for (int run = 0; run < openRuns; ++run)
        rebuilds.push_back(millisecondsFor([&] { list.reload(); }));
    const Figures rebuild = figuresOf(rebuilds);
    std::printf("%-58s median %7.1f us   worst %7.1f us\n", "rebuild of the rows alone (10,000 open tracks)",
                rebuild.medianMs * 1000, rebuild.worstMs * 1000);
    return 0;
}
