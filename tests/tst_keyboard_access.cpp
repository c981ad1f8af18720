// The main window from the keyboard alone: Tab through the controls, the
// playlist rows with Up, Down and Enter, the focus made visible, and the
// window's command keys keeping their meaning whatever holds the focus.

#include "app/ContentView.h"
#include "base/Log.h"
#include "input/EventMonitorView.h"
#include "ui/kit/CustomProgressBar.h"
#include "ui/kit/CustomVerticalSlider.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/PlainButton.h"
#include "ui/screens/DrillRow.h"
#include "ui/screens/PlayerCard.h"
#include "ui/screens/PlaylistListView.h"
#include "ui/screens/PlaylistPanel.h"
#include "ui/screens/TransportRow.h"
#include "ui/screens/NewPlaylistSheet.h"
#include "ui/screens/UserGuideSheet.h"
#include "TestSupport.h"
#include "WidgetTesting.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpontaneKeyEvent>
#include <QTest>

#include <optional>

#include <memory>

namespace {

const QUrl mp3 = fixtureUrl(QStringLiteral("sine-5s.mp3"));
const QUrl m4a = fixtureUrl(QStringLiteral("sine-5s.m4a"));

bool isBlue(const QColor& colour)
{
    return colour.blue() - colour.red() > 60;
}

// The window over a private store holding "Drills" (the MP3, then the m4a)
// and an empty "Songs", or nothing; shown, with the log captured.
struct Window : WindowFixture {
    using WindowFixture::WindowFixture;

    // Through the window, as the platform delivers keys: the monitor sees them first.
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(view->windowHandle(), key, modifiers);
    }
    void heldKey(Qt::Key key, const QString& text)
    {
        qt_handleKeyEvent(view->windowHandle(), QEvent::KeyPress, key, Qt::NoModifier, text, true);
    }
    // A key whose characters matter, as a Korean layout types B: "ㅠ".
    void typed(Qt::Key key, const QString& text)
    {
        qt_handleKeyEvent(view->windowHandle(), QEvent::KeyPress, key, Qt::NoModifier, text);
        qt_handleKeyEvent(view->windowHandle(), QEvent::KeyRelease, key, Qt::NoModifier, text);
    }
    // A notch of the wheel over a control, as the platform hands it to the window.
    void wheel(QWidget* over, int angle = 120, std::optional<QPoint> local = {})
    {
        const QPoint at = over->mapTo(view.get(), local.value_or(over->rect().center()));
        QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&event);
        qApp->notify(view->windowHandle(), &event);
    }
    // The first track loaded and paused at 2 s.
    void pausedAtTwoSeconds()
    {
        QTRY_VERIFY(row().playPauseButton()->isEnabled());
        typed(Qt::Key_Space, QStringLiteral(" "));
        QTRY_VERIFY(player().isPlaying());
        typed(Qt::Key_Space, QStringLiteral(" "));
        player().seek(2);
        player().setCurrentTime(2);
    }
    QWidget* focus() const { return QApplication::focusWidget(); }
    // Tabs until the widget has the focus; false when a whole round misses it.
    bool tabTo(QWidget* widget)
    {
        for (int step = 0; step < 20 && focus() != widget; ++step)
            key(Qt::Key_Tab);
        return focus() == widget;
    }

    PlaylistPanel& panel() { return *view->playlistPanel(); }
    PlaylistListView& list() { return *panel().list(); }
    TransportRow& row() { return *view->transportRow(); }
    PlayerCard& card() { return *view->playerCard(); }
    FocusRing& ring() { return *view->findChild<FocusRing*>(); }

};

}  // namespace

class KeyboardAccessTest : public QObject {
    Q_OBJECT

private slots:
    // From the playlists through the transport to the card's finer controls,
    // round again, and back with Shift+Tab.
    void tabWalksTheControlsInOrder()
    {
        Window w;
        QVERIFY(w.show());
        QTRY_VERIFY(w.row().playPauseButton()->isEnabled());
        QCOMPARE(w.focus(), w.view->captureView());
        DrillRow& drill = *w.card().drillRow();
        const QList<QWidget*> order{&w.list(),
                                    w.panel().newButton(),
                                    w.panel().deleteButton(),
                                    w.panel().addFilesButton(),
                                    w.row().playPauseButton(),
                                    w.row().stopButton(),
                                    w.row().helpButton(),
                                    w.card().progressBar(),
                                    w.card().volumeSlider(),
                                    drill.passesButton(),
                                    drill.pauseButton(),
                                    drill.speedButton()};
        for (QWidget* expected : order) {
            w.key(Qt::Key_Tab);
            QCOMPARE(w.focus(), expected);
        }
        w.key(Qt::Key_Tab);
        QCOMPARE(w.focus(), order.first());
        for (qsizetype i = order.size() - 1; i >= 0; --i) {
            w.key(Qt::Key_Tab, Qt::ShiftModifier);
            QCOMPARE(w.focus(), order[i]);
        }
    }

