#include "library/DefaultsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cmath>

DefaultsStore::DefaultsStore(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

DefaultsStore::~DefaultsStore() = default;

QString DefaultsStore::standardFilePath()
{
    const QString configDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return configDir + QStringLiteral("/Rivetone/Rivetone.ini");
}

QString DefaultsStore::filePath() const
{
    return m_settings->fileName();
}

std::optional<QByteArray> DefaultsStore::data(const QString& key) const
{
    const QVariant value = m_settings->value(key);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

double DefaultsStore::doubleValue(const QString& key) const
{
    bool ok = false;
    const double value = m_settings->value(key).toDouble(&ok);
    return ok ? value : 0.0;
}

bool DefaultsStore::contains(const QString& key) const
{
    return m_settings->contains(key);
}

bool DefaultsStore::setData(const QString& key, const QByteArray& value, QString* error)
{
    m_settings->setValue(key, value);
    return flush(error);
}

bool DefaultsStore::setDouble(const QString& key, double value, QString* error)
{
    m_settings->setValue(key, value);
    return flush(error);
}

bool DefaultsStore::flush(QString* error)
{
    QDir().mkpath(QFileInfo(m_settings->fileName()).absolutePath());
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError)
        return true;
    if (error) {
        *error = m_settings->status() == QSettings::AccessError
                     ? QStringLiteral("cannot write %1").arg(m_settings->fileName())
                     : QStringLiteral("cannot encode %1").arg(m_settings->fileName());
    }
    return false;
}
