#include "TestSupport.h"

#include <QDir>

QString fixturePath(const QString& name)
{
    return QDir(QStringLiteral(RIVETONE_FIXTURES_DIR)).filePath(name);
}

QUrl fixtureUrl(const QString& name)
{
    return QUrl::fromLocalFile(fixturePath(name));
}

TemporaryDefaults::TemporaryDefaults()
    : m_store(m_dir.filePath(QStringLiteral("Rivetone.ini")))
{
}
