// Prints how long Rivetone takes to start with its media controls on D-Bus
// and without them (RIVETONE_NO_MPRIS=1): from main() (and from process
// start) to the first painted window, and to the controls being on the bus.
//
//   bench_startup [runs per setting, default 9]
//
// Each run is a fresh process (this program again, with --child), on the
// offscreen platform, with a private session bus started here, so one
// run's connection does not help the next. The settings alternate run by
// run, so a change in the machine's load falls on both alike.

#include "app/ContentView.h"
#include "app/InstanceChannel.h"
#include "app/RivetoneApp.h"
#include "base/Log.h"
#include "desktop/MediaControls.h"
#include "state/ContentState.h"
#include "ProcessClock.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unistd.h>

namespace {

// Notes when the window has finished its first paint.
class FirstPaintWatch : public QObject {
public:
    explicit FirstPaintWatch(const QElapsedTimer& clock)
        : m_clock(clock)
    {
    }
    double paintedAtMilliseconds = -1;
    std::function<void()> onPainted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || paintedAtMilliseconds >= 0)
            return false;
        watched->removeEventFilter(this);
        QCoreApplication::sendEvent(watched, event);
        paintedAtMilliseconds = double(m_clock.nsecsElapsed()) / 1e6;
        onPainted();
        return true;
    }

private:
    const QElapsedTimer& m_clock;
};

// One start, as main() makes it; prints "<to paint> <to controls> <process age at main>".
int runChild(int argc, char** argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    const double processAgeAtMain = millisecondsSinceProcessStart();
    QApplication application(argc, argv);
    RivetoneApp::configure(application);

    QTemporaryDir config;
    const QString settings = config.filePath(QStringLiteral("Rivetone.ini"));
    {
        DefaultsStore seed(settings);
        const QString fixtures = QStringLiteral(RIVETONE_FIXTURES_DIR);
        seed.setData(ContentState::playlistsKey,
                     QStringLiteral(R"({"Drills":["%1","%2"]})")
                         .arg(QUrl::fromLocalFile(fixtures + QStringLiteral("/sine-5s.mp3")).toString(),
                              QUrl::fromLocalFile(fixtures + QStringLiteral("/sine-5s.m4a")).toString())
                         .toUtf8());
    }
    Log::Capture quiet;
    InstanceChannel channel(settings);
    QString error;
    if (channel.claimOrHandOver({{}, QDir::currentPath(), {}}, &error) != InstanceChannel::Role::First)
        return 1;
    RivetoneApp rivetone(settings);
    FirstPaintWatch watch(sinceMain);
    const bool wantControls = !MediaControls::disabledByEnvironment();
    double controlsAtMilliseconds = -1;
    // As main() starts them; when they came is seen within a millisecond.
    QTimer controlsWatch;
    controlsWatch.setInterval(1);
    const auto finishWhenBothDone = [&] {
        if (watch.paintedAtMilliseconds >= 0 && (!wantControls || controlsAtMilliseconds >= 0))
            QCoreApplication::exit();
    };
    QObject::connect(&controlsWatch, &QTimer::timeout, [&] {
        if (controlsAtMilliseconds >= 0 || !rivetone.mediaControls())
            return;
        controlsAtMilliseconds = double(sinceMain.nsecsElapsed()) / 1e6;
        finishWhenBothDone();
    });
    watch.onPainted = finishWhenBothDone;
    rivetone.mainWindow().installEventFilter(&watch);
    rivetone.showMainWindow();
    rivetone.startMediaControlsAfterFirstPaint();
    if (wantControls)
        controlsWatch.start();
    QCoreApplication::exec();
    const bool onBus = rivetone.mediaControls() && !rivetone.mediaControls()->serviceName().isEmpty();
    std::printf("%.2f %.2f %.1f %d\n", watch.paintedAtMilliseconds, controlsAtMilliseconds, processAgeAtMain, onBus ? 1 : 0);
    return 0;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    if (n == 0)
        return -1;
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--child")
        return runChild(argc, argv);

    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const QString daemonProgram = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemonProgram.isEmpty()) {
        std::printf("dbus-daemon is not installed\n");
        return 1;
    }
    QProcess daemon;
    daemon.start(daemonProgram, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                                 QStringLiteral("--print-address=1")});
    if (!daemon.waitForStarted() || !daemon.waitForReadyRead(5000))
        return 1;
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();

    QTemporaryDir home;
    struct Setting {
        const char* name;
        bool mpris;
        QList<double> toPaint, toControls, fromProcessStart;
        int onBus = 0;
    };
    Setting settings[] = {{"D-Bus on ", true, {}, {}, {}}, {"D-Bus off", false, {}, {}, {}}};
    for (int run = 0; run < runs; ++run) {
        for (Setting& setting : settings) {
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            environment.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
            environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.path());
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
            environment.insert(QString::fromLatin1(MediaControls::disablingVariable),
                               setting.mpris ? QStringLiteral("0") : QStringLiteral("1"));
            child.setProcessEnvironment(environment);
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
            if (!child.waitForFinished(30000) || child.exitCode() != 0) {
                std::printf("a run failed: %s\n", child.readAllStandardError().constData());
                return 1;
            }
            const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
            setting.toPaint << fields.value(0).toDouble();
            setting.toControls << fields.value(1).toDouble();
            setting.fromProcessStart << fields.value(2).toDouble() + fields.value(0).toDouble();
            setting.onBus += fields.value(3).toInt();
        }
    }
    daemon.terminate();
    daemon.waitForFinished();

    std::printf("%d runs per setting, offscreen, private session bus\n", runs);
    for (const Setting& setting : settings) {
        const auto [least, most] = std::minmax_element(setting.toPaint.cbegin(), setting.toPaint.cend());
        std::printf("%s: main() to first painted window %.1f ms median (%.1f-%.1f), process start to it ~%.0f ms",
                    setting.name, median(setting.toPaint), *least, *most, median(setting.fromProcessStart));
        if (setting.mpris)
            std::printf(", main() to controls on the bus %.1f ms; on the bus in %d of %d runs\n", median(setting.toControls),
                        setting.onBus, runs);
        else
            std::printf("; on the bus in %d of %d runs\n", setting.onBus, runs);
    }
    return 0;
}
