#include "ui/screens/AudioFilePicker.h"
#include "LibraryFixture.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

namespace {

const QUrl mp3 = fixtureUrl(QStringLiteral("sine-5s.mp3"));
const QUrl m4a = fixtureUrl(QStringLiteral("sine-5s.m4a"));
const QUrl missing = QUrl::fromLocalFile(QStringLiteral("/nonexistent/Unit 9.mp3"));
const QString A = QStringLiteral("A");
const QString B = QStringLiteral("B");

// A window after start-up with these playlists stored, the first one current
// and open as loading makes it; the log is empty afterwards.
struct Window : LibraryFixture {
    explicit Window(const std::map<QString, TrackList>& playlists)
    {
        defaults.store().setData(ContentState::playlistsKey, encoded(playlists));
        this->library->loadPlaylists();
        log.clear();
    }
    void play(const QString& name, const QUrl& track)
    {
        library->playTrackInPlaylist(name, track);
        log.clear();
    }
    QStringList lines() const { return log.lines(); }
    QStringList open() const { return state->expandedPlaylists().names(); }
};

}  // namespace

class PlaylistOperationsTest : public QObject {
    Q_OBJECT

private slots:
    void creatingRejectsEmptyAndDuplicateNamesAndTrimsTheRest()
    {
        Window w({{QStringLiteral("Caf\u00e9"), {mp3}}});
        w.play(QStringLiteral("Caf\u00e9"), mp3);
        w.state->setShowNewPlaylistPrompt(true);
        const std::pair<QString, QString> rejected[] = {
            {QString(), QString()}, {QStringLiteral("\u2003\u3000 \t\u2029\u0085"), QString()},
            {QStringLiteral(" Cafe\u0301\n"), QStringLiteral("Cafe\u0301")}};
        for (const auto& [typed, trimmed] : rejected) {
            w.state->setNewPlaylistName(typed);
            w.library->addPlaylist();
            QCOMPARE(w.lines(), QStringList{QStringLiteral("Invalid or duplicate playlist name: ") + trimmed});
            QVERIFY(w.state->newPlaylistName() == typed && w.state->showNewPlaylistPrompt());
            QCOMPARE(w.state->playlists().size(), 1);
            w.log.clear();
        }

        w.state->setNewPlaylistName(QStringLiteral("\u3000 Unit 1\u2028\t\u00a0\n"));
        w.library->addPlaylist();
        QCOMPARE(w.lines(), (QStringList{QStringLiteral("Playlists saved: [\"Caf\u00e9\", \"Unit 1\"]"),
                                         QStringLiteral("Added playlist: Unit 1")}));
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("Unit 1"));
        QCOMPARE(w.open(), (QStringList{QStringLiteral("Caf\u00e9"), QStringLiteral("Unit 1")}));
        QVERIFY(w.player().playlist().isEmpty());
        QVERIFY(w.player().isPlaying());  // what played plays on
        QVERIFY(w.state->newPlaylistName().isEmpty() && !w.state->showNewPlaylistPrompt());
    }

    void deletingSwitchesToTheFirstRemainingName()
    {
        Window w({{B, {m4a}}, {QStringLiteral("C"), {mp3}}, {QStringLiteral("a"), {}}});
        w.library->setPlaylistExpanded(QStringLiteral("a"), true);
        w.play(QStringLiteral("C"), mp3);
        w.library->deletePlaylist();
        QCOMPARE(w.lines().last(), QStringLiteral("Deleted playlist, switched to: B"));
        QCOMPARE(w.stored().names(), (QStringList{B, QStringLiteral("a")}));
        QCOMPARE(w.state->currentPlaylist(), B);
        QCOMPARE(w.open(), (QStringList{B, QStringLiteral("a")}));
        QCOMPARE(w.player().playlist(), TrackList{m4a});
        QVERIFY(w.player().isPlaying());  // the deleted playlist's track plays on
    }

    // The empty name is a name like any other: next in order, its row opens;
    // files picked with no playlist left make one.
    void deletingDownToNothingAndTheEmptyName()
    {
        Window w({{QString(), {m4a}}, {QStringLiteral("Z"), {}}});
        w.library->setPlaylistExpanded(QStringLiteral("Z"), true);
        w.library->setPlaylistExpanded(QString(), false);
        w.library->deletePlaylist();
        QCOMPARE(w.state->currentPlaylist(), QString());
        QCOMPARE(w.open(), QStringList{QString()});
        QCOMPARE(w.player().playlist(), TrackList{m4a});

        w.library->deletePlaylist();
        QVERIFY(w.state->expandedPlaylists().isEmpty() && w.player().playlist().isEmpty());
        QCOMPARE(w.defaults.store().data(ContentState::playlistsKey), QByteArray("{}"));

        w.library->addPickedFiles(QDialog::Accepted, {missing});
        QCOMPARE(w.open(), QStringList{QString()});
        QCOMPARE(w.stored().tracks(QString()), TrackList{missing});
    }

    void rowsPlayOpenAndClose_data()
    {
        QTest::addColumn<bool>("byLabel");
        QTest::addColumn<QString>("line");
        QTest::newRow("chevron") << false << "Selected playlist: A";
        QTest::newRow("label") << true << "Toggled playlist via label: A";
    }

    // Playing a row selects its playlist; opening one, by its chevron or by
    // its label, selects it and stops, loop and all; closing one changes
    // nothing else.
    void rowsPlayOpenAndClose()
    {
        QFETCH(bool, byLabel);
        QFETCH(QString, line);
        Window w({{A, {mp3}}, {B, {missing, m4a, mp3}}});
        const auto setOpen = [&](bool open) {
            byLabel ? w.library->togglePlaylistExpansion(A) : w.library->setPlaylistExpanded(A, open);
        };
        setOpen(false);
        QVERIFY(w.lines().isEmpty());
        w.library->playTrackInPlaylist(B, m4a);
        QVERIFY(w.player().isPlaying() && w.player().currentTrack() == m4a);
        QCOMPARE(w.state->currentPlaylist(), B);
        QCOMPARE(w.player().playlist(), (TrackList{missing, m4a, mp3}));
        QVERIFY(w.open().isEmpty());

        w.player().setLoopStart(1.0);
        w.player().setLoopEnd(2.0);
        w.log.clear();
        setOpen(true);
        QVERIFY2(w.lines().endsWith(line), qPrintable(w.lines().join(u'|')));
        QCOMPARE(w.open(), QStringList{A});
        QCOMPARE(w.player().playlist(), TrackList{mp3});
        QVERIFY(!w.player().isPlaying() && !w.player().loopStart() && !w.player().loopEnd());

        w.play(B, mp3);
        setOpen(false);
        QVERIFY(w.lines().isEmpty() && w.open().isEmpty());
        QCOMPARE(w.state->currentPlaylist(), B);
        QVERIFY(w.player().isPlaying());
    }

    // Playback starts at the playlist's first track, not the first one added,
    // and only while nothing was loaded yet.
    void addedFilesStartPlaybackWhenNothingWasLoaded()
    {
        Window w({{A, {m4a}}, {B, {}}});
        w.library->setPlaylistExpanded(A, false);
        w.library->addPickedFiles(QDialog::Accepted, {mp3, m4a});
        QCOMPARE(w.lines().last(), QStringLiteral("Added files to A: [\"sine-5s.mp3\", \"sine-5s.m4a\"]"));
        QVERIFY(w.player().isPlaying() && w.player().currentTrack() == m4a);
        QCOMPARE(w.player().playlist(), (TrackList{m4a, mp3, m4a}));
        QCOMPARE(w.open(), QStringList{A});
        QVERIFY(w.stored() == w.state->playlists());

        w.player().stop();
        w.library->addPickedFiles(QDialog::Accepted, {missing});
        QVERIFY(!w.player().isPlaying());
        QCOMPARE(w.player().playlist(), (TrackList{m4a, mp3, m4a, missing}));
        QCOMPARE(w.stored().tracks(A), w.player().playlist());

        // A name typed into the dialog is taken whatever it is: what is no
        // audio by its name is left out, as from a drop, and said so.
        const QUrl notes = QUrl::fromLocalFile(QStringLiteral("/lessons/notes.txt"));
        w.log.clear();
        w.library->addPickedFiles(QDialog::Accepted, {notes, QUrl::fromLocalFile(QStringLiteral("/lessons/Unit 2.MP3"))});
        QCOMPARE(w.lines(), (QStringList{QStringLiteral("Left out, not MP3 or MPEG-4 audio: [\"notes.txt\"]"),
                                         QStringLiteral("Playlists saved: [\"A\", \"B\"]"),
                                         QStringLiteral("Added files to A: [\"Unit 2.MP3\"]")}));
        w.log.clear();
        w.library->addPickedFiles(QDialog::Accepted, {notes, QUrl(QStringLiteral("sftp://server/Unit 3.mp3"))});
        QCOMPARE(w.lines(), (QStringList{QStringLiteral("Left out, not MP3 or MPEG-4 audio: [\"notes.txt\"]"),
                                         QStringLiteral("Left out, not on this machine: [\"sftp://server/Unit 3.mp3\"]")}));
        QCOMPARE(w.stored().tracks(A).size(), 5);
        QVERIFY(w.stored() == w.state->playlists());
    }

    // Each use opens its own non-modal dialog, beside the current playlist's
    // last track that still has a folder, else at home; the files chosen go to
    // the playlist that is current when it closes.
    void addFilesOpensANonModalAudioDialog()
    {
        Window w({{A, {mp3, QUrl::fromLocalFile(QStringLiteral("/no/such/folder/Unit 3.mp3"))}}, {B, {}}});
        QWidget window;
        window.show();
        AudioFilePicker::addTo(*w.library, &window);
        w.library->setPlaylistExpanded(B, true);
        AudioFilePicker::addTo(*w.library, &window);
        const QList<QFileDialog*> dialogs = window.findChildren<QFileDialog*>();
        QCOMPARE(dialogs.size(), 2);
        QCOMPARE(QFileInfo(dialogs.at(0)->directory().absolutePath()), QFileInfo(fixturePath(QString())));
        QCOMPARE(dialogs.at(1)->directory().absolutePath(), QDir::homePath());
        delete dialogs.at(1);

        QPointer<QFileDialog> dialog(dialogs.at(0));
        QVERIFY(dialog->isVisible() && !QApplication::activeModalWidget());
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
        // Names in either case, also where the desktop's own dialog matches
        // the patterns case by case. No types: a desktop's dialog given both
        // shows the types alone, MP3 first and m4a out of sight.
        QVERIFY(dialog->mimeTypeFilters().isEmpty());
        const QString shown = dialog->selectedNameFilter();
        const QStringList patterns = shown.mid(shown.indexOf(u'(') + 1).chopped(1).split(u' ');
        for (const char* name : {"a.mp3", "a.MP3", "a.m4a", "a.M4A", "a.m4b"})
            QVERIFY2(std::any_of(patterns.begin(), patterns.end(),
                                 [name](const QString& pattern) {
                                     return QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive)
                                         .match(QLatin1String(name))
                                         .hasMatch();
                                 }),
                     name);
        auto* fileNames = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(fileNames);
        fileNames->setText(QStringLiteral("\"sine-5s.m4a\" \"sine-5s.mp3\""));  // as typed, in this order
        static_cast<QDialog*>(dialog.data())->accept();
        QTRY_VERIFY(!dialog);
        QCOMPARE(w.state->playlists().tracks(B), (TrackList{m4a, mp3}));
    }

    void dialogGoesWithTheLibraryAndNothingRuns()
    {
        auto context = std::make_unique<QObject>();
        bool ran = false;
        QPointer<QFileDialog> dialog =
            AudioFilePicker::show(nullptr, QString(), context.get(), [&](int, const QList<QUrl>&) { ran = true; });
        context.reset();
        QTRY_VERIFY(!dialog);
        QVERIFY(!ran);
    }
};

QTEST_MAIN(PlaylistOperationsTest)
#include "tst_playlist_operations.moc"
