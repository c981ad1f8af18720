#include "LibraryFixture.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

namespace {

const QByteArray threePlaylists = "{\"beta\":[\"file:///m/b1.mp3\"],"
                                  "\"Alpha\":[\"file:///m/a1.mp3\",\"file:///m/a2.m4a\"],\"alpha\":[\"file:///m/x.mp3\"]}";

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

// Loading and storing the library, and the start-up state of the window.
class PlaylistPersistenceTest : public QObject {
    Q_OBJECT

private slots:
    void firstStartStoresAnEmptyLibrary()
    {
        LibraryFixture f;
        f.library->loadPlaylists();
        QVERIFY(f.state->playlists().isEmpty());
        QCOMPARE(f.state->currentPlaylist(), QString());
        QVERIFY(f.state->expandedPlaylists().isEmpty());
        QVERIFY(f.player().playlist().isEmpty());
        QCOMPARE(f.log.lines(), QStringList{QStringLiteral("Playlists saved: []")});
        QCOMPARE(DefaultsStore(f.defaults.filePath()).data(ContentState::playlistsKey), QByteArray("{}"));
    }

    void loadSelectsTheFirstNameInOrder()
    {
        LibraryFixture f(threePlaylists);
        f.state->setExpandedPlaylists([] {
            PlaylistNameSet open;
            open.insert(QStringLiteral("beta"));
            return open;
        }());
        f.library->loadPlaylists();
        QCOMPARE(f.library->sortedPlaylistNames(),
                 (QStringList{QStringLiteral("Alpha"), QStringLiteral("alpha"), QStringLiteral("beta")}));
        QCOMPARE(f.state->currentPlaylist(), QStringLiteral("Alpha"));
        QCOMPARE(f.state->expandedPlaylists().names(), QStringList{QStringLiteral("Alpha")});
        QCOMPARE(f.player().playlist(),
                 (TrackList{QUrl(QStringLiteral("file:///m/a1.mp3")), QUrl(QStringLiteral("file:///m/a2.m4a"))}));
        QVERIFY(!f.player().isPlaying());
        QVERIFY(!f.player().player());
        QCOMPARE(f.log.lines(), QStringList{QStringLiteral("Playlists loaded: [\"Alpha\", \"alpha\", \"beta\"]")});
        QCOMPARE(f.defaults.store().data(ContentState::playlistsKey), threePlaylists);  // nothing stored
    }

    void emptyNameAndEmptyPlaylistsLoadAndStoreAgain()
    {
        LibraryFixture f("{\"Songs\":[],\"\":[\"file:///m/1.mp3\",\"no-url\",\"file:///m/2 x.mp3\",\"file:///m/3.mp3\"]}");
        f.library->loadPlaylists();
        QCOMPARE(f.state->currentPlaylist(), QString());
        QVERIFY(f.state->expandedPlaylists().contains(QString()));
        // The string with a bare space is no URL: left out silently, its neighbours keep their order.
        QCOMPARE(f.player().playlist(), (TrackList{QUrl(QStringLiteral("file:///m/1.mp3")), QUrl(QStringLiteral("no-url")),
                                                   QUrl(QStringLiteral("file:///m/3.mp3"))}));
        QCOMPARE(f.log.lines(), QStringList{QStringLiteral("Playlists loaded: [\"\", \"Songs\"]")});
        f.library->savePlaylists();
        QCOMPARE(f.defaults.store().data(ContentState::playlistsKey),
                 QByteArray("{\"\":[\"file:///m/1.mp3\",\"no-url\",\"file:///m/3.mp3\"],\"Songs\":[]}"));
    }

    void hugeLibraryRoundTrips()
    {
        Playlists library;
        for (int p = 0; p < 5; ++p) {
            TrackList tracks;
            for (int t = 0; t < 10000; ++t)
                tracks << QUrl::fromLocalFile(QStringLiteral("/home/learner/강의 %1/Unit %2 #%3.mp3").arg(p).arg(t).arg(t));
            library.insert(QStringLiteral("Course %1 🎧").arg(p), tracks);
        }
        LibraryFixture f;
        f.state->setPlaylists(library);
        f.library->savePlaylists();
        ContentState reopened(f.defaults.store());
        PlaylistLibrary(reopened).loadPlaylists();
        QVERIFY(reopened.playlists() == library);
    }

