#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

// One running Rivetone per settings file: two of them would each rewrite the
// file with their own library, and each would erase the other's playlists.
// The first start claims the file and listens; a later start hands its
// command line (and where it was started, so relative paths mean what they
// meant) to the first, which comes to the front, and leaves.
//
// The claim is a lock file beside the channel: a lock left by a process that
// was killed is taken over at the next start, not obeyed. The channel lives
// in the session's runtime folder, which a start from another session (or
// with the variable unset) does not share, so a second lock lies beside the
// settings file: such a start cannot hand over, and leaves rather than run
// as a second copy.
class InstanceChannel : public QObject {
    Q_OBJECT

public:
    struct Message {
        QStringList arguments;
        QString workingDirectory;
        // The desktop's id for this start (DESKTOP_STARTUP_ID), if any: the
        // running copy ends its launch feedback and comes forward as it.
        QString startupId;
        // When the later start sent it, on the machine's steady clock (every
        // process reads the same one): set as it is sent.
        qint64 sentAtMilliseconds = 0;
    };

    enum class Role {
        First,       // this process serves; messages come as handedOver()
        HandedOver,  // a running one took the message: this process should leave
        Failed,      // neither: the reason is in error
    };

    // The longest message taken. Linux passes a program at most 6 MB of
    // arguments (a quarter of the stack limit, 2 MB by default, and never
    // more than 6 MB); as JSON a quote or backslash takes two bytes, and a
    // control character six.
    static constexpr qint64 longestMessageBytes = 40 * 1024 * 1024;
    // How long a later start waits for the first one to listen.
    static constexpr std::chrono::milliseconds handOverTimeout{5000};
    // How long it waits for the answer once its message is sent: the first
    // listens before its window is made, and takes the message only after,
    // which on a slow start (a cold disk) can take a while. Had the later
    // one given up sooner, it would say it failed while its files open.
    static constexpr std::chrono::milliseconds answerTimeout{30000};
    // A message read later than this after it was sent is not taken: its
    // sender may have given up by the time the answer comes (a running copy
    // that hung, or was stopped), and said so.
    static constexpr std::chrono::milliseconds latestTaken = answerTimeout - std::chrono::seconds(2);
    // Milliseconds on the machine's steady clock.
    static qint64 steadyNowMilliseconds();

    explicit InstanceChannel(const QString& settingsFilePath, QObject* parent = nullptr);
    ~InstanceChannel() override;

    Role claimOrHandOver(const Message& message, QString* error);
    // Where the lock and the socket live: in the user's runtime folder, or a
    // private one in the temporary folder when that cannot hold them.
    QString lockFilePath() const { return m_lockPath; }
    QString serverName() const { return m_serverName; }
    // The second lock, beside the settings file.
    QString settingsLockFilePath() const { return m_settingsLock->fileName(); }

    static QByteArray encode(const Message& message);
    static std::optional<Message> decode(const QByteArray& line);

signals:
    void handedOver(const InstanceChannel::Message& message);

private:
    bool claimSettingsFile(QString* error);
    bool listen(QString* error);
    bool sendTo(const Message& message, QString* error);
    void acceptConnection();

    QString m_folderError;  // why there is no private folder for the lock and the socket
    QString m_lockPath;
    QString m_serverName;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLockFile> m_settingsLock;
    QLocalServer m_server;
};
