// The transport commands every control shares: stepping through the current
// playlist (also past a file that stands in it twice), loading without
// playing when paused, and seeking to a time.

#include "state/Transport.h"
#include "engine/DecodeStream.h"
#include "LibraryFixture.h"

#include <QScopeGuard>
#include <QTest>

class TransportTest : public QObject {
    Q_OBJECT

private slots:
    void stepsReachEveryEntryEvenWhenAFileStandsTwice()
    {
        const QString a = fixtureUrl("sine-5s.mp3").toString(QUrl::FullyEncoded);
        const QString b = fixtureUrl("chirp-cbr.mp3").toString(QUrl::FullyEncoded);
        const QString c = fixtureUrl("sine-5s.m4a").toString(QUrl::FullyEncoded);
        LibraryFixture fixture(QStringLiteral(R"({"Drill":["%1","%2","%1","%3"],"Other":["%2"]})").arg(a, b, c).toUtf8());
        fixture.library->loadPlaylists();
        ContentState& state = *fixture.state;
        AudioPlayer& engine = fixture.player();
        QVERIFY(!Transport::canGoToNextTrack(state));  // nothing loaded yet

        engine.playTrack(0);
        QList<qint64> visited{*engine.currentTrackIndex()};
        while (Transport::canGoToNextTrack(state) && visited.size() < 10) {
            Transport::goToNextTrack(state);
            visited << engine.currentTrackIndex().value_or(-1);
        }
        QCOMPARE(visited, (QList<qint64>{0, 1, 2, 3}));
        QCOMPARE(engine.currentTrack(), QUrl(c));
        QVERIFY(engine.isPlaying());
        Transport::goToPreviousTrack(state);
        Transport::goToPreviousTrack(state);
        QCOMPARE(engine.currentTrackIndex(), 1);
        QCOMPARE(engine.currentTrack(), QUrl(b));
        QVERIFY(Transport::canGoToPreviousTrack(state));
        Transport::goToPreviousTrack(state);
        QVERIFY(!Transport::canGoToPreviousTrack(state));
        Transport::goToPreviousTrack(state);  // the start of the list: nothing happens
        QCOMPARE(engine.currentTrackIndex(), 0);

        // Another playlist no longer holds the track: no step from it.
        fixture.library->setPlaylistExpanded(QStringLiteral("Other"), true);
        QVERIFY(!engine.currentTrackIndex());
        QVERIFY(!Transport::canGoToNextTrack(state));
    }

