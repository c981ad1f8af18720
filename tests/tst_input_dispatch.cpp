// Key and wheel input through real Qt event dispatch: a window with the
// capture view as background, with and without the window-wide monitor.
#include "TestSupport.h"
#include "engine/Log.h"
#include "input/CommandHandlers.h"
#include "input/EventMonitor.h"
#include "input/EventMonitorView.h"
#include "library/ContentState.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpontaneKeyEvent>
#include <QTest>

#include <memory>

namespace {

const QString hangulLoopKey = QString(QChar(0x3160));
constexpr QPoint background{100, 150};
constexpr QPoint overList{280, 100};

QString seekLine(double seconds)
{
    return QStringLiteral("Seek to: ") + Log::formatDouble(seconds);
}

QString keyLine(const QString& characters)
{
    return QStringLiteral("Key pressed: keyCode = 0, characters = ") + characters;
}

// Counts the key presses and wheel events that reach the objects it watches.
class DeliveryWitness : public QObject {
public:
    void watch(QObject* object) { object->installEventFilter(this); }
    int count(QObject* object, QEvent::Type type) const { return int(m_seen.count({object, type})); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::Wheel)
            m_seen.append({watched, event->type()});
        return false;
    }

private:
    QList<QPair<QObject*, QEvent::Type>> m_seen;
};

// How an event enters: as the platform delivers it (to the window, which hands
// it to the focus widget or the widget under the pointer, and on to their
// parents), or sent straight to that widget.
enum class Route { Platform, Direct };
Route route = Route::Platform;

QWidget* keyboardTarget()
{
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup->focusWidget() ? popup->focusWidget() : popup;
    return QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
}

void press(Qt::Key key, const QString& text = QString(), Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = keyboardTarget();
    QVERIFY(target);
    if (route == Route::Platform)
        QTest::sendKeyEvent(QTest::Click, target->window()->windowHandle(), key, text, modifiers);
    else
        QTest::sendKeyEvent(QTest::Click, target, key, text, modifiers);
}

void wheel(QWidget* window, QPoint position, QPoint angleDelta, QPoint pixelDelta = {})
{
    QWidget* target = route == Route::Platform ? window : window->childAt(position);
    QVERIFY(target);
    const QPointF local = target->mapFrom(window, QPointF(position));
    QWheelEvent event(local, target->mapToGlobal(local), pixelDelta, angleDelta, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    if (route == Route::Direct) {
        QApplication::sendEvent(target, &event);
        return;
    }
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(window->windowHandle(), &event);
}

// Widgets report a window active a little before Qt hands it the focus.
bool activate(QWidget& window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitFor([&window] { return QApplication::activeWindow() == &window; });
}

// The main window in small: the capture view behind a button, a name field
// and a long list.
struct TestWindow {
    TestWindow()
    {
        window.resize(400, 300);
        content = new QWidget(&window);
        content->setGeometry(window.rect());
        button = new QPushButton(QStringLiteral("Play"), content);
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry(10, 10, 80, 30);
        nameField = new QLineEdit(content);
        nameField->setGeometry(10, 260, 150, 30);
        list = new QListWidget(content);
        list->setGeometry(200, 10, 180, 200);
        for (int row = 0; row < 100; ++row)
            list->addItem(QStringLiteral("Track %1").arg(row));
        CommandHandlers handlers(state);
        view = new EventMonitorView([handlers](QKeyEvent* event) mutable { handlers.handleKeyPress(event); },
                                    [handlers](double deltaY) mutable { handlers.handleWheel(deltaY); }, content);
        for (QObject* watched : std::initializer_list<QObject*>{view, content, &window, list->viewport()})
            witness.watch(watched);
    }

    AudioPlayer& engine() { return state.audioPlayer(); }
    double position() { return engine().currentTime(); }

    void loadTrack()
    {
        engine().setPlaylist({fixtureUrl(QStringLiteral("sine-5s.mp3"))});
        engine().playTrack(0);
        engine().togglePlayPause();
    }

    // Silently, as the window's tick would.
    void placeAt(double seconds)
    {
        engine().player()->setCurrentTime(seconds);
        engine().setCurrentTime(seconds);
    }

    TemporaryDefaults defaults;
    ContentState state{defaults.store()};
    QWidget window;
    QWidget* content;
    QPushButton* button;
    QLineEdit* nameField;
    QListWidget* list;
    EventMonitorView* view;
    DeliveryWitness witness;
};

}  // namespace

class InputDispatchTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestWindow> w;
    std::unique_ptr<Log::Capture> log;

    void start(bool withMonitor, bool withTrack, double seekIntervalSeconds = 1)
    {
        w = std::make_unique<TestWindow>();
        if (withTrack)
            w->loadTrack();
        w->state.setSeekInterval(seekIntervalSeconds);
        QVERIFY(activate(w->window));
        QCOMPARE(QApplication::focusWidget(), w->view);
        if (withMonitor)
            QCOMPARE(installEventMonitor(w->state), installEventMonitor(w->state));
        log = std::make_unique<Log::Capture>();
    }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<Route>("route");
        QTest::newRow("platform") << Route::Platform;
        QTest::newRow("direct") << Route::Direct;
    }

    void init()
    {
        QFETCH_GLOBAL(Route, route);
        ::route = route;
    }

    void cleanup()
    {
        log.reset();
        w.reset();
    }

    void monitorSeeksOneIntervalPerKeyAndSwallowsIt()
    {
        start(true, true);
        w->placeAt(1);
        press(Qt::Key_Right);
        QCOMPARE(w->position(), 2.0);
        // Interval changes apply at the next event; held keys repeat.
        w->state.setSeekInterval(0.5);
        qt_handleKeyEvent(w->window.windowHandle(), QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier, QString(), true);
        qt_handleKeyEvent(w->window.windowHandle(), QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier, QString(), true);
        QCOMPARE(log->lines(), (QStringList{seekLine(2.0), seekLine(1.5), seekLine(1.0)}));

        // Clamped at both ends: 2 s before the end +5 is the end; 3 s -5 is 0.
        const double duration = w->engine().player()->duration();
        w->state.setSeekInterval(5);
        w->placeAt(duration - 2);
        log->clear();
        press(Qt::Key_Right);
        QCOMPARE(w->position(), duration);
        w->placeAt(3);
        press(Qt::Key_Left);
        QCOMPARE(w->position(), 0.0);
        QCOMPARE(log->lines(), (QStringList{seekLine(duration), seekLine(0.0)}));
        QCOMPARE(w->witness.count(w->view, QEvent::KeyPress), 0);
    }

    void withoutTrackArrowsAndWheelAreLetThrough()
    {
        start(true, false);
        press(Qt::Key_Right);
        QCOMPARE(log->lines(), QStringList{keyLine(QString())});
        // The capture view passes the key on to its parents, once each.
        QCOMPARE(w->witness.count(w->view, QEvent::KeyPress), 1);
        QCOMPARE(w->witness.count(w->content, QEvent::KeyPress), 1);
        QCOMPARE(w->witness.count(&w->window, QEvent::KeyPress), 1);

        wheel(&w->window, overList, QPoint(0, -120));
        QVERIFY(w->list->verticalScrollBar()->value() > 0);
        QCOMPARE(log->lines().size(), 1);
    }

    void spaceIsAlwaysSwallowed()
    {
        start(true, false);
        press(Qt::Key_Space, QStringLiteral(" "));
        QVERIFY(log->lines().isEmpty());
        QVERIFY(!w->engine().isPlaying());

        w->engine().setPlaylist({fixtureUrl(QStringLiteral("sine-5s.mp3"))});
        press(Qt::Key_Space, QStringLiteral(" "));
        QVERIFY(w->engine().isPlaying());
        press(Qt::Key_Space, QStringLiteral(" "));
        QVERIFY(!w->engine().isPlaying());
        QCOMPARE(log->lines(), (QStringList{QStringLiteral("Stop: currentTime=0.0, loop cleared"),
                                           QStringLiteral("Playing: sine-5s.mp3")}));
        QCOMPARE(w->witness.count(w->view, QEvent::KeyPress), 0);
    }

    void loopKeysCycleSilentlyButShiftBIsNoCommand()
    {
        start(true, true);
        QSignalSpy stateChanges(&w->state, &ContentState::changed);
        w->placeAt(1);
        press(Qt::Key_B, QStringLiteral("b"));
        QCOMPARE(w->engine().loopStart(), std::optional<double>(1.0));
        QCOMPARE(stateChanges.count(), 1);  // one press, one step

        press(Qt::Key_B, QStringLiteral("B"), Qt::ShiftModifier);
        QCOMPARE(log->lines(), QStringList{keyLine(QStringLiteral("B"))});
        QVERIFY(!w->engine().loopEnd());

        w->placeAt(2);
        press(Qt::Key_unknown, hangulLoopKey);
        QCOMPARE(w->engine().loopEnd(), std::optional<double>(2.0));
        press(Qt::Key_B, QStringLiteral("b"));
        QVERIFY(!w->engine().loopStart() && !w->engine().loopEnd() && !w->state.isSettingLoop());
        QCOMPARE(log->lines().size(), 1);
    }

    void wheelSeeksWhereverThePointerIs()
    {
        start(true, true);
        w->placeAt(3);
        wheel(&w->window, overList, QPoint(0, -120));
        QCOMPARE(w->position(), 2.0);
        // A touchpad that reports pixels only; any size is one interval.
        wheel(&w->window, overList, QPoint(), QPoint(0, 1));
        QCOMPARE(w->position(), 3.0);
        QCOMPARE(w->list->verticalScrollBar()->value(), 0);
        QCOMPARE(w->witness.count(w->list->viewport(), QEvent::Wheel), 0);

        // Horizontal only: no command; the widget under the pointer gets it.
        wheel(&w->window, background, QPoint(120, 0));
        QCOMPARE(w->witness.count(w->view, QEvent::Wheel), 1);
        QCOMPARE(log->lines(), (QStringList{seekLine(2.0), seekLine(3.0)}));
    }

    void textFieldGetsEveryKeyButNotTheWheel()
    {
        start(true, true);
        w->nameField->setFocus();
        for (auto [key, text] : {std::pair{Qt::Key_A, QStringLiteral("a")}, {Qt::Key_Space, QStringLiteral(" ")},
                                 {Qt::Key_B, QStringLiteral("b")}, {Qt::Key_unknown, hangulLoopKey}})
            press(key, text);
        press(Qt::Key_Left);
        QCOMPARE(w->nameField->text(), QStringLiteral("a b") + hangulLoopKey);
        QCOMPARE(w->nameField->cursorPosition(), 3);
        QVERIFY(!w->engine().isPlaying() && !w->state.isSettingLoop());

        wheel(&w->window, overList, QPoint(0, 120));
        QCOMPARE(log->lines(), QStringList{seekLine(1.0)});

        // A click on the bare background hands the keys back to the commands.
        QTest::mouseClick(w->view, Qt::LeftButton, {}, background);
        QCOMPARE(QApplication::focusWidget(), w->view);
        press(Qt::Key_Space, QStringLiteral(" "));
        QVERIFY(w->engine().isPlaying());
    }

    void commandsKeepWorkingUnderAnOpenMenu()
    {
        start(true, true);
        QMenu menu(&w->window);
        menu.addAction(QStringLiteral("1 s"));
        menu.popup(w->window.mapToGlobal(background));
        QTRY_COMPARE(QApplication::activePopupWidget(), &menu);
        press(Qt::Key_Space, QStringLiteral(" "));
        QVERIFY(w->engine().isPlaying());
        w->engine().togglePlayPause();
        press(Qt::Key_Right);
        QCOMPARE(log->lines(), QStringList{seekLine(1.0)});
        QVERIFY(menu.isVisible() && !menu.activeAction());
    }

    void commandsKeepWorkingInAWindowModalSheet()
    {
        start(true, true);
        QDialog sheet(&w->window);
        sheet.setWindowModality(Qt::WindowModal);
        auto* field = new QLineEdit(&sheet);
        QVERIFY(activate(sheet));
        field->setFocus();
        press(Qt::Key_B, QStringLiteral("b"));
        QCOMPARE(field->text(), QStringLiteral("b"));
        QVERIFY(!w->state.isSettingLoop());

        field->clearFocus();
        press(Qt::Key_Space, QStringLiteral(" "));
        press(Qt::Key_B, QStringLiteral("b"));
        QVERIFY(w->engine().isPlaying() && w->state.isSettingLoop());
        QCOMPARE(field->text(), QStringLiteral("b"));
    }

    void shortcutsNeverTakeACommandKey()
    {
        start(true, true);
        auto addShortcut = [this](Qt::Key key) {
            auto* action = new QAction(&w->window);
            action->setShortcut(key);
            w->window.addAction(action);
            return std::make_unique<QSignalSpy>(action, &QAction::triggered);
        };
        const auto loopShortcut = addShortcut(Qt::Key_B);
        const auto otherShortcut = addShortcut(Qt::Key_X);
        press(Qt::Key_X, QStringLiteral("x"));
        press(Qt::Key_B, QStringLiteral("b"));
        QCOMPARE(otherShortcut->count(), 1);
        QCOMPARE(loopShortcut->count(), 0);
        QVERIFY(w->state.isSettingLoop());
    }

    void captureViewLogsKeysAndPassesThemOn()
    {
        start(false, true);
        press(Qt::Key_Right);
        press(Qt::Key_B, QStringLiteral("b"));
        w->engine().setCurrentTime(2.5);
        press(Qt::Key_unknown, hangulLoopKey);
        press(Qt::Key_B, QStringLiteral("b"));
        press(Qt::Key_Space, QStringLiteral(" "));
        QCOMPARE(log->lines(), (QStringList{keyLine(QString()), seekLine(1.0), keyLine(QStringLiteral("b")),
                                           QStringLiteral("Loop start set to 1.0"), keyLine(hangulLoopKey),
                                           QStringLiteral("Loop end set to 2.5"), keyLine(QStringLiteral("b")),
                                           QStringLiteral("Loop cleared"), keyLine(QStringLiteral(" "))}));
        QVERIFY(w->engine().isPlaying());
        QCOMPARE(w->witness.count(w->content, QEvent::KeyPress), 5);

        QKeyEvent native(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 38, 97, 0, QStringLiteral("a"));
        QApplication::sendEvent(w->view, &native);
        QCOMPARE(log->lines().last(), QStringLiteral("Key pressed: keyCode = 38, characters = a"));
    }

    void captureViewTakesTheWheelOverTheBackgroundOnly()
    {
        start(false, true);
        wheel(&w->window, background, QPoint(0, 120));
        wheel(&w->window, background, QPoint(120, 0));
        QCOMPARE(log->lines(), QStringList{seekLine(1.0)});
        QCOMPARE(w->witness.count(w->content, QEvent::Wheel), 0);  // stopped at the view

        wheel(&w->window, overList, QPoint(0, -120));
        QVERIFY(w->list->verticalScrollBar()->value() > 0);
        QCOMPARE(log->lines().size(), 1);
    }

    void captureViewFillsItsParentBehindTheControls()
    {
        start(false, false);
        QCOMPARE(w->content->childAt(background), w->view);
        QCOMPARE(w->content->childAt(w->button->geometry().center()), w->button);
        w->content->resize(500, 350);
        QCOMPARE(w->view->geometry(), QRect(0, 0, 500, 350));
    }

    void captureViewTakesTheFocusWhenItEntersAWindow()
    {
        QWidget window;
        auto* field = new QLineEdit(&window);
        QVERIFY(activate(window));
        field->setFocus();
        auto* view = new EventMonitorView({}, {}, &window);
        view->show();
        QCOMPARE(QApplication::focusWidget(), view);

        auto* later = new EventMonitorView({}, {});
        later->setParent(&window);
        later->show();
        QCOMPARE(QApplication::focusWidget(), later);
    }

    void captureViewRegainsAnUnclaimedFocusOnActivation()
    {
        start(false, false);
        QWidget other;
        w->view->clearFocus();
        QVERIFY(activate(other));
        QVERIFY(activate(w->window));
        QCOMPARE(QApplication::focusWidget(), w->view);

        // A control that took the focus keeps it.
        w->nameField->setFocus();
        QVERIFY(activate(other));
        QVERIFY(activate(w->window));
        QCOMPARE(QApplication::focusWidget(), w->nameField);
    }
};

QTEST_MAIN(InputDispatchTest)
#include "tst_input_dispatch.moc"
