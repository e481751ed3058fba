// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signal_fds[2] = {-1, -1};

void on_signal(int)
{
    // Only async-signal-safe work here: the event loop reads the byte and quits.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signal_fds[0], &byte, 1);
}

} // namespace

void quit_on_termination_signals()
{
    if (g_signal_fds[0] != -1)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signal_fds) != 0) {
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
    action.sa_flags = SA_RESTART;
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal_number, &action, nullptr);
}
