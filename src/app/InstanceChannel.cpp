#include "app/InstanceChannel.h"

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

namespace {

const QByteArray accepted = QByteArrayLiteral("ok\n");

QString runtimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    return folder;
}

}  // namespace

InstanceChannel::InstanceChannel(const QString& settingsFilePath, QObject* parent)
    : QObject(parent)
{
    // Keyed by the settings file: a second library (another config folder)
    // is another Rivetone.
    const QString absolute = QFileInfo(settingsFilePath).absoluteFilePath();
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash(absolute.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    const QString base = runtimeFolder() + QStringLiteral("/rivetone-") + key;
    m_lockPath = base + QStringLiteral(".lock");
    m_serverName = base + QStringLiteral(".socket");
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
// then anyway. Whether the process of a lock made on another machine sharing
// the home folder still runs cannot be told from here, and one left by a
// crash there must not keep this machine out for good, so such a lock is
// taken over; so is one that does not say whose it is.
bool InstanceChannel::claimSettingsFile(QString* error)
{
    QDir().mkpath(QFileInfo(m_settingsLock->fileName()).absolutePath());
    if (m_settingsLock->tryLock(0) || m_settingsLock->error() != QLockFile::LockFailedError)
        return true;
    qint64 pid = 0;
    QString host;
    QString application;
    if (!m_settingsLock->getLockInfo(&pid, &host, &application) || host != QSysInfo::machineHostName()) {
        m_settingsLock->removeStaleLockFile();
        m_settingsLock->tryLock(0);
        return true;
    }
    if (error)
        *error = QStringLiteral("another Rivetone (process %1) is using %2 but cannot be reached from here, as it was "
                                "started in another session; close it first")
                     .arg(QString::number(pid), QFileInfo(m_settingsLock->fileName()).absolutePath());
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
    socket.write(encode(message));
    socket.flush();
    QByteArray reply;
    QElapsedTimer waited;
    waited.start();
    while (!reply.endsWith('\n') && waited.elapsed() < handOverTimeout.count()) {
        if (socket.bytesAvailable() || socket.waitForReadyRead(100))
            reply += socket.readAll();
        else if (socket.state() != QLocalSocket::ConnectedState)
            break;
    }
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
            socket->write(message ? accepted : QByteArrayLiteral("bad\n"));
            socket->flush();
            socket->disconnectFromServer();
            if (message)
                emit handedOver(*message);
        });
    }
}

QByteArray InstanceChannel::encode(const Message& message)
{
    QJsonObject object;
    object.insert(QStringLiteral("arguments"), QJsonArray::fromStringList(message.arguments));
    object.insert(QStringLiteral("workingDirectory"), message.workingDirectory);
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
    return message;
}
