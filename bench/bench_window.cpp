// Prints what the main window costs: the time from process start to the
// first painted window, and the CPU the process uses with the window open:
// at rest, playing a 3-minute lesson, and drilling a 2 s loop in a 5 s clip,
// each with the X server's own CPU beside it (what the window's drawing costs
// the display), and the process's share split by thread.
//
//   bench_window [seconds per CPU measurement, default 10]
//
// Playing and drilling each get those seconds in all (a second a turn at
// the least), taken in five turns that alternate between them.
//
// Run it on a real display (or xvfb-run); the offscreen platform paints too,
// but skips the trip to the X server.

#include "app/ContentView.h"
#include "app/RivetoneApp.h"
#include "base/Log.h"
#include "engine/AudioPlayer.h"
#include "state/ContentState.h"
#include "ProcessClock.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <unistd.h>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The X server this process draws on: the Xvfb or Xorg process serving
// $DISPLAY's number (several may run side by side, each xvfb-run its own).
int xServerPid()
{
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray number = display.mid(display.indexOf(':')).split('.').first();  // ":99"
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const int pid = entry.toInt(&isPid);
        QFile comm(QStringLiteral("/proc/%1/comm").arg(entry));
        if (!isPid || !comm.open(QIODevice::ReadOnly))
            continue;
        const QByteArray name = comm.readAll().trimmed();
        if (name != "Xvfb" && name != "Xorg" && name != "X")
            continue;
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (commandLine.open(QIODevice::ReadOnly) && commandLine.readAll().split('\0').contains(number))
            return pid;
    }
    return -1;
}

// From the scheduler's count in nanoseconds, summed over the process's
// threads: the clock-tick count of /proc/<pid>/stat moves in 10 ms steps,
// coarser than what a server drawing a small window uses in ten seconds.
double processCpuSeconds(int pid)
{
    if (pid <= 0)
        return 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    double seconds = 0;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (schedstat.open(QIODevice::ReadOnly))
            seconds += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return seconds;
}

// Per thread name (the app names its threads; threads of one name summed):
// CPU seconds and times scheduled in, which say which part of the process a
// difference between two runs is in.
struct ThreadUse {
    double cpuSeconds = 0;
    double runs = 0;
};
std::map<QString, ThreadUse> useByThreadName()
{
    std::map<QString, ThreadUse> use;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (!comm.open(QIODevice::ReadOnly) || !schedstat.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = schedstat.readAll().split(' ');
        ThreadUse& named = use[QString::fromUtf8(comm.readAll().trimmed())];
        named.cpuSeconds += fields.value(0).toDouble() / 1e9;
        named.runs += fields.value(2).toDouble();
    }
    return use;
}

struct CpuShare {
    double own = 0;
    double xServer = 0;
    double elapsedSeconds = 0;
};

// Runs the event loop for a while; returns the CPU used, this process's and
// the X server's, as shares of one core.
CpuShare cpuShareOver(int milliseconds)
{
    static const int xServer = xServerPid();
    QElapsedTimer wall;
    const double cpuBefore = cpuSeconds();
    const double xBefore = processCpuSeconds(xServer);
    wall.start();
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, qApp, [] { QCoreApplication::exit(); });
    QCoreApplication::exec();
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    return {(cpuSeconds() - cpuBefore) / elapsed, (processCpuSeconds(xServer) - xBefore) / elapsed, elapsed};
}

