// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eSupport.h"
#include "ui/SingleApplication.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace e2e;

// Sets environment variables of this process for one scope (a null value removes one) and restores them after.
class EnvironmentOverride {
public:
    ~EnvironmentOverride()
    {
        for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
            if (it->second.isNull())
                qunsetenv(it->first);
            else
                qputenv(it->first, it->second);
        }
    }
    void set(const char* name, const QString& value)
    {
        m_saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }

private:
    std::vector<std::pair<const char*, QByteArray>> m_saved;
};

// Something else than the program listening at the rendezvous: it keeps what it is sent and answers each piece with
// `answer` (nothing when empty).
class Listener : public QObject {
public:
    Listener(const QString& path, const QByteArray& answer)
    {
        QLocalServer::removeServer(path);
        m_server.listen(path);
        connect(&m_server, &QLocalServer::newConnection, this, [this, answer] {
            while (QLocalSocket* connection = m_server.nextPendingConnection()) {
                connect(connection, &QLocalSocket::readyRead, this, [this, connection, answer] {
                    m_received += connection->readAll();
                    if (!answer.isEmpty())
                        connection->write(answer);
                });
            }
        });
    }
    QByteArray m_received;

private:
    QLocalServer m_server;
};

// A socket of another user listening at `path` that answers every request as the program would; it ends with the
// returned process. Made by a child that binds as root and listens as that user, whose credentials the peer sees.
pid_t listen_as_other_user(const QString& path, uid_t user)
{
    const QByteArray name = QFile::encodeName(path);
    const pid_t child = ::fork();
    if (child != 0)
        return child;
    // Only calls that are safe after a fork from here on.
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), std::min(size_t(name.size()), sizeof(address.sun_path) - 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 || ::setgid(user) != 0 ||
        ::setuid(user) != 0 || ::listen(fd, 8) != 0)
        ::_exit(1);
    while (true) {
        const int connection = ::accept(fd, nullptr, nullptr);
        char request[256];
        if (connection >= 0 && ::read(connection, request, sizeof(request)) > 0 && ::write(connection, "OK\n", 3) == 3)
            ::close(connection);
    }
}

class TestSingleInstance : public QObject {
    Q_OBJECT

    static QString socket_path()
    {
        return qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/Halcyon WorksStackpaste");
    }

    // Starts a second copy and returns its exit code (-1: it did not end).
    static constexpr uid_t k_other_user = 65534;

    static QString rendezvous_name() { return SingleApplication::instance_name("Halcyon Works", "Stackpaste"); }

