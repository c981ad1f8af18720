// The settings file between two runs: damaged on disk, or in a folder (or
// itself) that cannot be written. The library the user had is never lost:
// whatever cannot be read is kept, and a failed write leaves the file as it was.
#include "LibraryFixture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const QByteArray drillsJson = "{\"Drills\":[\"file:///home/learner/Unit%201.mp3\",\"file:///home/learner/Unit%202.m4a\"]}";

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Damage done between two runs. Within one process QSettings keeps what it
// read of a file until the file's size or time changes; a new run reads
// afresh. A later time makes this process read afresh too.
bool damageFile(const QString& path, const QByteArray& bytes)
{
    static int runs = 0;
    QFile file(path);
    return writeFile(path, bytes) && file.open(QIODevice::ReadWrite)
        && file.setFileTime(QDateTime::currentDateTime().addSecs(60 * ++runs), QFileDevice::FileModificationTime);
}

// One run of the program on the settings file at path: the store, the
// window's state and its library, loaded as at start-up, with every line
// logged from before the store was opened.
struct Run {
    explicit Run(const QString& path)
        : log(std::make_unique<Log::Capture>())
        , store(std::make_unique<DefaultsStore>(path))
        , state(std::make_unique<ContentState>(*store))
        , library(std::make_unique<PlaylistLibrary>(*state))
    {
        library->loadPlaylists();
    }

    std::unique_ptr<Log::Capture> log;
    std::unique_ptr<DefaultsStore> store;
    std::unique_ptr<ContentState> state;
    std::unique_ptr<PlaylistLibrary> library;
};

// Writes the library as a first run would, through the store.
void firstRun(const QString& path, const QByteArray& json = drillsJson)
{
    DefaultsStore store(path);
    QVERIFY(store.setData(ContentState::playlistsKey, json));
    QVERIFY(store.setDouble(ContentState::seekIntervalKey, 5));
}

// Makes a file or folder unwritable for everyone, root included, with the
// immutable attribute (which takes CAP_LINUX_IMMUTABLE and a file system that
// has it); clears it again when it goes.
class ImmutableAttribute {
public:
    explicit ImmutableAttribute(const QString& path)
        : m_path(QFile::encodeName(path))
    {
        m_set = change(true);
    }
    ~ImmutableAttribute()
    {
        if (m_set)
            change(false);
    }
    ImmutableAttribute(const ImmutableAttribute&) = delete;
    ImmutableAttribute& operator=(const ImmutableAttribute&) = delete;

    bool isSet() const { return m_set; }

private:
    bool change(bool immutable)
    {
        const int fd = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    QByteArray m_path;
    bool m_set = false;
};

}  // namespace

class SettingsFaultsTest : public QObject {
    Q_OBJECT

private slots:
    // Damage that leaves the file readable as settings but the value not as
    // a library: the value is kept under a key of its own.
    void valueCutShortBetweenRunsIsKeptUnderAKeyOfItsOwn()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        firstRun(path);
        const QByteArray whole = readFile(path);
        const qsizetype cut = whole.indexOf("Unit%202");
        QVERIFY(cut > 0);
        QVERIFY(damageFile(path, whole.left(cut)));  // cut off mid-value, as a crash mid-copy would

