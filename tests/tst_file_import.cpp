// Files and folders from outside the Add Files dialog, dropped on the window
// or handed to it: where they go, what the window shows meanwhile, and that
// they are added as Add Files adds them.

#include "app/ContentView.h"
#include "base/DefaultsStore.h"
#include "base/LeavableThread.h"
#include "base/Log.h"
#include "state/Transport.h"
#include "ui/screens/FileDropTarget.h"
#include "ui/screens/ImportStatus.h"
#include "ui/screens/PlayerCard.h"
#include "ui/screens/PlaylistListView.h"
#include "ui/screens/PlaylistPanel.h"
#include "ui/screens/UserGuideSheet.h"
#include "library/NamesNotInUtf8.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <memory>
#include <unistd.h>

namespace {

const QUrl mp3 = fixtureUrl(QStringLiteral("sine-5s.mp3"));
const QString Drills = QStringLiteral("Drills");
const QString Songs = QStringLiteral("Songs");
using Playback = PlaylistLibrary::AddedPlayback;

// Playable lessons named so that text order is not number order, and a note.
struct Course {
    Course()
    {
        QDir(dir.path()).mkpath(QStringLiteral("Course/Unit 2"));
        for (const QString& lesson : lessons())
            QFile::copy(mp3.toLocalFile(), path(lesson));
        QFile(path(QStringLiteral("Course/notes.txt"))).open(QIODevice::WriteOnly);
    }
    static QStringList lessons() { return {"Course/Lesson 2.mp3", "Course/Lesson 10.mp3", "Course/Unit 2/Lesson 1.mp3"}; }
    QString path(const QString& relative = QStringLiteral("Course")) const { return dir.filePath(relative); }
    QUrl url(const QString& relative = QStringLiteral("Course")) const { return QUrl::fromLocalFile(path(relative)); }
    TrackList inOrder() const
    {
        TrackList urls;
        for (const QString& lesson : lessons())
            urls << url(lesson);
        return urls;
    }
    QTemporaryDir dir;
};

// The main window over a library of two playlists, shown; the log is empty.
struct Window {
    Window()
    {
        defaults.store().setData(ContentState::playlistsKey,
                                 QStringLiteral(R"({"Drills":["%1"],"Songs":[]})").arg(mp3.toString(QUrl::FullyEncoded)).toUtf8());
        view = std::make_unique<ContentView>(defaults.store());
        view->library().setSaveWait(std::chrono::seconds(10));
        view->resize(view->firstWindowSize());
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        log.clear();
    }

    PlaylistListView& list() { return *view->playlistPanel()->list(); }
    std::optional<QString> outlinedRow()
    {
        const std::optional<int> group = list().dropTargetGroup();
        return group ? std::optional(list().groupName(*group)) : std::nullopt;
    }
    // The middle of a playlist's header row, in the window.
    QPoint onRow(const QString& name)
    {
        int group = 0;
        while (list().groupName(group) != name)
            ++group;
        const QRectF header = list().toViewport(list().listLayout().headerRect(group));
        return list().viewport()->mapTo(view.get(), header.center().toPoint());
    }
    QPoint onCard() { return view->playerCard()->mapTo(view.get(), view->playerCard()->rect().center()); }