    static mode_t lstat_mode(const QString& path, uid_t* owner = nullptr)
    {
        struct stat info = {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
            return 0;
        if (owner)
            *owner = info.st_uid;
        return info.st_mode;
    }

    // The snapshot folder that the program names in its output.
    static QString temp_dir_of(const QByteArray& output)
    {
        static const QRegularExpression path_line(QStringLiteral("Temp dir path is: \"([^\"]+)\""));
        return path_line.match(QString::fromLocal8Bit(output)).captured(1);
    }

    static ino_t inode(const QString& path)
    {
        struct stat info = {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
    }

    // Starts a copy that is not to keep running and waits for its end, serving this test's own listeners meanwhile.
    // Its exit code, or -1 when it did not end.
    static int run_to_end(Stackpaste& copy)
    {
        copy.write_settings();
        copy.process().start(copy.binary(), QStringList());
        if (!QTest::qWaitFor([&] { return copy.process().state() == QProcess::NotRunning; }, 15000))
            return -1;
        return copy.process().exitStatus() == QProcess::NormalExit ? copy.process().exitCode() : -1;
    }

    // An X display number that no server has taken.
    static QString free_display()
    {
        int number = 4711;
        while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
               QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            ++number;
        return QStringLiteral(":%1").arg(number);
    }

    static int second_start(const Stackpaste& running)
    {
        QProcess second;
        second.start(running.binary(), QStringList());
        if (!second.waitForFinished(10000)) {
            second.kill();
            second.waitForFinished();
            return -1;
        }
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    }

private Q_SLOTS:
    void second_start_shows_the_hidden_window()
    {
        Stackpaste app;
        app.write_settings(); // not a first start: the program comes up in the tray only
        QVERIFY(app.start());
        QCOMPARE(visible_window("Stackpaste"), 0ull);
        QCOMPARE(second_start(app), 0);
        QTRY_VERIFY_WITH_TIMEOUT(visible_window("Stackpaste") != 0, 5000);
        QCOMPARE(app.process().state(), QProcess::Running);
    }

    void second_start_brings_the_window_to_the_front()
    {
        Stackpaste app;
        QVERIFY(app.start()); // the first start shows the window
        QTRY_VERIFY_WITH_TIMEOUT(visible_window("Stackpaste") != 0, 10000);
        const qulonglong window = visible_window("Stackpaste");

        QProcess other;
        other.start(QStringLiteral("zenity"), {"--entry", "--title", "Other"});
        QTRY_VERIFY_WITH_TIMEOUT(visible_window("Other") != 0, 10000);
        xdotool({"windowfocus", "--sync", QString::number(visible_window("Other"))});
        QCOMPARE(xdotool({"getwindowfocus"}).trimmed().toULongLong(), visible_window("Other"));

        QCOMPARE(second_start(app), 0);
        QTRY_COMPARE_WITH_TIMEOUT(xdotool({"getwindowfocus"}).trimmed().toULongLong(), window, 5000);
        other.kill();
        other.waitForFinished();
    }

    void rendezvous_is_private_to_its_user()
    {
        Stackpaste app;
        app.write_settings();
        QVERIFY(app.start());
        struct stat info = {};
        QCOMPARE(::stat(QFile::encodeName(socket_path()).constData(), &info), 0);
        QVERIFY(S_ISSOCK(info.st_mode));
        QCOMPARE(info.st_uid, ::getuid());
        QCOMPARE(info.st_mode & 077, 0u);
    }

    // Where the rendezvous lies decides who can stop the program from starting: a socket planted by another user
    // in a folder the program trusts makes every start exit at once.
    void rendezvous_lies_in_a_private_folder_of_ours_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("folder"); // runtime, temporary or cache
        QTest::newRow("private runtime folder") << "runtime"
                                                << "runtime";
        QTest::newRow("no runtime folder") << ""
                                           << "temporary";
        QTest::newRow("runtime folder open to others") << "runtime open"
                                                       << "temporary";
        QTest::newRow("runtime folder of another user") << "runtime other"
                                                        << "temporary";
        QTest::newRow("temporary folder of ours open to others") << "temporary open"
                                                                 << "temporary";
        QTest::newRow("temporary name is a link to a folder of ours") << "temporary link"
                                                                      << "cache";
        QTest::newRow("temporary name is a file") << "temporary file"
                                                  << "cache";
        QTest::newRow("temporary folder of another user") << "temporary other"
                                                          << "cache";
    }

    void rendezvous_lies_in_a_private_folder_of_ours()
    {
        QFETCH(QString, setup);
        QFETCH(QString, folder);
        if (setup.endsWith(QLatin1String("other")) && ::geteuid() != 0)
            QSKIP("needs root to make a folder of another user");
        QTemporaryDir base;
        const QString runtime = base.filePath(QStringLiteral("runtime"));
        const QString temporary_root = base.filePath(QStringLiteral("tmp"));
        const QString temporary = temporary_root + QStringLiteral("/stackpaste-%1").arg(::getuid());
        const QString cache = base.filePath(QStringLiteral("cache"));
        QVERIFY(QDir().mkpath(temporary_root));
        EnvironmentOverride environment;
        environment.set("TMPDIR", temporary_root);
        environment.set("XDG_CACHE_HOME", cache);
        environment.set("XDG_RUNTIME_DIR", setup.startsWith(QLatin1String("runtime")) ? runtime : QString());
        const QByteArray runtime_name = QFile::encodeName(runtime);
        const QByteArray temporary_name = QFile::encodeName(temporary);
        QCOMPARE(::mkdir(runtime_name.constData(), 0700), 0);
        if (setup == QLatin1String("runtime open"))
            QCOMPARE(::chmod(runtime_name.constData(), 0755), 0);
        if (setup == QLatin1String("runtime other"))
            QCOMPARE(::chown(runtime_name.constData(), k_other_user, k_other_user), 0);
        if (setup == QLatin1String("temporary open") || setup == QLatin1String("temporary other")) {
            QCOMPARE(::mkdir(temporary_name.constData(), 0700), 0);
            QCOMPARE(::chmod(temporary_name.constData(), 0777), 0);
        }
        if (setup == QLatin1String("temporary other"))
            QCOMPARE(::chown(temporary_name.constData(), k_other_user, k_other_user), 0);
        if (setup == QLatin1String("temporary link"))
            QVERIFY(QFile::link(runtime, temporary));
        if (setup == QLatin1String("temporary file"))
            QVERIFY(QFile(temporary).open(QIODevice::WriteOnly));

        const QString path = SingleApplication::rendezvous_path(rendezvous_name());
        const QString where = QFileInfo(path).path();
        if (folder == QLatin1String("runtime"))
            QCOMPARE(where, runtime);
        else if (folder == QLatin1String("temporary"))
            QCOMPARE(where, temporary);
        else
            QVERIFY2(where.startsWith(cache + QLatin1Char('/')), qPrintable(where));
        QCOMPARE(QFileInfo(path).fileName(), rendezvous_name());
        uid_t owner = 0;
        const mode_t mode = lstat_mode(where, &owner);
        QVERIFY(S_ISDIR(mode));
        QCOMPARE(owner, ::getuid());
        QCOMPARE(mode & 077, 0u);
        // The session's runtime folder is never changed.
        if (setup == QLatin1String("runtime open"))
            QCOMPARE(lstat_mode(runtime) & 0777, 0755u);
    }

    // The real attack: another user made the temporary rendezvous folder first and listens in it.
    void socket_planted_by_another_user_does_not_stop_the_start()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to make a folder of another user");
        QTemporaryDir temporary_root;
        const QString planted = temporary_root.filePath(QStringLiteral("stackpaste-%1").arg(::getuid()));
        QVERIFY(QDir().mkdir(planted));
        QLocalServer trap;
        QVERIFY(trap.listen(planted + QLatin1Char('/') + rendezvous_name()));
        QCOMPARE(::chown(QFile::encodeName(planted).constData(), k_other_user, k_other_user), 0);

        Stackpaste app;
        app.write_settings();
        app.set_environment(QStringLiteral("XDG_RUNTIME_DIR"), QString());
        app.set_environment(QStringLiteral("TMPDIR"), temporary_root.path());
        QVERIFY2(app.start(), app.output().right(2000).constData());
        QCOMPARE(app.process().state(), QProcess::Running);
        QVERIFY(app.output().contains("belongs to another user"));
        QVERIFY(!trap.hasPendingConnections());
    }

