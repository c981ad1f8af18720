#include "app/CommandLine.h"
#include "app/InstanceChannel.h"
#include "app/QuitOnSignal.h"
#include "app/RivetoneApp.h"
#include "app/UserFolders.h"
#include "desktop/LaunchFeedback.h"

#include <QApplication>
#include <QDir>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

QStringList argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// Help, version and a refused line are answered here; anything else is left
// to start.
std::optional<int> answered(const CommandLine::Parsed& parsed, const QString& startupId = {})
{
    switch (parsed.action) {
    case CommandLine::Parsed::Action::ShowHelp:
    case CommandLine::Parsed::Action::ShowVersion:
        std::fputs(parsed.message.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        return 0;
    case CommandLine::Parsed::Action::Refuse:
        std::fputs(parsed.message.toLocal8Bit().constData(), stderr);
        // Opened from the desktop, the launcher would show its busy cursor
        // until it gave up: no window comes to end it. (The toolkit, once
        // started, has taken the id out of the environment.)
        // Sent on a connection of its own, to the root of DISPLAY's screen,
        // where the launcher listens (the toolkit's would take the first).
        LaunchFeedback::finishOnDisplay(qGuiApp ? startupId : LaunchFeedback::idFromEnvironment());
        return CommandLine::refusedExitStatus;
    case CommandLine::Parsed::Action::Run:
        break;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    // Under a file size limit (ulimit -f), a write past it would end the
    // process where it stands, a save half made; ignored, the write fails and
    // the save says so like any other failed write.
    std::signal(SIGXFSZ, SIG_IGN);
    // Whatever reads the log lines may go first (a pager quit, a log stream
    // that broke): the next line would end the process there, a loop it
    // had just said was saved not yet on disk. Ignored, the line is lost and
    // the program goes on.
    std::signal(SIGPIPE, SIG_IGN);
    UserFolders::settle();
    // Read before the application starts, so that help, the version and a
    // bad path need no display. An unknown option may be one of the toolkit's
    // own ("-platform", "-style"): the line is read again once those are taken.
    CommandLine::Parsed parsed = CommandLine::parse(argumentsOf(argc, argv), QDir::currentPath());
    if (!parsed.unknownOption) {
        if (const std::optional<int> status = answered(parsed))
            return *status;
    }

    // On a Wayland desktop too, the window is an X11 one (through XWayland)
    // unless asked otherwise: there a second start can bring it forward and
    // end the launch's busy cursor, which a Wayland window of this toolkit
    // version cannot. Qt would take Wayland first where its plugin is installed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // Qt takes the desktop's id for this start as it starts.
    const QString startupId = LaunchFeedback::idFromEnvironment();
    // The toolkit takes its own options ("-reverse", "-style x") out of the
    // line wherever they stand, and acts on them; after "--" they are the
    // names of files, so it is shown only the part before.
    int toolkitArgc = 1;
    while (toolkitArgc < argc && std::strcmp(argv[toolkitArgc], "--") != 0)
        ++toolkitArgc;
    const QStringList fromDashes = argumentsOf(argc, argv).mid(toolkitArgc - 1);
    QApplication application(toolkitArgc, argv);
    RivetoneApp::configure(application);
    const QStringList arguments = application.arguments().mid(1) + fromDashes;
    if (parsed.unknownOption) {
        parsed = CommandLine::parse(arguments, QDir::currentPath());
        if (const std::optional<int> status = answered(parsed, startupId))
            return *status;
    }

    const QString settingsFile = DefaultsStore::standardFilePath();
    InstanceChannel channel(settingsFile);
    QString error;
    switch (channel.claimOrHandOver({arguments, QDir::currentPath(), startupId}, &error)) {
    case InstanceChannel::Role::HandedOver:
        return 0;
    case InstanceChannel::Role::Failed:
        std::fprintf(stderr, "rivetone: %s\n", qPrintable(error));
        // No window comes to end the launcher's busy cursor, as for a
        // refused line.
        LaunchFeedback::finishOnDisplay(startupId);
        return 1;
    case InstanceChannel::Role::First:
        break;
    }
    // Made before the app and so gone after it: a signal while the app
    // finishes its writes at the end only writes a byte nobody reads, where
    // the default action would end the process in the middle of a save.
    const QuitOnSignal quitOnSignal;
    RivetoneApp rivetone(settingsFile);
    QObject::connect(&channel, &InstanceChannel::handedOver, &channel,
                     [&rivetone](const InstanceChannel::Message& message) { rivetone.takeHandOver(message); });
    rivetone.showMainWindow();
    rivetone.openFiles(parsed.paths);
    rivetone.startMediaControlsAfterFirstPaint();
    return application.exec();
}
