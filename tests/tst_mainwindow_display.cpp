// What the main window derives from the engine: the time text, the title, the
// bar's duration, the transport's enablement and icon; and the press
// animation's timing on its own.
#include "TestSupport.h"
#include "app/PlayerDisplay.h"
#include "app/PressFeedback.h"
#include "engine/AudioPlayer.h"
#include "engine/Log.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

class MainWindowDisplayTest : public QObject {
    Q_OBJECT

private slots:
    void formatTime_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "00:00";
        QTest::newRow("truncates, never rounds") << 59.99 << "00:59";
        QTest::newRow("minutes and seconds") << 65.9 << "01:05";
        QTest::newRow("last second below an hour") << 3599.999 << "59:59";
        QTest::newRow("an hour gains the hours field") << 3600.0 << "01:00:00";
        QTest::newRow("hours, minutes, seconds") << 3725.4 << "01:02:05";
        QTest::newRow("hours widen past two digits") << 360000.0 << "100:00:00";
        QTest::newRow("largest count of seconds")
            << 9223372036854774784.0 << "2562047788015215:13:04";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "--:--";
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "--:--";
        QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << "--:--";
        QTest::newRow("2^63 does not fit") << 9223372036854775808.0 << "--:--";
        QTest::newRow("far beyond") << 1e300 << "--:--";
        QTest::newRow("far below") << -1e19 << "--:--";
    }

    void formatTime()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(::formatTime(seconds), text);
    }

    void withoutTrackTheFallbacksShow()
    {
        AudioPlayer player;
        PlayerDisplay display = PlayerDisplay::of(player);
        QCOMPARE(display.title, QString());
        QCOMPARE(display.progressDurationSeconds, 10.0);
        QCOMPARE(display.timeText, QStringLiteral("00:00 / 00:00"));
        QVERIFY(!display.isTransportEnabled);
        QCOMPARE(display.playPauseSymbol, Symbol::PlayFill);

        // Tracks to play enable the transport before anything is loaded; the
        // position stays 0 of 0 while the bar still spans 10 s.
        player.setPlaylist({fixtureUrl("sine-5s.mp3")});
        player.setCurrentTime(12.5);
        display = PlayerDisplay::of(player);
        QVERIFY(display.isTransportEnabled);
        QCOMPARE(display.title, QString());
        QCOMPARE(display.progressDurationSeconds, 10.0);
        QCOMPARE(display.timeText, QStringLiteral("00:12 / 00:00"));
    }

    void aLoadedTrackShowsItsNamePositionAndLength()
    {
        Log::Capture log;
        AudioPlayer player;
        player.setPlaylist({fixtureUrl("sine-5s.m4a")});
        player.playTrack(0);
        QVERIFY(player.player());

        PlayerDisplay display = PlayerDisplay::of(player);
        QCOMPARE(display.title, QStringLiteral("sine-5s.m4a"));
        QCOMPARE(display.progressDurationSeconds, player.player()->duration());
        QVERIFY(std::abs(display.progressDurationSeconds - 5.0) < 0.1);
        QCOMPARE(display.playPauseSymbol, Symbol::PauseFill);

        player.togglePlayPause();
        player.setCurrentTime(3.7);
        display = PlayerDisplay::of(player);
        QCOMPARE(display.playPauseSymbol, Symbol::PlayFill);
        QCOMPARE(display.timeText, QStringLiteral("00:03 / 00:0") + QString::number(int(player.player()->duration())));

        // Stopping rewinds but keeps the track, and with it the title.
        player.stop();
        player.tick();
        display = PlayerDisplay::of(player);
        QCOMPARE(display.title, QStringLiteral("sine-5s.m4a"));
        QVERIFY(display.timeText.startsWith(QStringLiteral("00:00 / ")));
    }

    void theTitleIsTheFileNameVerbatim()
    {
        // Spaces, Hangul and a percent sign arrive escaped in the URL and are
        // shown as the file is named.
        QTemporaryDir dir;
        const QString name = QStringLiteral("Unit 1 \uB4E3\uAE30 100%.mp3");
        QVERIFY(QFile::copy(fixturePath("sine-5s.mp3"), dir.filePath(name)));
        Log::Capture log;
        AudioPlayer player;
        const QUrl url = QUrl::fromLocalFile(dir.filePath(name));
        QVERIFY(url.toString(QUrl::FullyEncoded).contains(QStringLiteral("%20")));
        player.setPlaylist({url});
        player.playTrack(0);
        QCOMPARE(PlayerDisplay::of(player).title, name);
    }

    void pressFeedbackEasesDownThenBackAfterADelay()
    {
        double scale = 1.0;
        QList<QPair<qint64, double>> samples;
        QElapsedTimer clock;
        PressFeedback feedback({[&] { return scale; }, [&](double value) {
                                    scale = value;
                                    samples.append({clock.elapsed(), value});
                                }});
        clock.start();
        feedback.run();
        QTRY_VERIFY_WITH_TIMEOUT(scale < 1.0, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(scale, PressFeedback::restingScale, 1000);

        // Down over 0.1 s to exactly 0.9, then up again: never outside [0.9, 1].
        QVERIFY(samples.size() >= 4);
        qint64 lowestAt = -1;
        double lowest = 1.0;
        for (const auto& [at, value] : samples) {
            QVERIFY2(value >= PressFeedback::pressedScale - 1e-12 && value <= 1.0 + 1e-12,
                     qPrintable(QString::number(value)));
            if (value < lowest) {
                lowest = value;
                lowestAt = at;
            }
        }
        QCOMPARE(lowest, PressFeedback::pressedScale);
        QVERIFY2(lowestAt >= 90, "eases down over 0.1 s instead of jumping");
        // The way back starts no earlier than 0.1 s after the press.
        qint64 firstRiseAt = -1;
        for (int i = 1; i < samples.size(); ++i) {
            if (samples[i].second > samples[i - 1].second) {
                firstRiseAt = samples[i].first;
                break;
            }
        }
        QVERIFY(firstRiseAt >= PressFeedback::restoreDelayMilliseconds);
        QCOMPARE(samples.last().second, 1.0);
    }

    void aBurstOfPressesEndsAtRestAfterTheLastOne()
    {
        double scale = 1.0;
        QElapsedTimer clock;
        qint64 lastChangeAt = 0;
        double lowest = 1.0;
        PressFeedback feedback({[&] { return scale; }, [&](double value) {
                                    scale = value;
                                    lowest = std::min(lowest, value);
                                    lastChangeAt = clock.elapsed();
                                }});
        clock.start();
        for (int press = 0; press < 4; ++press) {
            feedback.run();
            QTest::qWait(40);
        }
        const qint64 lastPressAt = 3 * 40;
        QTRY_COMPARE_WITH_TIMEOUT(scale, 1.0, 2000);
        QTest::qWait(250);  // every pending restore has run by now
        QCOMPARE(scale, 1.0);
        // Each press pushed the return back: rest comes after the last press's restore.
        QVERIFY(lastChangeAt >= lastPressAt + PressFeedback::restoreDelayMilliseconds);
        QVERIFY(lowest < 0.95);
    }
};

QTEST_MAIN(MainWindowDisplayTest)
#include "tst_mainwindow_display.moc"
