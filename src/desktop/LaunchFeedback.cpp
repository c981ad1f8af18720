#include "desktop/LaunchFeedback.h"

#include <QGuiApplication>
#include <QRegularExpression>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace LaunchFeedback {

namespace {

constexpr int pieceBytes = 20;
// _NET_ACTIVE_WINDOW's source: an application (not a pager) asks.
constexpr std::uint32_t sourceIsApplication = 1;

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name)
{
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Values with a space, a quote or a backslash in them are escaped by a
// backslash, as the notices' format asks.
QByteArray escaped(const QByteArray& value)
{
    QByteArray out;
    for (const char c : value) {
        if (c == ' ' || c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

// The root of the window's own screen (one X display may drive several);
// the first screen's without a window.
xcb_window_t rootOf(xcb_connection_t* connection, xcb_window_t window)
{
    if (window) {
        const std::unique_ptr<xcb_get_geometry_reply_t, FreeReply> geometry(
            xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
        if (geometry)
            return geometry->root;
    }
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// The notice goes out from a window of its own, as its format asks, to the
// root where the launcher listens.
void sendRemoveNotice(xcb_connection_t* connection, xcb_window_t root, const QList<QByteArray>& pieces)
{
    const xcb_window_t sender = xcb_generate_id(connection);
    const std::uint32_t overrideRedirect = 1;
    xcb_create_window(connection, 0, sender, root, -100, -100, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, &overrideRedirect);
    const xcb_atom_t begin = atomNamed(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atomNamed(connection, "_NET_STARTUP_INFO");
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = sender;
        event.type = i == 0 ? begin : more;
        std::memcpy(event.data.data8, pieces[i].constData(), pieceBytes);
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
    }
    xcb_destroy_window(connection, sender);
}

}  // namespace

QString idFromEnvironment()
{
    return QString::fromUtf8(qgetenv("DESKTOP_STARTUP_ID"));
}

std::uint32_t launchTime(const QString& id)
{
    static const QRegularExpression timePart(QStringLiteral("_TIME([0-9]{1,10})$"));
    const QRegularExpressionMatch match = timePart.match(id);
    if (!match.hasMatch())
        return 0;
    bool ok = false;
    const qulonglong time = match.captured(1).toULongLong(&ok);
    return ok && time <= 0xFFFFFFFFull ? std::uint32_t(time) : 0;
}

QList<QByteArray> removeMessagePieces(const QString& id)
{
    const QByteArray value = id.toUtf8();
    if (value.isEmpty() || value.size() > longestIdBytes)
        return {};
    // A control byte (a zero would end the message early and name another
    // start) is no part of an id a launcher made.
    if (std::any_of(value.begin(), value.end(), [](char c) { return std::uint8_t(c) < 0x20 || c == 0x7f; }))
        return {};
    QByteArray message = "remove: ID=" + escaped(value);
    message += '\0';
    QList<QByteArray> pieces;
    for (qsizetype at = 0; at < message.size(); at += pieceBytes) {
        QByteArray piece = message.mid(at, pieceBytes);
        piece.append(pieceBytes - piece.size(), '\0');
        pieces.append(piece);
    }
    return pieces;
}

bool finish(xcb_connection_t* connection, std::uint32_t window, const QString& id)
{
    const QList<QByteArray> pieces = removeMessagePieces(id);
    if (!connection || xcb_connection_has_error(connection) || pieces.isEmpty())
        return false;
    const xcb_window_t root = rootOf(connection, window);

    // The window manager takes a new start id on a shown window as a call to
    // bring it forward as that start's, with the start's own time: so it
    // does for a start that the desktop announced other than by X (a Wayland
    // session's, where the id has no time in it).
    if (window) {
        const QByteArray value = id.toUtf8();
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atomNamed(connection, "_NET_STARTUP_ID"),
                            atomNamed(connection, "UTF8_STRING"), 8, std::uint32_t(value.size()), value.constData());
    }

    sendRemoveNotice(connection, root, pieces);

    // Without the start's time the window manager could not tell the ask
    // from one out of the blue: the window's own raising stands.
    if (window && launchTime(id) != 0) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atomNamed(connection, "_NET_ACTIVE_WINDOW");
        event.data.data32[0] = sourceIsApplication;
        event.data.data32[1] = launchTime(id);
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_flush(connection);
    return true;
}

bool finish(std::uint32_t window, const QString& id)
{
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 && finish(x11->connection(), window, id);
}

bool finishOnDisplay(const QString& id)
{
    const QList<QByteArray> pieces = removeMessagePieces(id);
    if (pieces.isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    int screenNumber = 0;
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(xcb_connect(nullptr, &screenNumber),
                                                                                   &xcb_disconnect);
    if (xcb_connection_has_error(connection.get()))
        return false;
    // The launcher listens on the screen the start was made for: DISPLAY's.
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screens.rem > 1; ++i)
        xcb_screen_next(&screens);
    sendRemoveNotice(connection.get(), screens.data->root, pieces);
    // Answered only once the server has sent the notice on: the process
    // ends right after, and what the server has not yet read of a closed
    // connection may be lost.
    const std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> synced(
        xcb_get_input_focus_reply(connection.get(), xcb_get_input_focus(connection.get()), nullptr), &std::free);
    return synced != nullptr;
}

}  // namespace LaunchFeedback
