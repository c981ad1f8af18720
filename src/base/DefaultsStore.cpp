#include "base/DefaultsStore.h"

#include "base/Log.h"
#include "base/SystemErrorText.h"
#include "base/Threads.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Beside the settings file while a save is made and checked; names no one
// else would give a file, so that what a save cut off leaves can be told.
const QString saveSuffix = QStringLiteral(".rivetone-save-");
const QString checkSuffix = QStringLiteral(".rivetone-check-");

// How many finished writes keep their outcome for late askers.
constexpr std::size_t keptOutcomes = 64;

// As a disk that took only part of a write without a word: the file keeps
// the size and time the writer saw, but what lies past `keptBytes` is gone.
void loseBytesUnreported(const QString& path, qint64 keptBytes)
{
    QFile file(path);
    const QDateTime writtenAt = QFileInfo(file).lastModified();
    if (!file.open(QIODevice::ReadWrite) || keptBytes >= file.size())
        return;
    file.seek(keptBytes);
    file.write(QByteArray(file.size() - keptBytes, '\0'));
    file.flush();
    file.setFileTime(writtenAt, QFileDevice::FileModificationTime);
}

// Whether a value read from the file is the one meant. The file keeps byte
// values as bytes and everything else as text, so compare those. A value of
// a type this version cannot read (a later version's, or an empty list)
// loads as nothing and is written back as nothing.
bool sameValue(const QVariant& meant, const QVariant& back)
{
    if (!back.isValid() || !meant.isValid())
        return back.isValid() == meant.isValid();
    if (meant.typeId() == QMetaType::QByteArray)
        return back.typeId() == QMetaType::QByteArray && back.toByteArray() == meant.toByteArray();
    return back.toString() == meant.toString();
}

// Whether what a file reads back as holds exactly the values meant.
bool sameValues(const QMap<QString, QVariant>& meant, const QMap<QString, QVariant>& read)
{
    if (read.size() != meant.size())
        return false;
    for (auto it = meant.constBegin(); it != meant.constEnd(); ++it) {
        const auto back = read.constFind(it.key());
        if (back == read.constEnd() || !sameValue(it.value(), back.value()))
            return false;
    }
    return true;
}

// Bytes typed by hand into a byte value (a playlist renamed in an editor) are
// UTF-8 text, where the settings reader takes each character for one byte,
// and any beyond Latin-1 for "?". Our own writes escape every byte past
// ASCII (as \xe9); typed ones escaped the same way read back as typed. A hex
// digit right after an escape is escaped too, or it would be read into it.
QByteArray withTypedBytesEscaped(const QByteArray& text)
{
    QByteArray escaped;
    escaped.reserve(text.size());
    qsizetype lineStart = 0;
    while (lineStart < text.size()) {
        // A line ends at "\n", "\r\n" or a lone "\r", as the reader takes it.
        qsizetype lineEnd = lineStart;
        while (lineEnd < text.size() && text[lineEnd] != '\n' && text[lineEnd] != '\r')
            ++lineEnd;
        lineEnd = std::min(lineEnd + 1, text.size());
        const QByteArrayView line(text.constData() + lineStart, lineEnd - lineStart);
        // Only a value that is a byte value: "@ByteArray(" right after the
        // "=" (spaces and an opening quote aside), not text that holds it.
        const qsizetype equals = line.indexOf('=');
        qsizetype value = equals + 1;
        while (equals >= 0 && value < line.size() && line[value] == ' ')
            ++value;
        if (equals >= 0 && value < line.size() && line[value] == '"')
            ++value;
        if (equals < 0 || !line.sliced(value).startsWith("@ByteArray(")) {
            escaped += line;
        } else {
            escaped += line.first(value);
            bool afterEscape = false;
            for (const char c : line.sliced(value)) {
                const auto byte = static_cast<unsigned char>(c);
                afterEscape = byte >= 0x80 || (afterEscape && std::isxdigit(byte));
                if (afterEscape)
                    escaped += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
                else
                    escaped += c;
            }
        }
        lineStart = lineEnd;
    }
    return escaped;
}

