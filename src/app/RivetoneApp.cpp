#include "app/RivetoneApp.h"

#include "app/ContentView.h"
#include "base/Log.h"
#include "desktop/DesktopEntry.h"
#include "desktop/MediaControls.h"
#include "ui/kit/Typography.h"

#include <QApplication>

void RivetoneApp::configure(QApplication& application)
{
    application.setApplicationName(name);
    // The window's app id on Wayland: the desktop finds its name and icon.
    QGuiApplication::setDesktopFileName(DesktopEntry::applicationId());
    application.setFont(Typography::font(TextStyle::Body));
}

RivetoneApp::RivetoneApp(const QString& defaultsFilePath)
    : m_defaults(defaultsFilePath)
    , m_mainWindow(std::make_unique<ContentView>(m_defaults))
{
    m_mainWindow->setWindowTitle(name);
}

RivetoneApp::~RivetoneApp() = default;

void RivetoneApp::showMainWindow()
{
    m_mainWindow->resize(m_mainWindow->firstWindowSize());
    m_mainWindow->show();
}

void RivetoneApp::takeHandOver(const InstanceChannel::Message& message)
{
    Log::line(QStringLiteral("Another start handed over: ") + Log::formatNameList(message.arguments));
    raiseMainWindow();
}

void RivetoneApp::raiseMainWindow()
{
    ContentView& window = *m_mainWindow;
    if (window.isMinimized())
        window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
}

void RivetoneApp::startMediaControls()
{
    if (m_mediaControls || MediaControls::disabledByEnvironment())
        return;
    MediaControls::WindowHooks hooks{[this] { raiseMainWindow(); }, [] { QCoreApplication::quit(); }};
    m_mediaControls = std::make_unique<MediaControls>(m_mainWindow->state(), std::move(hooks));
    m_mediaControls->publishOnSessionBus();
}
