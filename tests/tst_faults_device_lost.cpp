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

        // The sound comes back, behind another connection (as a sound server
        // that restarted is): the way SDL went no longer opens, and SDL's
        // audio must start afresh to find it. After a rest, the next play
        // has a device again, and keeps it.
        qputenv("SDL_DISKAUDIOFILE", "/nonexistent/rivetone-test-output");
        qputenv("SDL_AUDIODRIVER", "dummy");
        engine.togglePlayPause();
        QTRY_VERIFY_WITH_TIMEOUT(AudioOutput::shared()->isResting(), 8000);
        log.clear();
        engine.togglePlayPause();
        QTRY_COMPARE_WITH_TIMEOUT(AudioOutput::shared()->driver(), AudioOutput::Driver::Device, 3000);
        QTest::qWait(300);
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::Device);
        QCOMPARE(log.lines().filter(QStringLiteral("Audio output")), QStringList());
    }
};

QTEST_MAIN(DeviceLostTest)
#include "tst_faults_device_lost.moc"
