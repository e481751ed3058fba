// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Keyboard.h"
#include "core/Singleton.h"

#include <memory>

// Ctrl+C, Ctrl+X and Ctrl+V of the whole X11 desktop, whatever other modifiers are held with Control (Shift, Alt,
// Super, AltGr, the locks). Only Ctrl+V is held: it is caught with synchronous passive
// key grabs on the root window, handed to the main thread, where signal_key_pressed runs its whole chain, and then
// replayed to the focused program. Ctrl+C and Ctrl+X are only seen (XInput 2 raw key events, which reach us whoever
// has the focus) and reported on the main thread while they travel on; nothing of ours ever holds them. A worker
// thread with its own X connection owns the grabs and reads the events. The keyboard is never held longer than about
// 200 ms: a press the main thread has not taken by then is replayed at once and dropped (a handler that has started
// is waited for, up to a second). A job-control stop (Ctrl+Z in a terminal) gives the grabs back first and takes them
// again on continue; a SIGSTOP can hold only a Ctrl+V. The keys follow layout changes (setxkbmap) and switches; the
// active layout decides which letter a key is, and a layout without Latin letters (Cyrillic, Greek) takes the letter
// of a Latin layout of the list. Timing for the benchmark: LinuxKeyboardProbe.h.
// Without an X11 display the keyboard says so once on the debug channel and set_hooked() returns false.
class LinuxKeyboard : public Keyboard, public Singleton<LinuxKeyboard> {
    Q_OBJECT
public:
    LinuxKeyboard();
    ~LinuxKeyboard() override;

    bool set_hooked(bool on) override;
    bool is_control_held() const override;
    Qt::KeyboardModifiers modifiers_held() const override { return m_modifiers; }
    // The next Ctrl+V, within a second, is the program's own injected paste: it goes on to the focused program
    // without being reported. Main thread.
    void expect_own_paste();

private:
    class Worker;
    // Emits signal_key_pressed with is_control_held() answering `control` (main thread).
    void report(int key, int flags, bool control);

    std::unique_ptr<Worker> m_worker;
    bool m_control_held = false;
    Qt::KeyboardModifiers m_modifiers = Qt::NoModifier;
};