    // Sends a drag event of these URLs; returns whether it was taken, and with what action.
    std::pair<bool, Qt::DropAction> send(QEvent::Type type, const QPoint& at, const QList<QUrl>& urls,
                                         Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction)
    {
        QMimeData data;
        data.setUrls(urls);
        std::unique_ptr<QDropEvent> event;
        if (type == QEvent::DragEnter)
            event = std::make_unique<QDragEnterEvent>(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        else if (type == QEvent::DragMove)
            event = std::make_unique<QDragMoveEvent>(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
        else
            event = std::make_unique<QDropEvent>(QPointF(at), actions, &data, Qt::LeftButton, Qt::NoModifier);
        event->setDropAction(Qt::MoveAction);  // as a file manager proposes within one disk
        event->ignore();
        QApplication::sendEvent(view.get(), event.get());
        return {event->isAccepted(), event->dropAction()};
    }
    // A whole drag, then waits for the files to be added.
    bool dragAndDrop(const QPoint& at, const QList<QUrl>& urls)
    {
        QSignalSpy finished(&view->fileImport(), &FileImport::finished);
        send(QEvent::DragEnter, at, urls);
        send(QEvent::DragMove, at, urls);
        return send(QEvent::Drop, at, urls).first && finished.wait(10000);
    }
    bool add(const QStringList& paths, Playback playback)
    {
        QSignalSpy finished(&view->fileImport(), &FileImport::finished);
        view->fileImport().add({paths, std::nullopt, playback});
        return finished.wait(10000);
    }
    TrackList tracks(const QString& name) { return view->state().playlists().tracks(name); }
    AudioPlayer& player() { return view->audioPlayer(); }

    TemporaryDefaults defaults;
    Log::Capture log;
    std::unique_ptr<ContentView> view;
};

}  // namespace

class FileImportTest : public QObject {
    Q_OBJECT

private slots:
    // Over a row the row is outlined, elsewhere the window; files are copied
    // in, never moved; what is not a local file is refused.
    void theTargetUnderTheDragIsOutlined()
    {
        Window w;
        FileDropTarget& target = *w.view->fileDropTarget();
        QCOMPARE(w.send(QEvent::DragEnter, w.onCard(), {mp3}), std::make_pair(true, Qt::CopyAction));
        QVERIFY(target.isWindowOutlined() && !w.outlinedRow());

        QVERIFY(w.send(QEvent::DragMove, w.onRow(Songs), {mp3}).first);
        QCOMPARE(w.outlinedRow(), std::optional(Songs));
        QVERIFY(!target.isWindowOutlined());

        QCOMPARE(w.send(QEvent::DragMove, w.onCard(), {mp3}, Qt::LinkAction), std::make_pair(true, Qt::LinkAction));
        QEvent leave(QEvent::DragLeave);
        QApplication::sendEvent(w.view.get(), &leave);
        QVERIFY(!target.isWindowOutlined() && !w.outlinedRow());

        const QUrl remote(QStringLiteral("https://example.com/a.mp3"));
        QVERIFY(!w.send(QEvent::DragEnter, w.onCard(), {remote}).first);
        QVERIFY(!w.send(QEvent::DragEnter, w.onCard(), {mp3}, Qt::MoveAction).first);
        QVERIFY(!w.send(QEvent::Drop, w.onCard(), {remote}).first);
        QVERIFY(!target.isWindowOutlined());
    }

    // Only this machine's files are taken from a drop: "localhost" and its
    // own name are this machine, and another's path is not read as the same
    // path here.
    void aDropTakesThisMachinesFilesOnly()
    {
        QMimeData data;
        data.setUrls({QUrl(QStringLiteral("file:///m/a.mp3")), QUrl(QStringLiteral("file://localhost/m/b.mp3")),
                      QUrl(QStringLiteral("file://LOCALHOST/m/c.mp3")), QUrl(QStringLiteral("file://server/m/d.mp3")),
                      QUrl(QStringLiteral("https://example.com/e.mp3")), QUrl(QStringLiteral("file:")),
                      // Relative to nothing the sender could mean here.
                      QUrl(QStringLiteral("file:Music")), QUrl(QStringLiteral("file:./x.mp3"))});
        QCOMPARE(FileDropTarget::localPaths(&data), (QStringList{"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"}));
        // This machine by its own name, as some file managers put it.
        QVERIFY(!QSysInfo::machineHostName().isEmpty());
        data.setUrls({QUrl(QStringLiteral("file://%1/m/f.mp3").arg(QSysInfo::machineHostName()))});
        QCOMPARE(FileDropTarget::localPaths(&data), QStringList{"/m/f.mp3"});
    }

