// Inputs that once broke the decoding path (tests/fixtures/fuzz, found by
// fuzz/run), replayed the way the fuzzer ran them and through the player
// itself: each must fail to load cleanly or decode cleanly, in bounded time.

#include "engine/AudioOutput.h"
#include "engine/DecodeStream.h"
#include "engine/FilePlayer.h"
#include "engine/Mp3GaplessInfo.h"
#include "engine/Mp3Tags.h"
#include "DecodeWorkout.h"
#include "KnownSignal.h"
#include "ManualOutput.h"
#include "ProcessMemory.h"
#include "SpeechFixture.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

namespace {

// The player's output rate here: high, so lengths grow the most on the way out.
constexpr int playerRate = 96000;

// A mono 16-bit WAV file whose header states any rate.
QByteArray wavFile(quint32 sampleRate, quint32 frames)
{
    std::vector<float> samples(frames);
    for (quint32 i = 0; i < frames; ++i)
        samples[i] = float(i * 97 % 20000) / 32767.0f;
    return wavBytes(samples, sampleRate, 1);
}

// A mono WAV file of 32-bit float samples, which may go past full scale.
QByteArray floatWavFile(const std::vector<float>& samples, quint32 sampleRate)
{
    const auto dataBytes = quint32(samples.size() * 4);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataBytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(3) << quint16(1) << sampleRate << quint32(sampleRate * 4) << quint16(4) << quint16(32);
    out.writeRawData("data", 4);
    out << dataBytes;
    for (const float sample : samples)
        out << sample;
    return bytes;
}

// The big-endian 32-bit number at a header field, rewritten: damage of the
// kind a tool's mistake makes.
void changeNumberAt(QByteArray& bytes, qsizetype at, const std::function<quint32(quint32)>& change)
{
    quint32 number = 0;
    for (int i = 0; i < 4; ++i)
        number = (number << 8) | quint8(bytes[at + i]);
    number = change(number);
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((number >> (24 - 8 * i)) & 0xff);
}

// A box as MPEG-4 files nest them: its size, its type, what it holds.
QByteArray box(const char* type, const QByteArray& content)
{
    QByteArray bytes(4, '\0');
    changeNumberAt(bytes, 0, [&](quint32) { return quint32(8 + content.size()); });
    return bytes + type + content;
}

// An MPEG-4 file as iTunes writes AAC: no edit list, the priming and the
// real length stated in a gapless tag instead (the one at the end of moov).
QByteArray asItunesWritesIt(QByteArray bytes, quint64 realSamples)
{
    const qsizetype moov = bytes.indexOf("moov") - 4;
    bytes.replace(bytes.indexOf("edts", moov), 4, "free");
    const QByteArray stated =
        QStringLiteral(" 00000000 00000400 00000000 %1").arg(realSamples, 16, 16, QChar(u'0')).toUpper().toLatin1();
    const QByteArray tag = box("----", box("mean", QByteArray(4, '\0') + "com.apple.iTunes")
                                           + box("name", QByteArray(4, '\0') + "iTunSMPB")
                                           + box("data", QByteArray::fromHex("0000000100000000") + stated));
    const qsizetype ilst = bytes.indexOf("ilst", moov) - 4;
    qsizetype ilstEnd = 0;
    changeNumberAt(bytes, ilst, [&](quint32 size) { ilstEnd = ilst + size; return size; });
    for (const char* parent : {"moov", "udta", "meta", "ilst"})
        changeNumberAt(bytes, bytes.indexOf(parent, moov) - 4, [&](quint32 size) { return size + quint32(tag.size()); });
    return bytes.insert(ilstEnd, tag);
}

std::vector<float> decodeWhole(DecodeStream& stream)
{
    std::vector<float> samples;
    std::vector<float> chunk(std::size_t(4096) * DecodeStream::outputChannels);
    while (!stream.atEnd()) {
        const std::int64_t frames = stream.read(chunk.data(), 4096);
        if (frames <= 0)
            break;
        samples.insert(samples.end(), chunk.begin(), chunk.begin() + frames * DecodeStream::outputChannels);
    }
    return samples;
}

}  // namespace

class DecodingRegressionsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

private slots:
    void initTestCase() { AudioOutput::useManualOutputForTesting(playerRate); }

    void foundInputsFailOrDecodeCleanly_data()
    {
        QTest::addColumn<QString>("name");
        const QStringList names = QDir(fixturePath(QStringLiteral("fuzz"))).entryList({QStringLiteral("*.bin")}, QDir::Files);
        QVERIFY2(!names.isEmpty(), "no inputs in tests/fixtures/fuzz");
        for (const QString& name : names)
            QTest::newRow(qPrintable(name)) << name;
    }

    void foundInputsFailOrDecodeCleanly()
    {
        QFETCH(QString, name);
        QFile found(fixturePath(QStringLiteral("fuzz/") + name));
        QVERIFY(found.open(QIODevice::ReadOnly));
        const DecodeWorkout::Input input = DecodeWorkout::split(found.readAll());
        const QString path = m_folder.filePath(QStringLiteral("input.") + input.plan.suffix);
        QVERIFY(writeFile(path, input.file));

        // As the fuzzer ran it, and at the rates furthest from the file's own.
        for (const int rate : {input.plan.outputRate, 8000, playerRate}) {
            DecodeWorkout::Plan plan = input.plan;
            plan.outputRate = rate;
            const DecodeWorkout::Report report = DecodeWorkout::run(path, plan);
            QVERIFY2(report.brokenPromises.isEmpty(), qPrintable(report.brokenPromises.join(QStringLiteral("; "))));
        }

        // Through the player: a clean failure, or a track that plays and seeks.
        QString error;
        const auto player = FilePlayer::load(QUrl::fromLocalFile(path), &error);
        // Within bounded memory, too: a learner's folder may hold such a file.
        QVERIFY2(peakResidentKilobytes() < 768 * 1024, qPrintable(QString::number(peakResidentKilobytes() >> 10) + " MB"));
        if (!player) {
            QVERIFY2(error.startsWith(path + QStringLiteral(": ")), qPrintable(error));
            return;
        }
        QVERIFY(std::isfinite(player->duration()) && player->duration() > 0);
        player->play();
        ManualOutput::pull(playerRate / 2, std::chrono::milliseconds(300));
        player->setCurrentTime(player->duration() / 2);
        ManualOutput::pull(playerRate / 2, std::chrono::milliseconds(300));
        QVERIFY(player->currentTime() >= 0 && player->currentTime() <= player->duration());
    }

    // A time that jumps far ahead (a year on, in a file that says it lasts
    // so long) is not taken for sound the decoder lost: what is there plays,
    // then the data ends, rather than a year of silence fed in its place.
    // Where the packet holding the jump is damaged, its silence lasts no
    // more than a few frames (9 AAC frames here), not the 69 hours it says.
    void aTimeJumpingFarAheadAddsNoSilence_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("mostFrames");  // at 8000 Hz
        QTest::newRow("jump") << readFile(fixturePath(QStringLiteral("timestamp-jump.mka"))) << qint64(8100);
        QByteArray damaged = readFile(fixturePath(QStringLiteral("aac-time-jump.m4a")));
        for (int i = 1226; i < 1614; ++i)
            damaged[i] = char((i * 7919) >> 3);
        QTest::newRow("damaged packet claiming hours") << damaged << qint64(8000 + 8 * 1152 + 1024);
    }

    void aTimeJumpingFarAheadAddsNoSilence()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, mostFrames);
        const QString path = m_folder.filePath(QStringLiteral("jump-%1").arg(QTest::currentDataTag()));
        QVERIFY(writeFile(path, bytes));
        const auto stream = DecodeStream::open(path, DecodeStream::fileRate, nullptr);
        QVERIFY(stream);
        std::vector<float> chunk(std::size_t(8000) * DecodeStream::outputChannels);
        std::int64_t frames = 0;
        for (int second = 0; second < 60 && !stream->atEnd(); ++second)
            frames += stream->read(chunk.data(), 8000);
        QVERIFY2(stream->atEnd() && frames <= mostFrames, qPrintable(QString::number(frames)));
    }

    // Where the stated length cannot be trusted, what is there is counted:
    // AAC frames renamed ".mp3" (whose length FFmpeg guesses from the first
    // frames' bitrate), MP3 headers whose frame count their bytes belie, and
    // an MPEG-4 track header that states fewer samples than its table lists.
    // Every second plays, and no more is promised than plays.
    void lengthsTheFileCannotBackAreCounted()
    {
        QString error;
        const auto aac = [&](const QString& name, double seconds, const char* bitrate) {
            const QString path = m_folder.filePath(name);
            const bool made = SpeechFixture::runTool(
                QStringLiteral("ffmpeg"),
                {"-v", "error", "-y", "-f", "lavfi", "-i",
                 QStringLiteral("anoisesrc=d=%1:r=44100:a=0.3").arg(seconds), "-c:a", "aac", "-b:a", bitrate,
                 "-f", "adts", path},
                &error);
            return made ? readFile(path) : QByteArray();
        };
        const QByteArray rich = aac(QStringLiteral("rich.aac"), 2, "256k");
        const QByteArray lean = aac(QStringLiteral("lean.aac"), 6, "32k");
        QVERIFY2(!rich.isEmpty() && !lean.isEmpty(), qPrintable(error));
        QByteArray header = readFile(fixturePath(QStringLiteral("chirp-cbr.mp3")));
        const qsizetype info = header.indexOf("Info");
        QVERIFY(info > 0);
        const double chirpSeconds = DecodeStream::open(fixturePath(QStringLiteral("chirp-cbr.mp3")), 8000, nullptr)->durationSeconds();
        // Twice the frames the bytes hold at the file's constant bitrate:
        // within what some bitrate could hold, so only the bitrate tells.
        QByteArray doubled = header;
        changeNumberAt(doubled, info + 8, [](quint32 frames) { return frames * 2; });
        header[info + 9] = char(0xff);  // 231 frames become 16 million
        // At 8 kbit/s, 5 frames more than there are: 0.36 s never played.
        const QString lowPath = m_folder.filePath(QStringLiteral("low.mp3"));
        QVERIFY2(SpeechFixture::runTool(QStringLiteral("ffmpeg"),
                                        {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=f=440:d=6:r=8000", "-c:a",
                                         "libmp3lame", "-b:a", "8k", lowPath},
                                        &error),
                 qPrintable(error));
        const double lowSeconds = DecodeStream::open(lowPath, 8000, nullptr)->durationSeconds();
        QByteArray overstated = readFile(lowPath);
        const qsizetype lowInfo = overstated.indexOf("Info");
        QVERIFY(lowInfo > 0);
        changeNumberAt(overstated, lowInfo + 8, [](quint32 frames) { return frames + 5; });
        // An MPEG-4 track header stating half the samples its table lists.
        QByteArray understated = readFile(fixturePath(QStringLiteral("chirp.m4a")));
        const double chirpM4aSeconds = DecodeStream::open(fixturePath(QStringLiteral("chirp.m4a")), 8000, nullptr)->durationSeconds();
        const qsizetype mdhd = understated.indexOf("mdhd");
        QVERIFY(mdhd > 0 && understated[mdhd + 4] == 0);  // version 0: 32-bit times
        const qsizetype durationAt = mdhd + 4 + 4 + 4 + 4 + 4;  // version and flags, two times, the time scale
        changeNumberAt(understated, durationAt, [](quint32 samples) { return samples / 2; });

        const struct {
            QString name;
            QByteArray bytes;
            double seconds;
        } files[] = {{QStringLiteral("falling.mp3"), rich + lean, 8.0},
                     {QStringLiteral("rising.mp3"), lean + rich, 8.0},
                     {QStringLiteral("belied.mp3"), header, chirpSeconds},
                     {QStringLiteral("doubled.mp3"), doubled, chirpSeconds},
                     {QStringLiteral("understated.m4a"), understated, chirpM4aSeconds},
                     {QStringLiteral("overstated.mp3"), overstated, lowSeconds}};
        for (const auto& file : files) {
            const QString path = m_folder.filePath(file.name);
            QVERIFY(writeFile(path, file.bytes));
            const auto stream = DecodeStream::open(path, 8000, nullptr);
            QVERIFY(stream);
            std::vector<float> chunk(std::size_t(8000) * DecodeStream::outputChannels);
            std::int64_t frames = 0;
            for (int second = 0; second < 20 && !stream->atEnd(); ++second)
                frames += stream->read(chunk.data(), 8000);
            // AAC parts each bring a frame or two of their own at the joint.
            QVERIFY2(std::abs(stream->durationSeconds() - file.seconds) < 0.1,
                     qPrintable(file.name + QStringLiteral(": ") + QString::number(stream->durationSeconds())));
            QVERIFY2(std::abs(frames - stream->outputLengthFrames()) <= 1, qPrintable(file.name));
        }
        // A time jump of hours in an MPEG-4 table (one damaged entry) whose
        // track header states the second that is there: the header holds.
        QByteArray jumped = readFile(fixturePath(QStringLiteral("aac-time-jump.m4a")));
        const qsizetype jumpedMdhd = jumped.indexOf("mdhd");
        QVERIFY(jumpedMdhd > 0 && jumped[jumpedMdhd + 4] == 0);
        changeNumberAt(jumped, jumpedMdhd + 20, [](quint32) { return 9024; });  // the samples there are, at 8000 Hz
        const QString jumpedPath = m_folder.filePath(QStringLiteral("jumped.m4a"));
        QVERIFY(writeFile(jumpedPath, jumped));
        const auto stream = DecodeStream::open(jumpedPath, 8000, nullptr);
        QVERIFY(stream);
        QVERIFY2(stream->durationSeconds() < 1.2, qPrintable(QString::number(stream->durationSeconds())));
    }

    // Without an edit list the track's time starts at the priming, which the
    // gapless tag skips: the length is the tag's, not the priming's frame
    // more (a loop to the track's end replayed the encoder's tail at every
    // pass), and the audio is the same sample for sample.
    void anItunesGaplessTagTakesTheEditListsPlace()
    {
        const QString path = m_folder.filePath(QStringLiteral("itunes.m4a"));
        QVERIFY(writeFile(path, asItunesWritesIt(readFile(fixturePath(QStringLiteral("chirp.m4a"))), 264600)));
        const auto withTag = DecodeStream::open(path, playerRate, nullptr);
        const auto withEditList = DecodeStream::open(fixturePath(QStringLiteral("chirp.m4a")), playerRate, nullptr);
        QVERIFY(withTag && withEditList);
        QCOMPARE(withTag->outputLengthFrames(), withEditList->outputLengthFrames());
        const std::vector<float> whole = decodeWhole(*withEditList);
        QVERIFY(decodeWhole(*withTag) == whole);

        // Where the table lists the last frame's padding too, the tag's count ends it.
        const QString padded = m_folder.filePath(QStringLiteral("padded.m4a"));
        QVERIFY(writeFile(padded, asItunesWritesIt(readFile(fixturePath(QStringLiteral("chirp.m4a"))), 264600 - 441)));
        const auto shorter = DecodeStream::open(padded, playerRate, nullptr);
        QVERIFY(shorter);
        QCOMPARE(shorter->outputLengthFrames(), withEditList->outputLengthFrames() - playerRate / 100);
        const std::vector<float> cut = decodeWhole(*shorter);
        QCOMPARE(cut.size(), std::size_t(shorter->outputLengthFrames() * DecodeStream::outputChannels));
        // (The resampler's last few frames meet the end of its input.)
        QVERIFY(std::equal(cut.begin(), cut.end() - 64 * DecodeStream::outputChannels, whole.begin()));
    }

    // Six channels folded into two at the level they have: the sum of the
    // front, centre and back would pass full scale, and the device clip it.
    void moreChannelsFoldIntoTwoWithoutPassingFullScale()
    {
        const QString path = m_folder.filePath(QStringLiteral("surround.m4a"));
        QString error;
        QVERIFY2(SpeechFixture::runTool(
                     QStringLiteral("ffmpeg"),
                     {"-v", "error", "-y", "-f", "lavfi", "-i",
                      "aevalsrc=0.7*sin(2*PI*440*t)|0.7*sin(2*PI*440*t)|0.7*sin(2*PI*440*t)|0.7*sin(2*PI*440*t)|"
                      "0.7*sin(2*PI*440*t)|0.7*sin(2*PI*440*t):c=5.1:s=48000:d=1",
                      "-c:a", "aac", "-b:a", "384k", path},
                     &error),
                 qPrintable(error));
        const auto stream = DecodeStream::open(path, 48000, nullptr);
        QVERIFY(stream);
        std::vector<float> samples(std::size_t(48000) * DecodeStream::outputChannels);
        const int frames = stream->read(samples.data(), 48000);
        QVERIFY(frames > 40000);
        float peak = 0;
        for (std::size_t i = 0; i < std::size_t(frames) * DecodeStream::outputChannels; ++i)
            peak = std::max(peak, std::abs(samples[i]));
        QVERIFY2(peak > 0.2f && peak <= 1.0f, qPrintable(QString::number(peak)));
    }

    // Tags after the frames are walked only as far as any tagger writes
    // them: a file ending in thousands of empty ones (0.4 s a megabyte to
    // walk) opens at once, and still with its own length.
    void tagsWithoutEndAreNotWalkedToTheirEnd()
    {
        QByteArray emptyTag = QByteArray("ID3\x04\x00\x10", 6) + QByteArray(4, '\0');
        emptyTag += QByteArray("3DI\x04\x00\x10", 6) + QByteArray(4, '\0');
        const QByteArray audio = readFile(fixturePath(QStringLiteral("chirp-cbr.mp3")));
        QByteArray tagged = audio + emptyTag.repeated(50000);
        QBuffer buffer(&tagged);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QCOMPARE(Mp3Tags::trailingBytes(buffer), Mp3Tags::mostTrailingTags * emptyTag.size());

        const QString path = m_folder.filePath(QStringLiteral("tagged.mp3"));
        QVERIFY(writeFile(path, tagged));
        const auto stream = DecodeStream::open(path, 8000, nullptr);
        QVERIFY(stream);
        QCOMPARE(stream->durationSeconds(), DecodeStream::open(fixturePath(QStringLiteral("chirp-cbr.mp3")), 8000, nullptr)->durationSeconds());
    }

    // A tagger that puts its tag in front of the encoder's leaves two in a
    // row; one that shrank its tag in place leaves zeros after it. The
    // encoder's header after them still sets the length (its padding cut,
    // as without them).
    void tagsInARowBeforeTheFramesHideNoHeader_data()
    {
        QTest::addColumn<QByteArray>("front");
        QTest::addColumn<int>("zerosAfterTags");
        const QByteArray tag = QByteArray("ID3\x03\x00\x00\x00\x00\x01\x00", 10) + QByteArray(128, '\0');
        QTest::newRow("a second tag") << tag << 0;
        QTest::newRow("zeros after the tag") << QByteArray() << 700;
        QTest::newRow("a second tag, zeros after both") << tag << 3000;
    }
    void tagsInARowBeforeTheFramesHideNoHeader()
    {
        QFETCH(QByteArray, front);
        QFETCH(int, zerosAfterTags);
        const QString original = fixturePath(QStringLiteral("chirp-cbr.mp3"));
        const QByteArray originalBytes = readFile(original);
        const qsizetype originalTagBytes = Mp3Tags::id3v2Bytes(originalBytes.left(10));
        QVERIFY(originalTagBytes > 0);
        QByteArray tagged = front + originalBytes.left(originalTagBytes) + QByteArray(zerosAfterTags, '\0')
            + originalBytes.mid(originalTagBytes);
        QBuffer buffer(&tagged);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const auto info = Mp3GaplessInfo::read(buffer);
        QVERIFY(info);
        QCOMPARE(info->headerFrameOffset, front.size() + originalTagBytes + zerosAfterTags);

        const QString path = m_folder.filePath(QStringLiteral("retagged.mp3"));
        QVERIFY(writeFile(path, tagged));
        for (const int rate : {8000, 44100}) {
            const auto expected = DecodeStream::open(original, rate, nullptr);
            const auto stream = DecodeStream::open(path, rate, nullptr);
            QVERIFY(expected && stream);
            QCOMPARE(stream->outputLengthFrames(), expected->outputLengthFrames());
            const std::vector<float> straight = KnownSignal::straightDecode(original, rate);
            QCOMPARE(KnownSignal::straightDecode(path, rate), straight);
            // Seeks land where they do in the file as encoded.
            std::vector<float> landed(2 * 256);
            for (const std::int64_t target : {std::int64_t(rate) / 3, std::int64_t(rate) * 4 + 17}) {
                stream->seek(target);
                QCOMPARE(stream->read(landed.data(), 256), 256);
                QVERIFY(std::equal(landed.begin(), landed.end(), straight.begin() + 2 * target));
            }
        }
    }

    // Two recordings joined into one file, the second at another rate: a
    // seek back into the first after playing into the second (a loop
    // across the join going back) plays what a straight decode plays
    // there. The decoder stamps the first frame after a seek with the rate
    // of the frame decoded before it: measured at that rate, it was cut or
    // laid over the next one, and the track's start lost.
    void aSeekBackAcrossAJoinAtAnotherRateLandsInPlace()
    {
        const QString path = m_folder.filePath(QStringLiteral("joined.mp3"));
        QVERIFY(writeFile(path, readFile(fixturePath(QStringLiteral("chirp-cbr.mp3")))
                                    + readFile(fixturePath(QStringLiteral("chirp-vbr-24k.mp3")))));
        const int rate = 44100;
        const std::vector<float> straight = KnownSignal::straightDecode(path, rate);
        const std::int64_t join = 6 * rate;
        QVERIFY(std::int64_t(straight.size()) / 2 > join + 2 * rate);
        const auto stream = DecodeStream::open(path, rate, nullptr);
        QVERIFY(stream);
        std::vector<float> chunk(2 * 4096);
        for (const std::int64_t target : {std::int64_t(0), std::int64_t(rate) / 2 + 7}) {
            while (stream->position() < join + rate)
                QVERIFY(stream->read(chunk.data(), 4096) > 0);
            stream->seek(target);
            QCOMPARE(stream->read(chunk.data(), 4096), 4096);
            QVERIFY2(std::equal(chunk.begin(), chunk.end(), straight.begin() + 2 * target), qPrintable(QString::number(target)));
        }
    }

    // A tag in front larger than FFmpeg's probe looks through (a big cover
    // picture) left the file to be judged by its name: an MP3 named .m4a
    // was refused as MPEG-4 with no index.
    void anMp3BehindABigTagPlaysWhateverItsName()
    {
        const QString original = fixturePath(QStringLiteral("chirp-cbr.mp3"));
        constexpr int pictureBytes = 3 << 19;  // 1.5 MB
        QByteArray frontTag("ID3\x03\x00\x00", 6);
        for (const int shift : {21, 14, 7, 0})
            frontTag += char((pictureBytes >> shift) & 0x7f);
        frontTag += QByteArray(pictureBytes, '\x55');
        const QString path = m_folder.filePath(QStringLiteral("cover.m4a"));
        QVERIFY(writeFile(path, frontTag + readFile(original)));
        QString error;
        QVERIFY2(DecodeStream::open(path, 44100, &error), qPrintable(error));
        QCOMPARE(KnownSignal::straightDecode(path, 44100), KnownSignal::straightDecode(original, 44100));
    }

    // Data that is not audio but named so, in which the probes find what
    // passes for frames (most programs are MPEG audio Layer I to them, a
    // font MP3 with a frame here and there), is refused: it played as
    // silence and bursts of noise far past full scale.
    void dataThatIsNotAudioIsRefused_data()
    {
        QTest::addColumn<QByteArray>("data");
        QFile program(QCoreApplication::applicationFilePath());
        QVERIFY(program.open(QIODevice::ReadOnly));
        QTest::newRow("a program") << program.readAll();
        QFile font(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));  // installed with the tests' fonts
        QVERIFY(font.open(QIODevice::ReadOnly));
        QTest::newRow("a font") << font.readAll();
        std::mt19937 noise(20261209);
        QByteArray random(2 << 20, Qt::Uninitialized);
        std::generate(random.begin(), random.end(), [&] { return char(noise()); });
        QTest::newRow("random bytes") << random;
        // Layer I frame headers (384 kbit/s, 44.1 kHz) before noise, which
        // that layer decodes as readily as sound: how most programs probe.
        QByteArray layerOne;
        for (int frame = 0; frame < 300; ++frame)
            layerOne += QByteArray("\xFF\xFF\xC0\x00", 4) + random.mid(frame * 412, 412);
        QTest::newRow("MPEG audio Layer I") << layerOne;
    }
    void dataThatIsNotAudioIsRefused()
    {
        QFETCH(QByteArray, data);
        const QString path = m_folder.filePath(QStringLiteral("not audio.mp3"));
        QVERIFY(writeFile(path, data));
        QString error;
        QVERIFY(!FilePlayer::load(QUrl::fromLocalFile(path), &error));
        QCOMPARE(error, path + QStringLiteral(": Invalid data found when processing input"));
    }

    // What the decoder makes of damage can come out at thousands of times
    // full scale (a file rewritten under the index read at its opening), or
    // not as a number: such a stretch is silence. A little past full scale,
    // as a loud master goes, comes out as it is, for the volume to lower.
    void burstsFarPastFullScaleAreSilenced()
    {
        constexpr int rate = 8000;
        const auto tone = [](int i, float level) { return level * float(std::sin(i * 0.05)); };
        std::vector<float> samples(4 * 8192);
        for (int i = 0; i < int(samples.size()); ++i)
            samples[std::size_t(i)] = tone(i, i < 8192 ? 1.5f : i < 16384 ? 0.5f : i < 24576 ? 6000.0f : 0.5f);
        samples[28000] = std::numeric_limits<float>::quiet_NaN();
        const QString path = m_folder.filePath(QStringLiteral("damage.wav"));
        QVERIFY(writeFile(path, floatWavFile(samples, rate)));
        const auto stream = DecodeStream::open(path, DecodeStream::fileRate, nullptr);
        QVERIFY(stream);
        std::vector<float> heard(samples.size() * 2);
        QCOMPARE(stream->read(heard.data(), int(samples.size())), int(samples.size()));
        const auto left = [&](int i) { return heard[std::size_t(2 * i)]; };
        for (int i = 0; i < 8192; i += 7)
            QCOMPARE(left(i), tone(i, 1.5f));
        for (int i = 9000; i < 16384; i += 7)
            QCOMPARE(left(i), tone(i, 0.5f));
        for (int i = 17000; i < 24576; i += 7)
            QCOMPARE(left(i), 0.0f);
        QCOMPARE(left(28000), 0.0f);
        QCOMPARE(left(28001), 0.0f);  // its whole block
        for (int i = 30720; i < int(samples.size()); i += 7)
            QCOMPARE(left(i), tone(i, 0.5f));
    }

    // A rate no recording has: below, every frame would grow by the ratio
    // to the output rate on its way out (a 13 kB file at "1 Hz" took 4 GB
    // and seconds to open at 96 kHz); above 768 kHz nothing records. Such a
    // header is damage.
    void ratesNoRecordingHasAreRefused()
    {
        for (const int rate : {3999, 4000, 768000, 768001}) {
            const QString path = m_folder.filePath(QStringLiteral("rate-%1.wav").arg(rate));
            QVERIFY(writeFile(path, wavFile(quint32(rate), 6000)));
            QString error;
            const auto player = FilePlayer::load(QUrl::fromLocalFile(path), &error);
            QCOMPARE(bool(player), rate >= 4000 && rate <= 768000);
            if (!player)
                QCOMPARE(error, path + QStringLiteral(": Invalid data found when processing input"));
            else
                QCOMPARE(player->duration(), 6000.0 / rate);
        }
    }
};

QTEST_GUILESS_MAIN(DecodingRegressionsTest)
#include "tst_decoding_regressions.moc"
