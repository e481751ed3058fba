// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class App;
class Keyboard;

// Turns the key presses of the Keyboard into the copy, cut and paste operations of App. Runs on the main thread,
// inside the key press: the focused program gets the key only after handle_key() has returned.
class HotkeyProcessor {
public:
    HotkeyProcessor(App* app, const Keyboard* keyboard);

    // Acts only while Control is held (whatever other modifiers are down): C copies, X cuts, V pastes.
    void handle_key(int key);

private:
    App* m_app;
    const Keyboard* m_keyboard;
};
