// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

// The system-wide key source. An implementation reports the key-down events of the whole desktop that the
// copy and paste cycle needs (at least Ctrl+C, Ctrl+X and Ctrl+V, injected presses included) on the main
// thread, before the focused program handles them, and answers whether Control was held for the key being
// reported. Where the desktop lets no program see other programs' keys, it reports none (a PasteTrigger of the
// backend then tells of pastes). Created without a parent; lives for the whole run.
class Keyboard : public QObject {
    Q_OBJECT
public:
    // Letter keys use their upper-case character codes.
    static constexpr int k_key_c = 0x43;
    static constexpr int k_key_v = 0x56;
    static constexpr int k_key_x = 0x58;

    Keyboard() : QObject(nullptr) {}
    ~Keyboard() override = default;

    // Installs (true) or removes (false) the interception; returns whether it is installed afterwards.
    virtual bool set_hooked(bool on) = 0;
    // Whether Control is held for the key press being delivered now.
    virtual bool is_control_held() const = 0;
    // The modifiers held for the key press being delivered now; Control alone where the platform tells no more.
    virtual Qt::KeyboardModifiers modifiers_held() const
    {
        return is_control_held() ? Qt::ControlModifier : Qt::NoModifier;
    }

Q_SIGNALS:
    // key: the key's code as above; flags: platform bits, passed on, used by nobody.
    void signal_key_pressed(int key, int flags);
};
