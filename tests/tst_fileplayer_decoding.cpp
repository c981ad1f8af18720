// Decoding as the file player does it, without the output: what loads and
// what does not, the true length, the first real sample, and exact seeks.
#include "KnownSignal.h"
#include "TestSupport.h"

#include "engine/DecodeStream.h"
#include "engine/FilePlayer.h"
#include "engine/Mp3GaplessInfo.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

namespace {

// Largest difference between what a stream yields from frame `at` on and the
// same frames of a straight decode.
double largestDifference(const std::vector<float>& decoded, const std::vector<float>& straight, std::int64_t at)
{
    double largest = 0;
    for (std::size_t i = 0; i < decoded.size(); ++i)
        largest = std::max(largest, double(std::fabs(decoded[i] - straight[std::size_t(at * 2) + i])));
    return largest;
}

std::vector<float> readFrames(DecodeStream& stream, int frames)
{
    std::vector<float> out(std::size_t(frames) * 2);
    const int got = stream.read(out.data(), frames);
    out.resize(std::size_t(got) * 2);
    return out;
}

}  // namespace

class FilePlayerDecodingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The player opens the shared output; keep it away from any device.
        qputenv("SDL_AUDIODRIVER", "dummy");
    }

    void loadFailuresNameTheFileAndTheReason_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "no-such-file.mp3" << "No such file or directory";
        QTest::newRow("empty") << "empty.mp3" << "Invalid data found when processing input";
        QTest::newRow("truncated") << "truncated.mp3" << "Invalid data found when processing input";
        QTest::newRow("text named .mp3") << "not-audio.mp3" << "Invalid data found when processing input";
    }

    void loadFailuresNameTheFileAndTheReason()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QString error;
        const auto player = FilePlayer::load(fixtureUrl(name), &error);
        QVERIFY(!player);
        QCOMPARE(error, fixturePath(name) + QStringLiteral(": ") + reason);
    }

    void nonFileUrlsAndFoldersFail()
    {
        QString error;
        QVERIFY(!FilePlayer::load(QUrl(QStringLiteral("https://example.com/a.mp3")), &error));
        QVERIFY(error.contains(QStringLiteral("https://example.com/a.mp3")));
        error.clear();
        QTemporaryDir folder;
        QVERIFY(!FilePlayer::load(QUrl::fromLocalFile(folder.path()), &error));
        QVERIFY(error.startsWith(folder.path() + QStringLiteral(": ")));
        QVERIFY(!FilePlayer::load(fixtureUrl(QStringLiteral("empty.mp3")), nullptr));  // no description wanted
    }

    void awkwardFileNamesLoad()
    {
        QTemporaryDir folder;
        const QStringList names = {QStringLiteral("Unit 1 듣기.mp3"), QStringLiteral("100% sure #2?.mp3"),
                                   QStringLiteral("it's \"quoted\".mp3"), QStringLiteral("🎧 listening.mp3"),
                                   QStringLiteral("a%20b.mp3")};
        for (const QString& name : names) {
            const QString path = folder.filePath(name);
            QVERIFY(QFile::copy(fixturePath(QStringLiteral("Unit 1 듣기.mp3")), path));
            QString error;
            const auto player = FilePlayer::load(QUrl::fromLocalFile(path), &error);
            QVERIFY2(player, qPrintable(name + QStringLiteral(" -> ") + error));
            QCOMPARE(player->duration(), 1.0);
            QCOMPARE(player->currentTime(), 0.0);
            QVERIFY(!player->isPlaying());
        }
    }

    void durationIsTheTrueLength_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("frames");
        QTest::newRow("mp3 cbr") << "chirp-cbr.mp3" << qint64(KnownSignal::chirpFrames);
        QTest::newRow("mp3 vbr mono") << "chirp-vbr-mono.mp3" << qint64(KnownSignal::chirpFrames);
        QTest::newRow("aac m4a") << "chirp.m4a" << qint64(KnownSignal::chirpFrames);
        QTest::newRow("tone mp3") << "sine-5s.mp3" << qint64(5 * 44100);
        QTest::newRow("tone m4a") << "sine-5s.m4a" << qint64(5 * 44100);
        QTest::newRow("hangul name") << "Unit 1 듣기.mp3" << qint64(44100);
    }

    void durationIsTheTrueLength()
    {
        QFETCH(QString, name);
        QFETCH(qint64, frames);
        const auto stream = DecodeStream::open(fixturePath(name), 44100, nullptr);
        QVERIFY(stream);
        QCOMPARE(stream->lengthFrames(), frames);
        QCOMPARE(stream->durationSeconds(), double(frames) / 44100);
        // Every real sample comes out, and nothing more.
        QCOMPARE(qint64(KnownSignal::straightDecode(fixturePath(name), 44100).size() / 2), frames);
        const auto player = FilePlayer::load(fixtureUrl(name), nullptr);
        QVERIFY(player);
        QCOMPARE(player->duration(), double(frames) / 44100);
    }

    void resampledLengthFollowsTheRate()
    {
        const auto decoded = KnownSignal::straightDecode(fixturePath(QStringLiteral("chirp-cbr.mp3")), 48000);
        QCOMPARE(qint64(decoded.size() / 2), qint64(6 * 48000));
    }

    void firstSampleIsTheFirstRealSample_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("tolerance");
        // MP3 keeps the phase exactly; AAC shifts it by a few samples in
        // coding, but never by anything near its 1024 samples of priming.
        QTest::newRow("mp3 cbr") << "chirp-cbr.mp3" << 44100 << 0;
        QTest::newRow("mp3 vbr") << "chirp-vbr-mono.mp3" << 44100 << 0;
        QTest::newRow("mp3 resampled") << "chirp-cbr.mp3" << 48000 << 0;
        QTest::newRow("aac") << "chirp.m4a" << 44100 << 8;
        QTest::newRow("aac resampled") << "chirp.m4a" << 48000 << 8;
    }

    void firstSampleIsTheFirstRealSample()
    {
        QFETCH(QString, name);
        QFETCH(int, rate);
        QFETCH(int, tolerance);
        const auto decoded = KnownSignal::straightDecode(fixturePath(name), rate);
        const int lag = KnownSignal::bestLagAgainstChirp(decoded, rate, 1500);
        QVERIFY2(std::abs(lag) <= tolerance, qPrintable(QStringLiteral("lag %1").arg(lag)));
        if (rate == 44100 && tolerance == 0) {
            // Sample by sample, within what the lossy coding changes.
            double largest = 0;
            for (int i = 0; i < 4000; ++i)
                largest = std::max(largest, std::fabs(decoded[std::size_t(2 * i)] - KnownSignal::chirpLeft(i / 44100.0)));
            QVERIFY2(largest < 0.05, qPrintable(QString::number(largest)));
        }
    }

    void channelsKeepTheirPlaceAndMonoFillsBoth()
    {
        auto peaks = [](const std::vector<float>& decoded) {
            float left = 0, right = 0;
            for (std::size_t i = 0; i + 1 < decoded.size(); i += 2) {
                left = std::max(left, std::fabs(decoded[i]));
                right = std::max(right, std::fabs(decoded[i + 1]));
            }
            return std::pair{left, right};
        };
        const auto [left, right] = peaks(KnownSignal::straightDecode(fixturePath(QStringLiteral("chirp-cbr.mp3")), 44100));
        QVERIFY(left > 0.47 && left < 0.56);
        QVERIFY(right > 0.37 && right < 0.46);

        const auto mono = KnownSignal::straightDecode(fixturePath(QStringLiteral("chirp-vbr-mono.mp3")), 44100);
        const auto [monoLeft, monoRight] = peaks(mono);
        QVERIFY2(monoLeft > 0.47 && monoLeft < 0.56, qPrintable(QString::number(monoLeft)));  // full level, not -3 dB
        for (std::size_t i = 0; i + 1 < mono.size(); i += 2)
            QCOMPARE(mono[i], mono[i + 1]);
    }

    void seeksLandOnTheExactSample_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rate");
        for (const char* name : {"chirp-cbr.mp3", "chirp-vbr-mono.mp3", "chirp.m4a"})
            for (int rate : {44100, 48000})
                QTest::addRow("%s at %d", name, rate) << QString::fromLatin1(name) << rate;
    }

    void seeksLandOnTheExactSample()
    {
        QFETCH(QString, name);
        QFETCH(int, rate);
        const auto straight = KnownSignal::straightDecode(fixturePath(name), rate);
        const std::int64_t length = std::int64_t(straight.size() / 2);
        const auto stream = DecodeStream::open(fixturePath(name), rate, nullptr);
        QVERIFY(stream);
        QCOMPARE(stream->outputLengthFrames(), length);

        // 0, codec frame boundaries and their neighbours (1152 for MP3, 1024
        // for AAC, also after the 1105-sample MP3 delay), the resampler's
        // grid (147 -> 160), arbitrary points, and the last frames.
        const std::int64_t targets[] = {0, 1, 1023, 1024, 1025, 1151, 1152, 1153, 1105, 2304, 159, 160, 161,
                                        44100, 48000, 99999, 123457, 200000, length / 2, length - 4096,
                                        length - 700, length - 1};
        for (const std::int64_t target : targets) {
            stream->seek(target);
            QCOMPARE(stream->position(), target);
            const auto decoded = readFrames(*stream, 3000);
            QCOMPARE(std::int64_t(decoded.size() / 2), std::min<std::int64_t>(3000, length - target));
            QCOMPARE(stream->position(), target + std::int64_t(decoded.size() / 2));
            const double difference = largestDifference(decoded, straight, target);
            QVERIFY2(difference <= 1e-6, qPrintable(QStringLiteral("at %1: %2").arg(target).arg(difference)));
        }

        // Drilling a loop: back to the same start again and again, from
        // different points within the loop.
        const std::int64_t loopStart = 3 * rate / 2 + 17;
        for (int round = 0; round < 12; ++round) {
            readFrames(*stream, 500 + round * 731);
            stream->seek(loopStart);
            QCOMPARE(largestDifference(readFrames(*stream, 2000), straight, loopStart), 0.0);
        }

        // At the end there is nothing more, and reading on stays at the end.
        stream->seek(length);
        QVERIFY(readFrames(*stream, 100).empty());
        QVERIFY(stream->atEnd());
        stream->seek(length + 5000);
        QCOMPARE(stream->position(), length);
        stream->seek(-20);
        QCOMPARE(stream->position(), std::int64_t(0));
    }

    void gaplessHeaderGivesDelayAndPadding()
    {
        QFile file(fixturePath(QStringLiteral("chirp-cbr.mp3")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto info = Mp3GaplessInfo::parse(bytes.left(8192));
        QVERIFY(info);
        QCOMPARE(info->sampleRate, 44100);
        QCOMPARE(info->samplesPerFrame, 1152);
        QCOMPARE(info->encoderDelaySamples, 576);
        QCOMPARE(info->realSampleCount(), std::int64_t(KnownSignal::chirpFrames));
        QCOMPARE(info->byteCount, qint64(bytes.size()) - info->headerFrameOffset);
        QCOMPARE(Mp3GaplessInfo::bytesNeeded(bytes.left(10)), info->headerFrameOffset + 4096);

        // Cut inside the header, or without the encoder's extension: no
        // claim about delay and padding.
        QVERIFY(!Mp3GaplessInfo::parse(bytes.left(int(info->headerFrameOffset) + 40)));
        QByteArray noEncoderName = bytes.left(8192);
        const qsizetype encoderAt = noEncoderName.indexOf("Lav", info->headerFrameOffset);
        QVERIFY(encoderAt > 0);
        noEncoderName.replace(encoderAt, 4, "XXXX");
        QVERIFY(!Mp3GaplessInfo::parse(noEncoderName));
        QVERIFY(!Mp3GaplessInfo::parse(QByteArray("ID3")));
        QVERIFY(!Mp3GaplessInfo::parse(QByteArray(64, 'x')));
    }

    void fileCutShortPlaysWhatIsThere()
    {
        QTemporaryDir folder;
        QFile whole(fixturePath(QStringLiteral("chirp-cbr.mp3")));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        QFile cut(folder.filePath(QStringLiteral("cut.mp3")));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(bytes.left(bytes.size() / 2));
        cut.close();

        const auto stream = DecodeStream::open(cut.fileName(), 44100, nullptr);
        QVERIFY(stream);
        // The header describes the whole file; the length is read from the
        // part that is there, to within a few frames.
        QVERIFY2(std::abs(stream->durationSeconds() - 3.0) < 0.1, qPrintable(QString::number(stream->durationSeconds())));
        const auto decoded = KnownSignal::straightDecode(cut.fileName(), 44100);
        QVERIFY(std::abs(double(decoded.size() / 2) - double(stream->lengthFrames())) < 3 * 1152);
        const auto full = KnownSignal::straightDecode(fixturePath(QStringLiteral("chirp-cbr.mp3")), 44100);
        QCOMPARE(largestDifference(std::vector<float>(decoded.begin(), decoded.begin() + 20000), full, 0), 0.0);
    }
};

QTEST_GUILESS_MAIN(FilePlayerDecodingTest)
#include "tst_fileplayer_decoding.moc"
