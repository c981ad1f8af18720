// Track files that change under the player: deleted, cut short or overwritten
// while they play, or before they are played; and files on paths full of
// characters that URLs and JSON treat specially. Whatever happens to a file,
// the library keeps its entry and says what went wrong.

#include "engine/AudioOutput.h"
#include "engine/DecodeStream.h"
#include "engine/Mp3GaplessInfo.h"
#include "LibraryFixture.h"
#include "ManualOutput.h"
#include "SpeechFixture.h"

#include <QDialog>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>
#include <sys/stat.h>

extern "C" {
#include <libavutil/error.h>
}

namespace {

constexpr int rate = 48000;
const QByteArray notes = "These are lesson notes, not audio.\n";

// A long constant-bitrate track: the audio frames of sine-5s.mp3 over and
// over, without the header that states a length, so the length comes from the
// file's size. Its data reaches far beyond what FFmpeg reads ahead, so a
// change to the file's later part is met only when playback gets there.
QByteArray longTrack(int copies)
{
    const QByteArray whole = readFile(fixturePath(QStringLiteral("sine-5s.mp3")));
    const std::optional<Mp3GaplessInfo> info = Mp3GaplessInfo::parse(whole);
    const qsizetype headerFrameBytes = 144 * 64000 / 44100;  // MPEG-1 layer III, 44.1 kHz, 64 kbit/s
    return info ? whole.mid(info->headerFrameOffset + headerFrameBytes).repeated(copies) : QByteArray();
}

// Noisy bytes, as a compressed picture's are.
QByteArray noise(int count)
{
    QByteArray bytes;
    for (quint32 n = 7; bytes.size() < count;)
        bytes += char((n = n * 1103515245u + 12345u) >> 16);
    return bytes;
}

// An APEv2 tag (footer only) holding one item of as many noisy bytes.
QByteArray apeTag(int valueBytes)
{
    QByteArray item;
    QDataStream out(&item, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(valueBytes) << quint32(0);
    item += QByteArray("Cover Art (Front)", 18) + noise(valueBytes);  // the key with its closing zero
    QByteArray footer("APETAGEX");
    QDataStream fields(&footer, QIODevice::Append);
    fields.setByteOrder(QDataStream::LittleEndian);
    fields << quint32(2000) << quint32(item.size() + 32) << quint32(1) << quint32(0) << quint64(0);
    return item + footer;
}

// An ID3v2.4 tag with a footer, as appended after the frames, holding one
// frame of as many noisy bytes.
QByteArray id3TagWithFooter(int valueBytes)
{
    const auto syncsafe = [](quint32 value) {
        const char bytes[4] = {char(value >> 21 & 0x7f), char(value >> 14 & 0x7f), char(value >> 7 & 0x7f), char(value & 0x7f)};
        return QByteArray(bytes, 4);
    };
    const QByteArray frame = "APIC" + syncsafe(quint32(valueBytes)) + QByteArray(2, '\0') + noise(valueBytes);
    const QByteArray size = syncsafe(quint32(frame.size()));
    return "ID3" + QByteArray("\x04\x00\x10", 3) + size + frame + "3DI" + QByteArray("\x04\x00\x10", 3) + size;
}

// A window whose library holds "Drills": a fixture track and the learner's
// own file in a folder of its own, stored in an earlier session. Nothing is
// loaded; the log is empty.
struct Shelf : LibraryFixture {
    explicit Shelf(const QByteArray& lessonBytes)
    {
        if (!writeFile(lessonPath, lessonBytes))
            qFatal("cannot write %s", qPrintable(lessonPath));
        defaults.store().setData(ContentState::playlistsKey,
                                 encoded({{QStringLiteral("Drills"), {fixtureUrl(QStringLiteral("sine-5s.m4a")), lesson}}}));
        library->loadPlaylists();
        libraryBefore = state->playlists();
        log.clear();
    }

    void playLesson() { library->playTrackInPlaylist(QStringLiteral("Drills"), lesson); }
    QStringList earlyEnds() const { return log.lines().filter(QStringLiteral("Track ends early")); }

    // Nothing is lost: the library, in memory and on disk, is what it was.
    bool libraryIntact() { return state->playlists() == libraryBefore && stored() == libraryBefore; }

    // Pulls the output until the stream stops supplying, then lets the engine
    // notice that the track ran out. Returns the seconds heard. The patience
    // covers a decoder finding its way through damage under a sanitizer.
    double playToTheEnd()
    {
        const std::int64_t heard = ManualOutput::pullCount(std::int64_t(100) * rate, std::chrono::milliseconds(2000));
        ranOut = QTest::qWaitFor([this] { return !player().isPlaying(); }, 3000);
        return double(heard) / rate;
    }

    QTemporaryDir folder;
    const QString lessonPath = folder.filePath(QStringLiteral("lesson.mp3"));
    const QUrl lesson = QUrl::fromLocalFile(lessonPath);
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

    // The player keeps the file it opened: deleted, or replaced by a new file
    // (as editors save), it plays to its end. The next load meets what is
    // there now and says why it cannot play it.
    void goneFromItsPathWhilePlayingPlaysOnThenReports_data()
    {
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<QString>("reason");
        QTest::newRow("deleted") << false << "No such file or directory";
        QTest::newRow("replaced") << true << "Invalid data found when processing input";
    }

    void goneFromItsPathWhilePlayingPlaysOnThenReports()
    {
        QFETCH(bool, replaced);
        QFETCH(QString, reason);
        Shelf shelf(m_long);
        shelf.playLesson();
        const double duration = shelf.player().player()->duration();
        QVERIFY2(duration > 55 && duration < 65, qPrintable(QString::number(duration)));
        QCOMPARE(ManualOutput::pullCount(rate / 2), std::int64_t(rate / 2));
        QVERIFY(QFile::remove(shelf.lessonPath));
        QVERIFY(!replaced || writeFile(shelf.lessonPath, notes));

        const double heardSeconds = 0.5 + shelf.playToTheEnd();
        QVERIFY(shelf.ranOut);
        QVERIFY2(std::abs(heardSeconds - duration) < 0.05, qPrintable(QString::number(heardSeconds)));
        QCOMPARE(shelf.player().currentTime(), 0.0);  // ran out: rewound, as at any end
        QVERIFY(shelf.earlyEnds().isEmpty());

        shelf.log.clear();
        shelf.playLesson();
        QCOMPARE(shelf.log.lines().value(1),
                 QStringLiteral("Error playing track: %1: %2").arg(shelf.lessonPath, reason));
        QVERIFY(!shelf.player().isPlaying());
        QVERIFY(shelf.libraryIntact());
    }

    void changedInPlaceWhilePlayingEndsThereAndSaysWhy_data()
    {
        QTest::addColumn<QByteArray>("rest");
        const qsizetype restSize = m_long.size() - m_long.size() / 6;
        QTest::newRow("cut short") << QByteArray();
        QTest::newRow("overwritten with text") << notes.repeated(int(restSize / notes.size()));
        QTest::newRow("overwritten with zeros") << QByteArray(restSize, '\0');
    }

    void changedInPlaceWhilePlayingEndsThereAndSaysWhy()
    {
        QFETCH(QByteArray, rest);
        Shelf shelf(m_long);
        shelf.playLesson();
        const double duration = shelf.player().player()->duration();
        QCOMPARE(ManualOutput::pullCount(rate / 2), std::int64_t(rate / 2));
        // The same file (the same inode) changes after its first 10 s: the
        // player's open handle sees it.
        QVERIFY(writeFile(shelf.lessonPath, m_long.left(m_long.size() / 6) + rest));

        const double heardSeconds = 0.5 + shelf.playToTheEnd();
        QVERIFY(shelf.ranOut);
        QVERIFY2(heardSeconds > 9 && heardSeconds < 11, qPrintable(QString::number(heardSeconds)));
        const QStringList earlyEnds = shelf.earlyEnds();
        QCOMPARE(earlyEnds.size(), 1);
        const QString start = QStringLiteral("Track ends early: %1: no more data, at ").arg(shelf.lessonPath);
        const QString end = QStringLiteral(" s of %1 s").arg(Log::formatDouble(duration));
        QVERIFY2(earlyEnds[0].startsWith(start) && earlyEnds[0].endsWith(end), qPrintable(earlyEnds[0]));
        const double endedAt = earlyEnds[0].mid(start.size()).chopped(end.size()).toDouble();
        QVERIFY2(std::abs(endedAt - heardSeconds) < 0.01, qPrintable(earlyEnds[0]));

        // Played again from the same load: what is left plays, the line is not repeated.
        shelf.player().togglePlayPause();
        const double againSeconds = shelf.playToTheEnd();
        QVERIFY(shelf.ranOut);
        QVERIFY2(std::abs(againSeconds - heardSeconds) < 0.05, qPrintable(QString::number(againSeconds)));
        QCOMPARE(shelf.earlyEnds().size(), 1);
        QVERIFY(shelf.libraryIntact());
    }

    // Saved over while it plays with another recording at another rate (a
    // lesson exported again): where the old file's frames stop, the bytes
    // between read as frames of damage, far past full scale. They are heard
    // as silence, all of them: none is left to ring on through the
    // resampler into the sound after.
    void overwrittenWithAnotherRecordingPlaysNoBurst()
    {
        QTemporaryDir made;
        QString error;
        const auto mp3 = [&](const QString& name, const QString& source, const char* channels, const char* bitrate) {
            const QString path = made.filePath(name);
            const bool ok = SpeechFixture::runTool(QStringLiteral("ffmpeg"),
                                                   {"-v", "error", "-y", "-f", "lavfi", "-i", source, "-ac", channels,
                                                    "-c:a", "libmp3lame", "-b:a", bitrate, path},
                                                   &error);
            return ok ? readFile(path) : QByteArray();
        };
        const QByteArray lesson = mp3(QStringLiteral("a.mp3"), QStringLiteral("sine=f=440:d=60:r=44100"), "2", "128k");
        const QByteArray again = mp3(QStringLiteral("b.mp3"), QStringLiteral("sine=f=1000:d=90:r=48000"), "1", "64k");
        QVERIFY2(!lesson.isEmpty() && !again.isEmpty(), qPrintable(error));
        Shelf shelf(lesson);
        shelf.playLesson();
        QCOMPARE(ManualOutput::pullCount(3 * rate), std::int64_t(3 * rate));
        QVERIFY(writeFile(shelf.lessonPath, again));
        const std::vector<float> heard = ManualOutput::pull(std::int64_t(20) * rate);
        float peak = 0;
        float lastSecondPeak = 0;  // the new recording plays on
        for (std::size_t i = 0; i < heard.size(); ++i) {
            peak = std::max(peak, std::abs(heard[i]));
            if (i >= heard.size() - std::size_t(2 * rate))
                lastSecondPeak = std::max(lastSecondPeak, std::abs(heard[i]));
        }
        QVERIFY2(peak <= 1.0f, qPrintable(QString::number(peak)));
        QVERIFY2(lastSecondPeak > 0.05f, qPrintable(QString::number(lastSecondPeak)));
    }

    // A file that stopped answering (a drive unplugged) ends where its reads
    // failed, says why, and stays there. Played again, it is opened afresh
    // and goes on from there (the old handle ended at once, wherever it was
    // sent); sent elsewhere first, from there. Gone for good, the line says
    // so and nothing plays.
    void aTrackWhoseReadsFailedIsOpenedAfreshToPlayAgain()
    {
        DecodeStream::failReadsAfterPacketsForTesting(200, AVERROR(EIO));  // about 5 s into each open
        const auto restore = qScopeGuard([] { DecodeStream::failReadsAfterPacketsForTesting(0, 0); });
        Shelf shelf(m_long);
        const auto endedAt = [&shelf](int which) {
            const QString line = shelf.earlyEnds().value(which);
            const QString start = QStringLiteral("Track ends early: %1: Input/output error, at ").arg(shelf.lessonPath);
            return line.startsWith(start) ? line.mid(start.size()).section(QLatin1Char(' '), 0, 0).toDouble() : -1.0;
        };
        shelf.playLesson();
        const double firstSeconds = shelf.playToTheEnd();
        QVERIFY(shelf.ranOut);
        QVERIFY2(firstSeconds > 4 && firstSeconds < 7, qPrintable(QString::number(firstSeconds)));
        QVERIFY2(std::abs(endedAt(0) - firstSeconds) < 0.05, qPrintable(shelf.earlyEnds().join('\n')));
        QVERIFY2(std::abs(shelf.player().currentTime() - firstSeconds) < 0.05, qPrintable(QString::number(shelf.player().currentTime())));

        shelf.player().togglePlayPause();
        const double onSeconds = shelf.playToTheEnd();
        QVERIFY(shelf.ranOut);
        QVERIFY2(std::abs(endedAt(1) - (firstSeconds + onSeconds)) < 0.05, qPrintable(shelf.earlyEnds().join('\n')));

        shelf.player().seek(2);
        shelf.player().togglePlayPause();
        const double againSeconds = shelf.playToTheEnd();
        QVERIFY(shelf.ranOut);
        // (the seek reads from a little before 2 s)
        QVERIFY2(againSeconds > 4 && againSeconds < firstSeconds, qPrintable(QString::number(againSeconds)));
        QVERIFY2(std::abs(endedAt(2) - (2 + againSeconds)) < 0.05, qPrintable(shelf.earlyEnds().join('\n')));

        QVERIFY(QFile::remove(shelf.lessonPath));
        shelf.log.clear();
        shelf.player().togglePlayPause();
        QCOMPARE(shelf.log.lines(),
                 QStringList{QStringLiteral("Error playing track: %1: No such file or directory").arg(shelf.lessonPath)});
        QVERIFY(!shelf.player().isPlaying());
        QVERIFY(shelf.libraryIntact());
    }

    // A loop that now lies past the end of the data (the file was cut after
    // it was opened): the track ends there, at any speed, where at another
    // speed each pass of nothing went round without end, and closing the
    // window then waited for good.
    void aLoopPastTheDataEndsTheTrackAtAnySpeed_data()
    {
        QTest::addColumn<double>("speed");
        QTest::newRow("1x") << 1.0;
        QTest::newRow("0.8x") << 0.8;
    }

    void aLoopPastTheDataEndsTheTrackAtAnySpeed()
    {
        QFETCH(double, speed);
        Shelf shelf(m_long);
        shelf.playLesson();
        shelf.player().setSpeed(speed);
        QVERIFY(writeFile(shelf.lessonPath, m_long.left(m_long.size() / 6)));
        shelf.log.clear();
        shelf.player().setLoop(40, 45);
        shelf.player().seek(40);
        shelf.player().setCurrentTime(40);
        QVERIFY(shelf.player().isPlaying());
        shelf.playToTheEnd();
        QVERIFY(shelf.ranOut);
        // The one seek asked for, and none by the loop after the data ran out.
        QCOMPARE(shelf.log.lines().filter(QStringLiteral("Seek to: ")), QStringList{QStringLiteral("Seek to: 40.0")});
        QCOMPARE(shelf.player().currentTime(), 0.0);
    }

    // A download cut a few hundred bytes short keeps the length its header
    // states (the frames counted fall short of it by less than one): the
    // missing few milliseconds play as silence, so a loop that ends at the
    // track's end turns there at any speed rather than the track ending.
    void aLoopToTheEndOfAFileCutJustShortTurns_data()
    {
        QTest::addColumn<double>("speed");
        QTest::newRow("1x") << 1.0;
        QTest::newRow("0.8x") << 0.8;
    }
    void aLoopToTheEndOfAFileCutJustShortTurns()
    {
        QFETCH(double, speed);
        const QByteArray chirp = readFile(fixturePath(QStringLiteral("chirp-cbr.mp3")));
        Shelf shelf(chirp.chopped(500));
        shelf.playLesson();
        shelf.player().setSpeed(speed);
        const double duration = shelf.player().player()->duration();
        QVERIFY2(std::abs(duration - 6.0) < 0.01, qPrintable(QString::number(duration)));
        shelf.player().setLoop(duration - 0.5, duration);
        shelf.player().seek(duration - 0.5);
        QCOMPARE(ManualOutput::pullCount(3 * rate), std::int64_t(3 * rate));
        QVERIFY(shelf.player().isPlaying());
        QVERIFY(shelf.player().hasLoop());
        QVERIFY(shelf.earlyEnds().isEmpty());
    }

    // All of the audio plays, in its place: lengths only estimated are
    // counted (a VBR MP3 without the header that states its length, where the
    // first frame's bitrate guesses 5.6 s; MP3s joined end to end, where the
    // first one's header speaks for it alone); a joined part at another
    // sample rate is timed at its own; a stretch the decoder cannot make
    // plays as silence of its length.
    void filesPlayWhole_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<double>("seconds");
        const QByteArray chirp = readFile(fixturePath(QStringLiteral("chirp-cbr.mp3")));
        // Cut before it was opened, its header's length is no promise.
        QTest::newRow("cut in half") << chirp.left(chirp.size() / 2) << 2.95;
        QTest::newRow("VBR without its header") << readFile(fixturePath(QStringLiteral("chirp-vbr-noheader.mp3"))) << 6.0;
        QTest::newRow("two joined") << chirp + chirp << 12.0;
        QTest::newRow("three joined, then a tag") << chirp + chirp + chirp + QByteArray("TAG") + QByteArray(125, ' ') << 18.0;
        QTest::newRow("a short one joined on") << chirp + readFile(fixturePath(QStringLiteral("Unit 1 듣기.mp3"))) << 7.0;
        // A tag of compressed bytes (a picture) holds what looks like frames.
        QTest::newRow("a large tag after the frames") << chirp + apeTag(300'000) << 6.0;
        QTest::newRow("an ID3v2 tag after the frames") << chirp + id3TagWithFooter(30'000) << 6.0;
        // Without the header, the frames are counted: up to the tags, not into them.
        const QByteArray noHeader = readFile(fixturePath(QStringLiteral("chirp-vbr-noheader.mp3")));
        QTest::newRow("no header, then a large tag") << noHeader + apeTag(300'000) << 6.0;
        QTest::newRow("no header, then an ID3v2 tag") << noHeader + id3TagWithFooter(300'000) << 6.0;
        // A tag whose size does not check out sets nothing aside.
        QTest::newRow("joined, then a damaged lyrics block") << chirp + chirp + QByteArray("999999LYRICS200") << 12.0;
        QByteArray damagedApe = apeTag(100);
        damagedApe.replace(damagedApe.size() - 20, 4, QByteArray("\xf0\xff\xff\xff", 4));  // the size: ~4 GB
        QTest::newRow("joined, then a damaged APE tag") << chirp + chirp + damagedApe << 12.0;
        QByteArray overreachingApe = apeTag(100);
        qToLittleEndian(quint32(chirp.size()), overreachingApe.data() + overreachingApe.size() - 20);
        QTest::newRow("joined, then an APE tag claiming the second file")
            << chirp + chirp + overreachingApe << 12.0;
        QTest::newRow("joined, a part at 48 kHz") << chirp + readFile(fixturePath(QStringLiteral("sine-2s-48k.mp3"))) << 8.0;
        QByteArray damagedAac = readFile(fixturePath(QStringLiteral("chirp.m4a")));
        damagedAac.replace(30'000, 10'000, noise(10'000));  // about 1 s of the audio data
        QTest::newRow("AAC with a damaged stretch") << damagedAac << 6.0;
    }

    void filesPlayWhole()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(double, seconds);
        Shelf shelf(bytes);
        shelf.playLesson();
        const double duration = shelf.player().player()->duration();
        // Joined, each part's encoder delay and padding play too (50 ms
        // each), and its header frame stands for a frame that plays nothing.
        QVERIFY2(duration >= seconds && duration < seconds + 0.16, qPrintable(QString::number(duration)));
        const double heardSeconds = shelf.playToTheEnd();
        QVERIFY(shelf.ranOut);
        QVERIFY2(heardSeconds >= seconds && std::abs(heardSeconds - duration) < 0.06,
                 qPrintable(QStringLiteral("%1 of %2").arg(heardSeconds).arg(duration)));
        QCOMPARE(shelf.earlyEnds(), QStringList());
    }

    // Counted, the frames end where the tags begin, to the frame: also with
    // junk before the tags, which the demuxer joins to the first "frame" it
    // finds in them.
    void tagsAfterCountedFramesAddNoFrame()
    {
        const QByteArray noHeader = readFile(fixturePath(QStringLiteral("chirp-vbr-noheader.mp3")));
        QTemporaryDir folder;
        const auto secondsOf = [&](const QByteArray& bytes) {
            const QString path = folder.filePath(QStringLiteral("lesson.mp3"));
            if (!writeFile(path, bytes))
                return -1.0;
            const std::unique_ptr<DecodeStream> stream = DecodeStream::open(path, rate, nullptr);
            return stream ? stream->durationSeconds() : -1.0;
        };
        const double plain = secondsOf(noHeader);
        QVERIFY(plain > 5.9);
        QCOMPARE(secondsOf(noHeader + apeTag(300'000)), plain);
        QCOMPARE(secondsOf(noHeader + QByteArray(2000, '\0') + apeTag(300'000)), plain);
    }

    // Joined files whose length could not be counted in time (a slow disk)
    // are taken at the first one's rate for the bytes there are, not at the
    // first one's length alone.
    void joinedFilesNotCountedInTimeAreEstimatedFromTheirSize()
    {
        const QByteArray chirp = readFile(fixturePath(QStringLiteral("chirp-cbr.mp3")));
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("joined.mp3"));
        QVERIFY(writeFile(path, chirp + chirp + chirp));
        DecodeStream::giveUpCountingForTesting(true);
        const auto restore = qScopeGuard([] { DecodeStream::giveUpCountingForTesting(false); });
        const std::unique_ptr<DecodeStream> stream = DecodeStream::open(path, rate, nullptr);
        QVERIFY(stream && stream->lengthEstimated());
        QVERIFY2(std::abs(stream->durationSeconds() - 18.0) < 0.2, qPrintable(QString::number(stream->durationSeconds())));

        // A part at a higher bitrate than the first makes the estimate too
        // long: play ends where the data does, which is no early end.
        Shelf shelf(readFile(fixturePath(QStringLiteral("sine-5s.mp3"))) + chirp);
        shelf.playLesson();
        const double estimated = shelf.player().player()->duration();
        QVERIFY2(estimated > 12, qPrintable(QString::number(estimated)));
        const double heardSeconds = shelf.playToTheEnd();
        QVERIFY(shelf.ranOut);
        QVERIFY2(std::abs(heardSeconds - 11.0) < 0.2, qPrintable(QString::number(heardSeconds)));
        QCOMPARE(shelf.earlyEnds(), QStringList());
    }

    // A joined part at another sample rate follows on sample for sample: a
    // tone goes on without a splice (a sample cut or a silent one) where its
    // frames' times, counted at the first part's rate, come out a sample off,
    // or where FFmpeg guesses its first frames' times at the old rate.
    void aPartAtAnotherRateFollowsOnWithoutASplice_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<double>("fromSeconds");  // the 440 Hz tone, from its first sound
        QTest::addColumn<double>("toSeconds");
        const QByteArray at48 = readFile(fixturePath(QStringLiteral("sine-2s-48k.mp3")));
        QTest::newRow("48 kHz after 44.1") << readFile(fixturePath(QStringLiteral("chirp-cbr.mp3"))) + at48 << 6.03 << 7.9;
        QTest::newRow("44.1 kHz after 48") << at48 + readFile(fixturePath(QStringLiteral("sine-5s.mp3"))) << 2.04 << 6.9;
    }

    void aPartAtAnotherRateFollowsOnWithoutASplice()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(double, fromSeconds);
        QFETCH(double, toSeconds);
        Shelf shelf(bytes);
        shelf.playLesson();
        const std::vector<float> heard = ManualOutput::pull(std::int64_t((toSeconds + 0.1) * rate));
        float peak = 0;
        float largestStep = 0;
        for (std::size_t frame = std::size_t(fromSeconds * rate); frame < std::size_t(toSeconds * rate); ++frame) {
            peak = std::max(peak, std::abs(heard.at(2 * frame)));
            largestStep = std::max(largestStep, std::abs(heard.at(2 * frame) - heard.at(2 * frame - 2)));
        }
        const double toneStep = peak * 2 * M_PI * 440 / rate;
        QVERIFY2(peak > 0.05 && largestStep < 1.3 * toneStep,
                 qPrintable(QStringLiteral("step %1, the tone's own %2").arg(largestStep).arg(toneStep)));
        // Every part in its place: the second part's header frame, which the
        // decoder makes nothing of, holds its time as silence, so the whole
        // plays to its stated length.
        const double heardSeconds = double(heard.size() / 2 + ManualOutput::pullCount(std::int64_t(100) * rate)) / rate;
        const double duration = shelf.player().player()->duration();
        QVERIFY2(std::abs(heardSeconds - duration) < 0.01, qPrintable(QStringLiteral("%1 of %2").arg(heardSeconds).arg(duration)));
    }

    // Played again after it changed on disk (recorded again, a download
    // finished), a track is mapped again: its phrases are the new file's.
    void aTrackPlayedAgainAfterItChangedIsMappedAgain()
    {
        Shelf shelf(readFile(fixturePath(QStringLiteral("chirp-cbr.mp3"))));
        const auto mappedSeconds = [&] {
            const std::optional<PhraseMap>& map = shelf.state->phraseMap();
            return map ? map->durationSeconds() : -1.0;
        };
        shelf.playLesson();
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(mappedSeconds() - 6.0) < 0.1, 10000);
        QVERIFY(writeFile(shelf.lessonPath, readFile(fixturePath(QStringLiteral("Unit 1 듣기.mp3")))));
        shelf.playLesson();
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(mappedSeconds() - 1.0) < 0.1, 10000);
    }

    // Added, stored, read back by the next run's store, and played.
    void awkwardPathsSurviveAddingSavingReloadingAndPlaying()
    {
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("강의 #1 (100% \"real\") ?🎧"));
        QVERIFY(QDir().mkpath(folder));
        TrackList tracks;
        for (const QString& name : {QStringLiteral("Unit 1 듣기.mp3"), QStringLiteral("100% sure #2?.mp3"),
                                    QStringLiteral("it's \"quoted\" a%20b.mp3"), QStringLiteral("back\\slash&[].mp3")}) {
            QVERIFY(QFile::copy(fixturePath(QStringLiteral("Unit 1 듣기.mp3")), folder + u'/' + name));
            tracks << QUrl::fromLocalFile(folder + u'/' + name);
        }
        const QString name = QStringLiteral("듣기 🎧 #1");
        LibraryFixture first;
        first.state->setNewPlaylistName(name);
        first.library->addPlaylist();
        first.library->addPickedFiles(QDialog::Accepted, tracks);
        first.player().stop();

        DefaultsStore reopened(first.defaults.filePath());
        ContentState state(reopened);
        PlaylistLibrary library(state);
        library.loadPlaylists();
        QCOMPARE(state.playlists().tracks(name), tracks);
        Log::Capture log;
        library.playTrackInPlaylist(name, tracks.last());
        QCOMPARE(log.lines().value(1), QStringLiteral("Playing: back\\slash&[].mp3"));
        QCOMPARE(ManualOutput::pullCount(rate / 10), std::int64_t(rate / 10));
    }

    // What is no regular file is refused at once, with a line that says so,
    // however it is named: a FIFO would block the open for good, a device
    // would feed it without end. The window answers a key meanwhile.
    void whatIsNoRegularFileIsRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("device") << "device";
    }

    void whatIsNoRegularFileIsRefusedAtOnce()
    {
        QFETCH(QString, kind);
        Shelf shelf(m_long);
        QVERIFY(QFile::remove(shelf.lessonPath));
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(shelf.lessonPath).constData(), 0600), 0);
        else
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), shelf.lessonPath));
        // A key pressed while the track is being opened is answered soon.
        QElapsedTimer clock;
        qint64 answeredAt = -1;
        QTimer::singleShot(20, [&] { answeredAt = clock.elapsed(); });
        clock.start();
        shelf.playLesson();
        QCOMPARE(shelf.log.lines().value(1),
                 QStringLiteral("Error playing track: %1: not a regular file").arg(shelf.lessonPath));
        QTRY_VERIFY(answeredAt >= 0);
        // Soon: an open that waited for a writer, or read the device
        // through, would never answer; a busy machine may take a while.
        QVERIFY2(answeredAt < 500, qPrintable(QString::number(answeredAt)));
        QVERIFY(!shelf.player().isPlaying());
        QVERIFY(shelf.libraryIntact());
    }

