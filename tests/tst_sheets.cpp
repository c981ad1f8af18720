// The two sheets over a real window offscreen: what the user types and
// clicks, what the state and the defaults store hold afterwards, and the log.

#include "input/KeyCommands.h"
#include "state/SeekInterval.h"
#include "ui/kit/PlainButton.h"
#include "ui/kit/Typography.h"
#include "ui/screens/NewPlaylistSheet.h"
#include "ui/screens/SheetPresenter.h"
#include "ui/screens/UserGuideSheet.h"
#include "LibraryFixture.h"
#include "WidgetTesting.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QPaintEvent>
#include <QInputMethodEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <limits>
#include <vector>

namespace {

QString inputLine(const QString& text)
{
    return QStringLiteral("TextField input: ") + text + QStringLiteral(", color: black");
}

// The main window with both sheets attached to the state, as the window
// attaches them; the log starts empty.
struct SheetWindow : LibraryFixture {
    SheetWindow()
    {
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

    // The offscreen platform has no window manager to hand the activation
    // back to the window when a sheet goes, as it does between two clicks.
    void open(ContentState::Field flag, QWidget* sheet)
    {
        window.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &window);
        SheetPresenter::flagBinding(*state, flag).set(true);
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
    }
    void openGuide() { open(ContentState::Field::ShowUserGuide, guide); }
    void openNewPlaylist()
    {
        open(ContentState::Field::ShowNewPlaylistPrompt, newPlaylist);
        QTRY_COMPARE(QApplication::focusWidget(), field());
    }

