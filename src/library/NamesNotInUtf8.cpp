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

struct Count {
    const NameFilter& filter;
    const std::function<bool()>& keepGoing;
    int files = 0;
    bool stopped = false;
};

void countBelow(DIR* folder, Count& count, int depth, bool onlyNamesNotInUtf8)
{
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.' || (onlyNamesNotInUtf8 && isUtf8(entry->d_name)))
            continue;
        // Asked only where there is work: names that are UTF-8 go by unasked.
        if (count.stopped || (count.keepGoing && !count.keepGoing())) {
            count.stopped = true;
            return;
        }
        switch (kindOf(folder, *entry, count.filter)) {
        case Kind::AudioFile:
            ++count.files;
            break;
        case Kind::SubFolder:
            if (depth < deepestFolder) {
                if (const Folder sub = openFolder(::dirfd(folder), entry->d_name, O_NOFOLLOW))
                    countBelow(sub.get(), count, depth + 1, false);
            }
            break;
        case Kind::Other:
            break;
        }
    }
}

}  // namespace

bool isUtf8(QByteArrayView bytes)
{
    // Stateless: a name that ends partway through a sequence is not UTF-8
    // either, where a decoder left waiting for more would not say so.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString decoded = utf8(bytes);
    return !utf8.hasError();
}

int audioUnderNamesNotInUtf8(const QString& folder, const NameFilter& filter, const std::function<bool()>& keepGoing)
{
    // The folder given may itself be a link, which the walk follows too.
    const Folder opened = openFolder(AT_FDCWD, QFile::encodeName(folder).constData(), 0);
    Count count{filter, keepGoing};
    if (opened)
        countBelow(opened.get(), count, 0, true);
    return count.files;
}

int audioAtPathNotInUtf8(const QByteArray& path, const NameFilter& filter, const std::function<bool()>& keepGoing)
{
    struct stat found = {};
    if (::stat(path.constData(), &found) != 0)
        return 0;
    if (S_ISREG(found.st_mode))
        return filter.accepts(QString::fromUtf8(path.mid(path.lastIndexOf('/') + 1))) ? 1 : 0;
    const Folder opened = S_ISDIR(found.st_mode) ? openFolder(AT_FDCWD, path.constData(), 0) : nullptr;
    Count count{filter, keepGoing};
    if (opened)
        countBelow(opened.get(), count, 0, false);
    return count.files;
}

}  // namespace AudioFiles
