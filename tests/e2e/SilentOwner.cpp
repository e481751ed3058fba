// SPDX-License-Identifier: GPL-3.0-or-later
// A clipboard owner that never answers: takes the CLIPBOARD selection and ignores every request for its content, as
// a hung program does. Anyone who reads the clipboard waits until their own timeout.
//
//   silent_owner [--targets | --incr-stall | --incr-die | --incr-trickle | --incr-slow | --many-targets]
//
// --targets      answers the list of targets (several text formats) and nothing else, as a program that hangs
//                after announcing its content does: a reader then waits its timeout once for every format.
// --incr-stall   offers UTF8_STRING, starts an incremental transfer of it, sends one chunk and then nothing.
// --incr-die     the same, but the program ends after the first chunk.
// --incr-trickle the same, but a byte follows every 300 ms, for ever: a transfer that never stalls nor ends.
// --incr-slow    the same, but ten chunks of 64 KiB follow 100 ms apart, then the end: a slow transfer that
//                completes, even when another program takes the clipboard meanwhile.
// --many-targets offers 1,000 formats and UTF8_STRING, and answers every one of them at once.
// Prints "owning" on standard output once the selection is ours, and keeps it until killed; in the incremental modes
// also "sending" once a transfer has begun.
#include "support/XcbOwner.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

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
    const char* mode = argc > 1 ? argv[1] : "";
    const bool answer_targets = std::strcmp(mode, "") != 0;
    const bool incremental = std::strncmp(mode, "--incr-", 7) == 0;
    const bool many = std::strcmp(mode, "--many-targets") == 0;
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

    // Tried a few times, in case another program takes the clipboard at the same moment.
    const xcb_atom_t clipboard = intern(connection, "CLIPBOARD");
    if (xcb_owner::take_clipboard(connection, window, clipboard, 5) == XCB_CURRENT_TIME) {
        std::fprintf(stderr, "silent_owner: the clipboard was not taken\n");
        return 1;
    }
    std::printf("owning\n");
    std::fflush(stdout);

    // Requests arrive as SelectionRequest events; none is ever answered, but for the targets when asked to.
    const xcb_atom_t targets = intern(connection, "TARGETS");
    const xcb_atom_t utf8 = intern(connection, "UTF8_STRING");
    const xcb_atom_t incr = intern(connection, "INCR");
    std::vector<xcb_atom_t> offered{targets};
    if (incremental) {
        offered.push_back(utf8);
    } else if (many) {
        offered.push_back(utf8);
        for (int i = 0; i < 1000; ++i)
            offered.push_back(intern(connection, ("application/x-many-" + std::to_string(i)).c_str()));
    } else {
        for (const char* name : {"UTF8_STRING", "text/plain", "text/plain;charset=utf-8", "text/html",
                                 "application/x-stuck-1", "application/x-stuck-2"})
            offered.push_back(intern(connection, name));
    }
    const auto notify = [&](const xcb_selection_request_event_t& request, xcb_atom_t property) {
        xcb_selection_notify_event_t event{};
        event.response_type = XCB_SELECTION_NOTIFY;
        event.time = request.time;
        event.requestor = request.requestor;
        event.selection = request.selection;
        event.target = request.target;
        event.property = property;
        xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(connection);
    };
    // The incremental transfer under way: where its chunks go, and whether the first one went.
    xcb_window_t incr_window = XCB_NONE;
    xcb_atom_t incr_property = XCB_NONE;
    bool chunk_sent = false;
    const bool slow = std::strcmp(mode, "--incr-slow") == 0;
    int chunks_sent = 0;
    bool cleared = false;
    const std::string chunk(64 * 1024, 'x');
    while (Reply<xcb_generic_event_t> event{xcb_wait_for_event(connection)}) {
        const int type = event->response_type & 0x7f;
        if (type == XCB_SELECTION_CLEAR) {
            // A slow transfer under way is finished first, as owners do.
            if (!slow || incr_window == XCB_NONE)
                break;
            cleared = true;
            continue;
        }
        if (type == XCB_PROPERTY_NOTIFY && slow && incr_window != XCB_NONE) {
            const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event.get());
            if (change->window != incr_window || change->atom != incr_property || change->state != XCB_PROPERTY_DELETE)
                continue;
            ::usleep(100 * 1000);
            const uint32_t length = chunks_sent < 10 ? static_cast<uint32_t>(chunk.size()) : 0;
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, incr_window, incr_property, utf8, 8, length,
                                chunk.data());
            xcb_flush(connection);
            if (++chunks_sent > 10) {
                incr_window = XCB_NONE;
                if (cleared)
                    break;
            }
            continue;
        }
        if (type == XCB_PROPERTY_NOTIFY && incr_window != XCB_NONE) {
            const auto* change = reinterpret_cast<xcb_property_notify_event_t*>(event.get());
            const bool trickle = std::strcmp(mode, "--incr-trickle") == 0;
            if (change->window != incr_window || change->atom != incr_property ||
                change->state != XCB_PROPERTY_DELETE || (chunk_sent && !trickle))
                continue;
            if (chunk_sent) {
                ::usleep(300 * 1000);
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, incr_window, incr_property, utf8, 8, 1, "x");
                xcb_flush(connection);
                continue;
            }
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, incr_window, incr_property, utf8, 8,
                                static_cast<uint32_t>(chunk.size()), chunk.data());
            xcb_flush(connection);
            chunk_sent = true;
            if (std::strcmp(mode, "--incr-die") == 0) {
                xcb_disconnect(connection);
                return 0;
            }
            continue;
        }
        if (type != XCB_SELECTION_REQUEST || !answer_targets)
            continue;
        const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event.get());
        const xcb_atom_t property = request->property == XCB_ATOM_NONE ? request->target : request->property;
        if (request->target == targets) {
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property, XCB_ATOM_ATOM, 32,
                                static_cast<uint32_t>(offered.size()), offered.data());
            notify(*request, property);
        } else if (incremental && request->target == utf8 && incr_window == XCB_NONE) {
            // The chunks follow the requestor's deletions of the property, which we must be told of.
            const uint32_t events[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
            xcb_change_window_attributes(connection, request->requestor, XCB_CW_EVENT_MASK, events);
            const uint32_t size = 10 * 1024 * 1024;
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property, incr, 32, 1, &size);
            incr_window = request->requestor;
            incr_property = property;
            notify(*request, property);
            std::printf("sending\n");
            std::fflush(stdout);
        } else if (many) {
            const char value[] = "many";
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property, utf8, 8,
                                sizeof(value) - 1, value);
            notify(*request, property);
        }
    }
    // A round trip first: the server may drop requests still unread when a connection closes.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    xcb_disconnect(connection);
    return 0;
}