    QLineEdit* field() { return newPlaylist->nameField(); }
    PlainButton* create() { return newPlaylist->createButton(); }
    void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Opens the seek-interval menu the way the user does and picks an item.
    void choose(const QString& item)
    {
        click(guide->seekIntervalButton());
        QMenu* menu = guide->seekIntervalMenu();
        QTRY_VERIFY(menu->isVisible());
        for (QAction* action : menu->actions()) {
            if (action->text() == item)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        }
        QTRY_VERIFY(!menu->isVisible());
    }
    // The menu's items, the checked ones marked with a "*".
    QStringList menuItems()
    {
        QStringList items;
        for (QAction* action : guide->seekIntervalMenu()->actions())
            items << action->text() + (action->icon().isNull() ? QString() : QStringLiteral("*"));
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
    void cleanup() { Typography::setDesktopFont(std::nullopt); }

    // Every key the README's table lists is in the guide, by its first name
    // there ("↑" for "↑ / ↓", "1" for "1 … 9").
    void theGuideNamesEveryKeyTheReadmeLists()
    {
        QFile readme(QDir(fixturePath(QStringLiteral("."))).filePath(QStringLiteral("../../README.md")));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        const qsizetype table = text.indexOf(QStringLiteral("| key | does |"));
        QVERIFY(table >= 0);
        // Every key a row names: "P (or ㅔ) / N (or ㅜ)" names four, "Enter
        // or Return" two; "(the position bar focused)" names none.
        static const QRegularExpression alternative(QStringLiteral(R"(\(or ([^\s)]+)[^)]*\))"));
        static const QRegularExpression aside(QStringLiteral(R"(\([^)]*\))"));
        static const QRegularExpression between(QStringLiteral(R"(\s+(?:/|or|and|…)\s+)"));
        QStringList keys;
        for (const QString& row : text.mid(table).split(u'\n').mid(2)) {
            if (!row.startsWith(u'|'))
                break;
            QString named = row.section(u'|', 1, 1).trimmed();
            named.replace(alternative, QStringLiteral("or \\1")).remove(aside);
            for (const QString& key : named.split(between, Qt::SkipEmptyParts))
                keys << key.trimmed().section(u' ', -1);  // "the mouse wheel": the wheel
        }
        QVERIFY(keys.size() >= 30);
        QVERIFY(keys.contains(QStringLiteral("Return")) && keys.contains(QStringLiteral("ㅠ")));
        SheetWindow w;
        QString guide;
        for (const QLabel* label : w.guide->findChildren<QLabel*>())
            guide += label->text() + u'\n';
        QStringList missing;
        for (const QString& key : keys)
            if (!guide.contains(key, Qt::CaseInsensitive))
                missing << key;
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
    }

    // A larger desktop font makes the guide's text larger: the card grows to
    // hold every line whole. At the font it was drawn for it keeps its size.
    void theGuideMakesRoomForALargerDesktopFont_data()
    {
        QTest::addColumn<int>("desktopPoints");
        QTest::newRow("as drawn") << 9;
        QTest::newRow("a usual desktop's") << 11;
        QTest::newRow("a large one") << 14;
    }

    // A window grown from lower than the guide (maximised from its smallest):
    // the card no longer scrolls and moves to the middle. Wherever it was
    // painted on the way is painted again around it where it ends, leaving
    // no picture of it on the veil. The window system paints a grown window
    // at once, before the layout's turn: so does the test.
    void aGrownWindowLeavesNoPictureOfTheCutCard()
    {
        SheetWindow w;
        w.window.resize(900, 300);
        w.openGuide();
        // Cut, the card scrolls with the playlists' slim bar, not the
        // desktop's square one with arrows at the card's edge.
        const QScrollBar* bar = w.guide->findChild<QScrollArea*>()->verticalScrollBar();
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(bar->width(), 10);
        std::vector<std::pair<QRegion, QRect>> paints;  // what was painted, where the card was then
        const EventTap tap(*w.guide, QEvent::Paint, [&](QObject*, QEvent* event) {
            paints.emplace_back(static_cast<QPaintEvent*>(event)->region(), w.guide->card()->geometry());
        });
        w.window.resize(900, 800);
        w.window.repaint();
        QTest::qWait(50);
        const QRect after = w.guide->card()->geometry();
        QCOMPARE(after.height(), UserGuideSheet::cardSize.height());
        const QMargins shadow = SheetDialog::cardStyle().shadowMargins().toMargins();
        QRegion paintedAround;  // with the card where it is now
        QRegion cardsOnTheWay;
        for (const auto& [region, card] : paints) {
            if (card == after)
                paintedAround += region;
            else
                cardsOnTheWay += region & card.marginsAdded(shadow);
        }
        QVERIFY(!paints.empty());
        QVERIFY(cardsOnTheWay.subtracted(paintedAround).isEmpty());
    }

    void theGuideMakesRoomForALargerDesktopFont()
    {
        QFETCH(int, desktopPoints);
        Typography::setDesktopFont(QFont(QStringLiteral("Sans Serif"), desktopPoints));
        SheetWindow w;
        w.window.resize(900, 800);
        w.openGuide();
        const QWidget* card = w.guide->card();
        if (desktopPoints == 9)
            QCOMPARE(card->size(), UserGuideSheet::cardSize);
        const QList<QLabel*> labels = card->findChildren<QLabel*>();
        QVERIFY(labels.size() >= 8);
        for (const QLabel* label : labels) {
            QVERIFY2(label->width() >= label->sizeHint().width() && label->height() >= label->sizeHint().height(),
                     qPrintable(label->text()));
            QVERIFY2(card->rect().contains(label->geometry()), qPrintable(label->text()));
        }
    }

    void typingWritesALinePerCharacterAndCreateTakesTheTrimmedName()
    {
        SheetWindow w;
        w.openNewPlaylist();
        QCOMPARE(w.field()->text(), QString());
        QVERIFY(!w.create()->isEnabled());
        QTest::keyClicks(w.field(), QStringLiteral(" "));
        QVERIFY(!w.create()->isEnabled());
        QTest::keyClicks(w.field(), QStringLiteral("ab"));
        QVERIFY(w.create()->isEnabled());
        QCOMPARE(w.log.lines(), (QStringList{inputLine(QStringLiteral(" ")), inputLine(QStringLiteral(" a")),
                                             inputLine(QStringLiteral(" ab"))}));

        w.log.clear();
        w.click(w.create());
        // The name empties while the sheet is still up, so that shows as input too.
        QVERIFY(w.log.lines().contains(inputLine(QString())));
        QVERIFY(!w.state->showNewPlaylistPrompt());
        QVERIFY(!w.newPlaylist->isVisible());
        QCOMPARE(w.stored().names(), QStringList{QStringLiteral("ab")});

        // Opened again: empty, Create disabled, and the first value is no input.
        w.log.clear();
        w.openNewPlaylist();
        QCOMPARE(w.field()->text(), QString());
        QVERIFY(!w.create()->isEnabled());
        QVERIFY(w.log.lines().isEmpty());
    }

    // An input method (Korean, say) keeps the last syllable open, shown in
    // the field but not yet its text, until another key ends it: it enables
    // Create on its own, and a click on Create takes it into the name.
    void createTakesTheSyllableStillBeingComposed()
    {
        SheetWindow w;
        const auto compose = [&w](const QString& committed, const QString& composing) {
            QInputMethodEvent event(composing, {});
            event.setCommitString(committed);
            QCoreApplication::sendEvent(w.field(), &event);
        };
        w.openNewPlaylist();
        compose(QString(), QStringLiteral("책"));
        QVERIFY(w.state->newPlaylistName().isEmpty() && w.create()->isEnabled());
        compose(QString(), QString());  // given up (Escape in the input method)
        QVERIFY(!w.create()->isEnabled());
        compose(QString(), QStringLiteral("책"));
        w.click(w.create());
        QCOMPARE(w.stored().names(), QStringList{QStringLiteral("책")});

        // An input method that commits when the field loses the focus (as
        // fcitx5 does, and as the click's focus on the sheet makes it)
        // commits it once.
        w.openNewPlaylist();
        compose(QStringLiteral("영"), QStringLiteral("어"));
        QCOMPARE(w.state->newPlaylistName(), QStringLiteral("영"));
        QString composed = QStringLiteral("어");
        const QMetaObject::Connection onLosingTheField = connect(qApp, &QGuiApplication::focusObjectChanged, this, [&](QObject* now) {
            if (now != w.field() && !composed.isEmpty())
                compose(std::exchange(composed, QString()), QString());
        });
        w.click(w.create());
        disconnect(onLosingTheField);
        QVERIFY(!w.newPlaylist->isVisible());
        QCOMPARE(w.stored().names().size(), 2);
        QVERIFY2(w.stored().names().contains(QStringLiteral("영어")), qPrintable(w.stored().names().join(u'|')));

        // A name taken already: refused, the keys stay with the field.
        w.openNewPlaylist();
        compose(QString(), QStringLiteral("책"));
        w.click(w.create());
        QVERIFY(w.newPlaylist->isVisible());
        QCOMPARE(w.field()->text(), QStringLiteral("책"));
        QCOMPARE(QApplication::focusWidget(), w.field());
    }

    void returnCreatesNothingAndADuplicateNameKeepsTheSheetOpen()
    {
        SheetWindow w;
        w.state->setNewPlaylistName(QStringLiteral("Verbs"));
        w.library->addPlaylist();
        w.openNewPlaylist();
        QTest::keyClicks(w.field(), QStringLiteral(" Verbs"));
        w.log.clear();
        QTest::keyClick(w.field(), Qt::Key_Return);
        QTest::keyClick(w.field(), Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(w.newPlaylist, Qt::Key_Return);
        QVERIFY(w.log.lines().isEmpty());
        QVERIFY(w.newPlaylist->isVisible() && w.state->showNewPlaylistPrompt());

        w.click(w.create());
        QCOMPARE(w.log.lines().size(), 1);  // refused, with a line that says so
        QVERIFY(w.newPlaylist->isVisible());
        QCOMPARE(w.field()->text(), QStringLiteral(" Verbs"));
        QCOMPARE(w.state->playlists().size(), 1);
        // The name is still to be mended: the keys stay with the field, after
        // a click on the sheet as well, or they would run the window's commands.
        QCOMPARE(QApplication::focusWidget(), w.field());
        QTest::mouseClick(w.newPlaylist->card(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(QApplication::focusWidget(), w.field());
    }

    void cancelClosesThenEmptiesTheNameSilently()
    {
        SheetWindow w;
        w.openNewPlaylist();
        QTest::keyClicks(w.field(), QStringLiteral("ab"));
        w.log.clear();
        w.click(w.newPlaylist->cancelButton());
        QVERIFY(w.log.lines().isEmpty());  // closed before the name empties, or that would show as input
        QVERIFY(!w.newPlaylist->isVisible());
        QCOMPARE(w.field()->text(), QString());
        QVERIFY(w.state->playlists().isEmpty());
    }

    // A sheet lies inside the window: it covers and dims it, holds its card
    // in the middle as the window changes size, keeps Tab among its own
    // controls, and Escape dismisses it like its Cancel or Done.
    void sheetsLieInTheWindowDimItAndKeepTheFocus()
    {
        SheetWindow w;
        auto* behind = new QLineEdit(&w.window);  // a control of the window behind
        behind->setGeometry(5, 5, 100, 25);
        behind->show();
        const QImage before = w.window.grab().toImage();
        w.openNewPlaylist();
        QVERIFY(!w.newPlaylist->isWindow());
        QCOMPARE(w.newPlaylist->geometry(), w.window.rect());
        const QPoint corner(w.window.width() - 3, w.window.height() - 3);
        QVERIFY(qGray(w.window.grab().toImage().pixel(corner)) < qGray(before.pixel(corner)) - 40);
        QVERIFY((w.newPlaylist->card()->geometry().center() - w.window.rect().center()).manhattanLength() <= 2);
        for (const Qt::KeyboardModifiers direction : {Qt::NoModifier, Qt::ShiftModifier}) {
            for (int i = 0; i < 5; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, direction);
                QVERIFY(w.newPlaylist->isAncestorOf(QApplication::focusWidget()));
            }
        }
        QTest::mouseClick(w.newPlaylist, Qt::LeftButton, {}, QPoint(20, 20));  // over the control behind
        QVERIFY(!behind->hasFocus());
        w.window.resize(640, 480);
        QTRY_COMPARE(w.newPlaylist->geometry(), w.window.rect());
        QVERIFY((w.newPlaylist->card()->geometry().center() - w.window.rect().center()).manhattanLength() <= 2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!w.newPlaylist->isVisible());
        QVERIFY(!w.state->showNewPlaylistPrompt());

        // The guide has no field: it holds the focus itself (no button is
        // ringed that the learner did not choose), so Escape reaches it; Tab
        // goes on to its buttons.
        w.openGuide();
        QCOMPARE(QApplication::focusWidget(), w.guide);
        QTest::keyClick(w.guide, Qt::Key_Tab);
        QVERIFY(w.guide->isAncestorOf(QApplication::focusWidget()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!w.guide->isVisible());
        QVERIFY(!w.state->showUserGuide());

        // The card is a surface of its own: nothing of the window behind
        // shows through it (a track's name under the text one reads).
        auto* dark = new QWidget(&w.window);
        dark->setGeometry(w.window.rect());
        dark->setStyleSheet(QStringLiteral("background: black"));
        dark->show();
        w.openNewPlaylist();
        const QRect card = w.newPlaylist->card()->geometry();
        const QPoint inCardMargin(card.left() + 6, card.center().y());
        QCOMPARE(qGray(w.window.grab().toImage().pixel(inCardMargin)), 255);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    }

    void theFieldFollowsTheNameChangedElsewhereAndLogsOnlyWhileOpen()
    {
        SheetWindow w;
        w.state->setNewPlaylistName(QStringLiteral("Drill"));
        QCOMPARE(w.field()->text(), QStringLiteral("Drill"));
        w.openNewPlaylist();
        QVERIFY(w.create()->isEnabled());
        w.state->setNewPlaylistName(QStringLiteral("Drills"));
        w.state->setNewPlaylistName(QStringLiteral("Drills"));  // the same value is no change
        QCOMPARE(w.field()->text(), QStringLiteral("Drills"));
        QCOMPARE(w.log.lines(), QStringList{inputLine(QStringLiteral("Drills"))});
        w.state->setNewPlaylistName(QStringLiteral("  "));
        QVERIFY(!w.create()->isEnabled());
    }

    void choosingAnIntervalStoresItLogsItAndShowsItAtOnce()
    {
        SheetWindow w;
        w.openGuide();
        QCOMPARE(w.guide->seekIntervalRow()->text(), QStringLiteral("Seek Interval: 2s"));
        QCOMPARE(w.menuItems(), (QStringList{"1s", "2s*", "5s", "10s"}));
        w.log.clear();

        w.choose(QStringLiteral("10s"));
        QCOMPARE(w.log.lines(), QStringList{QStringLiteral("Seek interval set to: 10s")});
        QCOMPARE(w.state->seekInterval(), 10.0);
        QCOMPARE(w.guide->seekIntervalRow()->text(), QStringLiteral("Seek Interval: 10s"));
        QCOMPARE(w.guide->seekIntervalButton()->text(), QStringLiteral("10s"));
        QCOMPARE(w.menuItems(), (QStringList{"1s", "2s", "5s", "10s*"}));
        QCOMPARE(w.defaults.store().doubleValue(ContentState::seekIntervalKey), 10.0);

        // The checked item again: stored and said again.
        w.defaults.store().setDouble(ContentState::seekIntervalKey, 0);
        w.choose(QStringLiteral("10s"));
        QCOMPARE(w.log.lines().size(), 2);
        QCOMPARE(w.defaults.store().doubleValue(ContentState::seekIntervalKey), 10.0);

        w.click(w.guide->closeButton());
        QVERIFY(!w.state->showUserGuide());
        QVERIFY(!w.guide->isVisible());
        QCOMPARE(w.log.lines().size(), 2);
    }

    // Every key the key table takes is named in the guide: the printable keys
    // of a US and a Korean layout, as the table sees them (1 to 9 as a range).
    void theGuideNamesEveryCharacterKeyOfTheKeyTable()
    {
        SheetWindow w;
        // The keys a line names, before its ": " ("S or ㄴ: Save Loop · 1–9:
        // Recall…" names S, ㄴ and 1–9), word by word.
        QStringList named;
        for (const QLabel* label : w.guide->findChildren<QLabel*>())
            for (const QString& part : label->text().split(QStringLiteral(" · ")))
                if (part.contains(QStringLiteral(": ")))
                    named << part.section(QStringLiteral(": "), 0, 0).split(QRegularExpression(QStringLiteral("[ /]+")));
        QString hangul;
        for (char16_t jamo = 0x3131; jamo <= 0x3163; ++jamo)
            hangul += QChar(jamo);
        const QString typed = QStringLiteral(" !\"#$%&'()*+,-./0123456789:;<=>?@[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~") + hangul;
        QStringList missing;
        for (const QChar character : typed) {
            const QString text(character);
            // Qt's code for a key of the US layout is its character's, in upper case.
            const int qtKey = character.unicode() < 0x80 ? character.toUpper().unicode() : int(Qt::Key_unknown);
            const bool isCommand = keyActionFor(qtKey, text, Qt::NoModifier).command != KeyCommand::None;
            const QString name = character >= u'1' && character <= u'9' ? QStringLiteral("1–9")
                : text == QStringLiteral(" ")                          ? QStringLiteral("Space")
                                                                       : text;
            if (isCommand && !named.contains(name, Qt::CaseInsensitive))
                missing << text;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u' ')));
    }

    void labelsTruncateToWholeSeconds_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("label");
        QTest::newRow("-2.9") << -2.9 << QStringLiteral("-2s");
        QTest::newRow("1e18") << 1e18 << QStringLiteral("1000000000000000000s");
        QTest::newRow("largest below 2^63") << 9223372036854774784.0 << QStringLiteral("9223372036854774784s");
        QTest::newRow("2^63") << 9223372036854775808.0 << QStringLiteral("∞s");
        QTest::newRow("-2^63") << -9223372036854775808.0 << QStringLiteral("-9223372036854775808s");
        QTest::newRow("-1e300") << -1e300 << QStringLiteral("-∞s");
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << QStringLiteral("?s");
    }

    void labelsTruncateToWholeSeconds()
    {
        QFETCH(double, seconds);
        QFETCH(QString, label);
        QCOMPARE(seekIntervalLabel(seconds), label);
    }
};

QTEST_MAIN(SheetsTest)
#include "tst_sheets.moc"
