// The main window as a user meets it: what it shows for a state, what its
// buttons do, its position timer, its first appearance and its focus.
#include "TestSupport.h"
#include "WidgetTesting.h"
#include "app/ContentView.h"
#include "app/PlayerCard.h"
#include "app/PlayerDisplay.h"
#include "app/RivetoneApp.h"
#include "app/TransportRow.h"
#include "engine/Log.h"
#include "input/EventMonitor.h"
#include "input/EventMonitorView.h"
#include "ui/CustomProgressBar.h"
#include "ui/CustomVerticalSlider.h"
#include "ui/NewPlaylistSheet.h"
#include "ui/PlainButton.h"
#include "ui/PlaylistPanel.h"
#include "ui/UserGuideSheet.h"
#include "ui/TextLine.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

QByteArray libraryOfFixtures()
{
    const QString mp3 = fixtureUrl("sine-5s.mp3").toString(QUrl::FullyEncoded);
    const QString m4a = fixtureUrl("sine-5s.m4a").toString(QUrl::FullyEncoded);
    return QStringLiteral(R"({"Drills":["%1","%2"],"Songs":[]})").arg(mp3, m4a).toUtf8();
}

// The window over a private defaults store, with the log captured.
struct Window {
    explicit Window(const QByteArray& storedLibrary = QByteArray())
    {
        if (!storedLibrary.isNull())
            defaults.store().setData(ContentState::playlistsKey, storedLibrary);
        view = std::make_unique<ContentView>(defaults.store());
        view->resize(view->firstWindowSize());
    }

    bool show()
    {
        view->show();
        view->activateWindow();
        return QTest::qWaitForWindowActive(view.get());
    }

    AudioPlayer& player() { return view->audioPlayer(); }
    PlayerCard& card() { return *view->playerCard(); }
    TransportRow& row() { return *view->transportRow(); }
    PlainButton& playPause() { return *row().playPauseButton(); }
    PlainButton& stop() { return *row().stopButton(); }
    PlainButton& help() { return *row().helpButton(); }

    void click(PlainButton& button) { QTest::mouseClick(&button, Qt::LeftButton, {}, button.labelRect().center().toPoint()); }

    // A rect of a descendant widget in the view's coordinates.
    QRectF inView(const QWidget& widget, const QRectF& rect) const
    {
        return rect.translated(widget.mapTo(view.get(), QPoint()));
    }

    TemporaryDefaults defaults;
    Log::Capture log;
    std::unique_ptr<ContentView> view;
};

// Counts the paint events of the widgets it watches.
class PaintCounter : public QObject {
public:
    void watch(QWidget* widget)
    {
        widget->installEventFilter(this);
        m_counts[widget] = 0;
    }
    int count(QWidget* widget) const { return m_counts.value(widget); }
    int total() const
    {
        int sum = 0;
        for (int n : m_counts)
            sum += n;
        return sum;
    }
    void reset()
    {
        for (auto it = m_counts.begin(); it != m_counts.end(); ++it)
            it.value() = 0;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++m_counts[static_cast<QWidget*>(watched)];
        return false;
    }

private:
    QHash<QWidget*, int> m_counts;
};

