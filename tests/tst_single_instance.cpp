// One running Rivetone per settings file: a later start hands its command
// line to the first and leaves, so two windows never rewrite one library; a
// lock left by a killed process does not stop the next start.

#include "app/InstanceChannel.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <csignal>
#include <memory>
#include <thread>
#include <utility>
#include <unistd.h>

// What lies where the settings lock goes.
enum class Found { NoFolderForIt, Lock, Unremovable };
Q_DECLARE_METATYPE(Found)

class SingleInstanceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

    // A lock as this process would write it: the process check finds it alive.
    static QByteArray lockNamingThisProcess()
    {
        return QByteArray::number(QCoreApplication::applicationPid()) + '\n' + QCoreApplication::applicationName().toUtf8()
            + '\n' + QSysInfo::machineHostName().toUtf8() + '\n';
    }

private slots:
    void aLaterStartHandsItsCommandLineToTheFirst_data()
    {
        QTest::addColumn<QStringList>("arguments");
        // The first listens before its window is made and answers only once it
        // runs: a later start that comes meanwhile waits for the answer, rather
        // than say it failed while its files open all the same.
        QTest::addColumn<bool>("firstStillStarting");
        const QStringList few{QStringLiteral("Unit 1.mp3"), QStringLiteral("--x")};
        QTest::newRow("a few") << few << false;
        QTest::newRow("a few, the first still starting") << few << true;
        // As long as the system lets a command line be: a folder's worth of
        // long names, "./*.mp3".
        QStringList many;
        for (qsizetype bytes = 0; bytes < 6 * 1024 * 1024 - 200; bytes += many.last().size() + 1)
            many << QStringLiteral("./Unit %1 \"Dialogue\" at the station, slow then natural speed, with notes.mp3")
                        .arg(many.size());
        QTest::newRow("as many as the system passes") << many << false;
    }

    void aLaterStartHandsItsCommandLineToTheFirst()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, firstStillStarting);
        const QString settings = m_folder.filePath(QStringLiteral("a-%1/Rivetone.ini").arg(QTest::currentDataTag()));
        InstanceChannel first(settings);
        QString error;
        QCOMPARE(first.claimOrHandOver({{}, QDir::currentPath(), {}}, &error), InstanceChannel::Role::First);
        QSignalSpy handedOver(&first, &InstanceChannel::handedOver);

        // The second start waits for the answer, so it runs beside the first's event loop.
        InstanceChannel::Role secondRole = InstanceChannel::Role::Failed;
        const InstanceChannel::Message message{arguments, QStringLiteral("/tmp"),
                                               QStringLiteral("files-1234-host-rivetone-0_TIME5678")};
        std::thread second([&] {
            InstanceChannel later(settings);
            secondRole = later.claimOrHandOver(message, nullptr);
        });
        // Joined however the test ends: a thread still running at its end would end the whole run.
        const auto joinSecond = qScopeGuard([&] {
            if (second.joinable())
                second.join();
        });
        // Starting for longer than a later start waits for it to listen.
        if (firstStillStarting)
            std::this_thread::sleep_for(InstanceChannel::handOverTimeout + std::chrono::seconds(1));
        QTRY_COMPARE_WITH_TIMEOUT(handedOver.size(), 1, 7000);
        second.join();
        QCOMPARE(secondRole, InstanceChannel::Role::HandedOver);
        const auto got = handedOver.at(0).at(0).value<InstanceChannel::Message>();
        QCOMPARE(got.arguments, message.arguments);
        QCOMPARE(got.workingDirectory, message.workingDirectory);
        QCOMPARE(got.startupId, message.startupId);

        // Another settings file is another Rivetone.
        InstanceChannel elsewhere(m_folder.filePath(QStringLiteral("b/Rivetone.ini")));
        QCOMPARE(elsewhere.claimOrHandOver({}, &error), InstanceChannel::Role::First);
    }

    // A running copy that hung (stopped, or swapped out) reads a later
    // start's message only once that start has given up and said it failed:
    // it does not open the files then (they opened after all, and a second
    // try opened them twice). One read in time is taken.
    void aMessageFromAStartThatGaveUpIsNotTaken()
    {
        const QString settings = m_folder.filePath(QStringLiteral("late/Rivetone.ini"));
        InstanceChannel first(settings);
        QString error;
        QCOMPARE(first.claimOrHandOver({{}, QDir::currentPath(), {}}, &error), InstanceChannel::Role::First);
        QSignalSpy handedOver(&first, &InstanceChannel::handedOver);
        for (const bool gaveUp : {true, false}) {
            InstanceChannel::Message message{{QStringLiteral("Unit 1.mp3")}, QStringLiteral("/tmp"), {}};
            const auto age = gaveUp ? InstanceChannel::answerTimeout : std::chrono::milliseconds(0);
            message.sentAtMilliseconds = InstanceChannel::steadyNowMilliseconds() - age.count();
            QLocalSocket socket;
            socket.connectToServer(first.serverName());
            QVERIFY(socket.waitForConnected(1000));
            socket.write(InstanceChannel::encode(message));
            socket.flush();
            QTRY_VERIFY_WITH_TIMEOUT(socket.canReadLine(), 5000);
            QCOMPARE(socket.readLine() == "ok\n", !gaveUp);
            QCOMPARE(handedOver.size(), gaveUp ? 0 : 1);
        }
    }

    void aLockLeftByAKilledProcessDoesNotStopTheNextStart()
    {
        const QString settings = m_folder.filePath(QStringLiteral("c/Rivetone.ini"));
        // A process that claims the file and is killed: its lock stays behind.
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(20);  // gone however the test ends
            InstanceChannel doomed(settings);
            QString ignored;
            doomed.claimOrHandOver({}, &ignored);
            ::raise(SIGKILL);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        QVERIFY(QFile::exists(InstanceChannel(settings).lockFilePath()));
        QString error;
        InstanceChannel next(settings);
        QCOMPARE(next.claimOrHandOver({}, &error), InstanceChannel::Role::First);
    }

    // A start from another session has another runtime folder, so it finds
    // no channel to hand over to; it still never runs beside the first, and
    // runs once the first has gone.
    void aStartFromAnotherSessionNeverRunsBesideTheFirst()
    {
        const QString settings = m_folder.filePath(QStringLiteral("d/Rivetone.ini"));
        const QByteArray runtimeBefore = qgetenv("XDG_RUNTIME_DIR");
        const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", runtimeBefore); });
        const auto useRuntime = [&](const QString& name) {
            const QString folder = m_folder.filePath(name);
            QDir().mkpath(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
        };
        QString error;
        useRuntime(QStringLiteral("session-a"));
        auto first = std::make_unique<InstanceChannel>(settings);
        QCOMPARE(first->claimOrHandOver({}, &error), InstanceChannel::Role::First);
        useRuntime(QStringLiteral("session-b"));
        {
            InstanceChannel later(settings);
            QVERIFY(later.serverName() != first->serverName());
            QCOMPARE(later.claimOrHandOver({}, &error), InstanceChannel::Role::Failed);
            QVERIFY2(error.contains(QStringLiteral("(process %1)").arg(QCoreApplication::applicationPid()))
                         && error.contains(QStringLiteral("another session")),
                     qPrintable(error));
        }
        first.reset();
        InstanceChannel afterwards(settings);
        QCOMPARE(afterwards.claimOrHandOver({}, &error), InstanceChannel::Role::First);
    }

    // The lock beside the settings is a second guard only. A settings folder
    // that cannot hold it (here a file stands where the folder should be,
    // as a full disk would refuse it) does not stop the start. A lock that
    // nobody holds any more is taken over whatever it says: made on another
    // machine sharing the home folder, saying nothing, or naming the process
    // id this very process has now (a sandbox hands out the same few). One
    // that a running copy holds stays, whatever it says.
    void theSettingsLockStopsOnlyARunningCopy_data()
    {
        QTest::addColumn<Found>("found");
        QTest::addColumn<QByteArray>("lockFound");
        QTest::addColumn<bool>("held");
        const QByteArray elsewhere("4242\nrivetone\nanother-machine.invalid\n");
        const QByteArray ownId = lockNamingThisProcess();
        QTest::newRow("no folder for it") << Found::NoFolderForIt << QByteArray() << false;
        QTest::newRow("another machine's, left") << Found::Lock << elsewhere << false;
        QTest::newRow("nobody's, left") << Found::Lock << QByteArray("") << false;
        QTest::newRow("this process's own id, left") << Found::Lock << ownId << false;
        // As a folder turned read-only keeps a lock file: here a folder stands
        // at its name, which nobody holds and nothing can remove.
        QTest::newRow("left where it cannot be removed") << Found::Unremovable << QByteArray() << false;
        QTest::newRow("another machine's name, held") << Found::Lock << elsewhere << true;
        QTest::newRow("nobody's, held while being written") << Found::Lock << QByteArray("") << true;
    }

    void theSettingsLockStopsOnlyARunningCopy()
    {
        QFETCH(Found, found);
        QFETCH(QByteArray, lockFound);
        QFETCH(bool, held);
        const QString folder = m_folder.filePath(QStringLiteral("e-%1").arg(QTest::currentDataTag()));
        const QString lockPath = folder + QStringLiteral("/Rivetone.ini.running");
        const QByteArray encodedLockPath = QFile::encodeName(lockPath);
        if (found == Found::NoFolderForIt) {
            QFile atFolder(folder);
            QVERIFY(atFolder.open(QIODevice::WriteOnly));
        } else if (found == Found::Unremovable) {
            QVERIFY(QDir().mkpath(lockPath));
        } else {
            QVERIFY(QDir().mkpath(folder));
            QFile lock(lockPath);
            QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(lockFound) == lockFound.size());
        }
        // A running copy holds its lock file locked (flock) for as long as it
        // runs; here a child process does, with nothing but system calls.
        int ready[2] = {-1, -1};
        int hold[2] = {-1, -1};
        QVERIFY(::pipe(ready) == 0 && ::pipe(hold) == 0);
        const pid_t holder = held ? ::fork() : -1;
        if (holder == 0) {
            ::alarm(20);  // gone however the test ends
            ::close(ready[0]);
            ::close(hold[1]);
            const int fd = ::open(encodedLockPath.constData(), O_RDWR);
            char signal = 'r';
            if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::write(ready[1], &signal, 1) != 1)
                ::_exit(3);
            ::read(hold[0], &signal, 1);  // until the test closes its end
            ::_exit(0);
        }
        // The child's ends go at once, so a child that fails ends the wait below.
        ::close(std::exchange(ready[1], -1));
        ::close(std::exchange(hold[0], -1));
        const auto release = qScopeGuard([&] {
            for (int fd : {ready[0], hold[1]})
                ::close(fd);
            if (holder > 0)
                ::waitpid(holder, nullptr, 0);
        });
        QVERIFY(!held || holder > 0);
        char signal = 0;
        if (held)
            QCOMPARE(::read(ready[0], &signal, 1), ssize_t(1));

        InstanceChannel channel(folder + QStringLiteral("/Rivetone.ini"));
        QString error;
        QCOMPARE(channel.claimOrHandOver({}, &error), held ? InstanceChannel::Role::Failed : InstanceChannel::Role::First);
        QFile lock(lockPath);
        if (held) {
            QVERIFY2(error.contains(lockPath) && error.contains(QStringLiteral("another session")), qPrintable(error));
            QVERIFY(lock.open(QIODevice::ReadOnly));
            QCOMPARE(lock.readAll(), lockFound);
        } else if (found == Found::Lock) {
            qint64 pid = 0;
            QString host;
            QString application;
            QVERIFY(QLockFile(lockPath).getLockInfo(&pid, &host, &application));
            QCOMPARE(pid, QCoreApplication::applicationPid());
            QVERIFY(lock.open(QIODevice::ReadOnly) && lock.readAll() != lockFound);
        }
    }

    // The same for the runtime lock, once nobody answers on its channel.
    void aLeftRuntimeLockNamingThisProcessIsTakenOverOnceNobodyAnswers()
    {
        InstanceChannel channel(m_folder.filePath(QStringLiteral("h/Rivetone.ini")));
        QFile lock(channel.lockFilePath());
        QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(lockNamingThisProcess()) > 0);
        lock.close();
        QString error;
        QVERIFY2(channel.claimOrHandOver({}, &error) == InstanceChannel::Role::First, qPrintable(error));
    }

    // One settings file reached by two paths (a symbolic link on the way) is
    // one library: a start by either path meets the same channel.
    void aSettingsFileThroughALinkIsTheSameLibrary()
    {
        QVERIFY(QDir().mkpath(m_folder.filePath(QStringLiteral("g-real"))));
        QVERIFY(QFile::link(m_folder.filePath(QStringLiteral("g-real")), m_folder.filePath(QStringLiteral("g-link"))));
        const InstanceChannel real(m_folder.filePath(QStringLiteral("g-real/Rivetone.ini")));
        const InstanceChannel linked(m_folder.filePath(QStringLiteral("g-link/Rivetone.ini")));
        QCOMPARE(linked.serverName(), real.serverName());
        QCOMPARE(linked.settingsLockFilePath(), real.settingsLockFilePath());

        // Two config folders whose settings files both lead to one dotfile
        // (made already, or not yet): one library too.
        QVERIFY(QDir().mkpath(m_folder.filePath(QStringLiteral("dots"))));
        QFile made(m_folder.filePath(QStringLiteral("dots/made.ini")));
        QVERIFY(made.open(QIODevice::WriteOnly));
        made.close();
        for (const QString& dotfile : {QStringLiteral("made.ini"), QStringLiteral("not-yet.ini")}) {
            QStringList servers;
            for (const QString& home : {QStringLiteral("home-a-"), QStringLiteral("home-b-")}) {
                const QString folder = m_folder.filePath(home + dotfile);
                QVERIFY(QDir().mkpath(folder));
                QVERIFY(QFile::link(m_folder.filePath(QStringLiteral("dots/") + dotfile), folder + QStringLiteral("/Rivetone.ini")));
                servers << InstanceChannel(folder + QStringLiteral("/Rivetone.ini")).serverName();
            }
            QCOMPARE(servers.first(), servers.last());
            QVERIFY(servers.first() != real.serverName());
        }
    }

    // The lock and the socket lie in a folder of the user's alone: the
    // runtime folder, or one of the user's own in the temporary folder when
    // a socket's path in the runtime folder would be too long to listen on;
    // never one that someone else could have laid there first.
    void theChannelLivesInAFolderOfTheUsersAlone()
    {
        const QByteArray runtimeBefore = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray tempBefore = qgetenv("TMPDIR");
        const auto restore = qScopeGuard([&] {
            qputenv("XDG_RUNTIME_DIR", runtimeBefore);
            qputenv("TMPDIR", tempBefore);
        });
        const QString longRuntime = m_folder.filePath(QString(80, u'r'));
        QVERIFY(QDir().mkpath(longRuntime));
        QFile::setPermissions(longRuntime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(longRuntime));
        QVERIFY(QDir().mkpath(m_folder.filePath(QStringLiteral("temp"))));
        qputenv("TMPDIR", QFile::encodeName(m_folder.filePath(QStringLiteral("temp"))));
        const QString ownFolder = m_folder.filePath(QStringLiteral("temp/rivetone-%1").arg(::getuid()));
        const QString settings = m_folder.filePath(QStringLiteral("f/Rivetone.ini"));
        QString error;
        {
            InstanceChannel first(settings);
            QVERIFY2(first.claimOrHandOver({}, &error) == InstanceChannel::Role::First, qPrintable(error));
            QCOMPARE(QFileInfo(first.serverName()).absolutePath(), ownFolder);
        }
        // A runtime folder whose socket path would fill the address but for
        // its end: too long all the same.
        const QString edgeRuntime = m_folder.filePath(QStringLiteral("e"));
        const QString edgeFolder = edgeRuntime + QString(107 - 33 - QFile::encodeName(edgeRuntime).size(), u'e');
        QVERIFY(QDir().mkpath(edgeFolder));
        QFile::setPermissions(edgeFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(edgeFolder));
        {
            InstanceChannel first(settings);
            QVERIFY2(first.claimOrHandOver({}, &error) == InstanceChannel::Role::First, qPrintable(error));
            QCOMPARE(QFileInfo(first.serverName()).absolutePath(), ownFolder);
        }
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(longRuntime));
        {
            InstanceChannel first(settings);
            QVERIFY2(first.claimOrHandOver({}, &error) == InstanceChannel::Role::First, qPrintable(error));
            QLocalSocket later;
            later.connectToServer(first.serverName());
            QVERIFY(later.waitForConnected(1000));
        }
        // Open to others, a link (to a folder of ours, but one that could be
        // swapped) or a file: someone else's, not used.
        for (const char* laidDown : {"open to others", "a link", "a file"}) {
            const QByteArray kind(laidDown);
            if (kind == "open to others")
                QVERIFY(QFile::setPermissions(ownFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                             | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther));
            else if (kind == "a link")
                QVERIFY(QDir(ownFolder).removeRecursively() && QFile::link(longRuntime, ownFolder));
            else
                QVERIFY(QFile::remove(ownFolder) && QFile(ownFolder).open(QIODevice::WriteOnly));
            InstanceChannel refused(settings);
            QCOMPARE(refused.claimOrHandOver({}, &error), InstanceChannel::Role::Failed);
            QVERIFY2(error.contains(ownFolder) && error.contains(QStringLiteral("XDG_RUNTIME_DIR")), qPrintable(error));
        }
    }

    // The real program, twice on one settings file: the second leaves at once
    // with success, the first takes its files, adds them to the current
    // playlist and plays the first; a line the second refuses never reaches
    // the first.
    void theProgramRunsOncePerSettingsFile()
    {
        const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../rivetone");
        if (!QFile::exists(program))
            QSKIP("the rivetone program is not built beside the tests");
        QDir(m_folder.path()).mkpath(QStringLiteral("lessons"));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("sine-5s.mp3")), m_folder.filePath(QStringLiteral("lessons/lesson 3.mp3"))));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("sine-5s.m4a")), m_folder.filePath(QStringLiteral("lessons/lesson 1.m4a"))));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_folder.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_folder.filePath(QStringLiteral("runtime")));
        QDir().mkpath(m_folder.filePath(QStringLiteral("runtime")));
        QFile::setPermissions(m_folder.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess first;
        first.setProcessEnvironment(environment);
        first.start(program, {});
        QVERIFY(first.waitForStarted());
        QByteArray firstSaid;
        QTRY_VERIFY2_WITH_TIMEOUT((firstSaid += first.readAllStandardOutput()).contains("Playlists saved: []"),
                                  qPrintable(QString::fromUtf8(firstSaid + first.readAllStandardError())), 10000);

        QProcess refused;
        refused.setProcessEnvironment(environment);
        refused.setWorkingDirectory(m_folder.path());
        refused.start(program, {QStringLiteral("lessons/lesson 3.mp3"), QStringLiteral("lesson.mp3")});
        QVERIFY(refused.waitForFinished(10000));
        QCOMPARE(refused.exitCode(), 2);
        QCOMPARE(refused.readAllStandardError(), QByteArray("rivetone: no such file or folder: lesson.mp3\n"
                                                            "Try 'rivetone --help' for more information.\n"));

        QProcess second;
        second.setProcessEnvironment(environment);
        second.setWorkingDirectory(m_folder.path());
        second.start(program, {QStringLiteral("lessons")});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QVERIFY2(second.exitCode() == 0, second.readAllStandardError().constData());
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += first.readAllStandardOutput()).contains("Added files to "), said.constData(), 10000);
        QVERIFY2(said.contains("Another start handed over: [\"lessons\"]\n"), said.constData());
        QVERIFY2(said.contains("Added files to lessons: [\"lesson 1.m4a\", \"lesson 3.mp3\"]\n"), said.constData());
        QVERIFY2(said.contains("Playing: lesson 1.m4a\n"), said.constData());

        // After "--", a folder named like one of the toolkit's options is a
        // folder: handed over, not taken out of the line on the way.
        QDir(m_folder.path()).mkpath(QStringLiteral("-reverse"));
        QVERIFY(QFile::copy(fixturePath(QStringLiteral("sine-5s.mp3")), m_folder.filePath(QStringLiteral("-reverse/r.mp3"))));
        QProcess third;
        third.setProcessEnvironment(environment);
        third.setWorkingDirectory(m_folder.path());
        third.start(program, {QStringLiteral("--"), QStringLiteral("-reverse")});
        QVERIFY(third.waitForFinished(10000));
        QVERIFY2(third.exitCode() == 0, third.readAllStandardError().constData());
        said.clear();
        QTRY_VERIFY2_WITH_TIMEOUT((said += first.readAllStandardOutput()).contains("Added files to "), said.constData(), 10000);
        QVERIFY2(said.contains("Another start handed over: [\"--\", \"-reverse\"]\n"), said.constData());
        QVERIFY2(said.contains("Added files to lessons: [\"r.mp3\"]\n"), said.constData());

        // One from another session cannot reach the first, and leaves rather
        // than run beside it.
        QProcessEnvironment otherSession = environment;
        otherSession.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_folder.filePath(QStringLiteral("runtime-other")));
        QDir().mkpath(m_folder.filePath(QStringLiteral("runtime-other")));
        QFile::setPermissions(m_folder.filePath(QStringLiteral("runtime-other")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess outsider;
        outsider.setProcessEnvironment(otherSession);
        outsider.start(program, {});
        QVERIFY(outsider.waitForFinished(10000));
        const QByteArray outsiderSaid = outsider.readAllStandardError();
        QCOMPARE(outsider.exitCode(), 1);
        QVERIFY2(outsiderSaid.startsWith("rivetone: another Rivetone (process ") && outsiderSaid.contains("another session"),
                 outsiderSaid.constData());
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "tst_single_instance.moc"
