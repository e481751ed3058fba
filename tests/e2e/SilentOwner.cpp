// SPDX-License-Identifier: GPL-3.0-or-later
// A clipboard owner that never answers: takes the CLIPBOARD selection and ignores every request for its content, as
// a hung program does. Anyone who reads the clipboard waits until their own timeout.
//
//   silent_owner [--targets]
//
// With --targets it answers the list of targets (several text formats) and nothing else, as a program that hangs
// after announcing its content does: a reader then waits its timeout once for every format.
// Prints "owning" on standard output once the selection is ours, and keeps it until killed.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t intern(xcb_connection_t* connection, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

} // namespace

int main(int argc, char** argv)
{
    const bool answer_targets = argc > 1 && std::strcmp(argv[1], "--targets") == 0;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "silent_owner: cannot connect to the X display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t mask_values[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK, mask_values);

    // A selection is taken with a real server time, which a property change on our own window hands us. Tried a
    // few times, in case another program takes the clipboard at the same moment.
    const xcb_atom_t clipboard = intern(connection, "CLIPBOARD");
    bool owning = false;
    for (int attempt = 0; attempt < 5 && !owning; ++attempt) {
        xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
        xcb_flush(connection);
        xcb_timestamp_t time = XCB_CURRENT_TIME;
        while (time == XCB_CURRENT_TIME) {
            Reply<xcb_generic_event_t> event(xcb_wait_for_event(connection));
            if (!event)
                return 1;
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY)
                time = reinterpret_cast<xcb_property_notify_event_t*>(event.get())->time;
        }
        xcb_set_selection_owner(connection, window, clipboard, time);
        Reply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboard), nullptr));
        owning = owner && owner->owner == window;
    }
    if (!owning) {
        std::fprintf(stderr, "silent_owner: the clipboard was not taken\n");
        return 1;
    }
    std::printf("owning\n");
    std::fflush(stdout);

    // Requests arrive as SelectionRequest events; none is ever answered, but for the targets when asked to.
    const xcb_atom_t targets = intern(connection, "TARGETS");
    const xcb_atom_t offered[] = {targets,
                                  intern(connection, "UTF8_STRING"),
                                  intern(connection, "text/plain"),
                                  intern(connection, "text/plain;charset=utf-8"),
                                  intern(connection, "text/html"),
                                  intern(connection, "application/x-stuck-1"),
                                  intern(connection, "application/x-stuck-2")};
    while (Reply<xcb_generic_event_t> event{xcb_wait_for_event(connection)}) {
        const int type = event->response_type & 0x7f;
        if (type == XCB_SELECTION_CLEAR)
            break;
        if (type != XCB_SELECTION_REQUEST || !answer_targets)
            continue;
        const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event.get());
        if (request->target != targets)
            continue;
        const xcb_atom_t property = request->property == XCB_ATOM_NONE ? request->target : request->property;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property, XCB_ATOM_ATOM, 32,
                            sizeof(offered) / sizeof(offered[0]), offered);
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request->time;
        notify.requestor = request->requestor;
        notify.selection = request->selection;
        notify.target = request->target;
        notify.property = property;
        xcb_send_event(connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&notify));
        xcb_flush(connection);
    }
    xcb_disconnect(connection);
    return 0;
}
