#pragma once

#include <QByteArray>

#include <chrono>

// Whether the session bus's daemon answers at all, asked with a deadline.
// Joining the bus has none of its own: a daemon that stopped answering (a
// stopped process, a stale socket that still takes connections) would hold
// the window thread for good.
namespace SessionBusProbe {

enum class Answer {
    Answers,  // a daemon replied to the start of the handshake
    Silent,   // one took the connection, and said nothing by the deadline
    Unknown,  // no socket we can reach by ourselves (none there, or not a local one)
};

// The bus named by DBUS_SESSION_BUS_ADDRESS; without it, the one the D-Bus
// library then joins, $XDG_RUNTIME_DIR/bus.
Answer ask(std::chrono::milliseconds deadline);
// `address` as D-Bus writes them: "unix:path=/run/user/1000/bus", or
// several, separated by ';'.
Answer askAt(const QByteArray& address, std::chrono::milliseconds deadline);

}  // namespace SessionBusProbe
