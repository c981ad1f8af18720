// The two sheets over a real window offscreen: what the user types and
// clicks, what the state and the defaults store hold afterwards, and the log.
#include "LibraryFixture.h"
#include "WidgetTesting.h"
#include "input/EventMonitor.h"
#include "library/SeekInterval.h"
#include "ui/NewPlaylistSheet.h"
#include "ui/PlainButton.h"
#include "ui/SheetPresenter.h"
#include "ui/UserGuideSheet.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

QString inputLine(const QString& text)
{
    return QStringLiteral("TextField input: ") + text + QStringLiteral(", color: black");
}

// The main window with both sheets attached to the state, as the window
// attaches them; the log starts empty. A stored seek interval is written
// before the state reads it.
struct SheetWindow : LibraryFixture {
    explicit SheetWindow(std::optional<double> storedSeekIntervalSeconds = std::nullopt)
    {
        if (storedSeekIntervalSeconds) {
            defaults.store().setDouble(ContentState::seekIntervalKey, *storedSeekIntervalSeconds);
            state = std::make_unique<ContentState>(defaults.store());
            library = std::make_unique<PlaylistLibrary>(*state);
        }
        library->loadPlaylists();
        window.resize(500, 400);
        newPlaylist = new NewPlaylistSheet(*state, *library, &window);
        new SheetPresenter(*newPlaylist, *state, ContentState::Field::ShowNewPlaylistPrompt);
        guide = new UserGuideSheet(*state, &window);
        new SheetPresenter(*guide, *state, ContentState::Field::ShowUserGuide);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        log.clear();
    }

    // As between two clicks of the user: the window has the activation back
    // from the last sheet before the next one comes up. (The offscreen
    // platform has no window manager to hand it back by itself.)
    void settle()
    {
        window.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &window);
    }

    void openNewPlaylist()
    {
        settle();
        state->setShowNewPlaylistPrompt(true);
        QVERIFY(QTest::qWaitForWindowExposed(newPlaylist));
        QTRY_COMPARE(QApplication::focusWidget(), field());
    }
    void openGuide()
    {
        settle();
        state->setShowUserGuide(true);
        QVERIFY(QTest::qWaitForWindowExposed(guide));
    }

    QLineEdit* field() { return newPlaylist->nameField(); }
    void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Opens the seek-interval menu the way the user does and picks an item.
    void choose(const QString& item)
    {
        click(guide->seekIntervalButton());
        QMenu* menu = guide->seekIntervalMenu();
        QTRY_VERIFY(menu->isVisible());
        QAction* action = nullptr;
        for (QAction* candidate : menu->actions()) {
            if (candidate->text() == item)
                action = candidate;
        }
        QVERIFY(action);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        QTRY_VERIFY(!menu->isVisible());
    }
    QStringList checkedItems()
    {
        QStringList items;
        for (QAction* action : guide->seekIntervalMenu()->actions()) {
            if (!action->icon().isNull())
                items << action->text();
        }
        return items;
    }

    QWidget window;
    NewPlaylistSheet* newPlaylist = nullptr;
    UserGuideSheet* guide = nullptr;
};

}  // namespace

class SheetsTest : public QObject {
    Q_OBJECT

private slots:
    void theNewPlaylistSheetOpensOverTheWindowWithAnEmptyFocusedField()
    {
        SheetWindow w;
        QVERIFY(!w.newPlaylist->isVisible());
        w.openNewPlaylist();
        QCOMPARE(w.newPlaylist->parentWidget(), &w.window);
        QCOMPARE(w.newPlaylist->windowModality(), Qt::WindowModal);
        QCOMPARE(w.field()->text(), QString());
        QCOMPARE(w.field()->placeholderText(), QStringLiteral("Playlist Name"));
        QCOMPARE(w.field()->width(), NewPlaylistSheet::fieldWidth);
        QVERIFY(!w.newPlaylist->createButton()->isEnabled());
        QVERIFY(w.newPlaylist->cancelButton()->isEnabled());
        QVERIFY(w.log.lines().isEmpty());
    }

