// The settings file between two runs: damaged on disk, or in a folder (or
// itself) that cannot be written. The library the user had is never lost:
// whatever cannot be read is kept, and a failed write leaves the file as it was.

#include "LibraryFixture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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

// One run of the program on the settings file at path, loaded as at start-up,
// with every line logged from before the store was opened.
struct Run {
    explicit Run(const QString& path)
        : store(path)
        , state(store)
        , library(state)
    {
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

const char* const cannotMakeReadOnly =
    "cannot make it read-only (root needs CAP_LINUX_IMMUTABLE, on ext4, xfs or btrfs)";

}  // namespace

class SettingsFaultsTest : public QObject {
    Q_OBJECT

private slots:
    // Whatever QSettings reads past is dropped by its next write, so a file
    // that did not read back whole goes aside first, byte for byte; so does
    // one holding a type this program cannot read. A value that reads but is
    // no library goes under a key of its own. After the next save the library
    // the user had is on disk, unless the damage took it all.
    void fileDamagedBetweenRunsLosesNothing_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QStringList>("lines");  // starts; <file> and <copy> stand for the paths
        QTest::addColumn<bool>("recoverable");
        const QString copied = QStringLiteral("Settings file damaged: <file> could not be read in full; a copy of it "
                                              "is kept as <copy>");
        const QString fresh = QStringLiteral("Playlists saved: []");
        QTest::newRow("bytes before the first section")
            << "prefix" << QStringList{copied, QStringLiteral("Playlists loaded: [\"Drills\"]")} << true;
        QTest::newRow("a zero for the equals sign") << "zero for equals" << QStringList{copied, fresh} << true;
        // Read without a complaint, under another key, which writes keep.
        QTest::newRow("zeros in the key's name") << "zeros in key" << QStringList{fresh} << true;
        QTest::newRow("cut off mid-value") << "cut" << QStringList{QStringLiteral("Error loading playlists: ")} << true;
        QTest::newRow("emptied") << "emptied" << QStringList{fresh} << false;
        QTest::newRow("a value of an unknown type")
            << "unknown type"
            << QStringList{QStringLiteral("Error loading playlists: the stored value is of a type that cannot be "
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
        else if (damage == QStringLiteral("cut"))
            damaged.truncate(damaged.indexOf("Unit%202"));
        else if (damage == QStringLiteral("emptied"))
            damaged.clear();
        else
            damaged = "[General]\nplaylists=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x10RivetoneFuture)\n";
        QVERIFY(damageFile(path, damaged));

        Run second(path);
        QCOMPARE(second.log.lines().size(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            lines[i].replace(QStringLiteral("<file>"), path).replace(QStringLiteral("<copy>"), copyPath);
            QVERIFY2(second.log.lines()[i].startsWith(lines[i]), qPrintable(second.log.lines()[i]));
        }
        QCOMPARE(QFile::exists(copyPath), lines.join(QString()).contains(copyPath));
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
    }

    // The next run meeting the same damage (the last one crashed before it
    // wrote) keeps the copy it finds; other damage gets a copy of its own.
    void sameDamageMetTwiceIsCopiedOnceAndNewDamageAgain()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Rivetone.ini"));
        const QByteArray damaged("\0\0\0[General]\nplaylists=@ByteArray({})\n", 38);
        Log::Capture log;
        for (const QByteArray& bytes : {damaged, damaged, damaged + "\1\2\3"}) {
            QVERIFY(damageFile(path, bytes));
            DefaultsStore run(path);
        }
        QCOMPARE(log.lines().size(), 3);
        QVERIFY2(log.lines()[1].endsWith(QStringLiteral(".unreadable-1")), qPrintable(log.lines()[1]));
        QVERIFY2(log.lines()[2].endsWith(QStringLiteral(".unreadable-2")), qPrintable(log.lines()[2]));
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-1")), damaged);
        QCOMPARE(readFile(path + QStringLiteral(".unreadable-2")), damaged + "\1\2\3");
    }

    // The library loads, a change is refused with a line that says why, the
    // file stays as it was, and the next write once it can be written succeeds.
    void unwritableSettingsKeepTheLibraryAsItWas_data()
    {
        QTest::addColumn<bool>("folderReadOnly");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder") << true << "the folder is read-only";
        QTest::newRow("file") << false << "the file is read-only";
    }

    void unwritableSettingsKeepTheLibraryAsItWas()
    {
        QFETCH(bool, folderReadOnly);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        const QString path = firstRun(folder);
        const QByteArray before = readFile(path);
        Run second(path);
        {
            const QString target = folderReadOnly ? folder.path() : path;
            if (!setReadOnly(target, true))
                QSKIP(cannotMakeReadOnly);
            const auto writable = qScopeGuard([&] { setReadOnly(target, false); });
            second.log.clear();
            second.state.setNewPlaylistName(QStringLiteral("Fresh"));
            second.library.addPlaylist();
            QCOMPARE(second.log.lines(),
                     (QStringList{QStringLiteral("Error saving playlists: cannot write %1: %2").arg(path, reason),
                                  QStringLiteral("Added playlist: Fresh")}));
            QCOMPARE(readFile(path), before);
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("Rivetone.ini")});
        }
        second.log.clear();
        second.library.savePlaylists();
        QCOMPARE(second.log.lines(), QStringList{QStringLiteral("Playlists saved: [\"Drills\", \"Fresh\"]")});
        Run third(path);
        QCOMPARE(third.log.lines(), QStringList{QStringLiteral("Playlists loaded: [\"Drills\", \"Fresh\"]")});
        QCOMPARE(third.state.seekInterval(), 5.0);
    }

    // Damaged, and no copy can be made: nothing is written over it, not even
    // by QSettings on its own; once a copy can be made, it is made first.
    void damagedFileThatCannotBeCopiedIsNotWrittenOver()
    {
        QTemporaryDir folder;
        const QString path = firstRun(folder);
        QByteArray damaged = readFile(path);
        damaged[damaged.indexOf("playlists=") + 9] = '\0';  // the key is lost to the reader
        QVERIFY(damageFile(path, damaged));

        std::unique_ptr<Run> second;
        {
            if (!setReadOnly(folder.path(), true))
                QSKIP(cannotMakeReadOnly);
            const auto writable = qScopeGuard([&] { setReadOnly(folder.path(), false); });
            second = std::make_unique<Run>(path);
            const QStringList lines = second->log.lines();
            QVERIFY2(lines.value(0).startsWith(QStringLiteral("Settings file damaged: %1 could not be read in full, "
                                                              "and a copy of it cannot be made (").arg(path)),
                     qPrintable(lines.value(0)));
            QVERIFY2(lines.value(1).startsWith(QStringLiteral("Error saving playlists: cannot write %1: its unreadable "
                                                              "content could not be copied aside first (").arg(path)),
                     qPrintable(lines.value(1)));
        }
        QCoreApplication::sendPostedEvents();  // where QSettings writes what it holds
        QCOMPARE(readFile(path), damaged);

        second->log.clear();
        second->library.savePlaylists();
        const QString copyPath = path + QStringLiteral(".unreadable-1");
        QCOMPARE(second->log.lines(),
                 (QStringList{QStringLiteral("Settings file damaged: a copy of %1 as it was is now kept as %2")
                                  .arg(path, copyPath),
                              QStringLiteral("Playlists saved: []")}));
        QCOMPARE(readFile(copyPath), damaged);
    }
};

QTEST_GUILESS_MAIN(SettingsFaultsTest)
#include "tst_faults_settings.moc"
