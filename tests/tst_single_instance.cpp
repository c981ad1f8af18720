// One running Rivetone per settings file: a later start hands its command
// line to the first and leaves, so two windows never rewrite one library; a
// lock left by a killed process does not stop the next start.

#include "app/InstanceChannel.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <sys/wait.h>

#include <csignal>
#include <memory>
#include <thread>
#include <unistd.h>

class SingleInstanceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

private slots:
    void aLaterStartHandsItsCommandLineToTheFirst_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("a few") << QStringList{QStringLiteral("Unit 1.mp3"), QStringLiteral("--x")};
        // As long as the system lets a command line be: a folder's worth of
        // long names, "./*.mp3".
        QStringList many;
        for (qsizetype bytes = 0; bytes < 6 * 1024 * 1024 - 200; bytes += many.last().size() + 1)
            many << QStringLiteral("./Unit %1 \"Dialogue\" at the station, slow then natural speed, with notes.mp3")
                        .arg(many.size());
        QTest::newRow("as many as the system passes") << many;
    }

    void aLaterStartHandsItsCommandLineToTheFirst()
    {
        QFETCH(QStringList, arguments);
        const QString settings = m_folder.filePath(QStringLiteral("a/Rivetone.ini"));
        InstanceChannel first(settings);
        QString error;
        QCOMPARE(first.claimOrHandOver({{}, QDir::currentPath()}, &error), InstanceChannel::Role::First);
        QSignalSpy handedOver(&first, &InstanceChannel::handedOver);

        // The second start waits for the answer, so it runs beside the first's event loop.
        InstanceChannel::Role secondRole = InstanceChannel::Role::Failed;
        const InstanceChannel::Message message{arguments, QStringLiteral("/tmp")};
        std::thread second([&] {
            InstanceChannel later(settings);
            secondRole = later.claimOrHandOver(message, nullptr);
        });
        // Joined however the test ends: a thread still running at its end would end the whole run.
        const auto joinSecond = qScopeGuard([&] {
            if (second.joinable())
                second.join();
        });
        QTRY_COMPARE_WITH_TIMEOUT(handedOver.size(), 1, 7000);
        second.join();
        QCOMPARE(secondRole, InstanceChannel::Role::HandedOver);
        const auto got = handedOver.at(0).at(0).value<InstanceChannel::Message>();
        QCOMPARE(got.arguments, message.arguments);
        QCOMPARE(got.workingDirectory, message.workingDirectory);

        // Another settings file is another Rivetone.
        InstanceChannel elsewhere(m_folder.filePath(QStringLiteral("b/Rivetone.ini")));
        QCOMPARE(elsewhere.claimOrHandOver({}, &error), InstanceChannel::Role::First);
    }

    void aLockLeftByAKilledProcessDoesNotStopTheNextStart()
    {
        const QString settings = m_folder.filePath(QStringLiteral("c/Rivetone.ini"));
        // A process that claims the file and is killed: its lock stays behind.
        const pid_t child = ::fork();
        if (child == 0) {
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
    // as a full disk would refuse it) does not stop the start; a lock made on
    // another machine sharing the home folder, whose process cannot be
    // checked from here, or one that does not say whose it is, is taken over.
    void aSettingsLockThatCannotBeMadeOrCheckedDoesNotStopTheStart_data()
    {
        QTest::addColumn<QByteArray>("lockFound");
        QTest::addColumn<bool>("lockTaken");
        QTest::newRow("no folder for it") << QByteArray() << false;
        QTest::newRow("another machine's") << QByteArray("4242\nrivetone\nanother-machine.invalid\n") << true;
        QTest::newRow("nobody's") << QByteArray("") << true;
    }

    void aSettingsLockThatCannotBeMadeOrCheckedDoesNotStopTheStart()
    {
        QFETCH(QByteArray, lockFound);
        QFETCH(bool, lockTaken);
        const QString folder = m_folder.filePath(QStringLiteral("e-%1").arg(QTest::currentDataTag()));
        QFile atFolder(folder);
        if (lockFound.isNull()) {
            QVERIFY(atFolder.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QDir().mkpath(folder));
            QFile lock(folder + QStringLiteral("/Rivetone.ini.running"));
            QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(lockFound) == lockFound.size());
        }
        atFolder.close();
        InstanceChannel channel(folder + QStringLiteral("/Rivetone.ini"));
        QString error;
        QCOMPARE(channel.claimOrHandOver({}, &error), InstanceChannel::Role::First);
        qint64 pid = 0;
        QString host;
        QString application;
        QCOMPARE(QLockFile(channel.settingsLockFilePath()).getLockInfo(&pid, &host, &application), lockTaken);
        if (lockTaken)
            QCOMPARE(pid, QCoreApplication::applicationPid());
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
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "tst_single_instance.moc"
