// The playlist panel as a user meets it: a real window offscreen, clicks on
// what the user clicks, and the pictures the list paints.

#include "state/Transport.h"
#include "ui/kit/PlainButton.h"
#include "ui/screens/PlaylistListView.h"
#include "ui/screens/PlaylistPanel.h"
#include "LibraryFixture.h"
#include "WidgetTesting.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QToolTip>
#include <QFileDialog>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include <map>

namespace {

const QUrl mp3 = fixtureUrl(QStringLiteral("sine-5s.mp3"));
const QUrl m4a = fixtureUrl(QStringLiteral("sine-5s.m4a"));
const QString A = QStringLiteral("A");
const QString B = QStringLiteral("B");

// Text ink: the played file's blue, black, and the notes' grey.
bool blue(const QColor& c) { return c.blue() > 180 && c.red() < 120 && c.green() < 190; }
bool black(const QColor& c) { return c.lightness() < 90; }
bool grey(const QColor& c) { return c.lightness() >= 90 && c.lightness() < 200 && std::abs(c.red() - c.blue()) < 20; }

// The main window's right column in small: the panel in a shown window over
// the given library, loaded as at start-up; the log starts empty.
struct PanelWindow : LibraryFixture {
    explicit PanelWindow(const std::map<QString, TrackList>& playlists = {}, int height = 560)
    {
        if (!playlists.empty())
            defaults.store().setData(ContentState::playlistsKey, encoded(playlists));
        library->loadPlaylists();
        window.resize(320, height);
        panel = new PlaylistPanel(*state, *library, &window);
        panel->setGeometry(0, 0, panel->width(), height);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        log.clear();
    }

    PlaylistListView& list() { return *panel->list(); }
    const PlaylistListLayout& layout() { return list().listLayout(); }
    int group(const QString& name)
    {
        for (int i = 0; i < layout().groupCount(); ++i) {
            if (list().groupName(i) == name)
                return i;
        }
        return -1;
    }
    int rowsOf(const QString& name) { return layout().contentRowCount(group(name)); }

    void click(const QRectF& contentRect)
    {
        QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, list().toViewport(contentRect).center().toPoint());
    }
    void clickLabel(const QString& name) { click(layout().labelRect(group(name))); }
    void clickChevron(const QString& name) { click(layout().disclosureRect(group(name))); }
    void clickPlay(const QString& name, int track) { click(layout().playButtonRect(group(name), track)); }

    int inkAt(const QRectF& contentRect, bool (*kind)(const QColor&))
    {
        return pixelsIn(renderOnWhite(list()), list().toViewport(contentRect), kind);
    }
    int nameInk(const QString& name, int track, bool (*kind)(const QColor&))
    {
        return inkAt(layout().trackTextRect(group(name), track), kind);
    }
    // Inside the group, left of the chevron, where only the group's tint is.
    bool isTinted(const QString& name)
    {
        const QRectF header = layout().headerRect(group(name));
        const QColor c = colourAt(renderOnWhite(list()), list().toViewport(QRectF(3, header.center().y(), 1, 1)).topLeft());
        return c.blue() > c.red() + 10;
    }
    bool isPlaying(const QUrl& track) { return player().isPlaying() && player().currentTrack() == track; }

    QWidget window;
    PlaylistPanel* panel = nullptr;
};

}  // namespace

class PlaylistPanelTest : public QObject {
    Q_OBJECT

private slots:
    void anEmptyLibraryOffersOnlyNew()
    {
        PanelWindow w;
        QVERIFY(w.inkAt(w.layout().noPlaylistsRect(), grey) > 20);
        QVERIFY(!w.panel->deleteButton()->isEnabled());
        QVERIFY(!w.panel->addFilesButton()->isEnabled());
        QTest::mouseClick(w.panel->deleteButton(), Qt::LeftButton);
        QTest::mouseClick(w.panel->addFilesButton(), Qt::LeftButton);
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);  // no file dialog