    // On the window: the current playlist, with the lines, store and
    // playback of the same files chosen in the dialog. On a row: that row's.
    void aDropGoesToTheCurrentPlaylistOrToTheRowDroppedOn()
    {
        const Course course;
        QStringList dialogLines;
        {
            Window dialog;
            dialog.view->library().addPickedFiles(QDialog::Accepted, course.inOrder());
            dialogLines = dialog.log.lines();
        }
        Window w;
        QVERIFY(w.dragAndDrop(w.onCard(), {course.url()}));
        QCOMPARE(w.log.lines(), dialogLines);
        QCOMPARE(w.tracks(Drills), TrackList{mp3} + course.inOrder());
        QCOMPARE(w.player().currentTrack(), std::optional<QUrl>(mp3));

        // Not while a sheet is over the window: it holds the window's input.
        w.view->state().setShowUserGuide(true);
        QTRY_VERIFY(w.view->findChild<UserGuideSheet*>()->isVisible());
        QVERIFY(!w.send(QEvent::DragEnter, w.onRow(Songs), {course.url()}).first);
        QVERIFY(!w.send(QEvent::Drop, w.onRow(Songs), {course.url()}).first);
        QVERIFY(!w.outlinedRow());
        w.view->state().setShowUserGuide(false);
        QTRY_VERIFY(!w.view->findChild<UserGuideSheet*>()->isVisible());

        QVERIFY(w.dragAndDrop(w.onRow(Songs), {course.url("Course/Lesson 10.mp3"), course.url("Course/Lesson 2.mp3")}));
        QCOMPARE(w.tracks(Songs), course.inOrder().mid(0, 2));
        QCOMPARE(w.view->state().currentPlaylist(), Songs);
        // After the first drop's outcome has been up a while.
        QTRY_COMPARE(w.view->importStatus()->text(), QStringLiteral("Added 2 files to “Songs”"));
    }

    // The current playlist is read when the look is over, not when asked,
    // and so is whether a row dropped on is still there: one deleted
    // meanwhile is not made again. The first file added that plays plays
    // when asked to, whatever played before.
    void theCurrentPlaylistAtTheEndTakesThemAndMayPlayTheFirst()
    {
        const Course course;
        Window w;
        w.view->fileImport().scan().setEntryDelayForTesting(std::chrono::milliseconds(20));
        QSignalSpy finished(&w.view->fileImport(), &FileImport::finished);
        w.view->fileImport().add({{course.path()}, std::nullopt, Playback::FirstTrackIfNothingLoaded});
        w.view->library().setPlaylistExpanded(Songs, true);
        QVERIFY(finished.wait(10000));
        QCOMPARE(w.tracks(Songs), course.inOrder());

        w.view->fileImport().add({{course.path("Course/Unit 2")}, Songs, Playback::FirstTrackIfNothingLoaded});
        w.view->library().deletePlaylist();
        QCOMPARE(w.view->state().currentPlaylist(), Drills);
        QVERIFY(finished.wait(10000));
        QVERIFY(!w.view->state().playlists().contains(Songs));
        QCOMPARE(w.tracks(Drills), (TrackList{mp3, course.url("Course/Unit 2/Lesson 1.mp3")}));
        QCOMPARE(finished.last().at(0).value<FileImport::Outcome>().playlist, Drills);

        w.view->fileImport().scan().setEntryDelayForTesting({});
        w.view->library().playTrackInPlaylist(Drills, mp3);
        QVERIFY(w.add({course.path("Course/Unit 2")}, Playback::FirstTrackIfNothingLoaded));
        QCOMPARE(w.player().currentTrack(), std::optional<QUrl>(mp3));
        // Lesson 1 first, by name: a download cut short. Alone, it leaves the
        // track as it was, drilled, and Next still goes on from there.
        QVERIFY(writeFile(course.path("Course/Lesson 1.mp3"), "ID3"));
        w.player().setLoopStart(1.0);
        w.player().setLoopEnd(2.0);
        w.player().seek(1.5);
        QVERIFY(w.add({course.path("Course/Lesson 1.mp3")}, Playback::FirstOpened));
        QCOMPARE(w.player().currentTrack(), std::optional<QUrl>(mp3));
        QVERIFY(w.player().isPlaying() && w.player().loopStart() == 1.0 && w.player().loopEnd() == 2.0);
        QVERIFY(w.player().currentTime() >= 1.0);
        QVERIFY(Transport::canGoToNextTrack(w.view->state()));
        Transport::goToNextTrack(w.view->state());
        QCOMPARE(w.player().currentTrack(), std::optional<QUrl>(course.url("Course/Unit 2/Lesson 1.mp3")));
        QVERIFY(w.add({course.path("Course/Lesson 1.mp3"), course.path("Course/Lesson 10.mp3")}, Playback::FirstOpened));
        QCOMPARE(w.player().currentTrack(), std::optional<QUrl>(course.url("Course/Lesson 10.mp3")));
        QVERIFY(w.player().isPlaying());
    }

