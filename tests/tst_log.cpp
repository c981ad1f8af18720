#include "engine/Log.h"

#include <QTest>

#include <cstdlib>
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
        QTest::newRow("tenths") << 3.2 << "3.2";
        QTest::newRow("sum that is not 0.3") << 0.1 + 0.2 << "0.30000000000000004";
        QTest::newRow("negative") << -3.0 << "-3.0";
        QTest::newRow("small fixed") << 0.0001 << "0.0001";
        QTest::newRow("tiny") << 0.00001 << "1e-05";
        QTest::newRow("tiny with digits") << 0.000015 << "1.5e-05";
        QTest::newRow("tiny negative") << -0.00002 << "-2e-05";
        QTest::newRow("large fixed") << 1234567890123456.0 << "1234567890123456.0";
        QTest::newRow("huge") << 1e16 << "1e+16";
        QTest::newRow("below tick") << 0.01 << "0.01";
        QTest::newRow("ten hours") << 36000.25 << "36000.25";
    }

    void doublesReadBackExactly()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        const QString formatted = Log::formatDouble(value);
        QCOMPARE(formatted, text);
        QCOMPARE(std::strtod(formatted.toUtf8().constData(), nullptr), value);
    }

    void nonFiniteValuesHaveNames()
    {
        QCOMPARE(Log::formatDouble(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("nan"));
        QCOMPARE(Log::formatDouble(std::numeric_limits<double>::infinity()), QStringLiteral("inf"));
        QCOMPARE(Log::formatDouble(-std::numeric_limits<double>::infinity()), QStringLiteral("-inf"));
    }

    void nameListsQuoteAndEscapeEachItem()
    {
        QCOMPARE(Log::formatNameList({}), QStringLiteral("[]"));
        QCOMPARE(Log::formatNameList({QStringLiteral("Drills"), QString()}), QStringLiteral("[\"Drills\", \"\"]"));
        QCOMPARE(Log::formatNameList({QStringLiteral("say \"hi\"\\now")}),
                 QStringLiteral("[\"say \\\"hi\\\"\\\\now\"]"));
        QCOMPARE(Log::formatNameList({QStringLiteral("a\tb\nc\rd")}), QStringLiteral("[\"a\\tb\\nc\\rd\"]"));
        QCOMPARE(Log::formatNameList({QString(QChar(0x1B))}), QStringLiteral("[\"\\u{1b}\"]"));
        // Letters beyond ASCII stay as they are.
        const QString hangul = QStringLiteral("듣기 연습 🎧");
        QCOMPARE(Log::formatNameList({hangul}), QStringLiteral("[\"") + hangul + QStringLiteral("\"]"));
    }

    void capturesCollectWholeLinesAndNest()
    {
        Log::Capture outer;
        Log::line(QStringLiteral("first"));
        {
            Log::Capture inner;
            Log::line(QStringLiteral("second"));
            QCOMPARE(inner.lines(), QStringList{QStringLiteral("second")});
        }
        Log::line(QStringLiteral("third"));
        QCOMPARE(outer.lines(), (QStringList{QStringLiteral("first"), QStringLiteral("third")}));
    }
};

QTEST_GUILESS_MAIN(LogTest)
#include "tst_log.moc"
