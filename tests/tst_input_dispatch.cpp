// Key and wheel input: the key table and what counts as a text entry, then
// real Qt event dispatch in a window with the capture view as background, with
// and without the window-wide monitor.

#include "base/Log.h"
#include "input/CommandHandlers.h"
#include "input/EventMonitor.h"
#include "input/EventMonitorView.h"
#include "input/KeyCommands.h"
#include "input/TextEntryFocus.h"
#include "library/SavedLoopsLibrary.h"
#include "state/ContentState.h"
#include "TestSupport.h"
#include "WidgetTesting.h"

#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QTextEdit>

#include <limits>

namespace {

const QString hangulLoopKey = QString(QChar(0x3160));
constexpr QPoint background{100, 150};
constexpr QPoint overList{280, 100};

// Events enter as the platform delivers them: to the window, which hands them
// to the focus widget or the widget under the pointer, and on to their parents.
void press(Qt::Key key, const QString& text = QString(), Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* popup = QApplication::activePopupWidget();
    QWidget* window = popup ? popup : QApplication::activeWindow();
    QVERIFY(window);
    QTest::sendKeyEvent(QTest::Click, window->windowHandle(), key, text, modifiers);
}

// A key held down: its press, then the platform's repeats of it, marked as
// such, or as X11 sends them when Qt has not marked them.
void hold(Qt::Key key, const QString& text, int repeats, bool marked = true)
{
    QWindow* window = QApplication::activeWindow()->windowHandle();
    if (!marked) {
        holdKeyAsX11Does(window, key, text, repeats);
        return;
    }
    for (int i = 0; i <= repeats; ++i) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text, i > 0);
        QSpontaneKeyEvent::setSpontaneous(&event);
        qApp->notify(window, &event);
    }
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QSpontaneKeyEvent::setSpontaneous(&release);
    qApp->notify(window, &release);
}

void wheel(QWidget& window, QPoint position, QPoint angleDelta, QPoint pixelDelta = {})
{
    QWheelEvent event(position, window.mapToGlobal(position), pixelDelta, angleDelta, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(window.windowHandle(), &event);
}

// Widgets report a window active a little before Qt hands it the focus.
bool activate(QWidget& window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitFor([&window] { return QApplication::activeWindow() == &window; });
}

// The main window in small: the capture view behind a button, a name field
// and a long list; it counts the key presses and wheel events that reach the
// view, its parents and the list.
struct TestWindow : QObject {
    // Shown and active, the seek interval 1 s, the log empty.
    bool start(bool withMonitor, bool withTrack)
    {
        window.resize(400, 300);
        content->setGeometry(window.rect());
        button->setGeometry(10, 10, 80, 30);
        nameField->setGeometry(10, 260, 150, 30);
        list->setGeometry(200, 10, 180, 200);
        for (int row = 0; row < 100; ++row)
            list->addItem(QStringLiteral("Track %1").arg(row));
        CommandHandlers handlers(state);
        view = new EventMonitorView([handlers](QKeyEvent* event) mutable { handlers.handleKeyPress(event); },
                                    [handlers](double deltaY) mutable { handlers.handleWheel(deltaY); }, content);
        for (QObject* watched : std::initializer_list<QObject*>{view, content, &window, list->viewport()})
            watched->installEventFilter(this);
        if (withTrack) {
            engine().setPlaylist({fixtureUrl(QStringLiteral("sine-5s.mp3"))});
            engine().playTrack(0);
            engine().togglePlayPause();
        }
        state.setSeekInterval(1);
        if (!activate(window) || QApplication::focusWidget() != view)
            return false;
        if (withMonitor && installEventMonitor(state) != installEventMonitor(state))
            return false;
        log.clear();
        return true;
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::Wheel)
            seen.append({watched, event->type()});
        return false;
    }
    int count(QObject* receiver, QEvent::Type type) const { return int(seen.count({receiver, type})); }

    AudioPlayer& engine() { return state.audioPlayer(); }
    double position() { return engine().currentTime(); }
    void placeAt(double seconds)  // silently, as the window's tick would
    {
        engine().player()->setCurrentTime(seconds);
        engine().setCurrentTime(seconds);
    }

    TemporaryDefaults defaults;
    ContentState state{defaults.store()};
    Log::Capture log;
    QWidget window;
    QWidget* content = new QWidget(&window);
    QPushButton* button = new QPushButton(QStringLiteral("Play"), content);
    QLineEdit* nameField = new QLineEdit(content);
    QListWidget* list = new QListWidget(content);
    EventMonitorView* view = nullptr;
    QList<QPair<QObject*, QEvent::Type>> seen;
};

}  // namespace

