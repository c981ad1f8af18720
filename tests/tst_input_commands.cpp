// The key table, the wheel rule, what counts as a text entry, and seekBy.
#include "TestSupport.h"
#include "engine/Log.h"
#include "input/CommandHandlers.h"
#include "input/KeyCommands.h"
#include "input/TextEntryFocus.h"
#include "library/ContentState.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>

#include <limits>

Q_DECLARE_METATYPE(KeyCommand)

class InputCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void keyTableDecidesInOrder_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("characters");
        QTest::addColumn<KeyCommand>("command");
        const QString hangul = QString(QChar(0x3160));
        QTest::newRow("right arrow") << int(Qt::Key_Right) << QString() << KeyCommand::SeekForward;
        QTest::newRow("left arrow") << int(Qt::Key_Left) << QString() << KeyCommand::SeekBackward;
        QTest::newRow("arrow before characters") << int(Qt::Key_Left) << " " << KeyCommand::SeekBackward;
        QTest::newRow("space") << int(Qt::Key_Space) << " " << KeyCommand::TogglePlayPause;
        QTest::newRow("characters decide, not the key") << int(Qt::Key_A) << " " << KeyCommand::TogglePlayPause;
        QTest::newRow("space key without characters") << int(Qt::Key_Space) << QString() << KeyCommand::None;
        QTest::newRow("b") << int(Qt::Key_B) << "b" << KeyCommand::CycleLoop;
        QTest::newRow("hangul yu") << int(Qt::Key_unknown) << hangul << KeyCommand::CycleLoop;
        QTest::newRow("shift-b") << int(Qt::Key_B) << "B" << KeyCommand::None;
        QTest::newRow("control-b") << int(Qt::Key_B) << "\x02" << KeyCommand::None;
        QTest::newRow("longer text") << int(Qt::Key_B) << "bb" << KeyCommand::None;
        QTest::newRow("up arrow") << int(Qt::Key_Up) << QString() << KeyCommand::None;
    }

    void keyTableDecidesInOrder()
    {
        QFETCH(int, key);
        QFETCH(QString, characters);
        QFETCH(KeyCommand, command);
        QCOMPARE(keyCommandFor(key, characters), command);
    }

    void wheelCountsOnlyTheSign()
    {
        QCOMPARE(wheelCommandFor(0.01), WheelCommand::SeekForward);
        QCOMPARE(wheelCommandFor(-960), WheelCommand::SeekBackward);
        QCOMPARE(wheelCommandFor(0.0), WheelCommand::None);
        QCOMPARE(wheelCommandFor(-0.0), WheelCommand::None);
        QCOMPARE(wheelCommandFor(std::numeric_limits<double>::quiet_NaN()), WheelCommand::None);

        auto delta = [](QPoint pixels, QPoint angle) {
            return verticalWheelDelta(QWheelEvent(QPointF(), QPointF(), pixels, angle, Qt::NoButton, Qt::NoModifier,
                                                  Qt::NoScrollPhase, false));
        };
        QCOMPARE(delta(QPoint(0, 4), QPoint(0, -120)), -120.0);  // angles first
        QCOMPARE(delta(QPoint(0, -7), QPoint()), -7.0);           // a touchpad's pixels
        QCOMPARE(delta(QPoint(30, 0), QPoint(120, 0)), 0.0);      // horizontal only
    }

    void textEntriesAreFieldsOneTypesInto()
    {
        QWidget window;
        QVERIFY(isTextEntry(new QLineEdit(&window)));
        QVERIFY(isTextEntry(new QPlainTextEdit(&window)));
        QVERIFY(isTextEntry(new QTextEdit(&window)));
        QVERIFY(isTextEntry(new QSpinBox(&window)));
        auto* imeWidget = new QWidget(&window);
        imeWidget->setAttribute(Qt::WA_InputMethodEnabled);
        QVERIFY(isTextEntry(imeWidget));

        auto* readOnlyField = new QLineEdit(&window);
        readOnlyField->setReadOnly(true);
        auto* guideText = new QTextEdit(&window);
        guideText->setReadOnly(true);
        QVERIFY(!isTextEntry(readOnlyField));
        QVERIFY(!isTextEntry(guideText));
        QVERIFY(!isTextEntry(new QPushButton(&window)));
        QVERIFY(!isTextEntry(&window));
        QVERIFY(!isTextEntry(nullptr));
    }

    void seekByStartsFromThePublishedPosition()
    {
        TemporaryDefaults defaults;
        ContentState state(defaults.store());
        AudioPlayer& engine = state.audioPlayer();
        CommandHandlers handlers(state);
        Log::Capture log;
        engine.setCurrentTime(1.5);
        QVERIFY(!handlers.seekBy(1));  // no track
        QCOMPARE(engine.currentTime(), 1.5);
        QVERIFY(log.lines().isEmpty());

        engine.setPlaylist({fixtureUrl(QStringLiteral("sine-5s.mp3"))});
        engine.playTrack(0);
        engine.togglePlayPause();
        engine.seek(0);
        log.clear();
        // The player sits at 0, but the user sees 3.
        engine.setCurrentTime(3);
        QVERIFY(handlers.seekBy(0.25));
        QCOMPARE(engine.player()->currentTime(), 3.25);
        QVERIFY(handlers.seekBy(std::numeric_limits<double>::quiet_NaN()));
        QCOMPARE(engine.currentTime(), 0.0);
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("Seek to: 3.25"), QStringLiteral("Seek to: 0.0")}));
    }
};

QTEST_MAIN(InputCommandsTest)
#include "tst_input_commands.moc"
