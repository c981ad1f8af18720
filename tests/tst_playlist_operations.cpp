#include "LibraryFixture.h"
#include "library/AudioFilePicker.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QTest>

namespace {

const QUrl mp3 = fixtureUrl(QStringLiteral("sine-5s.mp3"));
const QUrl m4a = fixtureUrl(QStringLiteral("sine-5s.m4a"));
const QUrl missing = QUrl::fromLocalFile(QStringLiteral("/nonexistent/Unit 9.mp3"));
const QString stopLine = QStringLiteral("Stop: currentTime=0.0, loop cleared");

// A window after start-up with the given playlists stored, current and open,
// as loading makes it; the log is empty afterwards.
struct Window : LibraryFixture {
    explicit Window(const std::map<QString, TrackList>& playlists = {})
    {
        Playlists library;
        for (const auto& [name, tracks] : playlists)
            library.insert(name, tracks);
        defaults.store().setData(ContentState::playlistsKey, PlaylistCodec::encode(library));
        this->library->loadPlaylists();
        log.clear();
    }
    QStringList lines() const { return log.lines(); }
};

PlaylistNameSet nameSet(const QStringList& names)
{
    PlaylistNameSet set;
    for (const QString& name : names)
        set.insert(name);
    return set;
}

}  // namespace

class PlaylistOperationsTest : public QObject {
    Q_OBJECT

private slots:
    void creatingTrimsSelectsAndKeepsPlaying()
    {
        Window w({{QStringLiteral("Songs"), {mp3}}});
        w.library->playTrackInPlaylist(QStringLiteral("Songs"), mp3);
        w.log.clear();
        w.state->setShowNewPlaylistPrompt(true);
        w.state->setNewPlaylistName(QStringLiteral("\u3000 Unit 1 drills\u2028\t\u00a0\n"));
        w.library->addPlaylist();

        const QString name = QStringLiteral("Unit 1 drills");
        QCOMPARE(w.lines(), (QStringList{QStringLiteral("Playlists saved: [\"Songs\", \"Unit 1 drills\"]"),
                                         QStringLiteral("Added playlist: ") + name}));
        QVERIFY(w.state->playlists().find(name)->isEmpty());
        QCOMPARE(w.state->currentPlaylist(), name);
        QCOMPARE(w.state->expandedPlaylists(), nameSet({QStringLiteral("Songs"), name}));
        QVERIFY(w.player().playlist().isEmpty());
        QVERIFY(w.player().isPlaying());
        QCOMPARE(w.player().currentTrack(), std::optional<QUrl>(mp3));
        QCOMPARE(w.state->newPlaylistName(), QString());
        QVERIFY(!w.state->showNewPlaylistPrompt());
        QVERIFY(w.stored() == w.state->playlists());
    }

