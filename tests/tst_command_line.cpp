// The command line: help and version without a window, a line that cannot be
// followed refused before anything starts, and files and folders given added
// to the library and played.

#include "app/CommandLine.h"
#include "app/QuitOnSignal.h"
#include "app/Translations.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <utility>

using Action = CommandLine::Parsed::Action;

class CommandLineTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    QTemporaryDir m_home;

    static QString program() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../rivetone"); }

    // The built program over settings of its own, started in the test's folder.
    void prepare(QProcess& process, bool withDisplay)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
        if (!withDisplay) {
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                environment.remove(QString::fromLatin1(name));
        }
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_folder.path());
    }

private slots:
    void initTestCase()
    {
        QDir(m_folder.path()).mkpath(QStringLiteral("Course"));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("sine-5s.mp3")), m_folder.filePath(QStringLiteral("Course/Lesson 10.mp3"))));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("sine-5s.m4a")), m_folder.filePath(QStringLiteral("Course/Lesson 2.m4a"))));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("sine-5s.mp3")), m_folder.filePath(QStringLiteral("-dash.mp3"))));
        QFile(m_folder.filePath(QStringLiteral("notes.txt"))).open(QIODevice::WriteOnly);
        QDir(m_home.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(m_home.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Relative to where it was started, file URLs as their paths (a relative
    // one, too, one naming this machine, and one with its scheme in capitals),
    // and after "--" a name that
    // looks like an option is a file.
    void filesAndFoldersAreTakenAbsoluteInTheOrderGiven()
    {
        const CommandLine::Parsed parsed = CommandLine::parse(
            {"Course/Lesson 10.mp3", QUrl::fromLocalFile(m_folder.filePath("Course")).toString(),
             "./Course/../Course/Lesson 2.m4a", "file:Course/Lesson%202.m4a",
             "file://localhost" + m_folder.filePath("Course"), "FILE://" + m_folder.filePath("Course"), "--", "-dash.mp3"},
            m_folder.path());
        QCOMPARE(parsed.action, Action::Run);
        QCOMPARE(parsed.paths, (QStringList{m_folder.filePath("Course/Lesson 10.mp3"), m_folder.filePath("Course"),
                                            m_folder.filePath("Course/Lesson 2.m4a"),
                                            m_folder.filePath("Course/Lesson 2.m4a"), m_folder.filePath("Course"),
                                            m_folder.filePath("Course"), m_folder.filePath("-dash.mp3")}));
    }

    // Nothing (an unset variable in a script), or a file URL that names no
    // file on this machine, is refused: not taken for the working folder, nor
    // another machine's path for the same path here. In English, also where
    // the window speaks Korean: the running copy checks a later start's files
    // again, and its log line tells the refusal.
    void namesOfNoLocalFileAreRefused_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::newRow("nothing") << QString();
        QTest::newRow("a scheme alone") << QStringLiteral("file:");
        QTest::newRow("no path") << QStringLiteral("file://");
        // file://tmp/… names the host "tmp": not this machine's /tmp/….
        QTest::newRow("another machine's") << QStringLiteral("file:/") + m_folder.filePath(QStringLiteral("Course"));
        QTest::newRow("a host that is no name") << QStringLiteral("file://x-") + m_folder.filePath(QStringLiteral("Course"));
    }

    void namesOfNoLocalFileAreRefused()
    {
        QFETCH(QString, argument);
        const Translations korean({QStringLiteral("ko-KR")});
        QVERIFY(korean.translatesRivetone());
        const CommandLine::Parsed parsed = CommandLine::parse({argument}, m_folder.path());
        QCOMPARE(parsed.action, Action::Refuse);
        const QString shown = argument.isEmpty() ? QStringLiteral("\"\"") : argument;
        QVERIFY2(parsed.message.contains(QStringLiteral("no such file or folder: ") + shown + u'\n'), qPrintable(parsed.message));
    }

    // Help and version on standard output, a refusal on standard error with
    // status 2; none of them needs a display or starts (nothing is stored).
    void theProgramAnswersWithoutStarting_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("help") << QStringList{"--help", "Course"} << 0 << "Usage: rivetone [options] [files or folders...]\n" << "";
        QTest::newRow("version") << QStringList{"-v"} << 0 << CommandLine::versionText() << "";
        QTest::newRow("the toolkit's own options") << QStringList{"-platform", "offscreen", "--version"} << 0
                                                   << CommandLine::versionText() << "";
        QTest::newRow("unknown option") << QStringList{"--shuffle"} << 2 << "" << "rivetone: Unknown option 'shuffle'.\n";
        QTest::newRow("unknown beside the toolkit's") << QStringList{"-style", "fusion", "--shuffle"} << 2 << ""
                                                      << "rivetone: Unknown option 'shuffle'.\n";
        // After "--" a name is a file, whatever it looks like: nothing for
        // the toolkit to take, so no reason to start it first.
        QTest::newRow("unknown, a toolkit-like file after --") << QStringList{"--shuffle", "--", "-reverse"} << 2 << ""
                                                               << "rivetone: Unknown option 'shuffle'.\n";
        // Left by the toolkit for want of its value: named as a whole.
        QTest::newRow("the toolkit's own, its value missing") << QStringList{"-style"} << 2 << ""
                                                             << "rivetone: Unknown option 'style'.\n";
        QTest::newRow("missing file") << QStringList{"Course", "Lesson 99.mp3"} << 2 << ""
                                      << "rivetone: no such file or folder: Lesson 99.mp3\n"
                                         "Try 'rivetone --help' for more information.\n";
        QTest::newRow("not audio") << QStringList{"notes.txt"} << 2 << ""
                                   << "rivetone: not an MP3 or MPEG-4 audio file: notes.txt\n";
        QTest::newRow("a device") << QStringList{"/dev/null"} << 2 << ""
                                  << "rivetone: not an MP3 or MPEG-4 audio file: /dev/null\n";
    }

    void theProgramAnswersWithoutStarting()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        if (!QFile::exists(program()))
            QSKIP("the rivetone program is not built beside the tests");
        QProcess process;
        // An unknown option beside one of the toolkit's own is read again with the toolkit started.
        prepare(process, arguments.contains(QStringLiteral("-style")));
        process.start(program(), arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
        const QString said = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString complained = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(out.isEmpty() ? said.isEmpty() : said.startsWith(out), qPrintable(said));
        QVERIFY2(err.isEmpty() ? complained.isEmpty() : complained.startsWith(err), qPrintable(complained));
        QVERIFY(!QFile::exists(m_home.filePath(QStringLiteral("config/Rivetone/Rivetone.ini"))));
    }

    // A file whose name is not UTF-8 (an old archive's Korean names) is
    // there, but its name cannot be held: the refusal says so rather than
    // that there is no such file, from the program as from the parser.
    void aNameNotInUtf8IsRefusedForWhatItIs()
    {
        const QByteArray name = "\xb0\xa1 Lesson.mp3";
        const QByteArray path = QFile::encodeName(m_folder.path()) + '/' + name;
        const int descriptor = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(descriptor >= 0);
        ::close(descriptor);
        const QString argument = QString::fromLocal8Bit(name);
        const CommandLine::Parsed parsed = CommandLine::parse({argument}, m_folder.path());
        QCOMPARE(parsed.action, Action::Refuse);
        QVERIFY2(parsed.message.startsWith(QStringLiteral("rivetone: a name that is not UTF-8 cannot be opened: ") + argument + u'\n'),
                 qPrintable(parsed.message));
        // The same bytes in the working folder's name (an old archive's
        // folder, entered with cd), or spelled out in a file: URL.
        const QString lostFolder = m_folder.path() + u'/' + QString::fromLocal8Bit("\xb0\xa1");
        const QString spelled = QUrl::fromLocalFile(m_folder.path()).toString(QUrl::FullyEncoded) + "/%B0%A1%20Lesson.mp3";
        for (const auto& [given, folder] : {std::pair{QStringLiteral("Lesson.mp3"), lostFolder}, std::pair{spelled, m_folder.path()}}) {
            const CommandLine::Parsed lost = CommandLine::parse({given}, folder);
            QCOMPARE(lost.action, Action::Refuse);
            QVERIFY2(lost.message.startsWith(QStringLiteral("rivetone: a name that is not UTF-8 cannot be opened: ")),
                     qPrintable(lost.message));
        }

        if (!QFile::exists(program()))
            QSKIP("the rivetone program is not built beside the tests");
        QProcess process;
        prepare(process, false);
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$(printf '\\260\\241 Lesson.mp3')\""), program()});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), CommandLine::refusedExitStatus);
        const QString complained = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(complained.startsWith(QStringLiteral("rivetone: a name that is not UTF-8 cannot be opened: ")), qPrintable(complained));
        ::unlink(path.constData());
    }

    // A logout, a closed terminal or Ctrl+C ends the program as closing its
    // window does: it leaves normally, the window's place kept.
    void aSignalToLeaveEndsItAsClosingDoes_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void aSignalToLeaveEndsItAsClosingDoes()
    {
        QFETCH(int, signal);
        if (!QFile::exists(program()))
            QSKIP("the rivetone program is not built beside the tests");
        const QString settings = m_home.filePath(QStringLiteral("config/Rivetone/Rivetone.ini"));
        QFile::remove(settings);
        QProcess process;
        prepare(process, true);
        process.start(program(), QStringList());
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += process.readAllStandardOutput()).contains("Playlists saved"), said.constData(), 10000);
        QTest::qWait(100);  // the window shown
        QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QFile stored(settings);
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QVERIFY(stored.readAll().contains("windowGeometry"));
    }

    // The lines on standard output are the same in every language, the
    // system's own words in them too (a file's error, here a loop of links
    // where the settings file goes), though the desktop speaks German.
    void theLinesStayTheSameInAnotherLanguage()
    {
        if (!QFile::exists(program()))
            QSKIP("the rivetone program is not built beside the tests");
        const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
        if (localedef.isEmpty() || !QFile::exists(QStringLiteral("/usr/share/locale/de/LC_MESSAGES/libc.mo")))
            QSKIP("no German for the C library here (Debian packages locales and libc-l10n)");
        QTemporaryDir locales;
        QProcess make;
        make.start(localedef, {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"), QStringLiteral("UTF-8"),
                               locales.filePath(QStringLiteral("de_DE.UTF-8"))});
        QVERIFY(make.waitForFinished(60000));
        QVERIFY2(make.exitCode() == 0 || make.exitCode() == 1, make.readAllStandardError().constData());  // 1: warnings only
        const QString settings = m_home.filePath(QStringLiteral("config/Rivetone/Rivetone.ini"));
        QDir().mkpath(QFileInfo(settings).absolutePath());
        QFile::remove(settings);
        QVERIFY(QFile::link(settings, settings));
        const auto unlink = qScopeGuard([&] { QFile::remove(settings); });
        QProcess process;
        prepare(process, true);
        QProcessEnvironment environment = process.processEnvironment();
        environment.insert(QStringLiteral("LOCPATH"), locales.path());
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        environment.remove(QStringLiteral("LANGUAGE"));
        process.setProcessEnvironment(environment);
        process.start(program(), QStringList());
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += process.readAllStandardOutput()).contains("Playlists saved")
                                      || said.contains("Error saving"),
                                  said.constData(), 10000);
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(10000));
        QVERIFY2(said.contains("could not be read (Too many levels of symbolic links)"), said.constData());
    }

    // Started with a relative XDG_CONFIG_HOME, the library is not made in
    // the folder it was started from (started from another, it would seem
    // lost): the folder under HOME stands, as the XDG rules say. Nor is the
    // lock a second start looks for, with a relative XDG_RUNTIME_DIR.
    void aRelativeXdgFolderIsIgnored()
    {
        if (!QFile::exists(program()))
            QSKIP("the rivetone program is not built beside the tests");
        QTemporaryDir home;
        QProcess process;
        prepare(process, false);
        QProcessEnvironment environment = process.processEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("config"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("runtime"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(program(), {m_folder.filePath(QStringLiteral("Course/Lesson 2.m4a"))});
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += process.readAllStandardOutput()).contains("Playlists saved"), said.constData(), 10000);
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(10000));
        QVERIFY(QFile::exists(home.filePath(QStringLiteral(".config/Rivetone/Rivetone.ini"))));
        QVERIFY(!QFile::exists(m_folder.filePath(QStringLiteral("config"))));
        QVERIFY(!QFile::exists(m_folder.filePath(QStringLiteral("runtime"))));
    }

    // Under a file size limit (here 512 bytes, less than the settings take)
    // every save fails, says so and leaves the file as it was; the program
    // goes on, and a logout still ends it as closing does.
    void aFileSizeLimitFailsTheSavesNotTheProgram()
    {
        if (!QFile::exists(program()))
            QSKIP("the rivetone program is not built beside the tests");
        const QString settings = m_home.filePath(QStringLiteral("config/Rivetone/Rivetone.ini"));
        QDir().mkpath(QFileInfo(settings).absolutePath());
        const QByteArray stored = "[General]\nseekInterval=5\nnotes=" + QByteArray(2000, 'x') + '\n';
        QVERIFY(writeFile(settings, stored));
        QProcess process;
        prepare(process, true);
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("ulimit -f 1 && exec \"$0\""), program()});
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += process.readAllStandardOutput()).contains("Error saving playlists: cannot write "),
                                  said.constData(), 10000);
        QCOMPARE(process.state(), QProcess::Running);
        QCOMPARE(::kill(pid_t(process.processId()), SIGTERM), 0);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        said += process.readAllStandardOutput();
        QVERIFY2(!said.contains("Playlists saved"), said.constData());
        QCOMPARE(readFile(settings), stored);
        QFile::remove(settings);
    }

    // One stop is often told twice (`timeout` signals its child, then the
    // child's group): the second ended Rivetone in the middle of its last
    // writes, files handed over just before lost. Told again after a while,
    // it ends it at once, as by default.
    void aSignalToldAgainSoonIsTheSameStop()
    {
        using namespace std::chrono_literals;
        const auto statusWhenToldAgainAfter = [](std::chrono::milliseconds gap) {
            const pid_t child = ::fork();
            if (child == 0) {
                const QuitOnSignal quitOnSignal;
                ::raise(SIGTERM);
                std::this_thread::sleep_for(gap);
                ::raise(SIGTERM);
                ::_exit(0);
            }
            int status = -1;
            return child > 0 && ::waitpid(child, &status, 0) == child ? status : -1;
        };
        const int soon = statusWhenToldAgainAfter(300ms);
        QVERIFY2(WIFEXITED(soon) && WEXITSTATUS(soon) == 0, qPrintable(QString::number(soon)));
#if !defined(__SANITIZE_THREAD__)
        // (ThreadSanitizer holds a signal raised in a handler back and then
        // drops it, the handler being the default by then.)
        const int later = statusWhenToldAgainAfter(2300ms);
        QVERIFY2(WIFSIGNALED(later) && WTERMSIG(later) == SIGTERM, qPrintable(QString::number(later)));
#endif
    }

    // Started with nohup, or in the background of a script: the terminal's
    // hang-up it was told to ignore does not end it; a logout still does.
    void aSignalIgnoredAtTheStartStaysIgnored()
    {
        if (!QFile::exists(program()))
            QSKIP("the rivetone program is not built beside the tests");
        QFile::remove(m_home.filePath(QStringLiteral("config/Rivetone/Rivetone.ini")));  // so that it says it saved
        QProcess process;
        prepare(process, true);
        // What a process ignores, the program it starts ignores too.
        const auto previous = ::signal(SIGHUP, SIG_IGN);
        process.start(program(), QStringList());
        ::signal(SIGHUP, previous);
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += process.readAllStandardOutput()).contains("Playlists saved"), said.constData(), 10000);
        QCOMPARE(::kill(pid_t(process.processId()), SIGHUP), 0);
        QVERIFY(!process.waitForFinished(500));
        QCOMPARE(::kill(pid_t(process.processId()), SIGTERM), 0);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    }

    // Whatever read its lines gone (a pager quit, a log stream that broke),
    // it goes on, and saves as ever: the next line ended it where it stood,
    // a loop it had just said was saved not yet on disk.
    void aLineNobodyReadsEndsNothing()
    {
        if (!QFile::exists(program()))
            QSKIP("the rivetone program is not built beside the tests");
        const QString settings = m_home.filePath(QStringLiteral("config/Rivetone/Rivetone.ini"));
        QFile::remove(settings);
        int ends[2];
        QVERIFY(::pipe(ends) == 0);
        ::close(ends[0]);  // nobody reads
        QProcess process;
        prepare(process, true);
        process.setChildProcessModifier([writeEnd = ends[1]] { ::dup2(writeEnd, STDOUT_FILENO); });
        process.start(program(), QStringList());
        ::close(ends[1]);
        // Started: the settings written, and lines written (and lost) meanwhile.
        // (Not yet running is "starting": the wait would end at once, and a
        // slow start be ended before it could take the signal.)
        QVERIFY(process.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(settings) || process.state() == QProcess::NotRunning, 10000);
        QTest::qWait(200);
        QCOMPARE(process.state(), QProcess::Running);
        QCOMPARE(::kill(pid_t(process.processId()), SIGTERM), 0);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(readFile(settings).contains("windowGeometry"));
    }

    // Started with a folder and no playlists: a playlist named after it holds
    // its lessons in number order, and the first of them plays.
    void theProgramAddsAndPlaysWhatItIsGiven()
    {
        if (!QFile::exists(program()))
            QSKIP("the rivetone program is not built beside the tests");
        QProcess process;
        prepare(process, true);
        process.start(program(), {QStringLiteral("Course")});
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += process.readAllStandardOutput()).contains("Added files to "), said.constData(), 10000);
        QVERIFY2(said.contains("Added files to Course: [\"Lesson 2.m4a\", \"Lesson 10.mp3\"]\n"), said.constData());
        QVERIFY2(said.contains("Playing: Lesson 2.m4a\n"), said.constData());
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
    }
};

QTEST_MAIN(CommandLineTest)
#include "tst_command_line.moc"
