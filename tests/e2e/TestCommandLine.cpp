// SPDX-License-Identifier: GPL-3.0-or-later
// `stackpaste COMMAND [ARGS]` against the running program: each call is a process of its own, as a script or a
// desktop key binding runs it.
#include "E2eSupport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QSettings>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace e2e;

namespace {

struct Call {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the program's command line with arguments (and input on its standard input) and waits for its end.
Call call(const Stackpaste& app, const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(app.binary(), arguments);
    process.write(input);
    process.closeWriteChannel();
    Call result;
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QString socket_path()
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/Halcyon WorksStackpaste");
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Without a running copy a command ends with 1 and starts nothing; a wrong command says what is wrong.
    void without_a_running_copy_and_usage_errors()
    {
        Stackpaste app;
        app.write_settings();
        const Call absent = call(app, {"list"});
        QCOMPARE(absent.status, 1);
        QCOMPARE(absent.err, QByteArray("Stackpaste is not running\n"));
        QVERIFY(!QFile::exists(socket_path()));
        const Call unknown = call(app, {"paste"});
        QCOMPARE(unknown.status, 2);
        QVERIFY(unknown.err.contains("unknown command \"paste\""));
        const Call bad = call(app, {"order", "sideways"});
        QCOMPARE(bad.status, 2);
        QVERIFY(bad.err.contains("\"sideways\""));
        const Call help = call(app, {"--help"});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains("push TEXT") && help.out.contains("toggle-pause") && help.out.contains("quit"));
    }

    // Pushes and a real copy fill the history as copies do; list, list --json and next read it; a pause keeps a copy
    // out; an order set here is saved by quit.
    void push_list_pause_order_and_quit()
    {
        Stackpaste app;
        app.write_settings();
        QVERIFY(app.start());
        QCOMPARE(call(app, {"push", "hello", "world"}).status, 0);
        QCOMPARE(call(app, {"push", "-"}, "two\nlines").status, 0);
        const Call list = call(app, {"list"});
        QCOMPARE(list.status, 0);
        QCOMPARE(list.out, QByteArray("1\ttext\t9\ttwo⏎lines\n0\ttext\t11\thello world\n"));
        const Call json = call(app, {"list", "--json"});
        const QJsonArray items = QJsonDocument::fromJson(json.out).array();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items.at(0).toObject().value("text").toString(), QString("two\nlines"));
        QCOMPARE(items.at(1).toObject().value("position").toInt(), 0);
        QCOMPARE(items.at(1).toObject().value("kind").toString(), QString("text"));
        const QJsonObject format = items.at(1).toObject().value("formats").toArray().at(0).toObject();
        QCOMPARE(format.value("type").toString(), QString("text/plain"));
        QCOMPARE(format.value("bytes").toInt(), 11);
        QCOMPARE(call(app, {"next"}).out, QByteArray("two\nlines"));

        QCOMPARE(call(app, {"pause"}).status, 0);
        const int before = count(app.output(), "END copy_to_stackpaste_clipboard()");
        copy_with_xclip("while paused");
        QTRY_VERIFY_WITH_TIMEOUT(count(app.output(), "END copy_to_stackpaste_clipboard()") > before, 10000);
        QCOMPARE(call(app, {"list"}).out, list.out);
        QCOMPARE(call(app, {"toggle-pause"}).status, 0);
        copy_with_xclip("resumed");
        QTRY_VERIFY_WITH_TIMEOUT(call(app, {"list"}).out.count('\n') == 3, 10000);

        QCOMPARE(call(app, {"order", "forward"}).status, 0);
        QCOMPARE(call(app, {"quit"}).status, 0);
        QVERIFY(app.process().waitForFinished(10000));
        QCOMPARE(QSettings(app.settings_path(), QSettings::IniFormat).value("PasteOrder").toString(),
                 QString("forward"));
    }