    void typingWritesALinePerCharacterAndCreateTakesTheTrimmedName()
    {
        SheetWindow w;
        w.openNewPlaylist();
        QTest::keyClicks(w.field(), QStringLiteral(" "));
        QVERIFY(!w.newPlaylist->createButton()->isEnabled());
        QTest::keyClicks(w.field(), QStringLiteral("ab"));
        QVERIFY(w.newPlaylist->createButton()->isEnabled());
        QCOMPARE(w.log.lines(),
                 (QStringList{inputLine(QStringLiteral(" ")), inputLine(QStringLiteral(" a")), inputLine(QStringLiteral(" ab"))}));
        QCOMPARE(w.state->newPlaylistName(), QStringLiteral(" ab"));

        w.log.clear();
        w.click(w.newPlaylist->createButton());
        // The name empties while the sheet is still up, so that shows as input too.
        QCOMPARE(w.log.lines(), (QStringList{QStringLiteral("Playlists saved: [\"ab\"]"), inputLine(QString()),
                                             QStringLiteral("Added playlist: ab")}));
        QVERIFY(w.state->playlists().contains(QStringLiteral("ab")));
        QVERIFY(!w.state->showNewPlaylistPrompt());
        QVERIFY(!w.newPlaylist->isVisible());

        // Opened again: empty, Create disabled, and the first value is no input.
        w.log.clear();
        w.openNewPlaylist();
        QCOMPARE(w.field()->text(), QString());
        QVERIFY(!w.newPlaylist->createButton()->isEnabled());
        QVERIFY(w.log.lines().isEmpty());
    }

