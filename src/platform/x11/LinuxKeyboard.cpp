// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/LinuxKeyboard.h"

#include "platform/x11/LinuxKeyboardProbe.h"

#include <QDebug>
#include <QGuiApplication>
#include <QMetaObject>
#include <QX11Info>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
// The XKB header names a struct member "explicit", which is a keyword in C++.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A press the main thread has not taken within this time is replayed unhandled: the server holds the whole keyboard
// while we decide, and it has no timeout of its own.
constexpr auto k_take_bound = std::chrono::milliseconds(200);
// A handler that has started is waited for, but not forever: past this the press is replayed while it still runs.
constexpr auto k_run_bound = std::chrono::milliseconds(1000);

constexpr xcb_keysym_t k_keysym_num_lock = 0xff7f;
constexpr uint8_t k_error_bad_access = 10;

struct WatchedKey {
    xcb_keysym_t keysym; // lower-case letter; the lookup finds the key in every column of the map
    int key;             // the upper-case letter
};
constexpr WatchedKey k_watched_keys[] = {
    {0x63, Keyboard::k_key_c},
    {0x78, Keyboard::k_key_x},
    {0x76, Keyboard::k_key_v},
};

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
// Replies, errors and keycode lists of xcb are malloc()ed for the caller.
template <typename T> using XcbPointer = std::unique_ptr<T, FreeDeleter>;

struct KeySymbolsDeleter {
    void operator()(xcb_key_symbols_t* symbols) const { xcb_key_symbols_free(symbols); }
};

std::atomic<linux_keyboard_probe::Callback> g_probe{nullptr};

// The lower-case Latin letter a keysym stands for, or 0 for any other symbol.
xcb_keysym_t latin_letter(xcb_keysym_t keysym)
{
    if (keysym >= 'a' && keysym <= 'z')
        return keysym;
    if (keysym >= 'A' && keysym <= 'Z')
        return keysym + ('a' - 'A');
    return 0;
}

// The Keyboard key of a watched letter, or 0.
int watched_key(xcb_keysym_t letter)
{
    for (const WatchedKey& watched : k_watched_keys) {
        if (watched.keysym == letter)
            return watched.key;
    }
    return 0;
}

QString describe(uint16_t modifiers, int key)
{
    QString text = QStringLiteral("Ctrl");
    if (modifiers & XCB_MOD_MASK_SHIFT)
        text += QStringLiteral("+Shift");
    if (modifiers & XCB_MOD_MASK_1)
        text += QStringLiteral("+Alt");
    if (modifiers & XCB_MOD_MASK_LOCK)
        text += QStringLiteral("+CapsLock");
    return text + QLatin1Char('+') + QChar(key) + QStringLiteral(" (state 0x%1)").arg(modifiers, 0, 16);
}

} // namespace

void linux_keyboard_probe::set_callback(Callback callback)
{
    g_probe.store(callback);
}

// One grabbed press on its way to the main thread. The worker waits on it; the main thread either takes it
// (pending → running → done) or finds that the worker gave up on it (pending → cancelled) and skips it.
struct PressJob {
    enum class State { pending, running, done, cancelled };

    int key = 0;
    int flags = 0;
    bool control = false;
    xcb_timestamp_t time = XCB_CURRENT_TIME;

    std::mutex mutex;
    std::condition_variable changed;
    State state = State::pending;

    bool move(State from, State to)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (state != from)
                return false;
            state = to;
        }
        changed.notify_all();
        return true;
    }
};

// A grabbed key and the letters the first two layouts put on it.
struct GrabbedKey {
    xcb_keycode_t keycode = 0;
    int key = 0;                    // the Keyboard key it was grabbed for
    xcb_keysym_t first_letter = 0;  // Latin letter in the first layout, or 0
    xcb_keysym_t second_letter = 0; // Latin letter in the second layout, or 0

    // Two Latin layouts that disagree on this key (us and dvorak): which letter it is depends on the active one.
    // A layout without Latin letters (Cyrillic, Greek) borrows the first layout's, as programs do for shortcuts.
    bool depends_on_layout() const { return second_letter != 0 && second_letter != first_letter; }
    bool operator==(const GrabbedKey& other) const
    {
        return keycode == other.keycode && key == other.key && first_letter == other.first_letter &&
               second_letter == other.second_letter;
    }
};

// The keys and modifier states to grab for the current keyboard map.
struct GrabPlan {
    std::vector<GrabbedKey> keys;
    std::vector<uint16_t> modifier_sets;