    // Opened from outside again (each day's lesson from the file manager), a
    // file the playlist lists already plays where it is, not listed again;
    // given with new ones, only those are added, and the first given plays.
    // So does one reached through a link. A drop adds, as Add Files does,
    // copies and all.
    void anOpenedFileTheListHasPlaysWhereItIs()
    {
        const Course course;
        Window w;
        QSignalSpy finished(&w.view->fileImport(), &FileImport::finished);
        QVERIFY(w.add({course.path("Course/Lesson 2.mp3")}, Playback::FirstOpened));
        const TrackList listed{mp3, course.url("Course/Lesson 2.mp3")};
        QCOMPARE(w.tracks(Drills), listed);
        w.player().playTrack(0);
        w.log.clear();

        QVERIFY(w.add({course.path("Course/Lesson 2.mp3")}, Playback::FirstOpened));
        QCOMPARE(w.tracks(Drills), listed);
        QCOMPARE(w.player().currentTrackIndex(), std::optional<qint64>(1));
        QVERIFY(w.player().isPlaying());
        QCOMPARE(w.log.lines().filter(QStringLiteral("Added files")), QStringList());
        QVERIFY(w.log.lines().contains(QStringLiteral("Already in Drills: [\"Lesson 2.mp3\"]")));
        QCOMPARE(ImportStatus::outcomeText(finished.last().at(0).value<FileImport::Outcome>()), QStringLiteral("Already in “Drills”"));
        // Reached through a link to its folder, it is the same file.
        QVERIFY(QFile::link(course.path("Course"), course.path("Linked")));
        w.player().playTrack(0);
        QVERIFY(w.add({course.path("Linked/Lesson 2.mp3")}, Playback::FirstOpened));
        QCOMPARE(w.tracks(Drills), listed);
        QCOMPARE(w.player().currentTrackIndex(), std::optional<qint64>(1));

        w.player().playTrack(0);
        QVERIFY(w.add({course.path("Course/Lesson 10.mp3"), course.path("Course/Lesson 2.mp3")}, Playback::FirstOpened));
        QCOMPARE(w.tracks(Drills), listed + TrackList{course.url("Course/Lesson 10.mp3")});
        QCOMPARE(w.player().currentTrackIndex(), std::optional<qint64>(1));  // the first by name, where it was
        QCOMPARE(finished.last().at(0).value<FileImport::Outcome>().added, 1);
        QCOMPARE(ImportStatus::outcomeText(finished.last().at(0).value<FileImport::Outcome>()),
                 QStringLiteral("Added 1 file to “Drills”; 1 already there"));
        // The first given that loads, and no entry that was not given; the
        // one playing, now unreadable, is not taken for one that loaded.
        QVERIFY(writeFile(course.path("Course/Lesson 2.mp3"), "ID3"));
        QVERIFY(w.add({course.path("Course/Lesson 2.mp3"), course.path("Course/Lesson 10.mp3")}, Playback::FirstOpened));
        QCOMPARE(w.player().currentTrackIndex(), std::optional<qint64>(2));
        w.player().playTrack(0);
        QVERIFY(w.add({course.path("Course/Lesson 2.mp3")}, Playback::FirstOpened));
        QCOMPARE(w.player().currentTrackIndex(), std::optional<qint64>(0));

        QVERIFY(w.dragAndDrop(w.onCard(), {course.url("Course/Lesson 10.mp3")}));
        QCOMPARE(w.tracks(Drills).count(course.url("Course/Lesson 10.mp3")), 2);

        // A listed link to one file ("latest.mp3", moved on each week) is a
        // track of its own: the file it leads to now, opened, is added.
        QVERIFY(QFile::link(course.path("Course/Unit 2/Lesson 1.mp3"), course.path("Course/latest.mp3")));
        QVERIFY(w.add({course.path("Course/latest.mp3")}, Playback::FirstOpened));
        QVERIFY(w.tracks(Drills).contains(course.url("Course/latest.mp3")));
        QVERIFY(w.add({course.path("Course/Unit 2/Lesson 1.mp3")}, Playback::FirstOpened));
        QVERIFY(w.tracks(Drills).contains(course.url("Course/Unit 2/Lesson 1.mp3")));

        // Opened as Rivetone quits (another start hands them over while a
        // folder is still being looked through): added, nothing starts, and
        // still not listed twice.
        const TrackList before = w.tracks(Drills);
        FileImport& import = w.view->fileImport();
        import.scan().setEntryDelayForTesting(std::chrono::milliseconds(200));
        import.add({{course.path("Course/Lesson 2.mp3"), course.path("Course/Unit 2")}, std::nullopt, Playback::FirstOpened});
        if (w.player().isPlaying())
            w.player().togglePlayPause();
        w.log.clear();
        QVERIFY(import.finishBy(std::chrono::steady_clock::now() + std::chrono::seconds(10)));
        QCOMPARE(w.tracks(Drills), before);
        QVERIFY2(w.log.lines().contains(QStringLiteral("Already in Drills: [\"Lesson 2.mp3\", \"Lesson 1.mp3\"]")),
                 qPrintable(w.log.lines().join(u'\n')));
        QVERIFY(!w.player().isPlaying());
    }

