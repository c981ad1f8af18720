#include "library/PlaylistCodec.h"
#include "library/Playlists.h"

#include <QTest>

// The stored form of the library, and the names it is keyed by.
class PlaylistCodecTest : public QObject {
    Q_OBJECT

private slots:
    void fileUrlsSurviveStoringExactly_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("space") << "/home/learner/Unit 1.mp3";
        QTest::newRow("percent") << "/home/learner/100% sure.mp3";
        QTest::newRow("escape look-alike") << "/home/learner/%41%zz.mp3";
        QTest::newRow("hash and question mark") << "/home/learner/Q&A #3?.m4a";
        QTest::newRow("quotes") << "/home/learner/\"say\" 'it'.mp3";
        QTest::newRow("hangul") << "/home/learner/한국어 듣기/1과.m4a";
        QTest::newRow("emoji") << "/home/learner/🎧 drills 🇰🇷.mp3";
        QTest::newRow("combining mark") << "/home/learner/Cafe\u0301.mp3";
        QTest::newRow("brackets and backslash") << "/home/learner/[1]{2}|^`<>\\.mp3";
        QTest::newRow("control characters") << "/home/learner/tab\there\nline.mp3";
        QTest::newRow("unicode spaces") << "/home/learner/\u00a0\u3000.mp3";
        QTest::newRow("sub-delimiters") << "/home/learner/;=&+$,@!*():~.mp3";
    }

    void fileUrlsSurviveStoringExactly()
    {
        QFETCH(QString, path);
        const Track track = QUrl::fromLocalFile(path);
        const QString text = PlaylistCodec::trackToString(track);
        // Percent-escaped: printable ASCII without spaces only.
        for (const QChar c : text)
            QVERIFY2(c.unicode() > 0x20 && c.unicode() < 0x7f, qPrintable(text));

        Playlists playlists;
        playlists.insert(QStringLiteral("P"), {track});
        const PlaylistCodec::Decoded decoded = PlaylistCodec::decode(PlaylistCodec::encode(playlists));
        QVERIFY(decoded.playlists);
        const TrackList tracks = decoded.playlists->tracks(QStringLiteral("P"));
        QCOMPARE(tracks.size(), 1);
        QCOMPARE(tracks.first(), track);
        QCOMPARE(PlaylistCodec::trackToString(tracks.first()), text);
        QCOMPARE(tracks.first().toLocalFile(), path);
    }

    void storedFormIsCompactJsonOfAbsoluteStrings()
    {
        Playlists playlists;
        playlists.insert(QStringLiteral("Songs"), {});
        playlists.insert(QStringLiteral("Drills"), {QUrl::fromLocalFile(QStringLiteral("/home/learner/Lessons/Unit 1.mp3")),
                                                    QUrl::fromLocalFile(QStringLiteral("/home/learner/Lessons/Unit 2.m4a"))});
        QCOMPARE(PlaylistCodec::encode(playlists),
                 QByteArray("{\"Drills\":[\"file:///home/learner/Lessons/Unit%201.mp3\","
                            "\"file:///home/learner/Lessons/Unit%202.m4a\"],\"Songs\":[]}"));
        QCOMPARE(PlaylistCodec::encode(Playlists()), QByteArray("{}"));
    }

    void awkwardNamesSurviveStoring()
    {
        Playlists playlists;
        const QStringList names = {
            QString(), QStringLiteral("say \"hi\""), QStringLiteral("back\\slash/slash"),
            QStringLiteral("ctl\u0001\t\n\r\u007f"), QStringLiteral("🎧🇰🇷"), QStringLiteral("듣기 연습"),
            QStringLiteral("e\u0301 decomposed"), QStringLiteral("\u00e9 precomposed"), QString(3000, u'x'),
        };
        for (qsizetype i = 0; i < names.size(); ++i)
            playlists.insert(names[i], {QUrl::fromLocalFile(QStringLiteral("/m/%1.mp3").arg(i))});
        const PlaylistCodec::Decoded decoded = PlaylistCodec::decode(PlaylistCodec::encode(playlists));
        QVERIFY(decoded.playlists);
        QVERIFY(*decoded.playlists == playlists);  // names, spellings and tracks
        QCOMPARE(decoded.playlists->names(), playlists.names());
    }

    void readerTakesAnyJsonOfTheShape()
    {
        const QByteArray text = "\xef\xbb\xbf \n{ \"Drills\" : [ \"file:\\/\\/\\/a\\/Unit%201.mp3\" ,\n"
                                "\"file:///b.m4a\" ] , \"\" : [ ] , \"\\ud55c\\uae00 \\\"q\\\"\" : [] }\n";
        const PlaylistCodec::Decoded decoded = PlaylistCodec::decode(text);
        QVERIFY2(decoded.playlists, qPrintable(decoded.error));
        QCOMPARE(decoded.playlists->names(), (QStringList{QString(), QStringLiteral("Drills"), QStringLiteral("한글 \"q\"")}));
        QCOMPARE(decoded.playlists->tracks(QStringLiteral("Drills")),
                 (TrackList{QUrl::fromLocalFile(QStringLiteral("/a/Unit 1.mp3")), QUrl(QStringLiteral("file:///b.m4a"))}));
        QVERIFY(decoded.playlists->find(QString())->isEmpty());
    }

    void stringsThatAreNotUrlsAreLeftOutAlone()
    {
        const QByteArray text = "{\"P\":[\"file:///1.mp3\",\"file:///a b.mp3\",\"\",\"file:///bad%zz.mp3\",\"file:///c\\\\d.mp3\","
                                "\"http://[::1\",\"::\",\"file:///2.mp3\",\"relative/3.mp3\"],\"Q\":[\"not a url\"]}";
        const PlaylistCodec::Decoded decoded = PlaylistCodec::decode(text);
        QVERIFY(decoded.playlists);
        QCOMPARE(decoded.playlists->tracks(QStringLiteral("P")),
                 (TrackList{QUrl(QStringLiteral("file:///1.mp3")), QUrl(QStringLiteral("file:///2.mp3")),
                            QUrl(QStringLiteral("relative/3.mp3"))}));
        QVERIFY(decoded.playlists->contains(QStringLiteral("Q")));
        QVERIFY(decoded.playlists->find(QStringLiteral("Q"))->isEmpty());
    }

    void otherShapesFailAsAWhole_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << QByteArray() << "not JSON";
        QTest::newRow("garbage") << QByteArray("playlists") << "not JSON";
        QTest::newRow("cut short") << QByteArray("{\"P\":[\"file:///a.mp3\"") << "not JSON";
        QTest::newRow("trailing garbage") << QByteArray("{} {}") << "not JSON";
        QTest::newRow("invalid UTF-8") << QByteArray("{\"\xff\":[]}") << "not JSON";
        QTest::newRow("array") << QByteArray("[[\"file:///a.mp3\"]]") << "found an array";
        QTest::newRow("string") << QByteArray("\"file:///a.mp3\"") << "found a string";
        QTest::newRow("number") << QByteArray("42") << "found a number";
        QTest::newRow("null") << QByteArray("null") << "found null";
        QTest::newRow("member is a string") << QByteArray("{\"A\":[],\"P\":\"file:///a.mp3\"}") << "playlist \"P\"";
        QTest::newRow("member is an object") << QByteArray("{\"P\":{}}") << "found an object";
        QTest::newRow("item is a number") << QByteArray("{\"P\":[\"file:///a.mp3\",7]}") << "item 2";
        QTest::newRow("item is null") << QByteArray("{\"P\":[null]}") << "found null";
        QTest::newRow("nested array") << QByteArray("{\"P\":[[\"file:///a.mp3\"]]}") << "found an array";
    }

    void otherShapesFailAsAWhole()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        const PlaylistCodec::Decoded decoded = PlaylistCodec::decode(text);
        QVERIFY(!decoded.playlists);
        QVERIFY2(decoded.error.contains(reason), qPrintable(decoded.error));
    }

    void equivalentMemberNamesAreJoinedNotLost()
    {
        const QByteArray text = "{\"e\\u0301\":[\"file:///1.mp3\"],\"\\u00e9\":[\"file:///2.mp3\"]}";
        const PlaylistCodec::Decoded decoded = PlaylistCodec::decode(text);
        QVERIFY(decoded.playlists);
        QCOMPARE(decoded.playlists->size(), 1);
        QCOMPARE(decoded.playlists->tracks(QStringLiteral("\u00e9")).size(), 2);
    }

    void namesAreOneUnderCanonicalEquivalence()
    {
        Playlists playlists;
        playlists.insert(QStringLiteral("Cafe\u0301"), {QUrl(QStringLiteral("file:///1.mp3"))});
        QVERIFY(playlists.contains(QStringLiteral("Caf\u00e9")));
        playlists.insert(QStringLiteral("Caf\u00e9"), {});
        QCOMPARE(playlists.size(), 1);
        QCOMPARE(playlists.names(), QStringList{QStringLiteral("Cafe\u0301")});  // first spelling kept
        QCOMPARE(playlists.storedName(QStringLiteral("Caf\u00e9")), QStringLiteral("Cafe\u0301"));
        QVERIFY(playlists.remove(QStringLiteral("Caf\u00e9")));
        QVERIFY(playlists.isEmpty());

        PlaylistNameSet set;
        set.insert(QStringLiteral("\u1100\u1161"));  // 가 as two jamo
        QVERIFY(set.contains(QStringLiteral("\uac00")));
    }

    void namesSortByScalarValues()
    {
        QStringList names = {QStringLiteral("beta"), QStringLiteral("alpha"), QStringLiteral("Alpha"), QString(),
                             QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("alphabet"),
                             QStringLiteral("😀"), QStringLiteral("\uff21"), QStringLiteral("f"),
                             QStringLiteral("e\u0301")};
        std::sort(names.begin(), names.end(), PlaylistName::lessThan);
        // U+FF21 comes before U+1F600 by scalar value, though its UTF-16 unit
        // sorts after the surrogate; é sorts as U+00E9, after "f".
        QCOMPARE(names, (QStringList{QString(), QStringLiteral("10"), QStringLiteral("9"), QStringLiteral("Alpha"),
                                     QStringLiteral("alpha"), QStringLiteral("alphabet"), QStringLiteral("beta"),
                                     QStringLiteral("f"), QStringLiteral("e\u0301"), QStringLiteral("\uff21"),
                                     QStringLiteral("😀")}));
    }
};

QTEST_GUILESS_MAIN(PlaylistCodecTest)
#include "tst_playlist_codec.moc"