    // The ring goes round the focused control's shape and nowhere else, and
    // leaves with the focus.
    void theRingShowsWhichControlHasTheFocus()
    {
        Window w;
        QVERIFY(w.show());
        PlainButton& stop = *w.row().stopButton();
        QTRY_VERIFY(stop.isEnabled());
        const qreal out = FocusRing::gap + FocusRing::lineWidth / 2;
        const QPointF onRing = stop.mapTo(w.view.get(), stop.labelRect().center().toPoint())
            - QPointF(stop.labelRect().width() / 2 + out, 0);
        QVERIFY(!isBlue(colourAt(renderOnWhite(*w.view), onRing)));

        QVERIFY(w.tabTo(&stop));
        QTRY_COMPARE(w.ring().target(), &stop);
        QVERIFY2(isBlue(colourAt(renderOnWhite(*w.view), onRing)), qPrintable(colourAt(renderOnWhite(*w.view), onRing).name()));

        w.key(Qt::Key_Tab);
        QTRY_COMPARE(w.ring().target(), w.row().helpButton());
        QVERIFY(!isBlue(colourAt(renderOnWhite(*w.view), onRing)));
        QTest::mouseClick(&w.card(), Qt::LeftButton, {}, QPoint(4, w.card().height() - 4));  // the keys back to the capture view
        QTRY_VERIFY(!w.ring().target());
        QCOMPARE(w.focus(), w.view->captureView());
    }

    // Up and Down step through the playlists and the open ones' tracks; Enter
    // plays a track, opens and selects a closed playlist and closes an open
    // one. The cursor stays on its row as the rows change around it.
    void upDownAndEnterWorkTheRows()
    {
        Window w;
        QVERIFY(w.show());
        PlaylistListView& list = w.list();
        QVERIFY(w.tabTo(&list));
        QCOMPARE(list.rowCount(), 4);  // the first playlist starts open
        QCOMPARE(list.cursorRow(), 0);
        w.key(Qt::Key_Down);
        w.key(Qt::Key_Down);
        w.key(Qt::Key_Up);
        QCOMPARE(list.cursorRow(), 1);
        w.key(Qt::Key_Down);
        QCOMPARE(list.rowName(list.cursorRow()), QStringLiteral("sine-5s.m4a"));
        w.key(Qt::Key_Enter);
        QTRY_VERIFY(w.player().isPlaying());
        QCOMPARE(w.player().currentTrack(), std::optional<QUrl>(m4a));
        QVERIFY(list.isRowHighlighted(2) && !list.isRowHighlighted(1));

        // The row under the cursor wears the ring while the list has the focus.
        const QRectF card = list.rowRect(2);
        const QPoint onRing = list.viewport()->mapTo(
            &list, QPointF(card.center().x(), card.top() - FocusRing::gap - FocusRing::lineWidth / 2).toPoint());
        QVERIFY(isBlue(colourAt(renderOnWhite(list), onRing)));

        w.key(Qt::Key_Down);
        w.key(Qt::Key_Down);  // stays on the last row
        QCOMPARE(list.rowName(list.cursorRow()), QStringLiteral("Songs"));
        w.key(Qt::Key_Return);  // Songs opens and becomes current: playback stops
        QCOMPARE(w.view->state().currentPlaylist(), QStringLiteral("Songs"));
        QVERIFY(!w.player().isPlaying());
        QCOMPARE(list.rowName(list.cursorRow()), QStringLiteral("Songs"));

        w.key(Qt::Key_Home);
        w.heldKey(Qt::Key_Return, QStringLiteral("\r"));  // a held key does not toggle the row
        QCOMPARE(list.rowCount(), 4);
        // An open playlist closes, and stays where it was; held, as X11 sends
        // a held key when Qt has not marked its repeats, it is pressed once.
        holdKeyAsX11Does(w.view->windowHandle(), Qt::Key_Return, QStringLiteral("\r"), 3);
        QCOMPARE(list.rowCount(), 2);
        QCOMPARE(list.cursorRow(), 0);
        QCOMPARE(w.view->state().currentPlaylist(), QStringLiteral("Songs"));
        QVERIFY(!isBlue(colourAt(renderOnWhite(list), onRing)));
    }

