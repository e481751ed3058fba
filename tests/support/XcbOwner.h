// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>

namespace xcb_owner {

// Takes the CLIPBOARD for `window` with a real server time, which a property change on the window hands us (the
// window must select property changes). Tried `attempts` times, in case another program takes the clipboard at the
// same moment. Returns the time of ownership, or XCB_CURRENT_TIME when the clipboard could not be taken.
inline xcb_timestamp_t take_clipboard(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t clipboard,
                                      int attempts)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
        xcb_flush(connection);
        xcb_timestamp_t time = XCB_CURRENT_TIME;
        while (time == XCB_CURRENT_TIME) {
            xcb_generic_event_t* event = xcb_wait_for_event(connection);
            if (!event)
                return XCB_CURRENT_TIME;
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY)
                time = reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
            std::free(event);
        }
        xcb_set_selection_owner(connection, window, clipboard, time);
        xcb_get_selection_owner_reply_t* owner =
            xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboard), nullptr);
        const bool owning = owner && owner->owner == window;
        std::free(owner);
        if (owning)
            return time;
    }
    return XCB_CURRENT_TIME;
}

} // namespace xcb_owner
