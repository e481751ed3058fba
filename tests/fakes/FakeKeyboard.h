// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Keyboard.h"

// A key source for tests: press() delivers a key as the platform would, with or without Control held.
class FakeKeyboard : public Keyboard {
    Q_OBJECT
public:
    bool set_hooked(bool on) override
    {
        ++m_hook_calls;
        m_hooked = on;
        return on;
    }
    bool is_control_held() const override { return m_control; }
    Qt::KeyboardModifiers modifiers_held() const override { return m_modifiers; }

    // `extra`: the modifiers held besides Control.
    void press(int key, bool control = true, Qt::KeyboardModifiers extra = Qt::NoModifier)
    {
        m_control = control;
        m_modifiers = extra | (control ? Qt::ControlModifier : Qt::NoModifier);
        Q_EMIT signal_key_pressed(key, 0);
        m_control = false;
        m_modifiers = Qt::NoModifier;
    }

    bool m_hooked = false;
    int m_hook_calls = 0;

private:
    bool m_control = false;
    Qt::KeyboardModifiers m_modifiers = Qt::NoModifier;
};
