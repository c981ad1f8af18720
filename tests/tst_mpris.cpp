// The media controls as the desktop drives them: a private session bus, the
// window's real state and engine, and a client that calls and reads the way
// a panel's player widget does (org.mpris.MediaPlayer2 and its .Player).

#include "app/ContentView.h"
#include "app/RivetoneApp.h"
#include "desktop/MediaControls.h"
#include "desktop/MprisPlayerAdaptor.h"
#include "desktop/PlayerSnapshot.h"
#include "desktop/PositionJumpWatch.h"
#include "desktop/SessionBusProbe.h"
#include "engine/DecodeStream.h"
#include "library/AudioFiles.h"
#include "state/DrillOptions.h"
#include "state/SpeedOption.h"
#include "state/Transport.h"
#include "LibraryFixture.h"
#include "WidgetTesting.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QFile>
#include <QLocalServer>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <signal.h>

extern "C" {
#include <libavutil/error.h>
}

namespace {

const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString rootInterface = QStringLiteral("org.mpris.MediaPlayer2");
constexpr qlonglong second = 1'000'000;  // microseconds

QVariantMap asMap(const QVariant& value)
{
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

// A desktop widget on its own connection. Calls wait with the event loop
// running, since the player answering them lives on this same thread.
class DesktopClient : public QObject {
    Q_OBJECT

public:
    DesktopClient(const QString& address, const QString& service)
        : m_bus(QDBusConnection::connectToBus(address, QStringLiteral("widget")))
        , m_service(service)
    {
        m_bus.connect(service, MediaControls::objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                      QStringLiteral("PropertiesChanged"), this, SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
        m_bus.connect(service, MediaControls::objectPath, playerInterface, QStringLiteral("Seeked"), this,
                      SLOT(onSeeked(qlonglong)));
    }
    ~DesktopClient() override { QDBusConnection::disconnectFromBus(QStringLiteral("widget")); }

    QDBusMessage call(const QString& method, const QVariantList& arguments = {}, const QString& interface = playerInterface)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_service, MediaControls::objectPath, interface, method);
        message.setArguments(arguments);
        return m_bus.call(message, QDBus::BlockWithGui);
    }
    QVariant get(const QString& property, const QString& interface = playerInterface)
    {
        const QDBusMessage reply = call(QStringLiteral("Get"), {interface, property}, QStringLiteral("org.freedesktop.DBus.Properties"));
        if (reply.type() != QDBusMessage::ReplyMessage)
            return {};
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    void set(const QString& property, const QVariant& value)
    {
        call(QStringLiteral("Set"), {playerInterface, property, QVariant::fromValue(QDBusVariant(value))},
             QStringLiteral("org.freedesktop.DBus.Properties"));
    }
    QString status() { return get(QStringLiteral("PlaybackStatus")).toString(); }
    QVariantMap metadata() { return asMap(get(QStringLiteral("Metadata"))); }
    qlonglong position() { return get(QStringLiteral("Position")).toLongLong(); }
    QDBusObjectPath trackId() { return metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>(); }
    bool can(const char* flag) { return get(QString::fromLatin1(flag)).toBool(); }

    // The values announced since the last clear(), latest last.
    QList<QVariantMap> announced;
    QList<qlonglong> seeked;
    QVariant lastAnnounced(const QString& property) const
    {
        for (auto it = announced.crbegin(); it != announced.crend(); ++it)
            if (it->contains(property))
                return it->value(property);
        return {};
    }
    void clear()
    {
        announced.clear();
        seeked.clear();
    }

signals:
    void changed();

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& values, const QStringList&)
    {
        if (interface == playerInterface)
            announced << values;
        emit changed();
    }
    void onSeeked(qlonglong position)
    {
        seeked << position;
        emit changed();
    }

private:
    QDBusConnection m_bus;
    QString m_service;
};

QByteArray lessonsJson()
{
    return LibraryFixture::encoded({{"Lessons", {fixtureUrl("sine-5s.mp3"), fixtureUrl("chirp-cbr.mp3"), fixtureUrl("sine-5s.m4a")}}});
}

}  // namespace

class MprisTest : public QObject {
    Q_OBJECT

    QProcess m_daemon;
    QString m_address;

