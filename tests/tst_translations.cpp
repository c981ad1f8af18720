// The window in Korean: every text the code marks for translation has a
// Korean one, a Korean locale gets them (and other locales keep English),
// and the log lines stay as they are in every language.

#include "app/ContentView.h"
#include "app/Translations.h"
#include "base/SystemErrorText.h"
#include "library/PlaylistCodec.h"
#include "state/DrillOptions.h"
#include "ui/kit/PlainButton.h"
#include "ui/kit/TextLine.h"
#include "ui/screens/DrillRow.h"
#include "ui/screens/ImportStatus.h"
#include "ui/screens/PlayerCard.h"
#include "ui/screens/PlaylistPanel.h"
#include "ui/screens/TransportRow.h"
#include "ui/screens/UserGuideSheet.h"
#include "LibraryFixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <cerrno>

namespace {

const QString projectRoot = QStringLiteral(QT_TESTCASE_SOURCEDIR "/..");

// Source text → translation, as the Korean file holds them; a text left
// unfinished or empty in any of its contexts maps to an empty translation.
QHash<QString, QString> koreanMessages()
{
    QFile file(projectRoot + QStringLiteral("/translations/rivetone_ko.ts"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QHash<QString, QString> messages;
    QXmlStreamReader xml(&file);
    QString source;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"source") {
            source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            const bool unfinished = xml.attributes().value(QStringLiteral("type")) == QStringLiteral("unfinished");
            const QString text = unfinished ? QString() : xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            // A text marked in several places is translated in each, or not at all.
            if (!messages.contains(source) || text.isEmpty())
                messages.insert(source, text);
        }
    }
    return xml.hasError() ? QHash<QString, QString>() : messages;
}

// Every literal the sources hand to tr() or translate(), the way they are
// written there (simple escapes undone).
QSet<QString> markedTexts()
{
    static const QRegularExpression call(
        QStringLiteral(R"re(\b(?:tr|translate\("\w+",)\s*\(?\s*"((?:[^"\\]|\\.)*)")re"));
    QSet<QString> texts;
    QDirIterator files(projectRoot + QStringLiteral("/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString code = QString::fromUtf8(file.readAll());
        static const QRegularExpression more(QStringLiteral(R"re(\G\s*"((?:[^"\\]|\\.)*)")re"));
        for (const QRegularExpressionMatch& match : call.globalMatch(code)) {
            QString text = match.captured(1);
            // Literals written side by side are one text.
            for (qsizetype at = match.capturedEnd(0);;) {
                const QRegularExpressionMatch next = more.match(code, at, QRegularExpression::NormalMatch,
                                                                QRegularExpression::AnchorAtOffsetMatchOption);
                if (!next.hasMatch())
                    break;
                text += next.captured(1);
                at = next.capturedEnd(0);
            }
            text.replace(QStringLiteral("\\n"), QStringLiteral("\n")).replace(QStringLiteral("\\\""), QStringLiteral("\""));
            texts.insert(text.replace(QStringLiteral("\\\\"), QStringLiteral("\\")));
        }
    }
    return texts;
}

}  // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

private slots:
    void everyMarkedTextHasAKoreanOne()
    {
        const QHash<QString, QString> korean = koreanMessages();
        QVERIFY(korean.size() > 50);
        const QSet<QString> marked = markedTexts();
        QVERIFY(marked.size() > 50);
        for (const QString& text : marked)
            QVERIFY2(!korean.value(text).isEmpty(), qPrintable(QStringLiteral("no Korean for: ") + text));
        // A particle whose form follows the sound before it (로/으로, 를/을
        // ...) cannot be joined straight to a number or a name: "구간 3로" is
        // wrong where "구간 2로" is right. The paired form "을(를)" may.
        static const QRegularExpression joinedParticle(QStringLiteral("%(?:\\d|n)(?:으로|로|을|를|이|가|은|는|과|와)(?!\\()"));
        for (const QString& translation : korean)
            QVERIFY2(!translation.contains(joinedParticle), qPrintable(translation));
    }

    void aKoreanDesktopGetsTheWindowInKoreanAndTheSameLogLines()
    {
        {
            // English first, then Korean: English, though Korean has a file.
            QVERIFY(!Translations({QStringLiteral("en-US"), QStringLiteral("ko-KR")}).translatesRivetone());
            const Translations french({QStringLiteral("fr-FR")});
            QVERIFY(!french.translatesRivetone());
            LibraryFixture f;
            ContentView window(f.defaults.store());
            QCOMPARE(window.playlistPanel()->title()->text(), QStringLiteral("Playlists"));
            // A window already up follows a change of language, down to the
            // loop line it keeps from frame to frame.
            window.audioPlayer().setLoopStart(1.0);
            window.refresh();
            const TextLine* loopLine = window.playerCard()->drillRow()->loopLine();
            QCOMPARE(loopLine->text(), QStringLiteral("Loop 00:01.00 – "));
            QCOMPARE(window.playerCard()->drillRow()->passesButton()->text(), QStringLiteral("Passes ∞"));
            const Translations korean({QStringLiteral("ko-KR")});
            QEvent changed(QEvent::LanguageChange);  // as a running application sends it
            QCoreApplication::sendEvent(qApp, &changed);
            QCoreApplication::processEvents();
            window.refresh();
            QCOMPARE(loopLine->text(), QStringLiteral("구간 00:01.00 – "));
            QCOMPARE(window.playerCard()->drillRow()->passesButton()->text(), QStringLiteral("반복 ∞"));
        }
        // A language without a file is passed over for the next one.
        const Translations korean({QStringLiteral("fr-FR"), QStringLiteral("ko-KR")});
        QVERIFY(korean.translatesRivetone());
        LibraryFixture f;
        ContentView window(f.defaults.store());
        QCOMPARE(window.playlistPanel()->title()->text(), QStringLiteral("재생목록"));
        QCOMPARE(window.playlistPanel()->addFilesButton()->text(), QStringLiteral("파일 추가"));
        QCOMPARE(window.transportRow()->playPauseButton()->text(), QStringLiteral("재생"));
        QCOMPARE(window.userGuideSheet()->closeButton()->text(), QStringLiteral("닫기"));
        QCOMPARE(window.userGuideSheet()->seekIntervalRow()->text(), QStringLiteral("이동 간격: 2초"));
        QCOMPARE(QCoreApplication::translate("DrillRow", "%n passes", nullptr, 3), QStringLiteral("3회"));
        QCOMPARE(QCoreApplication::translate("DrillRow", "1 pass"), QStringLiteral("1회"));

        // The import note is pieced together from its parts: the first reads
        // as one of a list, not as a finished sentence with more after it.
        const auto outcome = [](int added, int alreadyListed, int namesNotInUtf8, int unreadableFolders) {
            return FileImport::Outcome{QStringLiteral("Lessons"), added, alreadyListed, 0, namesNotInUtf8, unreadableFolders};
        };
        FileImport::Outcome notAudio = outcome(2, 0, 0, 0);
        notAudio.givenNotAudio = 3;
        for (const FileImport::Outcome& joined : {outcome(1, 3, 0, 0), outcome(4, 0, 2, 1), outcome(0, 2, 1, 2), outcome(0, 0, 2, 1), notAudio}) {
            const QString note = ImportStatus::outcomeText(joined);
            QVERIFY2(note.contains(QStringLiteral(", ")) && !note.contains(QRegularExpression(QStringLiteral("다[,;]"))),
                     qPrintable(note));
        }

        // Why a save failed, as the settings store tells it: in Korean in the
        // note, in English in the log.
        QTemporaryDir folder;
        const QString settingsFolder = folder.filePath(QStringLiteral("Rivetone"));
        const QString path = settingsFolder + QStringLiteral("/Rivetone.ini");
        QStringList notes;
        const auto noteOfAWrite = [&](const std::function<void(DefaultsStore&)>& before) {
            DefaultsStore store(path);
            before(store);
            const std::optional<DefaultsStore::Outcome> outcome = store.outcome(store.setData(QStringLiteral("x"), "y"), std::chrono::seconds(10));
            QVERIFY(outcome && !outcome->ok);
            QVERIFY(outcome->error.startsWith(QStringLiteral("cannot write ")));
            notes << ImportStatus::saveProblemText(outcome->error, path);
        };
        QVERIFY(QFile(settingsFolder).open(QIODevice::WriteOnly));  // a file where the folder goes
        noteOfAWrite([](DefaultsStore&) {});
        QVERIFY(QFile::remove(settingsFolder) && QDir().mkpath(path));  // a folder where the file goes
        noteOfAWrite([](DefaultsStore&) {});
        QVERIFY(QDir().rmdir(path));
        noteOfAWrite([](DefaultsStore& store) { store.cutWritesForTesting(10); });
        // (One the store cannot make here, as root reads any file.)
        notes << ImportStatus::saveProblemText(QStringLiteral("cannot write %1: it could not be read at start (the settings "
                                                             "reader could not open it), and a write would replace what it holds")
                                                   .arg(path),
                                               path);
        QCOMPARE(notes.size(), 4);
        for (const QString& note : notes) {
            QVERIFY2(note.startsWith(QStringLiteral("저장하지 못했습니다: ")), qPrintable(note));
            QVERIFY2(!QString(note).remove(settingsFolder).contains(QRegularExpression(QStringLiteral("[A-Za-z]"))),
                     qPrintable(note));
        }

        // Why stored text is not JSON goes into a log line: in English,
        // though Qt's own texts are Korean now.
        QVERIFY(QCoreApplication::translate("QJsonParseError", "unterminated object") != QStringLiteral("unterminated object"));
        QCOMPARE(PlaylistCodec::decode("{\"Drills\": [], ").error, QStringLiteral("not JSON: unterminated object at byte 15"));
        // So is why a file could not be opened or written (Qt words the
        // commonest reasons itself): the settings store's lines, the phrase
        // maps' cache.
        const QString inMissingFolder = QDir::temp().filePath(QStringLiteral("rivetone-no-such-folder/Rivetone.ini"));
        QFile reading(inMissingFolder);
        errno = 0;
        QVERIFY(!reading.open(QIODevice::ReadOnly));
        const int readingError = errno;
        QVERIFY2(reading.errorString() != QStringLiteral("No such file or directory"), qPrintable(reading.errorString()));
        QCOMPARE(fileErrorText(reading, readingError), QStringLiteral("No such file or directory"));
        QSaveFile writing(inMissingFolder);
        errno = 0;
        QVERIFY(!writing.open(QIODevice::WriteOnly));
        QCOMPARE(fileErrorText(writing, errno), QStringLiteral("No such file or directory"));

        f.log.clear();
        DrillOptions::setPause(*f.state, {PassPause::Kind::LoopLength, 0});
        DrillOptions::setPasses(*f.state, 0);
        QCOMPARE(f.log.lines(), (QStringList{QStringLiteral("Pause between passes set to: Loop"),
                                             QStringLiteral("Passes per loop set to: ∞")}));
    }
};

QTEST_MAIN(TranslationsTest)
#include "tst_translations.moc"