    // The lock says that a copy runs: a start never takes the rendezvous over while it is held, waits a few seconds at
    // most for the copy to answer, and exits 0 only when a program of this user answers as the running copy does.
    void start_while_the_lock_is_held_data()
    {
        QTest::addColumn<QString>("listener");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("the copy listens a little later") << "late" << 0 << QByteArray();
        QTest::newRow("nothing listens") << "none" << 1 << QByteArray("nothing takes connections");
        QTest::newRow("a listener that never answers") << "silent" << 1 << QByteArray("did not answer");
        QTest::newRow("a listener that answers otherwise")
            << "foreign" << 1 << QByteArray("does not answer as Stackpaste");
        QTest::newRow("another user's listener") << "other user" << 1 << QByteArray("belongs to user 65534");
    }

    void start_while_the_lock_is_held()
    {
        QFETCH(QString, listener);
        QFETCH(int, exit_code);
        QFETCH(QByteArray, said);
        if (listener == QLatin1String("other user") && ::geteuid() != 0)
            QSKIP("needs root to listen as another user");
        const QString path = socket_path();
        QFile lock(path + QStringLiteral(".lock"));
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QCOMPARE(::flock(lock.handle(), LOCK_EX), 0);
        QLocalServer::removeServer(path);
        std::unique_ptr<Listener> listening;
        if (listener == QLatin1String("silent") || listener == QLatin1String("foreign"))
            listening = std::make_unique<Listener>(path, listener == QLatin1String("silent") ? "" : "HELLO\n");
        pid_t other = 0;
        if (listener == QLatin1String("other user")) {
            other = listen_as_other_user(path, k_other_user);
            QTRY_VERIFY(QFileInfo::exists(path));
        }

        Stackpaste app;
        if (listener == QLatin1String("late")) {
            app.write_settings();
            app.process().start(app.binary(), QStringList());
            QTest::qWait(500);
            QCOMPARE(app.process().state(), QProcess::Running);
            QVERIFY(!QFileInfo::exists(path)); // it waits; it does not listen in the copy's place
            listening = std::make_unique<Listener>(path, "OK\n");
            QVERIFY(QTest::qWaitFor([&] { return app.process().state() == QProcess::NotRunning; }, 15000));
        } else {
            run_to_end(app);
        }
        // A command refuses what is not the running copy as well.
        QByteArray command_said;
        int command_code = -1;
        const bool commanded = listener == QLatin1String("foreign") || listener == QLatin1String("other user");
        if (commanded) {
            QProcess command;
            command.start(app.binary(), {"list"});
            QVERIFY(QTest::qWaitFor([&] { return command.state() == QProcess::NotRunning; }, 15000));
            command_code = command.exitCode();
            command_said = command.readAllStandardError();
        }
        if (other) {
            ::kill(other, SIGKILL);
            ::waitpid(other, nullptr, 0);
            QFile::remove(path);
        }
        const QByteArray output = app.output();
        QCOMPARE(app.process().state(), QProcess::NotRunning);
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QVERIFY2(app.process().exitCode() == exit_code, output.right(2000).constData());
        QVERIFY2(output.contains(said), output.right(2000).constData());
        if (commanded) {
            QCOMPARE(command_code, 1);
            QVERIFY2(command_said.startsWith("Stackpaste is not running") && command_said.contains(said),
                     command_said.constData());
        }
        if (listener == QLatin1String("late"))
            QCOMPARE(listening->m_received, QByteArray("STACKPASTE 1 show\n"));
    }

