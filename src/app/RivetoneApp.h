#pragma once

#include "app/InstanceChannel.h"
#include "base/DefaultsStore.h"

#include <QString>

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
    // Another start handed over its command line: the window comes to the front.
    void takeHandOver(const InstanceChannel::Message& message);

private:
    // Goes last: its destructor finishes the last write of the settings.
    DefaultsStore m_defaults;
    std::unique_ptr<ContentView> m_mainWindow;
};
