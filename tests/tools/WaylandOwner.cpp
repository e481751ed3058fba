// SPDX-License-Identifier: GPL-3.0-or-later
// A clipboard owner that logs every request for its data: how tests see who reads the clipboard, and when.
//
//   wayland-owner [--x11] [--hang] [--text TEXT] [TYPE FILE]...
//
// Takes the clipboard with the given types: --text offers TEXT as the usual text types, each TYPE FILE pair offers
// the file's bytes as TYPE. By default it is a data-control client (zwlr_data_control_manager_v1, no focus needed);
// with --x11 an X11 client of DISPLAY that owns CLIPBOARD (TARGETS answered too). With --hang it answers no request
// for data and keeps every request open, as a hung program does.
//
// Standard output: "owning <t>" once the clipboard is ours; "send <t> <ms since owning> <type>" for each request
// ("targets" for an X11 TARGETS request); "cancelled <t>" when another owner took over, after which it ends. <t> are
// CLOCK_MONOTONIC milliseconds, the clock wayland-keys reports, so a request can be set beside the key that caused it.
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include "support/XcbOwner.h"

#include <wayland-client.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double monotonic_ms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Offer {
    std::string type;
    std::string bytes;
};

struct Options {
    bool x11 = false;
    bool hang = false;
    std::vector<Offer> offers;
};

double g_owning_since = 0;

void log_line(const char* what, const std::string& type = std::string())
{
    const double now = monotonic_ms();
    if (type.empty())
        std::printf("%s %.3f\n", what, now);
    else
        std::printf("%s %.3f %.3f %s\n", what, now, now - g_owning_since, type.c_str());
    std::fflush(stdout);
}

const Offer* find(const Options& options, const std::string& type)
{
    for (const Offer& offer : options.offers) {
        if (offer.type == type)
            return &offer;
    }
    return nullptr;
}

// ---- data-control ------------------------------------------------------------------------------------------------

struct DataControl {
    const Options* options = nullptr;
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
    zwlr_data_control_offer_v1* last_offer = nullptr;
    std::vector<int> held; // requests a hung owner never answers
    bool cancelled = false;
};

void on_global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* state = static_cast<DataControl*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !state->seat)
        state->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
        state->manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, version < 2 ? version : 2));
}

void on_send(void* data, zwlr_data_control_source_v1*, const char* type, int32_t fd)
{
    auto* state = static_cast<DataControl*>(data);
    log_line("send", type);
    const Offer* offer = find(*state->options, type);
    if (state->options->hang) {
        state->held.push_back(fd);
        return;
    }
    if (offer) {
        std::size_t written = 0;
        while (written < offer->bytes.size()) {
            const ssize_t n = write(fd, offer->bytes.data() + written, offer->bytes.size() - written);
            if (n <= 0)
                break; // the reader went away
            written += static_cast<std::size_t>(n);
        }
    }
    close(fd);
}

void on_cancelled(void* data, zwlr_data_control_source_v1*)
{
    static_cast<DataControl*>(data)->cancelled = true;
}

void on_data_offer(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}

// Offers we never read: each is destroyed when the next selection replaces it.
void on_selection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer)
{
    auto* state = static_cast<DataControl*>(data);
    if (state->last_offer && state->last_offer != offer)
        zwlr_data_control_offer_v1_destroy(state->last_offer);
    state->last_offer = offer;
}

void on_primary_selection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer)
{
    if (offer)
        zwlr_data_control_offer_v1_destroy(offer);
}

void on_finished(void* data, zwlr_data_control_device_v1*)
{
    static_cast<DataControl*>(data)->cancelled = true;
}

