#include "app/RivetoneApp.h"

#include "app/CommandLine.h"
#include "app/ContentView.h"
#include "app/WindowPlacement.h"
#include "base/Log.h"
#include "desktop/DesktopEntry.h"
#include "desktop/LaunchFeedback.h"
#include "desktop/MediaControls.h"
#include "engine/AudioPlayer.h"
#include "engine/FilePlayer.h"
#include "library/FileImport.h"
#include "library/PlaylistLibrary.h"
#include "ui/kit/Typography.h"

#include <QScreen>
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QIcon>
#include <QLocale>
#include <QTimer>

#include <functional>

namespace {

// Runs an action once, on the turn of the event loop after the widget's
// first paint (that paint and its children's are then on the screen).
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget& widget, std::function<void()> action)
        : QObject(&widget)
        , m_widget(widget)
        , m_action(std::move(action))
    {
        widget.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_widget && event->type() == QEvent::Paint && m_action) {
            m_widget.removeEventFilter(this);
            QTimer::singleShot(0, &m_widget, std::move(m_action));
            m_action = nullptr;
            deleteLater();
        }
        return false;
    }

private:
    QWidget& m_widget;
    std::function<void()> m_action;
};

}  // namespace

void RivetoneApp::configure(QApplication& application)
{
    application.setApplicationName(name);
    // The window's app id on Wayland: the desktop finds its name and icon.
    QGuiApplication::setDesktopFileName(DesktopEntry::applicationId());
    // The window's own icon (what X11 taskbars and title bars show): the
    // theme's, else the one built in.
    QIcon builtIn;
    const QDir icons(QStringLiteral(":/icons"));
    for (const QString& size : icons.entryList(QDir::Dirs))
        builtIn.addFile(icons.filePath(size + u'/' + DesktopEntry::applicationId() + QStringLiteral(".png")));
    application.setWindowIcon(QIcon::fromTheme(DesktopEntry::applicationId(), builtIn));
    application.setFont(Typography::font(TextStyle::Body));
}

RivetoneApp::RivetoneApp(const QString& defaultsFilePath)
    : m_defaults(defaultsFilePath)
    , m_translations(QLocale::system().uiLanguages())
    , m_mainWindow(std::make_unique<ContentView>(m_defaults))
{
    m_mainWindow->setWindowTitle(name);
    new WindowPlacementKeeper(m_defaults, *m_mainWindow);  // owned by the window it watches
}

RivetoneApp::~RivetoneApp()
{
    // The last writes are waited for while the window is still here: its
    // parts say how each went (the library's line), and go with it.
    m_mediaControls.reset();
    // Files handed over by another start, or dropped, just before the quit:
    // the other start was told they were taken. Meanwhile the learner, who
    // quit, neither sees nor hears Rivetone.
    FileImport& import = m_mainWindow->fileImport();
    if (import.isBusy()) {
        m_mainWindow->hide();
        if (FilePlayer* playing = m_mainWindow->audioPlayer().player())
            playing->pause();
        constexpr std::chrono::seconds importPatience{10};
        if (!import.finishBy(std::chrono::steady_clock::now() + importPatience))
            Log::line(QStringLiteral("Files still being looked through at quit were not added"));
    }
    m_defaults.finishWrites();
    // Saves failed and no change came since to try again: the disk may take
    // them now (space freed meanwhile), and this is the last chance.
    if (!m_defaults.lastWriteError().isEmpty()) {
        m_mainWindow->library().savePlaylists();
        m_defaults.finishWrites();
    }
}

void RivetoneApp::showMainWindow()
{
    if (!WindowPlacement::restore(m_defaults, *m_mainWindow)) {
        const QScreen* screen = m_mainWindow->screen();
        m_mainWindow->resize(screen ? WindowPlacement::firstSizeWithin(m_mainWindow->firstWindowSize(),
                                                                        m_mainWindow->minimumSizeHint(),
                                                                        screen->availableGeometry())
                                    : m_mainWindow->firstWindowSize());
    }
    m_mainWindow->show();
}

void RivetoneApp::openFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    m_mainWindow->fileImport().add({paths, std::nullopt, PlaylistLibrary::AddedPlayback::FirstOpened});
}

void RivetoneApp::takeHandOver(const InstanceChannel::Message& message)
{
    Log::line(QStringLiteral("Another start handed over: ") + Log::formatNameList(message.arguments));
    // Checked by the other start already; a file may have gone since.
    const CommandLine::Parsed parsed = CommandLine::parse(message.arguments, message.workingDirectory);
    if (parsed.action == CommandLine::Parsed::Action::Run)
        openFiles(parsed.paths);
    else if (parsed.action == CommandLine::Parsed::Action::Refuse)
        Log::line(QStringLiteral("Handed-over files not added: ") + parsed.message.trimmed().section(u'\n', 0, 0));
    raiseMainWindow();
    if (!message.startupId.isEmpty())
        LaunchFeedback::finish(std::uint32_t(m_mainWindow->winId()), message.startupId);
}

void RivetoneApp::raiseMainWindow()
{
    ContentView& window = *m_mainWindow;
    // Out of the task bar as it was before: showNormal() would also undo a
    // maximised window's state.
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

void RivetoneApp::startMediaControls()
{
    if (m_mediaControls || MediaControls::disabledByEnvironment())
        return;
    MediaControls::WindowHooks hooks{[this] { raiseMainWindow(); }, [] { QCoreApplication::quit(); },
                                     [this](const QString& path) { openFiles({path}); }};
    m_mediaControls = std::make_unique<MediaControls>(m_mainWindow->state(), std::move(hooks));
    m_mediaControls->publishOnSessionBus();
}

void RivetoneApp::startMediaControlsAfterFirstPaint(std::chrono::milliseconds longestWait)
{
    // Owned by the window, as is the timer: neither outlives this.
    new AfterFirstPaint(*m_mainWindow, [this] { startMediaControls(); });
    QTimer::singleShot(longestWait, m_mainWindow.get(), [this] { startMediaControls(); });
}
