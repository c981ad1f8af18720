// A start handed to the running copy ends its launch feedback and brings
// the window forward as that start's, in the X11 messages a launcher and a
// window manager read. Checked on a private X server, where this test plays
// the window manager.

#include "desktop/LaunchFeedback.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name)
{
    auto* reply = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name),
                                        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

xcb_window_t rootOf(xcb_connection_t* connection)
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

xcb_window_t secondRoot(xcb_connection_t* connection)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    xcb_screen_next(&screens);
    return screens.rem > 0 ? screens.data->root : xcb_window_t(XCB_WINDOW_NONE);
}

// Once it returns, the server has done all that was asked before it.
void roundTrip(xcb_connection_t* connection)
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

// The client messages the connection has been sent so far.
std::vector<xcb_client_message_event_t> clientMessages(xcb_connection_t* connection)
{
    roundTrip(connection);
    std::vector<xcb_client_message_event_t> messages;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE)
            messages.push_back(*reinterpret_cast<const xcb_client_message_event_t*>(event));
        std::free(event);
    }
    return messages;
}

}  // namespace

class LaunchFeedbackTest : public QObject {
    Q_OBJECT

private slots:
    // Run by hand on a desktop too, nothing goes to the real display.
    static void initMain() { qputenv("QT_QPA_PLATFORM", "offscreen"); }

