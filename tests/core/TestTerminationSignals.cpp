// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

// Each case runs in a child process of its own: the handlers are installed once per process, and a fault shows as
// the child killed by a signal.
class TestTerminationSignals : public QObject {
    Q_OBJECT

    // Runs body in a child process; returns its wait status, or -1 when it had not ended after a generous bound.
    template <typename Body> static int in_child(Body body)
    {
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(body());
        int status = 0;
        if (!QTest::qWaitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 60000)) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        return status;
    }

    static QByteArray describe(int status)
    {
        if (status == -1)
            return "still running";
        if (WIFSIGNALED(status))
            return "killed by signal " + QByteArray::number(WTERMSIG(status));
        return "exit code " + QByteArray::number(WEXITSTATUS(status));
    }

    // The event loop's result once the pending signal bytes are read: 0 when a quit was asked for, 1 when not.
    static int quit_was_asked()
    {
        QEventLoop loop;
        // A quit already asked for ends exec() at once; otherwise this timer ends it.
        QTimer::singleShot(1000, &loop, [&] { loop.exit(1); });
        return loop.exec() == 1 ? 1 : 0;
    }

private Q_SLOTS:
    // A log-out sends SIGHUP and SIGTERM, an impatient user presses Ctrl+C twice: the clean-up must go on.
    void repeated_signals_ask_for_one_clean_quit()
    {
        const int status = in_child([] {
            quit_on_termination_signals();
            for (int signal_number : {SIGTERM, SIGTERM, SIGHUP, SIGINT, SIGTERM})
                ::raise(signal_number);
            return quit_was_asked() == 0 ? 0 : 3;
        });
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, describe(status).constData());
    }

    // Nothing reads the signal byte here, as when the main thread hangs: the watchdog ends the program with the
    // first signal's default action.
    void watchdog_ends_a_clean_up_that_hangs()
    {
        const int status = in_child([] {
            quit_on_termination_signals();
            ::raise(SIGHUP);
            for (;;)
                ::pause();
            return 0;
        });
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP, describe(status).constData());
    }

    // nohup starts the program with SIGHUP ignored: closing the terminal must not end it.
    void hangup_ignored_at_start_stays_ignored()
    {
        const int status = in_child([] {
            ::signal(SIGHUP, SIG_IGN);
            quit_on_termination_signals();
            ::raise(SIGHUP);
            struct sigaction now = {};
            ::sigaction(SIGHUP, nullptr, &now);
            if (now.sa_handler != SIG_IGN)
                return 4;
            return quit_was_asked() == 1 ? 0 : 5;
        });
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, describe(status).constData());
    }

    // Output to a closed pipe (a terminal that went away) fails the write and the program carries on to save.
    void broken_pipe_fails_the_write_only()
    {
        const int status = in_child([] {
            quit_on_termination_signals();
            int ends[2];
            if (::pipe(ends) != 0)
                return 6;
            ::close(ends[0]);
            const ssize_t written = ::write(ends[1], "x", 1);
            return written == -1 && errno == EPIPE ? 0 : 7;
        });
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, describe(status).constData());
    }
};

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "TestTerminationSignals.moc"
