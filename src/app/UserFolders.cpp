#include "app/UserFolders.h"

#include <QByteArray>
#include <QtGlobal>

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
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(std::size_t(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
        return {};
    return QByteArray(found->pw_dir);
}

}  // namespace

void UserFolders::settle()
{
    if (!isAbsolute(qgetenv("HOME"))) {
        if (const QByteArray home = accountHome(); isAbsolute(home))
            qputenv("HOME", home);
    }
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) {
        if (qEnvironmentVariableIsSet(name) && !isAbsolute(qgetenv(name)))
            qunsetenv(name);
    }
}
