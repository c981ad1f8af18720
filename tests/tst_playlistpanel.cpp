// The playlist panel as a user meets it: a real window offscreen, clicks on
// what the user clicks, and the pictures the list paints.
#include "LibraryFixture.h"
#include "WidgetTesting.h"
#include "input/EventMonitor.h"
#include "ui/PlainButton.h"
#include "ui/PlaylistListView.h"
#include "ui/PlaylistPanel.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <map>

namespace {

using Part = PlaylistListLayout::Part;

const QUrl mp3 = fixtureUrl(QStringLiteral("sine-5s.mp3"));
const QUrl m4a = fixtureUrl(QStringLiteral("sine-5s.m4a"));
const QString stopLine = QStringLiteral("Stop: currentTime=0.0, loop cleared");

// Counts paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// Pixels of text ink in a rect of the list's picture: blue ink, black ink and
// grey ink (the notes), told apart by hue and lightness.
struct Ink {
    int blue = 0;
    int black = 0;
    int grey = 0;
};

Ink inkIn(const QImage& image, const QRectF& rect)
{
    Ink ink;
    const QRect pixels = rect.toAlignedRect().intersected(image.rect());
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 180 && c.red() < 120 && c.green() < 190)
                ++ink.blue;
            else if (c.lightness() < 90)
                ++ink.black;
            else if (c.lightness() < 200 && std::abs(c.red() - c.blue()) < 20)
                ++ink.grey;
        }
    }
    return ink;
}

// The main window's right column in small: the panel in a shown window over
// the given library, loaded as at start-up; the log starts empty.
struct PanelWindow : LibraryFixture {
    explicit PanelWindow(const std::map<QString, TrackList>& playlists = {}, int height = 560)
    {
        if (!playlists.empty()) {
            Playlists stored;
            for (const auto& [name, tracks] : playlists)
                stored.insert(name, tracks);
            defaults.store().setData(ContentState::playlistsKey, PlaylistCodec::encode(stored));
        }
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
    QStringList rowNames()
    {
        QStringList names;
        for (int i = 0; i < layout().groupCount(); ++i)
            names << list().groupName(i);
        return names;
    }

    QPoint onScreen(const QRectF& contentRect) { return list().toViewport(contentRect).center().toPoint(); }
    void click(const QRectF& contentRect)
    {
        QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, onScreen(contentRect));
    }
    void clickLabel(const QString& name) { click(layout().labelRect(group(name))); }
    void clickChevron(const QString& name) { click(layout().disclosureRect(group(name))); }
    void clickPlay(const QString& name, int track) { click(layout().playButtonRect(group(name), track)); }

    // The list's picture, in content coordinates' scale (viewport origin).
    QImage picture() { return renderOnWhite(list()); }
    QColor tintOf(const QString& name)
    {
        // Inside the group, left of the chevron: only the group's tint is there.
        const QRectF header = layout().headerRect(group(name));
        return colourAt(picture(), list().toViewport(QRectF(3, header.center().y(), 1, 1)).topLeft());
    }
    Ink nameInk(const QString& name, int track)
    {
        return inkIn(picture(), list().toViewport(layout().trackTextRect(group(name), track)));
    }

    QWidget window;
    PlaylistPanel* panel = nullptr;
};

const QColor white(255, 255, 255);
// Blue at 0.1 over white.
const QColor tint(230, 242, 255);

bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) <= 3 && std::abs(a.green() - b.green()) <= 3 && std::abs(a.blue() - b.blue()) <= 3;
}

}  // namespace

class PlaylistPanelTest : public QObject {
    Q_OBJECT

private slots:
    void anEmptyLibraryOffersOnlyNew()
    {
        PanelWindow w;
        QCOMPARE(w.layout().groupCount(), 0);
        QVERIFY(inkIn(w.picture(), w.list().toViewport(w.layout().noPlaylistsRect())).grey > 20);
        QCOMPARE(w.panel->title()->text(), QStringLiteral("Playlists"));
        QVERIFY(!w.panel->deleteButton()->isEnabled());
        QVERIFY(!w.panel->addFilesButton()->isEnabled());

        QTest::mouseClick(w.panel->deleteButton(), Qt::LeftButton);
        QTest::mouseClick(w.panel->addFilesButton(), Qt::LeftButton);
        QVERIFY(w.log.lines().isEmpty());
        QVERIFY(QApplication::topLevelWidgets().size() == 1);  // no file dialog either

        QTest::mouseClick(w.panel->newButton(), Qt::LeftButton);
        QVERIFY(w.state->showNewPlaylistPrompt());
        QVERIFY(w.log.lines().isEmpty());
        // New does not clear what the sheet's field holds.
        w.state->setShowNewPlaylistPrompt(false);
        w.state->setNewPlaylistName(QStringLiteral("Verbs"));
        QTest::mouseClick(w.panel->newButton(), Qt::LeftButton);
        QCOMPARE(w.state->newPlaylistName(), QStringLiteral("Verbs"));
    }

