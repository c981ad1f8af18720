#include "LibraryFixture.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A store, state and library on the settings file at path, with the log captured.
struct OnFile {
    explicit OnFile(const QString& path)
        : store(path)
        , state(store)
        , library(state)
    {
    }
    DefaultsStore store;
    ContentState state;
    PlaylistLibrary library;
    Log::Capture log;
};

}  // namespace

// Loading and storing the library, and the start-up state of the window.
class PlaylistPersistenceTest : public QObject {
    Q_OBJECT

private slots:
    // Selected and opened (and nothing else open): the first name in order,
    // even the empty one; nothing plays and nothing is stored.
    void loadSelectsTheFirstNameInOrder_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("line");
        QTest::newRow("names") << QByteArray("{\"beta\":[\"file:///m/x.mp3\"],\"Alpha\":[\"file:///m/a1.mp3\","
                                             "\"file:///m/a2.m4a\"],\"alpha\":[\"file:///m/x.mp3\"]}")
                               << "Alpha" << "Playlists loaded: [\"Alpha\", \"alpha\", \"beta\"]";
        QTest::newRow("empty name") << QByteArray("{\"Songs\":[],\"\":[\"file:///m/a1.mp3\",\"file:///m/a2.m4a\"]}")
                                    << "" << "Playlists loaded: [\"\", \"Songs\"]";
    }

    void loadSelectsTheFirstNameInOrder()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, first);
        QFETCH(QString, line);
        LibraryFixture f(stored);
        PlaylistNameSet open;
        open.insert(QStringLiteral("beta"));
        f.state->setExpandedPlaylists(open);
        f.library->loadPlaylists();
        QCOMPARE(f.state->currentPlaylist(), first);
        QCOMPARE(f.state->expandedPlaylists().names(), QStringList{first});
        QCOMPARE(f.player().playlist(),
                 (TrackList{QUrl(QStringLiteral("file:///m/a1.mp3")), QUrl(QStringLiteral("file:///m/a2.m4a"))}));
        QVERIFY(!f.player().isPlaying() && !f.player().player());
        QCOMPARE(f.log.lines(), QStringList{line});
        QCOMPARE(f.defaults.store().data(ContentState::playlistsKey), stored);
    }

    void unreadableValueIsKeptAside_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not JSON") << QVariant(QByteArray("{\"Drills\": [\"file:///a.mp3\"")) << "not JSON";
        QTest::newRow("item not a string") << QVariant(QByteArray("{\"Drills\":[1]}")) << "found a number";
        QTest::newRow("text, not bytes") << QVariant(QStringLiteral("{}")) << "QString";
    }

    // Kept under a key of its own before anything can overwrite it; once per
    // value, however often it is met, and each new one under the next number.
    void unreadableValueIsKeptAside()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, reason);
        LibraryFixture f;
        f.defaults.store().setValue(ContentState::playlistsKey, value);
        f.library->loadPlaylists();
        f.library->loadPlaylists();
        const QString line = f.log.lines().value(1);
        QCOMPARE(f.log.lines().size(), 2);
        QVERIFY2(line.startsWith(QStringLiteral("Error loading playlists: ")), qPrintable(line));
        QVERIFY2(line.contains(reason), qPrintable(line));
        QVERIFY2(line.endsWith(QStringLiteral("; the unreadable value is kept under \"unreadablePlaylists/1\" in ") +
                               f.defaults.filePath()),
                 qPrintable(line));
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

    // The copy cannot be written yet: the stored value must still not be lost,
    // so it goes to disk with the first save that succeeds, after one failed.
    void copyThatCannotBeWrittenGoesWithTheNextSave()
    {
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("config"));
        const QString path = folder + QStringLiteral("/Rivetone.ini");
        QVERIFY(QDir().mkpath(folder));
        writeFile(path, "[General]\nplaylists=@ByteArray(oops)\n");
        OnFile run(path);

        // A file in the folder's place: no write can succeed (also for root).
        QVERIFY(QDir().rename(folder, folder + QStringLiteral(".away")));
        writeFile(folder, "in the way");
        run.library.loadPlaylists();
        QVERIFY2(run.log.lines().value(0).contains(QStringLiteral("stays under \"playlists\" and goes to "
                                                                  "\"unreadablePlaylists/1\"")),
                 qPrintable(run.log.lines().value(0)));
        run.state.setNewPlaylistName(QStringLiteral("New"));
        run.library.addPlaylist();
        QCOMPARE(run.log.lines().value(1), QStringLiteral("Error saving playlists: cannot write %1: the folder %2 "
                                                          "cannot be created").arg(path, folder));

        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().rename(folder + QStringLiteral(".away"), folder));
        run.library.savePlaylists();
        QCOMPARE(run.log.lines().value(3), QStringLiteral("Playlists saved: [\"New\"]"));
        DefaultsStore onDisk(path);
        QCOMPARE(onDisk.data(QStringLiteral("unreadablePlaylists/1")), QByteArray("oops"));
        QCOMPARE(onDisk.data(ContentState::playlistsKey), QByteArray("{\"New\":[]}"));
    }

    // Read-only files and folders: see the settings fault tests.
    void failedSaveIsReportedAndTheChangeStands()
    {
        QTemporaryDir root;
        const QString path = root.filePath(QStringLiteral("Rivetone.ini"));
        QVERIFY(QDir().mkpath(path));
        OnFile run(path);
        run.state.setNewPlaylistName(QStringLiteral("Drills"));
        run.library.addPlaylist();
        QCOMPARE(run.log.lines(),
                 (QStringList{QStringLiteral("Error saving playlists: cannot write %1: it is a directory").arg(path),
                              QStringLiteral("Added playlist: Drills")}));
        QCOMPARE(run.state.currentPlaylist(), QStringLiteral("Drills"));
    }

    void seekIntervalAtStart()
    {
        const std::pair<QVariant, double> cases[] = {
            {QVariant(), 2.0}, {0.0, 2.0}, {5.0, 5.0}, {-3.0, -3.0}, {0.1 + 0.2, 0.1 + 0.2},  // shortest digits
            {QStringLiteral("soon"), 2.0}, {QStringLiteral("nan"), 2.0}};
        for (const auto& [stored, seconds] : cases) {
            TemporaryDefaults defaults;
            if (stored.isValid())
                defaults.store().setValue(ContentState::seekIntervalKey, stored);
            DefaultsStore reopened(defaults.filePath());
            QCOMPARE(ContentState(reopened).seekInterval(), seconds);
        }
    }
};

QTEST_GUILESS_MAIN(PlaylistPersistenceTest)
#include "tst_playlist_persistence.moc"
