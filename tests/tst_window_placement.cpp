// The main window opens the way it was left: its size, place and maximised
// state, on the same screen while that screen is there; anything else opens
// it as on a first start.

#include "app/ContentView.h"
#include "app/RivetoneApp.h"
#include "app/WindowPlacement.h"
#include "base/Log.h"
#include "TestSupport.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QString screenName()
{
    return QGuiApplication::primaryScreen()->name();
}

QRect freeArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// One start of the program over a settings file that outlives it.
struct Start {
    explicit Start(const QString& settings)
        : app(std::make_unique<RivetoneApp>(settings))
    {
        app->showMainWindow();
    }
    ContentView& window() { return app->mainWindow(); }
    // Closes the window as the user does, then quits.
    void close()
    {
        window().close();
        app.reset();
    }
    Log::Capture log;
    std::unique_ptr<RivetoneApp> app;
};

}  // namespace

class WindowPlacementTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    int m_files = 0;

    QString freshSettings() { return m_folder.filePath(QStringLiteral("%1/Rivetone.ini").arg(++m_files)); }

private slots:
    // Left at a place and size of its own, then maximised: it opens
    // maximised (and comes back so from the task bar), and goes back to that
    // place; the other keys are untouched.
    void aClosedWindowOpensAgainAsItWasLeft()
    {
        const QString settings = freshSettings();
        QRect normal;
        {
            Start start(settings);
            normal = QRect(freeArea().topLeft() + QPoint(30, 20), start.window().minimumSize() + QSize(24, 12));
            start.window().setGeometry(normal);
            QTRY_COMPARE(start.window().geometry(), normal);
            start.window().showMaximized();
            QTRY_VERIFY(start.window().isMaximized());
            start.close();
        }
        {
            DefaultsStore store(settings);
            QCOMPARE(store.data(ContentState::playlistsKey), std::optional<QByteArray>("{}"));
            QVERIFY(!store.contains(ContentState::seekIntervalKey));
        }
        Start again(settings);
        QTRY_VERIFY(again.window().isMaximized());
        // Minimised, then raised (files handed over, the desktop's Raise): maximised still.
        again.window().setWindowState(again.window().windowState() | Qt::WindowMinimized);
        QTRY_VERIFY(again.window().isMinimized());
        again.app->raiseMainWindow();
        QTRY_VERIFY(!again.window().isMinimized());
        QVERIFY(again.window().isMaximized());
        again.window().showNormal();
        QTRY_COMPARE(again.window().geometry(), normal);
        QVERIFY(again.log.lines().filter(QStringLiteral("window")).isEmpty());
    }

    // Kept a moment after it was moved, with the window still open: a
    // display that goes away ends the program with neither a close nor a
    // quit.
    void aMovedWindowsPlaceIsKeptWhileItIsOpen()
    {
        const QString settings = freshSettings();
        Start start(settings);
        const QRect moved(freeArea().topLeft() + QPoint(40, 30), start.window().minimumSize() + QSize(16, 8));
        start.window().setGeometry(moved);
        QTRY_COMPARE(start.window().geometry(), moved);
        const auto stored = [&settings] {
            return WindowPlacement::decode(DefaultsStore(settings).data(WindowPlacement::key).value_or(QByteArray()));
        };
        QTRY_VERIFY_WITH_TIMEOUT(stored() && stored()->geometry == moved, 5000);
        QCOMPARE(stored()->maximized, false);
    }

    // Stored for a place now off the screen and larger than it: the window
    // is kept inside the screen's free area.
    void aWindowIsKeptOnItsScreen()
    {
        const QString settings = freshSettings();
        DefaultsStore(settings).setData(
            WindowPlacement::key,
            WindowPlacement{screenName(), QRect(freeArea().bottomRight() + QPoint(500, 500), QSize(freeArea().width() + 300, 500)), false}
                .encode());
        Start start(settings);
        QVERIFY(freeArea().contains(start.window().geometry()));
        QCOMPARE(start.window().size(), QSize(freeArea().width(), 500));
    }

    // A screen that is gone, or a value that cannot be read, gives the first
    // start's window; a damaged value is said in one line, and closing
    // stores a good one in its place.
    void otherwiseTheWindowOpensAsOnAFirstStart_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("lines");
        const QRect somewhere(freeArea().topLeft() + QPoint(30, 20), freeArea().size() - QSize(60, 40));
        const QByteArray good = WindowPlacement{screenName(), somewhere, false}.encode();
        QTest::newRow("screen gone") << WindowPlacement{QStringLiteral("GONE-9"), somewhere, true}.encode() << 0;
        QTest::newRow("not JSON") << good.left(good.size() - 1) << 1;
        QTest::newRow("no width") << QByteArray(good).replace("\"width\"", "\"wide\"") << 1;
        QTest::newRow("no height") << QByteArray(good).replace("\"height\":" + QByteArray::number(somewhere.height()), "\"height\":0") << 1;
        QTest::newRow("a fraction") << QByteArray(good).replace("\"y\":", "\"y\":0.5,\"_\":") << 1;
        QTest::newRow("beyond an int") << QByteArray(good).replace("\"x\":", "\"x\":1e10,\"_\":") << 1;
    }

    void otherwiseTheWindowOpensAsOnAFirstStart()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, lines);
        const QString settings = freshSettings();
        DefaultsStore(settings).setData(WindowPlacement::key, stored);
        Start start(settings);
        QCOMPARE(start.window().size(), start.window().firstWindowSize());
        QVERIFY(!start.window().isMaximized());
        QCOMPARE(start.log.lines().filter(QStringLiteral("window geometry")).size(), lines);
        start.close();
        QVERIFY(WindowPlacement::decode(DefaultsStore(settings).data(WindowPlacement::key).value_or("")));
    }

    // On a small screen at a large scale (1024x600 at 150 %: 683x400), the
    // first window keeps within the free area, no smaller than it can be.
    void theFirstSizeKeepsToTheScreen()
    {
        const QSize designed(732, 480), least(608, 289);
        QCOMPARE(WindowPlacement::firstSizeWithin(designed, least, QRect(0, 0, 1920, 1080)), designed);
        QCOMPARE(WindowPlacement::firstSizeWithin(designed, least, QRect(0, 27, 683, 373)), QSize(683, 373));
        QCOMPARE(WindowPlacement::firstSizeWithin(designed, least, QRect(0, 0, 400, 250)), least);
    }
};

QTEST_MAIN(WindowPlacementTest)
#include "tst_window_placement.moc"