    // A track is a local file: nothing it names or holds reaches the network
    // (a server on this machine must never be asked), another process, or a
    // protocol that stitches files together.
    void nothingStoredOrHeldReachesTheNetwork()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        int requests = 0;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            ++requests;
            delete server.nextPendingConnection();
        });
        const QString web = QStringLiteral("http://127.0.0.1:%1/lesson.mp3").arg(server.serverPort());
        QTemporaryDir folder;
        // Files that name the server from inside: a concatenation list and an
        // HLS playlist, named as audio.
        const QString listed = folder.filePath(QStringLiteral("list.mp3"));
        QVERIFY(writeFile(listed, "ffconcat version 1.0\nfile '" + web.toUtf8() + "'\n"));
        const QByteArray hls = "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n" + web.toUtf8() + "\n#EXT-X-ENDLIST\n";
        const QString streamed = folder.filePath(QStringLiteral("stream.m4a"));
        QVERIFY(writeFile(streamed, hls));
        const QString playlist = folder.filePath(QStringLiteral("lesson.m3u8"));
        QVERIFY(writeFile(playlist, hls));
        const QStringList stored{QStringLiteral("file:") + web, QStringLiteral("file:concat:") + fixturePath("sine-5s.mp3"),
                                 QStringLiteral("file:subfile,,start,0,end,0,,:") + fixturePath("sine-5s.mp3"),
                                 QStringLiteral("file:tcp://127.0.0.1:%1").arg(server.serverPort()), web,
                                 QUrl::fromLocalFile(listed).toString(), QUrl::fromLocalFile(streamed).toString(),
                                 QUrl::fromLocalFile(playlist).toString()};
        QByteArray json = "{\"Web\":[";
        for (const QString& track : stored)
            json += '"' + track.toUtf8() + "\",";
        json.chop(1);
        json += "]}";
        LibraryFixture f(json);
        f.library->loadPlaylists();
        for (const Track& track : f.state->playlists().tracks(QStringLiteral("Web"))) {
            f.log.clear();
            f.library->playTrackInPlaylist(QStringLiteral("Web"), track);
            QVERIFY2(f.log.lines().filter(QStringLiteral("Error playing track: ")).size() == 1,
                     qPrintable(track.toString() + u'|' + f.log.lines().join(u'|')));
            QVERIFY(!f.player().player());
        }
        QTest::qWait(200);  // a request would have arrived by now
        QCOMPARE(requests, 0);
    }
};

QTEST_MAIN(TrackFaultsTest)
#include "tst_faults_tracks.moc"
