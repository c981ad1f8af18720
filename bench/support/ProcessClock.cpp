#include "ProcessClock.h"

#include <QFile>
#include <QList>

#include <unistd.h>

double millisecondsSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray statText = stat.readAll();
    // Fields after the command name (which may hold spaces) start after ')'.
    const QList<QByteArray> fields = statText.mid(statText.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble();  // field 22 overall
    const double uptimeSeconds = uptime.readAll().split(' ').value(0).toDouble();
    return (uptimeSeconds - startTicks / double(sysconf(_SC_CLK_TCK))) * 1000.0;
}