// What a settings reader made of a file's text: the values it could take,
// and what a write of them would lose.
struct ReadValues {
    QMap<QString, QVariant> values;
    bool formatError = false;
    // A line with no name before its "=" (a merge's "=======" in a synced
    // dotfile), in a [group] too, a name a write would store as another
    // ("/x" as "x"), or a key on two lines: no write can store it as it was.
    bool lostLines = false;
    // A value of a type only a later version knows loads as nothing and would
    // be written back as nothing; one stored as nothing ("@Invalid()", an
    // empty list) loads as nothing too, and loses nothing.
    bool laterValues = false;
    bool whole() const { return !formatError && !lostLines && !laterValues; }
};

// Whether a key has two lines (two files joined by hand, a sync's conflict
// copy pasted in, a group written twice): the reader keeps one of them, and
// a write would lose the other. The lines are split as the settings reader
// splits them: a backslash takes the next character with it (a line break
// too), quotes hold line breaks and "=", and a ";" starts a comment. Names
// are compared as typed, within their group.
bool hasKeyTwice(const QByteArray& text)
{
    const auto isLineBreak = [](char c) { return c == '\n' || c == '\r'; };
    QSet<QByteArray> keys;
    QByteArray group;
    const qsizetype size = text.size();
    qsizetype at = 0;
    while (at < size) {
        while (at < size && std::isspace(static_cast<unsigned char>(text[at])))
            ++at;
        if (at < size && text[at] == ';') {
            while (at < size && !isLineBreak(text[at]))
                ++at;
            continue;
        }
        const qsizetype lineStart = at;
        qsizetype equals = -1;
        bool inQuotes = false;
        while (at < size) {
            const char c = text[at];
            if (!inQuotes && (isLineBreak(c) || c == ';'))
                break;
            ++at;
            if (c == '=' && !inQuotes && equals < 0) {
                equals = at - 1;
            } else if (c == '"') {
                inQuotes = !inQuotes;
            } else if (c == '\\' && at < size) {
                const char escaped = text[at++];
                if (at < size && isLineBreak(escaped) && isLineBreak(text[at]) && text[at] != escaped)
                    ++at;  // "\r\n" or "\n\r"
            }
        }
        const QByteArray line = text.mid(lineStart, at - lineStart);
        if (line.startsWith('[')) {
            group = line.mid(1, line.indexOf(']') - 1).trimmed();
            if (group.compare("general", Qt::CaseInsensitive) == 0)
                group.clear();
            continue;
        }
        if (equals < 0)
            continue;
        const QByteArray key = group + '/' + text.mid(lineStart, equals - lineStart).trimmed();
        if (keys.contains(key))
            return true;
        keys.insert(key);
    }
    return false;
}

ReadValues readValues(const QSettings& settings, const QByteArray& text)
{
    ReadValues read;
    read.lostLines = hasKeyTwice(text);
    qsizetype valuesOfNothing = 0;
    for (const QString& key : settings.allKeys()) {
        if (key.isEmpty() || key.endsWith(u'/') || key.startsWith(u'/') || key.contains(QStringLiteral("//"))) {
            read.lostLines = true;
            continue;
        }
        const QVariant value = settings.value(key);
        valuesOfNothing += value.isValid() ? 0 : 1;
        read.values.insert(key, value);
    }
    read.formatError = settings.status() == QSettings::FormatError;
    read.laterValues = valuesOfNothing > text.count("=@Invalid()");
    return read;
}

// An editor may start the file with a byte-order mark, which is no part of
// its first line (a group line behind one would not read as one).
QByteArray withoutByteOrderMark(QByteArray text)
{
    const QByteArray mark("\xEF\xBB\xBF");
    if (text.startsWith(mark))
        text.remove(0, mark.size());
    return text;
}

// What the file at path holds; none when it cannot be read whole. The
// toolkit keeps what it read of a file, and would read it again only if its
// size or time had changed: the file is read through a copy under a name it
// has never seen, made from pattern.
std::optional<QMap<QString, QVariant>> readThroughCopy(const QString& path, const QString& pattern)
{
    QFile file(path);
    QTemporaryFile check(pattern);
    check.setAutoRemove(true);
    if (!file.open(QIODevice::ReadOnly) || !check.open())
        return std::nullopt;
    const QByteArray bytes = withoutByteOrderMark(file.readAll());
    const QByteArray typed = withTypedBytesEscaped(bytes);
    if (file.error() != QFileDevice::NoError || check.write(typed) != typed.size() || !check.flush())
        return std::nullopt;
    check.close();
    const QSettings settings(check.fileName(), QSettings::IniFormat);
    ReadValues read = readValues(settings, bytes);
    if (settings.status() != QSettings::NoError || !read.whole())
        return std::nullopt;
    return std::move(read.values);
}