    void theStartsTimeAndItsNoticeInPieces_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<uint>("time");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("a file manager's") << QStringLiteral("nautilus-1234-host-rivetone-3_TIME98765") << 98765u
                                         << QByteArray("remove: ID=nautilus-1234-host-rivetone-3_TIME98765");
        QTest::newRow("no time") << QStringLiteral("launcher/rivetone/1") << 0u << QByteArray("remove: ID=launcher/rivetone/1");
        QTest::newRow("a time past 32 bits") << QStringLiteral("x_TIME4294967296") << 0u
                                            << QByteArray("remove: ID=x_TIME4294967296");
        QTest::newRow("spaces and quotes") << QStringLiteral("my \"launch\" \\1_TIME7") << 7u
                                          << QByteArray("remove: ID=my\\ \\\"launch\\\"\\ \\\\1_TIME7");
        QTest::newRow("19 bytes: the zero ends the one piece")
            << QStringLiteral("abcdefgh") << 0u << QByteArray("remove: ID=abcdefgh");
        QTest::newRow("20 bytes: the zero in a piece of its own")
            << QStringLiteral("abcdefghi") << 0u << QByteArray("remove: ID=abcdefghi");
    }

    void theStartsTimeAndItsNoticeInPieces()
    {
        QFETCH(QString, id);
        QFETCH(uint, time);
        QFETCH(QByteArray, message);
        QCOMPARE(LaunchFeedback::launchTime(id), time);
        const QList<QByteArray> pieces = LaunchFeedback::removeMessagePieces(id);
        QByteArray joined;
        for (const QByteArray& piece : pieces) {
            QCOMPARE(piece.size(), 20);
            joined += piece;
        }
        // Whole, then a zero byte, then only padding.
        QVERIFY(joined.startsWith(message + '\0'));
        QCOMPARE(joined.mid(message.size()), QByteArray(joined.size() - message.size(), '\0'));
        QCOMPARE(pieces.size(), message.size() / 20 + 1);
    }

    void aDamagedIdSendsNothing()
    {
        QVERIFY(LaunchFeedback::removeMessagePieces(QString()).isEmpty());
        QVERIFY(LaunchFeedback::removeMessagePieces(QString(LaunchFeedback::longestIdBytes + 1, u'x')).isEmpty());
        // A zero would end the notice early, naming another start.
        QVERIFY(LaunchFeedback::removeMessagePieces(QStringLiteral("abc") + QChar(0) + QStringLiteral("x_TIME1")).isEmpty());
        QVERIFY(LaunchFeedback::removeMessagePieces(QStringLiteral("abc\nx")).isEmpty());
        QVERIFY(!LaunchFeedback::finish(nullptr, 0, QStringLiteral("x_TIME1")));
        // Not on X11 here: the window's own raising stands.
        QVERIFY(!LaunchFeedback::finish(1, QStringLiteral("x_TIME1")));
    }

    void theLauncherAndTheWindowManagerAreTold()
    {
        const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (server.isEmpty())
            QSKIP("no Xvfb here");
        // Two screens: the window lies on the second, whose root is where its
        // launcher and window manager listen.
        QProcess xvfb;
        xvfb.start(server, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                            QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("64x64x24"),
                            QStringLiteral("-screen"), QStringLiteral("1"), QStringLiteral("64x64x24")});
        QVERIFY(xvfb.waitForStarted());
        const auto stopServer = qScopeGuard([&] {
            xvfb.terminate();
            xvfb.waitForFinished();
        });
        QTRY_VERIFY2_WITH_TIMEOUT(xvfb.canReadLine() || xvfb.state() != QProcess::Running, "Xvfb starting", 10000);
        QVERIFY2(xvfb.canReadLine(), xvfb.readAllStandardError().constData());
        const QByteArray display = ':' + xvfb.readLine().trimmed();

        Connection launcher(xcb_connect(display.constData(), nullptr));
        Connection manager(xcb_connect(display.constData(), nullptr));
        Connection app(xcb_connect(display.constData(), nullptr));
        for (xcb_connection_t* connection : {launcher.get(), manager.get(), app.get()})
            QVERIFY(!xcb_connection_has_error(connection));
        const xcb_window_t root = secondRoot(app.get());
        QVERIFY(root != rootOf(app.get()));
        const xcb_window_t window = xcb_generate_id(app.get());
        xcb_create_window(app.get(), XCB_COPY_FROM_PARENT, window, root, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        roundTrip(app.get());
        // Each listens to its own: the launcher to notices, the window
        // manager to requests; it also watches the window's properties.
        const auto listen = [&](xcb_connection_t* connection, xcb_window_t on, std::uint32_t mask) {
            QVERIFY(!xcb_request_check(connection, xcb_change_window_attributes_checked(connection, on, XCB_CW_EVENT_MASK, &mask)));
        };
        listen(launcher.get(), root, XCB_EVENT_MASK_PROPERTY_CHANGE);
        listen(manager.get(), root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
        listen(manager.get(), window, XCB_EVENT_MASK_PROPERTY_CHANGE);

        const QString id = QStringLiteral("files-77-host-rivetone-1 of 2_TIME31337");
        QVERIFY(LaunchFeedback::finish(app.get(), window, id));
        roundTrip(app.get());

        QByteArray notice;
        for (const xcb_client_message_event_t& message : clientMessages(launcher.get())) {
            QCOMPARE(message.type, atomNamed(launcher.get(), notice.isEmpty() ? "_NET_STARTUP_INFO_BEGIN" : "_NET_STARTUP_INFO"));
            QCOMPARE(message.format, std::uint8_t(8));
            notice.append(reinterpret_cast<const char*>(message.data.data8), 20);
        }
        QVERIFY(notice.contains('\0'));
        QCOMPARE(notice.left(notice.indexOf('\0')), QByteArray("remove: ID=files-77-host-rivetone-1\\ of\\ 2_TIME31337"));

        const std::vector<xcb_client_message_event_t> requests = clientMessages(manager.get());
        QCOMPARE(requests.size(), std::size_t(1));
        const xcb_client_message_event_t& activation = requests.front();
        QCOMPARE(activation.type, atomNamed(manager.get(), "_NET_ACTIVE_WINDOW"));
        QCOMPARE(activation.window, window);
        QCOMPARE(activation.format, std::uint8_t(32));
        QCOMPARE(activation.data.data32[0], 1u);  // an application asks
        QCOMPARE(activation.data.data32[1], 31337u);

        const xcb_atom_t startupIdAtom = atomNamed(manager.get(), "_NET_STARTUP_ID");
        const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> property(
            xcb_get_property_reply(manager.get(),
                                   xcb_get_property(manager.get(), 0, window, startupIdAtom,
                                                    atomNamed(manager.get(), "UTF8_STRING"), 0, 1024),
                                   nullptr),
            &std::free);
        QVERIFY(property);
        QCOMPARE(QByteArray(static_cast<const char*>(xcb_get_property_value(property.get())),
                            xcb_get_property_value_length(property.get())),
                 id.toUtf8());

        // A start whose line is refused leaves before any window could end
        // its launch: it sends the notice itself, to its display's screen.
        const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../rivetone");
        if (!QFile::exists(program))
            QSKIP("the rivetone program is not built beside the tests");
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display) + QStringLiteral(".1"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        // A start with that id, left with that status: what the launcher was told.
        const auto noticeOfAStart = [&](const QString& id, const QStringList& arguments, int status) {
            environment.insert(QStringLiteral("DESKTOP_STARTUP_ID"), id);
            QProcess start;
            start.setProcessEnvironment(environment);
            start.start(program, arguments);
            if (!start.waitForFinished(10000) || start.exitCode() != status)
                return QByteArray("left with ") + QByteArray::number(start.exitCode());
            roundTrip(launcher.get());
            QByteArray told;
            for (const xcb_client_message_event_t& message : clientMessages(launcher.get()))
                told.append(reinterpret_cast<const char*>(message.data.data8), 20);
            return told.left(told.indexOf('\0'));
        };
        const QStringList notAudio{home.filePath(QStringLiteral("notes.txt"))};
        QCOMPARE(noticeOfAStart(QStringLiteral("files-78-host-rivetone-2_TIME31338"), notAudio, 2),
                 QByteArray("remove: ID=files-78-host-rivetone-2_TIME31338"));

        // So does one that cannot hand its files over: another Rivetone holds
        // the library and cannot be reached (started in another session).
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("Rivetone")));
        QLockFile elsewhere(home.filePath(QStringLiteral("Rivetone/Rivetone.ini.running")));
        QVERIFY(elsewhere.tryLock(0));
        QTemporaryDir runtime;
        QVERIFY(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        QCOMPARE(noticeOfAStart(QStringLiteral("files-79-host-rivetone-3_TIME31339"), {}, 1),
                 QByteArray("remove: ID=files-79-host-rivetone-3_TIME31339"));
    }
};

QTEST_MAIN(LaunchFeedbackTest)
#include "tst_launch_feedback.moc"
