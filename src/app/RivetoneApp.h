#pragma once

#include "app/InstanceChannel.h"
#include "app/Translations.h"
#include "base/DefaultsStore.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

class ContentView;
class MediaControls;
class QApplication;

// The application: its name and typeface, the per-user defaults store, and
// its one window, whose content is a ContentView.
class RivetoneApp {
public:
    static inline const QString name = QStringLiteral("Rivetone");

    // Names the application and makes the rounded face its default font.
    static void configure(QApplication& application);

    explicit RivetoneApp(const QString& defaultsFilePath = DefaultsStore::standardFilePath());
    ~RivetoneApp();
    RivetoneApp(const RivetoneApp&) = delete;
    RivetoneApp& operator=(const RivetoneApp&) = delete;

    ContentView& mainWindow() { return *m_mainWindow; }
    DefaultsStore& defaults() { return m_defaults; }

    // Shows the window as it was left at the last quit, or at its first size.
    void showMainWindow();
    // Files and folders from the command line (absolute paths): added to the
    // current playlist, or a new one while there is none; the first plays.
    void openFiles(const QStringList& paths);
    // Another start handed over its command line: its files are opened, and
    // the window comes to the front.
    void takeHandOver(const InstanceChannel::Message& message);
    // Shows the window if it was minimised or hidden and brings it to the front.
    void raiseMainWindow();

    // Offers the player to the desktop's media controls on the session bus,
    // once the window is up (unless RIVETONE_NO_MPRIS=1). Without a bus the
    // app goes on without them.
    void startMediaControls();
    // The same, started on the turn of the event loop after the window's
    // first paint: connecting to the bus and taking a name are round trips
    // to its daemon (a few milliseconds, tens on a busy machine), which the
    // first picture does not wait for. A window that is not painted
    // within longestWait (shown minimised, say) gets them then.
    void startMediaControlsAfterFirstPaint(std::chrono::milliseconds longestWait = std::chrono::seconds(3));
    // Null until started, and when the environment turned them off.
    MediaControls* mediaControls() const { return m_mediaControls.get(); }

private:
    // Goes last: its destructor finishes the last write of the settings.
    DefaultsStore m_defaults;
    // Before the window: its texts are translated as its widgets are made.
    Translations m_translations;
    std::unique_ptr<ContentView> m_mainWindow;
    // Goes first: it drives the window's state.
    std::unique_ptr<MediaControls> m_mediaControls;
};
