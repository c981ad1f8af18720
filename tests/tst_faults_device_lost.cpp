// The sound device goes away while a track plays (unplugged, the sound server
// restarted): SDL goes on calling back into nothing, so the output has to ask
// for the device's state to notice. It opens the device again, or, when that
// one is lost at once too, plays on the wall clock; either way it says so.
// Once the sound is back, the next play after a rest has it again.

#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <QTest>

class DeviceLostTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // SDL's file-writing driver drops its device when a write fails, as a
        // real one does when the device goes: every write to /dev/full fails.
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", "/dev/full");
    }

    void aLostDeviceIsOpenedAgainThenGivenUpOnAloud()
    {
        Log::Capture log;
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(QStringLiteral("chirp-cbr.mp3"))});
        engine.playTrack(0);
        QTRY_COMPARE_WITH_TIMEOUT(AudioOutput::shared()->driver(), AudioOutput::Driver::WallClock, 3000);
        QCOMPARE(log.lines().filter(QStringLiteral("Audio output")),
                 (QStringList{QStringLiteral("Audio output lost, opened again"),
                              QStringLiteral("Audio output lost (lost again at once), playing silently")}));
        const double before = engine.currentTime();
        QTRY_VERIFY_WITH_TIMEOUT(engine.currentTime() > before + 0.2, 2000);  // the track plays on, unheard
        QVERIFY(engine.isPlaying());

        // The sound server is not back yet: neither the way SDL went nor SDL's
        // audio started afresh opens anything at the next play after a rest.
        const auto restThenPlay = [&] {
            engine.togglePlayPause();
            QTRY_VERIFY_WITH_TIMEOUT(AudioOutput::shared()->isResting(), 8000);
            engine.togglePlayPause();
            QTRY_VERIFY_WITH_TIMEOUT(!AudioOutput::shared()->isResting(), 3000);
        };
        qputenv("SDL_DISKAUDIOFILE", "/nonexistent/rivetone-test-output");
        qputenv("SDL_AUDIODRIVER", "no-such-audio-driver");
        restThenPlay();
        QTest::qWait(200);
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::WallClock);
        // Then it is, behind another connection (as a sound server that
        // restarted is): the next play after a rest has a device again, and
        // keeps it.
        qputenv("SDL_AUDIODRIVER", "dummy");
        log.clear();
        restThenPlay();
        QTRY_COMPARE_WITH_TIMEOUT(AudioOutput::shared()->driver(), AudioOutput::Driver::Device, 3000);
        QTest::qWait(300);
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::Device);
        QCOMPARE(log.lines().filter(QStringLiteral("Audio output")), QStringList());
    }
};

QTEST_MAIN(DeviceLostTest)
#include "tst_faults_device_lost.moc"