// Copies the file at path to "<path><suffix><n>", the first free number; a
// copy with the same content made earlier is kept instead.
DefaultsStore::FileCopy copyAside(const QString& path, const QString& suffix)
{
    DefaultsStore::FileCopy copy;
    QFile original(path);
    if (!original.exists()) {
        copy.error = QStringLiteral("there is no file");
        return copy;
    }
    errno = 0;
    if (!original.open(QIODevice::ReadOnly)) {
        copy.error = fileErrorText(original, errno);
        return copy;
    }
    const QByteArray content = original.readAll();
    for (int number = 1;; ++number) {
        copy.path = path + suffix + QString::number(number);
        QFile earlier(copy.path);
        if (!earlier.exists())
            break;
        if (earlier.open(QIODevice::ReadOnly) && earlier.readAll() == content) {
            copy.written = true;  // kept by an earlier run that met the same file
            return copy;
        }
    }
    QSaveFile out(copy.path);
    out.setDirectWriteFallback(false);
    errno = 0;
    copy.written = out.open(QIODevice::WriteOnly) && out.write(content) == content.size() && out.commit();
    if (!copy.written)
        copy.error = fileErrorText(out, errno);
    return copy;
}

bool syncToDisk(const QString& path, bool directory)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (descriptor < 0)
        return false;
    const bool synced = ::fsync(descriptor) == 0;
    return ::close(descriptor) == 0 && synced;
}

}  // namespace

DefaultsStore::DefaultsStore(const QString& filePath, QObject* parent)
    : QObject(parent)
    , m_filePath(filePath)
{
    // A file that is there but cannot be read (out of descriptors, a home
    // on a share that fails, permissions) would read as no settings at all,
    // and the first store would replace the library it holds with nothing.
    // A link's target: a dangling link is no file yet. A path that cannot
    // be looked up at all (its folder out of reach for now: permissions, a
    // share that fails, a loop of links) is not "no file": it may hold a
    // library, and be back in reach when the first save comes.
    struct stat found {};
    const bool lookedUp = ::stat(QFile::encodeName(filePath).constData(), &found) == 0;
    const int lookUpError = lookedUp ? 0 : errno;
    const bool isFile = lookedUp && S_ISREG(found.st_mode);  // not a device or a pipe, which would be read for ever
    const auto refuseWrites = [&](const QString& why) {
        m_values.clear();
        m_unopenedBecause = why;
        Log::line(QStringLiteral("Settings file unreadable: %1 could not be read (%2); nothing is written to it "
                                 "until Rivetone starts again")
                      .arg(filePath, why));
    };
    // Taken before the read: a change landing meanwhile is then seen as one.
    m_stampOnDisk = stampOf(pathWrittenTo());
    // (A file where a folder of the path goes: nothing can be there.)
    if (!lookedUp && lookUpError != ENOENT && lookUpError != ENOTDIR) {
        refuseWrites(systemErrorText(lookUpError));
        return;
    }
    // A link into a folder that is not there (dotfiles on a drive not
    // mounted) leads to a library out of reach, not to none: written, the
    // folders would be made under the empty mount point, and the library
    // hidden by the drive once it is back.
    if (!lookedUp && QFileInfo(filePath).isSymLink() && !QFileInfo(pathWrittenTo()).absoluteDir().exists()) {
        refuseWrites(QStringLiteral("it is a link into %1, which is not there (a drive not mounted?)")
                         .arg(QFileInfo(pathWrittenTo()).absolutePath()));
        return;
    }
    // A pipe or a device would hold the reader (and the start) for ever.
    if (lookedUp && !isFile && !S_ISDIR(found.st_mode)) {
        refuseWrites(QStringLiteral("it is not a regular file"));
        return;
    }
    QByteArray text;
    if (isFile) {
        QFile existing(filePath);
        errno = 0;
        const bool opened = existing.open(QIODevice::ReadOnly);
        const qint64 size = opened ? existing.size() : 0;
        if (opened)
            text = existing.readAll();
        if (!opened || text.size() != size || existing.error() != QFileDevice::NoError) {
            refuseWrites(fileErrorText(existing, errno));
            return;
        }
    }
    const qsizetype readSize = text.size();
    text = withoutByteOrderMark(std::move(text));
    const bool marked = text.size() != readSize;
    // Read once, into memory; the QSettings object goes at once, so nothing
    // but our checked writes ever writes the file.
    QString readFrom = filePath;
    QTemporaryFile typedEscaped(QDir::tempPath() + QStringLiteral("/rivetone-settings-XXXXXX"));
    if (const QByteArray typed = withTypedBytesEscaped(text); typed != text || marked) {
        // Read as it is, typed text past Latin-1 would load as "?", and the
        // first write would store that for good.
        errno = 0;
        if (!typedEscaped.open() || typedEscaped.write(typed) != typed.size() || !typedEscaped.flush()) {
            refuseWrites(QStringLiteral("a copy to read it through could not be made in %1: %2")
                             .arg(QDir::tempPath(), fileErrorText(typedEscaped, errno)));
            return;
        }
        readFrom = typedEscaped.fileName();
    }
    QSettings settings(readFrom, QSettings::IniFormat);
    removeLeftoverWrites();
    // Lines that cannot be written back are not kept: kept, they would fail
    // every save.
    const ReadValues read = readValues(settings, text);
    m_values = read.values;
    m_onDisk = m_values;
    if (isFile && settings.status() == QSettings::AccessError) {
        refuseWrites(QStringLiteral("the settings reader could not open it"));
        return;
    }
    if (read.whole())
        return;
    // What would be dropped by the next write goes aside first.
    const FileCopy copy = keepCopyOfFile();
    const QString what = !read.formatError && !read.lostLines
        ? QStringLiteral("Settings file of a later version: %1 holds values this version cannot read")
        : QStringLiteral("Settings file damaged: %1 could not be read in full");
    Log::line(copy.written ? (what + QStringLiteral("; a copy of it is kept as %2")).arg(filePath, copy.path)
                           : (what + QStringLiteral(", and a copy of it cannot be made (%2); nothing is written to "
                                                    "it until one can"))
                                 .arg(filePath, copy.error));
}

