// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eSupport.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <csignal>
#include <sys/stat.h>

using namespace e2e;

class TestSingleInstance : public QObject {
    Q_OBJECT

    static QString socket_path()
    {
        return qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/Halcyon WorksStackpaste");
    }

    // Starts a second copy and returns its exit code (-1: it did not end).
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

    void termination_signal_removes_the_snapshots_and_saves()
    {
        Stackpaste app;
        app.write_settings();
        QVERIFY(app.start());
        const QRegularExpression path_line(QStringLiteral("Temp dir path is: \"([^\"]+)\""));
        QTRY_VERIFY(path_line.match(QString::fromLocal8Bit(app.output())).hasMatch());
        const QString temp = path_line.match(QString::fromLocal8Bit(app.output())).captured(1);
        QVERIFY(QFileInfo(temp).isDir());
        app.process().terminate();
        QVERIFY(app.process().waitForFinished(10000));
        QCOMPARE(app.process().exitCode(), 0);
        QVERIFY(!QFileInfo::exists(temp));
        QVERIFY(QFile(app.settings_path()).open(QIODevice::ReadOnly));
        QSettings saved(app.settings_path(), QSettings::IniFormat);
        QVERIFY(saved.contains("PasteOrder"));
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