    void unreadableValueIsKeptAside_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not JSON") << QVariant(QByteArray("{\"Drills\": [\"file:///a.mp3\"")) << "not JSON";
        QTest::newRow("array") << QVariant(QByteArray("[\"file:///a.mp3\"]")) << "found an array";
        QTest::newRow("item not a string") << QVariant(QByteArray("{\"Drills\":[1]}")) << "found a number";
        QTest::newRow("empty bytes") << QVariant(QByteArray("")) << "not JSON";
        QTest::newRow("text, not bytes") << QVariant(QStringLiteral("{}")) << "QString";
    }

    void unreadableValueIsKeptAside()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, reason);
        LibraryFixture f;
        f.defaults.store().setValue(ContentState::playlistsKey, value);
        f.library->loadPlaylists();

        const QStringList lines = f.log.lines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith(QStringLiteral("Error loading playlists: ")), qPrintable(lines[0]));
        QVERIFY2(lines[0].contains(reason), qPrintable(lines[0]));
        QVERIFY2(lines[0].endsWith(QStringLiteral("; the unreadable value is kept under \"unreadablePlaylists/1\" in ") +
                                   f.defaults.filePath()),
                 qPrintable(lines[0]));
        QVERIFY(f.state->playlists().isEmpty());
        QCOMPARE(f.state->currentPlaylist(), QString());

        // The next save replaces "playlists", and the copy is still there, on disk.
        f.state->setNewPlaylistName(QStringLiteral("Fresh"));
        f.library->addPlaylist();
        DefaultsStore onDisk(f.defaults.filePath());
        QCOMPARE(onDisk.value(QStringLiteral("unreadablePlaylists/1")), value);
        QCOMPARE(onDisk.data(ContentState::playlistsKey), QByteArray("{\"Fresh\":[]}"));
    }

    void laterUnreadableValuesGetNewCopies()
    {
        LibraryFixture f("not json, first");
        f.library->loadPlaylists();
        f.library->loadPlaylists();  // a restart meeting the same value keeps one copy
        QVERIFY(!f.defaults.store().contains(QStringLiteral("unreadablePlaylists/2")));

        f.defaults.store().setData(ContentState::playlistsKey, "[\"second\"]");
        f.library->loadPlaylists();
        QVERIFY(f.log.lines().last().contains(QStringLiteral("\"unreadablePlaylists/2\"")));
        QCOMPARE(f.defaults.store().data(QStringLiteral("unreadablePlaylists/1")), QByteArray("not json, first"));
        QCOMPARE(f.defaults.store().data(QStringLiteral("unreadablePlaylists/2")), QByteArray("[\"second\"]"));
    }

    // The copy cannot be written yet: the stored value must still not be lost,
    // so it goes to disk together with the save that replaces it.
    void copyThatCannotBeWrittenGoesWithTheNextSave()
    {
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("config"));
        const QString path = folder + QStringLiteral("/Rivetone.ini");
        QVERIFY(QDir().mkpath(folder));
        writeFile(path, "[General]\nplaylists=@ByteArray(oops)\n");
        DefaultsStore store(path);
        ContentState state(store);
        PlaylistLibrary library(state);
        Log::Capture log;

        // The folder goes away and a file takes its place: no write can succeed (also for root).
        QVERIFY(QDir().rename(folder, folder + QStringLiteral(".away")));
        writeFile(folder, "in the way");
        library.loadPlaylists();
        QVERIFY2(log.lines().value(0).contains(QStringLiteral("stays under \"playlists\" and goes to "
                                                              "\"unreadablePlaylists/1\"")),
                 qPrintable(log.lines().value(0)));
        state.setNewPlaylistName(QStringLiteral("New"));
        library.addPlaylist();
        QVERIFY(log.lines().value(1).startsWith(QStringLiteral("Error saving playlists: ")));

        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().rename(folder + QStringLiteral(".away"), folder));
        library.savePlaylists();
        QCOMPARE(log.lines().value(3), QStringLiteral("Playlists saved: [\"New\"]"));
        DefaultsStore onDisk(path);
        QCOMPARE(onDisk.data(QStringLiteral("unreadablePlaylists/1")), QByteArray("oops"));
        QCOMPARE(onDisk.data(ContentState::playlistsKey), QByteArray("{\"New\":[]}"));
    }

    void failedSaveIsReportedAndTheChangeStands_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("reason");
        QTest::newRow("directory in the file's place") << "directory" << "it is a directory";
        QTest::newRow("below a regular file") << "below file" << "cannot be created";
        QTest::newRow("read-only folder") << "read-only folder" << "the folder is read-only";
        QTest::newRow("read-only file") << "read-only file" << "the file is read-only";
    }

    void failedSaveIsReportedAndTheChangeStands()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, reason);
        const bool needsPermissions = obstacle.startsWith(QStringLiteral("read-only"));
        if (needsPermissions && geteuid() == 0)
            QSKIP("permissions are not enforced for root");

        QTemporaryDir root;
        QString path = root.filePath(QStringLiteral("Rivetone.ini"));
        if (obstacle == QStringLiteral("directory")) {
            QVERIFY(QDir().mkpath(path));
        } else if (obstacle == QStringLiteral("below file")) {
            writeFile(root.filePath(QStringLiteral("file")), "x");
            path = root.filePath(QStringLiteral("file/Rivetone.ini"));
        } else if (obstacle == QStringLiteral("read-only file")) {
            writeFile(path, "[General]\n");
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        } else {
            QVERIFY(QFile::setPermissions(root.path(), QFile::ReadOwner | QFile::ExeOwner));
        }

        DefaultsStore store(path);
        ContentState state(store);
        PlaylistLibrary library(state);
        Log::Capture log;
        state.setNewPlaylistName(QStringLiteral("Drills"));
        library.addPlaylist();
        QFile::setPermissions(root.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        const QStringList lines = log.lines();
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(QStringLiteral("Error saving playlists: cannot write ")), qPrintable(lines[0]));
        QVERIFY2(lines[0].contains(reason), qPrintable(lines[0]));
        QCOMPARE(lines[1], QStringLiteral("Added playlist: Drills"));
        QVERIFY(state.playlists().contains(QStringLiteral("Drills")));
        QCOMPARE(state.currentPlaylist(), QStringLiteral("Drills"));
    }

    void storeRecoversAfterAFailedWrite()
    {
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("config"));
        writeFile(folder, "in the way");
        DefaultsStore store(folder + QStringLiteral("/Rivetone.ini"));
        QString error;
        QVERIFY(!store.setDouble(ContentState::seekIntervalKey, 5, &error));
        QVERIFY(!error.isEmpty());

        QVERIFY(QFile::remove(folder));
        QVERIFY2(store.setData(ContentState::playlistsKey, "{}", &error), qPrintable(error));
        DefaultsStore onDisk(store.filePath());
        QCOMPARE(onDisk.doubleValue(ContentState::seekIntervalKey), 5.0);  // the earlier value went along
        QCOMPARE(onDisk.data(ContentState::playlistsKey), QByteArray("{}"));
    }

    void seekIntervalAtStart_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("seconds");
        QTest::newRow("none") << QVariant() << 2.0;
        QTest::newRow("zero") << QVariant(0.0) << 2.0;
        QTest::newRow("five") << QVariant(5.0) << 5.0;
        QTest::newRow("half") << QVariant(0.5) << 0.5;
        QTest::newRow("negative") << QVariant(-3.0) << -3.0;
        QTest::newRow("shortest digits") << QVariant(0.1 + 0.2) << 0.1 + 0.2;
        QTest::newRow("text") << QVariant(QStringLiteral("soon")) << 2.0;
        QTest::newRow("not a number") << QVariant(QStringLiteral("nan")) << 2.0;
    }

    void seekIntervalAtStart()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, seconds);
        TemporaryDefaults defaults;
        if (stored.isValid())
            defaults.store().setValue(ContentState::seekIntervalKey, stored);
        DefaultsStore reopened(defaults.filePath());
        QCOMPARE(ContentState(reopened).seekInterval(), seconds);
    }
};

QTEST_GUILESS_MAIN(PlaylistPersistenceTest)
#include "tst_playlist_persistence.moc"
