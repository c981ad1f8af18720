#include "library/AudioFiles.h"

#include "library/NamesNotInUtf8.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QHash>
#include <QSet>
#include <QSysInfo>

#include <algorithm>
#include <numeric>
#include <set>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace AudioFiles {

std::optional<QString> localPathOf(QUrl url)
{
    // A drag from a file manager may name this machine by its own name.
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
        || host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0)
        url.setHost(QString());
    // A host Qt cannot read leaves the host empty and the URL invalid.
    if (!url.isValid() || !url.isLocalFile() || !url.host().isEmpty())
        return std::nullopt;
    QString path = url.toLocalFile();
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QByteArray> localPathNotInUtf8(const QUrl& url)
{
    if (!localPathOf(url))
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    // A NUL would end the path early, where a path names nothing.
    if (isUtf8(bytes) || bytes.contains('\0'))
        return std::nullopt;
    return bytes;
}

QStringList mimeTypeNames()
{
    return {QStringLiteral("audio/mpeg"), QStringLiteral("audio/mp4")};
}

QStringList namePatterns(const QString& mimeTypeName)
{
    const QMimeDatabase database;
    QStringList patterns = database.mimeTypeForName(mimeTypeName).globPatterns();
    QList<QMimeType> subtypes;
    for (const QMimeType& type : database.allMimeTypes()) {
        if (type.name() != mimeTypeName && type.inherits(mimeTypeName))
            subtypes << type;
    }
    std::sort(subtypes.begin(), subtypes.end(),
              [](const QMimeType& a, const QMimeType& b) { return a.name() < b.name(); });
    for (const QMimeType& type : subtypes) {
        for (const QString& pattern : type.globPatterns()) {
            if (!patterns.contains(pattern))
                patterns << pattern;
        }
    }
    return patterns;
}

NameFilter::NameFilter()
    : NameFilter([] {
        QStringList all;
        for (const QString& type : mimeTypeNames())
            all << namePatterns(type);
        return all;
    }())
{
}

NameFilter::NameFilter(const QStringList& patterns)
{
    for (const QString& pattern : patterns) {
        const QString suffix = pattern.mid(1);
        const bool plainSuffix = pattern.startsWith(u'*') && !suffix.contains(u'*') && !suffix.contains(u'?')
            && !suffix.contains(u'[');
        if (plainSuffix)
            m_suffixes << suffix.toLower();
        else
            m_otherPatterns << pattern;
    }
}

bool NameFilter::accepts(const QString& fileName) const
{
    for (const QString& suffix : m_suffixes) {
        if (fileName.size() > suffix.size() && fileName.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    }
    for (const QString& pattern : m_otherPatterns) {
        if (QDir::match(pattern, fileName))  // case-insensitive
            return true;
    }
    return false;
}

// The C locale collates by code unit, digits as text, whatever the mode; a
// desktop started without a language still wants numbers by value.
QLocale collationLocale()
{
    const QLocale locale;
    return locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
}

NaturalPathOrder::NaturalPathOrder(const QLocale& locale)
    : m_collator(locale)
{
    m_collator.setNumericMode(true);
}

// A file's name without its extension first: the collator puts a space,
// "-" or "(" before the ".", which would take "Lesson 1-2.mp3" and "Lesson
// 1 (2).mp3" before "Lesson 1.mp3". A folder's name is whole ("1.2 Verbs"
// has no extension). Each name has one key, whatever it meets, so the paths
// keep one order.
int NaturalPathOrder::compareNames(const QString& a, bool aIsFile, const QString& b, bool bIsFile) const
{
    if (a == b && aIsFile == bIsFile)
        return 0;
    const auto stem = [](const QString& name, bool isFile) {
        const qsizetype dot = isFile ? name.lastIndexOf(u'.') : -1;
        return dot > 0 ? QStringView(name).first(dot) : QStringView(name);
    };
    if (const int order = m_collator.compare(stem(a, aIsFile), stem(b, bIsFile)))
        return order;
    if (const int order = m_collator.compare(a, b))
        return order;
    // Names the collator takes for one ("Unit 01" and "Unit 1"; one composed,
    // one not) still name two folders, whose files must not mix.
    return a.compare(b);
}

int NaturalPathOrder::compareComponents(const QStringList& a, const QStringList& b) const
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (const int order = compareNames(a.at(i), i + 1 == a.size(), b.at(i), i + 1 == b.size()))
            return order;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (qsizetype i = 0; i < common; ++i) {
        if (const int order = a.at(i).compare(b.at(i)))
            return order;
    }
    return 0;
}

bool NaturalPathOrder::operator()(const QString& a, const QString& b) const
{
    return compareComponents(a.split(u'/'), b.split(u'/')) < 0;
}

void sortNaturally(QStringList& paths, const QLocale& locale)
{
    // Split once, not at every comparison.
    std::vector<QStringList> components;
    components.reserve(size_t(paths.size()));
    for (const QString& path : paths)
        components.push_back(path.split(u'/'));
    std::vector<qsizetype> order(components.size());
    std::iota(order.begin(), order.end(), 0);
    const NaturalPathOrder natural(locale);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return natural.compareComponents(components[size_t(a)], components[size_t(b)]) < 0;
    });
    QStringList sorted;
    sorted.reserve(paths.size());
    for (const qsizetype index : order)
        sorted << paths.at(index);
    paths = std::move(sorted);
}

