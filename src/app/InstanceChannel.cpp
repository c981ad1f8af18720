#include "app/InstanceChannel.h"

#include "base/DefaultsStore.h"
#include "base/Log.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray accepted = QByteArrayLiteral("ok\n");

// The longest path a local socket's address holds: sun_path, less its end
// and, on Linux, the byte Qt keeps for an abstract name's leading null.
constexpr qsizetype longestSocketPathBytes = 106;

// A folder of the user's own in the temporary folder, made here when absent;
// none when the name is taken by anything but such a folder (another user
// could have laid it there to receive our command lines).
std::optional<QString> privateFolderInTemp(QString* error)
{
    const QString folder = QDir::tempPath() + QStringLiteral("/rivetone-") + QString::number(::getuid());
    const QByteArray encoded = QFile::encodeName(folder);
    ::mkdir(encoded.constData(), 0700);
    struct stat found = {};
    if (::lstat(encoded.constData(), &found) != 0 || !S_ISDIR(found.st_mode) || found.st_uid != ::getuid()
        || (found.st_mode & 077) != 0) {
        *error = QStringLiteral("%1 is not a folder of this user's alone; set XDG_RUNTIME_DIR to one").arg(folder);
        return std::nullopt;
    }
    return folder;
}

// The session's runtime folder, private to the user. Qt makes one in the
// temporary folder when the session names none. When it gives none (the one
// it would make is someone else's), or the socket's path in it would be too
// long for a local socket, a private folder of our own stands in; never the
// shared temporary folder itself, where another user could lay a lock or a
// socket under our names first.
std::optional<QString> runtimeFolder(qsizetype longestNameBytes, QString* error)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!folder.isEmpty() && QFile::encodeName(folder).size() + 1 + longestNameBytes <= longestSocketPathBytes
        && QDir().mkpath(folder))
        return folder;
    return privateFolderInTemp(error);
}

// Whether a running copy holds the lock file: it keeps the file locked
// (flock) for as long as it runs, whatever the file says.
bool heldByARunningCopy(const QString& lockPath)
{
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

enum class Takeover { Taken, HeldByARunningCopy, CannotRemove };

// Qt takes a lock over only when its file names a process of this machine
// that is gone. One left by a crash on another machine sharing the home
// folder, one naming the process id this very process has now (a sandbox
// hands out the same few), or one that does not say whose it is, would keep
// every start out for good; what counts is whether anyone holds it.
Takeover takeOverLeftLock(QLockFile& lock)
{
    // One start at a time, under the guard Qt's own removal of stale locks
    // takes: two starts that both find the lock left over must not both
    // remove it, each the other's new one, and both win.
    QLockFile removal(lock.fileName() + QStringLiteral(".rmlock"));
    const bool removalIsOurs = removal.tryLock(std::chrono::seconds(2));
    if (lock.tryLock(0))
        return Takeover::Taken;
    if (heldByARunningCopy(lock.fileName()))
        return Takeover::HeldByARunningCopy;
    if (removalIsOurs && lock.removeStaleLockFile() && lock.tryLock(0))
        return Takeover::Taken;
    return Takeover::CannotRemove;
}

}  // namespace

InstanceChannel::InstanceChannel(const QString& settingsFilePath, QObject* parent)
    : QObject(parent)
{
    // Keyed by the settings file: a second library (another config folder)
    // is another Rivetone.
    // One file reached by two paths (a symbolic link on the way) is one
    // library, so the key is taken from its folder's real path; and so is
    // a file two settings files link to (one dotfile, two config folders):
    // the key follows the file written.
    const QFileInfo given(settingsFilePath);
    QDir().mkpath(given.absolutePath());
    const auto inRealFolder = [](const QFileInfo& file) {
        const QString realFolder = QFileInfo(file.absolutePath()).canonicalFilePath();
        return realFolder.isEmpty() ? file.absoluteFilePath() : realFolder + u'/' + file.fileName();
    };
    const QString absolute = inRealFolder(given);
    const QString written = inRealFolder(QFileInfo(DefaultsStore::pathWrittenFor(absolute)));
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash(written.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    const QString name = QStringLiteral("rivetone-") + key;
    if (const std::optional<QString> folder = runtimeFolder(name.size() + 7, &m_folderError)) {
        m_lockPath = *folder + u'/' + name + QStringLiteral(".lock");
        m_serverName = *folder + u'/' + name + QStringLiteral(".socket");
    }
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // A lock is stale when its process is gone, not when it is old: the first
    // Rivetone may run for weeks. (0 would turn the process check off too.)
    m_lock->setStaleLockTime(std::chrono::hours(24 * 365 * 100));
    m_settingsLock = std::make_unique<QLockFile>(absolute + QStringLiteral(".running"));
    m_settingsLock->setStaleLockTime(std::chrono::hours(24 * 365 * 100));
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceChannel::acceptConnection);
}

InstanceChannel::~InstanceChannel() = default;