    // A stopped copy answers nothing and its socket's backlog fills up; the later starts still never listen in its
    // place, and once it goes on it is the one running copy.
    void stopped_copy_keeps_every_later_start_out()
    {
        Stackpaste first;
        first.write_settings();
        QVERIFY(first.start());
        const ino_t socket = inode(socket_path());
        QVERIFY(socket != 0);
        const pid_t pid = static_cast<pid_t>(first.pid());
        QCOMPARE(::kill(pid, SIGSTOP), 0);
        // Connections wait in the backlog until it takes no more.
        std::vector<int> waiting;
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(socket_path());
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        while (waiting.size() < 1000) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
                ::close(fd);
                break;
            }
            waiting.push_back(fd);
        }

        Stackpaste later;
        const int exit_code = run_to_end(later);
        ::kill(pid, SIGCONT);
        for (const int fd : waiting)
            ::close(fd);
        QVERIFY2(exit_code == 1, later.output().right(2000).constData());
        QVERIFY(later.output().contains("does not answer"));
        QCOMPARE(inode(socket_path()), socket);
        QCOMPARE(second_start(first), 0);
        QCOMPARE(first.process().state(), QProcess::Running);
    }

    // A program of ours that listens at the rendezvous without the lock is no running copy: it loses the name.
    void foreign_listener_without_the_lock_loses_the_name()
    {
        Listener foreign(socket_path(), "OK\n");
        Stackpaste app;
        app.write_settings();
        QVERIFY2(app.start(), app.output().right(2000).constData());
        QVERIFY(app.output().contains("without holding its lock"));
        QCOMPARE(second_start(app), 0);
        QVERIFY(foreign.m_received.isEmpty());
    }

    // A folder at the socket path: the copy runs, and later starts say why they cannot reach it instead of running too.
    void folder_at_the_socket_path_keeps_the_check_on()
    {
        QLocalServer::removeServer(socket_path());
        QVERIFY(QDir().mkdir(socket_path()));
        Stackpaste first;
        first.write_settings();
        const bool started = first.start();
        Stackpaste later;
        const int exit_code = run_to_end(later);
        first.stop();
        QDir().rmdir(socket_path());
        QVERIFY(started);
        QVERIFY(first.output().contains("is a folder"));
        QCOMPARE(exit_code, 1);
        QVERIFY(later.output().contains("is a folder, not its socket"));
    }

    // The rendezvous answers a line of request with a line; an earlier version's start only connects, which shows the
    // window too.
    void rendezvous_answers_requests_and_bare_connections()
    {
        Stackpaste app;
        app.write_settings();
        QVERIFY(app.start());
        const auto ask = [](const QByteArray& request) {
            QLocalSocket socket;
            socket.connectToServer(socket_path());
            if (!socket.waitForConnected(5000))
                return QByteArray("(no connection)");
            socket.write(request);
            QByteArray answer;
            while (!answer.contains('\n') && socket.waitForReadyRead(5000))
                answer += socket.readAll();
            return answer;
        };
        QCOMPARE(ask("STACKPASTE 3 show\n"), QByteArray("ERROR this copy speaks versions 1 and 2\n"));
        QCOMPARE(ask("STACKPASTE 1 dance\n"), QByteArray("ERROR unknown command\n"));
        QCOMPARE(ask("GET / HTTP/1.0\r\n"), QByteArray("ERROR not a Stackpaste request\n"));
        QCOMPARE(visible_window("Stackpaste"), 0ull);
        {
            QLocalSocket bare;
            bare.connectToServer(socket_path());
            QVERIFY(bare.waitForConnected(5000));
        }
        QTRY_VERIFY_WITH_TIMEOUT(visible_window("Stackpaste") != 0, 5000);
    }

    // Copies started at the same moment: exactly one keeps running, every other one reaches it and ends with 0.
    void copies_started_together_leave_exactly_one_running()
    {
        constexpr int k_copies = 6;
        Stackpaste app;
        app.write_settings();
        // Each copy waits behind a lock that this test holds until all have been started, so that they all start
        // within a millisecond or so, and the narrow race shows in a few rounds.
        const QString gate = app.folder() + QStringLiteral("/gate");
        for (int round = 0; round < 10; ++round) {
            QFile gate_file(gate);
            QVERIFY(gate_file.open(QIODevice::WriteOnly));
            QCOMPARE(::flock(gate_file.handle(), LOCK_EX), 0);
            std::vector<std::unique_ptr<QProcess>> copies;
            for (int i = 0; i < k_copies; ++i) {
                copies.push_back(std::make_unique<QProcess>());
                copies.back()->setProcessChannelMode(QProcess::MergedChannels);
                copies.back()->start(QStringLiteral("sh"),
                                     {"-c", "flock -s \"$1\" true; exec \"$0\"", app.binary(), gate});
            }
            for (auto& copy : copies)
                QVERIFY(copy->waitForStarted());
            gate_file.close();

            const auto running = [&] {
                return std::count_if(copies.begin(), copies.end(),
                                     [](const auto& copy) { return copy->state() != QProcess::NotRunning; });
            };
            // Only the running copy is left once every other one has reached it; two left are two running copies.
            const bool one_left = QTest::qWaitFor([&] { return running() <= 1; }, 30000);
            const auto left = running();
            const auto survivor = std::find_if(copies.begin(), copies.end(),
                                               [](const auto& copy) { return copy->state() != QProcess::NotRunning; });
            // Ended only once its handlers are in place, so that it ends the normal way.
            QByteArray output;
            const bool started = survivor != copies.end() && QTest::qWaitFor(
                                                                 [&] {
                                                                     output += (*survivor)->readAll();
                                                                     return output.contains("Temp dir is valid");
                                                                 },
                                                                 15000);
            for (auto& copy : copies) {
                copy->terminate();
                if (!copy->waitForFinished(10000))
                    copy->kill();
                copy->waitForFinished();
            }
            QVERIFY2(one_left, qPrintable(QStringLiteral("round %1: %2 copies kept running").arg(round).arg(left)));
            QCOMPARE(left, 1);
            QVERIFY(started);
            int reached = 0;
            for (auto& copy : copies)
                reached += copy->exitStatus() == QProcess::NormalExit && copy->exitCode() == 0;
            QCOMPARE(reached, k_copies);
        }
    }

    void killed_copy_leaves_nothing_that_blocks_the_next_start()
    {
        Stackpaste first;
        first.write_settings();
        QVERIFY(first.start());
        ::kill(static_cast<pid_t>(first.pid()), SIGKILL);
        first.process().waitForFinished();
        QVERIFY(QFileInfo::exists(socket_path())); // the stale socket file stays behind

        Stackpaste next;
        next.write_settings();
        QVERIFY(next.start(5000));
        // And it is the running instance now: a further start reaches it.
        QCOMPARE(second_start(next), 0);
        QTRY_VERIFY_WITH_TIMEOUT(visible_window("Stackpaste") != 0, 5000);
    }

    void termination_signals_remove_the_snapshots_and_save_data()
    {
        QTest::addColumn<QList<int>>("sent");
        QTest::newRow("SIGTERM") << QList<int>{SIGTERM};
        QTest::newRow("log-out: SIGHUP, then SIGTERM") << QList<int>{SIGHUP, SIGTERM};
        QTest::newRow("SIGTERM and SIGINT again during the clean-up") << QList<int>{SIGTERM, SIGTERM, SIGINT};
    }

    void termination_signals_remove_the_snapshots_and_save()
    {
        QFETCH(QList<int>, sent);
        Stackpaste app;
        app.write_settings();
        QVERIFY(app.start());
        QTRY_VERIFY(!temp_dir_of(app.output()).isEmpty());
        const QString temp = temp_dir_of(app.output());
        QVERIFY(QFileInfo(temp).isDir());
        const pid_t pid = static_cast<pid_t>(app.pid());
        ::kill(pid, sent.first());
        if (sent.size() > 1) {
            // The others once the clean-up has begun.
            app.wait_for_output("Termination signal");
            for (int i = 1; i < sent.size(); ++i)
                ::kill(pid, sent.at(i));
        }
        QVERIFY(app.process().state() == QProcess::NotRunning || app.process().waitForFinished(10000));
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
        QVERIFY(!QFileInfo::exists(temp));
        QVERIFY(QSettings(app.settings_path(), QSettings::IniFormat).contains("PasteOrder"));
    }

    // The terminal or the reading end of the program's output went away: every line written during the clean-up
    // meets a closed pipe, which must not end the program before it has saved.
    void closed_output_pipe_still_removes_the_snapshots_and_saves()
    {
        Stackpaste app;
        app.write_settings();
        QProcess reader;
        app.process().setStandardOutputProcess(&reader);
        reader.start(QStringLiteral("cat"), QStringList());
        app.process().start(app.binary(), QStringList());
        QByteArray output;
        QVERIFY(QTest::qWaitFor(
            [&] {
                output += reader.readAllStandardOutput();
                return output.contains("Temp dir is valid") && output.contains("Temp dir path is");
            },
            15000));
        const QString temp = temp_dir_of(output);
        reader.kill();
        QVERIFY(reader.waitForFinished());
        app.process().terminate();
        QVERIFY(app.process().waitForFinished(10000));
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
        QVERIFY(!QFileInfo::exists(temp));
        QVERIFY(QSettings(app.settings_path(), QSettings::IniFormat).contains("PasteOrder"));
    }

    // Without an X server Qt aborted with advice to reinstall; the program says what is missing and exits with 2.
    void start_without_an_x_display_says_so_data()
    {
        QTest::addColumn<QString>("platform"); // null: unset
        QTest::addColumn<QString>("display");  // null: unset
        QTest::newRow("nothing set") << QString() << QString();
        QTest::newRow("xcb, DISPLAY unset") << "xcb" << QString();
        QTest::newRow("xcb, no server at DISPLAY") << "xcb" << free_display();
        QTest::newRow("default platform, no server at DISPLAY") << QString() << free_display();
    }

    void start_without_an_x_display_says_so()
    {
        QFETCH(QString, platform);
        QFETCH(QString, display);
        Stackpaste app;
        app.write_settings();
        app.set_environment(QStringLiteral("QT_QPA_PLATFORM"), platform);
        app.set_environment(QStringLiteral("DISPLAY"), display);
        app.process().start(app.binary(), QStringList());
        QVERIFY(app.process().waitForFinished(15000));
        const QByteArray output = app.output();
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 2);
        QVERIFY2(output.contains("needs an X11 display"), output.constData());
        QCOMPARE(output.count('\n'), 1);
    }

    // The offscreen platform of the tests needs no display, and the check leaves it alone.
    void offscreen_platform_starts_without_a_display()
    {
        Stackpaste app;
        app.write_settings();
        app.set_environment(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        app.set_environment(QStringLiteral("DISPLAY"), QString());
        QVERIFY2(app.start(), app.output().right(2000).constData());
        QCOMPARE(app.process().state(), QProcess::Running);
    }

    // A FIFO as the settings file hung the start for good, and every later start found the hung copy and exited.
    void settings_fifo_does_not_hang_the_start_data()
    {
        QTest::addColumn<bool>("fifo_in_config_folder");
        QTest::newRow("beside the executable") << false;
        QTest::newRow("beside the executable and in the config folder") << true;
    }

    void settings_fifo_does_not_hang_the_start()
    {
        QFETCH(bool, fifo_in_config_folder);
        const QString config_folder =
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Halcyon Works/Stackpaste");
        const QString config_file = config_folder + QStringLiteral("/Stackpaste_settings.ini");
        QVERIFY(QDir().mkpath(config_folder));
        QFile::remove(config_file);
        Stackpaste app;
        QCOMPARE(::mkfifo(QFile::encodeName(app.settings_path()).constData(), 0600), 0);
        if (fifo_in_config_folder)
            QCOMPARE(::mkfifo(QFile::encodeName(config_file).constData(), 0600), 0);
        QVERIFY2(app.start(), app.output().right(2000).constData());
        app.stop();
        QCOMPARE(app.process().exitCode(), 0);
        QVERIFY(S_ISFIFO(lstat_mode(app.settings_path())));
        if (fifo_in_config_folder)
            QVERIFY(S_ISFIFO(lstat_mode(config_file)));
        else
            QVERIFY(QSettings(config_file, QSettings::IniFormat).contains("PasteOrder"));
        QFile::remove(config_file);
    }

    // When its X server goes away, the program cannot quit the normal way, but it still saves and cleans up.
    void lost_x_server_still_removes_the_snapshots_and_saves()
    {
        QProcess server;
        server.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
        QVERIFY(server.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return server.canReadLine(); }, 10000));
        const QString display = QLatin1Char(':') + QString::fromLatin1(server.readLine().trimmed());

        Stackpaste app;
        app.write_settings();
        app.set_display(display);
        QVERIFY(app.start());
        const QRegularExpression path_line(QStringLiteral("Temp dir path is: \"([^\"]+)\""));
        QTRY_VERIFY(path_line.match(QString::fromLocal8Bit(app.output())).hasMatch());
        const QString temp = path_line.match(QString::fromLocal8Bit(app.output())).captured(1);
        QVERIFY(QFileInfo(temp).isDir());

        server.terminate();
        QVERIFY(server.waitForFinished(10000));
        QVERIFY(app.process().waitForFinished(10000));
        QVERIFY2(!QFileInfo::exists(temp), app.output().right(2000).constData());
        QSettings saved(app.settings_path(), QSettings::IniFormat);
        QVERIFY(saved.contains("PasteOrder"));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "TestSingleInstance.moc"