namespace {

// Looks through the given paths one entry at a time, for as long as it is let.
class Collector {
public:
    Collector(const NameFilter& filter, const std::function<bool(int)>& keepGoing, const QLocale& locale)
        : m_filter(filter)
        , m_keepGoing(keepGoing)
        , m_locale(locale)
    {
    }

    // False when told to stop.
    bool take(const QString& path)
    {
        const QFileInfo info(path);
        if (info.isDir()) {
            const qsizetype before = m_found.files.size();
            m_outOfReach.lookInFolder(path);
            // Folders too, so that each one the walk goes into is also looked
            // at for the names the walk passes by.
            QDirIterator it(path, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                it.next();
                const QFileInfo entry = it.fileInfo();
                // A file in a folder that could not be opened is passed by,
                // as the walk itself would pass it by.
                if (entry.isDir()) {
                    if (!entry.isSymLink())
                        m_outOfReach.lookInFolder(entry.filePath());
                    if (!goOn())
                        return false;
                } else if (!m_outOfReach.liesInUnreadableFolder(entry.filePath()) && !takeFile(entry)) {
                    return false;
                }
            }
            // Named after the first folder that held audio, over a loose file's folder.
            if (!m_namedAfterFolder && m_found.files.size() > before) {
                m_found.namingFolder = QDir::cleanPath(info.absoluteFilePath());
                m_namedAfterFolder = true;
            }
            return goOn();
        }
        if (!info.exists())
            return goOn();
        noteIfNotAudio(QFile::encodeName(path));
        const qsizetype before = m_found.files.size();
        const bool go = takeFile(info);
        if (m_found.namingFolder.isEmpty() && m_found.files.size() > before)
            m_found.namingFolder = QDir::cleanPath(info.absolutePath());
        return go;
    }

    bool takeNotInUtf8(const QByteArray& path)
    {
        m_outOfReach.lookAtPath(path);
        noteIfNotAudio(path);
        return goOn();
    }

    Found result()
    {
        sortNaturally(m_found.files, m_locale);
        m_found.namesNotInUtf8 = m_outOfReach.files();
        m_found.unreadableFolders = m_outOfReach.unreadableFolders();
        return std::move(m_found);
    }

private:
    // A file given itself that is not audio, named once however often it is
    // given (or through a link to it).
    void noteIfNotAudio(const QByteArray& localPath)
    {
        // The name first: most given files are audio, and need no look at the disk.
        const QString name = QString::fromUtf8(localPath.mid(localPath.lastIndexOf('/') + 1));
        if (m_filter.accepts(name))
            return;
        struct stat found = {};
        if (localPath.contains('\0') || ::stat(localPath.constData(), &found) != 0 || !S_ISREG(found.st_mode))
            return;
        if (m_givenNotAudio.insert({found.st_dev, found.st_ino}).second)
            m_found.givenNotAudio << name;
    }

    bool takeFile(const QFileInfo& info)
    {
        // Devices, pipes and sockets are no tracks; a link to a file is.
        if (info.isFile()) {
            const QString path = QDir::cleanPath(info.absoluteFilePath());
            if (!m_filter.accepts(info.fileName())) {
                ++m_found.skipped;
                return goOn();
            }
            // A file and a link to it are one track, listed by the file's
            // own path where it is among those found.
            QString file = info.canonicalFilePath();
            if (file.isEmpty())
                file = path;  // gone meanwhile: taken as named
            const bool isLink = info.isSymLink();
            if (const auto seen = m_seen.find(file); seen == m_seen.end()) {
                m_seen.insert(file, {m_found.files.size(), isLink});
                m_found.files << path;
            } else if (path == file || (seen->isLink && !isLink)) {
                m_found.files[seen->index] = path;
                seen->isLink = isLink;
            }
        }
        return goOn();
    }

    // Once told no, the answer stands: nothing asks again.
    bool goOn()
    {
        m_stopped = m_stopped || (m_keepGoing && !m_keepGoing(int(m_found.files.size())));
        return !m_stopped;
    }

    const NameFilter& m_filter;
    const std::function<bool(int)>& m_keepGoing;
    const QLocale& m_locale;
    Found m_found;
    struct Seen {
        qsizetype index = 0;  // in m_found.files
        bool isLink = false;  // what is listed there
    };
    QHash<QString, Seen> m_seen;  // by a file's own path
    std::set<std::pair<dev_t, ino_t>> m_givenNotAudio;
    AudioOutOfReach m_outOfReach{m_filter, [this] { return goOn(); }};
    bool m_namedAfterFolder = false;
    bool m_stopped = false;
};

}  // namespace

Found collect(const QStringList& absolutePaths, const NameFilter& filter, const std::function<bool(int)>& keepGoing,
              const QLocale& locale, const QList<QByteArray>& pathsNotInUtf8)
{
    Collector collector(filter, keepGoing, locale);
    bool going = true;
    for (const QString& path : absolutePaths) {
        if (!(going = collector.take(path)))
            break;
    }
    for (qsizetype i = 0; going && i < pathsNotInUtf8.size(); ++i)
        going = collector.takeNotInUtf8(pathsNotInUtf8.at(i));
    return collector.result();
}

QString playlistNameFor(const QString& folder)
{
    // Trimmed as a name typed for a new playlist is: "Unit 1 " would stand
    // beside a "Unit 1" made by hand, looking the same.
    const QString name = QFileInfo(folder).fileName().trimmed();
    return name.isEmpty() ? folder.trimmed() : name;
}

}  // namespace AudioFiles
