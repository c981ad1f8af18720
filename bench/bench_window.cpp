// Prints what the main window costs: the time from process start to the
// first painted window, and the CPU the process uses with the window open,
// idle and while a track plays with an A-B loop set.
//
//   bench_window [seconds per CPU measurement, default 10]
//
// Run it on a real display (or xvfb-run); the offscreen platform paints too,
// but skips the trip to the X server.

#include "app/ContentView.h"
#include "app/RivetoneApp.h"
#include "base/Log.h"
#include "engine/AudioPlayer.h"
#include "state/ContentState.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// Milliseconds since the process started, from the kernel's record (10 ms steps).
double millisecondsSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray statText = stat.readAll();
    // Fields after the command name (which may hold spaces) start after ')'.
    const QList<QByteArray> fields = statText.mid(statText.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble();  // field 22 overall
    const double uptimeSeconds = uptime.readAll().split(' ').value(0).toDouble();
    return (uptimeSeconds - startTicks / double(sysconf(_SC_CLK_TCK))) * 1000.0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for a while; returns the CPU used as a share of one core.
double cpuShareOver(int seconds)
{
    QElapsedTimer wall;
    const double cpuBefore = cpuSeconds();
    wall.start();
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, qApp, [] { QCoreApplication::exit(); });
    QCoreApplication::exec();
    return (cpuSeconds() - cpuBefore) / (double(wall.nsecsElapsed()) / 1e9);
}

bool makeLesson(const QString& path, int seconds)
{
    const QString command = QStringLiteral(
        "ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
        "\"sine=frequency=330:sample_rate=44100:duration=%1\" -ac 2 -c:a libmp3lame -b:a 96k \"%2\"")
                                .arg(seconds)
                                .arg(path);
    return std::system(command.toLocal8Bit().constData()) == 0;
}

// Notes when the window has finished its first paint.
class FirstPaintWatch : public QObject {
public:
    explicit FirstPaintWatch(const QElapsedTimer& clock)
        : m_clock(clock)
    {
    }
    qint64 paintedAtMilliseconds = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || paintedAtMilliseconds >= 0)
            return false;
        removeEventFilter(this);
        watched->removeEventFilter(this);
        QCoreApplication::sendEvent(watched, event);  // paint now, then read the clock
        paintedAtMilliseconds = m_clock.elapsed();
        QCoreApplication::exit();
        return true;
    }

private:
    const QElapsedTimer& m_clock;
};

}  // namespace

int main(int argc, char** argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    const double processAgeAtMain = millisecondsSinceProcessStart();
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    QApplication application(argc, argv);
    RivetoneApp::configure(application);

    // A library of two tracks, as the app stores it.
    QTemporaryDir config;
    DefaultsStore seed(config.filePath(QStringLiteral("Rivetone.ini")));
    const QString fixtures = QStringLiteral(RIVETONE_FIXTURES_DIR);
    const QString library = QStringLiteral(R"({"Drills":["%1","%2"]})")
                                .arg(QUrl::fromLocalFile(fixtures + QStringLiteral("/sine-5s.mp3")).toString(),
                                     QUrl::fromLocalFile(fixtures + QStringLiteral("/sine-5s.m4a")).toString());
    seed.setData(ContentState::playlistsKey, library.toUtf8());

    Log::Capture quiet;
    RivetoneApp rivetone(config.filePath(QStringLiteral("Rivetone.ini")));
    FirstPaintWatch watch(sinceMain);
    rivetone.mainWindow().installEventFilter(&watch);
    rivetone.showMainWindow();
    QCoreApplication::exec();
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("main() to first painted window: %lld ms\n", static_cast<long long>(watch.paintedAtMilliseconds));
    if (processAgeAtMain >= 0)
        std::printf("process start to first painted window: %.0f ms (process start known to 10 ms)\n",
                    processAgeAtMain + double(watch.paintedAtMilliseconds));

    ContentView& window = rivetone.mainWindow();
    cpuShareOver(1);  // settle
    quint64 refreshes = window.refreshCount();
    const double idle = cpuShareOver(seconds);
    std::printf("idle, window open, %d s: %.2f %% of a core (%.0f display refreshes/s)\n", seconds, idle * 100,
                double(window.refreshCount() - refreshes) / seconds);

    // A lesson of a few minutes, as learners drill them (made here with
    // ffmpeg), and the 5 s fixture, on which the bar's fill moves every frame.
    AudioPlayer& player = window.audioPlayer();
    const QString lesson = config.filePath(QStringLiteral("lesson-3min.mp3"));
    const bool haveLesson = makeLesson(lesson, 180);
    player.setPlaylist({QUrl::fromLocalFile(fixtures + QStringLiteral("/sine-5s.mp3")), QUrl::fromLocalFile(lesson)});
    const auto measurePlaying = [&](qint64 index, const char* what) {
        player.playTrack(index);
        player.setLoopStart(1.0);
        player.setLoopEnd(3.0);
        cpuShareOver(1);
        const quint64 refreshesBefore = window.refreshCount();
        const qsizetype seeksBefore = quiet.lines().size();
        const double playing = cpuShareOver(seconds);
        std::printf("playing %s with a 2 s loop, %d s: %.2f %% of a core (%.0f display refreshes/s, %lld loop seeks)\n",
                    what, seconds, playing * 100, double(window.refreshCount() - refreshesBefore) / seconds,
                    static_cast<long long>(quiet.lines().size() - seeksBefore));
    };
    if (haveLesson)
        measurePlaying(1, "a 3-minute lesson");
    else
        std::printf("ffmpeg could not make the 3-minute lesson; skipping it\n");
    measurePlaying(0, "a 5 s clip (the bar's fill moves every frame)");
    return 0;
}
