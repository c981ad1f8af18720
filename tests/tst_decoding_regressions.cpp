// Inputs that once broke the decoding path (tests/fixtures/fuzz, found by
// fuzz/run), replayed the way the fuzzer ran them and through the player
// itself: each must fail to load cleanly or decode cleanly, in bounded time.
// The ordinary fixtures go through the same workout, so that it is known to
// decode real files whole.
#include "DecodeWorkout.h"
#include "ManualOutput.h"
#include "TestSupport.h"

#include "engine/AudioOutput.h"
#include "engine/FilePlayer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

// The player's output rate here: high, so lengths grow the most on the way out.
constexpr int playerRate = 96000;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void appendLittleEndian(QByteArray& bytes, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.append(char((value >> (8 * i)) & 0xff));
}

// A mono 16-bit WAV file of the given length whose header states any rate.
QByteArray wavFile(quint32 sampleRate, int frames)
{
    QByteArray bytes("RIFF");
    appendLittleEndian(bytes, quint32(36 + 2 * frames), 4);
    bytes += "WAVEfmt ";
    appendLittleEndian(bytes, 16, 4);
    appendLittleEndian(bytes, 1, 2);  // PCM
    appendLittleEndian(bytes, 1, 2);  // mono
    appendLittleEndian(bytes, sampleRate, 4);
    appendLittleEndian(bytes, sampleRate * 2, 4);
    appendLittleEndian(bytes, 2, 2);
    appendLittleEndian(bytes, 16, 2);
    bytes += "data";
    appendLittleEndian(bytes, quint32(2 * frames), 4);
    for (int i = 0; i < frames; ++i)
        appendLittleEndian(bytes, quint32(i * 97 % 20000), 2);
    return bytes;
}

}  // namespace

class DecodingRegressionsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

private slots:
    void initTestCase()
    {
        AudioOutput::useManualOutputForTesting(playerRate);
        QVERIFY(m_folder.isValid());
    }

    void foundInputsFailOrDecodeCleanly_data()
    {
        QTest::addColumn<QString>("name");
        const QDir found(fixturePath(QStringLiteral("fuzz")));
        const QStringList names = found.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name);
        QVERIFY2(!names.isEmpty(), "no inputs in tests/fixtures/fuzz");
        for (const QString& name : names)
            QTest::newRow(qPrintable(name)) << name;
    }

    void foundInputsFailOrDecodeCleanly()
    {
        QFETCH(QString, name);
        const DecodeWorkout::Input input = DecodeWorkout::split(readFile(fixturePath(QStringLiteral("fuzz/") + name)));
        QVERIFY(!input.file.isEmpty());
        const QString path = m_folder.filePath(QStringLiteral("input.") + input.plan.suffix);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(input.file), input.file.size());
        file.close();

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
        player->pause();
    }

    void theWorkoutDecodesRealFilesWhole_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("playable");
        for (const char* name : {"sine-5s.mp3", "sine-5s.m4a", "chirp-cbr.mp3", "chirp-vbr-mono.mp3", "chirp.m4a", "Unit 1 듣기.mp3"})
            QTest::newRow(name) << QString::fromUtf8(name) << true;
        for (const char* name : {"empty.mp3", "truncated.mp3", "not-audio.mp3"})
            QTest::newRow(name) << QString::fromUtf8(name) << false;
    }

    void theWorkoutDecodesRealFilesWhole()
    {
        QFETCH(QString, name);
        QFETCH(bool, playable);
        DecodeWorkout::Plan plan;
        plan.seekFractions = {-0.1, 0.5, 1.0, 1.2};
        const DecodeWorkout::Report report = DecodeWorkout::run(fixturePath(name), plan);
        QVERIFY2(report.brokenPromises.isEmpty(), qPrintable(report.brokenPromises.join(QStringLiteral("; "))));
        QCOMPARE(report.opened, playable);
        if (!playable) {
            QCOMPARE(report.error, fixturePath(name) + QStringLiteral(": Invalid data found when processing input"));
            return;
        }
        QVERIFY(report.lengthFrames > 0);
        QCOMPARE(report.framesDecoded, report.lengthFrames);
        QVERIFY(!report.stoppedAtWorkLimit);
    }

    // A rate no recording has: every frame would grow by the ratio to the
    // output rate on its way out (a 13 kB file at "1 Hz" took 4 GB and
    // seconds to open at 96 kHz). Such a header is damage.
    void ratesFarBelowAudioAreRefused_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("loads");
        QTest::newRow("1 Hz") << 1 << false;
        QTest::newRow("100 Hz") << 100 << false;
        QTest::newRow("3999 Hz") << 3999 << false;
        QTest::newRow("4000 Hz") << 4000 << true;
        QTest::newRow("8000 Hz") << 8000 << true;
    }

    void ratesFarBelowAudioAreRefused()
    {
        QFETCH(int, rate);
        QFETCH(bool, loads);
        const QString path = m_folder.filePath(QStringLiteral("rate-%1.wav").arg(rate));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(wavFile(quint32(rate), 6000));
        file.close();
        QString error;
        const auto player = FilePlayer::load(QUrl::fromLocalFile(path), &error);
        QCOMPARE(bool(player), loads);
        if (!loads)
            QCOMPARE(error, path + QStringLiteral(": Invalid data found when processing input"));
        else
            QCOMPARE(player->duration(), 6000.0 / rate);
    }

    void theWorkLimitStopsALongDecode()
    {
        DecodeWorkout::Plan plan;
        plan.maxFramesPerPass = 10000;
        const DecodeWorkout::Report report = DecodeWorkout::run(fixturePath(QStringLiteral("chirp.m4a")), plan);
        QVERIFY(report.brokenPromises.isEmpty());
        QVERIFY(report.stoppedAtWorkLimit);
        QVERIFY(report.framesDecoded >= 10000 && report.framesDecoded < 10000 + plan.chunkFrames);
    }
};

QTEST_GUILESS_MAIN(DecodingRegressionsTest)
#include "tst_decoding_regressions.moc"
