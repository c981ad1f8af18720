#include "desktop/SessionBusProbe.h"

#include <QByteArrayList>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <optional>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace SessionBusProbe {

namespace {

// A socket closed however the probe ends.
struct Socket {
    int fd = -1;
    ~Socket()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point until)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return int(std::max<long long>(0, left));
}

bool waitFor(int fd, short events, Clock::time_point until)
{
    pollfd watched{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&watched, 1, millisecondsLeft(until));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

// The socket address of one "unix:" entry: path= or abstract=, their
// values %-escaped as D-Bus allows. None for any other kind.
std::optional<sockaddr_un> unixAddress(const QByteArray& entry, socklen_t* length)
{
    if (!entry.startsWith("unix:"))
        return std::nullopt;
    for (const QByteArray& pair : entry.mid(5).split(',')) {
        const qsizetype equals = pair.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = pair.left(equals);
        const QByteArray value = QByteArray::fromPercentEncoding(pair.mid(equals + 1));
        if ((key != "path" && key != "abstract") || value.isEmpty())
            continue;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::size_t offset = key == "abstract" ? 1 : 0;  // abstract names start with a zero byte
        if (std::size_t(value.size()) + offset >= sizeof(address.sun_path))
            return std::nullopt;
        std::memcpy(address.sun_path + offset, value.constData(), std::size_t(value.size()));
        *length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + std::size_t(value.size()) + (offset ? 0 : 1));
        return address;
    }
    return std::nullopt;
}

Answer askOne(const sockaddr_un& address, socklen_t length, Clock::time_point until)
{
    Socket socket{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
    if (socket.fd < 0)
        return Answer::Unknown;
    if (::connect(socket.fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        if (errno != EINPROGRESS && errno != EAGAIN)
            return Answer::Unknown;
        if (!waitFor(socket.fd, POLLOUT, until))
            return Answer::Silent;
        int error = 0;
        socklen_t size = sizeof(error);
        if (::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            return Answer::Unknown;
    }
    // The handshake's first words: any reply at all (OK, REJECTED) is a
    // daemon that answers.
    const QByteArray uid = QByteArray::number(qulonglong(::getuid())).toHex();
    const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL " + uid + "\r\n";
    if (::send(socket.fd, hello.constData(), std::size_t(hello.size()), MSG_NOSIGNAL) != hello.size())
        return Answer::Unknown;
    if (!waitFor(socket.fd, POLLIN, until))
        return Answer::Silent;
    char reply[64];
    return ::recv(socket.fd, reply, sizeof(reply), 0) > 0 ? Answer::Answers : Answer::Unknown;
}

}  // namespace

Answer askAt(const QByteArray& address, std::chrono::milliseconds deadline)
{
    const Clock::time_point until = Clock::now() + deadline;
    for (const QByteArray& entry : address.split(';')) {
        socklen_t length = 0;
        const std::optional<sockaddr_un> socketAddress = unixAddress(entry.trimmed(), &length);
        if (!socketAddress) {
            if (!entry.trimmed().isEmpty())
                return Answer::Unknown;  // one we do not ask comes first, and may answer
            continue;
        }
        const Answer answer = askOne(*socketAddress, length, until);
        if (answer != Answer::Unknown)
            return answer;  // (the library takes the first that it can reach)
    }
    return Answer::Unknown;
}

Answer ask(std::chrono::milliseconds deadline)
{
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return askAt(address, deadline);
    // Unset, the library looks where a user's bus is made by default.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? Answer::Unknown : askAt("unix:path=" + runtime + "/bus", deadline);
}

}  // namespace SessionBusProbe
