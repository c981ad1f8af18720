#include "desktop/MediaControls.h"

#include "base/Log.h"
#include "desktop/MprisPlayerAdaptor.h"
#include "desktop/MprisRootAdaptor.h"
#include "desktop/SessionBusProbe.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

MediaControls::MediaControls(ContentState& state, WindowHooks hooks, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_hooks(std::move(hooks))
{
}

MediaControls::~MediaControls()
{
    unpublish();
}

bool MediaControls::disabledByEnvironment()
{
    return qEnvironmentVariableIntValue(disablingVariable) == 1;
}

bool MediaControls::publishOnSessionBus()
{
    if (SessionBusProbe::ask(busPatience) == SessionBusProbe::Answer::Silent) {
        Log::line(QStringLiteral("Media controls unavailable: the session bus does not answer"));
        return false;
    }
    return publish(QDBusConnection::sessionBus());
}

bool MediaControls::publish(const QDBusConnection& connection)
{
    unpublish();
    if (!connection.isConnected()) {
        Log::line(QStringLiteral("Media controls unavailable: no session bus"));
        return false;
    }
    m_connection = std::make_unique<QDBusConnection>(connection);
    m_exported = std::make_unique<QObject>();
    new MprisRootAdaptor(m_exported.get(), m_hooks.raise, m_hooks.quit);
    m_player = new MprisPlayerAdaptor(
        m_exported.get(), m_state,
        [this](const QVariantMap& changed) {
            QDBusMessage signal = QDBusMessage::createSignal(objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                             QStringLiteral("PropertiesChanged"));
            signal << MprisPlayerAdaptor::interfaceName << changed << QStringList();
            m_connection->send(signal);
        },
        m_hooks.open);
    if (!m_connection->registerObject(objectPath, m_exported.get(), QDBusConnection::ExportAdaptors)) {
        const QString reason = m_connection->lastError().message();
        unpublish();
        Log::line(QStringLiteral("Media controls unavailable: cannot offer %1 (%2)").arg(objectPath, reason));
        return false;
    }
    // A second Rivetone (another library) takes a name of its own.
    const QString instanceName = serviceBaseName + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
    for (const QString& name : {serviceBaseName, instanceName}) {
        if (m_connection->registerService(name)) {
            m_serviceName = name;
            return true;
        }
    }
    const QString reason = m_connection->lastError().message();
    unpublish();
    Log::line(QStringLiteral("Media controls unavailable: no bus name (%1)").arg(reason));
    return false;
}

void MediaControls::unpublish()
{
    if (!m_connection)
        return;
    if (!m_serviceName.isEmpty()) {
        // Giving back the name waits for the daemon's reply, by default for
        // 25 s: one that stopped answering would hold the quit that long.
        // (Taking it keeps the default: a name taken after its call gave up
        // would stay ours with nothing behind it.)
        if (QDBusConnectionInterface* bus = m_connection->interface())
            bus->setTimeout(int(busPatience.count()));
        m_connection->unregisterService(m_serviceName);
    }
    m_connection->unregisterObject(objectPath);
    m_serviceName.clear();
    m_player = nullptr;
    m_exported.reset();
    m_connection.reset();
}
