// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Another program's X connection on the test session's server: it grabs key combinations the way any client may.

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

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

    // The first key of the current map that carries the keysym.
    xcb_keycode_t keycode(xcb_keysym_t keysym) const
    {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t first = codes ? codes[0] : 0;
        std::free(codes);
        xcb_key_symbols_free(symbols);
        return first;
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
    xcb_connection_t* m_connection;
    xcb_window_t m_root = XCB_NONE;
};

} // namespace desktop
