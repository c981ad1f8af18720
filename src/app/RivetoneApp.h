#pragma once

#include "app/InstanceChannel.h"
#include "base/DefaultsStore.h"

#include <QString>
#include <QStringList>

#include <memory>

class ContentView;
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

private:
    // Goes last: its destructor finishes the last write of the settings.
    DefaultsStore m_defaults;
    std::unique_ptr<ContentView> m_mainWindow;
};