    void returnNeitherCreatesNorCloses()
    {
        SheetWindow w;
        w.openNewPlaylist();
        QTest::keyClicks(w.field(), QStringLiteral("Verbs"));
        w.log.clear();
        QTest::keyClick(w.field(), Qt::Key_Return);
        QTest::keyClick(w.field(), Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(w.newPlaylist, Qt::Key_Return);
        QVERIFY(w.log.lines().isEmpty());
        QVERIFY(w.newPlaylist->isVisible());
        QVERIFY(w.state->showNewPlaylistPrompt());
        QVERIFY(w.state->playlists().isEmpty());
        QCOMPARE(w.field()->text(), QStringLiteral("Verbs"));
    }

    void aDuplicateNameKeepsTheSheetOpenWithItsText()
    {
        SheetWindow w;
        w.state->setNewPlaylistName(QStringLiteral("Verbs"));
        w.library->addPlaylist();
        w.openNewPlaylist();
        QTest::keyClicks(w.field(), QStringLiteral(" Verbs\t"));
        QCOMPARE(w.field()->text(), QStringLiteral(" Verbs"));  // a line edit takes no tab
        w.log.clear();
        w.click(w.newPlaylist->createButton());
        QCOMPARE(w.log.lines(), QStringList{QStringLiteral("Invalid or duplicate playlist name: Verbs")});
        QVERIFY(w.newPlaylist->isVisible());
        QCOMPARE(w.field()->text(), QStringLiteral(" Verbs"));
        QCOMPARE(w.state->playlists().size(), 1);
    }

    void cancelClosesThenEmptiesTheNameSilently()
    {
        SheetWindow w;
        w.openNewPlaylist();
        QTest::keyClicks(w.field(), QStringLiteral("ab"));
        w.log.clear();
        std::vector<ContentState::Field> order;
        connect(w.state.get(), &ContentState::changed, w.state.get(),
                [&order](ContentState::Field field) { order.push_back(field); });
        w.click(w.newPlaylist->cancelButton());
        QVERIFY(w.log.lines().isEmpty());
        QCOMPARE(order, (std::vector{ContentState::Field::ShowNewPlaylistPrompt, ContentState::Field::NewPlaylistName}));
        QVERIFY(!w.newPlaylist->isVisible());
        QCOMPARE(w.state->newPlaylistName(), QString());
        QCOMPARE(w.field()->text(), QString());
        QVERIFY(w.state->playlists().isEmpty());
    }

    void theFieldFollowsTheNameChangedElsewhere()
    {
        SheetWindow w;
        w.state->setNewPlaylistName(QStringLiteral("Drill"));  // closed: shown later, not logged
        QCOMPARE(w.field()->text(), QStringLiteral("Drill"));
        w.openNewPlaylist();
        QVERIFY(w.newPlaylist->createButton()->isEnabled());
        QVERIFY(w.log.lines().isEmpty());

        w.state->setNewPlaylistName(QStringLiteral("Drills"));
        w.state->setNewPlaylistName(QStringLiteral("Drills"));  // the same value is no change
        QCOMPARE(w.field()->text(), QStringLiteral("Drills"));
        QCOMPARE(w.log.lines(), QStringList{inputLine(QStringLiteral("Drills"))});
        w.state->setNewPlaylistName(QStringLiteral("  "));
        QVERIFY(!w.newPlaylist->createButton()->isEnabled());
    }

    void escapeAndTheCloseButtonDismissButKeepTheName()
    {
        SheetWindow w;
        w.openNewPlaylist();
        QTest::keyClicks(w.field(), QStringLiteral("ab"));
        w.log.clear();
        QTest::keyClick(w.field(), Qt::Key_Escape);
        QTRY_VERIFY(!w.newPlaylist->isVisible());
        QVERIFY(!w.state->showNewPlaylistPrompt());
        QCOMPARE(w.state->newPlaylistName(), QStringLiteral("ab"));
        QVERIFY(w.log.lines().isEmpty());

        w.openNewPlaylist();
        QCOMPARE(w.field()->text(), QStringLiteral("ab"));
        w.newPlaylist->close();
        QVERIFY(!w.state->showNewPlaylistPrompt());

        w.openGuide();
        QTest::keyClick(w.guide, Qt::Key_Escape);
        QVERIFY(!w.state->showUserGuide());
        QVERIFY(!w.guide->isVisible());
    }

    void thePresenterShowsOnceAndWritesTheFlagOnlyOnDismissal()
    {
        SheetWindow w;
        int guideWrites = 0;
        connect(w.state.get(), &ContentState::changed, w.state.get(), [&guideWrites](ContentState::Field field) {
            guideWrites += field == ContentState::Field::ShowUserGuide;
        });
        QSignalSpy finished(w.guide, &QDialog::finished);
        w.openGuide();
        w.state->setShowUserGuide(true);  // already up: nothing happens
        QCOMPARE(guideWrites, 2);
        w.state->setShowUserGuide(false);
        QVERIFY(!w.guide->isVisible());
        QCOMPARE(guideWrites, 3);  // hiding it does not write the flag again

        w.openGuide();
        w.guide->reject();
        QVERIFY(!w.state->showUserGuide());
        QCOMPARE(guideWrites, 5);
        QCOMPARE(finished.count(), 1);
    }

    void commandKeysStillWorkWhileASheetIsUpButTheFieldKeepsItsTyping()
    {
        SheetWindow w;
        installEventMonitor(*w.state);
        w.player().setPlaylist({fixtureUrl(QStringLiteral("sine-5s.mp3"))});

        w.openGuide();
        QTest::keyClick(w.guide, Qt::Key_Space, Qt::NoModifier);
        QVERIFY(w.player().isPlaying());
        QTest::keyClick(w.guide, Qt::Key_B);
        QVERIFY(w.state->isSettingLoop());
        w.click(w.guide->closeButton());

        w.openNewPlaylist();
        QTest::keyClicks(w.field(), QStringLiteral("b "));
        QCOMPARE(w.field()->text(), QStringLiteral("b "));
        QVERIFY(w.player().isPlaying());
        QVERIFY(w.state->isSettingLoop());
    }

    void theGuideStartsAtTwoSecondsWithOnlyTwoChecked()
    {
        SheetWindow w;
        w.openGuide();
        QCOMPARE(w.guide->seekIntervalRow()->text(), QStringLiteral("Seek Interval: 2s"));
        QCOMPARE(w.guide->seekIntervalButton()->text(), QStringLiteral("2s"));
        QCOMPARE(w.guide->seekIntervalButton()->width(), UserGuideSheet::menuWidth);
        QStringList items;
        for (QAction* action : w.guide->seekIntervalMenu()->actions())
            items << action->text();
        QCOMPARE(items, (QStringList{QStringLiteral("1s"), QStringLiteral("2s"), QStringLiteral("5s"), QStringLiteral("10s")}));
        QCOMPARE(w.checkedItems(), QStringList{QStringLiteral("2s")});
        QCOMPARE(w.guide->card()->size(), UserGuideSheet::cardSize);
        QCOMPARE(w.newPlaylist->card()->size(), NewPlaylistSheet::cardSize);
    }

    void choosingAnIntervalStoresItLogsItAndShowsItAtOnce()
    {
        SheetWindow w;
        w.openGuide();
        w.choose(QStringLiteral("10s"));
        QCOMPARE(w.log.lines(), QStringList{QStringLiteral("Seek interval set to: 10s")});
        QCOMPARE(w.state->seekInterval(), 10.0);
        QCOMPARE(w.defaults.store().doubleValue(ContentState::seekIntervalKey), 10.0);
        QCOMPARE(w.guide->seekIntervalRow()->text(), QStringLiteral("Seek Interval: 10s"));
        QCOMPARE(w.guide->seekIntervalButton()->text(), QStringLiteral("10s"));
        QCOMPARE(w.checkedItems(), QStringList{QStringLiteral("10s")});
        QVERIFY(w.guide->isVisible());

        // The checked item again: stored and said again.
        w.defaults.store().setDouble(ContentState::seekIntervalKey, 0);
        w.choose(QStringLiteral("10s"));
        QCOMPARE(w.log.lines().size(), 2);
        QCOMPARE(w.defaults.store().doubleValue(ContentState::seekIntervalKey), 10.0);

        w.choose(QStringLiteral("1s"));
        QCOMPARE(w.log.lines().last(), QStringLiteral("Seek interval set to: 1s"));
        QCOMPARE(w.checkedItems(), QStringList{QStringLiteral("1s")});
        // What the next start reads.
        QCOMPARE(ContentState(w.defaults.store()).seekInterval(), 1.0);
    }

    void storedValuesOutsideTheChoicesShowTruncatedWithNothingChecked_data()
    {
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("label");
        QTest::newRow("3") << 3.0 << QStringLiteral("3s");
        QTest::newRow("2.5") << 2.5 << QStringLiteral("2s");
        QTest::newRow("-1") << -1.0 << QStringLiteral("-1s");
        QTest::newRow("-2.9") << -2.9 << QStringLiteral("-2s");
        QTest::newRow("0.5") << 0.5 << QStringLiteral("0s");
        QTest::newRow("1e18") << 1e18 << QStringLiteral("1000000000000000000s");
        QTest::newRow("1e300") << 1e300 << QStringLiteral("∞s");
        QTest::newRow("-1e300") << -1e300 << QStringLiteral("-∞s");
    }

    void storedValuesOutsideTheChoicesShowTruncatedWithNothingChecked()
    {
        QFETCH(double, stored);
        QFETCH(QString, label);
        SheetWindow w(stored);
        QCOMPARE(w.state->seekInterval(), stored);
        w.openGuide();
        QCOMPARE(w.guide->seekIntervalRow()->text(), QStringLiteral("Seek Interval: ") + label);
        QCOMPARE(w.guide->seekIntervalButton()->text(), label);
        QCOMPARE(w.checkedItems(), QStringList());
        QVERIFY(!renderOnWhite(*w.guide).isNull());

        w.choose(QStringLiteral("5s"));
        QCOMPARE(w.checkedItems(), QStringList{QStringLiteral("5s")});
        QCOMPARE(w.guide->seekIntervalRow()->text(), QStringLiteral("Seek Interval: 5s"));
    }

    void labelsOfValuesNoIntegerHolds()
    {
        QCOMPARE(seekIntervalLabel(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("?s"));
        QCOMPARE(seekIntervalLabel(std::numeric_limits<double>::infinity()), QStringLiteral("∞s"));
        QCOMPARE(seekIntervalLabel(-std::numeric_limits<double>::infinity()), QStringLiteral("-∞s"));
        // The edges of the 64-bit range: -2^63 fits, 2^63 does not.
        QCOMPARE(seekIntervalLabel(-9223372036854775808.0), QStringLiteral("-9223372036854775808s"));
        QCOMPARE(seekIntervalLabel(9223372036854775808.0), QStringLiteral("∞s"));
        QCOMPARE(seekIntervalLabel(9223372036854774784.0), QStringLiteral("9223372036854774784s"));

        // Set while the guide is up (no store holds such a value): shown, not fatal.
        SheetWindow w;
        w.openGuide();
        w.state->setSeekInterval(std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(w.guide->seekIntervalButton()->text(), QStringLiteral("?s"));
        QCOMPARE(w.checkedItems(), QStringList());
        QVERIFY(!renderOnWhite(*w.guide).isNull());
    }

    void closeTurnsTheGuideOffAndSaysNothing()
    {
        SheetWindow w(5);
        w.openGuide();
        w.click(w.guide->closeButton());
        QVERIFY(!w.state->showUserGuide());
        QVERIFY(!w.guide->isVisible());
        QVERIFY(w.log.lines().isEmpty());
        QCOMPARE(w.state->seekInterval(), 5.0);
    }
};

QTEST_MAIN(SheetsTest)
#include "tst_sheets.moc"
