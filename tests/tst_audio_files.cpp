// Which files a folder gives, and in what order: audio told by name as the
// Add Files dialog tells it, numbers by value, sub-folders in their place.

#include "library/AudioFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Empty files under a temporary root, made from relative paths.
struct Tree {
    explicit Tree(const QStringList& files)
    {
        for (const QString& file : files) {
            QDir().mkpath(QFileInfo(path(file)).absolutePath());
            QFile(path(file)).open(QIODevice::WriteOnly);
        }
    }
    QString path(const QString& relative) const { return QDir::cleanPath(root.filePath(relative)); }
    QStringList relative(const QStringList& paths) const
    {
        QStringList result;
        for (const QString& p : paths)
            result << QDir(root.path()).relativeFilePath(p);
        return result;
    }
    QTemporaryDir root;
};

}  // namespace

class AudioFilesTest : public QObject {
    Q_OBJECT

private slots:
    void numbersSortByValueAndFoldersByTheirNames()
    {
        QStringList paths{"/l/Lesson 10.mp3", "/l/Unit 10/a.mp3", "/l/Unit 2/b.mp3", "/l/lesson 3.mp3",
                          "/l/Lesson 2.mp3",  "/l/Unit 2.mp3"};
        AudioFiles::sortNaturally(paths);
        QCOMPARE(paths, (QStringList{"/l/Lesson 2.mp3", "/l/lesson 3.mp3", "/l/Lesson 10.mp3", "/l/Unit 2/b.mp3",
                                     "/l/Unit 2.mp3", "/l/Unit 10/a.mp3"}));
        // A lesson before its parts, whatever joins them to its name; a
        // folder's name whole, dots and all; one order between files and
        // folders beside them (sorted from every starting order, which a
        // comparison that is no order would not give).
        QStringList parts{"/u/Unit 1-2.mp3", "/u/Unit 1 (2).mp3", "/u/Unit 1.mp3", "/u/Unit 1-3/a.mp3",
                          "/u/1.2 Verbs/a.mp3", "/u/1 Intro/a.mp3"};
        std::sort(parts.begin(), parts.end());
        const QStringList partsInOrder{"/u/1 Intro/a.mp3", "/u/1.2 Verbs/a.mp3", "/u/Unit 1.mp3", "/u/Unit 1 (2).mp3",
                                       "/u/Unit 1-2.mp3", "/u/Unit 1-3/a.mp3"};
        do {
            QStringList sorted = parts;
            AudioFiles::sortNaturally(sorted, QLocale(QLocale::English));
            QCOMPARE(sorted, partsInOrder);
        } while (std::next_permutation(parts.begin(), parts.end()));
        // Folders whose names collate alike keep their files together.
        QStringList alike{"/v/Unit 1/b.mp3", "/v/Unit 01/a.mp3", "/v/Unit 1/a.mp3", "/v/Unit 01/b.mp3"};
        AudioFiles::sortNaturally(alike, QLocale(QLocale::English));
        QCOMPARE(alike, (QStringList{"/v/Unit 01/a.mp3", "/v/Unit 01/b.mp3", "/v/Unit 1/a.mp3", "/v/Unit 1/b.mp3"}));
        // Started without a language (the C locale), numbers still go by value.
        const QLocale before;
        QLocale::setDefault(QLocale::c());
        QStringList lessons{"/Lesson 10.mp3", "/Lesson 9.mp3"};
        AudioFiles::sortNaturally(lessons);
        QLocale::setDefault(before);
        QCOMPARE(lessons.first(), QStringLiteral("/Lesson 9.mp3"));
    }