        Run second(path);
        const QStringList lines = second.log->lines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith(QStringLiteral("Error loading playlists: ")), qPrintable(lines[0]));
        QVERIFY2(lines[0].endsWith(QStringLiteral("; the unreadable value is kept under \"unreadablePlaylists/1\" in ") + path),
                 qPrintable(lines[0]));
        QVERIFY(second.state->playlists().isEmpty());

        second.state->setNewPlaylistName(QStringLiteral("Fresh"));
        second.library->addPlaylist();
        DefaultsStore onDisk(path);
        QVERIFY(onDisk.value(QStringLiteral("unreadablePlaylists/1")).toString().contains(QStringLiteral("Unit%201.mp3")));
        QCOMPARE(onDisk.data(ContentState::playlistsKey), QByteArray("{\"Fresh\":[]}"));
    }

    // Damage to the file itself. Whatever QSettings reads past is dropped by
    // its next write, so a file that did not read back whole goes aside first,
    // byte for byte; the library the user had is somewhere on disk after the
    // next save, whatever happened.
    void fileDamagedBetweenRunsLosesNothing_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("copied");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<bool>("recoverable");
        QTest::newRow("bytes before the first section") << "prefix" << true << true << true;
        QTest::newRow("a zero for the equals sign") << "zero for equals" << true << false << true;
        QTest::newRow("all zeros") << "all zeros" << true << false << false;
        // Read as settings without a complaint, under another key, which the
        // next write keeps as it is.
        QTest::newRow("zeros in the key's name") << "zeros in key" << false << false << true;
    }

    void fileDamagedBetweenRunsLosesNothing()
    {
        QFETCH(QString, damage);
        QFETCH(bool, copied);
        QFETCH(bool, loaded);
        QFETCH(bool, recoverable);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        firstRun(path);
        QByteArray damaged = readFile(path);
        const qsizetype key = damaged.indexOf("playlists=");
        QVERIFY(key >= 0);
        if (damage == QStringLiteral("prefix"))
            damaged.prepend(QByteArray("\xff\xfe\x00\x01", 4));
        else if (damage == QStringLiteral("zero for equals"))
            damaged[key + 9] = '\0';
        else if (damage == QStringLiteral("zeros in key"))
            damaged.replace(key + 2, 3, QByteArray(3, '\0'));
        else
            damaged.fill('\0');
        QVERIFY(damageFile(path, damaged));

        Run second(path);
        const QStringList lines = second.log->lines();
        const QString copyPath = path + QStringLiteral(".unreadable-1");
        QCOMPARE(QFile::exists(copyPath), copied);
        if (copied) {
            QCOMPARE(lines.value(0), QStringLiteral("Settings file damaged: %1 could not be read in full; a copy of it is "
                                                    "kept as %2")
                                         .arg(path, copyPath));
            QCOMPARE(readFile(copyPath), damaged);
        }
        QCOMPARE(lines.value(copied ? 1 : 0),
                 loaded ? QStringLiteral("Playlists loaded: [\"Drills\"]") : QStringLiteral("Playlists saved: []"));
        QCOMPARE(lines.size(), copied ? 2 : 1);

        second.state->setNewPlaylistName(QStringLiteral("Fresh"));
        second.library->addPlaylist();
        QByteArray everythingOnDisk;
        for (const QString& name : QDir(folder.path()).entryList(QDir::Files))
            everythingOnDisk += readFile(folder.filePath(name));
        QCOMPARE(everythingOnDisk.contains("file:///home/learner/Unit%201.mp3"), recoverable);
        QCOMPARE(everythingOnDisk.contains("file:///home/learner/Unit%202.m4a"), recoverable);

        // The third run finds a file that reads whole: nothing more is copied.
        Run third(path);
        QVERIFY(third.log->lines().value(0).startsWith(QStringLiteral("Playlists loaded: ")));
        QVERIFY(third.state->playlists().contains(QStringLiteral("Fresh")));
        QVERIFY(!QFile::exists(path + QStringLiteral(".unreadable-2")));
    }

    void sameDamageMetTwiceIsCopiedOnceAndNewDamageAgain()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        const QByteArray damaged("\0\0\0[General]\nplaylists=@ByteArray({})\n", 38);
        QVERIFY(writeFile(path, damaged));
        Log::Capture quiet;
        { DefaultsStore first(path); }
        { DefaultsStore again(path); }  // a run that crashed before writing anything
        QVERIFY(!QFile::exists(path + QStringLiteral(".unreadable-2")));

        const QByteArray otherDamage = damaged + QByteArray("\1\2\3");
        QVERIFY(writeFile(path, otherDamage));
        Log::Capture log;
        DefaultsStore third(path);
        QVERIFY2(log.lines().value(0).endsWith(QStringLiteral(".unreadable-2")), qPrintable(log.lines().value(0)));
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-1")), damaged);
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-2")), otherDamage);
    }

    // A stored type this program cannot hold (written by something else, or
    // damaged into one): it cannot be kept under a key, so the file is copied.
    void valueOfAnUnknownTypeIsKeptWithTheWholeFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        const QByteArray unreadable = "[General]\nplaylists=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x10RivetoneFuture)\n";
        QVERIFY(writeFile(path, unreadable));

        Run run(path);
        QCOMPARE(run.log->lines(), QStringList{QStringLiteral("Error loading playlists: the stored value is of a type "
                                                              "that cannot be read; the settings file as it was is kept as ")
                                               + path + QStringLiteral(".unreadable-1")});
        QVERIFY(run.state->playlists().isEmpty());
        run.state->setNewPlaylistName(QStringLiteral("Fresh"));
        run.library->addPlaylist();
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-1")), unreadable);
        QCOMPARE(DefaultsStore(path).data(ContentState::playlistsKey), QByteArray("{\"Fresh\":[]}"));
    }

    void emptiedFileStartsAFreshLibraryWithNothingToKeep()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        firstRun(path);
        QVERIFY(damageFile(path, QByteArray()));
        Run second(path);
        QCOMPARE(second.log->lines(), QStringList{QStringLiteral("Playlists saved: []")});
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("Rivetone.ini")});
    }

    // A folder or file that cannot be written, even by root: the library
    // loads, changes are refused with a line that says why, the file on disk
    // stays as it was, and the next write after the obstacle is gone succeeds.
    void unwritableSettingsKeepTheLibraryAsItWas_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder") << "folder" << "the folder is read-only";
        QTest::newRow("file") << "file" << "the file is read-only";
    }

    void unwritableSettingsKeepTheLibraryAsItWas()
    {
        QFETCH(QString, target);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        firstRun(path);
        const QByteArray before = readFile(path);

        Run second(path);
        {
            ImmutableAttribute readOnly(target == QStringLiteral("folder") ? folder.path() : path);
            if (!readOnly.isSet())
                QSKIP("the immutable attribute cannot be set here (needs CAP_LINUX_IMMUTABLE on ext2/3/4, xfs or btrfs)");
            QCOMPARE(second.log->lines(), QStringList{QStringLiteral("Playlists loaded: [\"Drills\"]")});
            second.log->clear();
            second.state->setNewPlaylistName(QStringLiteral("Fresh"));
            second.library->addPlaylist();
            const QStringList lines = second.log->lines();
            QCOMPARE(lines.size(), 2);
            QCOMPARE(lines[0], QStringLiteral("Error saving playlists: cannot write %1: %2").arg(path, reason));
            QCOMPARE(lines[1], QStringLiteral("Added playlist: Fresh"));
            QVERIFY(second.state->playlists().contains(QStringLiteral("Fresh")));
            QCOMPARE(readFile(path), before);
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("Rivetone.ini")});
        }

        second.log->clear();
        second.library->savePlaylists();
        QCOMPARE(second.log->lines(), QStringList{QStringLiteral("Playlists saved: [\"Drills\", \"Fresh\"]")});
        Run third(path);
        QCOMPARE(third.log->lines(), QStringList{QStringLiteral("Playlists loaded: [\"Drills\", \"Fresh\"]")});
        QCOMPARE(third.state->seekInterval(), 5.0);
    }

    // The same with ordinary permissions, which bind everyone but root.
    void readOnlyPermissionsKeepTheLibraryAsItWas()
    {
        if (::geteuid() == 0)
            QSKIP("permissions do not bind root; the immutable-attribute case covers it");
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        firstRun(path);
        const QByteArray before = readFile(path);
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));

        Run second(path);
        second.state->setNewPlaylistName(QStringLiteral("Fresh"));
        second.library->addPlaylist();
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(second.log->lines().value(1),
                 QStringLiteral("Error saving playlists: cannot write %1: the file is read-only").arg(path));
        QCOMPARE(readFile(path), before);
    }

    // Damaged, and no copy can be made: nothing is written over it.
    void damagedFileThatCannotBeCopiedIsNotWrittenOver()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        firstRun(path);
        QByteArray damaged = readFile(path);
        damaged[damaged.indexOf("playlists=") + 9] = '\0';  // the key is lost to the reader
        QVERIFY(damageFile(path, damaged));

        std::unique_ptr<Run> second;
        {
            ImmutableAttribute readOnly(folder.path());
            if (!readOnly.isSet())
                QSKIP("the immutable attribute cannot be set here");
            second = std::make_unique<Run>(path);
            const QStringList lines = second->log->lines();
            QVERIFY2(lines.value(0).startsWith(QStringLiteral("Settings file damaged: %1 could not be read in full, and a "
                                                              "copy of it cannot be made (")
                                                   .arg(path)),
                     qPrintable(lines.value(0)));
            QVERIFY2(lines.value(1).startsWith(QStringLiteral("Error saving playlists: cannot write %1: its unreadable "
                                                              "content could not be copied aside first (")
                                                   .arg(path)),
                     qPrintable(lines.value(1)));
            QCOMPARE(readFile(path), damaged);
        }
        // The refused value was not kept for QSettings to write by itself
        // when the store goes, now that the folder can be written again.
        second.reset();
        QCOMPARE(readFile(path), damaged);

        // The next run can copy it, and does so before writing.
        QVERIFY(damageFile(path, damaged));  // as a new process would, it reads the file afresh
        Run third(path);
        const QString copyPath = path + QStringLiteral(".unreadable-1");
        QCOMPARE(third.log->lines(),
                 (QStringList{QStringLiteral("Settings file damaged: %1 could not be read in full; a copy of it is kept as %2")
                                  .arg(path, copyPath),
                              QStringLiteral("Playlists saved: []")}));
        QCOMPARE(readFile(copyPath), damaged);
    }

    // The same store, once the obstacle is gone, copies first and then writes.
    void owedCopyIsMadeBeforeTheNextWrite()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        const QByteArray damaged("[General]\nseekInterval\0" "5\n", 24);
        QVERIFY(damageFile(path, damaged));
        Log::Capture log;
        std::unique_ptr<DefaultsStore> store;
        {
            ImmutableAttribute readOnly(folder.path());
            if (!readOnly.isSet())
                QSKIP("the immutable attribute cannot be set here");
            store = std::make_unique<DefaultsStore>(path);
            QString error;
            QVERIFY(!store->setDouble(ContentState::seekIntervalKey, 10, &error));
            QVERIFY2(error.contains(QStringLiteral("could not be copied aside first")), qPrintable(error));
        }
        log.clear();
        QVERIFY(store->setDouble(ContentState::seekIntervalKey, 10));
        const QString copyPath = path + QStringLiteral(".unreadable-1");
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Settings file damaged: a copy of %1 as it was is now kept as %2")
                                              .arg(path, copyPath)});
        QCOMPARE(readFile(copyPath), damaged);
        QCOMPARE(DefaultsStore(path).doubleValue(ContentState::seekIntervalKey), 10.0);
    }
};

QTEST_GUILESS_MAIN(SettingsFaultsTest)
#include "tst_faults_settings.moc"
