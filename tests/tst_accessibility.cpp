// What assistive tools find in the main window, asked through QAccessible as
// a screen reader asks: the controls' roles, names, values and states, the
// playlist rows as list items, what setting a value or pressing an item does,
// and the change events they are sent.

#include "app/ContentView.h"
#include "base/Log.h"
#include "state/DrillOptions.h"
#include "ui/kit/AccessibleEvents.h"
#include "ui/kit/CustomProgressBar.h"
#include "ui/kit/CustomVerticalSlider.h"
#include "ui/kit/PlainButton.h"
#include "ui/screens/DrillRow.h"
#include "ui/screens/NewPlaylistSheet.h"
#include "ui/screens/PlayerCard.h"
#include "ui/screens/PlaylistListView.h"
#include "ui/screens/PlaylistPanel.h"
#include "ui/screens/TransportRow.h"
#include "ui/screens/UserGuideSheet.h"
#include "TestSupport.h"
#include "WindowFixture.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <limits>

#include <memory>

namespace {

const QUrl mp3 = fixtureUrl(QStringLiteral("sine-5s.mp3"));
const QUrl m4a = fixtureUrl(QStringLiteral("sine-5s.m4a"));

// The window over "Drills" (the MP3, then the m4a) and an empty "Songs".
struct Window : WindowFixture {
    void key(Qt::Key key) { QTest::keyClick(view->windowHandle(), key); }

    PlaylistListView& list() { return *view->playlistPanel()->list(); }
    CustomProgressBar& bar() { return *view->playerCard()->progressBar(); }
    CustomVerticalSlider& volume() { return *view->playerCard()->volumeSlider(); }
};

QAccessibleInterface* accessible(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

// What the platform's bridge would be told, kept while the test runs. (The
// offscreen platform has no bridge, so Qt's own update handler hears nothing.)
struct Heard {
    QObject* object = nullptr;
    QAccessible::Event type = QAccessible::InvalidEvent;
    int child = -1;
    QVariant value;
};
QList<Heard> heard;

void listen(QAccessibleEvent* event)
{
    Heard entry{event->object(), event->type(), event->child(), {}};
    if (event->type() == QAccessible::ValueChanged)
        entry.value = static_cast<QAccessibleValueChangeEvent*>(event)->value();
    heard.append(entry);
}

QList<Heard> heardFrom(QObject* object, QAccessible::Event type)
{
    QList<Heard> found;
    for (const Heard& entry : heard)
        if (entry.object == object && entry.type == type)
            found.append(entry);
    return found;
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        heard.clear();
        AccessibleEvents::setListener(listen);
    }
    void cleanup() { AccessibleEvents::setListener(nullptr); }

    // Both are sliders: the bar's value is the position in seconds up to the
    // track's length, the volume's from 0 to 1 in steps of 0.01. Setting a
    // value seeks or sets the volume as a drag would, clamped.
    void theBarAndTheVolumeAreSlidersToReadAndSet()
    {
        Window w;
        QVERIFY(w.show());
        QTRY_VERIFY(!w.player().playlist().isEmpty());
        w.player().playTrack(0);
        w.player().togglePlayPause();
        const double duration = w.player().player()->duration();
        QTRY_COMPARE(w.bar().duration(), duration);

        QAccessibleInterface* bar = accessible(&w.bar());
        QVERIFY(bar && bar->valueInterface());
        QCOMPARE(bar->role(), QAccessible::Slider);
        QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("Position"));
        QVERIFY(bar->state().focusable);
        QCOMPARE(bar->valueInterface()->minimumValue().toDouble(), 0.0);
        QCOMPARE(bar->valueInterface()->maximumValue().toDouble(), duration);
        w.log.clear();
        bar->valueInterface()->setCurrentValue(duration / 2);
        QVERIFY(qAbs(w.player().player()->currentTime() - duration / 2) < 1e-3);
        QCOMPARE(bar->valueInterface()->currentValue().toDouble(), duration / 2);
        bar->valueInterface()->setCurrentValue(duration * 3);
        QCOMPARE(w.player().player()->currentTime(), duration);
        QCOMPARE(w.log.lines().size(), 2);  // a seek's line each, as a drag's

        QAccessibleInterface* volume = accessible(&w.volume());
        QVERIFY(volume && volume->valueInterface());
        QCOMPARE(volume->role(), QAccessible::Slider);
        QCOMPARE(volume->text(QAccessible::Name), QStringLiteral("Volume"));
        QCOMPARE(volume->valueInterface()->currentValue().toDouble(), 1.0);
        QCOMPARE(volume->valueInterface()->maximumValue().toDouble(), 1.0);
        QCOMPARE(volume->valueInterface()->minimumStepSize().toDouble(), double(0.01f));
        volume->valueInterface()->setCurrentValue(0.254);
        QCOMPARE(w.player().player()->volume(), 0.25f);
        volume->valueInterface()->setCurrentValue(-3);
        QCOMPARE(w.player().volume(), 0.0f);

        // A value that is no number (NaN, however it comes) is refused: it
        // once turned the volume to full and took the play head back to 0.
        volume->valueInterface()->setCurrentValue(0.5);
        bar->valueInterface()->setCurrentValue(duration / 2);
        w.log.clear();
        for (const QVariant& notANumber : {QVariant(std::numeric_limits<double>::quiet_NaN()), QVariant(QStringLiteral("nan"))}) {
            volume->valueInterface()->setCurrentValue(notANumber);
            bar->valueInterface()->setCurrentValue(notANumber);
        }
        QCOMPARE(w.player().volume(), 0.5f);
        QVERIFY(qAbs(w.player().player()->currentTime() - duration / 2) < 1e-3);
        QCOMPARE(w.log.lines(), QStringList());
    }

