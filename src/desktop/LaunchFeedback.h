#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

struct xcb_connection_t;

// A start from the desktop (a file opened from the file manager) carries an
// id in DESKTOP_STARTUP_ID. The launcher shows a busy cursor until the
// program says that start is done, and the window manager lets the window
// of that start take the focus from what the user was doing a moment ago.
// Qt does both for a window it shows. A start that hands its files to the
// running copy shows none, so the running copy does them in its place: it
// ends the start's feedback and asks for the focus with the start's time,
// where its own last input time would be refused as older than the click.
namespace LaunchFeedback {

// The start's id, read before the application is made (Qt takes it then);
// empty for a start from a terminal.
QString idFromEnvironment();

// The start's time, the id's "_TIME<n>" part (X server time); 0 when it
// has none.
std::uint32_t launchTime(const QString& id);

// The "remove" message for the start, as the 20-byte pieces the X11 startup
// notice goes in, the last one ending in a zero byte and padded with zeros.
// An id longer than longestIdBytes, or with a control character in it, is
// taken for damaged: no pieces.
constexpr int longestIdBytes = 1024;
QList<QByteArray> removeMessagePieces(const QString& id);

// Ends the start's feedback and asks the window manager to activate window
// as that start's: the window's _NET_STARTUP_ID, the "remove" notice, and
// when the id has a time, _NET_ACTIVE_WINDOW with it. On the given
// connection; false when the id is unusable.
bool finish(xcb_connection_t* connection, std::uint32_t window, const QString& id);
// The same on the application's own X connection; false on another platform.
bool finish(std::uint32_t window, const QString& id);
// For a start that ends before the toolkit has a window (its command line
// refused): only the "remove" notice, on a connection of its own to DISPLAY,
// so that the launcher's busy cursor does not spin on until it gives up.
// False without a display or with an unusable id.
bool finishOnDisplay(const QString& id);

}  // namespace LaunchFeedback