    // A sheet closed gives the focus back to the control that had it, and
    // Tab goes on from there (every sheet, by Escape too: SheetDialog hides
    // the same way whatever closes it).
    void closingASheetGivesTheFocusBack()
    {
        Window w;
        QVERIFY(w.show());
        QTRY_VERIFY(w.row().playPauseButton()->isEnabled());
        PlainButton* newButton = w.panel().newButton();
        QVERIFY(w.tabTo(newButton));
        w.key(Qt::Key_Return);
        NewPlaylistSheet& sheet = *w.view->newPlaylistSheet();
        QTRY_VERIFY(sheet.isVisible());
        QTest::mouseClick(sheet.cancelButton(), Qt::LeftButton);
        QTRY_VERIFY(!sheet.isVisible());
        QCOMPARE(w.focus(), newButton);
        w.key(Qt::Key_Tab);
        QCOMPARE(w.focus(), w.panel().deleteButton());
    }

    // The wheel as the platform delivers it (to the window first): over the
    // card's speed chip it turns the speed, and elsewhere it seeks.
    void theWheelOverTheSpeedChipTurnsTheSpeed()
    {
        Window w;
        QVERIFY(w.show());
        w.pausedAtTwoSeconds();
        w.wheel(w.card().drillRow()->speedButton());
        QCOMPARE(w.player().speed(), 1.05);
        QCOMPARE(w.player().currentTime(), 2.0);
        w.wheel(w.card().progressBar());
        QCOMPARE(w.player().speed(), 1.05);
        QVERIFY(w.player().currentTime() > 2.0);
    }

    // The guide in a window lower than itself (the window at its smallest, or
    // a large scale on a small screen) is cut to the window and scrolls: Tab
    // brings each control into view, the wheel over it scrolls it, at either
    // end too, and never seeks the track behind, and the focus ring of a
    // control scrolled out of view goes with it.
    void aGuideCutToALowWindowScrollsToEachControlAndKeepsTheWheel()
    {
        Window w;
        QVERIFY(w.show());
        w.pausedAtTwoSeconds();
        w.view->resize(900, 300);
        QTRY_COMPARE(w.view->height(), 300);
        w.view->state().setShowUserGuide(true);
        UserGuideSheet& guide = *w.view->userGuideSheet();
        QTRY_VERIFY(guide.isVisible());
        QWidget* close = guide.closeButton();
        QScrollArea* area = guide.findChild<QScrollArea*>();
        QVERIFY(area && area->verticalScrollBar()->maximum() > 0);
        const QRect card(guide.card()->mapTo(w.view.get(), QPoint()), guide.card()->size());
        QVERIFY(w.view->rect().contains(card));
        const auto cardShows = [&](const QWidget* control) {
            return card.contains(QRect(control->mapTo(w.view.get(), QPoint()), control->size()));
        };
        for (QWidget* control : std::initializer_list<QWidget*>{guide.seekIntervalButton(), close}) {
            QVERIFY(!cardShows(control));
            w.key(Qt::Key_Tab);
            QCOMPARE(w.focus(), control);
            QTRY_VERIFY(cardShows(control));
        }
        for (int notch = 0; notch < 20; ++notch)
            w.wheel(guide.card(), -120);  // down, past the bottom
        QCOMPARE(area->verticalScrollBar()->value(), area->verticalScrollBar()->maximum());
        QVERIFY(cardShows(close));
        QCOMPARE(w.player().currentTime(), 2.0);

        QTRY_VERIFY(w.ring().isVisible());  // around Close, which has the focus
        for (int notch = 0; notch < 20; ++notch)
            w.wheel(guide.card());
        QCOMPARE(area->verticalScrollBar()->value(), 0);
        QVERIFY(!cardShows(close));
        QTRY_VERIFY(!w.ring().isVisible());
        QCOMPARE(w.player().currentTime(), 2.0);

        // The card's rim above the scrolling part (clear of the corners) takes it too.
        w.wheel(guide.card(), -120, QPoint(guide.card()->width() / 2, area->y() / 2));
        QVERIFY(area->y() > 2 && area->verticalScrollBar()->value() > 0);
        QCOMPARE(w.player().currentTime(), 2.0);
    }

