#include "library/PlaylistCodec.h"
#include "state/Playlists.h"

#include <QTest>

namespace {

Playlists decoded(const QByteArray& text)
{
    const PlaylistCodec::Decoded result = PlaylistCodec::decode(text);
    if (!result.playlists)
        qWarning("does not decode: %s", qPrintable(result.error));
    return result.playlists.value_or(Playlists());
}

}  // namespace

// The stored form of the library, and the names it is keyed by.
class PlaylistCodecTest : public QObject {
    Q_OBJECT

private slots:
    // Each path serves as a playlist name too: quotes, backslashes and control
    // characters must survive as JSON member names, spellings unchanged.
    void urlsAndNamesSurviveStoringExactly_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("space, percent, escape look-alike") << "/home/learner/Unit 1 100% %41%zz.mp3";
        QTest::newRow("hash, question mark, sub-delimiters") << "/home/learner/Q&A #3?;=+$,@!*():~.m4a";
        QTest::newRow("quotes, brackets, backslash") << "/home/learner/\"say\" 'it' [1]{2}|^`<>\\.mp3";
        QTest::newRow("hangul, emoji, combining mark") << "/home/learner/한국어 듣기/🎧 1과 🇰🇷 Cafe\u0301.m4a";
        QTest::newRow("control characters, unicode spaces") << "/home/learner/\x01tab\there\n\u00a0\u3000\x7f.mp3";
    }

    void urlsAndNamesSurviveStoringExactly()
    {
        QFETCH(QString, path);
        const Track track = QUrl::fromLocalFile(path);
        const QString text = PlaylistCodec::trackToString(track);
        for (const QChar c : text)  // percent-escaped: printable ASCII, no spaces
            QVERIFY2(c.unicode() > 0x20 && c.unicode() < 0x7f, qPrintable(text));
        Playlists playlists;
        playlists.insert(path, {track});
        const Playlists back = decoded(PlaylistCodec::encode(playlists));
        QCOMPARE(back.names(), QStringList{path});
        QCOMPARE(back.tracks(path), TrackList{track});
        QCOMPARE(back.tracks(path).first().toLocalFile(), path);
    }

    void storedFormIsCompactJsonOfAbsoluteStrings()
    {
        Playlists playlists;
        playlists.insert(QStringLiteral("Songs"), {});
        playlists.insert(QStringLiteral("Drills"), {QUrl::fromLocalFile(QStringLiteral("/home/learner/Unit 1.mp3")),
                                                    QUrl::fromLocalFile(QStringLiteral("/home/learner/Unit 2.m4a"))});
        QCOMPARE(PlaylistCodec::encode(playlists), QByteArray("{\"Drills\":[\"file:///home/learner/Unit%201.mp3\","
                                                              "\"file:///home/learner/Unit%202.m4a\"],\"Songs\":[]}"));
        QCOMPARE(PlaylistCodec::encode(Playlists()), QByteArray("{}"));
    }

    // Any JSON of the shape reads (a byte-order mark, spacing, escapes).
    // What a person editing the file may have written and cannot mean
    // anything else is read too (a space or a bare "%" in a file URL, a plain
    // absolute path); what cannot be read at all is reported, never dropped
    // unseen; members under one name are joined, none lost.
    void readerTakesAnyJsonOfTheShapeAndReportsWhatItCannotRead()
    {
        const PlaylistCodec::Decoded result = PlaylistCodec::decode(
            "\xef\xbb\xbf \n{ \"\\ud55c\\uae00\" : [ \"file:\\/\\/\\/1.mp3\",\"file:///a b.mp3\",\"\","
            "\"file:///100%.mp3\",\"/home/u/Unit 2.mp3\",\"/home/u/Unit3.mp3\",\"/home/u/a#b.mp3\",\"http://[::1\",\"::\",\"file:///2.mp3\","
            "\"relative/3.mp3\"], \"Drills\": [\"file:///x.mp3\"], \"Drills\": [\"file:///y.mp3\"]}\n");
        QVERIFY(result.playlists);
        QCOMPARE(result.playlists->tracks(QStringLiteral("한글")),
                 (TrackList{QUrl(QStringLiteral("file:///1.mp3")), QUrl::fromLocalFile(QStringLiteral("/a b.mp3")),
                            QUrl::fromLocalFile(QStringLiteral("/100%.mp3")),
                            QUrl::fromLocalFile(QStringLiteral("/home/u/Unit 2.mp3")),
                            QUrl::fromLocalFile(QStringLiteral("/home/u/Unit3.mp3")),
                            QUrl::fromLocalFile(QStringLiteral("/home/u/a#b.mp3")),
                            QUrl(QStringLiteral("file:///2.mp3")), QUrl(QStringLiteral("relative/3.mp3"))}));
        QCOMPARE(result.unreadableTracks.value(QStringLiteral("한글")),
                 (QStringList{QString(), QStringLiteral("http://[::1"), QStringLiteral("::")}));
        QCOMPARE(result.playlists->tracks(QStringLiteral("Drills")),
                 (TrackList{QUrl(QStringLiteral("file:///x.mp3")), QUrl(QStringLiteral("file:///y.mp3"))}));
        QCOMPARE(result.joinedNames, QStringList{QStringLiteral("Drills")});
    }

    void otherShapesFailAsAWhole_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("invalid UTF-8") << QByteArray("{\"\xff\":[]}") << "not JSON";
        QTest::newRow("array") << QByteArray("[[\"file:///a.mp3\"]]") << "found an array";
        QTest::newRow("string") << QByteArray("\"file:///a.mp3\"") << "found a string";
        QTest::newRow("member is a string") << QByteArray("{\"A\":[],\"P\":\"file:///a.mp3\"}") << "playlist \"P\"";
        QTest::newRow("item is a number") << QByteArray("{\"P\":[\"file:///a.mp3\",7]}") << "item 2";
    }

    void otherShapesFailAsAWhole()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        const PlaylistCodec::Decoded result = PlaylistCodec::decode(text);
        QVERIFY(!result.playlists);
        QVERIFY2(result.error.contains(reason), qPrintable(result.error));
    }

    void namesAreOneUnderCanonicalEquivalence()
    {
        // Two stored spellings of one name: joined, no track lost.
        const Playlists joined = decoded("{\"e\\u0301\":[\"file:///1.mp3\"],\"\\u00e9\":[\"file:///2.mp3\"]}");
        QCOMPARE(joined.tracks(QStringLiteral("\u00e9")).size(), 2);

        Playlists playlists;
        playlists.insert(QStringLiteral("Cafe\u0301"), {QUrl(QStringLiteral("file:///1.mp3"))});
        playlists.insert(QStringLiteral("Caf\u00e9"), {});
        QCOMPARE(playlists.names(), QStringList{QStringLiteral("Cafe\u0301")});  // first spelling kept
        QCOMPARE(playlists.storedName(QStringLiteral("Caf\u00e9")), QStringLiteral("Cafe\u0301"));
        QVERIFY(playlists.remove(QStringLiteral("Caf\u00e9")) && playlists.isEmpty());
        PlaylistNameSet set;
        set.insert(QStringLiteral("\u1100\u1161"));  // 가 as two jamo
        QVERIFY(set.contains(QStringLiteral("\uac00")));
    }

    // U+FF21 before U+1F600, though its UTF-16 unit sorts after the surrogate;
    // e + U+0301 sorts as U+00E9, after "f".
    void namesSortByScalarValues()
    {
        QStringList names = {QStringLiteral("😀"), QStringLiteral("alpha"), QStringLiteral("e\u0301"),
                             QStringLiteral("Alpha"), QString(), QStringLiteral("\uff21"), QStringLiteral("f"),
                             QStringLiteral("alphabet")};
        std::sort(names.begin(), names.end(), PlaylistName::lessThan);
        QCOMPARE(names, (QStringList{QString(), QStringLiteral("Alpha"), QStringLiteral("alpha"),
                                     QStringLiteral("alphabet"), QStringLiteral("f"), QStringLiteral("e\u0301"),
                                     QStringLiteral("\uff21"), QStringLiteral("😀")}));
    }
};

QTEST_GUILESS_MAIN(PlaylistCodecTest)
#include "tst_playlist_codec.moc"
