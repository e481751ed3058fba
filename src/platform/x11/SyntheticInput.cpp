// SPDX-License-Identifier: GPL-3.0-or-later
// Injected key presses with XTest, on Qt's own X connection (main thread).
#include "platform/Platform.h"
#include "platform/x11/Keymap.h"
#include "platform/x11/LinuxKeyboard.h"

#include <QDebug>
#include <QX11Info>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <memory>

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

constexpr xcb_keysym_t k_keysym_control_l = 0xffe3;
constexpr xcb_keysym_t k_keysym_v = 0x76;
constexpr uint16_t k_all_modifiers = 0xff; // Shift, Lock, Control, Mod1..Mod5

void fake_key(xcb_connection_t* connection, uint8_t type, xcb_keycode_t code)
{
    xcb_test_fake_input(connection, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

// Every modifier key that is down now is let go, so the injected Ctrl+V arrives as Ctrl+V.
void release_held_modifiers(xcb_connection_t* connection, const Keymap& keymap)
{
    Reply<xcb_query_keymap_reply_t> keys(xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr),
                                         &std::free);
    if (!keys)
        return;
    for (const xcb_keycode_t code : keymap.modifier_keys(k_all_modifiers)) {
        if (keys->keys[code / 8] & (1 << (code % 8)))
            fake_key(connection, XCB_KEY_RELEASE, code);
    }
}

} // namespace

quint64 focused_window()
{
    if (!QX11Info::isPlatformX11())
        return 0;
    xcb_connection_t* connection = QX11Info::connection();
    Reply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr), &std::free);
    // None and PointerRoot (0 and 1) name no window to return to.
    return focus && focus->focus > 1 ? focus->focus : 0;
}

bool paste_into(quint64 window)
{
    if (!QX11Info::isPlatformX11())
        return false;
    xcb_connection_t* connection = QX11Info::connection();
    if (window > 1) {
        // A window that has gone since is no error to stop for: the key then goes wherever the focus is.
        xcb_void_cookie_t focus = xcb_set_input_focus_checked(connection, XCB_INPUT_FOCUS_PARENT,
                                                              static_cast<xcb_window_t>(window), XCB_CURRENT_TIME);
        if (std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(xcb_request_check(connection, focus),
                                                                             &std::free);
            error)
            qDebug() << "The window to paste into is gone; pasting where the keyboard focus is";
    }
    // The V of the active layout: the first key that has a V somewhere may be another letter in it (dvorak and us).
    Keymap keymap(connection);
    keymap.refresh();
    const xcb_keycode_t control = keymap.keycode_of(k_keysym_control_l);
    const xcb_keycode_t v = keymap.keycode_of(k_keysym_v);
    if (control == 0 || v == 0) {
        qDebug() << "No key for Ctrl+V in the keyboard map: nothing pasted";
        return false;
    }
    release_held_modifiers(connection, keymap);
    // The keyboard lets this Ctrl+V through unreported: the text is on the clipboard already.
    if (LinuxKeyboard* keyboard = LinuxKeyboard::instance())
        keyboard->expect_own_paste();
    fake_key(connection, XCB_KEY_PRESS, control);
    fake_key(connection, XCB_KEY_PRESS, v);
    fake_key(connection, XCB_KEY_RELEASE, v);
    fake_key(connection, XCB_KEY_RELEASE, control);
    xcb_flush(connection);
    return true;
}
