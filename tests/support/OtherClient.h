// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Another program's X connection on the test session's server: it grabs key combinations the way any client may.

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>
// The XKB header names a struct member "explicit", which is a keyword in C++.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <initializer_list>

#include <cstdint>
#include <cstdlib>

namespace desktop {

class OtherClient {
public:
    OtherClient() : m_connection(xcb_connect(nullptr, nullptr))
    {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~OtherClient() { xcb_disconnect(m_connection); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    // The key whose plain symbol (no Shift, first layout) is the keysym, or 0.
    xcb_keycode_t keycode(xcb_keysym_t keysym) const
    {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
        const xcb_setup_t* setup = xcb_get_setup(m_connection);
        xcb_keycode_t found = 0;
        for (int code = setup->min_keycode; code <= setup->max_keycode && !found; ++code) {
            if (xcb_key_symbols_get_keysym(symbols, static_cast<xcb_keycode_t>(code), 0) == keysym)
                found = static_cast<xcb_keycode_t>(code);
        }
        xcb_key_symbols_free(symbols);
        return found;
    }
    // Presses and releases `key` with the modifier keys held, by keycode (XTest), whatever layout is active.
    void tap(std::initializer_list<xcb_keysym_t> modifiers, xcb_keycode_t key)
    {
        for (const xcb_keysym_t modifier : modifiers)
            fake(keycode(modifier), true);
        fake(key, true);
        fake(key, false);
        for (const xcb_keysym_t modifier : modifiers)
            fake(keycode(modifier), false);
        sync();
    }
    // Makes layout `group` of the keyboard's list the active one, as a layout switch key does.
    void lock_group(int group)
    {
        std::free(xcb_xkb_use_extension_reply(m_connection, xcb_xkb_use_extension(m_connection, 1, 0), nullptr));
        xcb_xkb_latch_lock_state(m_connection, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, static_cast<uint8_t>(group), 0, 0, 0);
        sync();
    }
    // Whether the grab was granted, i.e. nobody else holds the combination. Keeps it when asked.
    bool grab(xcb_keycode_t code, uint16_t modifiers, bool keep)
    {
        xcb_generic_error_t* error =
            xcb_request_check(m_connection, xcb_grab_key_checked(m_connection, 0, m_root, modifiers, code,
                                                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        if (!error && !keep)
            ungrab(code, modifiers);
        return !error;
    }
    void ungrab(xcb_keycode_t code, uint16_t modifiers)
    {
        std::free(xcb_request_check(m_connection, xcb_ungrab_key_checked(m_connection, code, m_root, modifiers)));
    }

private:
    void fake(xcb_keycode_t code, bool down)
    {
        xcb_test_fake_input(m_connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0,
                            0, 0);
    }
    void sync() { std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }

    xcb_connection_t* m_connection;
    xcb_window_t m_root = XCB_NONE;
};

} // namespace desktop
