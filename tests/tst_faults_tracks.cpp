// Track files that change under the player: deleted, cut short or overwritten
// while they play, or between being added and being played; and files on
// paths full of characters that URLs and JSON treat specially. Whatever
// happens to a file, the library keeps its entry and says what went wrong.
#include "LibraryFixture.h"
#include "ManualOutput.h"

#include "engine/AudioOutput.h"
#include "engine/Mp3GaplessInfo.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

constexpr int rate = 48000;

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

// A long constant-bitrate track: the audio frames of sine-5s.mp3 over and
// over, without the header that states a length, so the length comes from the
// file's size. Its data reaches far beyond what FFmpeg reads ahead, so a
// change to the file's later part is met only when playback gets there.
QByteArray longTrack(int copies)
{
    const QByteArray whole = readFile(fixturePath(QStringLiteral("sine-5s.mp3")));
    const std::optional<Mp3GaplessInfo> info = Mp3GaplessInfo::parse(whole);
    if (!info)
        return QByteArray();
    // MPEG-1 layer III at 44.1 kHz and 64 kbit/s: 144 * 64000 / 44100 bytes a frame, without padding.
    const qsizetype headerFrameBytes = 144 * 64000 / 44100;
    QByteArray frames = whole.mid(info->headerFrameOffset + headerFrameBytes);
    return frames.repeated(copies);
}

QStringList linesStartingWith(const QStringList& lines, const QString& prefix)
{
    QStringList found;
    for (const QString& line : lines)
        if (line.startsWith(prefix))
            found << line;
    return found;
}

enum class Lesson { Stored, NotAddedYet };

// A window whose library holds one playlist, "Drills": a fixture track and
// the learner's own file in a folder of its own, stored as if added in an
// earlier session (or not added yet). Nothing is loaded; the log is empty.
struct Shelf : LibraryFixture {
    explicit Shelf(const QByteArray& lessonBytes, Lesson added = Lesson::Stored)
    {
        lessonPath = folder.filePath(QStringLiteral("lesson.mp3"));
        lesson = QUrl::fromLocalFile(lessonPath);
        if (!writeFile(lessonPath, lessonBytes))
            qFatal("cannot write %s", qPrintable(lessonPath));
        Playlists playlists;
        playlists.insert(QStringLiteral("Drills"), added == Lesson::Stored ? TrackList{other, lesson} : TrackList{other});
        defaults.store().setData(ContentState::playlistsKey, PlaylistCodec::encode(playlists));
        library->loadPlaylists();
        libraryBefore = state->playlists();
        log.clear();
    }

    void play(const QUrl& track) { library->playTrackInPlaylist(QStringLiteral("Drills"), track); }

    // Nothing is lost: the library, in memory and on disk, is what it was.
    bool libraryIntact() { return state->playlists() == libraryBefore && stored() == libraryBefore; }

    // Pulls the output until the stream stops supplying, then lets the
    // engine's timer notice that the track ran out (ranOut). Returns the
    // frames heard.
    std::int64_t playToTheEnd()
    {
        const std::int64_t heard = ManualOutput::pullCount(std::int64_t(100) * rate, std::chrono::milliseconds(500));
        ranOut = QTest::qWaitFor([this] { return !player().isPlaying(); }, 3000);
        return heard;
    }

    QTemporaryDir folder;
    QString lessonPath;
    QUrl lesson;
    const QUrl other = fixtureUrl(QStringLiteral("sine-5s.m4a"));
    Playlists libraryBefore;
    bool ranOut = false;
};

}  // namespace

class TrackFaultsTest : public QObject {
    Q_OBJECT