    // The bar tells of a new whole second or a new length, not of every
    // frame; the volume of every change.
    void valueChangesAreAnnounced()
    {
        Window w;
        QVERIFY(w.show());
        QTRY_VERIFY(!w.player().playlist().isEmpty());
        w.player().playTrack(0);
        w.player().togglePlayPause();
        QTRY_VERIFY(w.bar().duration() > 4);
        w.bar().refresh();
        heard.clear();

        w.player().setCurrentTime(2.2);
        w.bar().refresh();
        w.player().setCurrentTime(2.7);
        w.bar().refresh();
        QList<Heard> changes = heardFrom(&w.bar(), QAccessible::ValueChanged);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes.first().value.toDouble(), 2.2);
        w.key(Qt::Key_Right);  // the window's own seek shows on the next refresh
        QTRY_COMPARE(heardFrom(&w.bar(), QAccessible::ValueChanged).size(), 2);

        w.volume().refresh();
        QVERIFY(heardFrom(&w.volume(), QAccessible::ValueChanged).isEmpty());
        w.player().applyVolume(0.5f);
        QTRY_COMPARE(heardFrom(&w.volume(), QAccessible::ValueChanged).size(), 1);
        QCOMPARE(heardFrom(&w.volume(), QAccessible::ValueChanged).first().value.toFloat(), 0.5f);
    }

    // A list of the shown rows, named by playlist and file name; the current
    // playlist and track are the selected ones, the cursor's row the focused
    // one, and pressing an item does what a click on it does.
    void thePlaylistRowsAreListItems()
    {
        Window w;
        QVERIFY(w.show());
        PlaylistListView& list = w.list();
        QAccessibleInterface* items = accessible(&list);
        QVERIFY(items);
        QCOMPARE(items->role(), QAccessible::List);
        QCOMPARE(items->text(QAccessible::Name), QStringLiteral("Playlists"));
        QTRY_COMPARE(items->childCount(), 4);
        QStringList names;
        for (int i = 0; i < items->childCount(); ++i) {
            QCOMPARE(items->child(i)->role(), QAccessible::ListItem);
            QCOMPARE(items->child(i)->parent(), items);
            QCOMPARE(items->indexOfChild(items->child(i)), i);
            names.append(items->child(i)->text(QAccessible::Name));
        }
        QCOMPARE(names, (QStringList{"Drills", "sine-5s.mp3", "sine-5s.m4a", "Songs"}));
        QVERIFY(items->child(0)->state().selected && items->child(0)->state().expanded);
        QVERIFY(!items->child(3)->state().selected && items->child(3)->state().collapsed);
        QVERIFY(!items->child(1)->state().selected && !items->child(1)->state().focused);

        items->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(w.player().isPlaying());
        QCOMPARE(w.player().currentTrack(), std::optional<QUrl>(m4a));
        QVERIFY(items->child(2)->state().selected && !items->child(1)->state().selected);

        QTest::keyClick(w.view->windowHandle(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), &list);
        QCOMPARE(items->focusChild(), items->child(2));  // where the press put the cursor
        heard.clear();
        w.key(Qt::Key_Down);
        QVERIFY(items->child(3)->state().focused && !items->child(2)->state().focused);
        QCOMPARE(items->focusChild(), items->child(3));
        const QList<Heard> focus = heardFrom(&list, QAccessible::Focus);
        QCOMPARE(focus.size(), 1);
        QCOMPARE(focus.first().child, 3);

        // Rows that went away go with their items; a tool holding one learns
        // that it is gone, not that it now stands for another row, even with
        // the list unfocused and nothing else asking for its rows.
        const QAccessible::Id heldSongs = QAccessible::uniqueId(items->child(3));
        QAccessibleInterface* drills = items->child(0);
        w.key(Qt::Key_Tab);
        QVERIFY(!list.hasFocus());
        drills->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(!QAccessible::accessibleInterface(heldSongs));
        QCOMPARE(items->childCount(), 2);
        QCOMPARE(items->child(1)->text(QAccessible::Name), QStringLiteral("Songs"));
        QVERIFY(!items->child(2));
    }

    // Buttons are push buttons named by what they do; the play button's name
    // follows its symbol.
    void buttonsAreNamedPushButtons()
    {
        Window w;
        QVERIFY(w.show());
        TransportRow& row = *w.view->transportRow();
        QTRY_VERIFY(row.playPauseButton()->isEnabled());
        QAccessibleInterface* playPause = accessible(row.playPauseButton());
        QCOMPARE(playPause->role(), QAccessible::Button);
        QCOMPARE(playPause->text(QAccessible::Name), QStringLiteral("Play"));
        QVERIFY(playPause->state().focusable);
        playPause->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(w.player().isPlaying());
        QTRY_COMPARE(playPause->text(QAccessible::Name), QStringLiteral("Pause"));
        QCOMPARE(accessible(w.view->playlistPanel()->addFilesButton())->text(QAccessible::Name),
                 QStringLiteral("Add Files"));
        QCOMPARE(accessible(row.helpButton())->text(QAccessible::Name), QStringLiteral("Help"));
        // The speed chip shows a number alone: heard, it says what it is.
        QCOMPARE(accessible(w.view->playerCard()->drillRow()->speedButton())->text(QAccessible::Name),
                 QStringLiteral("Speed 1.0×"));
        // So do the seek interval's menu button and the passes chip's arrow;
        // the name field is named by its placeholder.
        QCOMPARE(accessible(w.view->userGuideSheet()->seekIntervalButton())->text(QAccessible::Name),
                 QStringLiteral("Seek Interval: 2s"));
        DrillRow& drill = *w.view->playerCard()->drillRow();
        DrillOptions::setPasses(w.view->state(), 5);
        w.view->state().setDrillThenNextPhrase(true);
        QTRY_COMPARE(accessible(drill.passesButton())->text(QAccessible::Name),
                     QStringLiteral("Passes 5, Then On to the Next Phrase"));
        w.view->state().setDrillThenNextPhrase(false);
        QTRY_COMPARE(accessible(drill.passesButton())->text(QAccessible::Name), QStringLiteral("Passes 5"));
        QCOMPARE(accessible(w.view->newPlaylistSheet()->nameField())->text(QAccessible::Name),
                 QStringLiteral("Playlist Name"));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
