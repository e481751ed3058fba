// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signal_fds[2] = {-1, -1};

void on_signal(int)
{
    // Only async-signal-safe work here: the event loop reads the byte and quits. The socket never blocks (a full
    // buffer already holds a byte that says the same), and errno is kept for the code this interrupted.
    const int saved_errno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signal_fds[0], &byte, 1);
    errno = saved_errno;
}

} // namespace

void quit_on_termination_signals()
{
    if (g_signal_fds[0] != -1)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signal_fds) != 0) {
        qDebug() << "Termination signals: no socket pair; a kill ends the program without clean-up";
        return;
    }
    auto* notifier = new QSocketNotifier(g_signal_fds[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), [] {
        char byte;
        [[maybe_unused]] const ssize_t got = ::read(g_signal_fds[1], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    // One signal asks for a clean quit; a second one, if the program is stuck, ends it as the default would.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal_number, &action, nullptr);
}