int run_data_control(const Options& options)
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "wayland-owner: cannot connect to the Wayland display\n");
        return 1;
    }
    DataControl state;
    state.options = &options;
    wl_registry* registry = wl_display_get_registry(display);
    static const wl_registry_listener registry_listener{&on_global, [](void*, wl_registry*, uint32_t) {}};
    wl_registry_add_listener(registry, &registry_listener, &state);
    wl_display_roundtrip(display);
    if (!state.seat || !state.manager) {
        std::fprintf(stderr, "wayland-owner: the compositor offers no data-control (zwlr_data_control_manager_v1)\n");
        wl_display_disconnect(display);
        return 1;
    }
    zwlr_data_control_device_v1* device = zwlr_data_control_manager_v1_get_data_device(state.manager, state.seat);
    static const zwlr_data_control_device_v1_listener device_listener{&on_data_offer, &on_selection, &on_finished,
                                                                      &on_primary_selection};
    zwlr_data_control_device_v1_add_listener(device, &device_listener, &state);
    zwlr_data_control_source_v1* source = zwlr_data_control_manager_v1_create_data_source(state.manager);
    static const zwlr_data_control_source_v1_listener source_listener{&on_send, &on_cancelled};
    zwlr_data_control_source_v1_add_listener(source, &source_listener, &state);
    for (const Offer& offer : options.offers)
        zwlr_data_control_source_v1_offer(source, offer.type.c_str());
    zwlr_data_control_device_v1_set_selection(device, source);
    g_owning_since = monotonic_ms();
    wl_display_roundtrip(display);
    log_line("owning");
    int status = 0;
    while (!state.cancelled) {
        if (wl_display_dispatch(display) < 0) {
            std::fprintf(stderr, "wayland-owner: the Wayland connection ended\n");
            status = 1;
            break;
        }
    }
    if (state.cancelled)
        log_line("cancelled");
    for (const int fd : state.held)
        close(fd);
    if (state.last_offer)
        zwlr_data_control_offer_v1_destroy(state.last_offer);
    zwlr_data_control_source_v1_destroy(source);
    zwlr_data_control_device_v1_destroy(device);
    zwlr_data_control_manager_v1_destroy(state.manager);
    wl_seat_destroy(state.seat);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return status;
}

// ---- X11 ---------------------------------------------------------------------------------------------------------

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t intern(xcb_connection_t* connection, const std::string& name)
{
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::string atom_name(xcb_connection_t* connection, xcb_atom_t atom)
{
    Reply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(connection, xcb_get_atom_name(connection, atom), nullptr));
    if (!reply)
        return "?";
    return std::string(xcb_get_atom_name_name(reply.get()),
                       static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())));
}

int run_x11(const Options& options)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "wayland-owner: cannot connect to the X display\n");
        xcb_disconnect(connection);
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t mask_values[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK, mask_values);
    const xcb_atom_t clipboard = intern(connection, "CLIPBOARD");
    const xcb_atom_t targets = intern(connection, "TARGETS");
    std::vector<xcb_atom_t> offered{targets};
    for (const Offer& offer : options.offers)
        offered.push_back(intern(connection, offer.type));

    g_owning_since = monotonic_ms();
    if (xcb_owner::take_clipboard(connection, window, clipboard, 1) == XCB_CURRENT_TIME) {
        std::fprintf(stderr, "wayland-owner: could not take the clipboard\n");
        xcb_disconnect(connection);
        return 1;
    }
    log_line("owning");

    int status = 1;
    while (Reply<xcb_generic_event_t> event{xcb_wait_for_event(connection)}) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_SELECTION_CLEAR) {
            log_line("cancelled");
            status = 0;
            break;
        }
        if (type != XCB_SELECTION_REQUEST)
            continue;
        const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event.get());
        const std::string name = atom_name(connection, request->target);
        log_line("send", request->target == targets ? std::string("targets") : name);
        if (options.hang)
            continue;
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request->time;
        notify.requestor = request->requestor;
        notify.selection = request->selection;
        notify.target = request->target;
        notify.property = XCB_ATOM_NONE;
        const xcb_atom_t property = request->property != XCB_ATOM_NONE ? request->property : request->target;
        if (request->target == targets) {
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property, XCB_ATOM_ATOM, 32,
                                static_cast<uint32_t>(offered.size()), offered.data());
            notify.property = property;
        } else if (const Offer* offer = find(options, name)) {
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, property, request->target, 8,
                                static_cast<uint32_t>(offer->bytes.size()), offer->bytes.data());
            notify.property = property;
        }
        xcb_send_event(connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&notify));
        xcb_flush(connection);
    }
    xcb_disconnect(connection);
    return status;
}

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--x11") {
            options.x11 = true;
        } else if (argument == "--hang") {
            options.hang = true;
        } else if (argument == "--text" && i + 1 < argc) {
            const std::string text = argv[++i];
            for (const char* type : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING", "TEXT"})
                options.offers.push_back(Offer{type, text});
        } else if (argument.rfind("--", 0) != 0 && i + 1 < argc) {
            std::ifstream file(argv[++i], std::ios::binary);
            if (!file) {
                std::fprintf(stderr, "wayland-owner: cannot read %s\n", argv[i]);
                return false;
            }
            options.offers.push_back(
                Offer{argument, std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>())});
        } else {
            return false;
        }
    }
    return !options.offers.empty();
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: wayland-owner [--x11] [--hang] [--text TEXT] [TYPE FILE]...\n");
        return 2;
    }
    // A reader that closes its end early must not end us.
    std::signal(SIGPIPE, SIG_IGN);
    return options.x11 ? run_x11(options) : run_data_control(options);
}
