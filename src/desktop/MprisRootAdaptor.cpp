#include "desktop/MprisRootAdaptor.h"

#include "desktop/DesktopEntry.h"

MprisRootAdaptor::MprisRootAdaptor(QObject* exported, std::function<void()> raise, std::function<void()> quit)
    : QDBusAbstractAdaptor(exported)
    , m_raise(std::move(raise))
    , m_quit(std::move(quit))
{
}

QString MprisRootAdaptor::identity() const
{
    return QStringLiteral("Rivetone");
}

QString MprisRootAdaptor::desktopEntry() const
{
    return DesktopEntry::applicationId();
}

QStringList MprisRootAdaptor::supportedUriSchemes() const
{
    return {QStringLiteral("file")};
}

QStringList MprisRootAdaptor::supportedMimeTypes() const
{
    return DesktopEntry::supportedMimeTypes();
}

void MprisRootAdaptor::Raise()
{
    if (m_raise)
        m_raise();
}

void MprisRootAdaptor::Quit()
{
    if (m_quit)
        m_quit();
}