    // Commands from several processes at once are each answered; junk and a half-written request change nothing.
    void concurrent_calls_and_junk()
    {
        Stackpaste app;
        app.write_settings();
        QVERIFY(app.start());
        std::vector<std::unique_ptr<QProcess>> calls;
        for (int i = 0; i < 8; ++i) {
            calls.push_back(std::make_unique<QProcess>());
            calls.back()->start(app.binary(), {"push", QString::number(i)});
        }
        for (auto& process : calls) {
            QVERIFY(process->waitForFinished(15000));
            QCOMPARE(process->exitCode(), 0);
        }
        const QByteArray eight = call(app, {"list"}).out;
        QCOMPARE(eight.count('\n'), 8);

        const auto send = [](const QByteArray& bytes) {
            QLocalSocket socket;
            socket.connectToServer(socket_path());
            if (!socket.waitForConnected(5000))
                return QByteArray("(no connection)");
            socket.write(bytes);
            socket.waitForBytesWritten(5000);
            QByteArray answer;
            while (socket.waitForReadyRead(7000))
                answer += socket.readAll();
            return answer;
        };
        QVERIFY(send("STACKPASTE 2 clear now\n").startsWith("ERROR clear takes no argument"));
        QVERIFY(send(QByteArray(300, 'x')).startsWith("ERROR request too long"));
        QVERIFY(send("STACKPASTE 2 push\nzz\n").startsWith("ERROR bad chunk length"));
        // A push cut off in its text is dropped once it stalls; nothing arrives in the history.
        QCOMPARE(send("STACKPASTE 2 push\n5\nab"), QByteArray());
        QTRY_VERIFY_WITH_TIMEOUT(app.output().contains("a connection stalled"), 5000);
        QCOMPARE(call(app, {"list"}).out, eight);

        // A client that never reads a long answer is dropped too, and the program goes on answering.
        QCOMPARE(call(app, {"push", "-"}, QByteArray(4 << 20, 'w')).status, 0);
        const int stalled = count(app.output(), "a connection stalled");
        QLocalSocket deaf;
        deaf.setReadBufferSize(1); // it takes a byte and no more
        deaf.connectToServer(socket_path());
        QVERIFY(deaf.waitForConnected(5000));
        deaf.write("STACKPASTE 2 list --json\n");
        QVERIFY(deaf.waitForBytesWritten(5000));
        QTRY_VERIFY_WITH_TIMEOUT(count(app.output(), "a connection stalled") > stalled, 10000);
        QCOMPARE(call(app, {"list"}).out.count('\n'), 9);
        QCOMPARE(call(app, {"clear"}).status, 0);
        QCOMPARE(call(app, {"push", "kept"}).status, 0);
        const QByteArray kept = call(app, {"list"}).out;
        QCOMPARE(kept, QByteArray("0\ttext\t4\tkept\n"));

        // Another user who reaches the socket (the folders opened for the test) is refused by the program itself.
        if (::geteuid() != 0)
            return;
        const QByteArray runtime = QFile::encodeName(qEnvironmentVariable("XDG_RUNTIME_DIR"));
        const QByteArray socket = QFile::encodeName(socket_path());
        const QByteArray session = QFile::encodeName(QFileInfo(qEnvironmentVariable("XDG_RUNTIME_DIR")).path());
        struct stat session_info = {};
        QCOMPARE(::stat(session.constData(), &session_info), 0);
        QCOMPARE(::chmod(session.constData(), 0711), 0);
        QCOMPARE(::chmod(runtime.constData(), 0711), 0);
        QCOMPARE(::chmod(socket.constData(), 0777), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // Only calls that are safe after a fork from here on.
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path, socket.constData(),
                        std::min(size_t(socket.size()), sizeof(address.sun_path) - 1));
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            char answer[64];
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
                ::_exit(10 + errno);
            // The program may have closed the connection already: the request then finds no reader.
            ::send(fd, "STACKPASTE 2 clear\n", 19, MSG_NOSIGNAL);
            ::_exit(::read(fd, answer, sizeof(answer)) > 0 ? 1 : 0);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        ::chmod(runtime.constData(), 0700);
        ::chmod(session.constData(), session_info.st_mode & 07777);
        ::chmod(socket.constData(), 0700);
        QCOMPARE(WEXITSTATUS(status), 0);
        QTRY_VERIFY_WITH_TIMEOUT(app.output().contains("a connection from user 65534 is refused"), 5000);
        QCOMPARE(call(app, {"list"}).out, kept);
    }
};

QTEST_MAIN(TestCommandLine)
#include "TestCommandLine.moc"