    // Audio told by name in any case, as the Add Files dialog tells it; hidden
    // entries are left out; a link back up the tree is not followed, a link
    // to a file is that file.
    void aFolderGivesItsAudioWithItsSubFolders()
    {
        const Tree tree({"Course/Lesson 10.mp3", "Course/Lesson 2.MP3", "Course/notes.txt", "Course/Unit 2/Talk.m4a",
                         "Course/Book.M4B", "Course/song.mp3.txt", "Course/a.ogg", "Course/.cache/hidden.mp3",
                         "Course/.secret.mp3", "Loose/Extra 1.m4a"});
        QVERIFY(QFile::link(tree.path("Course"), tree.path("Course/Unit 2/loop")));
        QVERIFY(QFile::link(tree.path("Loose/Extra 1.m4a"), tree.path("Course/Linked.m4a")));
        // A link beside the file it leads to is that file again: one track,
        // by the file's own name, whichever the look meets first.
        QVERIFY(QFile::link(tree.path("Course/Lesson 2.MP3"), tree.path("Course/A link to lesson 2.mp3")));
        QVERIFY(QFile::link(tree.path("Course/Lesson 2.MP3"), tree.path("Course/Z link to lesson 2.mp3")));

        const AudioFiles::Found found = AudioFiles::collect({tree.path("Course")}, AudioFiles::NameFilter());
        QCOMPARE(tree.relative(found.files), (QStringList{"Course/Book.M4B", "Course/Lesson 2.MP3", "Course/Lesson 10.mp3",
                                                          "Course/Linked.m4a", "Course/Unit 2/Talk.m4a"}));
        QCOMPARE(found.skipped, 3);
        // The folder given again through a link: its files by their own paths.
        QVERIFY(QFile::link(tree.path("Course"), tree.path("Course again")));
        const AudioFiles::Found twice = AudioFiles::collect({tree.path("Course"), tree.path("Course again")}, AudioFiles::NameFilter());
        QCOMPARE(twice.files, found.files);
        QCOMPARE(AudioFiles::playlistNameFor(found.namingFolder), QStringLiteral("Course"));
        QCOMPARE(AudioFiles::playlistNameFor(QStringLiteral("/x/Unit 1 ")), QStringLiteral("Unit 1"));
        QCOMPARE(AudioFiles::playlistNameFor(QStringLiteral("/x/ ")), QStringLiteral("/x/"));
    }

    // Names that are not UTF-8 (Korean in CP949, as an old archive unpacks)
    // cannot be held in a path here: the audio they keep out of reach is
    // counted, never taken as found, however deep; the rest comes as ever.
    void audioBehindNamesNotInUtf8IsCountedNotLost()
    {
        const Tree tree({"Course/Lesson 1.mp3", "Course/Unit 2/Talk.m4a"});
        const QByteArray course = QFile::encodeName(tree.path("Course"));
        const QByteArray korean("\xc7\xd1\xb1\xb9\xbe\xee");  // in CP949
        const auto make = [](const QByteArray& path) {
            if (path.endsWith('/'))
                return ::mkdir(path.constData(), 0700) == 0;
            const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0600);
            return fd >= 0 && ::close(fd) == 0;
        };
        for (const QByteArray& made : {course + "/" + korean + ".mp3",  // counted
                                       course + "/" + korean + ".txt",  // no audio
                                       course + "/." + korean + ".mp3",  // hidden
                                       course + "/Unit 2/" + korean + " 2.m4a",  // counted, a level down
                                       course + "/" + korean + " 1/",  // a folder: all its audio is out of reach
                                       course + "/" + korean + " 1/01.mp3", course + "/" + korean + " 1/notes.txt",
                                       course + "/" + korean + " 1/Part 2/", course + "/" + korean + " 1/Part 2/02.MP3",
                                       // Latin-1, its one odd byte last: a sequence cut short
                                       course + "/Caf\xe9/", course + "/Caf\xe9/01.mp3"})
            QVERIFY2(make(made), made.constData());
        // Two names of one file: the walk would add both.
        QVERIFY(::link((course + "/" + korean + ".mp3").constData(), (course + "/" + korean + " again.mp3").constData()) == 0);
        // A link to a folder is not followed, whatever its name.
        QVERIFY(::symlink((course + "/Unit 2").constData(), (course + "/" + korean + " link").constData()) == 0);