DefaultsStore::~DefaultsStore()
{
    finishWrites();
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_writer.joinable())
        m_writer.join();
}

QString DefaultsStore::standardFilePath()
{
    const QString configDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return configDir + QStringLiteral("/Rivetone/Rivetone.ini");
}

std::optional<QByteArray> DefaultsStore::data(const QString& key) const
{
    const QVariant value = m_values.value(key);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

double DefaultsStore::doubleValue(const QString& key) const
{
    bool ok = false;
    const double value = m_values.value(key).toDouble(&ok);
    // "nan" and "inf" parse as numbers, but no setting means anything by them.
    return ok && std::isfinite(value) ? value : 0.0;
}

bool DefaultsStore::contains(const QString& key) const
{
    return m_values.contains(key);
}

QVariant DefaultsStore::value(const QString& key) const
{
    return m_values.value(key);
}

DefaultsStore::Ticket DefaultsStore::setData(const QString& key, const QByteArray& value)
{
    return request(key, QVariant(value), {});
}

DefaultsStore::Ticket DefaultsStore::setDouble(const QString& key, double value)
{
    return request(key, QVariant(value), {});
}

DefaultsStore::Ticket DefaultsStore::setValue(const QString& key, const QVariant& value)
{
    return request(key, value, {});
}

DefaultsStore::Ticket DefaultsStore::setDataMadeBy(const QString& key, std::function<QByteArray()> make)
{
    return request(key, std::nullopt, std::move(make));
}

DefaultsStore::Ticket DefaultsStore::request(const QString& key, std::optional<QVariant> value,
                                             std::function<QByteArray()> make)
{
    Ticket ticket;
    m_storedKeys.insert(key);
    if (!writesAllowed(&ticket.error)) {
        ticket.refused = true;
        // The change waits in memory for the first write once the copy
        // exists, which takes it to disk with everything else.
        if (value) {
            m_values.insert(key, *value);
            m_madeAt.remove(key);
            m_refusedMakers.remove(key);
        } else {
            m_refusedMakers.insert(key, std::move(make));
        }
        // No write is made, so no outcome says so: nothing reaches the disk
        // until a copy can be made. Outcomes of writes asked for before
        // this are older news.
        m_writeErrorSince = m_lastNumber;
        if (ticket.error != m_lastWriteError) {
            m_lastWriteError = ticket.error;
            emit lastWriteErrorChanged(m_lastWriteError);
        }
        return ticket;
    }
    ticket.number = ++m_lastNumber;
    Job job;
    job.number = ticket.number;
    // Values refused while the copy was owed are made by this write, unless
    // this store replaces one.
    QMap<QString, std::function<QByteArray()>> carried = std::exchange(m_refusedMakers, {});
    carried.remove(key);
    for (auto it = carried.constBegin(); it != carried.constEnd(); ++it)
        m_madeAt.insert(it.key(), ticket.number);
    if (value) {
        m_values.insert(key, *value);
        m_madeAt.remove(key);
    } else {
        m_madeAt.insert(key, ticket.number);
    }
    job.values = m_values;
    job.storedKeys = m_storedKeys;
    // Copies of its own for the writer: sharing them would let the next
    // store here write into them in place, once the writer let go of them,
    // with nothing ordering that store after the writer's last read.
    job.values.detach();
    job.storedKeys.detach();
    {
        std::lock_guard lock(m_mutex);
        // A job not started yet is replaced: the latest values win. Values
        // still being made carry over, unless this store replaced them.
        if (m_pending) {
            for (auto it = m_pending->makers.constBegin(); it != m_pending->makers.constEnd(); ++it)
                if (it.key() != key && m_madeAt.contains(it.key()))
                    job.makers.insert(it.key(), it.value());
        }
        job.makers.insert(carried);
        if (make)
            job.makers.insert(key, std::move(make));
        // The rest of the values being made are in a job the writer already
        // took: this one holds their old value, and takes the made one.
        for (auto it = m_madeAt.constBegin(); it != m_madeAt.constEnd(); ++it)
            if (!job.makers.contains(it.key()))
                job.madeEarlier.insert(it.key(), it.value());
        m_pending = std::move(job);
        if (!m_writer.joinable()) {
            m_writer = startThread("The settings writer", "rivetone writer", [this] { writerLoop(); });
        }
    }
    m_wake.notify_all();
    return ticket;
}

void DefaultsStore::writerLoop()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_pending; });
            if (!m_pending)
                return;  // stopping, and nothing left to write
            job = std::move(*m_pending);
            m_pending.reset();
        }
        for (auto it = job.madeEarlier.constBegin(); it != job.madeEarlier.constEnd(); ++it) {
            const auto made = m_madeOnWriter.constFind(it.key());
            if (made != m_madeOnWriter.constEnd() && made->number >= it.value())
                job.values.insert(it.key(), made->bytes);
        }
        for (auto it = job.makers.constBegin(); it != job.makers.constEnd(); ++it) {
            const QByteArray made = it.value()();
            job.values.insert(it.key(), made);
            m_madeOnWriter.insert(it.key(), {job.number, it.key(), made});
            std::lock_guard lock(m_mutex);
            m_made.push_back({job.number, it.key(), made});
        }
        const QMap<QString, QVariant> values = withChangesOnDisk(job);
        std::optional<FileStamp> written;
        const Outcome outcome = writeFile(values, &written);
        if (outcome.ok) {
            m_onDisk = values;
            m_stampOnDisk = written;
        }
        {
            std::lock_guard lock(m_mutex);
            m_finishedThrough = job.number;
            m_outcomes.emplace_back(job.number, outcome);
            while (m_outcomes.size() > keptOutcomes)
                m_outcomes.pop_front();
        }
        m_finished.notify_all();
        // Queued calls die with this object. Queued by name, the call is made
        // inside Qt, whose event queue orders it after this thread's writes;
        // a lambda's copy made here would be read on the main thread with no
        // order the thread checker can see.
        QMetaObject::invokeMethod(this, "runWaiters", Qt::QueuedConnection);
    }
}

