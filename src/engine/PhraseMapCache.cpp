#include "engine/PhraseMapCache.h"

#include "engine/PhraseMap.h"

#include "base/SystemErrorText.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cmath>
#include <sys/stat.h>

namespace {

constexpr quint32 entryMagic = 0x52'50'4d'43;  // "RPMC"
// Raise on any change to the entry's layout or to what the levels mean; old
// entries are then simply mapped again. 2: MP3 lengths that were estimated
// are counted, so version 1 entries of such files stop short. 3: the file's
// change time is part of its identity. 4: an MP3 with zeros between its tags
// and its first frame no longer starts with the encoder's delay, so version 3
// maps of such files lie some 25 ms late.
constexpr quint32 formatVersion = 4;
// An entry this large is damage: ten hours of levels take some 14 MB.
constexpr qint64 largestEntryBytes = 64 * 1024 * 1024;
constexpr auto checksumAlgorithm = QCryptographicHash::Sha1;
// Pinned, so that a newer Qt reads the entries an older one wrote.
constexpr auto streamVersion = QDataStream::Qt_6_0;

QString absolute(const QString& path)
{
    return QFileInfo(path).absoluteFilePath();
}

}  // namespace

PhraseMapCache::PhraseMapCache(QString directory, qint64 mostBytesKept)
    : m_directory(std::move(directory))
    , m_mostBytesKept(mostBytesKept)
{
}

QString PhraseMapCache::defaultDirectory()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)).filePath(QStringLiteral("phrase-maps"));
}

PhraseMapCache::FileIdentity PhraseMapCache::identify(const QString& audioPath)
{
    const QFileInfo info(audioPath);
    FileIdentity identity;
    identity.path = info.absoluteFilePath();
    struct stat status {};
    if (info.isFile() && info.isReadable() && ::stat(QFile::encodeName(identity.path).constData(), &status) == 0) {
        identity.sizeBytes = info.size();
        identity.modifiedMilliseconds = info.lastModified().toMSecsSinceEpoch();
        identity.changedNanoseconds = qint64(status.st_ctim.tv_sec) * 1'000'000'000 + status.st_ctim.tv_nsec;
    }
    return identity;
}

QString PhraseMapCache::entryPath(const QString& audioPath) const
{
    const QByteArray hash = QCryptographicHash::hash(absolute(audioPath).toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDir(m_directory).filePath(QString::fromLatin1(hash) + QStringLiteral(".phrasemap"));
}

// An entry: magic, version, then the payload (the file's identity, the
// track's length, the levels), then the payload's checksum.
bool PhraseMapCache::store(const FileIdentity& file, const LoudnessEnvelope& envelope, QString* error) const
{
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(streamVersion);
        out << file.path << file.sizeBytes << file.modifiedMilliseconds << file.changedNanoseconds;
        out.setFloatingPointPrecision(QDataStream::DoublePrecision);
        out << envelope.durationSeconds << quint64(envelope.levelsDecibels.size());
        out.setFloatingPointPrecision(QDataStream::SinglePrecision);
        for (float level : envelope.levelsDecibels)
            out << level;
    }
    // What load() would take for damage is not written: it would only be
    // made and written again at every play (past some 46 hours of audio).
    if (payload.size() + 1024 > largestEntryBytes) {
        *error = QStringLiteral("the map is too large to keep (%1 MB)").arg(payload.size() >> 20);
        return false;
    }
    if (!QDir().mkpath(m_directory)) {
        *error = QStringLiteral("cannot make %1").arg(m_directory);
        return false;
    }
    QSaveFile entry(entryPath(file.path));
    // Unbuffered, and written on after a short write: the system says why
    // only when a write takes nothing (a full disk takes what fits first,
    // then refuses), which a buffer's flush would not pass on.
    errno = 0;
    if (!entry.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = fileErrorText(entry, errno);
        return false;
    }
    qint64 entryWritten = 0;
    const auto writeAll = [&](const QByteArray& bytes) {
        for (qint64 written = 0; written < bytes.size();) {
            errno = 0;
            const qint64 taken = entry.write(bytes.constData() + written, bytes.size() - written);
            if (taken <= 0) {
                *error = entry.error() != QFileDevice::NoError
                             ? fileErrorText(entry, errno)
                             : QStringLiteral("the disk took %1 bytes of the entry, then nothing").arg(entryWritten);
                return false;
            }
            written += taken;
            entryWritten += taken;
        }
        return true;
    };
    // The payload as a stream writes an array (its length, then its bytes),
    // sent from where it lies rather than copied next to its head.
    const auto streamed = [](auto write) {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(streamVersion);
        write(out);
        return bytes;
    };
    const QByteArray head = streamed([&](QDataStream& out) { out << entryMagic << formatVersion << quint32(payload.size()); });
    const QByteArray checksum = streamed([&](QDataStream& out) { out << QCryptographicHash::hash(payload, checksumAlgorithm); });
    if (!writeAll(head) || !writeAll(payload) || !writeAll(checksum))
        return false;
    errno = 0;
    if (!entry.commit()) {
        *error = fileErrorText(entry, errno);
        return false;
    }
    trim(entry.fileName());
    return true;
}