class InputDispatchTest : public QObject {
    Q_OBJECT

private slots:
    // Arrows first by key, then whole character strings, whatever the key.
    void keyTableMatchesArrowsThenWholeCharacters()
    {
        QCOMPARE(keyCommandFor(Qt::Key_Left, QStringLiteral(" ")), KeyCommand::SeekBackward);
        QCOMPARE(keyCommandFor(Qt::Key_A, QStringLiteral(" ")), KeyCommand::TogglePlayPause);
        QCOMPARE(keyCommandFor(Qt::Key_Space, QString()), KeyCommand::None);
        QCOMPARE(keyCommandFor(Qt::Key_B, QStringLiteral("\x02")), KeyCommand::None);  // Control-B
        QCOMPARE(keyCommandFor(Qt::Key_B, QStringLiteral("bb")), KeyCommand::None);
        QCOMPARE(keyCommandFor(Qt::Key_B, QStringLiteral("B")), KeyCommand::None);  // Shift-B: the character decides
        QCOMPARE(keyActionFor(Qt::Key_B, QStringLiteral("B"), Qt::NoModifier).command, KeyCommand::None);
        // The study letters work with Caps Lock on as well.
        QCOMPARE(keyActionFor(Qt::Key_N, QStringLiteral("N"), Qt::NoModifier).command, KeyCommand::NextPhrase);
        QCOMPARE(keyActionFor(Qt::Key_S, QStringLiteral("S"), Qt::NoModifier).command, KeyCommand::SaveLoop);
        // Where the apostrophe is a dead key (US international), it comes as one.
        QCOMPARE(keyActionFor(Qt::Key_Dead_Acute, QString(), Qt::NoModifier).command, KeyCommand::NudgeLoopEndLater);
        // A digit recalls its saved loop with Ctrl held too, where X types a
        // control character for it (Ctrl+3 is Escape) or the digit itself.
        const KeyAction ctrlThree = keyActionFor(Qt::Key_3, QStringLiteral("\x1b"), Qt::ControlModifier);
        QCOMPARE(ctrlThree.command, KeyCommand::RecallLoop);
        QCOMPARE(ctrlThree.number, 3);
        QCOMPARE(keyActionFor(Qt::Key_2, QString(QChar(0)), Qt::ControlModifier).number, 2);
        QCOMPARE(keyActionFor(Qt::Key_9, QStringLiteral("9"), Qt::ControlModifier).number, 9);
        QCOMPARE(keyActionFor(Qt::Key_0, QString(), Qt::ControlModifier).command, KeyCommand::NormalSpeed);
        QCOMPARE(keyActionFor(Qt::Key_3, QStringLiteral("\x1b"), Qt::NoModifier).command, KeyCommand::None);
        // The keys that move about the window's controls are no commands.
        const std::initializer_list<std::pair<Qt::Key, QString>> navigation{
            {Qt::Key_Tab, QStringLiteral("\t")}, {Qt::Key_Backtab, QString()}, {Qt::Key_Up, QString()},
            {Qt::Key_Down, QString()}, {Qt::Key_Home, QString()}, {Qt::Key_End, QString()},
            {Qt::Key_PageUp, QString()}, {Qt::Key_PageDown, QString()},
            {Qt::Key_Return, QStringLiteral("\r")}, {Qt::Key_Enter, QStringLiteral("\r")}};
        for (const auto& [key, text] : navigation)
            QCOMPARE(keyActionFor(key, text, Qt::NoModifier).command, KeyCommand::None);
    }

