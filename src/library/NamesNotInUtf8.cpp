#include "library/NamesNotInUtf8.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
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

// Set by tests only (refuseFoldersNamedForTesting).
std::mutex refusedMutex;
QString refusedFolderName;  // guarded by refusedMutex

}  // namespace

bool isUtf8(QByteArrayView bytes)
{
    // Stateless: a name that ends partway through a sequence is not UTF-8
    // either, where a decoder left waiting for more would not say so.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString decoded = utf8(bytes);
    return !utf8.hasError();
}

AudioOutOfReach::AudioOutOfReach(const NameFilter& filter, std::function<bool()> keepGoing)
    : m_filter(filter)
    , m_keepGoing(std::move(keepGoing))
{
}

bool AudioOutOfReach::goOn()
{
    m_stopped = m_stopped || (m_keepGoing && !m_keepGoing());
    return !m_stopped;
}

void AudioOutOfReach::refuseFoldersNamedForTesting(const QString& name)
{
    const std::lock_guard lock(refusedMutex);
    refusedFolderName = name;
}

void AudioOutOfReach::lookInFolder(const QString& folder)
{
    // The folder given may itself be a link, which the walk follows too.
    Folder opened = openFolder(AT_FDCWD, QFile::encodeName(folder).constData(), 0);
    int openError = opened ? 0 : errno;
    if (opened) {
        const std::lock_guard lock(refusedMutex);
        if (!refusedFolderName.isEmpty() && QFileInfo(folder).fileName() == refusedFolderName) {
            opened.reset();
            openError = EACCES;
        }
    }
    // One gone meanwhile is no more there to tell of.
    const QString cleaned = QDir::cleanPath(folder);
    if (!opened && openError != ENOENT && openError != ENOTDIR && !m_unreadableSet.contains(cleaned)) {
        m_unreadableFolders << cleaned;
        m_unreadableSet.insert(cleaned);
    }
    struct stat found = {};
    if (opened && ::fstat(::dirfd(opened.get()), &found) == 0 && m_foldersLookedIn.insert({found.st_dev, found.st_ino}).second)
        countBelow(opened.get(), 0, true);
}

bool AudioOutOfReach::liesInUnreadableFolder(const QString& path) const
{
    if (m_unreadableSet.isEmpty())
        return false;
    for (QString folder = QFileInfo(path).path(); folder.size() > 1; folder = QFileInfo(folder).path())
        if (m_unreadableSet.contains(folder))
            return true;
    return false;
}

void AudioOutOfReach::lookAtPath(const QByteArray& path)
{
    struct stat found = {};
    if (path.contains('\0') || ::stat(path.constData(), &found) != 0)
        return;
    if (S_ISREG(found.st_mode)) {
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray name = path.mid(slash + 1);
        struct stat folder = {};
        if (m_filter.accepts(QString::fromUtf8(name))
            && ::stat(slash > 0 ? path.left(slash).constData() : (slash == 0 ? "/" : "."), &folder) == 0)
            m_files.insert({folder.st_dev, folder.st_ino, name});
        return;
    }
    if (const Folder opened = S_ISDIR(found.st_mode) ? openFolder(AT_FDCWD, path.constData(), 0) : nullptr)
        countBelow(opened.get(), 0, false);
}

void AudioOutOfReach::countBelow(DIR* folder, int depth, bool onlyNamesNotInUtf8)
{
    struct stat here = {};
    if (::fstat(::dirfd(folder), &here) != 0)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.' || (onlyNamesNotInUtf8 && isUtf8(entry->d_name)))
            continue;
        // Asked only where there is work: names that are UTF-8 go by unasked.
        if (!goOn())
            return;
        struct stat found = {};
        if (::fstatat(::dirfd(folder), entry->d_name, &found, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(found.st_mode)) {
            if (depth < deepestFolder) {
                if (const Folder sub = openFolder(::dirfd(folder), entry->d_name, O_NOFOLLOW))
                    countBelow(sub.get(), depth + 1, false);
            }
            continue;
        }
        // A link counts as what it points at, when that is a file.
        if (S_ISLNK(found.st_mode) && ::fstatat(::dirfd(folder), entry->d_name, &found, 0) != 0)
            continue;
        // The ending that tells audio is plain ASCII, whatever comes before it.
        if (S_ISREG(found.st_mode) && m_filter.accepts(QString::fromUtf8(entry->d_name)))
            m_files.insert({here.st_dev, here.st_ino, QByteArray(entry->d_name)});
    }
}

}  // namespace AudioFiles
