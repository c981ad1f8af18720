// Loading and saving a large library: 10,000 tracks in 20 playlists with long,
// partly non-ASCII paths. Prints the median times and whether a load followed
// by a re-encode gives back the stored bytes exactly.

#include "base/DefaultsStore.h"
#include "base/Log.h"
#include "library/PlaylistCodec.h"
#include "library/PlaylistLibrary.h"
#include "state/ContentState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int playlistCount = 20;
constexpr int tracksPerPlaylist = 500;
constexpr int runs = 31;

Playlists makeLibrary()
{
    const QStringList courses = {
        QStringLiteral("Korean Grammar in Use – Intermediate"), QStringLiteral("한국어 듣기 연습 (중급)"),
        QStringLiteral("Español para viajeros"), QStringLiteral("日本語の聴解 N2"), QStringLiteral("Podcasts #Daily"),
    };
    Playlists library;
    for (int p = 0; p < playlistCount; ++p) {
        TrackList tracks;
        tracks.reserve(tracksPerPlaylist);
        const QString course = courses[p % courses.size()];
        for (int t = 0; t < tracksPerPlaylist; ++t) {
            const QString path = QStringLiteral("/home/learner/Music/Language Study/%1/Volume %2/Chapter %3 – 대화 %4 (slow & clear) [100%].%5")
                                     .arg(course)
                                     .arg(p + 1)
                                     .arg(t / 10 + 1)
                                     .arg(t + 1)
                                     .arg(t % 3 == 0 ? QStringLiteral("m4a") : QStringLiteral("mp3"));
            tracks << QUrl::fromLocalFile(path);
        }
        library.insert(QStringLiteral("%1 · %2").arg(course).arg(p + 1), std::move(tracks));
    }
    return library;
}

double medianMilliseconds(const std::function<void(int)>& run)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        run(i);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const Playlists library = makeLibrary();
    const QString savePath = dir.filePath(QStringLiteral("save.ini"));

    Log::Capture quiet;
    DefaultsStore saveStore(savePath);
    ContentState saveState(saveStore);
    PlaylistLibrary saver(saveState);
    saveState.setPlaylists(library);
    const double saveMs = medianMilliseconds([&](int) { saver.savePlaylists(); });
    const double encodeMs = medianMilliseconds([&](int) { (void)PlaylistCodec::encode(library); });
    const QByteArray stored = saveStore.data(ContentState::playlistsKey).value_or(QByteArray());

    // Each load reads a settings file this process has not seen yet, as a
    // fresh start would.
    for (int i = 0; i < runs; ++i)
        QFile::copy(savePath, dir.filePath(QStringLiteral("load-%1.ini").arg(i)));
    Playlists loaded;
    const double loadMs = medianMilliseconds([&](int i) {
        DefaultsStore store(dir.filePath(QStringLiteral("load-%1.ini").arg(i)));
        ContentState state(store);
        PlaylistLibrary(state).loadPlaylists();
        if (i == 0)
            loaded = state.playlists();
    });
    const double decodeMs = medianMilliseconds([&](int) { (void)PlaylistCodec::decode(stored); });

    const bool sameLibrary = loaded == library;
    const bool sameBytes = PlaylistCodec::encode(loaded) == stored;
    std::printf("library: %d playlists, %d tracks, %lld bytes of JSON, settings file %lld bytes\n", playlistCount,
                playlistCount * tracksPerPlaylist, qlonglong(stored.size()), qlonglong(QFileInfo(savePath).size()));
    std::printf("save median: %.2f ms (encode alone %.2f ms)  [target < 50 ms]\n", saveMs, encodeMs);
    std::printf("load median: %.2f ms (decode alone %.2f ms)  [target < 50 ms]\n", loadMs, decodeMs);
    std::printf("round trip: loaded library %s the saved one; re-encoded bytes %s the stored bytes\n",
                sameLibrary ? "equals" : "DIFFERS FROM", sameBytes ? "match" : "DO NOT MATCH");
    return sameLibrary && sameBytes ? 0 : 1;
}
