// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/GlobalShortcut.h"

#include <QKeySequence>
#include <QString>

#include <cstdint>
#include <vector>

namespace key_grab {
struct Grab;
}

// One system-wide key combination (the first key of a QKeySequence with its modifiers). While registered, pressing
// it anywhere on the desktop emits activated() on the main thread. On X11 it is a passive key grab on the root window
// of Qt's own connection, in asynchronous mode, so the keyboard is never held for it: the press goes to us instead of
// the focused program and nothing waits for our answer. It is grabbed once more with CapsLock, NumLock and both on,
// and grabbed again on the keys the new map needs when the keyboard map or the active layout changes.
// A symbol on a Shift or AltGr level is grabbed with that modifier: "Ctrl+Alt+<" is Ctrl+Alt+Shift on the comma key
// of a US layout and Ctrl+Alt on the key of its own that a German layout has for it.
// Registration fails, with a debug line and registration_error() saying why, for a combination that another program
// holds (the grab of every variant is checked with one round trip; the ones granted are given back), for a text that
// names no key (modifiers alone, "Ctrl") and for a key the current layout does not have. The X11 implementation of
// GlobalShortcut. Main thread only.
class GlobalHotkey : public GlobalShortcut {
    Q_OBJECT
public:
    GlobalHotkey();
    ~GlobalHotkey() override;
    GlobalHotkey(const GlobalHotkey&) = delete;
    GlobalHotkey& operator=(const GlobalHotkey&) = delete;

    // Gives up the current combination and, with autoRegister, grabs the new one at once. An empty sequence only
    // gives it up. Returns is_registered().
    bool setShortcut(const QKeySequence& shortcut, bool autoRegister) override;
    QKeySequence shortcut() const override { return m_shortcut; }
    bool is_registered() const override { return m_registered; }
    // Why the last registration failed, in words for the user; empty when it succeeded or when there is no shortcut.
    QString registration_error() const override { return m_error; }

private:
    friend class HotkeyHub;
    void release();
    bool register_now();

    QKeySequence m_shortcut;
    bool m_wanted = false; // registration asked for, whether or not the server granted it
    bool m_registered = false;
    QString m_error;
    std::vector<key_grab::Grab> m_bases; // the combinations that match a press, lock bits left out
    std::vector<key_grab::Grab> m_grabs; // what is grabbed: each base with its lock variants
    uint16_t m_num_lock = 0;             // the NumLock bit the grabs were made with
};