    // An entry whose file is gone is stepped over, each way, playing or not;
    // at the end of the list nothing loads and the failure state stands. A
    // step out of time goes on past the entry it failed on the next time;
    // a pick that failed moves no step.
    void entriesThatCannotLoadAreSteppedOver()
    {
        const QString a = fixtureUrl("sine-5s.mp3").toString(QUrl::FullyEncoded);
        const QString b = fixtureUrl("chirp-cbr.mp3").toString(QUrl::FullyEncoded);
        const QString gone = QUrl::fromLocalFile(QStringLiteral("/nonexistent/gone.mp3")).toString(QUrl::FullyEncoded);
        LibraryFixture fixture(QStringLiteral(R"({"Drill":["%1","%2","%2","%3","%2"]})").arg(a, gone, b).toUtf8());
        fixture.library->loadPlaylists();
        AudioPlayer& engine = fixture.player();
        engine.playTrack(0);
        fixture.log.clear();
        Transport::goToNextTrack(*fixture.state);
        QCOMPARE(engine.currentTrackIndex(), 3);
        QVERIFY(engine.isPlaying());
        QCOMPARE(fixture.log.lines().filter(QStringLiteral("Error playing track")).size(), 2);
        engine.togglePlayPause();
        Transport::goToPreviousTrack(*fixture.state);
        QCOMPARE(engine.currentTrackIndex(), 0);
        QVERIFY(!engine.isPlaying());
        QVERIFY(!engine.isStopped());  // paused still, though the loads on the way failed
        Transport::goToNextTrack(*fixture.state);
        Transport::goToNextTrack(*fixture.state);  // only the gone one is left
        QCOMPARE(engine.currentTrackIndex(), 3);
        QCOMPARE(engine.currentTrack(), QUrl(b));
        QVERIFY(!engine.isPlaying());

        // Out of time after each failure (files slow to fail), each step goes
        // on past the last entry tried, and so gets through.
        Transport::setSteppingBudgetForTesting(std::chrono::milliseconds(0));
        const auto restore = qScopeGuard([] { Transport::setSteppingBudgetForTesting(DecodeStream::openDeadline); });
        engine.cueTrack(0);
        Transport::goToNextTrack(*fixture.state);
        QCOMPARE(engine.currentTrackIndex(), 0);
        QVERIFY(Transport::canGoToNextTrack(*fixture.state));
        Transport::goToNextTrack(*fixture.state);
        QCOMPARE(engine.currentTrackIndex(), 0);
        Transport::goToNextTrack(*fixture.state);
        QCOMPARE(engine.currentTrackIndex(), 3);

        // A pick that fails (a row clicked, a file opened) is no step: the
        // steps still go from the track loaded, to the entry beside it.
        engine.cueTrack(0);
        engine.cueTrack(2);
        Transport::goToNextTrack(*fixture.state);
        QCOMPARE(engine.currentTrackIndex(), 0);
        engine.cueTrack(3);
        engine.cueTrack(1);
        Transport::goToPreviousTrack(*fixture.state);
        QCOMPARE(engine.currentTrackIndex(), 3);
    }

    void aPausedPlayerStepsToATrackAndStaysPaused()
    {
        LibraryFixture fixture(LibraryFixture::encoded({{"Drill", {fixtureUrl("sine-5s.mp3"), fixtureUrl("chirp-cbr.mp3")}}}));
        fixture.library->loadPlaylists();
        AudioPlayer& engine = fixture.player();
        engine.playTrack(0);
        Transport::seekTo(*fixture.state, 2.0);
        engine.togglePlayPause();
        fixture.log.clear();
        Transport::goToNextTrack(*fixture.state);
        QVERIFY(!engine.isPlaying());
        QCOMPARE(engine.currentTrack(), fixtureUrl("chirp-cbr.mp3"));
        QTRY_COMPARE(engine.currentTime(), 0.0);
        QVERIFY(fixture.log.lines().contains(QStringLiteral("Cued: chirp-cbr.mp3")));
        QVERIFY(!fixture.log.lines().filter(QStringLiteral("Playing:")).size());
        engine.togglePlayPause();  // and plays from where it was cued
        QVERIFY(engine.isPlaying());
    }

    void seekingToATimeStaysInTheTrackAndShowsAtOnce()
    {
        LibraryFixture fixture(QStringLiteral(R"({"Drill":["%1"]})").arg(fixtureUrl("sine-5s.mp3").toString(QUrl::FullyEncoded)).toUtf8());
        fixture.library->loadPlaylists();
        QVERIFY(!Transport::seekTo(*fixture.state, 1.0));  // nothing loaded
        AudioPlayer& engine = fixture.player();
        engine.playTrack(0);
        engine.togglePlayPause();
        QVERIFY(Transport::seekTo(*fixture.state, 3.25));
        QCOMPARE(engine.currentTime(), 3.25);
        QVERIFY(Transport::seekTo(*fixture.state, 99.0));
        QCOMPARE(engine.currentTime(), engine.player()->duration());
        QVERIFY(Transport::seekTo(*fixture.state, -4.0));
        QCOMPARE(engine.currentTime(), 0.0);
        QVERIFY(Transport::seekTo(*fixture.state, qQNaN()));
        QCOMPARE(engine.currentTime(), 0.0);
    }
};

QTEST_GUILESS_MAIN(TransportTest)
#include "tst_transport.moc"
