// A start handed to the running copy ends its launch feedback and brings
// the window forward as that start's, in the X11 messages a launcher and a
// window manager read. Checked on a private X server, where this test plays
// the window manager.

#include "desktop/LaunchFeedback.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

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

}  // namespace

class LaunchFeedbackTest : public QObject {
    Q_OBJECT

private slots:
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
        QVERIFY(!LaunchFeedback::finish(nullptr, 0, QStringLiteral("x_TIME1")));
        // Not on X11 here: the window's own raising stands.
        QVERIFY(!LaunchFeedback::finish(1, QStringLiteral("x_TIME1")));
    }

    void theLauncherAndTheWindowManagerAreTold()
    {
        const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (server.isEmpty())
            QSKIP("no Xvfb here");
        QProcess xvfb;
        xvfb.start(server, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                            QStringLiteral("64x64x24")});
        QVERIFY(xvfb.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 10000);
        const QByteArray display = ':' + xvfb.readLine().trimmed();
        const auto stopServer = qScopeGuard([&] {
            xvfb.terminate();
            xvfb.waitForFinished();
        });

        Connection manager(xcb_connect(display.constData(), nullptr));
        Connection app(xcb_connect(display.constData(), nullptr));
        QVERIFY(!xcb_connection_has_error(manager.get()) && !xcb_connection_has_error(app.get()));
        // What a launcher and a window manager listen to on the root window.
        const std::uint32_t listen = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
        QVERIFY(!xcb_request_check(manager.get(), xcb_change_window_attributes_checked(
                                                       manager.get(), rootOf(manager.get()), XCB_CW_EVENT_MASK, &listen)));
        const xcb_window_t window = xcb_generate_id(app.get());
        xcb_create_window(app.get(), XCB_COPY_FROM_PARENT, window, rootOf(app.get()), 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);

        const QString id = QStringLiteral("files-77-host-rivetone-1 of 2_TIME31337");
        QVERIFY(LaunchFeedback::finish(app.get(), window, id));

        const xcb_atom_t begin = atomNamed(manager.get(), "_NET_STARTUP_INFO_BEGIN");
        const xcb_atom_t more = atomNamed(manager.get(), "_NET_STARTUP_INFO");
        const xcb_atom_t activate = atomNamed(manager.get(), "_NET_ACTIVE_WINDOW");
        QByteArray notice;
        bool noticeWhole = false;
        std::optional<xcb_client_message_event_t> activation;
        QDeadlineTimer deadline(5000);
        while (!(noticeWhole && activation) && !deadline.hasExpired()) {
            std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(xcb_poll_for_event(manager.get()), &std::free);
            if (!event) {
                QTest::qWait(10);
                continue;
            }
            if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
                continue;
            const auto& message = *reinterpret_cast<const xcb_client_message_event_t*>(event.get());
            if (message.type == begin || message.type == more) {
                QCOMPARE(message.type, notice.isEmpty() ? begin : more);
                QCOMPARE(message.format, std::uint8_t(8));
                notice.append(reinterpret_cast<const char*>(message.data.data8), 20);
                noticeWhole = notice.contains('\0');
            } else if (message.type == activate) {
                activation = message;
            }
        }
        QCOMPARE(notice.left(notice.indexOf('\0')), QByteArray("remove: ID=files-77-host-rivetone-1\\ of\\ 2_TIME31337"));
        QVERIFY(activation);
        QCOMPARE(activation->window, window);
        QCOMPARE(activation->format, std::uint8_t(32));
        QCOMPARE(activation->data.data32[0], 1u);  // an application asks
        QCOMPARE(activation->data.data32[1], 31337u);
    }
};

QTEST_MAIN(LaunchFeedbackTest)
#include "tst_launch_feedback.moc"