// Main thread: values made on the writer thread take their place in memory,
// each unless a later store changed its key meanwhile.
void DefaultsStore::applyMade()
{
    std::vector<Made> made;
    {
        std::lock_guard lock(m_mutex);
        made.swap(m_made);
    }
    for (const Made& value : made)
        noteMade(value.number, value.key, value.bytes);
}

void DefaultsStore::noteMade(quint64 number, const QString& key, const QByteArray& value)
{
    const auto at = m_madeAt.constFind(key);
    if (at == m_madeAt.constEnd() || at.value() > number)
        return;
    // Made by the job that asked, or by a later one that carried its maker.
    m_values.insert(key, value);
    m_madeAt.remove(key);
}

// A settings file that is a link (into a folder of dotfiles kept in sync,
// say) is written where it points: renaming over the link would cut it, and
// the folder it points into would never hear of a change again.
QString DefaultsStore::pathWrittenTo() const
{
    return pathWrittenFor(m_filePath);
}

QString DefaultsStore::pathWrittenFor(const QString& filePath)
{
    QString path = filePath;
    for (int hop = 0; hop < 40; ++hop) {  // as many links as the system follows
        const QFileInfo file(path);
        if (!file.isSymLink())
            return path;
        if (const QString resolved = file.canonicalFilePath(); !resolved.isEmpty())
            return resolved;
        // A link to a file not made yet. Its target is read as it stands and
        // taken from the link's own folder as the system takes it: ".." from
        // where that folder really is, though a linked folder led to it.
        char target[4096];
        const ssize_t length = ::readlink(QFile::encodeName(path).constData(), target, sizeof target);
        if (length <= 0 || length >= ssize_t(sizeof target))
            return path;
        const QString named = QFile::decodeName(QByteArray(target, int(length)));
        const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
        path = QDir::isAbsolutePath(named) ? named : (folder.isEmpty() ? file.absolutePath() : folder) + u'/' + named;
    }
    return path;
}

