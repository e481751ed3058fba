// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <thread>

// Job-control stops that the program may catch (SIGTSTP from Ctrl+Z in a terminal, SIGTTIN, SIGTTOU): before the
// process stops, before_stop() runs, and after it is continued (SIGCONT), after_continue() runs. Both run on a
// thread of this object's own, never inside the signal handler. A signal that was ignored when the object was
// made stays ignored. SIGSTOP cannot be caught and stops the process as it is. One object at a time.
class StopSignals {
public:
    StopSignals(std::function<void()> before_stop, std::function<void()> after_continue);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Whether the handlers are in place (false when another object holds them or no pipe could be made).
    bool is_active() const { return m_thread.joinable(); }

private:
    void run(int read_fd);

    std::function<void()> m_before_stop;
    std::function<void()> m_after_continue;
    std::thread m_thread;
};