    void theColumnLeavesRoomForTheShadows()
    {
        PanelWindow w({{QStringLiteral("A"), {mp3}}});
        const QMargins overflow = PlaylistPanel::overflowMargins();
        QCOMPARE(w.list().width(), PlaylistPanel::columnWidth);
        QCOMPARE(w.panel->width(), PlaylistPanel::columnWidth + overflow.left() + overflow.right());
        QCOMPARE(w.list().x(), overflow.left());
        const QImage image = renderOnWhite(*w.panel);
        // The card's soft shadow shows beside it and under it, uncut.
        const QRect card = w.list().geometry();
        const auto darkened = [&image](QPoint at) {
            return image.rect().contains(at) && colourAt(image, at).lightness() < 254;
        };
        QVERIFY(darkened({card.left() - 3, card.center().y()}));
        QVERIFY(darkened({card.right() + 3, card.center().y()}));
        QVERIFY(darkened({card.center().x(), card.bottom() + 6}));
        QVERIFY(!darkened({1, card.center().y()}));
        // Add Files keeps its shadow too: visible under the capsule.
        const QRect button = w.panel->addFilesButton()->geometry();
        const QRectF capsule = w.panel->addFilesButton()->labelRect().translated(button.topLeft());
        QVERIFY(darkened(QPointF(capsule.center().x(), capsule.bottom() + 2).toPoint()));
        QVERIFY(button.bottom() < w.panel->height());
    }

    void rowsFollowTheSortedNamesAndShowEveryTrack()
    {
        PanelWindow w({{QStringLiteral("b"), {}}, {QStringLiteral("A"), {mp3, m4a}}, {QStringLiteral("a"), {m4a, m4a}}});
        QCOMPARE(w.rowNames(), (QStringList{QStringLiteral("A"), QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(w.layout().contentRowCount(w.group(QStringLiteral("A"))), 2);  // current and open after loading
        QCOMPARE(w.layout().contentRowCount(w.group(QStringLiteral("a"))), 0);
        QVERIFY(w.panel->deleteButton()->isEnabled() && w.panel->addFilesButton()->isEnabled());

        // A file that stands twice shows twice.
        w.clickChevron(QStringLiteral("a"));
        QCOMPARE(w.log.lines(), (QStringList{stopLine, QStringLiteral("Selected playlist: a")}));
        QCOMPARE(w.layout().contentRowCount(w.group(QStringLiteral("a"))), 2);
        QVERIFY(w.nameInk(QStringLiteral("a"), 1).black > 20);

        w.clickLabel(QStringLiteral("b"));
        const int b = w.group(QStringLiteral("b"));
        QCOMPARE(w.layout().contentRowCount(b), 1);
        QCOMPARE(w.layout().hitTest(w.layout().noFilesRect(b).center()).part, Part::NoFiles);
        QVERIFY(inkIn(w.picture(), w.list().toViewport(w.layout().noFilesRect(b))).grey > 20);
        QVERIFY(w.state->expandedPlaylists().contains(QStringLiteral("A")));  // several rows stay open
    }

    void theLabelOpensSelectsAndStopsThenClosesLeavingTheSelection()
    {
        PanelWindow w({{QStringLiteral("A"), {mp3}}, {QStringLiteral("B"), {m4a}}});
        w.clickPlay(QStringLiteral("A"), 0);
        QVERIFY(w.player().isPlaying());
        QCOMPARE(w.log.lines().last(), QStringLiteral("Playing: sine-5s.mp3"));
        QVERIFY(near(w.tintOf(QStringLiteral("A")), tint));
        QVERIFY(near(w.tintOf(QStringLiteral("B")), white));
        w.log.clear();

        w.clickLabel(QStringLiteral("B"));
        QVERIFY(!w.player().isPlaying());
        QCOMPARE(w.log.lines(), (QStringList{stopLine, QStringLiteral("Toggled playlist via label: B")}));
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("B"));
        QCOMPARE(w.player().playlist(), TrackList{m4a});
        QVERIFY(near(w.tintOf(QStringLiteral("B")), tint));
        QVERIFY(near(w.tintOf(QStringLiteral("A")), white));
        QCOMPARE(w.layout().contentRowCount(w.group(QStringLiteral("B"))), 1);

        // Closing keeps B current, and tinted, and says nothing.
        w.log.clear();
        w.clickLabel(QStringLiteral("B"));
        QVERIFY(w.log.lines().isEmpty());
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("B"));
        QCOMPARE(w.layout().contentRowCount(w.group(QStringLiteral("B"))), 0);
        QVERIFY(near(w.tintOf(QStringLiteral("B")), tint));

        // Clicks on the list leave the keyboard focus where it was.
        auto* capture = new QLineEdit(&w.window);
        capture->setGeometry(290, 10, 20, 20);
        capture->show();
        capture->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), capture);
        w.clickLabel(QStringLiteral("B"));
        w.clickLabel(QStringLiteral("B"));
        QCOMPARE(QApplication::focusWidget(), capture);

