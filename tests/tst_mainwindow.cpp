// The main window as a user meets it: what it shows, what its buttons do, its
// position timer, its first appearance, its focus and what it repaints.

#include "app/ContentView.h"
#include "app/RivetoneApp.h"
#include "base/DefaultsStore.h"
#include "base/Log.h"
#include "input/EventMonitor.h"
#include "input/EventMonitorView.h"
#include "library/FileImport.h"
#include "state/DrillOptions.h"
#include "state/SpeedOption.h"
#include "ui/kit/CustomProgressBar.h"
#include "ui/kit/CustomVerticalSlider.h"
#include "ui/kit/FramePacer.h"
#include "ui/kit/PlainButton.h"
#include "ui/kit/TextLine.h"
#include "ui/screens/DrillRow.h"
#include "ui/screens/NewPlaylistSheet.h"
#include "ui/screens/PlayerCard.h"
#include "ui/screens/PlayerDisplay.h"
#include "ui/screens/PlaylistPanel.h"
#include "ui/screens/TransportRow.h"
#include "ui/screens/UserGuideSheet.h"
#include "TestSupport.h"
#include "WidgetTesting.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <limits>
#include <cmath>
#include <memory>
#include <numeric>
#include <thread>

namespace {

// The window over a private defaults store holding two playlists (or none),
// with the log captured.
struct Window : WindowFixture {
    using WindowFixture::WindowFixture;

    // Shown, and the first track played then paused, so the position holds still.
    bool showPaused()
    {
        if (!show() || !QTest::qWaitFor([this] { return playPause().isEnabled(); }))
            return false;
        click(playPause());
        click(playPause());
        return player().player() && !player().isPlaying();
    }