// Newest first, the entries are kept while they fit; the rest go, and so do
// temporary files a writer left behind (a crash while writing) once an hour
// old. A second writer's fresh entry may go too: it is only made again.
void PhraseMapCache::trim(const QString& keptEntryPath) const
{
    const QFileInfoList files = QDir(m_directory).entryInfoList(
        {QStringLiteral("*.phrasemap"), QStringLiteral("*.phrasemap.*")}, QDir::Files | QDir::Hidden, QDir::Time);
    const QDateTime anHourAgo = QDateTime::currentDateTimeUtc().addSecs(-3600);
    qint64 keptBytes = QFileInfo(keptEntryPath).size();
    for (const QFileInfo& file : files) {
        if (file.absoluteFilePath() == QFileInfo(keptEntryPath).absoluteFilePath())
            continue;
        const bool entry = file.fileName().endsWith(QStringLiteral(".phrasemap"));
        if (entry && keptBytes + file.size() <= m_mostBytesKept)
            keptBytes += file.size();
        else if (entry || file.lastModified() < anHourAgo)
            QFile::remove(file.absoluteFilePath());
    }
}

std::optional<LoudnessEnvelope> PhraseMapCache::load(const FileIdentity& file) const
{
    if (file.sizeBytes < 0)
        return std::nullopt;
    QFile entry(entryPath(file.path));
    if (!entry.open(QIODevice::ReadOnly) || entry.size() > largestEntryBytes)
        return std::nullopt;
    // A use: the entries used least recently are the first to go.
    entry.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    QDataStream in(&entry);
    in.setVersion(streamVersion);
    quint32 magic = 0, version = 0;
    QByteArray payload, checksum;
    in >> magic >> version;
    if (magic != entryMagic || version != formatVersion)
        return std::nullopt;
    in >> payload >> checksum;
    if (in.status() != QDataStream::Ok || !in.atEnd() || checksum != QCryptographicHash::hash(payload, checksumAlgorithm))
        return std::nullopt;

    QDataStream fields(payload);
    fields.setVersion(streamVersion);
    FileIdentity stored;
    LoudnessEnvelope envelope;
    quint64 hops = 0;
    fields >> stored.path >> stored.sizeBytes >> stored.modifiedMilliseconds >> stored.changedNanoseconds;
    fields.setFloatingPointPrecision(QDataStream::DoublePrecision);
    fields >> envelope.durationSeconds >> hops;
    // A file that breaks off has fewer levels than its length holds, never more.
    if (fields.status() != QDataStream::Ok || stored != file || !std::isfinite(envelope.durationSeconds)
        || envelope.durationSeconds < 0 || double(hops) > envelope.durationSeconds / PhraseMap::hopSeconds + 2)
        return std::nullopt;
    // What is left must be the levels, four bytes each. Divided, not
    // multiplied: a forged count times four can wrap round to what is left.
    const auto levelBytes = quint64(payload.size() - fields.device()->pos());
    if (levelBytes % sizeof(float) != 0 || hops != levelBytes / sizeof(float))
        return std::nullopt;
    fields.setFloatingPointPrecision(QDataStream::SinglePrecision);
    envelope.levelsDecibels.resize(std::size_t(hops));
    for (float& level : envelope.levelsDecibels)
        fields >> level;
    if (fields.status() != QDataStream::Ok)
        return std::nullopt;
    return envelope;
}
