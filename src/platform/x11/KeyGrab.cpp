// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/KeyGrab.h"

namespace key_grab {

std::vector<uint16_t> with_lock_variants(uint16_t modifiers, uint16_t num_lock)
{
    std::vector<uint16_t> variants{modifiers, static_cast<uint16_t>(modifiers | XCB_MOD_MASK_LOCK)};
    if (num_lock) {
        variants.push_back(static_cast<uint16_t>(modifiers | num_lock));
        variants.push_back(static_cast<uint16_t>(modifiers | num_lock | XCB_MOD_MASK_LOCK));
    }
    return variants;
}

std::vector<uint16_t> with_any_other_modifiers(uint16_t required)
{
    // The eight modifier bits of the core protocol: Shift, Lock, Control, Mod1..Mod5.
    constexpr uint16_t k_all_modifiers = 0xff;
    std::vector<uint16_t> states;
    for (uint16_t state = 0; state <= k_all_modifiers; ++state) {
        if ((state & required) == required)
            states.push_back(state);
    }
    return states;
}

std::vector<Refusal> grab_checked(xcb_connection_t* connection, xcb_window_t root, const std::vector<Grab>& grabs,
                                  uint8_t keyboard_mode)
{
    std::vector<xcb_void_cookie_t> cookies;
    cookies.reserve(grabs.size());
    for (const Grab& grab : grabs)
        cookies.push_back(xcb_grab_key_checked(connection, 0, root, grab.modifiers, grab.keycode, XCB_GRAB_MODE_ASYNC,
                                               keyboard_mode));
    // All requests are on their way before the first check, so the checks cost one round trip, not one each.
    std::vector<Refusal> refused;
    for (size_t i = 0; i < cookies.size(); ++i) {
        XcbPointer<xcb_generic_error_t> error(xcb_request_check(connection, cookies[i]));
        if (error)
            refused.push_back({grabs[i], error->error_code});
    }
    return refused;
}

void ungrab(xcb_connection_t* connection, xcb_window_t root, const std::vector<Grab>& grabs)
{
    if (grabs.empty())
        return;
    std::vector<xcb_void_cookie_t> cookies;
    cookies.reserve(grabs.size());
    for (const Grab& grab : grabs)
        cookies.push_back(xcb_ungrab_key_checked(connection, grab.keycode, root, grab.modifiers));
    for (const xcb_void_cookie_t& cookie : cookies)
        std::free(xcb_request_check(connection, cookie));
}

} // namespace key_grab