    // Read-only fields are no text entries: the command keys keep working over them.
    void textEntriesAreTheFieldsOneTypesInto()
    {
        QWidget window;
        auto* imeWidget = new QWidget(&window);
        imeWidget->setAttribute(Qt::WA_InputMethodEnabled);
        QVERIFY(isTextEntry(new QPlainTextEdit(&window)) && isTextEntry(new QSpinBox(&window)) && isTextEntry(imeWidget));
        auto* readOnlyField = new QLineEdit(&window);
        readOnlyField->setReadOnly(true);
        auto* guideText = new QTextEdit(&window);
        guideText->setReadOnly(true);
        QVERIFY(!isTextEntry(readOnlyField) && !isTextEntry(guideText) && !isTextEntry(new QPushButton(&window)));
    }

    void monitorSeeksOneIntervalPerKeyFromTheShownPosition()
    {
        TestWindow w;
        QVERIFY(w.start(true, true));
        w.engine().setCurrentTime(1);  // the player itself still sits at 0
        press(Qt::Key_Right);
        QCOMPARE(w.engine().player()->currentTime(), 2.0);
        // The interval is read at every event; a held key repeats.
        w.state.setSeekInterval(0.5);
        qt_handleKeyEvent(w.window.windowHandle(), QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier, QString(), true);
        QCOMPARE(w.engine().player()->currentTime(), 1.5);
        QCOMPARE(w.log.lines().size(), 2);  // the seeks' lines; the keys never reached the capture view
        QCOMPARE(w.count(w.view, QEvent::KeyPress), 0);
    }

    void withoutTrackArrowsAndWheelAreLetThroughButSpaceIsSwallowed()
    {
        TestWindow w;
        QVERIFY(w.start(true, false));
        press(Qt::Key_Right);
        for (QObject* receiver : std::initializer_list<QObject*>{w.view, w.content, &w.window})
            QCOMPARE(w.count(receiver, QEvent::KeyPress), 1);
        wheel(w.window, overList, QPoint(0, -120));
        QVERIFY(w.list->verticalScrollBar()->value() > 0);

        press(Qt::Key_Space, QStringLiteral(" "));  // nothing to play, and still no key line
        w.engine().setPlaylist({fixtureUrl(QStringLiteral("sine-5s.mp3"))});
        press(Qt::Key_Space, QStringLiteral(" "));
        QVERIFY(w.engine().isPlaying());
        press(Qt::Key_Space, QStringLiteral(" "));
        QVERIFY(!w.engine().isPlaying());
        QCOMPARE(w.count(w.view, QEvent::KeyPress), 1);  // the arrow only
    }

    // A held key repeats what it steps (a nudge, the speed) and, as always,
    // Space and B; one that acts once (recall a saved loop) acts once.
    void aHeldKeyRepeatsStepsButNotOneOffs_data()
    {
        QTest::addColumn<bool>("marked");
        QTest::newRow("repeats marked") << true;
        QTest::newRow("as X11 sends them unmarked") << false;
    }
    void aHeldKeyRepeatsStepsButNotOneOffs()
    {
        QFETCH(bool, marked);
        TestWindow w;
        QVERIFY(w.start(true, true));
        w.engine().setLoop(1.0, 2.0);
        SavedLoops loops;
        loops.set(SavedLoopsLibrary::currentTrackKey(w.state), {{1.0, 2.0}});
        w.state.setSavedLoops(loops);
        hold(Qt::Key_1, QStringLiteral("1"), 0, marked);
        QVERIFY(w.engine().isPlaying());
        w.placeAt(1.5);
        hold(Qt::Key_1, QStringLiteral("1"), 3, marked);
        QCOMPARE(w.position(), 1.0);  // recalled once more, not four times...
        QCOMPARE(w.log.lines().filter(QStringLiteral("Recalled saved loop 1")).size(), 2);
        hold(Qt::Key_Period, QStringLiteral("."), 3, marked);
        QCOMPARE(w.engine().loopStart(), std::optional<double>(1.2));  // ...while a nudge steps four times
        // Held on past the track's start, it stops there without a line per
        // repeat; pressed again there, it says so once.
        hold(Qt::Key_Comma, QStringLiteral(","), 30, marked);
        QCOMPARE(w.engine().loopStart(), std::optional<double>(0.0));
        QCOMPARE(w.log.lines().filter(QStringLiteral("not moved")).size(), 0);
        hold(Qt::Key_Comma, QStringLiteral(","), 0, marked);
        QCOMPARE(w.log.lines().filter(QStringLiteral("not moved")).size(), 1);
        // So do the speed and phrase steps: held past the fastest speed, or
        // where there is no phrase to go to, the press alone says so.
        hold(Qt::Key_Equal, QStringLiteral("="), 25, marked);
        QCOMPARE(w.engine().speed(), 2.0);
        QCOMPARE(w.log.lines().filter(QStringLiteral("Speed not changed")).size(), 0);
        hold(Qt::Key_Equal, QStringLiteral("="), 0, marked);
        QCOMPARE(w.log.lines().filter(QStringLiteral("Speed not changed")).size(), 1);
        // Back to the normal speed has nothing to step: once per press.
        hold(Qt::Key_0, QStringLiteral("0"), 5, marked);
        QCOMPARE(w.engine().speed(), 1.0);
        QCOMPARE(w.log.lines().count(QStringLiteral("Speed set to: 1.0×")), 1);
        w.engine().setLoop(std::nullopt, std::nullopt);
        w.placeAt(4.99);
        const qsizetype phraseLinesBefore = w.log.lines().filter(QStringLiteral("hrase")).size();
        for (const auto& [key, text] : {std::pair{Qt::Key_N, QStringLiteral("n")}, std::pair{Qt::Key_P, QStringLiteral("p")}})
            hold(key, text, 5, marked);
        QCOMPARE(w.log.lines().filter(QStringLiteral("hrase")).size() - phraseLinesBefore, 2);
        const bool playing = w.engine().isPlaying();
        hold(Qt::Key_Space, QStringLiteral(" "), 2, marked);
        QCOMPARE(w.engine().isPlaying(), !playing);  // Space: three presses
    }