// A write cut off (the program killed, the machine down) leaves its
// temporary file and the writer's lock beside the settings; nothing else
// would ever remove them. An hour old, no write of ours is still at them.
void DefaultsStore::removeLeftoverWrites() const
{
    const QFileInfo target(pathWrittenTo());
    // The toolkit's own temporary file and lock follow a name while it writes.
    const QRegularExpression leftover(QStringLiteral("^%1(%2|%3)[A-Za-z0-9]{6}(\\.[A-Za-z0-9]{6})?(\\.lock)?$")
                                          .arg(QRegularExpression::escape(target.fileName()),
                                               QRegularExpression::escape(saveSuffix),
                                               QRegularExpression::escape(checkSuffix)));
    const QDateTime anHourAgo = QDateTime::currentDateTime().addSecs(-3600);
    const QDir folder = target.absoluteDir();
    for (const QFileInfo& file : folder.entryInfoList({target.fileName() + QStringLiteral(".*")}, QDir::Files | QDir::Hidden)) {
        if (leftover.match(file.fileName()).hasMatch() && file.lastModified() < anHourAgo)
            QFile::remove(file.filePath());
    }
}

DefaultsStore::Outcome DefaultsStore::writeFile(const QMap<QString, QVariant>& values,
                                                std::optional<FileStamp>* written)
{
    const QString target = pathWrittenTo();
    const QFileInfo file(target);
    // (Gone since the start: its drive unplugged. Not made again under the
    // mount point.)
    if (target != m_filePath && !file.absoluteDir().exists())
        return {false, QStringLiteral("cannot write %1: it is a link into %2, which is not there (a drive not mounted?)")
                           .arg(m_filePath, file.absolutePath())};
    if (!QDir().mkpath(file.absolutePath()))
        return {false, describeWriteFailure(QStringLiteral("the folder cannot be made"))};
    if (file.isDir())
        return {false, QStringLiteral("cannot write %1: it is a directory").arg(m_filePath)};
    // Renaming over it would work, but a file made read-only is meant to stay.
    if (file.exists() && !file.isWritable())
        return {false, QStringLiteral("cannot write %1: the file is read-only").arg(m_filePath)};

    QTemporaryFile temporary(target + saveSuffix + QStringLiteral("XXXXXX"));
    temporary.setAutoRemove(true);
    errno = 0;
    if (!temporary.open())
        return {false, describeWriteFailure(fileErrorText(temporary, errno))};
    if (file.exists())
        temporary.setPermissions(file.permissions());  // as the learner left them
    temporary.close();
    const QString temporaryPath = temporary.fileName();
    {
        QSettings writer(temporaryPath, QSettings::IniFormat);
        for (auto it = values.constBegin(); it != values.constEnd(); ++it)
            writer.setValue(it.key(), it.value());
        writer.sync();
        if (writer.status() != QSettings::NoError)
            return {false, describeWriteFailure(QStringLiteral("the new content could not be written"))};
    }
    qint64 cut = -1;
    {
        std::lock_guard lock(m_mutex);
        cut = m_cutWritesTo;
    }
    if (cut >= 0)
        loseBytesUnreported(temporaryPath, cut);
    // Read back and compared: a short write the system did not report shows
    // here. The toolkit keeps what it wrote, and would read that file again
    // only if its size or time had changed: what the file holds is read
    // through a copy under a name it has never seen.
    const std::optional<QMap<QString, QVariant>> readBack =
        readThroughCopy(temporaryPath, target + checkSuffix + QStringLiteral("XXXXXX"));
    const bool readsBackWhole = readBack && sameValues(values, *readBack);
    if (!readsBackWhole)
        return {false, describeWriteFailure(QStringLiteral("what was written does not read back whole"))};
    if (!syncToDisk(temporaryPath, false))
        return {false, describeWriteFailure(systemErrorText(errno))};
    // The renamed file keeps this: taken after the rename, a change another
    // program made at once would pass for ours.
    *written = stampOf(temporaryPath);
    if (std::rename(QFile::encodeName(temporaryPath).constData(), QFile::encodeName(target).constData()) != 0)
        return {false, describeWriteFailure(systemErrorText(errno))};
    temporary.setAutoRemove(false);  // it is the file now
    syncToDisk(file.absolutePath(), true);
    return {true, {}};
}