InstanceChannel::Role InstanceChannel::claimOrHandOver(const Message& message, QString* error)
{
    if (!m_folderError.isEmpty()) {
        if (error)
            *error = m_folderError;
        return Role::Failed;
    }
    QElapsedTimer waited;
    waited.start();
    // The first may be starting: it holds the lock before it listens.
    while (waited.elapsed() < handOverTimeout.count()) {
        if (m_lock->tryLock(0))
            return claimSettingsFile(error) && listen(error) ? Role::First : Role::Failed;
        if (m_lock->error() != QLockFile::LockFailedError) {
            if (error)
                *error = QStringLiteral("cannot use the lock file %1").arg(m_lockPath);
            return Role::Failed;
        }
        if (sendTo(message, nullptr))
            return Role::HandedOver;
        QThread::msleep(50);
    }
    // Nobody answered: a lock nobody keeps locked any more is left over,
    // whatever it says (as for the settings lock below).
    switch (takeOverLeftLock(*m_lock)) {
    case Takeover::Taken:
        return claimSettingsFile(error) && listen(error) ? Role::First : Role::Failed;
    case Takeover::CannotRemove:
        if (error)
            *error = QStringLiteral("cannot use the lock file %1").arg(m_lockPath);
        return Role::Failed;
    case Takeover::HeldByARunningCopy:
        break;
    }
    qint64 pid = 0;
    QString host;
    QString application;
    m_lock->getLockInfo(&pid, &host, &application);
    if (error)
        *error = QStringLiteral("another Rivetone (process %1) holds %2 but does not answer").arg(QString::number(pid), m_lockPath);
    return Role::Failed;
}

// Only a second guard, behind the runtime lock: where it cannot be made (a
// full or read-only disk) that lock alone holds, since nothing can be saved
// then anyway.
bool InstanceChannel::claimSettingsFile(QString* error)
{
    if (m_settingsLock->tryLock(0) || m_settingsLock->error() != QLockFile::LockFailedError)
        return true;
    // One left over where it cannot be removed (the folder has turned
    // read-only since) is as good as none.
    if (takeOverLeftLock(*m_settingsLock) != Takeover::HeldByARunningCopy)
        return true;
    qint64 pid = 0;
    QString host;
    QString application;
    m_settingsLock->getLockInfo(&pid, &host, &application);
    if (error)
        *error = QStringLiteral("another Rivetone (process %1) holds %2 but cannot be reached from here, as it was "
                                "started in another session; close it first")
                     .arg(pid > 0 ? QString::number(pid) : QStringLiteral("unknown"), m_settingsLock->fileName());
    return false;
}

bool InstanceChannel::listen(QString* error)
{
    // A socket left by a process that died (its lock was stale) goes first.
    QLocalServer::removeServer(m_serverName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_serverName))
        return true;
    if (error)
        *error = QStringLiteral("cannot listen on %1: %2").arg(m_serverName, m_server.errorString());
    return false;
}

bool InstanceChannel::sendTo(const Message& message, QString* error)
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(500)) {
        if (error)
            *error = socket.errorString();
        return false;
    }
    Message stamped = message;
    stamped.sentAtMilliseconds = steadyNowMilliseconds();
    socket.write(encode(stamped));
    socket.flush();
    QByteArray reply;
    QElapsedTimer waited;
    waited.start();
    while (!reply.endsWith('\n') && waited.elapsed() < answerTimeout.count()) {
        if (socket.bytesAvailable() || socket.waitForReadyRead(100))
            reply += socket.readAll();
        else if (socket.state() != QLocalSocket::ConnectedState)
            break;
    }
    reply += socket.readAll();  // an answer that came while this process itself was held up
    if (reply == accepted)
        return true;
    if (error)
        *error = QStringLiteral("the running Rivetone did not take the message");
    return false;
}

void InstanceChannel::acceptConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > longestMessageBytes)
                    socket->abort();  // no command line is that long
                return;
            }
            const std::optional<Message> message = decode(socket->readLine());
            const bool late = message && message->sentAtMilliseconds > 0
                && steadyNowMilliseconds() - message->sentAtMilliseconds > latestTaken.count();
            socket->write(!message ? QByteArrayLiteral("bad\n") : late ? QByteArrayLiteral("late\n") : accepted);
            socket->flush();
            socket->disconnectFromServer();
            if (late)
                Log::line(QStringLiteral("Another start's files came after it had given up waiting, and are not "
                                         "opened: ")
                          + Log::formatNameList(message->arguments));
            else if (message)
                emit handedOver(*message);
        });
    }
}

QByteArray InstanceChannel::encode(const Message& message)
{
    QJsonObject object;
    object.insert(QStringLiteral("arguments"), QJsonArray::fromStringList(message.arguments));
    object.insert(QStringLiteral("workingDirectory"), message.workingDirectory);
    if (!message.startupId.isEmpty())
        object.insert(QStringLiteral("startupId"), message.startupId);
    if (message.sentAtMilliseconds > 0)
        object.insert(QStringLiteral("sentAt"), double(message.sentAtMilliseconds));
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<InstanceChannel::Message> InstanceChannel::decode(const QByteArray& line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line.trimmed());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    Message message;
    for (const QJsonValue& argument : object.value(QStringLiteral("arguments")).toArray()) {
        if (!argument.isString())
            return std::nullopt;
        message.arguments << argument.toString();
    }
    message.workingDirectory = object.value(QStringLiteral("workingDirectory")).toString();
    message.startupId = object.value(QStringLiteral("startupId")).toString();
    message.sentAtMilliseconds = qint64(object.value(QStringLiteral("sentAt")).toDouble());
    return message;
}

qint64 InstanceChannel::steadyNowMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
