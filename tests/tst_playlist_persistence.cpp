#include "LibraryFixture.h"

#include <QTest>

#include <tuple>

// The start-up state of the window: the library as loaded, and the seek interval.
// Damaged and unwritable settings are the settings fault tests' part.
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

    // Track strings that cannot be read are kept under a key of their own,
    // said in one line, and never erased by a save; hand-edited forms that
    // mean one file are read; playlists stored twice under one name are joined.
    void whatCannotBeReadIsKeptAndNeverErased()
    {
        LibraryFixture f("{\"Drills\":[\"file:///home/u/Unit 1.mp3\",\"::\",\"/home/u/Unit 2.mp3\"],"
                         "\"Drills\":[\"file:///home/u/100%.mp3\",\"http://[::1\"]}");
        f.library->loadPlaylists();
        const QString file = f.defaults.filePath();
        QCOMPARE(f.log.lines(),
                 (QStringList{QStringLiteral("Tracks that cannot be read: 2 in [\"Drills\"], kept under "
                                             "\"unreadableTracks/1\" in ") + file,
                              QStringLiteral("Playlists stored more than once under one name are joined, no track "
                                             "lost: [\"Drills\"]"),
                              QStringLiteral("Playlists loaded: [\"Drills\"]")}));
        QCOMPARE(f.state->playlists().tracks(QStringLiteral("Drills")),
                 (TrackList{QUrl::fromLocalFile(QStringLiteral("/home/u/Unit 1.mp3")),
                            QUrl::fromLocalFile(QStringLiteral("/home/u/Unit 2.mp3")),
                            QUrl::fromLocalFile(QStringLiteral("/home/u/100%.mp3"))}));
        f.library->savePlaylists();
        f.defaults.store().finishWrites();
        DefaultsStore onDisk(file);
        QCOMPARE(onDisk.data(QStringLiteral("unreadableTracks/1")), QByteArray("{\"Drills\":[\"::\",\"http://[::1\"]}"));
        // The next start finds everything readable: no second copy, no line.
        Log::Capture again;
        ContentState state(onDisk);
        PlaylistLibrary library(state);
        library.loadPlaylists();
        QCOMPARE(again.lines(), QStringList{QStringLiteral("Playlists loaded: [\"Drills\"]")});
        QVERIFY(!onDisk.contains(QStringLiteral("unreadableTracks/2")));
    }

    void seekIntervalAtStart()
    {
        // Only the steps the menu offers are taken; anything else (a negative
        // step would turn the arrows around) counts as never chosen, and stays
        // in the file as it was.
        const std::tuple<QVariant, double, bool> cases[] = {
            {QVariant(), 2.0, false},    {0.0, 2.0, false},  {5.0, 5.0, false},   {10.0, 10.0, false},
            {1.0, 1.0, false},           {-3.0, 2.0, true},  {0.5, 2.0, true},    {1e300, 2.0, true},
            {QStringLiteral("soon"), 2.0, false}, {QStringLiteral("nan"), 2.0, false}};
        for (const auto& [stored, seconds, told] : cases) {
            TemporaryDefaults defaults;
            if (stored.isValid())
                defaults.store().setValue(ContentState::seekIntervalKey, stored);
            defaults.store().finishWrites();
            DefaultsStore reopened(defaults.filePath());
            Log::Capture log;
            QCOMPARE(ContentState(reopened).seekInterval(), seconds);
            QCOMPARE(reopened.value(ContentState::seekIntervalKey).toString(), stored.toString());
            QCOMPARE(log.lines().size(), int(told));  // one line says what was not taken
        }
    }
};

QTEST_GUILESS_MAIN(PlaylistPersistenceTest)
#include "tst_playlist_persistence.moc"
