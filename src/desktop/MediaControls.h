#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class ContentState;
class MprisPlayerAdaptor;

// Offers the window's player to the desktop over D-Bus, as a media player
// that media keys, the panel's player widget and the lock screen can show
// and drive (the MPRIS interfaces, at /org/mpris/MediaPlayer2).
//
// Without a session bus Rivetone goes on without them: one line says so.
// Main thread only.
class MediaControls : public QObject {
    Q_OBJECT

public:
    // What the controls may ask of the window itself.
    struct WindowHooks {
        std::function<void()> raise;  // to the front, shown if it was hidden
        std::function<void()> quit;
        // A local audio file to add to the current playlist and play, as one
        // a later start hands over.
        std::function<void(const QString& path)> open;
    };

    static inline const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");
    static inline const QString serviceBaseName = QStringLiteral("org.mpris.MediaPlayer2.rivetone");
    // Set to 1, Rivetone leaves the bus alone (to measure, or by choice).
    static inline const char* disablingVariable = "RIVETONE_NO_MPRIS";
    // How long a bus daemon may take to say anything before the controls
    // are given up: joining the bus has no deadline of its own.
    static constexpr std::chrono::milliseconds busPatience{2000};

    MediaControls(ContentState& state, WindowHooks hooks, QObject* parent = nullptr);
    ~MediaControls() override;

    // Whether the environment asks for no media controls.
    static bool disabledByEnvironment();

    // Publishes the controls on the session bus, or on the given connection.
    // The service is org.mpris.MediaPlayer2.rivetone, or, while another
    // Rivetone holds that, the same with ".instance<pid>". False, with one
    // log line saying why, when they cannot be offered.
    bool publishOnSessionBus();
    bool publish(const QDBusConnection& connection);

    // The bus name held, empty while not published.
    QString serviceName() const { return m_serviceName; }
    MprisPlayerAdaptor* playerAdaptor() const { return m_player; }

private:
    void unpublish();

    ContentState& m_state;
    WindowHooks m_hooks;
    // The object on the bus; the two interfaces are its adaptors.
    std::unique_ptr<QObject> m_exported;
    MprisPlayerAdaptor* m_player = nullptr;
    std::unique_ptr<QDBusConnection> m_connection;
    QString m_serviceName;
};