        // The empty end of the label is part of it.
        const QRectF label = w.layout().labelRect(w.group(QStringLiteral("A")));
        w.click(QRectF(label.right() - 4, label.top() + 2, 1, 1));
        QVERIFY(!w.state->expandedPlaylists().contains(QStringLiteral("A")));
    }

    void theChevronWritesTheOpenStateThroughTheLibrary()
    {
        PanelWindow w({{QStringLiteral("A"), {mp3}}, {QStringLiteral("B"), {m4a}}});
        w.clickChevron(QStringLiteral("B"));
        QCOMPARE(w.log.lines(), (QStringList{stopLine, QStringLiteral("Selected playlist: B")}));
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("B"));

        w.log.clear();
        w.clickChevron(QStringLiteral("A"));  // open: closes it, selection and playback stay
        QVERIFY(w.log.lines().isEmpty());
        QVERIFY(!w.state->expandedPlaylists().contains(QStringLiteral("A")));
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("B"));
        QCOMPARE(w.layout().contentRowCount(w.group(QStringLiteral("A"))), 0);
    }

    void aPlayedTrackIsBlueOnlyWhereItsPlaylistIsCurrent()
    {
        PanelWindow w({{QStringLiteral("A"), {mp3, m4a}}, {QStringLiteral("B"), {m4a}}});
        w.library->setPlaylistExpanded(QStringLiteral("B"), true);
        w.clickPlay(QStringLiteral("A"), 1);
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("A"));
        QCOMPARE(w.log.lines().last(), QStringLiteral("Playing: sine-5s.m4a"));
        QVERIFY(w.nameInk(QStringLiteral("A"), 1).blue > 20);
        QCOMPARE(w.nameInk(QStringLiteral("A"), 1).black, 0);
        QVERIFY(w.nameInk(QStringLiteral("A"), 0).black > 20);
        QCOMPARE(w.nameInk(QStringLiteral("A"), 0).blue, 0);
        QCOMPARE(w.nameInk(QStringLiteral("B"), 0).blue, 0);  // same file, playlist not current

        // Making B current (which stops playback) moves the highlight there.
        w.clickLabel(QStringLiteral("B"));
        w.clickLabel(QStringLiteral("B"));
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("B"));
        QVERIFY(w.nameInk(QStringLiteral("B"), 0).blue > 20);
        QCOMPARE(w.nameInk(QStringLiteral("A"), 1).blue, 0);
    }

    void bothRowsOfATwiceListedFileAreHighlighted()
    {
        PanelWindow w({{QStringLiteral("A"), {m4a, mp3, m4a}}});
        w.clickPlay(QStringLiteral("A"), 2);
        QCOMPARE(w.log.lines().last(), QStringLiteral("Playing: sine-5s.m4a"));
        QVERIFY(w.nameInk(QStringLiteral("A"), 0).blue > 20);
        QVERIFY(w.nameInk(QStringLiteral("A"), 2).blue > 20);
        QCOMPARE(w.nameInk(QStringLiteral("A"), 1).blue, 0);
    }

    void aPressShowsAndOnlyAReleaseOnTheSameControlActs()
    {
        PanelWindow w({{QStringLiteral("A"), {mp3}}});
        QWidget* viewport = w.list().viewport();
        const QRectF play = w.list().toViewport(w.layout().playButtonRect(0, 0));
        // The capsule's colour left of the title, where there is no text.
        const QPointF sample(play.left() + 5, play.center().y());
        const QColor resting = colourAt(w.picture(), sample);

        sendMouse(*viewport, QEvent::MouseButtonPress, play.center());
        const QColor pressed = colourAt(w.picture(), sample);
        QVERIFY(pressed.lightness() > resting.lightness() + 10);

        sendMouse(*viewport, QEvent::MouseMove, play.center() + QPointF(0, 40));
        QCOMPARE(colourAt(w.picture(), sample), resting);
        sendMouse(*viewport, QEvent::MouseButtonRelease, play.center() + QPointF(0, 40));
        QVERIFY(w.log.lines().isEmpty());

        // Back onto the control before letting go counts.
        sendMouse(*viewport, QEvent::MouseButtonPress, play.center());
        sendMouse(*viewport, QEvent::MouseMove, play.center() + QPointF(0, 40));
        sendMouse(*viewport, QEvent::MouseMove, play.center());
        sendMouse(*viewport, QEvent::MouseButtonRelease, play.center());
        QCOMPARE(w.log.lines().last(), QStringLiteral("Playing: sine-5s.mp3"));

        // A press on a label released over the chevron of the same row does nothing.
        w.log.clear();
        const QRectF label = w.list().toViewport(w.layout().labelRect(0));
        const QRectF chevron = w.list().toViewport(w.layout().disclosureRect(0));
        sendMouse(*viewport, QEvent::MouseButtonPress, label.center());
        sendMouse(*viewport, QEvent::MouseButtonRelease, chevron.center());
        QVERIFY(w.log.lines().isEmpty());
        QVERIFY(w.state->expandedPlaylists().contains(QStringLiteral("A")));
    }

    void longNamesStayOnOneLine()
    {
        const QUrl longName = QUrl::fromLocalFile(
            QStringLiteral("/lessons/A remarkably long lesson title that no track card could ever hold.mp3"));
        PanelWindow w({{QStringLiteral("A"), {longName, mp3}}});
        const QRectF text = w.layout().trackTextRect(0, 0);
        QCOMPARE(text.height(), w.layout().trackTextRect(0, 1).height());
        const QImage image = w.picture();
        QVERIFY(inkIn(image, w.list().toViewport(text)).black > 50);
        // Nothing spills into the gap before Play, nor onto the next row.
        const QRectF gap(text.right() + 1, text.top(), w.layout().playButtonRect(0, 0).left() - text.right() - 2,
                         text.height());
        QCOMPARE(inkIn(image, w.list().toViewport(gap)).black, 0);
        const QRectF between(text.left(), text.bottom(), text.width(), w.layout().trackRect(0, 1).top() - text.bottom());
        QCOMPARE(inkIn(image, w.list().toViewport(between)).black, 0);
    }

    void deleteAndAddFilesActOnTheCurrentPlaylist()
    {
        PanelWindow w({{QStringLiteral("A"), {mp3}}, {QStringLiteral("B"), {}}});
        QTest::mouseClick(w.panel->deleteButton(), Qt::LeftButton);
        QCOMPARE(w.log.lines(), (QStringList{QStringLiteral("Playlists saved: [\"B\"]"),
                                             QStringLiteral("Deleted playlist, switched to: B")}));
        QCOMPARE(w.rowNames(), QStringList{QStringLiteral("B")});
        QCOMPARE(w.layout().contentRowCount(0), 1);  // B opened, and it has no files

        QTest::mouseClick(w.panel->addFilesButton(), Qt::LeftButton);
        QFileDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = w.window.findChild<QFileDialog*>()) && dialog->isVisible());
        dialog->reject();
        QTRY_VERIFY(!w.window.findChild<QFileDialog*>());
        QCOMPARE(w.log.lines().size(), 2);  // cancelled: nothing added, nothing said

        // Files that arrive show at once.
        w.library->addPickedFiles(QDialog::Accepted, {mp3, m4a});
        QCOMPARE(w.layout().contentRowCount(0), 2);

        w.log.clear();
        QTest::mouseClick(w.panel->deleteButton(), Qt::LeftButton);
        QCOMPARE(w.log.lines().last(), QStringLiteral("Deleted playlist, switched to: "));
        QCOMPARE(w.layout().groupCount(), 0);
        QVERIFY(!w.panel->deleteButton()->isEnabled());
        QVERIFY(!w.panel->addFilesButton()->isEnabled());
    }

    void tenThousandTracksOpenScrollAndHighlight()
    {
        TrackList tracks;
        for (int i = 0; i < 9999; ++i)
            tracks << QUrl::fromLocalFile(QStringLiteral("/lessons/Track %1.mp3").arg(i, 5, 10, QLatin1Char('0')));
        tracks << m4a;
        PanelWindow w({{QStringLiteral("Big"), tracks}, {QStringLiteral("A"), {}}}, 500);
        QCOMPARE(w.state->currentPlaylist(), QStringLiteral("A"));

        w.clickLabel(QStringLiteral("Big"));
        const int big = w.group(QStringLiteral("Big"));
        QCOMPARE(w.layout().contentRowCount(big), 10000);
        QScrollBar* bar = w.list().verticalScrollBar();
        QCOMPARE(bar->maximum(), int(std::ceil(w.layout().contentHeight())) - w.list().viewport()->height());
        QTRY_VERIFY(bar->isVisible());

        bar->setValue(bar->maximum());
        const QRectF last = w.list().toViewport(w.layout().trackRect(big, 9999));
        QVERIFY(QRectF(w.list().viewport()->rect()).contains(last));
        QVERIFY(w.nameInk(QStringLiteral("Big"), 9998).black > 20);

        w.clickPlay(QStringLiteral("Big"), 9999);
        QCOMPARE(w.log.lines().last(), QStringLiteral("Playing: sine-5s.m4a"));
        QCOMPARE(bar->value(), bar->maximum());  // the list stays where the user is
        QVERIFY(w.nameInk(QStringLiteral("Big"), 9999).blue > 20);
        QCOMPARE(w.nameInk(QStringLiteral("Big"), 9998).blue, 0);

        // The middle of the list paints its own rows.
        const int middleTop = int(w.layout().trackRect(big, 5000).top());
        bar->setValue(middleTop);
        QVERIFY(w.nameInk(QStringLiteral("Big"), 5000).black > 20);
        QCOMPARE(w.layout().hitTest(w.layout().playButtonRect(big, 5000).center()).track, 5000);
    }

    void theWheelScrollsTheListUnlessATrackTakesItForSeeking()
    {
        TrackList tracks(60, mp3);
        PanelWindow w({{QStringLiteral("A"), tracks}}, 400);
        installEventMonitor(*w.state);
        QScrollBar* bar = w.list().verticalScrollBar();
        const auto wheelDown = [&w] {
            const QPointF at = QPointF(w.list().viewport()->rect().center());
            QWheelEvent event(at, w.list().viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(w.list().viewport(), &event);
        };
        wheelDown();
        QVERIFY(bar->value() > 0);

        // With a track loaded the window-wide monitor seeks with the wheel instead.
        w.clickPlay(QStringLiteral("A"), 0);
        const int scrolled = bar->value();
        w.log.clear();
        wheelDown();
        QCOMPARE(bar->value(), scrolled);
        QCOMPARE(w.log.lines().size(), 1);
        QVERIFY(w.log.lines().first().startsWith(QStringLiteral("Seek to: ")));
    }

    void repaintsForANewCurrentTrackButNotForTicks()
    {
        PanelWindow w({{QStringLiteral("A"), {mp3, m4a}}});
        w.clickPlay(QStringLiteral("A"), 0);
        PaintCounter paints(w.list().viewport());
        const auto settle = [] {
            QCoreApplication::processEvents();
            QTest::qWait(20);
        };
        settle();
        paints.count = 0;

        for (int i = 0; i < 50; ++i) {
            w.player().tick();
            w.player().setCurrentTime(i * 0.01);
        }
        settle();
        QCOMPARE(paints.count, 0);

        w.player().playTrack(1);
        QTRY_VERIFY(paints.count > 0);
    }
};

QTEST_MAIN(PlaylistPanelTest)
#include "tst_playlistpanel.moc"