// A share of a core, with the X server's beside it when there is one.
QString shareText(const CpuShare& share)
{
    static const bool haveX = xServerPid() > 0;
    return haveX ? QStringLiteral("%1 % of a core (X server %2 %)").arg(share.own * 100, 0, 'f', 2).arg(share.xServer * 100, 0, 'f', 2)
                 : QStringLiteral("%1 % of a core").arg(share.own * 100, 0, 'f', 2);
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

// Counts the frames the window paints: each is one update request that
// repaints and sends the changed part to the display.
class FrameCounter : public QObject {
public:
    quint64 frames = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::UpdateRequest)
            ++frames;
        return false;
    }
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
    seed.finishWrites();

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
    FrameCounter painted;
    window.installEventFilter(&painted);
    cpuShareOver(1000);  // settle
    quint64 refreshes = window.refreshCount();
    const CpuShare idle = cpuShareOver(seconds * 1000);
    std::printf("at rest, nothing loaded, %d s: %s (%.0f display refreshes/s)\n", seconds, qPrintable(shareText(idle)),
                double(window.refreshCount() - refreshes) / seconds);

    // A lesson of a few minutes, as learners drill them (made here with
    // ffmpeg), and the 5 s fixture, on which the bar's fill moves every frame.
    AudioPlayer& player = window.audioPlayer();
    const QString lesson = config.filePath(QStringLiteral("lesson-3min.mp3"));
    const bool haveLesson = makeLesson(lesson, 180);
    player.setPlaylist({QUrl::fromLocalFile(fixtures + QStringLiteral("/sine-5s.mp3")), QUrl::fromLocalFile(lesson)});
    // Playing and drilling take turns, a few seconds at a time, so that
    // what the machine does meanwhile (its clock, a neighbour's work) weighs
    // on both alike: each pair of turns gives a difference, and their median
    // compares the two more closely than two long runs one after the other.
    struct Phase {
        const char* what = "";
        qint64 track = 0;
        bool withLoop = false;
        CpuShare total;
        double elapsedSeconds = 0;
        quint64 refreshes = 0;
        quint64 frames = 0;
        qsizetype wraps = 0;
        std::vector<double> shares;
        std::map<QString, ThreadUse> threads;
    };
    std::vector<Phase> phases;
    const auto makePhase = [](const char* what, qint64 track, bool withLoop) {
        Phase made;
        made.what = what;
        made.track = track;
        made.withLoop = withLoop;
        return made;
    };
    if (haveLesson)
        phases.push_back(makePhase("playing a 3-minute lesson", 1, false));
    else
        std::printf("ffmpeg could not make the 3-minute lesson; skipping it\n");
    phases.push_back(makePhase("drilling a 2 s loop in a 5 s clip (the bar's fill moves every frame)", 0, true));
    const int rounds = 5;
    const int turnMilliseconds = std::max(1000, seconds * 1000 / rounds);
    double lessonAtSeconds = 0;
    for (int round = 0; round < rounds; ++round) {
        for (Phase& phase : phases) {
            player.playTrack(phase.track);
            if (phase.withLoop) {
                player.setLoopStart(1.0);
                player.setLoopEnd(3.0);
                player.seek(1.0);
            } else {
                player.seek(lessonAtSeconds);  // the lesson goes on where it was
            }
            cpuShareOver(1000);
            const quint64 refreshesBefore = window.refreshCount();
            const quint64 framesBefore = painted.frames;
            const qsizetype linesBefore = quiet.lines().size();
            const std::map<QString, ThreadUse> threadsBefore = useByThreadName();
            const CpuShare share = cpuShareOver(turnMilliseconds);
            for (const auto& [name, use] : useByThreadName()) {
                const auto before = threadsBefore.find(name);
                const ThreadUse was = before == threadsBefore.end() ? ThreadUse{} : before->second;
                phase.threads[name].cpuSeconds += use.cpuSeconds - was.cpuSeconds;
                phase.threads[name].runs += use.runs - was.runs;
            }
            phase.total.own += share.own * share.elapsedSeconds;
            phase.total.xServer += share.xServer * share.elapsedSeconds;
            phase.elapsedSeconds += share.elapsedSeconds;
            phase.refreshes += window.refreshCount() - refreshesBefore;
            phase.frames += painted.frames - framesBefore;
            phase.wraps += quiet.lines().size() - linesBefore;
            phase.shares.push_back(share.own);
            if (!phase.withLoop)
                lessonAtSeconds = player.currentTime();
        }
    }
    for (const Phase& phase : phases) {
        const CpuShare mean{phase.total.own / phase.elapsedSeconds, phase.total.xServer / phase.elapsedSeconds};
        std::printf("%s, %.0f s in %d turns: %s (%.0f display refreshes/s, %.0f frames painted/s, %lld loop wraps)\n",
                    phase.what, phase.elapsedSeconds, rounds, qPrintable(shareText(mean)),
                    double(phase.refreshes) / phase.elapsedSeconds, double(phase.frames) / phase.elapsedSeconds,
                    static_cast<long long>(phase.wraps));
        QStringList byThread;
        for (const auto& [name, use] : phase.threads)
            if (use.cpuSeconds / phase.elapsedSeconds >= 0.0005)
                byThread << QStringLiteral("%1 %2 % (%3 wake-ups/s)")
                                .arg(name)
                                .arg(use.cpuSeconds / phase.elapsedSeconds * 100, 0, 'f', 2)
                                .arg(use.runs / phase.elapsedSeconds, 0, 'f', 0);
        std::printf("  by thread: %s\n", qPrintable(byThread.join(QStringLiteral(", "))));
    }
    if (phases.size() == 2) {
        std::vector<double> differences;
        for (int round = 0; round < rounds; ++round)
            differences.push_back((phases[1].shares[round] - phases[0].shares[round]) * 100);
        std::sort(differences.begin(), differences.end());
        std::printf("drilling minus playing, turn by turn: median %+.2f points of a core (from %+.2f to %+.2f)\n",
                    differences[differences.size() / 2], differences.front(), differences.back());
    }
    player.stop();
    cpuShareOver(4000);  // the sound output rests after a few quiet seconds
    refreshes = window.refreshCount();
    const CpuShare stopped = cpuShareOver(seconds * 1000);
    std::printf("at rest again, a track loaded and stopped, %d s: %s (%.0f display refreshes/s)\n", seconds,
                qPrintable(shareText(stopped)), double(window.refreshCount() - refreshes) / seconds);
    return 0;
}
