// Inputs that once broke the decoding path (tests/fixtures/fuzz, found by
// fuzz/run), replayed the way the fuzzer ran them and through the player
// itself: each must fail to load cleanly or decode cleanly, in bounded time.

#include "engine/AudioOutput.h"
#include "engine/DecodeStream.h"
#include "engine/FilePlayer.h"
#include "DecodeWorkout.h"
#include "ManualOutput.h"
#include "ProcessMemory.h"
#include "TestSupport.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

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
