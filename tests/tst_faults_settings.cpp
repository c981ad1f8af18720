// The settings file between two runs: damaged on disk, holding a value this
// program cannot read, or in a folder (or itself) that cannot be written. The
// library the user had is never lost: whatever cannot be read is kept, and a
// failed write leaves the file as it was.

#include "LibraryFixture.h"
#include "library/SavedLoopsLibrary.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {

// Damage done between two runs. Within one process QSettings keeps what it
// read of a file until its size or time changes; a later time makes this
// process read afresh, as a new run would.
bool damageFile(const QString& path, const QByteArray& bytes)
{
    static int runs = 0;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush()
        && file.setFileTime(QDateTime::currentDateTime().addSecs(60 * ++runs), QFileDevice::FileModificationTime);
}

// Whether the logged lines read as the patterns, one for one: "<file>" stands
// for the settings file, "<copy>" for its first copy, "<folder>" for its
// folder, and "…" for any text.
bool readAs(const QStringList& lines, QStringList patterns, const QString& file)
{
    for (QString& pattern : patterns) {
        pattern.replace(QStringLiteral("<copy>"), QStringLiteral("<file>.unreadable-1"))
            .replace(QStringLiteral("<file>"), file)
            .replace(QStringLiteral("<folder>"), QFileInfo(file).absolutePath());
        QStringList parts = pattern.split(u'…');
        for (QString& part : parts)
            part = QRegularExpression::escape(part);
        pattern = parts.join(QStringLiteral(".*"));  // never past the end of a line
    }
    const QRegularExpression expected(QRegularExpression::anchoredPattern(patterns.join(u'\n')));
    return expected.match(lines.join(u'\n')).hasMatch();
}

// One run of the program on the settings file at path, loaded as at start-up,
// with every line logged from before the store was opened.
struct Run {
    explicit Run(const QString& path, const std::function<void()>& beforeLoading = [] {})
        : store(path)
        , state(store)
        , library(state)
    {
        library.setSaveWait(std::chrono::seconds(10));
        beforeLoading();
        library.loadPlaylists();
    }
    Log::Capture log;
    DefaultsStore store;
    ContentState state;
    PlaylistLibrary library;
};

// The settings file as a first run leaves it, with a library and a seek interval.
QString firstRun(const QTemporaryDir& folder)
{
    const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
    DefaultsStore store(path);
    store.setData(ContentState::playlistsKey,
                  "{\"Drills\":[\"file:///home/learner/Unit%201.mp3\",\"file:///home/learner/Unit%202.m4a\"]}");
    store.setDouble(ContentState::seekIntervalKey, 5);
    return path;
}

