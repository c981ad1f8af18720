// With no audio device to be had, the player still works, silently, on SDL's
// silent driver, and says so once.

#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "engine/FilePlayer.h"
#include "TestSupport.h"

#include <QTest>

class FilePlayerFallbackTest : public QObject {
    Q_OBJECT

private slots:
    void withoutADevicePlaybackRunsSilentlyAndSaysSoOnce()
    {
        qputenv("SDL_AUDIODRIVER", "no-such-audio-driver");
        Log::Capture log;
        const auto first = FilePlayer::load(fixtureUrl(QStringLiteral("sine-5s.mp3")), nullptr);
        QVERIFY(first);
        QCOMPARE(log.lines().size(), 1);
        const QString line = log.lines().first();
        QVERIFY2(line.startsWith(QStringLiteral("Audio output unavailable (")) && line.endsWith(QStringLiteral("), playing silently"))
                     && !line.contains(QStringLiteral("(),")),
                 qPrintable(line));
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::Device);

        first->play();
        QTest::qSleep(400);
        QVERIFY2(first->currentTime() > 0.25 && first->currentTime() < 0.55, qPrintable(QString::number(first->currentTime())));
        QVERIFY(FilePlayer::load(fixtureUrl(QStringLiteral("sine-5s.m4a")), nullptr));
        QCOMPARE(log.lines().size(), 1);
    }
};

QTEST_GUILESS_MAIN(FilePlayerFallbackTest)
#include "tst_fileplayer_fallback.moc"
