#include "library/NamesNotInUtf8.h"

#include <QByteArrayView>
#include <QFile>
#include <QStringDecoder>

#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace AudioFiles {

namespace {

// Deeper than any lesson tree; a bound all the same, since nothing here
// follows links but a damaged file system might still loop.
constexpr int deepestFolder = 64;

struct FolderCloser {
    void operator()(DIR* folder) const { ::closedir(folder); }
};
using Folder = std::unique_ptr<DIR, FolderCloser>;

Folder openFolder(int parent, const char* name, int extraFlags)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | extraFlags);
    if (fd < 0)
        return nullptr;
    DIR* folder = ::fdopendir(fd);
    if (!folder)
        ::close(fd);
    return Folder(folder);
}

bool isUtf8(const char* name)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    [[maybe_unused]] const QString decoded = utf8(QByteArrayView(name));
    return !utf8.hasError();
}

enum class Kind { Other, AudioFile, SubFolder };

Kind kindOf(DIR* folder, const dirent& entry, const NameFilter& filter)
{
    struct stat found = {};
    if (::fstatat(::dirfd(folder), entry.d_name, &found, AT_SYMLINK_NOFOLLOW) != 0)
        return Kind::Other;
    if (S_ISDIR(found.st_mode))
        return Kind::SubFolder;
    // A link counts as what it points at, when that is a file.
    if (S_ISLNK(found.st_mode) && ::fstatat(::dirfd(folder), entry.d_name, &found, 0) != 0)
        return Kind::Other;
    // The ending that tells audio is plain ASCII, whatever comes before it.
    return S_ISREG(found.st_mode) && filter.accepts(QString::fromUtf8(entry.d_name)) ? Kind::AudioFile : Kind::Other;
}

int audioBelow(DIR* folder, const NameFilter& filter, int depth, bool onlyNamesNotInUtf8)
{
    int count = 0;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.' || (onlyNamesNotInUtf8 && isUtf8(entry->d_name)))
            continue;
        switch (kindOf(folder, *entry, filter)) {
        case Kind::AudioFile:
            ++count;
            break;
        case Kind::SubFolder:
            if (depth < deepestFolder) {
                if (const Folder sub = openFolder(::dirfd(folder), entry->d_name, O_NOFOLLOW))
                    count += audioBelow(sub.get(), filter, depth + 1, false);
            }
            break;
        case Kind::Other:
            break;
        }
    }
    return count;
}

}  // namespace

int audioUnderNamesNotInUtf8(const QString& folder, const NameFilter& filter)
{
    // The folder given may itself be a link, which the walk follows too.
    const Folder opened = openFolder(AT_FDCWD, QFile::encodeName(folder).constData(), 0);
    return opened ? audioBelow(opened.get(), filter, 0, true) : 0;
}

}  // namespace AudioFiles