    // The window's state over a playlist of three lessons, offered on the
    // private bus, and a widget watching it.
    struct Desktop {
        explicit Desktop(const QString& address)
            : fixture(lessonsJson())
            , controls(*fixture.state, {[this] { ++raised; }, [this] { ++quitRequests; },
                                        [this](const QString& path) { opened << path; }})
        {
            fixture.library->loadPlaylists();
            published = controls.publish(QDBusConnection::connectToBus(address, QStringLiteral("player")));
            client = std::make_unique<DesktopClient>(address, controls.serviceName());
        }
        ~Desktop()
        {
            client.reset();
            QDBusConnection::disconnectFromBus(QStringLiteral("player"));
        }
        AudioPlayer& engine() { return fixture.player(); }

        LibraryFixture fixture;
        int raised = 0;
        int quitRequests = 0;
        QStringList opened;
        MediaControls controls;
        bool published = false;
        std::unique_ptr<DesktopClient> client;
    };

private slots:
    void initTestCase()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed (Debian package dbus-daemon)");
        m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                                QStringLiteral("--print-address=1")});
        QVERIFY(m_daemon.waitForStarted());
        QTRY_VERIFY(m_daemon.canReadLine());
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
    }

    void cleanupTestCase()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    void theAppGoesOnWithoutASessionBusAfterOneLine()
    {
        // Nothing listens there: the connection fails at once.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/rivetone-test-bus");
        TemporaryDefaults defaults;
        Log::Capture log;
        RivetoneApp rivetone(defaults.filePath());
        rivetone.showMainWindow();
        QElapsedTimer started;
        started.start();
        rivetone.startMediaControls();
        QVERIFY2(started.elapsed() < 1000, "giving up on the bus held the window up");
        QVERIFY(rivetone.mediaControls());
        QVERIFY(rivetone.mediaControls()->serviceName().isEmpty());
        // (Said in its place after the first save's line, which a slow disk may hold up.)
        QTRY_COMPARE(log.lines().filter(QStringLiteral("Media controls")),
                     QStringList{QStringLiteral("Media controls unavailable: no session bus")});
        // The window works as before.
        AudioPlayer& engine = rivetone.mainWindow().audioPlayer();
        engine.setPlaylist({fixtureUrl("sine-5s.mp3")});
        rivetone.mainWindow().playPause();
        QVERIFY(engine.isPlaying());
        rivetone.mainWindow().stop();
        QVERIFY(!engine.isPlaying());

        // Turned off, it does not even try.
        qputenv(MediaControls::disablingVariable, "1");
        TemporaryDefaults otherDefaults;
        RivetoneApp quiet(otherDefaults.filePath());
        quiet.startMediaControls();
        qunsetenv(MediaControls::disablingVariable);
        QVERIFY(!quiet.mediaControls());
        QCOMPARE(log.lines().filter(QStringLiteral("Media controls")).size(), 1);
    }

    // A bus whose daemon stopped answering (stopped, or a stale socket that
    // still takes connections): the controls are given up after a while,
    // with a line, and the window goes on. Joining it would wait for good.
    void aBusThatDoesNotAnswerIsGivenUp()
    {
        QTemporaryDir folder;
        QLocalServer silent;  // takes connections, and never reads them
        QVERIFY(silent.listen(folder.filePath(QStringLiteral("bus"))));
        const QByteArray before = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(silent.fullServerName()));
        TemporaryDefaults defaults;
        Log::Capture log;
        RivetoneApp rivetone(defaults.filePath());
        QElapsedTimer started;
        started.start();
        rivetone.startMediaControls();
        QVERIFY2(started.elapsed() < MediaControls::busPatience.count() + 2000, qPrintable(QString::number(started.elapsed())));
        QVERIFY(rivetone.mediaControls()->serviceName().isEmpty());
        QTRY_COMPARE(log.lines().filter(QStringLiteral("Media controls")),
                     QStringList{QStringLiteral("Media controls unavailable: the session bus does not answer")});
        // No address given: the library joins $XDG_RUNTIME_DIR/bus, and so
        // that one is asked; one we do not ask, given first, may answer.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        const QByteArray runtimeBefore = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
        QCOMPARE(SessionBusProbe::ask(std::chrono::milliseconds(300)), SessionBusProbe::Answer::Silent);
        qputenv("XDG_RUNTIME_DIR", runtimeBefore);
        qputenv("DBUS_SESSION_BUS_ADDRESS", before);
        QCOMPARE(SessionBusProbe::askAt("tcp:host=localhost,port=1;unix:path=" + QFile::encodeName(silent.fullServerName()),
                                        std::chrono::milliseconds(300)),
                 SessionBusProbe::Answer::Unknown);
        // One that answers is no such bus (this test's own daemon).
        QCOMPARE(SessionBusProbe::askAt("unix:path=/nonexistent/bus;" + m_address.toUtf8(), std::chrono::seconds(2)),
                 SessionBusProbe::Answer::Answers);
        QCOMPARE(SessionBusProbe::askAt("unix:path=/nonexistent/bus", std::chrono::seconds(2)), SessionBusProbe::Answer::Unknown);
    }

    // The daemon stops answering while the controls are up: giving back the
    // name at the quit waits no longer than the controls' patience.
    void aBusThatStopsAnsweringDoesNotHoldTheQuit()
    {
        LibraryFixture fixture(lessonsJson());
        auto controls = std::make_unique<MediaControls>(*fixture.state, MediaControls::WindowHooks{});
        const auto disconnect = qScopeGuard([] { QDBusConnection::disconnectFromBus(QStringLiteral("stalling")); });
        QVERIFY(controls->publish(QDBusConnection::connectToBus(m_address, QStringLiteral("stalling"))));
        QVERIFY(!controls->serviceName().isEmpty());
        const auto resume = qScopeGuard([&] { ::kill(pid_t(m_daemon.processId()), SIGCONT); });
        QCOMPARE(::kill(pid_t(m_daemon.processId()), SIGSTOP), 0);
        QElapsedTimer quitting;
        quitting.start();
        controls.reset();
        QVERIFY2(quitting.elapsed() < MediaControls::busPatience.count() + 2000, qPrintable(QString::number(quitting.elapsed())));
    }

    // Joining the bus is a few round trips to its daemon: the first picture
    // of the window does not wait for them, and a window never painted
    // still gets the controls. (The bus address still leads nowhere; whether
    // they end up on a bus does not matter here, only when they start.)
    void theControlsWaitForTheWindowsFirstPaint()
    {
        TemporaryDefaults defaults;
        Log::Capture log;
        RivetoneApp rivetone(defaults.filePath());
        int paints = 0;
        bool controlsAtFirstPaint = false;
        EventTap firstPaint(rivetone.mainWindow(), QEvent::Paint, [&](QObject*, QEvent*) {
            if (paints++ == 0)
                controlsAtFirstPaint = rivetone.mediaControls() != nullptr;
        });
        rivetone.showMainWindow();
        // Long enough that only the paint can start them within the wait below.
        rivetone.startMediaControlsAfterFirstPaint(std::chrono::minutes(1));
        QVERIFY(!rivetone.mediaControls());
        QTRY_VERIFY(rivetone.mediaControls());
        QVERIFY(paints > 0);
        QVERIFY(!controlsAtFirstPaint);

        TemporaryDefaults otherDefaults;
        RivetoneApp hidden(otherDefaults.filePath());
        hidden.startMediaControlsAfterFirstPaint(std::chrono::milliseconds(50));
        QVERIFY(!hidden.mediaControls());
        QTRY_VERIFY_WITH_TIMEOUT(hidden.mediaControls(), 2000);
    }

    void thePlayerIsFoundByNameAndDesktopEntry()
    {
        Desktop desktop(m_address);
        QVERIFY(desktop.published);
        QCOMPARE(desktop.controls.serviceName(), QStringLiteral("org.mpris.MediaPlayer2.rivetone"));
        DesktopClient& widget = *desktop.client;
        QCOMPARE(widget.get(QStringLiteral("Identity"), rootInterface).toString(), QStringLiteral("Rivetone"));
        QCOMPARE(widget.get(QStringLiteral("DesktopEntry"), rootInterface).toString(), QStringLiteral("io.github.rivetone.Rivetone"));
        QCOMPARE(widget.get(QStringLiteral("HasTrackList"), rootInterface).toBool(), false);
        QCOMPARE(widget.get(QStringLiteral("SupportedUriSchemes"), rootInterface).toStringList(), QStringList{QStringLiteral("file")});
        const QStringList types = widget.get(QStringLiteral("SupportedMimeTypes"), rootInterface).toStringList();
        // Every type the player takes, its kinds (an audiobook's .m4b) among
        // them: a file manager offers the player for a kind by its own name.
        const QMimeDatabase database;
        const QStringList played = AudioFiles::mimeTypeNames();
        int taken = 0;
        for (const QMimeType& type : database.allMimeTypes()) {
            if (std::none_of(played.begin(), played.end(), [&](const QString& name) { return type.inherits(name); }))
                continue;
            ++taken;
            QVERIFY2(types.contains(type.name()), qPrintable(type.name() + QStringLiteral(" not in ") + types.join(' ')));
        }
        QVERIFY(taken >= 3);
        QVERIFY(widget.get(QStringLiteral("CanRaise"), rootInterface).toBool());
        widget.call(QStringLiteral("Raise"), {}, rootInterface);
        QCOMPARE(desktop.raised, 1);
        widget.call(QStringLiteral("Quit"), {}, rootInterface);
        QCOMPARE(desktop.quitRequests, 1);

        // A second Rivetone (another library) on the same bus takes a name of its own.
        LibraryFixture other;
        MediaControls second(*other.state, {});
        QVERIFY(second.publish(QDBusConnection::connectToBus(m_address, QStringLiteral("second"))));
        QCOMPARE(second.serviceName(),
                 QStringLiteral("org.mpris.MediaPlayer2.rivetone.instance") + QString::number(QCoreApplication::applicationPid()));
        QDBusConnection::disconnectFromBus(QStringLiteral("second"));
    }

    void playPauseAndStopChangeTheStatusAndAnnounceIt()
    {
        Desktop desktop(m_address);
        DesktopClient& widget = *desktop.client;
        QCOMPARE(widget.status(), QStringLiteral("Stopped"));
        QVERIFY(widget.can("CanPlay"));
        QVERIFY(!widget.can("CanPause"));

        widget.call(QStringLiteral("PlayPause"));
        QVERIFY(desktop.engine().isPlaying());
        QTRY_COMPARE(widget.lastAnnounced(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
        QCOMPARE(widget.status(), QStringLiteral("Playing"));
        QVERIFY(widget.lastAnnounced(QStringLiteral("CanPause")).toBool());
        QTRY_VERIFY(widget.position() > 0);

        widget.call(QStringLiteral("PlayPause"));
        QVERIFY(!desktop.engine().isPlaying());
        QTRY_COMPARE(widget.lastAnnounced(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"));

        widget.call(QStringLiteral("Pause"));  // paused already: no effect
        QVERIFY(!desktop.engine().isPlaying());
        widget.call(QStringLiteral("Play"));
        QVERIFY(desktop.engine().isPlaying());
        widget.call(QStringLiteral("Play"));  // playing already: no effect
        QVERIFY(desktop.engine().isPlaying());

        desktop.fixture.state->setIsSettingLoop(true);
        QTRY_VERIFY(widget.position() > 0);
        widget.clear();
        widget.call(QStringLiteral("Stop"));
        QCOMPARE(widget.status(), QStringLiteral("Stopped"));  // at once, not paused on the way
        QVERIFY(!desktop.engine().isPlaying());
        QVERIFY(!desktop.fixture.state->isSettingLoop());  // as the window's stop button leaves it
        QTRY_COMPARE(widget.lastAnnounced(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
        QCOMPARE(widget.position(), 0);
        QTest::qWait(200);
        QStringList told;
        for (const QVariantMap& values : widget.announced)
            if (values.contains(QStringLiteral("PlaybackStatus")))
                told << values.value(QStringLiteral("PlaybackStatus")).toString();
        QCOMPARE(told, QStringList{QStringLiteral("Stopped")});
    }

    // The player takes file: URIs, as it says: a local file is handed to the
    // window (which adds and plays it), also written as small clients write
    // it, its spaces and letters not encoded; anything else is left alone,
    // saying why. Every call is answered, none with an error.
    void openUriTakesLocalFilesOnly()
    {
        Desktop desktop(m_address);
        DesktopClient& widget = *desktop.client;
        QTemporaryDir folder;
        const QString lesson = folder.filePath(QStringLiteral("Leçon 1 #a.mp3"));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("chirp-cbr.mp3")), lesson));
        const QStringList refused{QStringLiteral("http://example.invalid/a.mp3"), QUrl::fromLocalFile(folder.path()).toString(),
                                  QUrl::fromLocalFile(folder.filePath(QStringLiteral("gone.mp3"))).toString(),
                                  QUrl::fromLocalFile(folder.path()).toString() + "/%B0%A1.mp3",  // not UTF-8
                                  QStringLiteral("Leçon 1 #a.mp3"), QString(),
                                  QStringLiteral("file:/") + QUrl::fromLocalFile(lesson).path(QUrl::FullyEncoded)};  // host: the first folder
        for (const QString& uri : refused)
            QCOMPARE(widget.call(QStringLiteral("OpenUri"), {uri}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(desktop.opened, QStringList());
        const QDBusMessage reply = widget.call(QStringLiteral("OpenUri"), {QUrl::fromLocalFile(lesson).toString(QUrl::FullyEncoded)});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(desktop.opened, QStringList{lesson});
        widget.call(QStringLiteral("OpenUri"), {QStringLiteral("file://localhost") + QUrl::fromLocalFile(lesson).path(QUrl::FullyEncoded)});
        QCOMPARE(desktop.opened, (QStringList{lesson, lesson}));
        const QString unit = folder.filePath(QStringLiteral("Unit 1 듣기.mp3"));
        QVERIFY(QFile::copy(lesson, unit));
        widget.call(QStringLiteral("OpenUri"), {QStringLiteral("file://") + unit});
        QCOMPARE(desktop.opened, (QStringList{lesson, lesson, unit}));
        const QStringList refusals = desktop.fixture.log.lines().filter(QStringLiteral("not opened"));
        QCOMPARE(refusals.filter(QStringLiteral("gone.mp3")),
                 QStringList{QStringLiteral("Media controls: not opened (no such file): ")
                             + Log::quoted(QUrl::fromLocalFile(folder.filePath(QStringLiteral("gone.mp3"))).toString())});
        QCOMPARE(refusals.filter(QStringLiteral("(not a file)")).size(), 1);  // the folder
        QCOMPARE(refusals.filter(QStringLiteral("(a name that is not UTF-8)")).size(), 1);
        QCOMPARE(refusals.filter(QStringLiteral("(not a local file)")).size(), 4);
    }

    // Playing changes the engine a hundred times a second, nearly always only
    // its position: what changed is gathered for a twentieth of a second at
    // most.
    void playingIsToldInGatheredAnnouncements()
    {
        Desktop desktop(m_address);
        DesktopClient& widget = *desktop.client;
        const MprisPlayerAdaptor& adaptor = *desktop.controls.playerAdaptor();
        widget.call(QStringLiteral("PlayPause"));
        QTRY_COMPARE(widget.lastAnnounced(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
        const quint64 runsBefore = adaptor.announcementRunsForTesting();
        QElapsedTimer playing;
        playing.start();
        QTest::qWait(600);
        const double runs = double(adaptor.announcementRunsForTesting() - runsBefore);
        QVERIFY2(runs <= double(playing.elapsed()) / 50 + 2, qPrintable(QString::number(runs)));

        // A change while playing waits no more than the gathering.
        QElapsedTimer told;
        told.start();
        desktop.engine().togglePlayPause();
        QTRY_COMPARE_WITH_TIMEOUT(widget.lastAnnounced(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"), 1000);
        // A twentieth of a second and the trip over the bus; a loaded
        // sanitizer build takes more of the second half.
        QVERIFY2(told.elapsed() < 500, qPrintable(QString::number(told.elapsed())));
    }

    void nextAndPreviousStepThroughTheCurrentPlaylist()
    {
        Desktop desktop(m_address);
        DesktopClient& widget = *desktop.client;
        // Nothing loaded: nowhere to step from.
        QVERIFY(!widget.can("CanGoNext"));
        QCOMPARE(widget.trackId().path(), QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));

        widget.call(QStringLiteral("Play"));
        QVariantMap metadata = widget.metadata();
        QCOMPARE(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("sine-5s.mp3"));
        QCOMPARE(metadata.value(QStringLiteral("xesam:url")).toString(), fixtureUrl("sine-5s.mp3").toString(QUrl::FullyEncoded));
        QCOMPARE(metadata.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("Lessons"));
        QVERIFY(qAbs(metadata.value(QStringLiteral("mpris:length")).toLongLong() - 5 * second) < second / 100);
        QVERIFY(widget.can("CanGoNext"));
        QVERIFY(!widget.can("CanGoPrevious"));
        const QDBusObjectPath first = widget.trackId();

        // A while in, so that the old place is far from the new track's start.
        QTRY_VERIFY(widget.position() > second);
        widget.clear();
        widget.call(QStringLiteral("Next"));
        // The new track's place, and no seek in it (the old place seen
        // falling to its start).
        QVERIFY2(widget.position() < second / 2, qPrintable(QString::number(widget.position())));
        QTest::qWait(100);
        QCOMPARE(widget.seeked, QList<qlonglong>{});
        QTRY_VERIFY(!widget.lastAnnounced(QStringLiteral("Metadata")).isNull());
        metadata = asMap(widget.lastAnnounced(QStringLiteral("Metadata")));
        QCOMPARE(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("chirp-cbr.mp3"));
        QVERIFY(qAbs(metadata.value(QStringLiteral("mpris:length")).toLongLong() - 6 * second) < second / 100);
        QVERIFY(metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>() != first);
        QVERIFY(widget.lastAnnounced(QStringLiteral("CanGoPrevious")).toBool());
        QVERIFY(desktop.engine().isPlaying());  // playing went on playing

        // Paused, the next track is only loaded.
        widget.call(QStringLiteral("Pause"));
        widget.clear();
        widget.call(QStringLiteral("Next"));
        QVERIFY(!desktop.engine().isPlaying());
        QCOMPARE(widget.metadata().value(QStringLiteral("xesam:title")).toString(), QStringLiteral("sine-5s.m4a"));
        QCOMPARE(widget.status(), QStringLiteral("Paused"));  // at the new track's start, but not stopped
        QTRY_COMPARE(widget.lastAnnounced(QStringLiteral("CanGoNext")), QVariant(false));
        QVERIFY(!widget.can("CanGoNext"));
        widget.call(QStringLiteral("Next"));  // the end of the list: no effect
        QCOMPARE(widget.metadata().value(QStringLiteral("xesam:title")).toString(), QStringLiteral("sine-5s.m4a"));

        widget.call(QStringLiteral("Previous"));
        QCOMPARE(widget.metadata().value(QStringLiteral("xesam:title")).toString(), QStringLiteral("chirp-cbr.mp3"));
        QVERIFY(widget.can("CanGoNext"));
    }

    void seekingMovesThePositionAndIsAnnounced()
    {
        Desktop desktop(m_address);
        DesktopClient& widget = *desktop.client;
        widget.call(QStringLiteral("Play"));
        widget.call(QStringLiteral("Pause"));
        const QDBusObjectPath track = widget.trackId();
        // Back to the start: on a slow run (a sanitizer's) the pause may come
        // seconds in, as near 3 s as makes the seek below no jump at all.
        widget.call(QStringLiteral("SetPosition"), {QVariant::fromValue(track), qlonglong(0)});
        QCOMPARE(widget.position(), 0);
        QCOMPARE(widget.status(), QStringLiteral("Paused"));
        widget.clear();

        widget.call(QStringLiteral("SetPosition"), {QVariant::fromValue(track), 3 * second});
        QCOMPARE(widget.position(), 3 * second);
        QTRY_COMPARE(widget.seeked, QList<qlonglong>{3 * second});
        widget.call(QStringLiteral("Seek"), {-second});
        QCOMPARE(widget.position(), 2 * second);
        QTRY_COMPARE(widget.seeked.size(), 2);
        QCOMPARE(widget.seeked.last(), 2 * second);
        widget.call(QStringLiteral("Seek"), {-10 * second});  // before the start: the start
        QCOMPARE(widget.position(), 0);

        // Out of the track, or for a track no longer loaded: ignored.
        widget.call(QStringLiteral("SetPosition"), {QVariant::fromValue(track), 7 * second});
        widget.call(QStringLiteral("SetPosition"), {QVariant::fromValue(track), -second});
        QCOMPARE(widget.position(), 0);
        widget.call(QStringLiteral("Next"));
        widget.call(QStringLiteral("SetPosition"), {QVariant::fromValue(track), 2 * second});
        QCOMPARE(widget.position(), 0);
        widget.call(QStringLiteral("SetPosition"), {QVariant::fromValue(widget.trackId()), 4 * second});
        QCOMPARE(widget.position(), 4 * second);

        // A seek from the window (the arrow keys) is told too.
        widget.clear();
        Transport::seekTo(*desktop.fixture.state, 1.5);
        QTRY_COMPARE(widget.seeked, QList<qlonglong>{3 * second / 2});

        // Playing, a step the desktop asks for is told back however small,
        // and once.
        widget.call(QStringLiteral("Play"));
        QTest::qWait(300);  // playing steadily, all told
        widget.clear();
        const qlonglong before = widget.position();
        widget.call(QStringLiteral("Seek"), {second / 5});
        QTest::qWait(200);
        QCOMPARE(widget.seeked.size(), 1);
        QVERIFY2(std::abs(widget.seeked.first() - (before + second / 5)) < second / 10,
                 qPrintable(QStringLiteral("%1 after %2").arg(widget.seeked.first()).arg(before)));
    }

    // With a loop in force, a place asked for at or past its end is one the
    // loop sends the play head back from at once: its start is the place
    // taken, and told, once.
    void aPlacePastALoopsEndIsItsStart()
    {
        Desktop desktop(m_address);
        DesktopClient& widget = *desktop.client;
        AudioPlayer& engine = desktop.engine();
        widget.call(QStringLiteral("Play"));
        widget.call(QStringLiteral("Pause"));
        engine.setLoopStart(1.0);
        engine.setLoopEnd(2.0);
        widget.call(QStringLiteral("SetPosition"), {QVariant::fromValue(widget.trackId()), 3 * second / 2});
        QCOMPARE(widget.position(), 3 * second / 2);
        QTest::qWait(100);
        widget.clear();

        widget.call(QStringLiteral("Seek"), {second});
        QCOMPARE(widget.position(), second);
        QTest::qWait(300);  // the ticks that pull a paused play head back
        QCOMPARE(widget.seeked, QList<qlonglong>{second});
        QCOMPARE(widget.position(), second);

        widget.call(QStringLiteral("SetPosition"), {QVariant::fromValue(widget.trackId()), 3 * second / 2});
        QTest::qWait(100);
        widget.clear();
        widget.call(QStringLiteral("SetPosition"), {QVariant::fromValue(widget.trackId()), 3 * second});
        QCOMPARE(widget.position(), second);
        QTest::qWait(300);
        QCOMPARE(widget.seeked, QList<qlonglong>{second});
    }

    // A track whose reads failed (a drive unplugged), opened afresh by Play,
    // is still the same track to the desktop.
    void aTrackOpenedAfreshAfterItsReadsFailedKeepsItsId()
    {
        DecodeStream::failReadsAfterPacketsForTesting(10, AVERROR(EIO));  // a quarter of a second in
        const auto restore = qScopeGuard([] { DecodeStream::failReadsAfterPacketsForTesting(0, 0); });
        Desktop desktop(m_address);
        DesktopClient& widget = *desktop.client;
        widget.call(QStringLiteral("Play"));
        QTRY_VERIFY_WITH_TIMEOUT(!desktop.engine().isPlaying(), 5000);
        const QDBusObjectPath track = widget.trackId();
        const FilePlayer* before = desktop.engine().player();
        widget.call(QStringLiteral("Play"));
        QVERIFY(desktop.engine().player() != before);  // opened afresh
        QCOMPARE(widget.trackId(), track);
    }

    void theVolumeAndTheRateAreTheWindows()
    {
        Desktop desktop(m_address);
        DesktopClient& widget = *desktop.client;
        widget.set(QStringLiteral("Volume"), 0.25);
        QCOMPARE(desktop.engine().volume(), 0.25f);
        QTRY_COMPARE(widget.lastAnnounced(QStringLiteral("Volume")).toDouble(), 0.25);
        desktop.engine().applyVolume(0.5f);  // the window's slider
        QTRY_COMPARE(widget.lastAnnounced(QStringLiteral("Volume")).toDouble(), 0.5);
        widget.set(QStringLiteral("Volume"), -1.0);
        QCOMPARE(desktop.engine().volume(), 0.0f);

        // The rate is the speed, either way, within the player's range.
        QCOMPARE(widget.get(QStringLiteral("MinimumRate")).toDouble(), 0.5);
        QCOMPARE(widget.get(QStringLiteral("MaximumRate")).toDouble(), 2.0);
        widget.set(QStringLiteral("Rate"), 0.75);
        QCOMPARE(desktop.engine().speed(), 0.75);
        QCOMPARE(widget.get(QStringLiteral("Rate")).toDouble(), 0.75);
        QTRY_COMPARE(widget.lastAnnounced(QStringLiteral("Rate")).toDouble(), 0.75);
        SpeedOption::set(*desktop.fixture.state, 1.25);  // the window's keys
        QTRY_COMPARE(widget.lastAnnounced(QStringLiteral("Rate")).toDouble(), 1.25);
        // A rate of 0 pauses and leaves the speed as it was.
        widget.call(QStringLiteral("Play"));
        QTRY_VERIFY(desktop.engine().isPlaying());
        widget.set(QStringLiteral("Rate"), 0.0);
        QVERIFY(!desktop.engine().isPlaying());
        QCOMPARE(desktop.engine().speed(), 1.25);
    }

    // Between jumps the desktop runs its own clock: only a jump is told.
    // A drill's pause between passes holds the play head while the status
    // stays Playing: where playback goes on, the desktop hears of the place.
    void theEndOfADrillPauseIsToldAsASeek()
    {
        Desktop desktop(m_address);
        DesktopClient& widget = *desktop.client;
        DrillOptions::setPause(*desktop.fixture.state, {PassPause::Kind::Fixed, 1.0});
        AudioPlayer& engine = desktop.engine();
        widget.call(QStringLiteral("Play"));
        engine.setLoopStart(1.0);
        engine.setLoopEnd(3.0);
        engine.seek(1.0);
        // Halfway through the pause after the first pass, the loop's going
        // back has long been told.
        QTRY_VERIFY_WITH_TIMEOUT(engine.passPauseSecondsLeft() > 0 && engine.passPauseSecondsLeft() < 0.5, 15000);
        const qsizetype toldBefore = widget.seeked.size();
        QTRY_COMPARE_WITH_TIMEOUT(widget.seeked.size(), toldBefore + 1, 10000);
        // Not the next pass's turn, two seconds on, which begins the next pause.
        QCOMPARE(engine.passPauseSecondsLeft(), 0.0);
        QVERIFY(engine.isPlaying());
        QVERIFY2(std::abs(widget.seeked.last() - second) < second / 4, qPrintable(QString::number(widget.seeked.last())));
    }

    // A loop of a syllable goes back by less than playback's own unevenness:
    // each going back is told all the same (the desktop's clock ran on past
    // the track's end).
    void aShortLoopsGoingBackIsToldAsASeek()
    {
        Desktop desktop(m_address);
        DesktopClient& widget = *desktop.client;
        AudioPlayer& engine = desktop.engine();
        widget.call(QStringLiteral("Play"));
        engine.setLoopStart(1.0);
        engine.setLoopEnd(1.15);
        engine.seek(1.0);
        QTRY_VERIFY_WITH_TIMEOUT(engine.loopPass() >= 2, 5000);
        const qsizetype toldBefore = widget.seeked.size();
        QTRY_VERIFY_WITH_TIMEOUT(widget.seeked.size() >= toldBefore + 3, 5000);
        for (qsizetype i = toldBefore; i < widget.seeked.size(); ++i)
            QVERIFY2(widget.seeked[i] >= second && widget.seeked[i] <= second * 115 / 100,
                     qPrintable(QString::number(widget.seeked[i])));
    }

    void onlyJumpsOfThePlayHeadCountAsSeeks()
    {
        PositionJumpWatch watch;
        QVERIFY(!watch.observe(10.0, true, 1.0, 1, 0));
        QVERIFY(!watch.observe(10.5, true, 1.0, 1, 500));   // playing on
        QVERIFY(!watch.observe(10.52, true, 1.0, 1, 540));  // heard a little late
        QVERIFY(watch.observe(9.0, true, 1.0, 1, 560));     // a loop went back
        QVERIFY(!watch.observe(9.0, false, 1.0, 1, 5000));  // paused
        QVERIFY(!watch.observe(9.04, false, 1.0, 1, 5040));  // settled on the last sound heard
        QVERIFY(watch.observe(9.2, false, 1.0, 1, 5090));    // then a step on: not the settling
        QVERIFY(!watch.observe(9.2, true, 1.0, 1, 5100));
        QVERIFY(!watch.observe(9.2, false, 1.0, 1, 5100));
        QVERIFY(watch.observe(8.9, false, 1.0, 1, 5150));    // sent back while settling
        QVERIFY(!watch.observe(8.9, false, 1.0, 1, 9000));
        QVERIFY(watch.observe(8.95, false, 1.0, 1, 9100));  // nudged while paused
        QVERIFY(!watch.observe(0.0, true, 1.0, 2, 9200));   // another track starts
        QVERIFY(!watch.observe(1.0, true, 0.5, 2, 11200));  // slowed down: half as far
        QVERIFY(watch.observe(3.0, true, 0.5, 2, 13200));   // as far as the clock: a jump
        // Two minutes paused, then a saved loop recalled far ahead, playing:
        // the pause did not move the play head, the recall did.
        QVERIFY(!watch.observe(10.0, false, 1.0, 3, 20000));
        QVERIFY(watch.observe(90.0, true, 1.0, 3, 140000));
        QVERIFY(!watch.observe(10.0, false, 1.0, 4, 200000));
        QVERIFY(!watch.observe(10.02, true, 1.0, 4, 320000));  // plain resume
    }
};

QTEST_MAIN(MprisTest)
#include "tst_mpris.moc"