// Makes a file or folder unwritable, or writable again: for root by the
// immutable attribute (which needs CAP_LINUX_IMMUTABLE and a file system that
// has it), for anyone else by its permissions. Returns whether it could.
bool setReadOnly(const QString& path, bool readOnly)
{
    if (::geteuid() != 0) {
        const QFile::Permissions write = QFile::WriteOwner | QFile::WriteUser;
        const QFile::Permissions now = QFile::permissions(path);
        return QFile::setPermissions(path, readOnly ? now & ~write : now | write);
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = readOnly ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return done;
}

// While it lives, no write reaches the settings file at path: its folder or
// itself is read-only (which root may not be able to arrange), or a directory
// stands in the file's place or a file in the folder's (which anyone can).
class Unwritable {
public:
    Unwritable(const QString& how, const QString& path)
        : m_readOnly(how.endsWith(QStringLiteral("read-only")))
        , m_path(how.contains(QStringLiteral("folder")) ? QFileInfo(path).absolutePath() : path)
        , m_blocked(m_readOnly ? setReadOnly(m_path, true)
                               : QDir().rename(m_path, m_path + QStringLiteral(".away"))
                      && (how.startsWith(QStringLiteral("directory")) ? QDir().mkdir(m_path)
                                                                       : damageFile(m_path, "in the way")))
    {
    }
    ~Unwritable()
    {
        if (m_blocked && m_readOnly)
            setReadOnly(m_path, false);
        else if (m_blocked && (QDir().rmdir(m_path) || QFile::remove(m_path)))
            QDir().rename(m_path + QStringLiteral(".away"), m_path);
    }
    explicit operator bool() const { return m_blocked; }

private:
    const bool m_readOnly;
    const QString m_path;
    const bool m_blocked;
};

// While it lives, this process can open no more files: the lowest free
// descriptor number is made the limit. Even root cannot read a file then.
class DescriptorsUsedUp {
public:
    DescriptorsUsedUp()
    {
        ::getrlimit(RLIMIT_NOFILE, &m_before);
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit lowered = m_before;
        lowered.rlim_cur = rlim_t(lowestFree);
        m_lowered = lowestFree >= 0 && ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~DescriptorsUsedUp() { ::setrlimit(RLIMIT_NOFILE, &m_before); }
    explicit operator bool() const { return m_lowered; }

private:
    rlimit m_before{};
    bool m_lowered = false;
};

const char* const cannotMakeReadOnly =
    "cannot make it read-only (root needs CAP_LINUX_IMMUTABLE, on ext4, xfs or btrfs)";

}  // namespace

class SettingsFaultsTest : public QObject {
    Q_OBJECT

private slots:
    // Whatever QSettings reads past is dropped by its next write, so a file
    // that did not read back whole goes aside first, byte for byte; so does
    // one holding a type this program cannot read. After the next save the
    // library the user had is on disk, unless the damage took it all.
    void fileDamagedBetweenRunsLosesNothing_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QStringList>("lines");  // patterns, as readAs takes them
        QTest::addColumn<bool>("recoverable");
        const QString copied = QStringLiteral("Settings file damaged: <file> could not be read in full; a copy of it "
                                              "is kept as <copy>");
        const QString loaded = QStringLiteral("Playlists loaded…");
        const QString fresh = QStringLiteral("Playlists saved…");  // nothing was there to load
        QTest::newRow("bytes before the first section") << "prefix" << QStringList{copied, loaded} << true;
        QTest::newRow("a zero for the equals sign") << "zero for equals" << QStringList{copied, fresh} << true;
        // Read without a complaint, under another key, which writes keep.
        QTest::newRow("zeros in the key's name") << "zeros in key" << QStringList{fresh} << true;
        // Read as a key with no name, which no write can store: kept, it
        // would make every save fail.
        QTest::newRow("a line with no name (a merge's marker)") << "no name" << QStringList{copied, loaded} << true;
        QTest::newRow("a line with no name in a group") << "no name in a group" << QStringList{copied, loaded} << true;
        QTest::newRow("a name a write would change") << "changing name" << QStringList{copied, loaded} << true;
        // Two files joined by hand: the reader keeps one of the two values.
        QTest::newRow("a key on two lines") << "key twice" << QStringList{copied, loaded} << true;
        QTest::newRow("emptied") << "emptied" << QStringList{fresh} << false;
        QTest::newRow("a value of an unknown type")
            << "unknown type"
            << QStringList{QStringLiteral("Settings file of a later version: <file> holds values this version cannot "
                                          "read; a copy of it is kept as <copy>"),
                           QStringLiteral("Error loading playlists: the stored value is of a type that cannot be "
                                          "read; the settings file as it was is kept as <copy>")}
            << false;
    }

    void fileDamagedBetweenRunsLosesNothing()
    {
        QFETCH(QString, damage);
        QFETCH(QStringList, lines);
        QFETCH(bool, recoverable);
        QTemporaryDir folder;
        const QString path = firstRun(folder);
        const QString copyPath = path + QStringLiteral(".unreadable-1");
        QByteArray damaged = readFile(path);
        const qsizetype key = damaged.indexOf("playlists=");
        if (damage == QStringLiteral("prefix"))
            damaged.prepend(QByteArray("\xff\xfe\x00\x01", 4));
        else if (damage == QStringLiteral("zero for equals"))
            damaged[key + 9] = '\0';
        else if (damage == QStringLiteral("zeros in key"))
            damaged.replace(key + 2, 3, QByteArray(3, '\0'));
        else if (damage == QStringLiteral("no name"))
            damaged.insert(key, "=======\n");
        else if (damage == QStringLiteral("no name in a group"))
            damaged += "\n[unreadablePlaylists]\n=stray\n";
        else if (damage == QStringLiteral("changing name"))
            damaged.insert(key, "x=1\n\\x=2\n");  // "\x" is the key "/x", which a write stores as "x"
        else if (damage == QStringLiteral("key twice"))
            damaged += "\n[ general ]\nplaylists=@ByteArray({\\\"Laptop\\\":[]})\n";
        else if (damage == QStringLiteral("emptied"))
            damaged.clear();
        else
            damaged = "[General]\nplaylists=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x10RivetoneFuture)\n";
        QVERIFY(damageFile(path, damaged));

        Run second(path);
        QVERIFY2(readAs(second.log.lines(), lines, path), qPrintable(second.log.lines().join(u'\n')));
        QCOMPARE(QFile::exists(copyPath), lines.join(QString()).contains(QStringLiteral("<copy>")));
        if (QFile::exists(copyPath))
            QCOMPARE(readFile(copyPath), damaged);

        second.state.setNewPlaylistName(QStringLiteral("Fresh"));
        second.library.addPlaylist();
        QByteArray everythingOnDisk;
        for (const QString& name : QDir(folder.path()).entryList(QDir::Files))
            everythingOnDisk += readFile(folder.filePath(name));
        QCOMPARE(everythingOnDisk.contains("file:///home/learner/Unit%201.mp3"), recoverable);

        // The third run finds a file that reads whole: nothing more is copied.
        Run third(path);
        QVERIFY(third.state.playlists().contains(QStringLiteral("Fresh")));
        QVERIFY(!QFile::exists(path + QStringLiteral(".unreadable-2")));

        // Nor after a run that changed nothing.
        if (damage == QStringLiteral("unknown type")) {
            QVERIFY(damageFile(path, damaged));
            QFile::remove(copyPath);
            { Run unchanged(path); }
            Run next(path);
            QCOMPARE(next.log.lines().filter(QStringLiteral("Error")), QStringList());
        }
    }

    // A value that reads but is no library (a file cut off mid-value leaves
    // one) goes under a key of its own before anything can overwrite it; once
    // per value, however often it is met, and each new one under the next number.
    void unreadableValueIsKeptAside_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("reason");
        QTest::newRow("cut off mid-value") << QVariant(QByteArray("{\"Drills\": [\"file:///a.mp3\"")) << "not JSON";
        QTest::newRow("text, not bytes") << QVariant(QStringLiteral("{}")) << "QString";
    }

    void unreadableValueIsKeptAside()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, reason);
        LibraryFixture f;
        f.defaults.store().setValue(ContentState::playlistsKey, value);
        f.library->loadPlaylists();
        f.library->loadPlaylists();
        const QString line = QStringLiteral("Error loading playlists: …") + reason
            + QStringLiteral("…; the unreadable value is kept under \"unreadablePlaylists/1\" in <file>");
        QVERIFY2(readAs(f.log.lines(), {line, line}, f.defaults.filePath()), qPrintable(f.log.lines().join(u'\n')));
        QVERIFY(f.state->playlists().isEmpty());

        f.state->setNewPlaylistName(QStringLiteral("Fresh"));
        f.library->addPlaylist();
        DefaultsStore onDisk(f.defaults.filePath());
        QCOMPARE(onDisk.value(QStringLiteral("unreadablePlaylists/1")), value);
        QCOMPARE(onDisk.data(ContentState::playlistsKey), QByteArray("{\"Fresh\":[]}"));

        f.defaults.store().setData(ContentState::playlistsKey, "[\"second\"]");
        f.library->loadPlaylists();
        QVERIFY(f.log.lines().last().contains(QStringLiteral("\"unreadablePlaylists/2\"")));
        QCOMPARE(f.defaults.store().data(QStringLiteral("unreadablePlaylists/2")), QByteArray("[\"second\"]"));
    }

    // A hand edit with bare quotes reads as something else (a list, or text
    // without its quotes), and writing that back would lose what was typed:
    // the file as it was is copied aside first, once, whatever the reading.
    void aHandEditThatReadsAsSomethingElseIsKeptAsTyped_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::newRow("two tracks: a list")
            << QByteArray("[General]\nplaylists=@ByteArray({\"Drills\":[\"file:///a.mp3\",\"file:///b.mp3\"]})\n");
        QTest::newRow("one track: not JSON")
            << QByteArray("[General]\nplaylists=@ByteArray({\"Drills\":[\"file:///a.mp3\"]})\nseekInterval=5\n");
    }

    void aHandEditThatReadsAsSomethingElseIsKeptAsTyped()
    {
        QFETCH(QByteArray, typed);
        QTemporaryDir folder;
        const QString path = firstRun(folder);
        QVERIFY(damageFile(path, typed));
        {
            Run first(path);
            QVERIFY2(readAs(first.log.lines(),
                            {QStringLiteral("Error loading playlists: …; the unreadable value is kept under "
                                            "\"unreadablePlaylists/1\" in <file>, and the settings file as it was as <copy>")},
                            path),
                     qPrintable(first.log.lines().join(u'\n')));
            first.state.setNewPlaylistName(QStringLiteral("New"));
            first.library.addPlaylist();
        }
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-1")), typed);
        Run second(path);
        QCOMPARE(second.state.playlists().names(), QStringList{QStringLiteral("New")});
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-1")), typed);
        QVERIFY(!QFile::exists(path + QStringLiteral(".unreadable-2")));
    }

    // The settings file a link in a folder that cannot be written (a
    // managed ~/.config) leads to, in one that can: the copy goes beside the
    // file, and were it not made, the value is still kept and every later
    // store goes through.
    void aHandEditBehindALinkIsKeptWhereTheWritesGo()
    {
        QTemporaryDir folder;
        const QDir root(folder.path());
        QVERIFY(root.mkpath(QStringLiteral("managed")) && root.mkpath(QStringLiteral("dots")));
        const QString target = folder.filePath(QStringLiteral("dots/Rivetone.ini"));
        const QString link = folder.filePath(QStringLiteral("managed/Rivetone.ini"));
        const QByteArray typed("[General]\nplaylists=@ByteArray({\"Drills\":[\"file:///a.mp3\",\"file:///b.mp3\"]})\n");
        QVERIFY(damageFile(target, typed));
        QVERIFY(QFile::link(QStringLiteral("../dots/Rivetone.ini"), link));
        Unwritable managed(QStringLiteral("folder read-only"), link);
        if (!managed)
            QSKIP(cannotMakeReadOnly);
        {
            Run run(link);
            QVERIFY2(run.log.lines().value(0).endsWith(QStringLiteral(", and the settings file as it was as ") + target
                                                       + QStringLiteral(".unreadable-1")),
                     qPrintable(run.log.lines().join(u'\n')));
            run.state.setNewPlaylistName(QStringLiteral("New"));
            run.library.addPlaylist();
            QVERIFY(!run.store.setDouble(ContentState::seekIntervalKey, 10).refused);
            run.store.finishWrites();
            QVERIFY2(run.store.lastWriteError().isEmpty(), qPrintable(run.store.lastWriteError()));
        }
        QCOMPARE(readFile(target + QStringLiteral(".unreadable-1")), typed);
        {
            Run next(link);
            QCOMPARE(next.state.playlists().names(), QStringList{QStringLiteral("New")});
            QCOMPARE(next.state.seekInterval(), 10.0);
        }

        // A value only a later version reads: the whole file's copy goes
        // there too, and the stores go on.
        const QByteArray later = readFile(target) + "laterSetting=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x10RivetoneFuture)\n";
        QVERIFY(damageFile(target, later));
        Run afterLater(link);
        QVERIFY2(afterLater.log.lines().value(0).endsWith(QStringLiteral("a copy of it is kept as ") + target
                                                          + QStringLiteral(".unreadable-2")),
                 qPrintable(afterLater.log.lines().join(u'\n')));
        QVERIFY(!afterLater.store.setDouble(ContentState::seekIntervalKey, 5).refused);
        afterLater.store.finishWrites();
        QVERIFY2(afterLater.store.lastWriteError().isEmpty(), qPrintable(afterLater.store.lastWriteError()));
        QCOMPARE(readFile(target + QStringLiteral(".unreadable-2")), later);
    }

    // The next run meeting the same damage (the last one crashed before it
    // wrote) keeps the copy it finds; other damage gets a copy of its own.
    // (A "%1" in the folder's name is a name, not a placeholder.)
    void sameDamageMetTwiceIsCopiedOnceAndNewDamageAgain()
    {
        QTemporaryDir folder;
        const QString odd = folder.filePath(QStringLiteral("100%1 %2 done"));
        QVERIFY(QDir().mkpath(odd));
        const QString path = odd + QStringLiteral("/Rivetone.ini");
        const QByteArray damaged("\0\0\0[General]\nplaylists=@ByteArray({})\n", 38);
        Log::Capture log;
        for (const QByteArray& bytes : {damaged, damaged, damaged + "\1\2\3"}) {
            QVERIFY(damageFile(path, bytes));
            DefaultsStore run(path);
        }
        QCOMPARE(log.lines().size(), 3);
        QVERIFY2(log.lines()[0].endsWith(path + QStringLiteral(".unreadable-1")), qPrintable(log.lines()[0]));
        QVERIFY2(log.lines()[1].endsWith(path + QStringLiteral(".unreadable-1")), qPrintable(log.lines()[1]));
        QVERIFY2(log.lines()[2].endsWith(path + QStringLiteral(".unreadable-2")), qPrintable(log.lines()[2]));
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-1")), damaged);
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-2")), damaged + "\1\2\3");
        QVERIFY(!DefaultsStore(path).setData(QStringLiteral("x"), "y").refused);
    }

    // A write that cannot be made is refused with a line that says why, and
    // the change stands; nothing is written over the file meanwhile, not even
    // by QSettings on its own, and the first write that succeeds takes it all
    // to disk. Damage met meanwhile is kept all the same, and goes first: a
    // value that does not decode under a key of its own, a file that does not
    // read whole as a copy. A file's damage is met on opening it, so the
    // read-only ways are in place before that, the others before loading.
    void failedWritesLoseNothing_data()
    {
        QTest::addColumn<QByteArray>("damaged");  // the settings file as the second run finds it; empty: undamaged
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("lines");  // from opening to the first save that succeeds
        QTest::addColumn<QStringList>("names");  // the library the next run loads
        const auto refused = [](const QString& reason) {
            return QStringList{QStringLiteral("Playlists loaded…"),
                               QStringLiteral("Error saving playlists: cannot write <file>: ") + reason,
                               QStringLiteral("Added playlist…"), QStringLiteral("Playlists saved…")};
        };
        const QStringList both{QStringLiteral("Drills"), QStringLiteral("New")};
        QTest::newRow("folder read-only") << QByteArray() << "folder read-only" << refused("the folder is read-only")
                                          << both;
        QTest::newRow("file read-only") << QByteArray() << "file read-only" << refused("the file is read-only") << both;
        QTest::newRow("a directory in the file's place")
            << QByteArray() << "directory for file" << refused("it is a directory") << both;
        QTest::newRow("a file in the folder's place")
            << QByteArray() << "file for folder" << refused("the folder <folder> cannot be created") << both;

        const QByteArray oops("[General]\nplaylists=@ByteArray(oops)\nseekInterval=5\n");
        QTest::newRow("a value that does not decode")
            << oops << "directory for file"
            << QStringList{QStringLiteral("Error loading playlists: …; the unreadable value is kept under "
                                          "\"unreadablePlaylists/1\" in <file>"),
                           QStringLiteral("Error saving playlists: cannot write <file>: it is a directory"),
                           QStringLiteral("Added playlist…"), QStringLiteral("Playlists saved…")}
            << QStringList{QStringLiteral("New")};
        const QString notCopied = QStringLiteral("Error saving playlists: cannot write <file>: its unreadable content "
                                                 "could not be copied aside first (…)");
        QTest::newRow("a file that does not read whole")
            << QByteArray(oops).replace("playlists=", QByteArray("playlists\0", 10)) << "folder read-only"
            << QStringList{QStringLiteral("Settings file damaged: <file> could not be read in full, and a copy of it "
                                          "cannot be made (…); nothing is written to it until one can"),
                           notCopied, notCopied, QStringLiteral("Added playlist…"),
                           QStringLiteral("Settings file damaged: a copy of <file> as it was is now kept as <copy>"),
                           QStringLiteral("Playlists saved…")}
            << QStringList{QStringLiteral("New")};
    }

    void failedWritesLoseNothing()
    {
        QFETCH(QByteArray, damaged);
        QFETCH(QString, how);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, names);
        QTemporaryDir folder;
        const QString path = firstRun(folder);
        if (!damaged.isEmpty())
            QVERIFY(damageFile(path, damaged));
        const QByteArray before = readFile(path);
        std::optional<Unwritable> blocked;
        if (how.endsWith(QStringLiteral("read-only")))
            blocked.emplace(how, path);
        Run second(path, [&] {
            if (!blocked)
                blocked.emplace(how, path);
        });
        if (!*blocked)
            QSKIP(cannotMakeReadOnly);
        second.state.setNewPlaylistName(QStringLiteral("New"));
        second.library.addPlaylist();
        QCoreApplication::sendPostedEvents();  // where QSettings writes what it holds
        // Failed or refused, the store says so (the window's note shows it) ...
        QTRY_VERIFY2(second.store.lastWriteError().startsWith(QStringLiteral("cannot write ")),
                     qPrintable(second.store.lastWriteError()));
        blocked.reset();
        QCOMPARE(readFile(path), before);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("Rivetone.ini")});

        second.library.savePlaylists();
        QVERIFY2(readAs(second.log.lines(), lines, path), qPrintable(second.log.lines().join(u'\n')));
        // ... until a write goes to disk.
        QTRY_VERIFY2(second.store.lastWriteError().isEmpty(), qPrintable(second.store.lastWriteError()));
        Run third(path);
        QCOMPARE(third.state.playlists().names(), names);
        QCOMPARE(third.state.seekInterval(), 5.0);
        const bool fileDamaged = damaged.contains('\0');
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-1")), fileDamaged ? damaged : QByteArray());
        QCOMPARE(third.store.data(QStringLiteral("unreadablePlaylists/1")),
                 damaged.isEmpty() || fileDamaged ? std::nullopt : std::optional<QByteArray>("oops"));
    }

    // What is stored while a damaged file cannot be copied aside waits in
    // memory: the first write once the copy exists takes it to disk, values
    // and values made on the writer alike, the latest of each key.
    void storesRefusedMeanwhileGoWithTheFirstWrite()
    {
        QTemporaryDir folder;
        const QString path = firstRun(folder);
        const QByteArray damaged = readFile(path).replace("playlists=", QByteArray("playlists\0", 10));
        QVERIFY(damageFile(path, damaged));
        std::optional<Unwritable> blocked;
        blocked.emplace(QStringLiteral("folder read-only"), path);
        if (!*blocked)
            QSKIP(cannotMakeReadOnly);
        {
            Log::Capture log;
            DefaultsStore store(path);
            QVERIFY(store.setDouble(ContentState::seekIntervalKey, 10).refused);
            QVERIFY(store.setDataMadeBy(QStringLiteral("made"), [] { return QByteArray("first"); }).refused);
            QVERIFY(store.setDataMadeBy(QStringLiteral("made"), [] { return QByteArray("latest"); }).refused);
            QVERIFY(store.setDataMadeBy(QStringLiteral("replaced"), [] { return QByteArray("made"); }).refused);
            blocked.reset();
            const auto outcome = store.outcome(store.setData(QStringLiteral("replaced"), "stored"), std::chrono::seconds(5));
            QVERIFY2(outcome && outcome->ok, outcome ? qPrintable(outcome->error) : "no outcome");
            QCOMPARE(store.data(QStringLiteral("made")), std::optional<QByteArray>("latest"));
        }
        const DefaultsStore next(path);
        QCOMPARE(next.doubleValue(ContentState::seekIntervalKey), 10.0);
        QCOMPARE(next.data(QStringLiteral("made")), std::optional<QByteArray>("latest"));
        QCOMPARE(next.data(QStringLiteral("replaced")), std::optional<QByteArray>("stored"));
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-1")), damaged);
    }

    // A save is checked end to end: whatever the disk does, the file holds
    // either the old library whole or the new one whole. A disk that takes
    // only part of a write without saying so (a short write) is met by
    // reading back; a full one for real, on a tiny file system of its own.
    void aFailedSaveKeepsTheOldFileWhole_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("short write") << false;
        QTest::newRow("full disk") << true;
    }

    void aFailedSaveKeepsTheOldFileWhole()
    {
        QFETCH(bool, fullDisk);
        QTemporaryDir folder;
        QString settingsFolder = folder.path();
        struct Unmount {
            QString at;
            ~Unmount()
            {
                if (!at.isEmpty())
                    QProcess::execute(QStringLiteral("umount"), {at});
            }
        } unmount;
        if (fullDisk) {
            settingsFolder = folder.filePath(QStringLiteral("tiny"));
            QDir().mkpath(settingsFolder);
            if (::geteuid() != 0
                || QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                                QStringLiteral("-o"), QStringLiteral("size=64k"),
                                                                QStringLiteral("tmpfs"), settingsFolder}) != 0)
                QSKIP("cannot mount a small file system here (needs root and mount rights); the short-write row covers it");
            unmount.at = settingsFolder;
        }
        const QString path = settingsFolder + QStringLiteral("/Rivetone.ini");
        {
            DefaultsStore first(path);
            first.setData(ContentState::playlistsKey, "{\"Drills\":[\"file:///home/learner/Unit%201.mp3\"]}");
        }
        const QByteArray before = readFile(path);
        if (fullDisk) {
            // Fill the rest, leaving less room than the next library needs.
            QFile filler(settingsFolder + QStringLiteral("/filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        }
        Run second(path);
        if (!fullDisk)
            second.store.cutWritesForTesting(60);
        Playlists big = second.state.playlists();
        TrackList tracks;
        for (int i = 0; i < 2000; ++i)
            tracks << QUrl::fromLocalFile(QStringLiteral("/home/learner/Lessons/Unit %1.mp3").arg(i));
        big.insert(QStringLiteral("Long"), tracks);
        second.state.setPlaylists(big);
        second.log.clear();
        second.library.savePlaylists();
        second.store.finishWrites();
        QTRY_COMPARE(second.log.lines().size(), 1);
        QVERIFY2(second.log.lines()[0].startsWith(QStringLiteral("Error saving playlists: cannot write ") + path),
                 qPrintable(second.log.lines()[0]));
        QCOMPARE(readFile(path), before);  // whole, as it was
        QCOMPARE(second.state.playlists(), big);  // the change stands in memory
        QCOMPARE(QDir(settingsFolder).entryList({QStringLiteral("Rivetone.ini*")}, QDir::Files),
                 QStringList{QStringLiteral("Rivetone.ini")});  // no half-written leftovers
        if (!fullDisk) {
            second.store.cutWritesForTesting(-1);  // the disk is well again: the next save takes it all
            second.library.savePlaylists();
            second.store.finishWrites();
            QCOMPARE(Run(path).state.playlists(), big);
        }
    }

    // A write cut off (the program killed mid-save) leaves its temporary file
    // and the writer's lock; the next start, an hour on, removes them and
    // nothing else (a write under way now, a copy kept aside or made by
    // hand, another file).
    void leftoversOfAWriteCutOffGoAtTheNextStart()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        DefaultsStore(path).setData(ContentState::playlistsKey, "{}");
        const auto make = [&](const QString& name, int hoursOld) {
            QFile file(folder.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write("[General]\n") > 0 && file.flush()
                && file.setFileTime(QDateTime::currentDateTime().addSecs(-3600 * hoursOld), QFileDevice::FileModificationTime);
        };
        // A save's file, the toolkit's own temporary file and lock on it, a check's copy.
        for (const QString& name : {QStringLiteral("Rivetone.ini.rivetone-save-kGwJpq"), QStringLiteral("Rivetone.ini.rivetone-save-kGwJpq.lock"),
                                    QStringLiteral("Rivetone.ini.rivetone-save-kGwJpq.hkQPDV"),
                                    QStringLiteral("Rivetone.ini.rivetone-check-ZxAbQa")})
            QVERIFY(make(name, 2));
        const QStringList kept{QStringLiteral("Other.ini.rivetone-save-kGwJpq"), QStringLiteral("Rivetone.ini"),
                               QStringLiteral("Rivetone.ini.backup"), QStringLiteral("Rivetone.ini.rivetone-save-ZxAbQa"),
                               QStringLiteral("Rivetone.ini.unreadable-1")};
        for (const QString& name : kept)
            QVERIFY(name == QStringLiteral("Rivetone.ini") || make(name, name.endsWith(QStringLiteral("ZxAbQa")) ? 0 : 2));
        const DefaultsStore next(path);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files, QDir::Name), kept);
    }

    // A library being encoded on the writer thread (a big one, or a loop
    // saved just as the window closes) when another setting is stored: the
    // later write carries the new library too, never the one it replaces,
    // whether the encoding is still going on or done and not yet taken in.
    void aValueBeingMadeIsInTheWritesAfterIt_data()
    {
        QTest::addColumn<bool>("madeBeforeTheNextStore");
        QTest::newRow("still being made") << false;
        QTest::newRow("made, not yet taken in") << true;
    }

    void aValueBeingMadeIsInTheWritesAfterIt()
    {
        QFETCH(bool, madeBeforeTheNextStore);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        const QByteArray library("{\"New\":[]}");
        std::atomic<bool> making = false;
        std::atomic<bool> release = false;
        {
            DefaultsStore store(path);
            store.setDataMadeBy(ContentState::playlistsKey, [&] {
                making = true;
                while (!release)
                    QThread::msleep(1);
                return library;
            });
            while (!making)
                QThread::msleep(1);
            if (madeBeforeTheNextStore) {
                release = true;
                // Waited for without running events, so the made value is not taken in yet.
                QDeadlineTimer deadline(5000);
                while (!readFile(path).contains("New") && !deadline.hasExpired())
                    QThread::msleep(1);
                QVERIFY(readFile(path).contains("New"));
            }
            const DefaultsStore::Ticket later = store.setDouble(ContentState::seekIntervalKey, 5);
            release = true;
            const std::optional<DefaultsStore::Outcome> outcome = store.outcome(later, std::chrono::seconds(5));
            QVERIFY(outcome && outcome->ok);
            QCOMPARE(store.data(ContentState::playlistsKey), library);
        }
        const DefaultsStore nextRun(path);
        QCOMPARE(nextRun.data(ContentState::playlistsKey), library);
        QCOMPARE(nextRun.doubleValue(ContentState::seekIntervalKey), 5.0);
    }

    // The writer is handed values of its own. A store made just after a write
    // finished, with nothing waited on in between (two settings changed in a
    // row), never writes into what that write was reading.
    void storesRightAfterAWriteShareNothingWithIt()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        DefaultsStore store(path);
        for (int round = 1; round <= 5; ++round) {
            store.setDouble(ContentState::seekIntervalKey, round);
            // Waited for without the store's lock or events: the file shows it.
            const QByteArray written = "seekInterval=" + QByteArray::number(round);
            QDeadlineTimer deadline(5000);
            while (!readFile(path).contains(written) && !deadline.hasExpired())
                QThread::msleep(1);
            QVERIFY(readFile(path).contains(written));
            QThread::msleep(20);  // the writer is done with its job
        }
        const std::optional<DefaultsStore::Outcome> outcome =
            store.outcome(store.setValue(QStringLiteral("last"), 1), std::chrono::seconds(5));
        QVERIFY(outcome && outcome->ok);
    }

    // A value this version reads as nothing (a later version's type, or what
    // an empty list is written as) is no reason to refuse every write.
    void aValueOfUnknownTypeLetsWritesThrough_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("nothing") << QByteArray("@Invalid()");
        QTest::newRow("a type of a later version")
            << QByteArray("@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x10RivetoneFuture)");
    }

    void aValueOfUnknownTypeLetsWritesThrough()
    {
        QFETCH(QByteArray, stored);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        // Beside a value stored typed that this version reads (an empty map).
        const QByteArray original = "[General]\nlaterKnown=@Variant(\\0\\0\\0\\b\\0\\0\\0\\0\\0)\nlaterSetting=" + stored + "\n";
        QVERIFY(damageFile(path, original));
        {
            DefaultsStore store(path);
            const std::optional<DefaultsStore::Outcome> outcome =
                store.outcome(store.setDouble(ContentState::seekIntervalKey, 10), std::chrono::seconds(5));
            QVERIFY2(outcome && outcome->ok, outcome ? qPrintable(outcome->error) : "no outcome");
        }
        Log::Capture log;
        DefaultsStore nextRun(path);
        QCOMPARE(nextRun.doubleValue(ContentState::seekIntervalKey), 10.0);
        QVERIFY(nextRun.contains(QStringLiteral("laterSetting")));
        QVERIFY(nextRun.value(QStringLiteral("laterKnown")).isValid());
        // What only a later version can read is gone from the file; a copy
        // of the file as it was keeps it, made once.
        const QString copyPath = path + QStringLiteral(".unreadable-1");
        QCOMPARE(QFile::exists(copyPath), stored.startsWith("@Variant"));
        if (QFile::exists(copyPath))
            QCOMPARE(readFile(copyPath), original);
        QVERIFY(nextRun.outcome(nextRun.setDouble(ContentState::seekIntervalKey, 5), std::chrono::seconds(5))->ok);
        QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join(u'\n')));
        QVERIFY(!QFile::exists(path + QStringLiteral(".unreadable-2")));
    }

    // Saved loops stored as a type this version cannot hold (a later
    // version's) are not written over by the next save of anything else:
    // the file as it was is copied aside first.
    void savedLoopsOfAnUnknownTypeAreKeptInACopy()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        const QByteArray stored = "[General]\nsavedLoops=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x10RivetoneFuture)\n";
        QVERIFY(damageFile(path, stored));
        Log::Capture log;
        DefaultsStore store(path);
        ContentState state(store);
        SavedLoopsLibrary::load(state);
        const auto outcome = store.outcome(store.setDouble(ContentState::seekIntervalKey, 5), std::chrono::seconds(5));
        QVERIFY(outcome && outcome->ok);
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-1")), stored);
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("Settings file of a later version: %1 holds values this version "
                                                          "cannot read; a copy of it is kept as %1.unreadable-1")
                                               .arg(path),
                                           QStringLiteral("Error loading saved loops: the stored value is of a type that "
                                                          "cannot be read; the settings file as it was is kept as ")
                                               + path + QStringLiteral(".unreadable-1")}));
        // The next start finds loops it reads (none), and copies nothing more.
        log.clear();
        store.finishWrites();
        DefaultsStore next(path);
        ContentState nextState(next);
        SavedLoopsLibrary::load(nextState);
        QCOMPARE(log.lines(), QStringList());
        QVERIFY(!QFile::exists(path + QStringLiteral(".unreadable-2")));
    }

    // A file that is there but cannot be read at start would read as no
    // library, and the first save would write that over the one it holds: no
    // write is made all that run, and the refusals say why. So too when its
    // folder cannot be reached at start (a share that fails, permissions; here
    // a loop of links), and is back by the first save.
    void aFileThatCannotBeReadAtStartIsNeverWrittenOver_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("out of descriptors") << "out of descriptors";
        QTest::newRow("its folder out of reach") << "folder out of reach";
        // Text typed by hand is read through an escaped copy; read as it
        // is, its Korean would load (and be saved) as "?".
        QTest::newRow("no copy of typed text can be made") << "no copy";
    }

    void aFileThatCannotBeReadAtStartIsNeverWrittenOver()
    {
        QFETCH(QString, how);
        QTemporaryDir folder;
        const QString realPath = firstRun(folder);
        if (how == QStringLiteral("no copy"))
            QVERIFY(damageFile(realPath, "[General]\nplaylists=@ByteArray({\\\"Drills\\\":[\\\"/home/u/한국어.mp3\\\"]})\n"));
        const QByteArray before = readFile(realPath);
        const QString via = folder.filePath(QStringLiteral("via"));
        const QString path = how == QStringLiteral("folder out of reach") ? via + QStringLiteral("/Rivetone.ini") : realPath;
        std::optional<Run> blind;
        if (how == QStringLiteral("folder out of reach")) {
            QVERIFY(QFile::link(QStringLiteral("via"), via));
            blind.emplace(path);
            QVERIFY(QFile::remove(via) && QFile::link(QStringLiteral("."), via));
            QCOMPARE(readFile(path), before);  // back in reach
        } else if (how == QStringLiteral("no copy")) {
            const QByteArray temporaryFolder = qgetenv("TMPDIR");
            qputenv("TMPDIR", QFile::encodeName(realPath));  // a file, where a folder should be
            blind.emplace(path);
            if (temporaryFolder.isNull())
                qunsetenv("TMPDIR");
            else
                qputenv("TMPDIR", temporaryFolder);
        } else {
            DescriptorsUsedUp noFiles;
            QVERIFY(noFiles);
            blind.emplace(path);
        }
        const QStringList lines = blind->log.lines();
        QVERIFY2(readAs(lines,
                        {QStringLiteral("Settings file unreadable: <file> could not be read (…); nothing is "
                                        "written to it until Rivetone starts again"),
                         QStringLiteral("Error saving playlists: cannot write <file>: it could not be read at start "
                                        "(…), and a write would replace what it holds")},
                        path),
                 qPrintable(lines.join(u'\n')));
        blind->state.setNewPlaylistName(QStringLiteral("Fresh"));
        blind->library.addPlaylist();
        QVERIFY(blind->store.setDouble(ContentState::seekIntervalKey, 2).refused);
        QVERIFY(!blind->store.lastWriteError().isEmpty());
        blind.reset();
        QCOMPARE(readFile(realPath), before);
        Run next(path);
        QCOMPARE(next.state.playlists().names(), QStringList{QStringLiteral("Drills")});
        if (how == QStringLiteral("no copy"))
            QCOMPARE(next.state.playlists().tracks(QStringLiteral("Drills")),
                     TrackList{QUrl::fromLocalFile(QStringLiteral("/home/u/한국어.mp3"))});
    }

    // A pipe in the file's place would hold the start for ever, waiting for
    // a writer; nothing is read from it, and nothing written over it.
    void aPipeInTheFilesPlaceIsNotWaitedFor()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        // Should the start wait on the pipe, this ends the wait, and says so.
        std::atomic<bool> done = false;
        std::atomic<bool> aReaderWaited = false;
        std::thread writer([&] {
            while (!done) {
                const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    aReaderWaited = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        std::optional<Run> run;
        run.emplace(path);
        done = true;
        writer.join();
        QVERIFY(!aReaderWaited);
        QVERIFY2(readAs(run->log.lines(),
                        {QStringLiteral("Settings file unreadable: <file> could not be read (it is not a regular "
                                        "file); nothing is written to it until Rivetone starts again"),
                         QStringLiteral("Error saving playlists: …")},
                        path),
                 qPrintable(run->log.lines().join(u'\n')));
        run.reset();
        QVERIFY(QFileInfo(path).isFile() == false && QFileInfo::exists(path));
    }

    // A settings file linked into a folder that is not there (dotfiles on a
    // drive not mounted) is a library out of reach, not none: nothing is
    // written, and no folder made where the drive goes; back, it loads.
    void aLinkIntoAFolderNotThereIsNotWrittenThrough()
    {
        QTemporaryDir folder;
        const QString realPath = firstRun(folder);
        const QString drive = folder.filePath(QStringLiteral("media/usb"));
        QVERIFY(QDir().mkpath(drive + QStringLiteral("/dots")));
        QVERIFY(QFile::rename(realPath, drive + QStringLiteral("/dots/Rivetone.ini")));
        const QString link = folder.filePath(QStringLiteral("Rivetone.ini"));
        QVERIFY(QFile::link(drive + QStringLiteral("/dots/Rivetone.ini"), link));
        QVERIFY(QDir(drive).rename(QStringLiteral("dots"), QStringLiteral("../unplugged")));
        {
            Run run(link);
            QVERIFY2(readAs(run.log.lines().mid(0, 1),
                            {QStringLiteral("Settings file unreadable: <file> could not be read (it is a link into ")
                             + drive + QStringLiteral("/dots, which is not there (a drive not mounted?)); nothing is "
                                                      "written to it until Rivetone starts again")},
                            link),
                     qPrintable(run.log.lines().join(u'\n')));
            run.state.setNewPlaylistName(QStringLiteral("Fresh"));
            run.library.addPlaylist();
            QVERIFY(!run.store.lastWriteError().isEmpty());
        }
        QVERIFY(!QFileInfo::exists(drive + QStringLiteral("/dots")));
        QVERIFY(QDir(folder.filePath(QStringLiteral("media"))).rename(QStringLiteral("unplugged"), QStringLiteral("usb/dots")));
        Run back(link);
        QCOMPARE(back.state.playlists().names(), QStringList{QStringLiteral("Drills")});
        // Unplugged while it runs: the next save fails, and makes nothing there.
        QVERIFY(QDir(drive).rename(QStringLiteral("dots"), QStringLiteral("../unplugged")));
        back.state.setNewPlaylistName(QStringLiteral("Fresh"));
        back.library.addPlaylist();
        back.store.finishWrites();
        QVERIFY(back.store.lastWriteError().contains(QStringLiteral("which is not there")));
        QVERIFY(!QFileInfo::exists(drive + QStringLiteral("/dots")));
    }

    // A settings file that is a link (into a folder of dotfiles, say) stays
    // one: the writes go where it points, with the permissions found there.
    // A link to a file not made yet points from where its folder really is,
    // though a linked folder led to it ("~/.config" a link, say).
    void aLinkedFileIsWrittenWhereItPoints_data()
    {
        QTest::addColumn<bool>("targetMade");
        QTest::addColumn<bool>("throughLinkedFolder");
        QTest::newRow("a link to the file") << true << false;
        QTest::newRow("a link to a file not made yet") << false << false;
        QTest::newRow("the same, reached through a linked folder") << false << true;
    }

    void aLinkedFileIsWrittenWhereItPoints()
    {
        QFETCH(bool, targetMade);
        QFETCH(bool, throughLinkedFolder);
        QTemporaryDir folder;
        const QDir root(folder.path());
        QVERIFY(root.mkpath(QStringLiteral("dots/sync")) && root.mkpath(QStringLiteral("dots/config")));
        const QString target = folder.filePath(QStringLiteral("dots/sync/Rivetone.ini"));
        QVERIFY(QFile::link(QStringLiteral("../sync/Rivetone.ini"), folder.filePath(QStringLiteral("dots/config/Rivetone.ini"))));
        QVERIFY(QFile::link(QStringLiteral("dots/config"), folder.filePath(QStringLiteral("config"))));
        const QString link = folder.filePath(throughLinkedFolder ? QStringLiteral("config/Rivetone.ini")
                                                                 : QStringLiteral("dots/config/Rivetone.ini"));
        if (targetMade) {
            QVERIFY(damageFile(target, "[General]\nplaylists=@ByteArray({\\\"Drills\\\":[]})\n"));
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                      | QFile::ReadOther | QFile::ReadUser | QFile::WriteUser));
        }
        const QFile::Permissions permissionsBefore = QFile::permissions(target);
        {
            Run run(link);
            run.state.setNewPlaylistName(QStringLiteral("Fresh"));
            run.library.addPlaylist();
            QVERIFY2(run.store.lastWriteError().isEmpty(), qPrintable(run.store.lastWriteError()));
        }
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(readFile(target).contains("Fresh"));
        QCOMPARE(readFile(target).contains("Drills"), targetMade);
        if (targetMade)
            QCOMPARE(QFile::permissions(target), permissionsBefore);
        QCOMPARE(QDir(folder.filePath(QStringLiteral("dots/config"))).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{QStringLiteral("Rivetone.ini")});
        QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("sync"))));
        Run next(link);
        QVERIFY(next.state.playlists().names().contains(QStringLiteral("Fresh")));
        QCOMPARE(next.state.playlists().names().contains(QStringLiteral("Drills")), targetMade);
    }

    // Another program changes the file while a run goes on (a hand edit, a
    // synced dotfiles folder): its changes to keys the run never stores stay,
    // in every write after; where it changed one the run stores, the run's
    // value is written and the file as it was goes aside first.
    void changesMadeMeanwhileByAnotherProgramAreKept_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("line");  // as readAs takes it
        QTest::addColumn<double>("seekInterval");
        QTest::addColumn<bool>("copied");
        QTest::newRow("a key the run does not store")
            << "seek interval" << "Settings file changed by another program: its changes to <file> are kept" << 10.0
            << false;
        QTest::newRow("a key the run stores too")
            << "seek interval and playlists"
            << "Settings file changed by another program: its changes to playlists in <file> are replaced by "
               "Rivetone's own; the file as it was is kept as <file>.changed-1"
            << 10.0 << true;
        QTest::newRow("left unreadable")
            << "damaged"
            << "Settings file changed by another program, and it cannot be read: <file> is written over with "
               "Rivetone's settings; the file as it was is kept as <file>.changed-1"
            << 5.0 << true;
    }
    void changesMadeMeanwhileByAnotherProgramAreKept()
    {
        QFETCH(QString, change);
        QFETCH(QString, line);
        QFETCH(double, seekInterval);
        QFETCH(bool, copied);
        QTemporaryDir folder;
        const QString path = firstRun(folder);
        Run run(path);
        QByteArray theirs = readFile(path);
        if (change == QStringLiteral("damaged"))
            theirs.replace("playlists=", QByteArray("playlists\0", 10));
        else
            theirs.replace("seekInterval=5", "seekInterval=10").append("fromElsewhere=kept\n");
        if (change.endsWith(QStringLiteral("playlists")))
            theirs.replace("Drills", "HandEdit");
        QVERIFY(damageFile(path, theirs));

        // Two writes: the second must not bring back what the file held at start.
        for (const QString& name : {QStringLiteral("New"), QStringLiteral("Newer")}) {
            run.state.setNewPlaylistName(name);
            run.library.addPlaylist();
            run.store.finishWrites();
        }
        QStringList settingsLines = run.log.lines().filter(QRegularExpression(QStringLiteral("^Settings file")));
        QVERIFY2(readAs(settingsLines, {line}, path), qPrintable(settingsLines.join(u'\n')));
        QCOMPARE(readFile(path + QStringLiteral(".changed-1")), copied ? theirs : QByteArray());

        Run next(path);
        QCOMPARE(next.state.playlists().names(),
                 (QStringList{QStringLiteral("Drills"), QStringLiteral("New"), QStringLiteral("Newer")}));
        QCOMPARE(next.state.seekInterval(), seekInterval);
        QCOMPARE(next.store.value(QStringLiteral("fromElsewhere")).toString(),
                 change == QStringLiteral("damaged") ? QString() : QStringLiteral("kept"));
    }

    // Names and paths typed into the file by hand are UTF-8 text: they load
    // as typed, beside the escapes a write makes, and go back to disk intact;
    // so too from an editor that starts the file with a byte-order mark (the
    // file was taken for damaged, and copied aside, at every start after such
    // a save).
    void textTypedIntoTheFileByHandLoadsAsTyped_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("byteOrderMark");
        QTest::newRow("Korean") << QByteArray("{\\\"듣기\\\":[\\\"/home/u/한국어/Unit 1 듣기.mp3\\\"]}")
                                << QStringLiteral("듣기") << QStringLiteral("/home/u/한국어/Unit 1 듣기.mp3") << false;
        QTest::newRow("Korean, from an editor that marks its text (and ends lines with CRLF)")
            << QByteArray("{\\\"듣기\\\":[\\\"/home/u/한국어/Unit 1 듣기.mp3\\\"]}") << QStringLiteral("듣기")
            << QStringLiteral("/home/u/한국어/Unit 1 듣기.mp3") << true;
        // A hex digit after a typed character must not run into its escape.
        QTest::newRow("Latin-1 letters, hex digits after them")
            << QByteArray("{\\\"Café1 déjà\\\":[\\\"/home/u/Ça va.m4a\\\"]}") << QStringLiteral("Café1 déjà")
            << QStringLiteral("/home/u/Ça va.m4a") << false;
        QTest::newRow("beside escapes of a write")
            << QByteArray("{\\\"Caf\\xc3\\xa9 듣기\\\":[\\\"/home/u/\\xea\\xb0\\x80 🎧.mp3\\\"]}")
            << QStringLiteral("Café 듣기") << QStringLiteral("/home/u/가 🎧.mp3") << false;
    }
    void textTypedIntoTheFileByHandLoadsAsTyped()
    {
        QFETCH(QByteArray, typed);
        QFETCH(QString, name);
        QFETCH(QString, path);
        QFETCH(bool, byteOrderMark);
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("Rivetone.ini"));
        QByteArray text = "[General]\nplaylists=@ByteArray(" + typed + ")\nseekInterval=5\n";
        if (byteOrderMark)
            text = "\xEF\xBB\xBF" + text.replace("\n", "\r\n");
        QVERIFY(damageFile(file, text));
        for (const QString& added : {QStringLiteral("New"), QString()}) {
            Run run(file);
            QVERIFY2(!run.log.lines().join(u'\n').contains(QStringLiteral("Settings file")),
                     qPrintable(run.log.lines().join(u'\n')));
            QVERIFY2(run.state.playlists().names().contains(name), qPrintable(run.state.playlists().names().join(u'|')));
            QCOMPARE(run.state.playlists().tracks(name), TrackList{QUrl::fromLocalFile(path)});
            // The next run reads what this one wrote.
            if (!added.isEmpty()) {
                run.state.setNewPlaylistName(added);
                run.library.addPlaylist();
                run.store.finishWrites();
            }
        }
    }

    // What the settings reader takes as one line is no key on two: a value
    // it writes ending in a backslash, just before a group whose keys repeat
    // another's; a quoted value holding a line break and a "name="; a comment.
    void linesTheReaderTakesAsOneAreNoKeyTwice()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        {
            QSettings written(path, QSettings::IniFormat);
            written.setValue(QStringLiteral("unreadablePlaylists/1"), QStringLiteral("C:\\Music\\"));
            written.setValue(QStringLiteral("unreadableSavedLoops/1"), QStringLiteral("x"));
        }
        QVERIFY(damageFile(path, "[General]\n; seekInterval=1\nnote=\"two\nseekInterval=2\"\nseekInterval=5\n\n"
                                     + readFile(path)));
        {
            Run run(path);
            QVERIFY2(!run.log.lines().join(u'\n').contains(QStringLiteral("Settings file")),
                     qPrintable(run.log.lines().join(u'\n')));
            QCOMPARE(run.state.seekInterval(), 5.0);
            run.state.setNewPlaylistName(QStringLiteral("Fresh"));
            run.library.addPlaylist();
            run.store.finishWrites();
            QCOMPARE(run.store.lastWriteError(), QString());
        }
        Run next(path);
        QVERIFY(next.state.playlists().contains(QStringLiteral("Fresh")));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("Rivetone.ini")});
    }

    // Only byte values are read as typed bytes: text that merely holds
    // "@ByteArray(" is text, and a line may end at a lone carriage return.
    void textThatOnlyMentionsAByteValueIsText()
    {
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("Rivetone.ini"));
        QVERIFY(damageFile(file, "[General]\rnote=see @ByteArray(\xc3\xa9) here\rquoted=\"@@ByteArray(\xc3\xa9)\"\r"
                                 "playlists=@ByteArray({\\\"\xeb\x93\xa3\\\":[]})\rtitle=\xed\x95\x9c\r"));
        for (int run = 0; run < 2; ++run) {
            Log::Capture log;
            DefaultsStore store(file);
            QCOMPARE(log.lines(), QStringList());
            QCOMPARE(store.value(QStringLiteral("note")).toString(), QStringLiteral("see @ByteArray(é) here"));
            QCOMPARE(store.value(QStringLiteral("quoted")).toString(), QStringLiteral("@ByteArray(é)"));
            QCOMPARE(store.data(QStringLiteral("playlists")), std::optional<QByteArray>(QStringLiteral("{\"듣\":[]}").toUtf8()));
            QCOMPARE(store.value(QStringLiteral("title")).toString(), QStringLiteral("한"));
            // Written back, it reads back whole (the next run checks it reads the same).
            const std::optional<DefaultsStore::Outcome> written =
                store.outcome(store.setDouble(QStringLiteral("seekInterval"), 7), std::chrono::seconds(10));
            QVERIFY(written);
            QVERIFY2(written->ok, qPrintable(written->error));
        }
    }
};

QTEST_GUILESS_MAIN(SettingsFaultsTest)
#include "tst_faults_settings.moc"