    bool operator==(const GrabPlan& other) const { return keys == other.keys && modifier_sets == other.modifier_sets; }
};

// Owns the X connection, the grabs and the thread that waits for the grabbed presses. grab() and ungrab() are called
// on the main thread, the mapping changes on the worker thread; the grab mutex keeps them apart (xcb itself is
// thread-safe, so both threads use the one connection).
class LinuxKeyboard::Worker {
public:
    explicit Worker(LinuxKeyboard* keyboard);
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    bool is_connected() const { return m_thread.joinable(); }
    bool is_hooked() const;
    bool grab();
    void ungrab();

private:
    void run();
    void on_press(const xcb_key_press_event_t& event);
    void on_mapping_changed();
    int key_of(xcb_keycode_t keycode);
    int active_layout();
    GrabPlan plan() const;
    bool grab_locked(const GrabPlan& plan);
    bool try_grab(const GrabPlan& plan);
    void ungrab_locked();
    uint16_t num_lock_mask(xcb_key_symbols_t* symbols) const;

    LinuxKeyboard* m_keyboard;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_window_t m_wake_window = XCB_NONE;
    // Asks for the active layout when a key's letter depends on it. A connection of its own: a client that turns
    // on XKB no longer gets the core mapping notices the grabs follow. Opened at the first need (worker thread).
    xcb_connection_t* m_layout_connection = nullptr;
    bool m_layout_known = true;

    mutable std::mutex m_grab_mutex;
    bool m_wanted = false; // hooked by the program, whether or not the server granted the grabs
    bool m_hooked = false; // the grabs are in place
    GrabPlan m_refused;    // the last set the server refused, not asked for again until the map changes
    GrabPlan m_grabbed;    // while hooked

    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

LinuxKeyboard::Worker::Worker(LinuxKeyboard* keyboard) : m_keyboard(keyboard)
{
    // Our own connection: Qt's is served by the main thread, which is exactly the one that may be busy.
    int screen_number = 0;
    m_connection = xcb_connect(nullptr, &screen_number);
    if (xcb_connection_has_error(m_connection)) {
        qDebug() << "LinuxKeyboard: cannot open a connection to the X display; Ctrl+C/X/V are not intercepted";
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screen_number && screens.rem > 1; ++i)
        xcb_screen_next(&screens);
    m_root = screens.data->root;

    // An unmapped window of our own: a ClientMessage sent to it wakes the worker out of xcb_wait_for_event.
    m_wake_window = xcb_generate_id(m_connection);
    const uint32_t override_redirect = 1;
    xcb_create_window(m_connection, 0, m_wake_window, m_root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, &override_redirect);
    xcb_flush(m_connection);
    m_thread = std::thread([this] { run(); });
}

LinuxKeyboard::Worker::~Worker()
{
    if (m_thread.joinable()) {
        ungrab();
        m_stopping = true;
        xcb_client_message_event_t wake{};
        wake.response_type = XCB_CLIENT_MESSAGE;
        wake.format = 32;
        wake.window = m_wake_window;
        wake.type = XCB_ATOM_NONE;
        // An empty event mask sends the event to the window's creator, that is, to us.
        xcb_send_event(m_connection, 0, m_wake_window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&wake));
        xcb_flush(m_connection);
        m_thread.join();
        xcb_destroy_window(m_connection, m_wake_window);
    }
    if (m_layout_connection)
        xcb_disconnect(m_layout_connection);
    xcb_disconnect(m_connection);
}

bool LinuxKeyboard::Worker::is_hooked() const
{
    std::lock_guard<std::mutex> lock(m_grab_mutex);
    return m_hooked;
}

bool LinuxKeyboard::Worker::grab()
{
    std::lock_guard<std::mutex> lock(m_grab_mutex);
    m_wanted = true;
    if (!m_hooked)
        try_grab(plan());
    return m_hooked;
}

void LinuxKeyboard::Worker::ungrab()
{
    std::lock_guard<std::mutex> lock(m_grab_mutex);
    ungrab_locked();
    m_wanted = false;
    m_hooked = false;
}

