#include "app/RivetoneApp.h"

#include "app/ContentView.h"
#include "base/Log.h"
#include "ui/kit/Typography.h"

#include <QApplication>

void RivetoneApp::configure(QApplication& application)
{
    application.setApplicationName(name);
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
    ContentView& window = *m_mainWindow;
    if (window.isMinimized())
        window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
}
