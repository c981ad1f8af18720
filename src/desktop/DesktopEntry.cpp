#include "desktop/DesktopEntry.h"

namespace DesktopEntry {

QString applicationId()
{
    return QStringLiteral(RIVETONE_APPLICATION_ID);
}

QStringList supportedMimeTypes()
{
    return QStringLiteral(RIVETONE_MIME_TYPES).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

}  // namespace DesktopEntry
