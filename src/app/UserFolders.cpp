#include "app/UserFolders.h"

#include <QByteArray>
#include <QtGlobal>

#include <cerrno>
#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace {

bool isAbsolute(const QByteArray& path)
{
    return path.startsWith('/');
}

QByteArray accountHome()
{
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    // An entry from a directory service may be longer than the size the
    // system suggests: asked again with more room.
    for (std::size_t size = suggested > 0 ? std::size_t(suggested) : 16384; size <= (1u << 20); size *= 2) {
        std::vector<char> buffer(size);
        passwd entry{};
        passwd* found = nullptr;
        const int status = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (status == ERANGE)
            continue;
        if (status != 0 || !found || !found->pw_dir)
            return {};
        return QByteArray(found->pw_dir);
    }
    return {};
}

}  // namespace

void UserFolders::settle()
{
    if (!isAbsolute(qgetenv("HOME"))) {
        if (const QByteArray home = accountHome(); isAbsolute(home))
            qputenv("HOME", home);
    }
    // The runtime folder holds the lock and the socket a second start hands
    // over through: relative, a start from another folder could not reach
    // the first.
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
        if (qEnvironmentVariableIsSet(name) && !isAbsolute(qgetenv(name)))
            qunsetenv(name);
    }
}
