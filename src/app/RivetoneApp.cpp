#include "app/RivetoneApp.h"

#include "app/CommandLine.h"
#include "app/ContentView.h"
#include "app/WindowPlacement.h"
#include "base/Log.h"
#include "library/FileImport.h"
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
    new WindowPlacementKeeper(m_defaults, *m_mainWindow);  // owned by the window it watches
}

RivetoneApp::~RivetoneApp() = default;

void RivetoneApp::showMainWindow()
{
    if (!WindowPlacement::restore(m_defaults, *m_mainWindow))
        m_mainWindow->resize(m_mainWindow->firstWindowSize());
    m_mainWindow->show();
}

void RivetoneApp::openFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    m_mainWindow->fileImport().add({paths, std::nullopt, PlaylistLibrary::AddedPlayback::FirstAdded});
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
    ContentView& window = *m_mainWindow;
    if (window.isMinimized())
        window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
}