        const AudioFiles::Found found = AudioFiles::collect({tree.path("Course")}, AudioFiles::NameFilter());
        QCOMPARE(tree.relative(found.files), (QStringList{"Course/Lesson 1.mp3", "Course/Unit 2/Talk.m4a"}));
        QCOMPARE(found.namesNotInUtf8, 6);
        // A folder given twice, or inside another one given, counts once.
        QCOMPARE(AudioFiles::collect({tree.path("Course"), tree.path("Course/Unit 2"), tree.path("Course")},
                                     AudioFiles::NameFilter())
                     .namesNotInUtf8,
                 6);
        // Given as the bytes of its path (a dropped folder of such a name):
        // counted, and once, with the folder it lies in given too or not.
        const AudioFiles::NameFilter filter;
        const QByteArray outOfReachFolder = course + "/" + korean + " 1";
        QCOMPARE(AudioFiles::collect({}, filter, {}, QLocale(), {outOfReachFolder}).namesNotInUtf8, 2);
        QCOMPARE(AudioFiles::collect({}, filter, {}, QLocale(), {course + "/" + korean + ".mp3"}).namesNotInUtf8, 1);
        QCOMPARE(AudioFiles::collect({tree.path("Course")}, filter, {}, QLocale(),
                                     {outOfReachFolder, outOfReachFolder, course + "/" + korean + ".mp3"})
                     .namesNotInUtf8,
                 6);
        // A NUL ends the path early: it names nothing, not the folder before it.
        QCOMPARE(AudioFiles::collect({}, filter, {}, QLocale(), {course + QByteArray("\0\xff", 2)}).namesNotInUtf8, 0);

        // A look told to stop stops, in a large folder out of reach too, and
        // in a tree of folders without a file.
        for (int i = 0; i < 20; ++i)
            QVERIFY(make(outOfReachFolder + "/Part 2/" + QByteArray::number(i) + ".mp3"));
        for (QByteArray empty = course + "/Empty"; empty.size() < course.size() + 30 * 3; empty += "/e")
            QVERIFY(make(empty + "/"));
        const std::pair<QString, QList<QByteArray>> looks[] = {{tree.path("Course"), {outOfReachFolder}},
                                                               {tree.path("Course/Empty"), {}}};
        for (const auto& [given, givenNotInUtf8] : looks) {
            int asked = 0;
            const AudioFiles::Found stopped =
                AudioFiles::collect({given}, filter, [&](int) { return ++asked < 5; }, QLocale(), givenNotInUtf8);
            QVERIFY2(stopped.namesNotInUtf8 <= 4 && asked == 5,
                     qPrintable(QStringLiteral("%1 counted, asked %2 times").arg(stopped.namesNotInUtf8).arg(asked)));
        }
    }

    // Loose files name the playlist after their folder, the first folder
    // given that holds audio wins over them; a file given twice counts once.
    void givenPathsAreJoinedInOneNaturalOrder()
    {
        const Tree tree({"Empty/readme.md", "A/Lesson 3.mp3", "B/Lesson 1.mp3", "B/Lesson 20.mp3", "C/x.mp3"});
        const AudioFiles::NameFilter filter;
        const AudioFiles::Found loose = AudioFiles::collect({tree.path("B/Lesson 20.mp3"), tree.path("A/Lesson 3.mp3")}, filter);
        QCOMPARE(tree.relative(loose.files), (QStringList{"A/Lesson 3.mp3", "B/Lesson 20.mp3"}));
        QCOMPARE(loose.namingFolder, tree.path("B"));

        const AudioFiles::Found mixed = AudioFiles::collect(
            {tree.path("A/Lesson 3.mp3"), tree.path("Empty"), tree.path("C"), tree.path("B"), tree.path("B/Lesson 1.mp3")},
            filter);
        QCOMPARE(tree.relative(mixed.files), (QStringList{"A/Lesson 3.mp3", "B/Lesson 1.mp3", "B/Lesson 20.mp3", "C/x.mp3"}));
        QCOMPARE(mixed.namingFolder, tree.path("C"));
    }
};

QTEST_MAIN(AudioFilesTest)
#include "tst_audio_files.moc"