    void wheelSeeksWhereverThePointerIs()
    {
        TestWindow w;
        QVERIFY(w.start(true, true));
        w.placeAt(3);
        wheel(w.window, overList, QPoint(0, -120));
        QCOMPARE(w.position(), 2.0);
        wheel(w.window, overList, QPoint(), QPoint(0, 1));  // a touchpad's pixels: still one interval
        QCOMPARE(w.position(), 3.0);
        QCOMPARE(w.list->verticalScrollBar()->value(), 0);
        QCOMPARE(w.count(w.list->viewport(), QEvent::Wheel), 0);

        wheel(w.window, background, QPoint(120, 0));  // horizontal: no command, passed on
        QCOMPARE(w.count(w.view, QEvent::Wheel), 1);
        QCOMPARE(w.log.lines().size(), 2);
    }

    // A dialog in a window of its own (the Add Files dialog) keeps its wheel
    // and keys: its list scrolls and its buttons press; the track stays put.
    void aDialogWindowKeepsItsWheelAndKeys()
    {
        TestWindow w;
        QVERIFY(w.start(true, true));
        w.placeAt(3);
        QDialog dialog(&w.window);
        dialog.resize(300, 200);
        auto* files = new QListWidget(&dialog);
        files->setGeometry(0, 0, 300, 150);
        for (int row = 0; row < 100; ++row)
            files->addItem(QString::number(row));
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), &dialog);
        cancel->setGeometry(0, 160, 80, 30);
        QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
        auto* path = new QLineEdit(&dialog);
        path->setGeometry(100, 160, 200, 30);
        QStringList names;
        for (int row = 0; row < 100; ++row)
            names << QStringLiteral("lesson %1").arg(row);
        auto* completer = new QCompleter(names, path);
        path->setCompleter(completer);
        QVERIFY(activate(dialog));
        wheel(dialog, QPoint(150, 75), QPoint(0, -120));
        QCOMPARE(w.position(), 3.0);
        QVERIFY(files->verticalScrollBar()->value() > 0);
        cancel->setFocus();
        press(Qt::Key_Space, QStringLiteral(" "));
        QVERIFY(!w.engine().isPlaying());  // paused it was, and paused it stays
        QVERIFY(!dialog.isVisible());
        // Its popups too: the completer's list scrolls.
        QVERIFY(activate(dialog));
        path->setFocus();
        completer->complete();
        QTRY_VERIFY(completer->popup()->isVisible());
        wheel(*completer->popup(), QPoint(20, 20), QPoint(0, -120));
        QCOMPARE(w.position(), 3.0);
        QVERIFY(completer->popup()->verticalScrollBar()->value() > 0);
        QCOMPARE(w.log.lines(), QStringList());
    }

    void textFieldGetsEveryKeyButNotTheWheel()
    {
        TestWindow w;
        QVERIFY(w.start(true, true));
        w.nameField->setFocus();
        for (auto [key, text] : {std::pair{Qt::Key_A, QStringLiteral("a")}, {Qt::Key_Space, QStringLiteral(" ")},
                                 {Qt::Key_B, QStringLiteral("b")}, {Qt::Key_unknown, hangulLoopKey}})
            press(key, text);
        press(Qt::Key_Left);
        QCOMPARE(w.nameField->text(), QStringLiteral("a b") + hangulLoopKey);
        QCOMPARE(w.nameField->cursorPosition(), 3);
        QVERIFY(!w.engine().isPlaying() && !w.state.isSettingLoop());

        wheel(w.window, overList, QPoint(0, 120));
        QCOMPARE(w.position(), 1.0);
        QCOMPARE(w.log.lines().size(), 1);  // the wheel's seek alone
    }

    void commandsKeepWorkingUnderAMenuAndInASheet()
    {
        TestWindow w;
        QVERIFY(w.start(true, true));
        QMenu menu(&w.window);
        menu.addAction(QStringLiteral("1 s"));
        menu.popup(w.window.mapToGlobal(background));
        QTRY_COMPARE(QApplication::activePopupWidget(), &menu);
        press(Qt::Key_Right);
        QCOMPARE(w.position(), 1.0);
        press(Qt::Key_Space, QStringLiteral(" "));
        QVERIFY(w.engine().isPlaying());
        QVERIFY(menu.isVisible() && !menu.activeAction());
        menu.close();

        // A sheet lies inside the window, as the window's do (a dialog that
        // is no window of its own): its focused button leaves Space alone.
        QDialog sheet(&w.window);
        sheet.setWindowFlags(Qt::Widget);
        sheet.setGeometry(w.window.rect());
        auto* field = new QLineEdit(&sheet);
        auto* ok = new QPushButton(QStringLiteral("OK"), &sheet);
        ok->move(0, 40);
        sheet.show();
        field->setFocus();
        press(Qt::Key_B, QStringLiteral("b"));
        ok->setFocus();
        press(Qt::Key_Space, QStringLiteral(" "));
        press(Qt::Key_B, QStringLiteral("b"));
        QVERIFY(!w.engine().isPlaying() && w.state.isSettingLoop() && !w.engine().loopEnd());
        QCOMPARE(field->text(), QStringLiteral("b"));
        // The drilling keys are no command there: the sheet has them.
        const std::optional<double> loopStart = w.engine().loopStart();
        press(Qt::Key_BracketRight, QStringLiteral("]"));
        press(Qt::Key_Minus, QStringLiteral("-"));
        press(Qt::Key_Comma, QStringLiteral(","));
        QVERIFY(!w.engine().loopEnd() && w.engine().loopStart() == loopStart && w.engine().speed() == 1.0);
        // Nor under the sheet's own menu, where the arrows still seek.
        QMenu sheetMenu(&sheet);
        sheetMenu.addAction(QStringLiteral("2 s"));
        sheetMenu.popup(w.window.mapToGlobal(background));
        QTRY_COMPARE(QApplication::activePopupWidget(), &sheetMenu);
        const double before = w.position();
        press(Qt::Key_Minus, QStringLiteral("-"));
        press(Qt::Key_Right);
        QCOMPARE(w.engine().speed(), 1.0);
        QCOMPARE(w.position(), before + 1.0);
    }

    void shortcutsGetOnlyTheKeysTheMonitorLeaves()
    {
        TestWindow w;
        QVERIFY(w.start(true, false));  // no track: nothing to seek, the arrows are left to others
        QAction loopShortcut(&w.window), arrowShortcut(&w.window);
        loopShortcut.setShortcut(Qt::Key_B);
        arrowShortcut.setShortcut(Qt::Key_Right);
        w.window.addActions({&loopShortcut, &arrowShortcut});
        QSignalSpy loopTriggered(&loopShortcut, &QAction::triggered), arrowTriggered(&arrowShortcut, &QAction::triggered);
        press(Qt::Key_Right);
        press(Qt::Key_B, QStringLiteral("b"));
        QCOMPARE(arrowTriggered.count(), 1);
        QVERIFY(loopTriggered.isEmpty() && w.state.isSettingLoop());
    }

    void captureViewLogsKeysPassesThemOnAndTakesTheBackgroundWheel()
    {
        TestWindow w;
        QVERIFY(w.start(false, true));
        press(Qt::Key_Right);
        press(Qt::Key_B, QStringLiteral("b"));
        w.engine().setCurrentTime(2.5);
        press(Qt::Key_unknown, hangulLoopKey);
        press(Qt::Key_B, QStringLiteral("b"));
        press(Qt::Key_Space, QStringLiteral(" "));
        // Each key's line comes before its command's; on this path the loop steps are logged too.
        const QStringList lines = w.log.lines();
        QCOMPARE(lines.size(), 9);
        for (const auto& [at, text] : {std::pair{0, QString()}, {2, QStringLiteral("b")}, {4, hangulLoopKey},
                                       {6, QStringLiteral("b")}, {8, QStringLiteral(" ")}})
            QCOMPARE(lines[at], QStringLiteral("Key pressed: keyCode = 0, characters = ") + text);
        QVERIFY(w.engine().isPlaying() && !w.engine().loopStart());
        QCOMPARE(w.count(w.content, QEvent::KeyPress), 5);
        press(Qt::Key_Shift);  // a modifier alone is no key-down worth a line
        QCOMPARE(w.log.lines().size(), 9);

        QKeyEvent native(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 38, 97, 0, QStringLiteral("a"));
        QApplication::sendEvent(w.view, &native);
        QCOMPARE(w.log.lines().last(), QStringLiteral("Key pressed: keyCode = 38, characters = a"));

        // It lies behind the controls, fills its parent, and takes the wheel over the bare background only.
        QCOMPARE(w.content->childAt(w.button->geometry().center()), w.button);
        w.content->resize(500, 350);
        QCOMPARE(w.view->geometry(), w.content->rect());
        w.engine().togglePlayPause();
        w.placeAt(2);
        w.log.clear();
        wheel(w.window, background, QPoint(0, 120));
        wheel(w.window, background, QPoint(120, 0));
        QCOMPARE(w.count(w.content, QEvent::Wheel), 0);
        wheel(w.window, overList, QPoint(0, -120));
        QVERIFY(w.list->verticalScrollBar()->value() > 0);
        QCOMPARE(w.position(), 3.0);
    }

    // Tab leaves the capture view for the first control, logged like any key
    // that reaches the view; with no control to go to, it goes on to the
    // parents as before.
    void tabLeavesTheCaptureViewForTheControls()
    {
        TestWindow w;
        QVERIFY(w.start(true, true));
        press(Qt::Key_Tab, QStringLiteral("\t"));
        QCOMPARE(QApplication::focusWidget(), w.button);
        QCOMPARE(w.log.lines(), QStringList{QStringLiteral("Key pressed: keyCode = 0, characters = \\t")});
        QCOMPARE(w.count(w.content, QEvent::KeyPress), 0);

        for (QWidget* control : std::initializer_list<QWidget*>{w.button, w.nameField, w.list})
            control->setFocusPolicy(Qt::NoFocus);
        w.view->setFocus();
        press(Qt::Key_Tab, QStringLiteral("\t"));
        QCOMPARE(QApplication::focusWidget(), w.view);
        QCOMPARE(w.log.lines().size(), 2);
        QCOMPARE(w.count(w.content, QEvent::KeyPress), 1);
    }

    void captureViewTakesTheFocusBackUnlessAControlHoldsIt()
    {
        TestWindow w;
        QVERIFY(w.start(true, true));
        QWidget other;
        w.view->clearFocus();
        QVERIFY(activate(other));
        QVERIFY(activate(w.window));
        QCOMPARE(QApplication::focusWidget(), w.view);

        w.nameField->setFocus();
        QVERIFY(activate(other));
        QVERIFY(activate(w.window));
        QCOMPARE(QApplication::focusWidget(), w.nameField);
        QTest::mouseClick(w.view, Qt::LeftButton, {}, background);  // a click on the bare background
        QCOMPARE(QApplication::focusWidget(), w.view);
    }
};

QTEST_MAIN(InputDispatchTest)
#include "tst_input_dispatch.moc"
