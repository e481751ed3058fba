// SPDX-License-Identifier: GPL-3.0-or-later
// Injected key presses with XTest, on Qt's own X connection (main thread).
#include "platform/Platform.h"

#include <QDebug>
#include <QX11Info>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <memory>

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

constexpr xcb_keysym_t k_keysym_control_l = 0xffe3;
constexpr xcb_keysym_t k_keysym_v = 0x76;

xcb_keycode_t keycode_of(xcb_key_symbols_t* symbols, xcb_keysym_t keysym)
{
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(xcb_key_symbols_get_keycode(symbols, keysym),
                                                               &std::free);
    return codes ? codes.get()[0] : XCB_NO_SYMBOL;
}

void fake_key(xcb_connection_t* connection, uint8_t type, xcb_keycode_t code)
{
    xcb_test_fake_input(connection, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

// Every modifier key that is down now is let go, so the injected Ctrl+V arrives as Ctrl+V.
void release_held_modifiers(xcb_connection_t* connection)
{
    Reply<xcb_query_keymap_reply_t> keys(xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr),
                                         &std::free);
    Reply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr), &std::free);
    if (!keys || !mapping)
        return;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int count = xcb_get_modifier_mapping_keycodes_length(mapping.get());
    for (int i = 0; i < count; ++i) {
        const xcb_keycode_t code = codes[i];
        if (code != 0 && (keys->keys[code / 8] & (1 << (code % 8))))
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
    std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> symbols(xcb_key_symbols_alloc(connection),
                                                                                &xcb_key_symbols_free);
    const xcb_keycode_t control = keycode_of(symbols.get(), k_keysym_control_l);
    const xcb_keycode_t v = keycode_of(symbols.get(), k_keysym_v);
    if (control == XCB_NO_SYMBOL || v == XCB_NO_SYMBOL) {
        qDebug() << "No key for Ctrl+V in the keyboard map: nothing pasted";
        return false;
    }
    release_held_modifiers(connection);
    fake_key(connection, XCB_KEY_PRESS, control);
    fake_key(connection, XCB_KEY_PRESS, v);
    fake_key(connection, XCB_KEY_RELEASE, v);
    fake_key(connection, XCB_KEY_RELEASE, control);
    xcb_flush(connection);
    return true;
}