    ContentState& state() { return view->state(); }
    PlayerCard& card() { return *view->playerCard(); }
    TransportRow& row() { return *view->transportRow(); }
    PlainButton& playPause() { return *row().playPauseButton(); }
    PlainButton& stop() { return *row().stopButton(); }
    PlainButton& help() { return *row().helpButton(); }
    void click(PlainButton& button) { QTest::mouseClick(&button, Qt::LeftButton, {}, button.labelRect().center().toPoint()); }
    QPoint onBar(double fraction)
    {
        const QRectF bar = card().progressBar()->barRect();
        return QPointF(bar.left() + fraction * bar.width(), bar.center().y()).toPoint();
    }

};

// Counts the paint events of the widgets it watches.
struct PaintCounts : QObject {
    QHash<QObject*, int> paints;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        paints[watched] += event->type() == QEvent::Paint;
        return false;
    }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void formatTimeTruncatesAndMarksWhatCannotShow_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        const double infinity = std::numeric_limits<double>::infinity();
        QTest::newRow("truncates, never rounds") << 59.99 << "00:59";
        QTest::newRow("minutes and seconds") << 65.9 << "01:05";
        QTest::newRow("last second below an hour") << 3599.999 << "59:59";
        QTest::newRow("an hour gains the hours field") << 3600.0 << "01:00:00";
        QTest::newRow("hours widen past two digits") << 360000.0 << "100:00:00";
        QTest::newRow("largest count of seconds") << 9223372036854774784.0 << "2562047788015215:13:04";
        QTest::newRow("2^63 does not fit") << 9223372036854775808.0 << "--:--";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "--:--";
        QTest::newRow("infinity") << infinity << "--:--";
        QTest::newRow("minus infinity") << -infinity << "--:--";
    }

    void formatTimeTruncatesAndMarksWhatCannotShow()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(::formatTime(seconds), text);
    }

    void theTitleIsTheFileNameVerbatim()
    {
        QTemporaryDir dir;
        const QString name = QStringLiteral("Unit 1 \uB4E3\uAE30 100%.mp3");  // escaped in the URL
        QVERIFY(QFile::copy(fixturePath("sine-5s.mp3"), dir.filePath(name)));
        Log::Capture log;
        AudioPlayer player;
        player.setPlaylist({QUrl::fromLocalFile(dir.filePath(name))});
        player.playTrack(0);
        QCOMPARE(PlayerDisplay::of(player).title, name);
    }

    void withNothingStoredTheCardIsEmptyAndTheTransportOff()
    {
        Window w(false);
        QVERIFY(!w.state().findChild<EventMonitor*>());
        QVERIFY(w.show());
        QVERIFY(w.state().findChild<EventMonitor*>());
        w.view->hide();
        QVERIFY(w.show());
        QCOMPARE(w.log.lines().size(), 1);  // the empty library stored once, on first show

        QCOMPARE(w.card().titleLine()->text(), QString());
        QCOMPARE(w.card().timeLine()->text(), QStringLiteral("00:00 / 00:00"));
        QCOMPARE(w.card().progressBar()->duration(), 10.0);
        QCOMPARE(w.card().loopHintLine()->text(),
                 QStringLiteral("'B or \u3160' : Loop(\uad6c\uac04\ubc18\ubcf5) Start/End/Clear"));
        QVERIFY(!w.playPause().isEnabled() && !w.stop().isEnabled() && w.help().isEnabled());
        w.click(w.playPause());
        w.click(w.stop());
        QCOMPARE(w.log.lines().size(), 1);

        // The card's shadow is painted beneath it, on the window's ground.
        const QImage image = renderOnWhite(*w.view);
        const QRect card(w.card().mapTo(w.view.get(), QPoint()), w.card().size());
        const auto brightness = [&image](int x, int y) { return qGray(image.pixel(x, y)); };
        QVERIFY(brightness(card.left() + 30, card.bottom() + 5) < brightness(card.left() - 14, card.bottom() + 5) - 8);
    }

    void theTransportPlaysPausesAndStopsWhileTheCaptureViewKeepsTheKeys()
    {
        Window w;
        QVERIFY(!w.playPause().isEnabled());  // nothing is read before the window shows
        QVERIFY(w.show());
        QTRY_VERIFY(w.playPause().isEnabled() && w.stop().isEnabled());
        QCOMPARE(w.card().titleLine()->text(), QString());  // nothing is loaded until asked

        w.click(w.playPause());
        QTRY_COMPARE(w.row().playPauseSymbol(), Symbol::PauseFill);
        QCOMPARE(w.card().titleLine()->text(), QStringLiteral("sine-5s.mp3"));
        w.click(w.playPause());
        QVERIFY(!w.player().isPlaying());
        QTRY_COMPARE(w.row().playPauseSymbol(), Symbol::PlayFill);
        QVERIFY(w.view->captureView()->hasFocus());  // clicks never take it

        // Stop halfway through marking a loop: the next loop key starts a new one.
        QTest::keyClick(w.view->captureView(), Qt::Key_B);
        QVERIFY(w.state().isSettingLoop() && w.player().loopStart());
        w.click(w.stop());
        QVERIFY(!w.state().isSettingLoop() && !w.player().loopStart());
        QTest::keyClick(w.view->captureView(), Qt::Key_B);
        QVERIFY(w.player().loopStart() && !w.player().loopEnd() && w.state().isSettingLoop());
    }

    void theCardFollowsThePlayer()
    {
        Window w;
        QVERIFY(w.showPaused());
        const double duration = w.player().player()->duration();
        CustomProgressBar& bar = *w.card().progressBar();
        QTRY_COMPARE(bar.duration(), duration);
        w.player().seek(duration * 0.5);
        QTRY_COMPARE(w.card().timeLine()->text(), formatTime(duration * 0.5) + " / " + formatTime(duration));
    }

    // A press eases all three buttons down to exactly 0.9 over 0.1 s, and back
    // to 1 no earlier than 0.1 s after it; a burst rests after the last press.
    void everyButtonPressShrinksAllThreeAndLetsThemGrowBack()
    {
        Window w(false);
        QVERIFY(w.show());
        QElapsedTimer clock;
        QList<QPair<qint64, double>> scales;
        bool allThreeFollow = true;
        connect(&w.state(), &ContentState::changed, this, [&](ContentState::Field field) {
            if (field != ContentState::Field::ButtonScale)
                return;
            scales.append({clock.elapsed(), w.state().buttonScale()});
            for (PlainButton* button : {&w.playPause(), &w.stop(), &w.help()})
                allThreeFollow = allThreeFollow && button->scale() == w.state().buttonScale();
        });
        clock.start();
        w.click(w.help());
        QTRY_VERIFY(w.view->userGuideSheet()->isVisible());
        QTest::qWait(300);
        QVERIFY(allThreeFollow);
        QVERIFY(scales.size() >= 4);
        QCOMPARE(scales.last().second, 1.0);
        for (const auto& [at, scale] : scales) {
            QVERIFY(scale >= 0.9 - 1e-12 && scale <= 1.0 + 1e-12);
            QVERIFY2(scale > 0.9 || at >= 90, "eased down, not jumped");
        }
        QVERIFY(std::any_of(scales.begin(), scales.end(), [](const auto& sample) { return sample.second == 0.9; }));
        const auto rise = std::adjacent_find(scales.begin(), scales.end(),
                                             [](const auto& a, const auto& b) { return b.second > a.second; });
        QVERIFY(rise != scales.end() && (rise + 1)->first >= 100);

        qint64 lastPressAt = 0;
        for (int press = 0; press < 4; ++press) {
            w.view->pressFeedback();
            lastPressAt = clock.elapsed();
            QTest::qWait(40);
        }
        QTest::qWait(400);
        QCOMPARE(w.state().buttonScale(), 1.0);
        QVERIFY(scales.last().first >= lastPressAt + 100);

        w.click(w.help());  // the help button toggles the guide
        QTRY_VERIFY(!w.view->userGuideSheet()->isVisible());
        w.click(*w.view->playlistPanel()->newButton());
        QTRY_VERIFY(w.view->newPlaylistSheet()->isVisible());
    }

    // Resting, the process sleeps: no timer wakes it while nothing plays.
    // Playing, the engine ticks on in a menu's own event loop.
    void restingSleepsAndPlayingTicksInMenus()
    {
        Window w;
        QVERIFY(w.showPaused());
        // What settles after a press (its animation, the last tick, the
        // track's phrase map) may take a while on a slow build; a timer that
        // runs on at rest never lets a whole second go quiet.
        QStringList timers;  // the receivers of the timer events in a second
        bool quietSecond = false;
        for (int second = 0; second < 5 && !quietSecond; ++second) {
            timers.clear();
            const EventTap tap(*qApp, QEvent::Timer, [&](QObject* receiver, QEvent*) {
                timers << QString::fromLatin1(receiver->metaObject()->className());
            });
            QTest::qWait(1000);
            quietSecond = timers.size() <= 2;
        }
        QVERIFY2(quietSecond, qPrintable(QStringLiteral("timer events in every second at rest: ") + timers.join(u' ')));

        w.player().togglePlayPause();
        const quint64 refreshesBefore = w.view->refreshCount();
        QMenu menu(w.view.get());
        menu.addAction(QStringLiteral("One"));
        // Closed once the window has refreshed a few times within the menu's
        // own event loop (about 9 times in 300 ms at 30 frames a second), or
        // after 5 s, which a slow run never needs; a tick stopped by the
        // menu's loop leaves the count where it was.
        QTimer closer;
        QElapsedTimer open;
        open.start();
        connect(&closer, &QTimer::timeout, &menu, [&] {
            if (w.view->refreshCount() - refreshesBefore >= 6 || open.elapsed() > 5000)
                menu.close();
        });
        closer.start(10);
        menu.exec(w.view->mapToGlobal(QPoint(40, 40)));  // its own event loop
        const quint64 refreshes = w.view->refreshCount() - refreshesBefore;
        QVERIFY2(refreshes >= 6, qPrintable(QString::number(refreshes)));
        w.player().stop();
    }

    void aDragWithoutATrackShowsUntilTheNextTick()
    {
        Window w(false);
        QVERIFY(w.show());
        QVERIFY(!w.player().timer());
        // Held on the bar with no track: the drag shows its time until the next
        // tick puts the position back to 0, while the button is still down.
        CustomProgressBar& bar = *w.card().progressBar();
        QTest::mousePress(&bar, Qt::LeftButton, {}, w.onBar(0.5));
        QCOMPARE(w.player().currentTime(), 5.0);
        QTRY_COMPARE_WITH_TIMEOUT(w.player().currentTime(), 0.0, 200);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, w.onBar(0.5));
    }

    // Held on the bar while another track is loaded (the desktop's Next, a
    // file handed over by another start): the drag was the old track's, so
    // the new one stays where it starts; a new press seeks as ever.
    void aDragOnTheBarEndsWithItsTrack()
    {
        Window w;
        QVERIFY(w.showPaused());
        CustomProgressBar& bar = *w.card().progressBar();
        QTest::mousePress(&bar, Qt::LeftButton, {}, w.onBar(0.2));
        QVERIFY(std::abs(w.player().currentTime() - 0.2 * bar.duration()) < 0.05);
        w.view->library().playTrackInPlaylist(QStringLiteral("Drills"), fixtureUrl("sine-5s.m4a"));
        QCOMPARE(w.player().currentTrack(), std::optional<QUrl>(fixtureUrl("sine-5s.m4a")));
        QTRY_COMPARE(bar.duration(), w.player().player()->duration());
        const double startSeconds = w.player().currentTime();
        QTest::mouseMove(&bar, w.onBar(0.8));
        QCOMPARE(w.player().currentTime(), startSeconds);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, w.onBar(0.8));
        QTest::mousePress(&bar, Qt::LeftButton, {}, w.onBar(0.6));
        QTest::mouseMove(&bar, w.onBar(0.8));
        QVERIFY(std::abs(w.player().currentTime() - 0.8 * bar.duration()) < 0.05);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, w.onBar(0.8));
    }

    // A menu open (the speed chip's), the toolkit hands it every turn of the
    // wheel: the track behind it does not move.
    void aTurnOfTheWheelWithAMenuOpenIsTheMenus()
    {
        Window w;
        QVERIFY(w.showPaused());
        w.player().seek(2.0);
        QTRY_COMPARE(w.player().currentTime(), 2.0);
        QWidget* chip = w.card().drillRow()->speedButton();
        QMenu* menu = w.card().drillRow()->speedMenu();
        QTest::mouseClick(chip, Qt::LeftButton);
        QTRY_VERIFY(menu->isVisible());
        const QPoint overChip = chip->mapTo(w.view.get(), chip->rect().center());
        w.log.clear();
        // As the platform hands it over: to the window under the pointer.
        QWheelEvent turnOverChip(QPointF(overChip), w.view->mapToGlobal(QPointF(overChip)), QPoint(), QPoint(0, 120),
                                 Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w.view->windowHandle(), &turnOverChip);
        QCOMPARE(w.player().currentTime(), 2.0);
        QCOMPARE(w.log.lines(), QStringList());
        menu->close();
        QTRY_VERIFY(!menu->isVisible());
        // Closed, the wheel seeks again.
        QWheelEvent turn(QPointF(10, 10), w.view->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, 120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w.view->windowHandle(), &turn);
        QVERIFY(w.player().currentTime() > 2.0);
    }

    void onlyWhatChangedIsRepainted()
    {
        Window w;
        QVERIFY(w.showPaused());
        PaintCounts counter;
        PlayerCard& card = w.card();
        const std::initializer_list<QWidget*> still{card.titleLine(), card.volumeSlider(), &w.stop(), &w.help()};
        for (QWidget* widget : still)
            widget->installEventFilter(&counter);
        for (QWidget* widget : std::initializer_list<QWidget*>{card.timeLine(), card.progressBar(), &w.playPause()})
            widget->installEventFilter(&counter);
        QTest::qWait(700);  // let the press animation settle, and the half second of following after it
        counter.paints.clear();
        quint64 refreshesBefore = w.view->refreshCount();
        QTest::qWait(300);
        QCOMPARE(w.view->refreshCount(), refreshesBefore);  // at rest nothing is even looked at
        QCOMPARE(std::accumulate(counter.paints.begin(), counter.paints.end(), 0), 0);

        // Playing, with no hand on the controls: looked at no more often than
        // 30 times a second; the time text changes once a second, the bar as
        // it fills.
        w.player().togglePlayPause();
        QTest::qWait(50);
        counter.paints.clear();
        refreshesBefore = w.view->refreshCount();
        QElapsedTimer playing;
        playing.start();
        QTest::qWait(1100);
        const double frames = double(playing.elapsed()) / 1000 * FramePacer::motionFramesPerSecond;
        QVERIFY2(double(w.view->refreshCount() - refreshesBefore) <= frames + 2,
                 qPrintable(QString::number(w.view->refreshCount() - refreshesBefore)));
        QVERIFY2(counter.paints[card.timeLine()] <= 3, qPrintable(QString::number(counter.paints[card.timeLine()])));
        QVERIFY(counter.paints[card.progressBar()] >= 1);
        for (QWidget* widget : still)
            QCOMPARE(counter.paints[widget], 0);
    }

    // Closed while the last save is still being written: its line, saved or
    // not, is said all the same before the program leaves, and ahead of the
    // operation's own, as a save over within a moment is.
    void theLastSavesLineIsSaidAtQuit_data()
    {
        QTest::addColumn<bool>("reachesTheDisk");
        QTest::newRow("saved") << true;
        QTest::newRow("not saved") << false;
    }

    void theLastSavesLineIsSaidAtQuit()
    {
        QFETCH(bool, reachesTheDisk);
        TemporaryDefaults defaults;
        Log::Capture log;
        {
            RivetoneApp app(defaults.filePath());
            ContentView& window = app.mainWindow();
            window.library().setSaveWait(std::chrono::milliseconds(0));
            if (!reachesTheDisk)
                window.state().defaults().cutWritesForTesting(10);
            // The writer is kept busy with an earlier write until the window
            // has gone on, so the save is still under way when the app quits.
            auto writerHeld = std::make_shared<std::atomic<bool>>(true);
            window.state().defaults().setDataMadeBy(QStringLiteral("heldWrite"), [writerHeld] {
                QElapsedTimer held;
                held.start();
                while (writerHeld->load() && held.elapsed() < 10000)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return QByteArray("x");
            });
            window.state().setNewPlaylistName(QStringLiteral("Evening"));
            log.clear();
            window.library().addPlaylist();
            QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join(u'\n')));  // behind the save's line
            writerHeld->store(false);
        }
        const QStringList lines = log.lines();
        // (Not saved, the quit tries once more, and says so after.)
        QVERIFY2(lines.size() >= 2 && lines[1] == QStringLiteral("Added playlist: Evening")
                     && lines[0].startsWith(reachesTheDisk
                                                              ? QStringLiteral("Playlists saved: [\"Evening\"]")
                                                              : QStringLiteral("Error saving playlists: cannot write ")),
                 qPrintable(lines.join(u'\n')));
    }

    // Saves that failed, with no change since to try again, are tried once
    // more at quit: the disk may take them now.
    void failedSavesAreTriedAgainAtQuit()
    {
        TemporaryDefaults defaults;
        Log::Capture log;
        {
            RivetoneApp app(defaults.filePath());
            ContentView& window = app.mainWindow();
            window.state().defaults().cutWritesForTesting(10);
            window.state().setNewPlaylistName(QStringLiteral("Evening"));
            window.library().addPlaylist();
            QTRY_VERIFY(!window.state().defaults().lastWriteError().isEmpty());
            window.state().defaults().cutWritesForTesting(-1);  // space freed meanwhile
        }
        QCOMPARE(log.lines().last(), QStringLiteral("Playlists saved: [\"Evening\"]"));
        DefaultsStore again(defaults.filePath());
        QVERIFY(again.data(QStringLiteral("playlists")).value_or(QByteArray()).contains("Evening"));
    }

    // Files another start handed over just before the quit (it was told
    // they were taken) are added and saved on the way out, and play nothing.
    void filesHandedOverJustBeforeTheQuitAreKept()
    {
        TemporaryDefaults defaults;
        Log::Capture log;
        const QString lesson = fixturePath(QStringLiteral("sine-5s.mp3"));
        {
            RivetoneApp app(defaults.filePath());
            app.mainWindow().fileImport().scan().setEntryDelayForTesting(std::chrono::milliseconds(100));
            app.takeHandOver({{lesson}, QDir::currentPath(), {}});
            QVERIFY(app.mainWindow().fileImport().isBusy());
        }
        DefaultsStore again(defaults.filePath());
        QVERIFY(again.data(QStringLiteral("playlists")).value_or(QByteArray()).contains(QUrl::fromLocalFile(lesson).toEncoded()));
        QVERIFY2(!log.lines().join(u'\n').contains(QStringLiteral("Playing: ")), qPrintable(log.lines().join(u'\n')));
    }

    // Taskbars and title bars that show what the window carries (most on
    // X11) show Rivetone's icon, installed or not.
    void theWindowCarriesItsIcon()
    {
        if (!QDir(QStringLiteral(":/icons")).exists())
            QSKIP("built without rsvg-convert: no icon built in");
        const QFont font = QApplication::font();
        const QString name = QApplication::applicationName();
        RivetoneApp::configure(*qApp);
        const QIcon icon = QApplication::windowIcon();
        QApplication::setFont(font);
        QApplication::setApplicationName(name);
        QVERIFY(!icon.availableSizes().isEmpty());
        QVERIFY(!icon.pixmap(48).toImage().isNull());
    }

    void theWindowFitsItsContent()
    {
        TemporaryDefaults defaults;
        Log::Capture log;
        RivetoneApp app(defaults.filePath());
        ContentView& window = app.mainWindow();
        QCOMPARE(window.windowTitle(), QStringLiteral("Rivetone"));
        app.showMainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), window.firstWindowSize());
        // The user guide opens whole in it, not cut to the window's height.
        window.state().setShowUserGuide(true);
        QTRY_VERIFY(window.userGuideSheet()->isVisible());
        QCOMPARE(window.userGuideSheet()->card()->size(), UserGuideSheet::cardSize);
        window.state().setShowUserGuide(false);
        QTRY_VERIFY(!window.userGuideSheet()->isVisible());

        // At its smallest, everything still shows whole.
        window.resize(50, 50);
        QTRY_COMPARE(window.size(), window.minimumSize());
        const QRect content = window.rect().marginsRemoved(QMargins(19, 19, 19, 19));
        for (const QWidget* part : std::initializer_list<const QWidget*>{window.playerCard(), window.transportRow(),
                                                                         window.rightColumn()})
            QVERIFY2(content.contains(QRect(part->mapTo(&window, QPoint()), part->size())), part->metaObject()->className());
        const TextLine& hint = *window.playerCard()->loopHintLine();
        QVERIFY(hint.width() >= hint.sizeHint().width());
        // The chips keep room for their widest choices: picked at the
        // smallest size, they leave the window as it is, and the loop line
        // keeps its pass and countdown.
        const int narrowest = window.minimumSize().width();
        DrillOptions::setPasses(window.state(), 10);
        window.state().setDrillThenNextPhrase(true);
        DrillOptions::setPause(window.state(), {PassPause::Kind::LoopLength, 0});
        SpeedOption::set(window.state(), 0.75);
        const DrillRow& drill = *window.playerCard()->drillRow();
        QTest::qWait(50);
        QVERIFY2(window.minimumSize().width() == narrowest && window.size() == window.minimumSize(),
                 qPrintable(QStringLiteral("%1 → %2").arg(narrowest).arg(window.minimumSize().width())));
        QTRY_VERIFY2(drill.width() >= drill.minimumSizeHint().width(),
                     qPrintable(QStringLiteral("%1 < %2").arg(drill.width()).arg(drill.minimumSizeHint().width())));

        // Names of study files differ at their ends, so a long one loses its middle.
        TextLine& title = *window.playerCard()->titleLine();
        title.setText(QStringLiteral("Advanced listening practice for the long evening, lesson Unit 12.mp3"));
        QVERIFY(title.displayedText().contains(QChar(0x2026)));
        QVERIFY(title.displayedText().startsWith(QStringLiteral("Adv")));
        QVERIFY(title.displayedText().endsWith(QStringLiteral("12.mp3")));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
