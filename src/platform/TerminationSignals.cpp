// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How long the clean-up may take after the first termination signal before the watchdog ends the program.
constexpr unsigned k_grace_seconds = 5;

int g_signal_fds[2] = {-1, -1};
// The first termination signal received, 0 before it. Lock-free, so the handlers may use it.
std::atomic<int> g_first_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void on_termination_signal(int signal_number)
{
    // Only async-signal-safe work here: the event loop reads the byte and quits. The socket never blocks (a full
    // buffer already holds a byte that says the same), and errno is kept for the code this interrupted.
    const int saved_errno = errno;
    int none = 0;
    // Later signals are the same request (a log-out sends SIGHUP and SIGTERM, Ctrl+C is pressed twice) and must
    // not cut the clean-up short; the watchdog is what ends a clean-up that hangs.
    if (g_first_signal.compare_exchange_strong(none, signal_number)) {
        ::alarm(k_grace_seconds);
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(g_signal_fds[0], &byte, 1);
    }
    errno = saved_errno;
}

void on_watchdog(int)
{
    const int signal_number = g_first_signal.load();
    if (signal_number == 0)
        return;
    // The clean-up hangs: end the way the first signal ends a program that does not catch it, so that whoever
    // sent it sees the process killed by that signal.
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal_number);
    ::sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    ::raise(signal_number);
    ::_exit(128 + signal_number);
}

// A write to a closed pipe or a terminal that went away then fails with EPIPE instead of killing the program
// before it saves. A handler rather than SIG_IGN: programs started from here get the default back at exec.
void on_broken_pipe(int) {}

bool is_ignored(int signal_number)
{
    struct sigaction old = {};
    return ::sigaction(signal_number, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_IGN;
}

void install(int signal_number, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Installed for good (no SA_RESETHAND): a repeated signal must reach the handler, not the default action.
    action.sa_flags = SA_RESTART;
    ::sigaction(signal_number, &action, nullptr);
}

} // namespace

void quit_on_termination_signals()
{
    if (g_signal_fds[0] != -1)
        return;
    if (!is_ignored(SIGPIPE))
        install(SIGPIPE, on_broken_pipe);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signal_fds) != 0) {
        qDebug() << "Termination signals: no socket pair; a kill ends the program without clean-up";
        return;
    }
    auto* notifier = new QSocketNotifier(g_signal_fds[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), [] {
        char byte;
        [[maybe_unused]] const ssize_t got = ::read(g_signal_fds[1], &byte, 1);
        qDebug() << "Termination signal" << g_first_signal.load() << "- saving and cleaning up before the end";
        QCoreApplication::quit();
    });
    install(SIGALRM, on_watchdog);
    install(SIGTERM, on_termination_signal);
    // Started with nohup, or as a background job of a script, the caller asked for SIGHUP or SIGINT to be ignored.
    for (int signal_number : {SIGINT, SIGHUP}) {
        if (is_ignored(signal_number))
            qDebug() << "Termination signals: signal" << signal_number << "was ignored at start and stays ignored";
        else
            install(signal_number, on_termination_signal);
    }
}
