// With no audio device to be had, the player still works, silently, and says
// so once.
#include "TestSupport.h"

#include "engine/AudioOutput.h"
#include "engine/FilePlayer.h"
#include "engine/Log.h"

#include <QTest>

#include <chrono>
#include <thread>

class FilePlayerFallbackTest : public QObject {
    Q_OBJECT

private slots:
    void withoutADevicePlaybackRunsSilentlyAndSaysSoOnce()
    {
        qputenv("SDL_AUDIODRIVER", "no-such-audio-driver");
        Log::Capture log;
        auto first = FilePlayer::load(fixtureUrl(QStringLiteral("sine-5s.mp3")), nullptr);
        QVERIFY(first);
        QCOMPARE(log.lines().size(), 1);
        const QString line = log.lines().first();
        QVERIFY2(line.startsWith(QStringLiteral("Audio output unavailable (")) && line.endsWith(QStringLiteral("), playing silently"))
                     && line.size() > int(qstrlen("Audio output unavailable (), playing silently")),
                 qPrintable(line));
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::Device);  // SDL's silent driver

        first->play();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        const double position = first->currentTime();
        QVERIFY2(position > 0.25 && position < 0.55, qPrintable(QString::number(position)));

        const auto second = FilePlayer::load(fixtureUrl(QStringLiteral("sine-5s.m4a")), nullptr);
        QVERIFY(second);
        QCOMPARE(log.lines().size(), 1);
    }
};

QTEST_GUILESS_MAIN(FilePlayerFallbackTest)
#include "tst_fileplayer_fallback.moc"
