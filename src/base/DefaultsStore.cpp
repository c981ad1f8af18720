#include "base/DefaultsStore.h"

#include "base/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include <cmath>

DefaultsStore::DefaultsStore(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
    // QSettings reads the file on first use. Read it now: what did not parse
    // is dropped by the next write, so it must go aside before that.
    m_settings->allKeys();
    if (m_settings->status() != QSettings::FormatError)
        return;
    const FileCopy copy = keepCopyOfFile();
    const QString path = m_settings->fileName();
    Log::line(copy.written
                  ? QStringLiteral("Settings file damaged: %1 could not be read in full; a copy of it is kept as %2")
                        .arg(path, copy.path)
                  : QStringLiteral("Settings file damaged: %1 could not be read in full, and a copy of it cannot be made "
                                   "(%2); nothing is written to it until one can")
                        .arg(path, copy.error));
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
    // "nan" and "inf" parse as numbers, but no setting means anything by them.
    return ok && std::isfinite(value) ? value : 0.0;
}

bool DefaultsStore::contains(const QString& key) const
{
    return m_settings->contains(key);
}

QVariant DefaultsStore::value(const QString& key) const
{
    return m_settings->value(key);
}

bool DefaultsStore::setData(const QString& key, const QByteArray& value, QString* error)
{
    if (!copyOwedFileAside(error))
        return false;
    m_settings->setValue(key, value);
    return flush(error);
}

bool DefaultsStore::setDouble(const QString& key, double value, QString* error)
{
    if (!copyOwedFileAside(error))
        return false;
    m_settings->setValue(key, value);
    return flush(error);
}

bool DefaultsStore::setValue(const QString& key, const QVariant& value, QString* error)
{
    if (!copyOwedFileAside(error))
        return false;
    m_settings->setValue(key, value);
    return flush(error);
}

DefaultsStore::FileCopy DefaultsStore::keepCopyOfFile()
{
    const QString path = m_settings->fileName();
    FileCopy copy;
    QFile original(path);
    if (!original.exists()) {
        copy.error = QStringLiteral("there is no file");
        m_copyOwed = false;  // nothing to lose
        return copy;
    }
    if (!original.open(QIODevice::ReadOnly)) {
        copy.error = original.errorString();
        m_copyOwed = true;
        return copy;
    }
    const QByteArray content = original.readAll();
    for (int number = 1;; ++number) {
        copy.path = QStringLiteral("%1.unreadable-%2").arg(path).arg(number);
        QFile earlier(copy.path);
        if (!earlier.exists())
            break;
        if (earlier.open(QIODevice::ReadOnly) && earlier.readAll() == content) {
            copy.written = true;  // kept by an earlier run that met the same file
            m_copyOwed = false;
            return copy;
        }
    }
    QSaveFile out(copy.path);
    copy.written = out.open(QIODevice::WriteOnly) && out.write(content) == content.size() && out.commit();
    if (!copy.written)
        copy.error = out.errorString();
    m_copyOwed = !copy.written;
    return copy;
}

// A damaged file that could not be copied aside yet gets no value at all,
// not even in memory: QSettings writes what it holds by itself (from the
// event loop, and when it goes), and that write would drop what it could not
// read.
bool DefaultsStore::copyOwedFileAside(QString* error)
{
    if (!m_copyOwed)
        return true;
    const FileCopy copy = keepCopyOfFile();
    if (!copy.written) {
        if (error)
            *error = QStringLiteral("cannot write %1: its unreadable content could not be copied aside first (%2)")
                         .arg(m_settings->fileName(), copy.error);
        return false;
    }
    Log::line(QStringLiteral("Settings file damaged: a copy of %1 as it was is now kept as %2")
                  .arg(m_settings->fileName(), copy.path));
    return true;
}

bool DefaultsStore::flush(QString* error)
{
    QDir().mkpath(QFileInfo(m_settings->fileName()).absolutePath());
    // A QSettings object keeps the first error it ever met, so after one failed
    // write every later write would look failed too. QSettings objects on the
    // same file share the values not yet written, so a fresh one writes them
    // and reports on this write alone. A format error only says that the file
    // on disk did not parse when it was read back; the write itself went through.
    QSettings writer(m_settings->fileName(), QSettings::IniFormat);
    writer.sync();
    if (writer.status() != QSettings::AccessError)
        return true;
    if (error)
        *error = describeWriteFailure();
    return false;
}

// QSettings does not say why a write failed; look at the usual causes.
QString DefaultsStore::describeWriteFailure() const
{
    const QString path = m_settings->fileName();
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (file.isDir())
        return QStringLiteral("cannot write %1: it is a directory").arg(path);
    if (!folder.isDir())
        return QStringLiteral("cannot write %1: the folder %2 cannot be created").arg(path, folder.filePath());
    if (file.exists() && !file.isWritable())
        return QStringLiteral("cannot write %1: the file is read-only").arg(path);
    if (!folder.isWritable())
        return QStringLiteral("cannot write %1: the folder is read-only").arg(path);
    return QStringLiteral("cannot write %1 (is the disk full?)").arg(path);
}