        w.state->setNewPlaylistName(QStringLiteral("Verbs"));
        QTest::mouseClick(w.panel->newButton(), Qt::LeftButton);
        QVERIFY(w.state->showNewPlaylistPrompt());
        QCOMPARE(w.state->newPlaylistName(), QStringLiteral("Verbs"));  // New keeps what the field holds
        QVERIFY(w.log.lines().isEmpty());
    }

    // Either part of a closed row opens it and makes its playlist current
    // (the chevron through one operation, the label through the other); on an
    // open row either one only closes it. The rows follow the sorted names,
    // the current playlist's group is tinted, and the focus stays put.
    void chevronAndLabelOpenAndCloseRows_data()
    {
        QTest::addColumn<bool>("onLabel");
        QTest::addColumn<QString>("operation");  // how its log line begins
        QTest::newRow("chevron") << false << "Selected playlist";
        QTest::newRow("label") << true << "Toggled playlist";
    }

    void chevronAndLabelOpenAndCloseRows()
    {
        QFETCH(bool, onLabel);
        QFETCH(QString, operation);
        const QString a = QStringLiteral("a");
        const QString b = QStringLiteral("b");
        PanelWindow w({{b, {}}, {A, {mp3, m4a}}, {a, {m4a, m4a}}});
        const auto click = [&](const QString& name) { onLabel ? w.clickLabel(name) : w.clickChevron(name); };
        auto* capture = new QLineEdit(&w.window);
        capture->setGeometry(290, 10, 20, 20);
        capture->show();
        capture->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), capture);
        QCOMPARE((QStringList{w.list().groupName(0), w.list().groupName(1), w.list().groupName(2)}),
                 (QStringList{A, a, b}));
        QVERIFY(w.isTinted(A) && !w.isTinted(a));

        click(a);
        QCOMPARE(w.log.lines().filter(operation).size(), 1);
        QCOMPARE(w.state->currentPlaylist(), a);
        QCOMPARE(w.rowsOf(a), 2);  // a file that stands twice shows twice
        QVERIFY(w.nameInk(a, 1, black) > 20);
        QVERIFY(w.isTinted(a) && !w.isTinted(A));

        click(a);
        QCOMPARE(w.rowsOf(a), 0);
        QVERIFY(w.isTinted(a));

        click(b);
        QVERIFY(w.inkAt(w.layout().noFilesRect(w.group(b)), grey) > 20);
        QCOMPARE(QApplication::focusWidget(), capture);
    }

    void thePlayedFileIsBlueWhereverItStandsInTheCurrentPlaylistOnly()
    {
        PanelWindow w({{A, {m4a, mp3, m4a}}, {B, {m4a}}});
        w.library->setPlaylistExpanded(B, true);
        w.clickPlay(A, 2);
        QVERIFY(w.isPlaying(m4a));
        QVERIFY(w.nameInk(A, 0, blue) > 20 && w.nameInk(A, 2, blue) > 20 && w.nameInk(A, 2, black) == 0);
        QVERIFY(w.nameInk(A, 1, black) > 20 && w.nameInk(A, 1, blue) == 0);
        QCOMPARE(w.nameInk(B, 0, blue), 0);  // the same file, in a playlist that is not current

        // Making B current (which stops playback) moves the highlight there.
        w.clickLabel(B);
        w.clickLabel(B);
        QCOMPARE(w.state->currentPlaylist(), B);
        QVERIFY(w.nameInk(B, 0, blue) > 20);
        QCOMPARE(w.nameInk(A, 2, blue), 0);
    }

    // A tab in a file's name shows as a space, and is measured as one: a
    // short name is not cut short.
    void aTabInANameTakesASpacesRoom()
    {
        const QUrl tabbed = QUrl::fromLocalFile(QStringLiteral("/lessons/Unit\t1 Greetings.mp3"));
        PanelWindow w({{QStringLiteral("A"), {tabbed}}});
        const int group = w.group(QStringLiteral("A"));
        w.library->setPlaylistExpanded(QStringLiteral("A"), true);
        QCOMPARE(w.list().elidedTrackName(group, 0), QStringLiteral("Unit 1 Greetings.mp3"));
    }

    // Lessons of one course, and courses of one series, differ at their ends.
    // Hovered, a cut name shows whole, as written (tags in it are text, two
    // spaces stay two), on one line.
    void aLongNameKeepsItsEndsAndLosesItsMiddle()
    {
        const QString course = QStringLiteral("Beginner <i>Korean  Listening Practice for the Evening Course");
        const auto lesson = [&](int n) {
            return QUrl::fromLocalFile(QStringLiteral("/lessons/%1 - Lesson %2.mp3").arg(course).arg(n));
        };
        PanelWindow w({{course + QStringLiteral(" 2"), {lesson(1), lesson(10)}}});
        const int group = w.group(course + QStringLiteral(" 2"));
        w.library->setPlaylistExpanded(course + QStringLiteral(" 2"), true);
        QStringList shown{w.list().elidedName(group)};
        for (int track : {0, 1})
            shown << w.list().elidedTrackName(group, track);
        for (const QString& name : shown) {
            QVERIFY2(name.contains(QChar(0x2026)) && name.startsWith(QStringLiteral("Beg")), qPrintable(name));
            QVERIFY2(name.size() > 12, qPrintable(name));
        }
        QVERIFY(shown[0].endsWith(QStringLiteral("Course 2")));
        QVERIFY(shown[1].endsWith(QStringLiteral(".mp3")) && shown[2].endsWith(QStringLiteral(".mp3")));
        QVERIFY(shown[1] != shown[2]);

        const QRectF hovered[] = {w.layout().labelRect(group), w.layout().trackTextRect(group, 1)};
        const QString whole[] = {course + QStringLiteral(" 2"), lesson(10).fileName()};
        for (int i : {0, 1}) {
            const QPoint at = w.list().toViewport(hovered[i]).center().toPoint();
            QHelpEvent help(QEvent::ToolTip, at, w.list().viewport()->mapToGlobal(at));
            QApplication::sendEvent(w.list().viewport(), &help);
            QTRY_VERIFY(QToolTip::isVisible());
            QLabel* tip = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->inherits("QTipLabel") && top->isVisible())
                    tip = qobject_cast<QLabel*>(top);
            QVERIFY(tip);
            QCOMPARE(QAccessible::queryAccessibleInterface(tip)->text(QAccessible::Name), whole[i]);
            QVERIFY2(tip->height() < 2 * tip->fontMetrics().height(), qPrintable(QString::number(tip->height())));
            QToolTip::hideText();
        }
    }

    void aPressShowsAndOnlyAReleaseOnTheSameControlActs()
    {
        PanelWindow w({{A, {mp3}}});
        QWidget& viewport = *w.list().viewport();
        const QRectF playRect = w.list().toViewport(w.layout().playButtonRect(0, 0));
        const QPointF play = playRect.center();
        const QPointF away = play + QPointF(0, 40);
        // The capsule's colour left of its title, where there is no text.
        const QPointF sample(playRect.left() + 5, play.y());
        const auto colour = [&] { return colourAt(renderOnWhite(w.list()), sample); };
        const QColor resting = colour();

        sendMouse(viewport, QEvent::MouseButtonPress, play);
        QVERIFY(colour().lightness() > resting.lightness() + 10);
        sendMouse(viewport, QEvent::MouseMove, away);
        QCOMPARE(colour(), resting);
        sendMouse(viewport, QEvent::MouseButtonRelease, away);
        QVERIFY(w.log.lines().isEmpty());

        // Back onto the control before letting go counts.
        sendMouse(viewport, QEvent::MouseButtonPress, play);
        sendMouse(viewport, QEvent::MouseMove, away);
        sendMouse(viewport, QEvent::MouseMove, play);
        sendMouse(viewport, QEvent::MouseButtonRelease, play);
        QVERIFY(w.isPlaying(mp3));

        // A press on a label released over the chevron of the same row does nothing.
        w.log.clear();
        sendMouse(viewport, QEvent::MouseButtonPress, w.list().toViewport(w.layout().labelRect(0)).center());
        sendMouse(viewport, QEvent::MouseButtonRelease, w.list().toViewport(w.layout().disclosureRect(0)).center());
        QVERIFY(w.log.lines().isEmpty());
        QVERIFY(w.state->expandedPlaylists().contains(A));
    }

    // A double-click is one press: double-clicked by habit, Delete takes one
    // playlist, not the next one too, and Add Files opens one dialog.
    void deleteAndAddFilesActOnTheCurrentPlaylist()
    {
        const QString C = QStringLiteral("C");
        PanelWindow w({{A, {mp3}}, {B, {}}, {C, {}}});
        const auto doubleClick = [](QWidget* button) {
            QTest::mouseClick(button, Qt::LeftButton);
            QTest::mouseDClick(button, Qt::LeftButton);
            QTest::mouseRelease(button, Qt::LeftButton);
        };
        doubleClick(w.panel->deleteButton());
        QCOMPARE(w.layout().groupCount(), 2);
        QCOMPARE(w.rowsOf(B), 1);  // B opened, and it has no files
        QTest::mouseClick(w.panel->deleteButton(), Qt::LeftButton);
        QCOMPARE(w.layout().groupCount(), 1);
        QCOMPARE(w.list().groupName(0), C);

        doubleClick(w.panel->addFilesButton());
        QTRY_VERIFY(w.window.findChild<QFileDialog*>() && w.window.findChild<QFileDialog*>()->isVisible());
        QCOMPARE(w.window.findChildren<QFileDialog*>().size(), 1);
        w.library->addPickedFiles(QDialog::Accepted, {mp3, m4a});
        QCOMPARE(w.rowsOf(C), 2);  // files that arrive show at once

        // The last one deleted from the keyboard: the focus stays in the
        // panel, on New, not handed on past it to the window's next control.
        w.window.activateWindow();
        w.panel->deleteButton()->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(w.panel->deleteButton()->hasFocus());
        QTest::mouseClick(w.panel->deleteButton(), Qt::LeftButton);
        QCOMPARE(w.layout().groupCount(), 0);
        QVERIFY(!w.panel->deleteButton()->isEnabled());
        QVERIFY(!w.panel->addFilesButton()->isEnabled());
        QCOMPARE(QApplication::focusWidget(), w.panel->newButton());
    }

    // A playlist that becomes the current one out of sight comes into it,
    // where Add Files and drops now go: one made, the next after a delete.
    // One opened shows its first tracks below its own row.
    void aPlaylistThatBecomesCurrentComesIntoSight()
    {
        // Opened at the start, the current playlist is in sight already: a
        // track played further down leaves the list where it is.
        {
            TrackList course;
            for (int i = 0; i < 100; ++i)
                course << (i % 2 ? mp3 : m4a);
            PanelWindow started({{A, course}, {B, {}}}, 300);
            QScrollBar* bar = started.list().verticalScrollBar();
            QTRY_VERIFY(bar->maximum() > 1000);
            bar->setValue(600);
            const int track = started.list().listLayout().tracksIn(started.group(A), 600 + 60, 600 + 120).first;
            QVERIFY(track > 5);
            started.clickPlay(A, track);
            QVERIFY(started.isPlaying(course[track]));
            QCOMPARE(bar->value(), 600);
        }

        std::map<QString, TrackList> many;
        for (int i = 0; i < 30; ++i)
            many[QStringLiteral("P%1").arg(i, 2, 10, QLatin1Char('0'))] = {mp3, m4a};
        PanelWindow w(many, 300);
        QScrollBar* bar = w.list().verticalScrollBar();
        QTRY_VERIFY(bar->isVisible());
        const auto inSight = [&](const QString& name, int track = -1) {
            const int group = w.group(name);
            const QRectF where = track < 0 ? w.layout().labelRect(group) : w.layout().trackRect(group, track);
            return QRectF(w.list().viewport()->rect()).contains(w.list().toViewport(where));
        };
        bar->setValue(bar->maximum());
        w.state->setNewPlaylistName(QStringLiteral("AAA"));
        w.library->addPlaylist();
        QVERIFY(inSight(QStringLiteral("AAA")));
        // Made below, it comes up with the note that it has no files.
        bar->setValue(0);
        w.state->setNewPlaylistName(QStringLiteral("ZZZ"));
        w.library->addPlaylist();
        QVERIFY(inSight(QStringLiteral("ZZZ")));
        const QRectF note = w.list().toViewport(w.layout().noFilesRect(w.group(QStringLiteral("ZZZ"))));
        QVERIFY(QRectF(w.list().viewport()->rect()).contains(note));
        w.library->deletePlaylist();
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("AAA"));

        bar->setValue(bar->maximum());
        w.library->deletePlaylist();
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("P00"));
        QVERIFY(inSight(QStringLiteral("P00")));

        bar->setValue(bar->maximum());
        const QString last = QStringLiteral("P29");
        QVERIFY(inSight(last));
        w.clickLabel(last);
        QCOMPARE(w.rowsOf(last), 2);  // opened
        QVERIFY(inSight(last) && inSight(last, 0) && inSight(last, 1));

        // The empty name is a playlist's too, first in the list: the next
        // current one after a delete down there.
        many[QString()] = {mp3};
        PanelWindow withEmpty(many, 300);
        QScrollBar* emptyBar = withEmpty.list().verticalScrollBar();
        QTRY_VERIFY(emptyBar->isVisible());
        emptyBar->setValue(emptyBar->maximum());
        withEmpty.clickLabel(last);
        withEmpty.library->deletePlaylist();
        QCOMPARE(withEmpty.state->currentPlaylist(), QString());
        QVERIFY(QRectF(withEmpty.list().viewport()->rect())
                    .contains(withEmpty.list().toViewport(withEmpty.layout().labelRect(withEmpty.group(QString())))));
    }

    // A track played from outside (handed over, or by the media controls)
    // far down the open current playlist is scrolled to.
    void aTrackPlayedFromOutsideComesIntoSight()
    {
        TrackList lesson(60, m4a);
        lesson[45] = mp3;
        lesson[46] = fixtureUrl(QStringLiteral("chirp-cbr.mp3"));
        PanelWindow w({{A, lesson}}, 300);
        QScrollBar* bar = w.list().verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 1000);
        QCOMPARE(bar->value(), 0);
        w.library->playTrackInPlaylist(A, mp3);
        QVERIFY(w.isPlaying(mp3));
        const QRectF row = w.list().toViewport(w.layout().trackRect(w.group(A), 45));
        QVERIFY(QRectF(w.list().viewport()->rect()).contains(row));

        // Stepped on (the media keys) while its playlist is closed, the track
        // is not sought out when the playlist is opened again later: that
        // shows the playlist's own row and first tracks.
        w.clickLabel(A);
        QCOMPARE(w.rowsOf(A), 0);
        Transport::goToNextTrack(*w.state);
        QVERIFY(w.isPlaying(lesson[46]));
        w.clickLabel(A);
        QCOMPARE(w.rowsOf(A), 60);
        QVERIFY(QRectF(w.list().viewport()->rect()).contains(w.list().toViewport(w.layout().labelRect(w.group(A)))));
    }

    // The list has the keyboard's focus, its cursor on the top row, and
    // another playlist becomes the current one (files handed over to it):
    // that one is shown, not the cursor's row again.
    void aPlaylistMadeCurrentShowsThoughTheCursorIsElsewhere()
    {
        std::map<QString, TrackList> many;
        for (int i = 0; i < 30; ++i)
            many[QStringLiteral("P%1").arg(i, 2, 10, QLatin1Char('0'))] = {mp3};
        PanelWindow w(many, 300);
        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        w.list().setFocus();
        QTRY_VERIFY(w.list().hasFocus());
        QTest::keyClick(&w.list(), Qt::Key_Home);
        w.state->setCurrentPlaylist(QStringLiteral("P28"));
        QVERIFY(QRectF(w.list().viewport()->rect()).contains(w.list().toViewport(w.layout().labelRect(w.group(QStringLiteral("P28"))))));
    }

    // Page Down and Page Up cross a long list a screenful at a time, the
    // row they reach in sight.
    void pageKeysMoveAScreenfulOfRows()
    {
        std::map<QString, TrackList> many;
        for (int i = 0; i < 30; ++i)
            many[QStringLiteral("P%1").arg(i, 2, 10, QLatin1Char('0'))] = {};
        PanelWindow w(many);
        PlaylistListView& list = w.list();
        QTest::keyClick(&list, Qt::Key_Home);
        QCOMPARE(list.cursorRow(), 0);
        const auto cursorInSight = [&] { return QRectF(list.viewport()->rect()).contains(list.rowRect(list.cursorRow())); };
        QTest::keyClick(&list, Qt::Key_PageDown);
        const int page = list.cursorRow();
        QVERIFY2(page >= 3 && list.rowRect(page).top() - list.rowRect(0).top() <= list.viewport()->height(),
                 qPrintable(QString::number(page)));
        QVERIFY(cursorInSight());
        QTest::keyClick(&list, Qt::Key_PageDown);
        QVERIFY(list.cursorRow() >= page + 3);
        QVERIFY(cursorInSight());
        QTest::keyClick(&list, Qt::Key_PageUp);
        QTest::keyClick(&list, Qt::Key_PageUp);
        QCOMPARE(list.cursorRow(), 0);
        for (int i = 0; i < 20; ++i)
            QTest::keyClick(&list, Qt::Key_PageDown);
        QCOMPARE(list.cursorRow(), list.rowCount() - 1);
        QVERIFY(cursorInSight());
    }

    void tenThousandTracksOpenScrollAndHighlight()
    {
        TrackList tracks;
        for (int i = 0; i < 9999; ++i)
            tracks << QUrl::fromLocalFile(QStringLiteral("/lessons/Track %1.mp3").arg(i, 5, 10, QLatin1Char('0')));
        tracks << m4a;
        const QString big = QStringLiteral("Big");
        PanelWindow w({{big, tracks}, {A, {}}}, 500);
        w.clickLabel(big);
        QCOMPARE(w.rowsOf(big), 10000);
        QScrollBar* bar = w.list().verticalScrollBar();
        QTRY_VERIFY(bar->isVisible());

        bar->setValue(bar->maximum());
        const QRectF last = w.list().toViewport(w.layout().trackRect(w.group(big), 9999));
        QVERIFY(QRectF(w.list().viewport()->rect()).contains(last));
        w.clickPlay(big, 9999);
        QVERIFY(w.isPlaying(m4a));
        QCOMPARE(bar->value(), bar->maximum());  // the list stays where the user is
        QVERIFY(w.nameInk(big, 9999, blue) > 20 && w.nameInk(big, 9998, black) > 20);
    }

    void repaintsForANewCurrentTrackButNotForTicks()
    {
        PanelWindow w({{A, {mp3, m4a}}});
        w.clickPlay(A, 0);
        PaintCounter paints(*w.list().viewport());
        QTest::qWait(20);
        paints.count = 0;
        for (int i = 0; i < 50; ++i) {
            w.player().tick();
            w.player().setCurrentTime(i * 0.01);
        }
        QVERIFY(!QTest::qWaitFor([&] { return paints.count > 0; }, 100));
        w.player().playTrack(1);
        QTRY_VERIFY(paints.count > 0);
    }
};

QTEST_MAIN(PlaylistPanelTest)
#include "tst_playlistpanel.moc"