    QByteArray m_long;  // 12 copies: about 60 s

private slots:
    void initTestCase()
    {
        AudioOutput::useManualOutputForTesting(rate);
        m_long = longTrack(12);
        QVERIFY(m_long.size() > 400'000);
    }

    // The open file stays readable to the player, so the track plays to its
    // end; only the next load finds it gone.
    void deletedWhilePlayingPlaysOnThenReportsWhenPlayedAgain()
    {
        Shelf shelf(m_long);
        shelf.play(shelf.lesson);
        QVERIFY(shelf.player().isPlaying());
        const double duration = shelf.player().player()->duration();
        QVERIFY2(duration > 55 && duration < 65, qPrintable(QString::number(duration)));
        QVERIFY(ManualOutput::pullCount(rate / 2) == rate / 2);
        QVERIFY(QFile::remove(shelf.lessonPath));

        const std::int64_t heard = rate / 2 + shelf.playToTheEnd();
        QVERIFY(shelf.ranOut);
        QVERIFY2(std::abs(double(heard) / rate - duration) < 0.05, qPrintable(QString::number(double(heard) / rate)));
        QCOMPARE(shelf.player().currentTime(), 0.0);  // ran out: rewound, as at any end
        QVERIFY(linesStartingWith(shelf.log.lines(), QStringLiteral("Track ends early")).isEmpty());

        shelf.log.clear();
        shelf.play(shelf.lesson);
        QCOMPARE(shelf.log.lines().value(1),
                 QStringLiteral("Error playing track: %1: No such file or directory").arg(shelf.lessonPath));
        QVERIFY(!shelf.player().isPlaying());
        QVERIFY(shelf.libraryIntact());
    }

    void changedInPlaceWhilePlayingEndsThereAndSaysWhy_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("cut short") << "cut";
        QTest::newRow("overwritten with text") << "text";
        QTest::newRow("overwritten with zeros") << "zeros";
    }

    void changedInPlaceWhilePlayingEndsThereAndSaysWhy()
    {
        QFETCH(QString, change);
        Shelf shelf(m_long);
        shelf.play(shelf.lesson);
        const double duration = shelf.player().player()->duration();
        QVERIFY(ManualOutput::pullCount(rate / 2) == rate / 2);
        // The same file (the same inode) changes: the player's open handle sees it.
        const qsizetype keep = m_long.size() / 6;  // about 10 s
        QByteArray changed = m_long.left(keep);
        if (change == QStringLiteral("text"))
            changed += QByteArray("These are lesson notes, not audio.\n").repeated(int((m_long.size() - keep) / 35));
        else if (change == QStringLiteral("zeros"))
            changed += QByteArray(m_long.size() - keep, '\0');
        QVERIFY(writeFile(shelf.lessonPath, changed));

        const double heardSeconds = 0.5 + double(shelf.playToTheEnd()) / rate;
        QVERIFY(shelf.ranOut);
        QVERIFY2(heardSeconds > 9 && heardSeconds < 11, qPrintable(QString::number(heardSeconds)));
        QCOMPARE(shelf.player().currentTime(), 0.0);

        const QStringList early = linesStartingWith(shelf.log.lines(), QStringLiteral("Track ends early: "));
        QCOMPARE(early.size(), 1);
        const QString expectedStart = QStringLiteral("Track ends early: %1: no more data, at ").arg(shelf.lessonPath);
        QVERIFY2(early[0].startsWith(expectedStart), qPrintable(early[0]));
        QVERIFY2(early[0].endsWith(QStringLiteral(" s of %1 s").arg(Log::formatDouble(duration))), qPrintable(early[0]));
        const double endedAt = early[0].mid(expectedStart.size()).section(u' ', 0, 0).toDouble();
        QVERIFY2(std::abs(endedAt - heardSeconds) < 0.01, qPrintable(early[0]));

        // Played again from the same load: the data that is left plays, and
        // the line is not repeated.
        shelf.player().togglePlayPause();
        QVERIFY(shelf.player().isPlaying());
        const double againSeconds = double(shelf.playToTheEnd()) / rate;
        QVERIFY(shelf.ranOut);
        QVERIFY2(std::abs(againSeconds - heardSeconds) < 0.05, qPrintable(QString::number(againSeconds)));
        QCOMPARE(linesStartingWith(shelf.log.lines(), QStringLiteral("Track ends early: ")).size(), 1);
        QVERIFY(shelf.libraryIntact());
    }