void LinuxKeyboard::Worker::run()
{
    while (true) {
        XcbPointer<xcb_generic_event_t> event(xcb_wait_for_event(m_connection));
        if (!event) {
            qDebug() << "LinuxKeyboard: the X connection is gone; Ctrl+C/X/V are no longer intercepted";
            return;
        }
        switch (event->response_type & 0x7f) {
        case 0: {
            const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event.get());
            qDebug() << "LinuxKeyboard: X error" << error->error_code << "for request" << error->major_code;
            break;
        }
        case XCB_KEY_PRESS:
            // A press another client made up with SendEvent (bit 0x80) is no key of the user's and holds nothing.
            if (!(event->response_type & 0x80))
                on_press(*reinterpret_cast<const xcb_key_press_event_t*>(event.get()));
            break;
        case XCB_MAPPING_NOTIFY:
            // After a layout change (setxkbmap) the letters sit on other keycodes: the old grabs catch wrong keys.
            if (reinterpret_cast<const xcb_mapping_notify_event_t*>(event.get())->request != XCB_MAPPING_POINTER)
                on_mapping_changed();
            break;
        case XCB_CLIENT_MESSAGE:
            if (m_stopping)
                return;
            break;
        default:
            break;
        }
    }
}

void LinuxKeyboard::Worker::on_press(const xcb_key_press_event_t& event)
{
    const linux_keyboard_probe::Callback probe = g_probe.load(std::memory_order_relaxed);
    const Clock::time_point arrived = probe ? Clock::now() : Clock::time_point();
    const int key = key_of(event.detail);

    if (key != 0 && !m_stopping) {
        auto job = std::make_shared<PressJob>();
        job->key = key;
        job->flags = event.state;
        job->control = (event.state & XCB_MOD_MASK_CONTROL) != 0;
        job->time = event.time;

        LinuxKeyboard* keyboard = m_keyboard;
        QMetaObject::invokeMethod(
            keyboard,
            [keyboard, job] {
                if (!job->move(PressJob::State::pending, PressJob::State::running))
                    return;
                // GTK programs ask for the clipboard with the key's time; Qt refuses requests older than its own
                // idea of the time, so without this the first paste after a while comes out empty.
                QX11Info::setAppTime(job->time);
                keyboard->m_control_held = job->control;
                Q_EMIT keyboard->signal_key_pressed(job->key, job->flags);
                keyboard->m_control_held = false;
                job->move(PressJob::State::running, PressJob::State::done);
            },
            Qt::QueuedConnection);

        std::unique_lock<std::mutex> lock(job->mutex);
        if (!job->changed.wait_for(lock, k_take_bound, [&] { return job->state != PressJob::State::pending; })) {
            job->state = PressJob::State::cancelled;
            qDebug() << "LinuxKeyboard: the main thread did not take the key press within"
                     << std::chrono::milliseconds(k_take_bound).count()
                     << "ms; it was passed on to the focused program without being acted on";
        }
        if (!job->changed.wait_for(lock, k_run_bound, [&] { return job->state != PressJob::State::running; }))
            qDebug() << "LinuxKeyboard: the key press handler ran over"
                     << std::chrono::milliseconds(k_run_bound).count() << "ms; the key was passed on before it ended";
    }

    // The server froze the keyboard when the grab fired; this hands the press on to the focused window as if no grab
    // existed, and lets the keys queued behind it through.
    xcb_allow_events(m_connection, XCB_ALLOW_REPLAY_KEYBOARD, event.time);
    xcb_flush(m_connection);

    if (probe)
        probe(key, Clock::now() - arrived);
}

void LinuxKeyboard::Worker::on_mapping_changed()
{
    std::lock_guard<std::mutex> lock(m_grab_mutex);
    if (!m_wanted)
        return;
    if (!m_hooked) {
        // A set of grabs refused before (another program held one of them) is asked for again with a new map.
        const GrabPlan wanted = plan();
        if (!(wanted == m_refused))
            try_grab(wanted);
        return;
    }
    // The first key from another device (XTest after the real keyboard) announces a new map even when nothing moved;
    // regrabbing then would let a press slip through between our ungrab and grab, so compare first.
    GrabPlan old_plan = m_grabbed;
    const GrabPlan new_plan = plan();
    if (new_plan == old_plan)
        return;
    // New grabs first, old ones released after: the letters that stay where they were are never left ungrabbed.
    if (!try_grab(new_plan))
        return;
    for (const GrabbedKey& old_key : old_plan.keys) {
        for (const uint16_t modifiers : old_plan.modifier_sets) {
            const bool kept = std::find(new_plan.modifier_sets.begin(), new_plan.modifier_sets.end(), modifiers) !=
                                  new_plan.modifier_sets.end() &&
                              std::any_of(new_plan.keys.begin(), new_plan.keys.end(),
                                          [&](const GrabbedKey& entry) { return entry.keycode == old_key.keycode; });
            if (!kept)
                xcb_ungrab_key(m_connection, old_key.keycode, m_root, modifiers);
        }
    }
    xcb_flush(m_connection);
}

