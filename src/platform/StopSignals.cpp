// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/StopSignals.h"

#include <QDebug>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <iterator>

namespace {

constexpr int k_stop_signals[] = {SIGTSTP, SIGTTIN, SIGTTOU};
// The pipe's write end, used by the handler; -1 while no object is active.
int g_write_fd = -1;
bool g_installed[3] = {};

void on_stop_signal(int signal_number)
{
    // Only a byte to the thread here: releasing X grabs needs locks that the interrupted code may hold.
    const int saved_errno = errno;
    const char byte = static_cast<char>(signal_number);
    [[maybe_unused]] const ssize_t written = ::write(g_write_fd, &byte, 1);
    errno = saved_errno;
}

} // namespace

StopSignals::StopSignals(std::function<void()> before_stop, std::function<void()> after_continue)
    : m_before_stop(std::move(before_stop)), m_after_continue(std::move(after_continue))
{
    if (g_write_fd != -1)
        return;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        qDebug() << "Stop signals: no pipe; a stop with Ctrl+Z keeps the key grabs";
        return;
    }
    // Never block in the handler: a full pipe already holds a stop request.
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    g_write_fd = fds[1];
    const int read_fd = fds[0];
    m_thread = std::thread([this, read_fd] { run(read_fd); });

    for (size_t i = 0; i < std::size(k_stop_signals); ++i) {
        struct sigaction old_action = {};
        ::sigaction(k_stop_signals[i], nullptr, &old_action);
        // A shell without job control starts programs with these ignored: they stay so.
        if (old_action.sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = on_stop_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        g_installed[i] = ::sigaction(k_stop_signals[i], &action, nullptr) == 0;
    }
}

StopSignals::~StopSignals()
{
    if (!m_thread.joinable())
        return;
    for (size_t i = 0; i < std::size(k_stop_signals); ++i) {
        if (g_installed[i])
            ::signal(k_stop_signals[i], SIG_DFL);
        g_installed[i] = false;
    }
    const char stop_thread = 0;
    [[maybe_unused]] const ssize_t written = ::write(g_write_fd, &stop_thread, 1);
    m_thread.join();
    ::close(g_write_fd);
    g_write_fd = -1;
}

void StopSignals::run(int read_fd)
{
    for (;;) {
        char byte = 0;
        const ssize_t got = ::read(read_fd, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || byte == 0)
            break;
        m_before_stop();
        // Stops every thread of the process; returns once a SIGCONT has continued it.
        ::raise(SIGSTOP);
        m_after_continue();
        // A SIGCONT discards the stops that were pending, as it would without a handler.
        pollfd pending{read_fd, POLLIN, 0};
        while (::poll(&pending, 1, 0) > 0) {
            if (::read(read_fd, &byte, 1) <= 0 || byte == 0) {
                ::close(read_fd);
                return;
            }
        }
    }
    ::close(read_fd);
}