    // Saving over a file the usual way writes a new one and renames it into
    // place: the player keeps the old one open and plays it to its end.
    void replacedWhilePlayingPlaysTheOldDataThenReports()
    {
        Shelf shelf(readFile(fixturePath(QStringLiteral("chirp-cbr.mp3"))));
        shelf.play(shelf.lesson);
        QVERIFY(ManualOutput::pullCount(rate / 2) == rate / 2);
        const QString replacement = shelf.folder.filePath(QStringLiteral("replacement"));
        QVERIFY(writeFile(replacement, "These are lesson notes, not audio.\n"));
        QVERIFY(::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(shelf.lessonPath).constData()) == 0);

        QCOMPARE(rate / 2 + shelf.playToTheEnd(), std::int64_t(6 * rate));
        QVERIFY(shelf.ranOut);
        shelf.log.clear();
        shelf.play(shelf.lesson);
        QCOMPARE(shelf.log.lines().value(1),
                 QStringLiteral("Error playing track: %1: Invalid data found when processing input").arg(shelf.lessonPath));
        QVERIFY(shelf.libraryIntact());
    }

    void changedBetweenAddingAndPlayingReportsAndKeepsTheEntry_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("reason");
        QTest::newRow("deleted") << "deleted" << "No such file or directory";
        QTest::newRow("emptied") << "emptied" << "Invalid data found when processing input";
        QTest::newRow("cut to its tag") << "cut" << "Invalid data found when processing input";
        QTest::newRow("overwritten with text") << "text" << "Invalid data found when processing input";
        QTest::newRow("a folder in its place") << "folder" << "";
    }

    void changedBetweenAddingAndPlayingReportsAndKeepsTheEntry()
    {
        QFETCH(QString, change);
        QFETCH(QString, reason);
        Shelf shelf(readFile(fixturePath(QStringLiteral("chirp-cbr.mp3"))), Lesson::NotAddedYet);
        // Something else plays first, so the file added next is not played at once.
        shelf.play(shelf.other);
        shelf.library->addPickedFiles(QDialog::Accepted, {shelf.lesson});
        QVERIFY(shelf.player().isPlaying());
        QCOMPARE(*shelf.player().currentTrack(), shelf.other);
        shelf.libraryBefore = shelf.state->playlists();
        QCOMPARE(shelf.libraryBefore.tracks(QStringLiteral("Drills")), (TrackList{shelf.other, shelf.lesson}));
        QVERIFY(shelf.stored() == shelf.libraryBefore);

        if (change == QStringLiteral("deleted") || change == QStringLiteral("folder"))
            QVERIFY(QFile::remove(shelf.lessonPath));
        if (change == QStringLiteral("folder"))
            QVERIFY(QDir().mkdir(shelf.lessonPath));
        if (change == QStringLiteral("emptied"))
            QVERIFY(writeFile(shelf.lessonPath, QByteArray()));
        if (change == QStringLiteral("cut"))
            QVERIFY(writeFile(shelf.lessonPath, readFile(fixturePath(QStringLiteral("truncated.mp3")))));
        if (change == QStringLiteral("text"))
            QVERIFY(writeFile(shelf.lessonPath, "These are lesson notes, not audio.\n"));

        shelf.log.clear();
        shelf.play(shelf.lesson);
        const QStringList lines = shelf.log.lines();
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("Stop: currentTime=0.0, loop cleared"));
        const QString expected = QStringLiteral("Error playing track: %1: ").arg(shelf.lessonPath);
        QVERIFY2(lines[1].startsWith(expected) && lines[1].size() > expected.size(), qPrintable(lines[1]));
        if (!reason.isEmpty())
            QCOMPARE(lines[1], expected + reason);
        // The track that played before stays loaded, stopped at 0.
        QVERIFY(!shelf.player().isPlaying());
        QCOMPARE(*shelf.player().currentTrack(), shelf.other);
        QCOMPARE(shelf.player().player()->currentTime(), 0.0);
        QVERIFY(shelf.libraryIntact());
    }

    void cutInHalfBeforePlayingPlaysTheHalfThatIsThere()
    {
        const QByteArray chirp = readFile(fixturePath(QStringLiteral("chirp-cbr.mp3")));
        Shelf shelf(chirp);
        QVERIFY(writeFile(shelf.lessonPath, chirp.left(chirp.size() / 2)));
        shelf.play(shelf.lesson);
        QCOMPARE(shelf.log.lines().value(1), QStringLiteral("Playing: lesson.mp3"));
        const double duration = shelf.player().player()->duration();
        QVERIFY2(std::abs(duration - 3.0) < 0.1, qPrintable(QString::number(duration)));
        const double heardSeconds = double(shelf.playToTheEnd()) / rate;
        QVERIFY(shelf.ranOut);
        QVERIFY2(std::abs(heardSeconds - duration) < 0.1, qPrintable(QString::number(heardSeconds)));
        QVERIFY(linesStartingWith(shelf.log.lines(), QStringLiteral("Track ends early")).isEmpty());
        QVERIFY(shelf.libraryIntact());
    }

    // Spaces, %, #, ?, quotes, a backslash, Hangul and emoji, in the folder
    // and in the file name: added, stored, read back by a new window, played.
    void awkwardPathsSurviveAddingSavingReloadingAndPlaying()
    {
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("강의 #1 (100% \"real\") ?🎧"));
        QVERIFY(QDir().mkpath(folder));
        const QStringList names = {QStringLiteral("Unit 1 듣기.mp3"),     QStringLiteral("100% sure #2?.mp3"),
                                   QStringLiteral("it's \"quoted\".mp3"), QStringLiteral("🎧 listening.mp3"),
                                   QStringLiteral("a%20b.mp3"),           QStringLiteral("back\\slash & [more].mp3"),
                                   QStringLiteral("?#%.mp3")};
        TrackList tracks;
        for (const QString& name : names) {
            const QString path = folder + u'/' + name;
            QVERIFY(QFile::copy(fixturePath(QStringLiteral("Unit 1 듣기.mp3")), path));
            tracks << QUrl::fromLocalFile(path);
        }

        TemporaryDefaults defaults;
        {
            ContentState state(defaults.store());
            PlaylistLibrary library(state);
            library.loadPlaylists();
            state.setNewPlaylistName(QStringLiteral("듣기 🎧 #1"));
            library.addPlaylist();
            Log::Capture log;
            library.addPickedFiles(QDialog::Accepted, tracks);
            QCOMPARE(log.lines().value(2), QStringLiteral("Playing: Unit 1 듣기.mp3"));
            state.audioPlayer().stop();
        }

        // The next run: a new store object on the same file.
        DefaultsStore reopened(defaults.filePath());
        ContentState state(reopened);
        PlaylistLibrary library(state);
        Log::Capture log;
        library.loadPlaylists();
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Playlists loaded: [\"듣기 🎧 #1\"]")});
        QCOMPARE(state.playlists().tracks(QStringLiteral("듣기 🎧 #1")), tracks);
        for (int i = 0; i < tracks.size(); ++i) {
            QCOMPARE(tracks[i].toLocalFile(), folder + u'/' + names[i]);
            log.clear();
            library.playTrackInPlaylist(QStringLiteral("듣기 🎧 #1"), tracks[i]);
            // The same file twice in a list plays its first row; these are all different.
            QCOMPARE(log.lines().value(1), QStringLiteral("Playing: ") + names[i]);
            QVERIFY(state.audioPlayer().isPlaying());
            QCOMPARE(state.audioPlayer().player()->duration(), 1.0);
            QCOMPARE(ManualOutput::pullCount(rate / 10), std::int64_t(rate / 10));
        }
    }
};

QTEST_MAIN(TrackFaultsTest)
#include "tst_faults_tracks.moc"
