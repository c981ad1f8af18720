// No sound server is up when the app starts (autostarted at login): the
// output falls back to SDL's silent driver. Once the server is there, the
// next play after a rest is heard, rather than none until the app restarts.

#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

class DeviceLateTest : public QObject {
    Q_OBJECT

private slots:
    void aDeviceThatComesLaterIsHeardAtTheNextPlay()
    {
        // SDL's file-writing driver cannot open its device while the file's
        // folder is missing, as a real one cannot before its server is up.
        const DiskDevice device(QStringLiteral("server/output.raw"));
        const QString& outputFile = device.outputFile;

        Log::Capture log;
        AudioPlayer engine;
        engine.setPlaylist({fixtureUrl(QStringLiteral("chirp-cbr.mp3"))});
        engine.playTrack(0);
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::Device);
        QCOMPARE(log.lines().filter(QStringLiteral("Audio output")).size(), 1);
        QVERIFY(log.lines().filter(QStringLiteral("Audio output")).first().startsWith(
            QStringLiteral("Audio output unavailable (")));

        const auto restThenPlay = [&] {
            engine.togglePlayPause();
            QTRY_VERIFY_WITH_TIMEOUT(AudioOutput::shared()->isResting(), 8000);
            engine.togglePlayPause();
            QTRY_VERIFY_WITH_TIMEOUT(!AudioOutput::shared()->isResting(), 3000);
        };
        // Still no server: the silent driver is taken back, and the track
        // keeps its pace.
        restThenPlay();
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::Device);
        const double before = engine.currentTime();
        QTRY_VERIFY_WITH_TIMEOUT(engine.currentTime() > before + 0.2, 2000);
        QVERIFY(!QFileInfo::exists(outputFile));

        // The server is up: the next play is written to the device.
        QVERIFY(QDir(device.folder.path()).mkdir(QStringLiteral("server")));
        log.clear();
        restThenPlay();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(outputFile).size() > 0, 3000);
        const qint64 written = QFileInfo(outputFile).size();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(outputFile).size() > written, 3000);
        QCOMPARE(log.lines().filter(QStringLiteral("Audio output")), QStringList{QStringLiteral("Audio output opened")});
        QCOMPARE(AudioOutput::shared()->driver(), AudioOutput::Driver::Device);
    }
};

QTEST_MAIN(DeviceLateTest)
#include "tst_faults_device_late.moc"
