// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Keyboard.h"
#include "core/Singleton.h"

#include <memory>

// Ctrl+C, Ctrl+X and Ctrl+V of the whole X11 desktop, caught with synchronous passive key grabs on the root
// window. A worker thread with its own X connection owns the grabs; each press is handed to the main thread,
// where signal_key_pressed runs its whole chain, and then replayed to the focused program. The keyboard is never
// held longer than about 200 ms: a press the main thread has not taken by then is replayed at once and dropped (a
// handler that has started is waited for, up to a second). The keys follow layout changes (setxkbmap); with two
// Latin layouts that put the letters on different keys, the active layout decides which letter a key is. Timing for
// the benchmark: LinuxKeyboardProbe.h.
// Without an X11 display the keyboard says so once on the debug channel and set_hooked() returns false.
class LinuxKeyboard : public Keyboard, public Singleton<LinuxKeyboard> {
    Q_OBJECT
public:
    LinuxKeyboard();
    ~LinuxKeyboard() override;

    bool set_hooked(bool on) override;
    bool is_control_held() const override;

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
    bool m_control_held = false;
};

// The one keyboard of the platform; App calls it once.
std::unique_ptr<Keyboard> create_keyboard();
