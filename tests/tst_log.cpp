#include "base/Log.h"

#include <QTest>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <limits>

class LogTest : public QObject {
    Q_OBJECT

private slots:
    void doublesReadBackExactly_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0.0";
        QTest::newRow("half") << 12.5 << "12.5";
        QTest::newRow("integral") << 60.0 << "60.0";
        QTest::newRow("sum that is not 0.3") << 0.1 + 0.2 << "0.30000000000000004";
        QTest::newRow("negative") << -3.0 << "-3.0";
        QTest::newRow("small fixed") << 0.0001 << "0.0001";
        QTest::newRow("tiny") << 0.00001 << "1e-05";
        QTest::newRow("tiny with digits") << -0.000015 << "-1.5e-05";
        QTest::newRow("large fixed") << 1234567890123456.0 << "1234567890123456.0";
        QTest::newRow("huge") << 1e16 << "1e+16";
        QTest::newRow("ten hours") << 36000.25 << "36000.25";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "nan";
        QTest::newRow("inf") << std::numeric_limits<double>::infinity() << "inf";
        QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << "-inf";
    }

    void doublesReadBackExactly()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(Log::formatDouble(value), text);
        QCOMPARE(std::strtod(text.toUtf8().constData(), nullptr), value);
    }

    void nameListsQuoteAndEscapeEachItem()
    {
        QCOMPARE(Log::formatNameList({}), QStringLiteral("[]"));
        QCOMPARE(Log::formatNameList({QStringLiteral("Drills"), QString()}), QStringLiteral("[\"Drills\", \"\"]"));
        QCOMPARE(Log::formatNameList({QStringLiteral("say \"hi\"\\now")}), QStringLiteral("[\"say \\\"hi\\\"\\\\now\"]"));
        QCOMPARE(Log::formatNameList({QStringLiteral("a\tb\nc\rd")}), QStringLiteral("[\"a\\tb\\nc\\rd\"]"));
        QCOMPARE(Log::formatNameList({QString(QChar(0x1B))}), QStringLiteral("[\"\\u{1b}\"]"));
        const QString hangul = QStringLiteral("듣기 연습 🎧");  // beyond ASCII stays as it is
        QCOMPARE(Log::formatNameList({hangul}), QStringLiteral("[\"") + hangul + QStringLiteral("\"]"));
    }

    // One event is one line: a name with a line break (or any other control
    // character) in it cannot print as a second line that passes for an event.
    void controlCharactersInALineAreEscaped()
    {
        Log::Capture log;
        Log::line(QStringLiteral("Playing: new\nPlaying: forged.mp3"));
        Log::line(QStringLiteral("Added playlist: a\rb\tc") + QChar(0x2028) + QChar(0x1B) + QStringLiteral("[2Jd"));
        Log::line(QStringLiteral("Playlists saved: [\"a\\nb\"]"));  // already escaped text is left as it is
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("Playing: new\\nPlaying: forged.mp3"),
                                           QStringLiteral("Added playlist: a\\rb\\tc\\u{2028}\\u{1b}[2Jd"),
                                           QStringLiteral("Playlists saved: [\"a\\nb\"]")}));
    }

    // A line known only later keeps its place: the lines after it, from
    // any thread, wait behind it. A place let go unwritten, or held past
    // its time, holds nothing back; a text that comes after that goes out
    // where it is then, and only once.
    void aReservedPlaceKeepsTheOrder()
    {
        Log::Capture log;
        {
            auto first = std::make_unique<Log::Reserved>();
            Log::Reserved second;
            Log::line(QStringLiteral("after both"));
            std::thread other([] { Log::line(QStringLiteral("from another thread")); });
            other.join();
            QVERIFY(log.lines().isEmpty());
            second.write(QStringLiteral("second"));
            QVERIFY(log.lines().isEmpty());  // still behind the first
            first->write(QStringLiteral("first"));
            first->write(QStringLiteral("first again"));
            QCOMPARE(log.lines(), (QStringList{QStringLiteral("first"), QStringLiteral("second"),
                                               QStringLiteral("after both"), QStringLiteral("from another thread")}));
            log.clear();
            first = std::make_unique<Log::Reserved>();
            Log::line(QStringLiteral("behind a place let go"));
            first.reset();
            QCOMPARE(log.lines(), QStringList{QStringLiteral("behind a place let go")});
        }
        log.clear();
        Log::Reserved hung(std::chrono::milliseconds(30));
        Log::line(QStringLiteral("waits"));
        QVERIFY(log.lines().isEmpty());
        QTest::qWait(60);  // no other line comes meanwhile
        QCOMPARE(log.lines(), QStringList{QStringLiteral("waits")});
        auto later = std::make_unique<Log::Reserved>();
        Log::line(QStringLiteral("behind the later place"));
        hung.write(QStringLiteral("late"));  // behind that line, not ahead of it
        hung.write(QStringLiteral("late again"));
        later.reset();
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("waits"), QStringLiteral("behind the later place"),
                                           QStringLiteral("late")}));
    }

    // A line held back goes to the capture that was innermost when it was
    // written, or where that one's lines go once it is gone.
    void aHeldLineGoesWhereItWasWritten()
    {
        Log::Capture outer;
        auto place = std::make_unique<Log::Reserved>();
        Log::line(QStringLiteral("for the outer"));
        QStringList inInner;
        {
            Log::Capture inner;
            place.reset();  // let out while another capture is innermost
            inInner = inner.lines();
            place = std::make_unique<Log::Reserved>();
            Log::line(QStringLiteral("for the inner, let out once it went"));
        }
        place.reset();
        QCOMPARE(inInner, QStringList());
        QCOMPARE(outer.lines(), (QStringList{QStringLiteral("for the outer"),
                                             QStringLiteral("for the inner, let out once it went")}));
    }

    // Lines come from the decoder and writer threads while a test reads what
    // was captured so far: what it is handed stays its own as lines go on.
    void capturedLinesReadWhileAnotherThreadWrites()
    {
        Log::Capture log;
        std::atomic<bool> done = false;
        std::thread writer([&] {
            for (int number = 0; number < 3000; ++number)
                Log::line(QStringLiteral("line %1").arg(number));
            done = true;
        });
        qsizetype seen = 0;
        while (!done) {
            const QStringList lines = log.lines();
            QVERIFY(lines.size() >= seen);
            seen = lines.size();
            if (!lines.isEmpty())
                QCOMPARE(lines.last(), QStringLiteral("line %1").arg(lines.size() - 1));
        }
        writer.join();
        QCOMPARE(log.lines().size(), 3000);
    }
};

QTEST_GUILESS_MAIN(LogTest)
#include "tst_log.moc"
