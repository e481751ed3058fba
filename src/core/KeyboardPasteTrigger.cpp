// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/KeyboardPasteTrigger.h"

#include "core/Keyboard.h"

KeyboardPasteTrigger::KeyboardPasteTrigger(const Keyboard& keyboard)
{
    // A direct connection: the paste runs inside the keyboard's signal, while the key is still held.
    connect(&keyboard, &Keyboard::signal_key_pressed, this, [this, &keyboard](int key, int) {
        if (key == Keyboard::k_key_v && keyboard.is_control_held())
            Q_EMIT signal_paste(Moment::before_read);
    });
}