    void creatingRejectsEmptyAndDuplicateNames_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("only spaces") << "\u2003\u3000 \t\u2029\u0085" << "";
        QTest::newRow("same name") << "Drills" << "Drills";
        QTest::newRow("same with spaces around") << "  Drills\n" << "Drills";
        QTest::newRow("equivalent spelling") << "Cafe\u0301" << "Cafe\u0301";
    }

    void creatingRejectsEmptyAndDuplicateNames()
    {
        QFETCH(QString, typed);
        QFETCH(QString, trimmed);
        Window w({{QStringLiteral("Drills"), {mp3}}, {QStringLiteral("Caf\u00e9"), {}}});
        const Playlists before = w.state->playlists();
        w.state->setShowNewPlaylistPrompt(true);
        w.state->setNewPlaylistName(typed);
        w.library->addPlaylist();
        QCOMPARE(w.lines(), QStringList{QStringLiteral("Invalid or duplicate playlist name: ") + trimmed});
        QVERIFY(w.state->playlists() == before);
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("Caf\u00e9"));
        QCOMPARE(w.state->newPlaylistName(), typed);
        QVERIFY(w.state->showNewPlaylistPrompt());
    }

    void deletingSwitchesToTheFirstRemainingName()
    {
        Window w({{QStringLiteral("B"), {m4a}}, {QStringLiteral("C"), {mp3}}, {QStringLiteral("a"), {}}});
        w.library->setPlaylistExpanded(QStringLiteral("a"), true);
        w.library->playTrackInPlaylist(QStringLiteral("C"), mp3);
        w.log.clear();
        w.library->deletePlaylist();
        QCOMPARE(w.lines(), (QStringList{QStringLiteral("Playlists saved: [\"B\", \"a\"]"),
                                         QStringLiteral("Deleted playlist, switched to: B")}));
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("B"));
        QCOMPARE(w.state->expandedPlaylists(), nameSet({QStringLiteral("B"), QStringLiteral("a")}));
        QCOMPARE(w.player().playlist(), TrackList{m4a});
        QVERIFY(w.player().isPlaying());  // the deleted playlist's track plays on
        QVERIFY(w.stored() == w.state->playlists());
    }

    void deletingTheOnlyPlaylistLeavesNothing()
    {
        Window w({{QStringLiteral("Only"), {mp3}}});
        w.library->deletePlaylist();
        QCOMPARE(w.lines(), (QStringList{QStringLiteral("Playlists saved: []"),
                                         QStringLiteral("Deleted playlist, switched to: ")}));
        QVERIFY(w.state->playlists().isEmpty());
        QCOMPARE(w.state->currentPlaylist(), QString());
        QVERIFY(w.state->expandedPlaylists().isEmpty());
        QVERIFY(w.player().playlist().isEmpty());
        QCOMPARE(w.defaults.store().data(ContentState::playlistsKey), QByteArray("{}"));
    }

    void deletingMayLandOnTheEmptyName()
    {
        Window w({{QString(), {m4a}}, {QStringLiteral("Z"), {}}});
        w.library->setPlaylistExpanded(QStringLiteral("Z"), true);
        w.library->setPlaylistExpanded(QString(), false);
        w.library->deletePlaylist();
        QCOMPARE(w.state->currentPlaylist(), QString());
        QCOMPARE(w.state->expandedPlaylists(), nameSet({QString()}));  // its row opens like any other
        QCOMPARE(w.player().playlist(), TrackList{m4a});
    }

    void openingARowSelectsItAndStops_data()
    {
        QTest::addColumn<bool>("byLabel");
        QTest::newRow("disclosure") << false;
        QTest::newRow("label") << true;
    }

    void openingARowSelectsItAndStops()
    {
        QFETCH(bool, byLabel);
        Window w({{QStringLiteral("A"), {mp3}}, {QStringLiteral("B"), {m4a, mp3}}});
        w.library->playTrackInPlaylist(QStringLiteral("A"), mp3);
        w.player().setLoopStart(1.0);
        w.player().setLoopEnd(2.0);
        w.log.clear();
        if (byLabel)
            w.library->togglePlaylistExpansion(QStringLiteral("B"));
        else
            w.library->setPlaylistExpanded(QStringLiteral("B"), true);

        const QString prefix = byLabel ? QStringLiteral("Toggled playlist via label: ") : QStringLiteral("Selected playlist: ");
        QCOMPARE(w.lines(), (QStringList{stopLine, prefix + QStringLiteral("B")}));
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("B"));
        QCOMPARE(w.state->expandedPlaylists(), nameSet({QStringLiteral("A"), QStringLiteral("B")}));
        QVERIFY(w.library->isPlaylistExpanded(QStringLiteral("B")));
        QCOMPARE(w.player().playlist(), (TrackList{m4a, mp3}));
        QVERIFY(!w.player().isPlaying());
        QVERIFY(!w.player().loopStart() && !w.player().loopEnd());
    }

    void openingAnOpenRowAgainStopsAgain()
    {
        Window w({{QStringLiteral("A"), {mp3}}});
        w.library->setPlaylistExpanded(QStringLiteral("A"), true);
        QCOMPARE(w.lines(), (QStringList{stopLine, QStringLiteral("Selected playlist: A")}));
    }

    void closingARowChangesNothingElse()
    {
        Window w({{QStringLiteral("A"), {mp3}}, {QStringLiteral("B"), {m4a}}});
        w.library->setPlaylistExpanded(QStringLiteral("B"), true);
        w.library->playTrackInPlaylist(QStringLiteral("B"), m4a);
        w.log.clear();
        w.library->setPlaylistExpanded(QStringLiteral("B"), false);
        w.library->togglePlaylistExpansion(QStringLiteral("A"));
        QVERIFY(w.lines().isEmpty());
        QVERIFY(w.state->expandedPlaylists().isEmpty());
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("B"));
        QCOMPARE(w.player().playlist(), TrackList{m4a});
        QVERIFY(w.player().isPlaying());
    }

    void playingARowSelectsItsPlaylist()
    {
        Window w({{QStringLiteral("A"), {mp3}}, {QStringLiteral("B"), {missing, m4a, mp3, m4a}}});
        w.library->playTrackInPlaylist(QStringLiteral("B"), m4a);
        QCOMPARE(w.lines(), (QStringList{stopLine, QStringLiteral("Playing: sine-5s.m4a")}));
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("B"));
        QCOMPARE(w.player().playlist(), (TrackList{missing, m4a, mp3, m4a}));
        QCOMPARE(w.player().currentTrack(), std::optional<QUrl>(m4a));
        QCOMPARE(w.state->expandedPlaylists(), nameSet({QStringLiteral("A")}));
        QVERIFY(w.player().player()->duration() > 4.9);
    }

    void playingWhatIsNotThereSelectsButPlaysNothing()
    {
        Window w({{QStringLiteral("A"), {mp3}}, {QStringLiteral("B"), {m4a}}});
        w.library->playTrackInPlaylist(QStringLiteral("B"), mp3);
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("B"));
        QCOMPARE(w.player().playlist(), TrackList{m4a});
        w.library->playTrackInPlaylist(QStringLiteral("Gone"), mp3);
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("Gone"));
        QVERIFY(w.player().playlist().isEmpty());
        QVERIFY(w.lines().isEmpty());
        QVERIFY(!w.player().player());
    }

    void aMissingFileStaysAndReportsWhenPlayed()
    {
        Window w({{QStringLiteral("A"), {missing, mp3}}});
        const Playlists before = w.state->playlists();
        w.library->playTrackInPlaylist(QStringLiteral("A"), missing);
        const QStringList lines = w.lines();
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], stopLine);
        QVERIFY2(lines[1].startsWith(QStringLiteral("Error playing track: ")), qPrintable(lines[1]));
        QVERIFY(!w.player().isPlaying());
        QVERIFY(w.state->playlists() == before);
        QVERIFY(w.stored() == before);
    }

    void addedFilesStartPlaybackWhenNothingWasLoaded()
    {
        Window w({{QStringLiteral("Drills"), {}}, {QStringLiteral("Songs"), {}}});
        w.library->setPlaylistExpanded(QStringLiteral("Songs"), false);
        w.log.clear();
        w.library->addPickedFiles(QDialog::Accepted, {mp3, m4a, mp3});
        QCOMPARE(w.lines(), (QStringList{QStringLiteral("Playlists saved: [\"Drills\", \"Songs\"]"), stopLine,
                                         QStringLiteral("Playing: sine-5s.mp3"),
                                         QStringLiteral("Added files to Drills: [\"sine-5s.mp3\", \"sine-5s.m4a\", "
                                                        "\"sine-5s.mp3\"]")}));
        QCOMPARE(w.state->playlists().tracks(QStringLiteral("Drills")), (TrackList{mp3, m4a, mp3}));
        QCOMPARE(w.player().playlist(), (TrackList{mp3, m4a, mp3}));
        QVERIFY(w.state->expandedPlaylists().contains(QStringLiteral("Drills")));
        QVERIFY(w.stored() == w.state->playlists());
    }

    void addedFilesPlayTheOldestTrackFirst()
    {
        Window w({{QStringLiteral("Drills"), {m4a}}});
        w.library->addPickedFiles(QDialog::Accepted, {mp3});
        QCOMPARE(w.lines().value(2), QStringLiteral("Playing: sine-5s.m4a"));
    }

    void addedFilesDoNotStartPlaybackOnceATrackWasLoaded()
    {
        Window w({{QStringLiteral("Drills"), {m4a}}});
        w.library->playTrackInPlaylist(QStringLiteral("Drills"), m4a);
        w.player().stop();
        w.log.clear();
        w.library->addPickedFiles(QDialog::Accepted, {missing});
        QCOMPARE(w.lines(), (QStringList{QStringLiteral("Playlists saved: [\"Drills\"]"),
                                         QStringLiteral("Added files to Drills: [\"Unit 9.mp3\"]")}));
        QCOMPARE(w.player().playlist(), (TrackList{m4a, missing}));
        QVERIFY(!w.player().isPlaying());
    }

    void cancelledPickChangesNothing()
    {
        Window w({{QStringLiteral("Drills"), {m4a}}});
        w.library->addPickedFiles(QDialog::Rejected, {mp3});
        QVERIFY(w.lines().isEmpty());
        QCOMPARE(w.state->playlists().tracks(QStringLiteral("Drills")), TrackList{m4a});
        QVERIFY(!w.player().player());
    }

    void pickAfterTheLastPlaylistWentMakesTheEmptyName()
    {
        Window w({{QStringLiteral("Only"), TrackList()}});
        w.library->deletePlaylist();
        w.log.clear();
        w.library->addPickedFiles(QDialog::Accepted, {missing});
        QCOMPARE(w.lines().first(), QStringLiteral("Playlists saved: [\"\"]"));
        QCOMPARE(w.lines().last(), QStringLiteral("Added files to : [\"Unit 9.mp3\"]"));
        QCOMPARE(w.state->currentPlaylist(), QString());
        QCOMPARE(w.state->expandedPlaylists(), nameSet({QString()}));
        QCOMPARE(w.stored().tracks(QString()), TrackList{missing});
    }

    void addFilesOpensANonModalAudioDialog()
    {
        Window w({{QStringLiteral("A"), {}}, {QStringLiteral("B"), {}}});
        QWidget window;
        window.show();
        w.library->addFiles(&window);
        w.library->addFiles(&window);  // each use makes its own dialog
        const QList<QFileDialog*> dialogs = window.findChildren<QFileDialog*>();
        QCOMPARE(dialogs.size(), 2);
        QFileDialog* dialog = dialogs.first();
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->isWindow());
        QCOMPARE(dialog->windowModality(), Qt::NonModal);
        QVERIFY(!dialog->isModal());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(dialog->mimeTypeFilters(), (QStringList{QStringLiteral("audio/mpeg"), QStringLiteral("audio/mp4")}));
        const QString shown = dialog->selectedNameFilter();
        for (const char* pattern : {"*.mp3", "*.m4a", "*.m4b"})
            QVERIFY2(shown.contains(QLatin1String(pattern)), qPrintable(shown));

        // Cancelling: the completion runs with a cancel, changes nothing, and the dialog goes.
        QPointer<QFileDialog> cancelled(dialog);
        dialog->close();
        QTRY_VERIFY(!cancelled);
        QVERIFY(w.lines().isEmpty());
        QVERIFY(w.stored() == w.state->playlists());

        // Choosing: the files go to the playlist that is current when the dialog closes.
        QPointer<QFileDialog> chosen(dialogs.last());
        w.library->setPlaylistExpanded(QStringLiteral("B"), true);
        chosen->setDirectory(fixturePath(QString()));
        // As the user would type them into the file name field, in this order.
        auto* fileNames = chosen->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(fileNames);
        fileNames->setText(QStringLiteral("\"sine-5s.m4a\" \"sine-5s.mp3\""));
        static_cast<QDialog*>(chosen.data())->accept();
        QTRY_VERIFY(!chosen);
        QCOMPARE(w.state->playlists().tracks(QStringLiteral("B")), (TrackList{m4a, mp3}));
        QVERIFY(w.state->playlists().tracks(QStringLiteral("A")).isEmpty());
        QCOMPARE(w.lines().last(), QStringLiteral("Added files to B: [\"sine-5s.m4a\", \"sine-5s.mp3\"]"));
    }

    // The dialog opens where the next lesson most likely is: beside the
    // current playlist's last track that still has a folder.
    void addingStartsBesideThePlaylistsLastTrack()
    {
        const QUrl gone = QUrl::fromLocalFile(QStringLiteral("/no/such/folder/Unit 3.mp3"));
        Window w({{QStringLiteral("A"), {fixtureUrl(QStringLiteral("sine-5s.mp3")), gone}}, {QStringLiteral("B"), {}}});
        QWidget window;
        window.show();
        w.library->setPlaylistExpanded(QStringLiteral("A"), true);
        w.library->addFiles(&window);
        w.library->setPlaylistExpanded(QStringLiteral("B"), true);
        w.library->addFiles(&window);
        const QList<QFileDialog*> dialogs = window.findChildren<QFileDialog*>();
        QCOMPARE(dialogs.size(), 2);
        QCOMPARE(QFileInfo(dialogs.at(0)->directory().absolutePath()), QFileInfo(fixturePath(QString())));
        QCOMPARE(dialogs.at(1)->directory().absolutePath(), QDir::homePath());
        qDeleteAll(dialogs);
    }

    void dialogGoesWithTheLibraryAndNothingRuns()
    {
        auto context = std::make_unique<QObject>();
        bool ran = false;
        QPointer<QFileDialog> dialog = AudioFilePicker::show(nullptr, QString(), context.get(), [&](int, const QList<QUrl>&) { ran = true; });
        context.reset();
        QTRY_VERIFY(!dialog);
        QVERIFY(!ran);
    }
};

QTEST_MAIN(PlaylistOperationsTest)
#include "tst_playlist_operations.moc"