    // A key the window takes as a command is the hand on the controls all
    // the same: what it changed shows at the screen's rate, not playback's.
    void commandKeysSetTheScreensFrameRate()
    {
        Window w;
        QVERIFY(w.show());
        const FramePacer& pacer = w.view->displayPacer();
        QVERIFY(pacer.frameIntervalMilliseconds() > pacer.screenFrameMilliseconds());
        w.typed(Qt::Key_Space, QStringLiteral(" "));  // taken by the window's key monitor
        QCOMPARE(pacer.frameIntervalMilliseconds(), pacer.screenFrameMilliseconds());
    }

    // The command keys write the same log lines and leave the same loop
    // whether the window's key capture, a button, the list, the bar or the
    // volume has the focus, and the focus stays where it was.
    void commandKeysLogTheSameWhateverHasTheFocus()
    {
        struct Outcome {
            QStringList lines;
            std::optional<double> loopStart;
            std::optional<double> loopEnd;
        };
        const auto runKeys = [](QWidget* (*control)(Window&)) {
            Window w;
            [&] {
                QVERIFY(w.show());
                QTRY_VERIFY(w.row().playPauseButton()->isEnabled());
                w.view->state().setSeekInterval(1);
                QWidget* focused = control ? control(w) : w.view->captureView();
                QVERIFY(w.tabTo(focused));
                w.pausedAtTwoSeconds();  // by Space, whatever has the focus
                QVERIFY(!w.player().isPlaying());
                w.log.clear();
                w.key(Qt::Key_Right);
                w.key(Qt::Key_Left);
                w.key(Qt::Key_Left);
                w.typed(Qt::Key_B, QStringLiteral("b"));
                w.key(Qt::Key_Right);
                w.typed(Qt::Key_unknown, QString(QChar(0x3160)));  // ㅠ
                w.typed(Qt::Key_Space, QStringLiteral(" "));
                QVERIFY(w.player().isPlaying());
                QCOMPARE(w.focus(), focused);
            }();
            return Outcome{w.log.lines(), w.player().loopStart(), w.player().loopEnd()};
        };

        const Outcome captured = runKeys(nullptr);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(captured.loopStart, std::optional<double>(1.0));
        QCOMPARE(captured.loopEnd, std::optional<double>(2.0));
        // The window-wide route logs only the engine's lines; the loop is set silently.
        QCOMPARE(captured.lines, (QStringList{"Seek to: 3.0", "Seek to: 2.0", "Seek to: 1.0", "Seek to: 2.0"}));
        const QList<QWidget* (*)(Window&)> controls{
            [](Window& w) -> QWidget* { return w.row().playPauseButton(); },
            [](Window& w) -> QWidget* { return &w.list(); },
            [](Window& w) -> QWidget* { return w.card().progressBar(); },
            [](Window& w) -> QWidget* { return w.card().volumeSlider(); },
        };
        for (const auto control : controls) {
            const Outcome focused = runKeys(control);
            QVERIFY(!QTest::currentTestFailed());
            QCOMPARE(focused.lines, captured.lines);
            QCOMPARE(focused.loopStart, captured.loopStart);
            QCOMPARE(focused.loopEnd, captured.loopEnd);
        }
    }

    void upAndDownSetTheVolumeFromItsSlider()
    {
        Window w;
        QVERIFY(w.show());
        CustomVerticalSlider& volume = *w.card().volumeSlider();
        QVERIFY(w.tabTo(&volume));
        w.key(Qt::Key_Up);
        QCOMPARE(w.player().volume(), 1.0f);
        w.key(Qt::Key_Down);
        w.key(Qt::Key_Down);
        QCOMPARE(w.player().volume(), volume.step() * 90);
        w.key(Qt::Key_Up);
        QCOMPARE(w.player().volume(), volume.step() * 95);
    }
};

QTEST_MAIN(KeyboardAccessTest)
#include "tst_keyboard_access.moc"