int LinuxKeyboard::Worker::key_of(xcb_keycode_t keycode)
{
    GrabbedKey grabbed;
    {
        std::lock_guard<std::mutex> lock(m_grab_mutex);
        const auto found = std::find_if(m_grabbed.keys.begin(), m_grabbed.keys.end(),
                                        [&](const GrabbedKey& entry) { return entry.keycode == keycode; });
        if (found == m_grabbed.keys.end())
            return 0;
        grabbed = *found;
    }
    if (!grabbed.depends_on_layout())
        return grabbed.key;
    // Only here, with two Latin layouts that disagree on this key, does a press cost a round trip to the server.
    switch (active_layout()) {
    case 0:
        return watched_key(grabbed.first_letter);
    case 1:
        return watched_key(grabbed.second_letter);
    default:
        // A third or fourth layout, or no XKB: the letter the key was grabbed for.
        return grabbed.key;
    }
}

int LinuxKeyboard::Worker::active_layout()
{
    if (!m_layout_connection && m_layout_known) {
        m_layout_connection = xcb_connect(nullptr, nullptr);
        XcbPointer<xcb_xkb_use_extension_reply_t> xkb(xcb_xkb_use_extension_reply(
            m_layout_connection,
            xcb_xkb_use_extension(m_layout_connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
        if (xcb_connection_has_error(m_layout_connection) || !xkb || !xkb->supported) {
            qDebug() << "LinuxKeyboard: the X server cannot tell the active layout; keys count in every layout";
            m_layout_known = false;
        }
    }
    if (!m_layout_known)
        return -1;
    XcbPointer<xcb_xkb_get_state_reply_t> state(xcb_xkb_get_state_reply(
        m_layout_connection, xcb_xkb_get_state(m_layout_connection, XCB_XKB_ID_USE_CORE_KBD), nullptr));
    // Nothing reads this connection's events (the server sends every client its mapping notices): drop them.
    while (XcbPointer<xcb_generic_event_t> ignored{xcb_poll_for_queued_event(m_layout_connection)})
        continue;
    return state ? state->group : -1;
}

uint16_t LinuxKeyboard::Worker::num_lock_mask(xcb_key_symbols_t* symbols) const
{
    // NumLock has no fixed modifier bit; the modifier map says which of Mod1..Mod5 carries it (usually Mod2).
    XcbPointer<xcb_keycode_t> num_lock(xcb_key_symbols_get_keycode(symbols, k_keysym_num_lock));
    XcbPointer<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    if (!num_lock || !mapping)
        return 0;
    const xcb_keycode_t* rows = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int per_modifier = mapping->keycodes_per_modifier;
    for (int index = 0; index < 8 * per_modifier; ++index) {
        for (const xcb_keycode_t* keycode = num_lock.get(); *keycode != XCB_NO_SYMBOL; ++keycode) {
            if (*keycode == rows[index])
                return static_cast<uint16_t>(1u << (index / per_modifier));
        }
    }
    return 0;
}

GrabPlan LinuxKeyboard::Worker::plan() const
{
    GrabPlan plan;
    std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter> symbols(xcb_key_symbols_alloc(m_connection));
    if (!symbols)
        return plan;

    // A passive grab matches the modifier state exactly, so every lock and extra modifier needs a grab of its own.
    const uint16_t num_lock = num_lock_mask(symbols.get());
    for (unsigned combination = 0; combination < 16; ++combination) {
        uint16_t modifiers = XCB_MOD_MASK_CONTROL;
        if (combination & 1u)
            modifiers |= XCB_MOD_MASK_SHIFT;
        if (combination & 2u)
            modifiers |= XCB_MOD_MASK_1;
        if (combination & 4u)
            modifiers |= XCB_MOD_MASK_LOCK;
        if (combination & 8u)
            modifiers |= num_lock;
        plan.modifier_sets.push_back(modifiers);
    }
    std::sort(plan.modifier_sets.begin(), plan.modifier_sets.end());
    plan.modifier_sets.erase(std::unique(plan.modifier_sets.begin(), plan.modifier_sets.end()),
                             plan.modifier_sets.end());

    for (const WatchedKey& watched : k_watched_keys) {
        XcbPointer<xcb_keycode_t> keycodes(xcb_key_symbols_get_keycode(symbols.get(), watched.keysym));
        if (!keycodes || *keycodes == XCB_NO_SYMBOL)
            qDebug() << "LinuxKeyboard: the keyboard map has no key for" << QChar(watched.key);
        for (const xcb_keycode_t* keycode = keycodes.get(); keycode && *keycode != XCB_NO_SYMBOL; ++keycode) {
            const bool seen = std::any_of(plan.keys.begin(), plan.keys.end(),
                                          [&](const GrabbedKey& entry) { return entry.keycode == *keycode; });
            if (seen)
                continue;
            // The core map lists the first layout's symbols in columns 0 and 1, the second layout's in 2 and 3.
            GrabbedKey grabbed;
            grabbed.keycode = *keycode;
            grabbed.key = watched.key;
            grabbed.first_letter = latin_letter(xcb_key_symbols_get_keysym(symbols.get(), *keycode, 0));
            grabbed.second_letter = latin_letter(xcb_key_symbols_get_keysym(symbols.get(), *keycode, 2));
            plan.keys.push_back(grabbed);
        }
    }
    return plan;
}

bool LinuxKeyboard::Worker::grab_locked(const GrabPlan& plan)
{
    struct Request {
        xcb_void_cookie_t cookie;
        uint16_t modifiers;
        int key;
    };
    std::vector<Request> requests;
    for (const GrabbedKey& grabbed : plan.keys) {
        // Keyboard mode sync: the server holds the press until we answer with AllowEvents.
        for (const uint16_t modifiers : plan.modifier_sets)
            requests.push_back({xcb_grab_key_checked(m_connection, 0, m_root, modifiers, grabbed.keycode,
                                                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC),
                                modifiers, grabbed.key});
    }
    // All requests are on their way before the first check, so the checks cost one round trip, not one each.
    bool refused = false;
    for (const Request& request : requests) {
        XcbPointer<xcb_generic_error_t> error(xcb_request_check(m_connection, request.cookie));
        if (!error)
            continue;
        refused = true;
        if (error->error_code == k_error_bad_access)
            qDebug().noquote() << "LinuxKeyboard:" << describe(request.modifiers, request.key)
                               << "is grabbed by another program; Ctrl+C/X/V are not intercepted";
        else
            qDebug().noquote() << "LinuxKeyboard: grabbing" << describe(request.modifiers, request.key)
                               << "failed with X error" << error->error_code;
    }
    if (refused || plan.keys.empty()) {
        // All or nothing: a half set of grabs would catch Ctrl+V with some locks on and miss it with others.
        ungrab_locked();
        return false;
    }
    m_grabbed = plan;
    return true;
}

bool LinuxKeyboard::Worker::try_grab(const GrabPlan& plan)
{
    m_hooked = grab_locked(plan);
    m_refused = m_hooked ? GrabPlan() : plan;
    return m_hooked;
}

void LinuxKeyboard::Worker::ungrab_locked()
{
    // Any key with any modifiers on the root: releases exactly our own grabs there, never another program's.
    // Checked, so the server has processed it before we return: another client's grab right after ours would
    // otherwise race the release and be refused.
    if (xcb_generic_error_t* error = xcb_request_check(
            m_connection, xcb_ungrab_key_checked(m_connection, XCB_GRAB_ANY, m_root, XCB_MOD_MASK_ANY)))
        std::free(error);
    m_grabbed = GrabPlan();
}

LinuxKeyboard::LinuxKeyboard()
{
    set_instance(this);
    if (!QX11Info::isPlatformX11()) {
        qDebug().noquote() << "LinuxKeyboard: no X11 display (platform:" << QGuiApplication::platformName()
                           << "); Ctrl+C/X/V are not intercepted";
    } else {
        auto worker = std::make_unique<Worker>(this);
        if (worker->is_connected())
            m_worker = std::move(worker);
    }
    set_hooked(true);
    qDebug() << "LinuxKey Constr";
}

LinuxKeyboard::~LinuxKeyboard() = default;

bool LinuxKeyboard::set_hooked(bool on)
{
    if (!on) {
        qDebug() << "Keyboard unhooked";
        if (m_worker)
            m_worker->ungrab();
        return false;
    }
    if (m_worker && m_worker->is_hooked())
        return true;
    qDebug() << "Keyboard hooked";
    return m_worker && m_worker->grab();
}

bool LinuxKeyboard::is_control_held() const
{
    return m_control_held;
}

std::unique_ptr<Keyboard> create_keyboard()
{
    return std::make_unique<LinuxKeyboard>();
}