    // While a big folder is looked through the window says how far it got and
    // goes on answering; the note goes a while after the files are in.
    void theWindowShowsTheCountAndStaysResponsive()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(QStringLiteral("Big"));
        for (int i = 300; i >= 1; --i)
            QFile(dir.filePath(QStringLiteral("Big/Track %1.mp3").arg(i))).open(QIODevice::WriteOnly);
        Window w;
        w.view->fileImport().scan().setEntryDelayForTesting(std::chrono::milliseconds(5));
        // Not waited for: how long the disk takes to save 301 tracks is no
        // part of what the window does while it looks.
        w.view->library().setSaveWait(std::chrono::milliseconds(0));
        const ImportStatus& note = *w.view->importStatus();
        QStringList shown;
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] {
            longestGap = std::max(longestGap, sinceTick.restart());
            if (note.isVisible() && !shown.contains(note.text()))
                shown << note.text();
        });
        sinceTick.start();
        tick.start(5);
        QVERIFY(w.dragAndDrop(w.onCard(), {QUrl::fromLocalFile(dir.filePath(QStringLiteral("Big")))}));
        QTRY_VERIFY(shown.contains(QStringLiteral("Added 300 files to “Drills”")));
        // The look takes 1.5 s or more (5 ms an entry): done on the window's
        // thread, it would hold it up that long at once.
        QVERIFY2(longestGap < 750, qPrintable(QString::number(longestGap)));
        QVERIFY2(shown.size() >= 3 && shown.first().startsWith(QStringLiteral("Looking for audio files…")),
                 qPrintable(shown.join(u'|')));
        const TrackList tracks = w.tracks(Drills);
        QCOMPARE(tracks.size(), 301);
        QCOMPARE(tracks.at(10).fileName(), QStringLiteral("Track 10.mp3"));
        QTRY_VERIFY_WITH_TIMEOUT(!note.isVisible(), ImportStatus::lingerMilliseconds + 2000);
    }

    // Where each import's files went stays up a while, though the next one
    // (files handed over meanwhile, a second drop) already has news; then
    // the next outcome, and the search of a look still under way.
    void anOutcomeStaysThoughTheNextImportHasNews()
    {
        Window w;
        FileImport& import = w.view->fileImport();
        const ImportStatus& note = *w.view->importStatus();
        std::vector<FileImport::Outcome> outcomes(3);
        for (int i = 0; i < 3; ++i) {
            outcomes[size_t(i)].playlist = Drills;
            outcomes[size_t(i)].added = i + 2;
        }
        emit import.finished(outcomes[0]);
        emit import.progressed(0);
        QCOMPARE(note.text(), ImportStatus::outcomeText(outcomes[0]));
        emit import.finished(outcomes[1]);
        emit import.progressed(4);
        emit import.finished(outcomes[2]);  // all three within the first's time
        emit import.progressed(0);          // a fourth look, finding nothing yet
        QCOMPARE(note.text(), ImportStatus::outcomeText(outcomes[0]));
        QTRY_COMPARE(note.text(), ImportStatus::outcomeText(outcomes[1]));
        QTRY_COMPARE(note.text(), ImportStatus::outcomeText(outcomes[2]));
        QTRY_COMPARE(note.text(), ImportStatus::searchingText(0));
        QVERIFY(note.isVisible());
        // No outcome up: news shows at once.
        emit import.progressed(12);
        QCOMPARE(note.text(), ImportStatus::searchingText(12));
    }

    // News of an import (files handed over by another start, a look still
    // counting) comes while a sheet is open: the note stays under the sheet,
    // not across the card the learner reads; above the window otherwise.
    void theNoteStaysUnderAnOpenSheet()
    {
        Window w;
        FileImport& import = w.view->fileImport();
        const ImportStatus& note = *w.view->importStatus();
        const auto* guide = w.view->findChild<UserGuideSheet*>();
        const auto stackPlace = [&](const QWidget* widget) { return w.view->children().indexOf(const_cast<QWidget*>(widget)); };
        FileImport::Outcome outcome;
        outcome.playlist = Drills;
        outcome.added = 2;
        emit import.finished(outcome);
        QVERIFY(note.isVisible());
        w.view->state().setShowUserGuide(true);
        QTRY_VERIFY(guide->isVisible());
        QVERIFY(stackPlace(&note) < stackPlace(guide));
        emit import.progressed(0);
        QTRY_COMPARE_WITH_TIMEOUT(note.text(), ImportStatus::searchingText(0), ImportStatus::lingerMilliseconds + 2000);
        QVERIFY(note.isVisible());
        QVERIFY(stackPlace(&note) < stackPlace(guide));
        w.view->state().setShowUserGuide(false);
        QTRY_VERIFY(!guide->isVisible());
        emit import.progressed(3);
        QCOMPARE(note.text(), ImportStatus::searchingText(3));
        QCOMPARE(stackPlace(&note), int(w.view->children().size()) - 1);
    }

    // A long playlist name: the note still stays inside the window, left of
    // the playlists, with its text cut short at the end.
    void aLongNameKeepsTheNoteInItsPlace()
    {
        Window w;
        const QString longName = QStringLiteral("Spoken Practice Collection, Volume Two: Dialogues, Drills and Reviews "
                                                "For Every Day Of The Week, Recorded Slow And At Natural Speed");
        w.view->state().setNewPlaylistName(longName);
        w.view->library().addPlaylist();
        QCOMPARE(w.view->state().currentPlaylist(), longName);
        QTemporaryDir dir;
        const QString lesson = dir.filePath(QStringLiteral("Lesson.mp3"));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("sine-5s.mp3")), lesson));
        const ImportStatus& note = *w.view->importStatus();
        QVERIFY(w.dragAndDrop(w.onCard(), {QUrl::fromLocalFile(lesson)}));
        QTRY_COMPARE(note.text(), QStringLiteral("Added 1 file to “%1”").arg(longName));
        QVERIFY(note.isVisible());
        QVERIFY(w.view->rect().contains(note.geometry()) && note.geometry().right() < w.view->rightColumn()->geometry().left());
        QVERIFY(note.shownText().startsWith(QStringLiteral("Added 1 file to “Spoken Practice")));
        QVERIFY(note.shownText().endsWith(QStringLiteral("…")));
    }

    // Audio whose names are not UTF-8 (an old archive's Korean names) cannot
    // be added, and the note says why, rather than that there was no audio.
    void audioOutOfReachByItsNameIsSaidSo()
    {
        QTemporaryDir dir;
        for (const char* name : {"/\xbe\xc8\xb3\xe7 1.mp3", "/\xbe\xc8\xb3\xe7 2.mp3"}) {
            const int fd = ::open((QFile::encodeName(dir.path()) + name).constData(), O_CREAT | O_WRONLY, 0600);
            QVERIFY(fd >= 0 && ::close(fd) == 0);
        }
        Window w;
        const ImportStatus& note = *w.view->importStatus();
        QVERIFY(w.dragAndDrop(w.onCard(), {QUrl::fromLocalFile(dir.path())}));
        QTRY_COMPARE(note.text(), QStringLiteral("No audio added: 2 files’ names are not UTF-8"));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("sine-5s.mp3")), dir.filePath(QStringLiteral("Lesson.mp3"))));
        QVERIFY(w.dragAndDrop(w.onCard(), {QUrl::fromLocalFile(dir.path())}));
        QTRY_COMPARE(note.text(), QStringLiteral("Added 1 file to “%1”; 2 left out (names not UTF-8)").arg(Drills));

        // A folder so named dropped itself: its URL holds the bytes as they are.
        const QByteArray folder = QFile::encodeName(dir.path()) + "/\xc7\xd1\xb1\xb9\xbe\xee";
        QVERIFY(::mkdir(folder.constData(), 0700) == 0);
        for (const char* name : {"/01.mp3", "/02.m4a", "/notes.txt"}) {
            const int fd = ::open((folder + name).constData(), O_CREAT | O_WRONLY, 0600);
            QVERIFY(fd >= 0 && ::close(fd) == 0);
        }
        const QUrl dropped = QUrl::fromEncoded("file://" + folder.toPercentEncoding("/"));
        QVERIFY(dropped.isValid());
        QVERIFY(w.dragAndDrop(w.onCard(), {dropped}));
        QTRY_COMPARE(note.text(), QStringLiteral("No audio added: 2 files’ names are not UTF-8"));
        QMimeData data;
        data.setUrls({dropped});
        QVERIFY(FileDropTarget::localPaths(&data).isEmpty());
        // Dropped with the folder it lies in, and twice: its files count once.
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("Lesson.mp3"))));
        QVERIFY(w.dragAndDrop(w.onCard(), {dropped, QUrl::fromLocalFile(dir.path()), dropped}));
        QTRY_COMPARE(note.text(), QStringLiteral("No audio added: 4 files’ names are not UTF-8"));
        // The log tells of the audio left out, and not that there was none.
        QVERIFY2(w.log.lines().filter(QStringLiteral("No MP3 or MPEG-4 audio")).isEmpty(), qPrintable(w.log.lines().join(u'\n')));
        QCOMPARE(w.log.lines().filter(QStringLiteral("their names not UTF-8")).size(), 4);

        // Files dropped themselves that are not audio are named, in the log
        // and the note; a folder's other files (its notes.txt) are not.
        // Each once, however often given, and also when its name is not UTF-8.
        const QString wav = dir.filePath(QStringLiteral("Lesson 2.wav"));
        QVERIFY(writeFile(wav, "RIFF"));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("sine-5s.mp3")), dir.filePath(QStringLiteral("Lesson 1.mp3"))));
        const QByteArray notes = QFile::encodeName(dir.path()) + "/\xc7\xd1.txt";
        const int fd = ::open(notes.constData(), O_CREAT | O_WRONLY, 0600);
        QVERIFY(fd >= 0 && ::close(fd) == 0);
        const QUrl notesUrl = QUrl::fromEncoded("file://" + notes.toPercentEncoding("/"));
        QVERIFY(w.dragAndDrop(w.onCard(), {QUrl::fromLocalFile(dir.filePath(QStringLiteral("Lesson 1.mp3"))), QUrl::fromLocalFile(wav),
                                           dropped, QUrl::fromLocalFile(wav), notesUrl, QUrl::fromLocalFile(wav)}));
        QTRY_COMPARE(note.text(), QStringLiteral("Added 1 file to “%1”; 2 left out (names not UTF-8); 2 left out (not MP3 or MPEG-4 audio)").arg(Drills));
        QVERIFY2(w.log.lines().contains(QStringLiteral("Left out, not MP3 or MPEG-4 audio: [\"Lesson 2.wav\", \"\uFFFD\uFFFD.txt\"]")),
                 qPrintable(w.log.lines().join(u'\n')));
        // With no audio added, the note still counts them.
        FileImport::Outcome none;
        none.namesNotInUtf8 = 1;
        none.givenNotAudio = 1;
        QCOMPARE(ImportStatus::outcomeText(none),
                 QStringLiteral("No audio added: 1 file’s name is not UTF-8; 1 left out (not MP3 or MPEG-4 audio)"));
        // Nothing but a file so named that is no audio: the line names it.
        QVERIFY(w.dragAndDrop(w.onCard(), {notesUrl}));
        QTRY_VERIFY(!w.log.lines().filter(QStringLiteral("No MP3 or MPEG-4 audio to add in: [\"")).isEmpty());
    }

    // A folder that cannot be opened (no permission, a share that refuses)
    // is passed by by the walk without a word: the note and the log say so,
    // rather than that all was added, or that there was no audio.
    void aFolderThatCannotBeReadIsSaidSo()
    {
        QTemporaryDir dir;
        for (const QString& unit : {QStringLiteral("Unit 1"), QStringLiteral("Unit 2")}) {
            QVERIFY(QDir(dir.path()).mkdir(unit));
            QVERIFY(QFile::copy(fixturePath(QStringLiteral("sine-5s.mp3")), dir.filePath(unit + QStringLiteral("/a.mp3"))));
        }
        AudioFiles::AudioOutOfReach::refuseFoldersNamedForTesting(QStringLiteral("Unit 2"));
        const auto restore = qScopeGuard([] { AudioFiles::AudioOutOfReach::refuseFoldersNamedForTesting({}); });
        Window w;
        const ImportStatus& note = *w.view->importStatus();
        QVERIFY(w.dragAndDrop(w.onCard(), {QUrl::fromLocalFile(dir.path())}));
        QTRY_COMPARE(note.text(), QStringLiteral("Added 1 file to “%1”; 1 folder could not be read").arg(Drills));
        QVERIFY(w.log.lines().contains(QStringLiteral("Folders that could not be read: [\"%1\"]").arg(dir.filePath(QStringLiteral("Unit 2")))));
        QVERIFY(w.dragAndDrop(w.onCard(), {QUrl::fromLocalFile(dir.filePath(QStringLiteral("Unit 2")))}));
        QTRY_COMPARE(note.text(), QStringLiteral("No audio added: 1 folder could not be read"));
        // Dropped alone and with the folder it lies in: told of once.
        QVERIFY(w.dragAndDrop(w.onCard(), {QUrl::fromLocalFile(dir.filePath(QStringLiteral("Unit 2"))), QUrl::fromLocalFile(dir.path())}));
        QTRY_VERIFY2(note.text().endsWith(QStringLiteral("; 1 folder could not be read")), qPrintable(note.text()));
    }

    // Saves that do not reach the disk (a full one) show in the corner for as
    // long as they fail, what was changed being kept in memory only; a note
    // about added files shows over it meanwhile, and gives way to it again.
    void failingSavesShowUntilOneWorks()
    {
        Window w;
        const ImportStatus& note = *w.view->importStatus();
        DefaultsStore& store = w.view->state().defaults();
        store.cutWritesForTesting(10);
        w.view->state().setNewPlaylistName(QStringLiteral("Evening"));
        w.view->library().addPlaylist();
        // Why, first: the settings file's path would leave no room for it.
        QTRY_VERIFY(note.isVisible());
        QCOMPARE(note.text(), QStringLiteral("Not saved: what was written does not read back whole (is the disk full?)"));
        QVERIFY2(!note.shownText().contains(QChar(0x2026)), qPrintable(note.shownText()));

        QTemporaryDir dir;
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("sine-5s.mp3")), dir.filePath(QStringLiteral("Lesson.mp3"))));
        QVERIFY(w.dragAndDrop(w.onCard(), {QUrl::fromLocalFile(dir.filePath(QStringLiteral("Lesson.mp3")))}));
        QTRY_COMPARE(note.text(), QStringLiteral("Added 1 file to “Evening”"));
        QTRY_VERIFY_WITH_TIMEOUT(note.text().startsWith(QStringLiteral("Not saved: ")), ImportStatus::lingerMilliseconds + 2000);
        QVERIFY(note.isVisible());

        store.cutWritesForTesting(-1);  // the disk is well again: the next save takes it all
        w.view->state().setNewPlaylistName(QStringLiteral("Morning"));
        w.view->library().addPlaylist();
        QTRY_VERIFY(!note.isVisible());
        QVERIFY(store.lastWriteError().isEmpty());
    }

    // A request made while another is under way waits its turn; a look under
    // way when the window goes is dropped at once, even one held up in a
    // folder on a share that stopped answering.
    void requestsTakeTurnsAndGoWithTheWindow()
    {
        const Course course;
        Window w;
        FileImport& import = w.view->fileImport();
        QSignalSpy finished(&import, &FileImport::finished);
        import.add({{course.path("Course/Unit 2")}, Songs, Playback::FirstTrackIfNothingLoaded});
        import.add({{course.path("Course/Lesson 2.mp3")}, Drills, Playback::FirstTrackIfNothingLoaded});
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
        QCOMPARE(finished.at(0).at(0).value<FileImport::Outcome>().playlist, Songs);
        QCOMPARE(finished.at(1).at(0).value<FileImport::Outcome>().playlist, Drills);

        import.scan().setEntryDelayForTesting(std::chrono::milliseconds(3000));
        import.add({{course.path()}, Songs, Playback::FirstTrackIfNothingLoaded});
        QTest::qWait(50);
        QElapsedTimer destroying;
        destroying.start();
        w.view.reset();
        QVERIFY2(destroying.elapsed() < 1000, qPrintable(QStringLiteral("took %1 ms").arg(destroying.elapsed())));
        QVERIFY(LeavableThread::letGoEndedWithin(std::chrono::seconds(10)));
    }
};

QTEST_MAIN(FileImportTest)
#include "tst_file_import.moc"