// Why a write failed, in the terms of the usual causes.
QString DefaultsStore::describeWriteFailure(const QString& what) const
{
    const QFileInfo file(pathWrittenTo());
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("cannot write %1: the folder %2 cannot be created").arg(m_filePath, folder.filePath());
    if (!folder.isWritable())
        return QStringLiteral("cannot write %1: the folder is read-only").arg(m_filePath);
    return QStringLiteral("cannot write %1: %2 (is the disk full?)").arg(m_filePath, what);
}

std::optional<DefaultsStore::Outcome> DefaultsStore::finishedOutcome(quint64 number) const
{
    if (number > m_finishedThrough)
        return std::nullopt;
    // Written together with the first finished write at or after it.
    for (const auto& [last, outcome] : m_outcomes)
        if (last >= number)
            return outcome;
    return Outcome{true, {}};  // long ago: later writes went through or reported
}

std::optional<DefaultsStore::Outcome> DefaultsStore::outcome(const Ticket& ticket, std::chrono::milliseconds timeout)
{
    if (ticket.refused)
        return Outcome{false, ticket.error};
    std::optional<Outcome> result;
    {
        std::unique_lock lock(m_mutex);
        m_finished.wait_for(lock, timeout, [&] { return m_finishedThrough >= ticket.number; });
        result = finishedOutcome(ticket.number);
    }
    applyMade();
    return result;
}

void DefaultsStore::whenWritten(const Ticket& ticket, QObject* context, std::function<void(const Outcome&)> done)
{
    if (const std::optional<Outcome> now = outcome(ticket)) {
        done(*now);
        return;
    }
    m_waiters.push_back({ticket.number, context, std::move(done)});
}

// Main thread, after each write the writer finished (and before the store goes).
void DefaultsStore::runWaiters()
{
    applyMade();
    quint64 finishedThrough = 0;
    std::optional<Outcome> latest;
    {
        std::lock_guard lock(m_mutex);
        finishedThrough = m_finishedThrough;
        if (!m_outcomes.empty() && m_outcomes.back().first > m_writeErrorSince)
            latest = m_outcomes.back().second;
    }
    // A failed write leaves the values in memory only, until a later one
    // works: the window says so for as long as that lasts.
    if (latest && (latest->ok ? QString() : latest->error) != m_lastWriteError) {
        m_lastWriteError = latest->ok ? QString() : latest->error;
        emit lastWriteErrorChanged(m_lastWriteError);
    }
    std::vector<Waiter> ready;
    for (auto it = m_waiters.begin(); it != m_waiters.end();) {
        if (it->number <= finishedThrough) {
            ready.push_back(std::move(*it));
            it = m_waiters.erase(it);
        } else {
            ++it;
        }
    }
    for (Waiter& waiter : ready) {
        std::optional<Outcome> result;
        {
            std::lock_guard lock(m_mutex);
            result = finishedOutcome(waiter.number);
        }
        if (waiter.context && result)
            waiter.done(*result);
    }
}

void DefaultsStore::finishWrites()
{
    {
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [&] { return m_finishedThrough >= m_lastNumber; });
    }
    runWaiters();  // the lines of writes that finished while nobody waited
}

void DefaultsStore::cutWritesForTesting(qint64 bytes)
{
    std::lock_guard lock(m_mutex);
    m_cutWritesTo = bytes;
}