// Pixels clearly darker than the card they sit on: text.
int inkIn(const QImage& image, const QRectF& area)
{
    int ink = 0;
    const QRect pixels = area.toAlignedRect();
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x)
            ink += qGray(image.pixel(x, y)) < 200;
    return ink;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void withNothingLoadedTheCardIsEmptyAndTheTransportOff()
    {
        Window w;
        QVERIFY(w.show());
        QCOMPARE(w.card().titleLine()->text(), QString());
        QCOMPARE(w.card().timeLine()->text(), QStringLiteral("00:00 / 00:00"));
        QCOMPARE(w.card().progressBar()->duration(), 10.0);
        QVERIFY(!w.playPause().isEnabled());
        QVERIFY(!w.stop().isEnabled());
        QVERIFY(w.help().isEnabled());

        const QImage image = renderOnWhite(*w.view);
        QCOMPARE(inkIn(image, w.inView(*w.card().titleLine(), w.card().titleLine()->rect())), 0);
        QVERIFY(inkIn(image, w.inView(*w.card().timeLine(), w.card().timeLine()->rect())) > 20);
        QVERIFY(w.card().loopHintLine()->isVisible());
        QCOMPARE(w.card().loopHintLine()->text(), QStringLiteral("'B or \u3160' : Loop(\uad6c\uac04\ubc18\ubcf5) Start/End/Clear"));

        // The disabled buttons ignore clicks.
        w.log.clear();
        w.click(w.playPause());
        w.click(w.stop());
        QCOMPARE(w.log.lines(), QStringList());
        QVERIFY(!w.player().isPlaying());
    }

    void theAppearanceActionsRunOnceOnFirstShow()
    {
        Window w;
        QCOMPARE(w.log.lines(), QStringList());
        QVERIFY(!w.view->state().findChild<EventMonitor*>());

        QVERIFY(w.show());
        QCOMPARE(w.log.lines(), QStringList{QStringLiteral("Playlists saved: []")});
        QVERIFY(w.view->state().findChild<EventMonitor*>());

        w.view->hide();
        QVERIFY(w.show());
        QCOMPARE(w.log.lines(), QStringList{QStringLiteral("Playlists saved: []")});
    }

    void aStoredLibraryEnablesTheTransportOnceLoaded()
    {
        Window w(libraryOfFixtures());
        QVERIFY(!w.playPause().isEnabled());  // nothing is read before the window shows
        QVERIFY(w.show());
        QCOMPARE(w.log.lines(), QStringList{QStringLiteral("Playlists loaded: [\"Drills\", \"Songs\"]")});
        QTRY_VERIFY(w.playPause().isEnabled());
        QVERIFY(w.stop().isEnabled());
        QCOMPARE(w.card().titleLine()->text(), QString());  // nothing plays until asked
        QVERIFY(!w.player().isPlaying());
    }

    void playPauseStartsTheFirstTrackThenPausesAndSwapsItsSymbol()
    {
        Window w(libraryOfFixtures());
        QVERIFY(w.show());
        QTRY_VERIFY(w.playPause().isEnabled());
        const QImage playLook = renderOnWhite(w.playPause());
        QCOMPARE(w.row().playPauseSymbol(), Symbol::PlayFill);

        w.log.clear();
        w.click(w.playPause());
        QCOMPARE(w.log.lines(), (QStringList{QStringLiteral("Stop: currentTime=0.0, loop cleared"),
                                             QStringLiteral("Playing: sine-5s.mp3")}));
        QVERIFY(w.player().isPlaying());
        QTRY_COMPARE(w.row().playPauseSymbol(), Symbol::PauseFill);
        QCOMPARE(w.card().titleLine()->text(), QStringLiteral("sine-5s.mp3"));
        QTRY_VERIFY(renderOnWhite(w.playPause()) != playLook);

        w.log.clear();
        w.click(w.playPause());
        QVERIFY(!w.player().isPlaying());
        QCOMPARE(w.log.lines(), QStringList());
        QTRY_COMPARE(w.row().playPauseSymbol(), Symbol::PlayFill);
        QTRY_COMPARE(renderOnWhite(w.playPause()), playLook);
    }

    void stopClearsTheLoopAndTheNextLoopKeyStartsANewLoop()
    {
        Window w(libraryOfFixtures());
        QVERIFY(w.show());
        QTRY_VERIFY(w.playPause().isEnabled());
        w.click(w.playPause());
        // Halfway through marking a loop.
        QTest::keyClick(w.view->captureView(), Qt::Key_B, Qt::NoModifier);
        QVERIFY(w.view->state().isSettingLoop());
        QVERIFY(w.player().loopStart());

        w.log.clear();
        w.click(w.stop());
        QCOMPARE(w.log.lines(), QStringList{QStringLiteral("Stop: currentTime=0.0, loop cleared")});
        QVERIFY(!w.view->state().isSettingLoop());
        QVERIFY(!w.player().loopStart());
        QVERIFY(!w.player().isPlaying());

        QTest::keyClick(w.view->captureView(), Qt::Key_B, Qt::NoModifier);
        QVERIFY(w.player().loopStart());
        QVERIFY(!w.player().loopEnd());
        QVERIFY(w.view->state().isSettingLoop());
    }

    void theTimeTextAndTheBarFollowThePosition()
    {
        Window w(libraryOfFixtures());
        QVERIFY(w.show());
        QTRY_VERIFY(w.playPause().isEnabled());
        w.click(w.playPause());
        w.click(w.playPause());  // paused, so the position holds still
        const double duration = w.player().player()->duration();
        const QString length = formatTime(duration);
        QTRY_COMPARE(w.card().progressBar()->duration(), duration);

        CustomProgressBar& bar = *w.card().progressBar();
        const QRectF barInView = w.inView(bar, bar.barRect());
        auto barColourAt = [&](const QImage& image, double fraction) {
            return colourAt(image, {barInView.left() + fraction * barInView.width(), barInView.center().y()});
        };

        w.player().seek(duration * 0.5);
        QTRY_COMPARE(w.card().timeLine()->text(), formatTime(duration * 0.5) + QStringLiteral(" / ") + length);
        QImage image = renderOnWhite(*w.view);
        QVERIFY2(barColourAt(image, 0.35).hsvSaturation() > 120, "played part is filled");
        QVERIFY2(barColourAt(image, 0.7).hsvSaturation() < 40, "the rest is bare track");

        w.player().seek(duration * 0.9);
        QTRY_COMPARE(w.card().timeLine()->text(), formatTime(duration * 0.9) + QStringLiteral(" / ") + length);
        image = renderOnWhite(*w.view);
        QVERIFY(barColourAt(image, 0.7).hsvSaturation() > 120);
        QVERIFY(barColourAt(image, 0.95).hsvSaturation() < 40);
    }

    void theVolumeSliderDrivesThePlayer()
    {
        Window w(libraryOfFixtures());
        QVERIFY(w.show());
        QTRY_VERIFY(w.playPause().isEnabled());
        w.click(w.playPause());
        CustomVerticalSlider& slider = *w.card().volumeSlider();
        QCOMPARE(slider.size(), QSize(20, 100));
        QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(4, 75));
        QCOMPARE(w.player().volume(), 0.25f);
        QCOMPARE(w.player().player()->volume(), 0.25f);
    }

    void everyButtonPressShrinksAllThreeAndLetsThemGrowBack()
    {
        Window w;
        QVERIFY(w.show());
        ContentState& state = w.view->state();
        QList<double> scales;
        connect(&state, &ContentState::changed, this, [&](ContentState::Field field) {
            if (field != ContentState::Field::ButtonScale)
                return;
            scales.append(state.buttonScale());
            // All three follow the one shared scale at once.
            QCOMPARE(w.playPause().scale(), state.buttonScale());
            QCOMPARE(w.stop().scale(), state.buttonScale());
            QCOMPARE(w.help().scale(), state.buttonScale());
        });
        w.click(w.help());
        QVERIFY(state.showUserGuide());
        QTRY_VERIFY(state.buttonScale() < 1.0);
        QTRY_COMPARE(state.buttonScale(), 1.0);
        QTest::qWait(50);
        QVERIFY(scales.size() >= 4);  // eased, not jumped
        QCOMPARE(*std::min_element(scales.begin(), scales.end()), 0.9);
        QCOMPARE(scales.last(), 1.0);
        QCOMPARE(w.playPause().scale(), 1.0);

        w.click(w.help());
        QVERIFY(!state.showUserGuide());
    }

    void thePositionTimerTicksInMenusAndDrags()
    {
        Window w;
        QVERIFY(w.show());
        QCOMPARE(w.view->positionTimer().timerType(), Qt::PreciseTimer);
        QCOMPARE(w.view->positionTimer().interval(), 10);
        // Nothing plays, so the engine's own timer is off: every change
        // notice comes from the window's tick writing the position.
        QVERIFY(!w.player().timer());
        QSignalSpy ticks(&w.player(), &AudioPlayer::objectWillChange);

        QMenu menu(w.view.get());
        menu.addAction(QStringLiteral("One"));
        menu.popup(w.view->mapToGlobal(QPoint(40, 40)));
        QTRY_VERIFY(menu.isVisible());
        ticks.clear();
        QTest::qWait(300);
        QVERIFY2(ticks.count() >= 15, qPrintable(QString::number(ticks.count())));
        menu.close();

        // A modal menu runs its own event loop.
        QTimer::singleShot(300, &menu, &QMenu::close);
        ticks.clear();
        QElapsedTimer clock;
        clock.start();
        menu.exec(w.view->mapToGlobal(QPoint(40, 40)));
        QVERIFY(clock.elapsed() >= 250);
        QVERIFY2(ticks.count() >= 12, qPrintable(QString::number(ticks.count())));

        // Held on the bar with no track: the drag shows its time until the
        // next tick puts the position back to 0, while the button is still down.
        CustomProgressBar& bar = *w.card().progressBar();
        const QRectF barRect = bar.barRect();
        QTest::mousePress(&bar, Qt::LeftButton, {}, barRect.center().toPoint());
        QCOMPARE(w.player().currentTime(), 5.0);
        QTRY_COMPARE_WITH_TIMEOUT(w.player().currentTime(), 0.0, 200);
        QTest::mouseMove(&bar, QPoint(int(barRect.left() + barRect.width() * 0.75), int(barRect.center().y())));
        QVERIFY(std::abs(w.player().currentTime() - 7.5) < 0.1);
        ticks.clear();
        QTest::qWait(200);
        QVERIFY(ticks.count() >= 10);
        QCOMPARE(w.player().currentTime(), 0.0);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, barRect.center().toPoint());
    }

    void draggingTheBarSeeksTheLoadedTrack()
    {
        Window w(libraryOfFixtures());
        QVERIFY(w.show());
        QTRY_VERIFY(w.playPause().isEnabled());
        w.click(w.playPause());
        w.click(w.playPause());
        const double duration = w.player().player()->duration();
        CustomProgressBar& bar = *w.card().progressBar();
        const QRectF barRect = bar.barRect();

        w.log.clear();
        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(int(barRect.left() + barRect.width() / 4), int(barRect.center().y())));
        QTest::mouseMove(&bar, QPoint(int(barRect.right()) + 30, int(barRect.center().y())));
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(int(barRect.right()) + 30, int(barRect.center().y())));
        QCOMPARE(w.log.lines().size(), 2);
        QVERIFY(w.log.lines().at(0).startsWith(QStringLiteral("Seek to: ")));
        QCOMPARE(w.log.lines().at(1), QStringLiteral("Seek to: ") + Log::formatDouble(duration));
        QCOMPARE(w.player().player()->currentTime(), duration);
        QTRY_COMPARE(w.card().timeLine()->text(), formatTime(duration) + QStringLiteral(" / ") + formatTime(duration));
    }

    void theCaptureViewKeepsTheKeys()
    {
        Window w(libraryOfFixtures());
        QVERIFY(w.show());
        QTRY_VERIFY(w.view->captureView()->hasFocus());
        QTRY_VERIFY(w.playPause().isEnabled());
        for (PlainButton* button : {&w.playPause(), &w.stop(), &w.help()}) {
            w.click(*button);
            QVERIFY(w.view->captureView()->hasFocus());
        }

        // A text field takes the focus when clicked; a
        // click on the bare card gives it back to the capture view.
        auto* field = new QLineEdit(w.view.get());
        field->setGeometry(2, 2, 120, 16);
        field->show();
        QTRY_VERIFY(field->isVisible());
        QTest::mouseClick(field, Qt::LeftButton);
        QTRY_VERIFY(field->hasFocus());
        QTest::mouseClick(&w.card(), Qt::LeftButton, {}, QPoint(4, w.card().height() - 4));
        QTRY_VERIFY(w.view->captureView()->hasFocus());

        // And Space reaches the commands again.
        QVERIFY(!w.player().isPlaying());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space, Qt::NoModifier);
        QVERIFY(w.player().isPlaying());
    }

    void onlyWhatChangedIsRepainted()
    {
        Window w(libraryOfFixtures());
        QVERIFY(w.show());
        QTRY_VERIFY(w.playPause().isEnabled());
        w.click(w.playPause());
        w.click(w.playPause());  // paused: the picture stands still
        PaintCounter paints;
        PlayerCard& card = w.card();
        for (QWidget* widget : std::initializer_list<QWidget*>{card.titleLine(), card.timeLine(), card.progressBar(),
                                                               card.volumeSlider(), &w.playPause(), &w.stop(), &w.help()})
            paints.watch(widget);
        QTest::qWait(350);  // let the press animation settle
        paints.reset();
        const quint64 refreshesBefore = w.view->refreshCount();
        QTest::qWait(300);
        QVERIFY2(w.view->refreshCount() - refreshesBefore >= 15, "the display was looked at every tick");
        QCOMPARE(paints.total(), 0);

        // Playing: the time text changes at most once a second; the rest of
        // the card and the buttons stay as they are.
        w.player().togglePlayPause();
        QTest::qWait(50);
        paints.reset();
        QTest::qWait(1100);
        QVERIFY2(paints.count(card.timeLine()) <= 3, qPrintable(QString::number(paints.count(card.timeLine()))));
        QVERIFY(paints.count(card.progressBar()) >= 1);
        QCOMPARE(paints.count(card.titleLine()), 0);
        QCOMPARE(paints.count(card.volumeSlider()), 0);
        QCOMPARE(paints.count(&w.stop()), 0);
        QCOMPARE(paints.count(&w.help()), 0);
    }

    void theSheetsFollowTheirFlags()
    {
        Window w;
        QVERIFY(w.show());
        ContentState& state = w.view->state();

        w.click(w.help());
        QDialog* guide = w.view->userGuideSheet();
        QVERIFY(state.showUserGuide());
        QTRY_VERIFY(guide->isVisible());
        QCOMPARE(guide->windowModality(), Qt::WindowModal);

        // Escape dismisses it and clears the flag.
        QTest::keyClick(guide, Qt::Key_Escape);
        QVERIFY(!state.showUserGuide());
        QTRY_VERIFY(!guide->isVisible());

        // The New button raises the prompt; clearing the flag closes it.
        w.view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.view.get()));
        PlainButton& newButton = *w.view->playlistPanel()->newButton();
        w.click(newButton);
        QVERIFY(state.showNewPlaylistPrompt());
        QDialog* prompt = w.view->newPlaylistSheet();
        QTRY_VERIFY(prompt->isVisible());
        state.setShowNewPlaylistPrompt(false);
        QTRY_VERIFY(!prompt->isVisible());
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
        QVERIFY(window.height() >= ContentView::firstRightColumnHeight + 2 * ContentView::padding);
        QCOMPARE(window.rightColumn()->width(), 250);

        // At its smallest, everything still shows whole.
        window.resize(50, 50);
        QTRY_COMPARE(window.size(), window.minimumSize());
        QVERIFY(window.minimumWidth() > 250 + 2 * ContentView::padding);
        const QRect content = window.rect().marginsRemoved(QMargins(19, 19, 19, 19));
        for (const QWidget* part : std::initializer_list<const QWidget*>{window.playerCard(), window.transportRow(),
                                                                         window.rightColumn()}) {
            const QRect where(part->mapTo(&window, QPoint()), part->size());
            QVERIFY2(content.contains(where), part->metaObject()->className());
        }
        QCOMPARE(window.playerCard()->loopHintLine()->displayedText(),
                 window.playerCard()->loopHintLine()->text());
        QCOMPARE(window.playerCard()->timeLine()->width(), window.playerCard()->titleLine()->width());
        QVERIFY(window.playerCard()->progressBar()->barRect().width() >= 150);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