DefaultsStore::FileCopy DefaultsStore::keepCopyOfFile()
{
    // Beside the file the writes go to: a link's own folder may be one
    // that cannot be written (a managed ~/.config), where a copy that can
    // never be made would hold up every store.
    const FileCopy copy = copyAside(pathWrittenTo(), QStringLiteral(".unreadable-"));
    m_copyOwed = !copy.written && QFile::exists(m_filePath);  // no file: nothing to lose
    return copy;
}

DefaultsStore::FileCopy DefaultsStore::copyFileAside() const
{
    return copyAside(pathWrittenTo(), QStringLiteral(".unreadable-"));
}

std::optional<DefaultsStore::FileStamp> DefaultsStore::stampOf(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    // Not the status change time: a learner's chmod changes no value.
    constexpr qint64 second = 1'000'000'000;
    return FileStamp{qint64(status.st_dev), qint64(status.st_ino), qint64(status.st_size),
                     qint64(status.st_mtim.tv_sec) * second + status.st_mtim.tv_nsec};
}

// Writer thread: the values to write. The file as this run last read or
// wrote it, unless another program changed it since: then as it is now; and
// over that, the value of every key this run has stored.
QMap<QString, QVariant> DefaultsStore::withChangesOnDisk(const Job& job)
{
    const QString target = pathWrittenTo();
    const std::optional<FileStamp> now = stampOf(target);
    if (now && now != m_stampOnDisk) {
        // Read while the other program still writes it (in place), it
        // changes under the read: read again once it stays as it is.
        std::optional<FileStamp> before = now;
        std::optional<QMap<QString, QVariant>> theirs;
        for (int attempt = 0; attempt < 20; ++attempt) {
            theirs = readThroughCopy(target, target + checkSuffix + QStringLiteral("XXXXXX"));
            const std::optional<FileStamp> after = stampOf(target);
            if (after == before)
                break;
            theirs.reset();
            before = after;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        m_stampOnDisk = before;
        QStringList replaced;
        if (theirs) {
            for (const QString& key : job.storedKeys) {
                const QVariant their = theirs->value(key);
                if (!sameValue(m_onDisk.value(key), their) && !sameValue(job.values.value(key), their))
                    replaced << key;
            }
            m_onDisk = *theirs;
        }
        if (!theirs || !replaced.isEmpty()) {
            const FileCopy copy = copyAside(target, QStringLiteral(".changed-"));
            const QString what = theirs
                ? QStringLiteral("Settings file changed by another program: its changes to %1 in %2 are replaced by "
                                 "Rivetone's own")
                      .arg(replaced.join(QStringLiteral(", ")), m_filePath)
                : QStringLiteral("Settings file changed by another program, and it cannot be read: %1 is written "
                                 "over with Rivetone's settings")
                      .arg(m_filePath);
            Log::line(copy.written ? (what + QStringLiteral("; the file as it was is kept as %1")).arg(copy.path)
                                   : (what + QStringLiteral(", and a copy of it cannot be made (%1)")).arg(copy.error));
        } else {
            Log::line(QStringLiteral("Settings file changed by another program: its changes to %1 are kept").arg(m_filePath));
        }
    }
    QMap<QString, QVariant> values = m_onDisk;
    for (const QString& key : job.storedKeys) {
        if (const auto value = job.values.constFind(key); value != job.values.constEnd())
            values.insert(key, value.value());
        else
            values.remove(key);
    }
    return values;
}

bool DefaultsStore::writesAllowed(QString* error)
{
    if (m_unopenedBecause.isEmpty())
        return copyOwedFileAside(error);
    if (error)
        *error = QStringLiteral("cannot write %1: it could not be read at start (%2), and a write would replace "
                                "what it holds")
                     .arg(m_filePath, m_unopenedBecause);
    return false;
}

// A damaged file that could not be copied aside yet is not written, so that
// no write of ours replaces it before the copy exists.
bool DefaultsStore::copyOwedFileAside(QString* error)
{
    if (!m_copyOwed)
        return true;
    const FileCopy copy = keepCopyOfFile();
    if (!copy.written) {
        if (error)
            *error = QStringLiteral("cannot write %1: its unreadable content could not be copied aside first (%2)")
                         .arg(m_filePath, copy.error);
        return false;
    }
    Log::line(QStringLiteral("Settings file damaged: a copy of %1 as it was is now kept as %2").arg(m_filePath, copy.path));
    return true;
}
