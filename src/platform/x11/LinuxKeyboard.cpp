// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/LinuxKeyboard.h"

#include "platform/Platform.h"
#include "platform/StopSignals.h"
#include "platform/x11/KeyGrab.h"
#include "platform/x11/Keymap.h"
#include "platform/x11/LinuxKeyboardProbe.h"

#include <QDebug>
#include <QGuiApplication>
#include <QMetaObject>
#include <QX11Info>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bitset>
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
// The program's own injected Ctrl+V reaches the grab well within this time; a later Ctrl+V is the user's.
constexpr auto k_own_paste_bound = std::chrono::milliseconds(1000);

struct WatchedKey {
    xcb_keysym_t keysym; // lower-case letter, as on the first level of its key
    int key;             // the upper-case letter
};
constexpr WatchedKey k_watched_keys[] = {
    {0x63, Keyboard::k_key_c},
    {0x78, Keyboard::k_key_x},
    {0x76, Keyboard::k_key_v},
};
// Only the paste is held until we have answered: its item must be on the clipboard before the program reads it.
// Copy and cut are only watched (XInput 2 raw events), so nothing of ours can ever hold a Ctrl+C or Ctrl+X.
constexpr xcb_keysym_t k_grabbed_keysym = 0x76;
constexpr int k_max_layouts = 4; // XKB has no more groups

using key_grab::XcbPointer;

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
    // Mod2 is usually NumLock; the state in figures says it exactly.
    const QPair<uint16_t, const char*> names[] = {{XCB_MOD_MASK_SHIFT, "+Shift"}, {XCB_MOD_MASK_1, "+Alt"},
                                                  {XCB_MOD_MASK_4, "+Super"},     {XCB_MOD_MASK_5, "+AltGr"},
                                                  {XCB_MOD_MASK_3, "+Mod3"},      {XCB_MOD_MASK_LOCK, "+CapsLock"}};
    QString text = QStringLiteral("Ctrl");
    for (const auto& [mask, name] : names) {
        if (modifiers & mask)
            text += QLatin1String(name);
    }
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

// A key that carries a watched letter in some layout, and the letters the layouts put on it.
struct WatchedKeycode {
    xcb_keycode_t keycode = 0;
    // The Latin letter of the key in each layout of the list, or 0. A layout without Latin letters (Cyrillic, Greek)
    // borrows the key's letter from the first Latin layout of the list, wherever that stands in it, as programs do
    // for their shortcuts; a Latin layout keeps its own symbol (the period of us on dvorak's V key is no V).
    std::array<xcb_keysym_t, k_max_layouts> letters{};
    bool grabbed = false; // V in some layout: the paste is grabbed on this key

    xcb_keysym_t letter(int layout) const { return letters[layout >= 0 && layout < k_max_layouts ? layout : 0]; }
    bool operator==(const WatchedKeycode& other) const
    {
        return keycode == other.keycode && letters == other.letters && grabbed == other.grabbed;
    }
};

// The keys to watch and grab, and the modifier states to grab them in, for the current keyboard map.
struct GrabPlan {
    std::vector<WatchedKeycode> keys;
    std::vector<uint16_t> modifier_sets;
    std::vector<xcb_keycode_t> control_keys; // the keys that set the Control modifier
    uint16_t num_lock = 0;                   // the bit NumLock sets, or 0

    bool operator==(const GrabPlan& other) const
    {
        return keys == other.keys && modifier_sets == other.modifier_sets && control_keys == other.control_keys &&
               num_lock == other.num_lock;
    }
    // The states of the paste itself: Control with Shift and Alt at most, whatever the locks. Those are all grabbed
    // or none; Control with Super, AltGr or another modifier is taken only where no other program holds it.
    bool is_essential(uint16_t modifiers) const
    {
        const auto allowed = uint16_t(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1 | locks());
        return (modifiers & ~allowed) == 0;
    }
    uint16_t locks() const { return uint16_t(XCB_MOD_MASK_LOCK | num_lock); }
};

// Owns the X connection, the grabs and the thread that waits for the grabbed presses and the raw key events.
// grab() and ungrab() are called on the main thread, the mapping changes and raw events are handled on the worker
// thread, a job-control stop on the stop thread; the grab mutex keeps them apart (xcb itself is thread-safe, so all
// threads use the one connection).
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
    void expect_own_paste();

private:
    void run();
    void on_press(const xcb_key_press_event_t& event);
    void on_raw_key(const xcb_input_raw_key_press_event_t& event, bool down);
    void on_keymap_notice(const xcb_generic_event_t& event);
    void before_stop();
    void after_continue();
    int key_of(xcb_keycode_t keycode);
    bool is_own_paste();
    GrabPlan plan() const;
    bool grab_locked(const GrabPlan& plan);
    bool try_grab(const GrabPlan& plan);
    void ungrab_locked();
    bool select_raw_keys(bool on);

    LinuxKeyboard* m_keyboard;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_window_t m_wake_window = XCB_NONE;
    uint8_t m_xinput_opcode = 0; // 0: the server has no XInput 2.2, Ctrl+C and Ctrl+X are not watched

    mutable std::mutex m_grab_mutex;
    std::unique_ptr<Keymap> m_keymap; // follows the layout changes and switches on the worker thread
    bool m_wanted = false;            // hooked by the program, whether or not the server granted the grabs
    bool m_hooked = false;            // the grabs are in place
    GrabPlan m_refused;               // the last set the server refused, not asked for again until the map changes
    GrabPlan m_plan;                  // the keys of the current map, hooked or not
    std::bitset<256> m_control_down;  // the Control keys held now, from the raw events
    // Until then (steady clock ticks; 0: not expected) the next grabbed Ctrl+V is the program's own injected paste.
    std::atomic<Clock::rep> m_own_paste_until{0};

    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
    std::unique_ptr<StopSignals> m_stop_signals;
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

    // Raw key events reach the root window whoever has the focus and whatever grabs are active (XInput 2.1 and
    // later, once the client has said it speaks 2.2).
    const xcb_query_extension_reply_t* xinput = xcb_get_extension_data(m_connection, &xcb_input_id);
    if (xinput && xinput->present) {
        XcbPointer<xcb_input_xi_query_version_reply_t> version(
            xcb_input_xi_query_version_reply(m_connection, xcb_input_xi_query_version(m_connection, 2, 2), nullptr));
        if (version && (version->major_version > 2 || (version->major_version == 2 && version->minor_version >= 2)))
            m_xinput_opcode = xinput->major_opcode;
    }
    if (!m_xinput_opcode)
        qDebug() << "LinuxKeyboard: the X server has no XInput 2.2; Ctrl+C and Ctrl+X are not watched";
    else
        select_raw_keys(true);

    // An unmapped window of our own: a ClientMessage sent to it wakes the worker out of xcb_wait_for_event.
    m_wake_window = xcb_generate_id(m_connection);
    const uint32_t override_redirect = 1;
    xcb_create_window(m_connection, 0, m_wake_window, m_root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, &override_redirect);
    xcb_flush(m_connection);
    {
        std::lock_guard<std::mutex> lock(m_grab_mutex);
        // Before the map is read: a change made in between is noticed.
        m_keymap = std::make_unique<Keymap>(m_connection, true);
        m_keymap->refresh();
        m_plan = plan();
    }
    m_thread = std::thread([this] { run(); });
    // A stopped program cannot answer a grabbed press, and the server would hold the whole keyboard for it.
    m_stop_signals = std::make_unique<StopSignals>([this] { before_stop(); }, [this] { after_continue(); });
}

LinuxKeyboard::Worker::~Worker()
{
    m_stop_signals.reset();
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
    m_keymap.reset();
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
        case XCB_GE_GENERIC: {
            const auto* raw = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event.get());
            if (m_xinput_opcode && raw->extension == m_xinput_opcode &&
                (raw->event_type == XCB_INPUT_RAW_KEY_PRESS || raw->event_type == XCB_INPUT_RAW_KEY_RELEASE))
                on_raw_key(*raw, raw->event_type == XCB_INPUT_RAW_KEY_PRESS);
            break;
        }
        case XCB_CLIENT_MESSAGE:
            if (m_stopping)
                return;
            break;
        default:
            on_keymap_notice(*event);
            break;
        }
    }
}

void LinuxKeyboard::Worker::on_press(const xcb_key_press_event_t& event)
{
    const linux_keyboard_probe::Callback probe = g_probe.load(std::memory_order_relaxed);
    const Clock::time_point arrived = probe ? Clock::now() : Clock::time_point();
    int key = key_of(event.detail) == Keyboard::k_key_v ? Keyboard::k_key_v : 0;
    // The program's own paste carries its text on the clipboard already: it goes on at once, unreported.
    if (key != 0 && is_own_paste())
        key = 0;

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
                keyboard->report(job->key, job->flags, job->control);
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

void LinuxKeyboard::Worker::on_raw_key(const xcb_input_raw_key_press_event_t& event, bool down)
{
    if (event.detail > 255)
        return;
    const auto keycode = static_cast<xcb_keycode_t>(event.detail);
    {
        std::lock_guard<std::mutex> lock(m_grab_mutex);
        const bool is_control =
            std::find(m_plan.control_keys.begin(), m_plan.control_keys.end(), keycode) != m_plan.control_keys.end();
        if (is_control) {
            m_control_down.set(keycode, down);
            return;
        }
        // The key is seen, not held: the press reaches the focused program whatever we do here.
        if (!down || !m_hooked || m_control_down.none())
            return;
    }
    const int key = key_of(keycode);
    if (key != Keyboard::k_key_c && key != Keyboard::k_key_x)
        return;
    LinuxKeyboard* keyboard = m_keyboard;
    QMetaObject::invokeMethod(
        keyboard, [keyboard, key] { keyboard->report(key, XCB_MOD_MASK_CONTROL, true); }, Qt::QueuedConnection);
}

void LinuxKeyboard::Worker::on_keymap_notice(const xcb_generic_event_t& event)
{
    std::lock_guard<std::mutex> lock(m_grab_mutex);
    // After a layout change (setxkbmap) the letters sit on other keycodes: the old grabs catch wrong keys. A switch
    // of the active layout moves no grab (every layout's V is grabbed); key_of() asks the keymap which letter it is.
    if (m_keymap->notice(event) != Keymap::Notice::map_changed || !m_keymap->refresh())
        return;
    const GrabPlan new_plan = plan();
    if (!m_wanted || !m_hooked) {
        // A set of grabs refused before (another program held one of them) is asked for again with a new map.
        if (m_wanted && !(new_plan == m_refused))
            try_grab(new_plan);
        else
            m_plan = new_plan;
        return;
    }
    // A new map that leaves the letters where they were needs no regrab.
    const GrabPlan old_plan = m_plan;
    if (new_plan == old_plan)
        return;
    // New grabs first, old ones released after: the letters that stay where they were are never left ungrabbed.
    if (!try_grab(new_plan))
        return;
    for (const WatchedKeycode& old_key : old_plan.keys) {
        if (!old_key.grabbed)
            continue;
        for (const uint16_t modifiers : old_plan.modifier_sets) {
            const bool kept = std::find(new_plan.modifier_sets.begin(), new_plan.modifier_sets.end(), modifiers) !=
                                  new_plan.modifier_sets.end() &&
                              std::any_of(new_plan.keys.begin(), new_plan.keys.end(), [&](const WatchedKeycode& entry) {
                                  return entry.grabbed && entry.keycode == old_key.keycode;
                              });
            if (!kept)
                xcb_ungrab_key(m_connection, old_key.keycode, m_root, modifiers);
        }
    }
    xcb_flush(m_connection);
}

void LinuxKeyboard::Worker::before_stop()
{
    std::lock_guard<std::mutex> lock(m_grab_mutex);
    ungrab_locked();
    m_hooked = false;
    // A Ctrl+V that froze the keyboard just before the release goes on to the focused program now, not after the stop.
    xcb_allow_events(m_connection, XCB_ALLOW_REPLAY_KEYBOARD, XCB_CURRENT_TIME);
    // Nobody reads while we are stopped: the server would keep every key of the desktop for us.
    select_raw_keys(false);
}

void LinuxKeyboard::Worker::after_continue()
{
    std::lock_guard<std::mutex> lock(m_grab_mutex);
    // Control may have been let go while we were not listening.
    m_control_down.reset();
    select_raw_keys(true);
    if (m_wanted)
        try_grab(plan());
}

int LinuxKeyboard::Worker::key_of(xcb_keycode_t keycode)
{
    std::lock_guard<std::mutex> lock(m_grab_mutex);
    const auto found = std::find_if(m_plan.keys.begin(), m_plan.keys.end(),
                                    [&](const WatchedKeycode& entry) { return entry.keycode == keycode; });
    // The active layout is followed from the notices that arrive before the key: no round trip.
    return found == m_plan.keys.end() ? 0 : watched_key(found->letter(m_keymap->active_layout()));
}

void LinuxKeyboard::Worker::expect_own_paste()
{
    // Not grabbed, the press never reaches us, and a later one of the user's must not be taken for it.
    if (is_hooked())
        m_own_paste_until.store((Clock::now() + k_own_paste_bound).time_since_epoch().count());
}

bool LinuxKeyboard::Worker::is_own_paste()
{
    if (m_own_paste_until.load(std::memory_order_relaxed) == 0)
        return false;
    const Clock::rep until = m_own_paste_until.exchange(0);
    return Clock::now().time_since_epoch().count() < until;
}

GrabPlan LinuxKeyboard::Worker::plan() const
{
    GrabPlan plan;
    const Keymap& keymap = *m_keymap;
    if (!keymap.has_map())
        return plan;
    // A passive grab matches the modifier state exactly, so every lock and extra modifier needs a grab of its own:
    // Control makes the paste whatever else is held (Shift, Alt, Super, AltGr, the locks), as in the programs.
    plan.num_lock = keymap.num_lock();
    plan.modifier_sets = key_grab::with_any_other_modifiers(XCB_MOD_MASK_CONTROL);
    plan.control_keys = keymap.modifier_keys(XCB_MOD_MASK_CONTROL);

    // Which layouts have Latin letters at all, and the first of them, which lends its letters to the others.
    const int layouts = std::min(keymap.layout_count(), k_max_layouts);
    std::array<bool, k_max_layouts> latin{};
    for (int code = keymap.min_keycode(); code <= keymap.max_keycode(); ++code) {
        for (int layout = 0; layout < layouts; ++layout)
            latin[layout] = latin[layout] || latin_letter(keymap.symbol_at(static_cast<xcb_keycode_t>(code), layout));
    }
    const int lender = static_cast<int>(std::find(latin.begin(), latin.begin() + layouts, true) - latin.begin());

    for (int code = keymap.min_keycode(); code <= keymap.max_keycode(); ++code) {
        WatchedKeycode entry;
        entry.keycode = static_cast<xcb_keycode_t>(code);
        bool watched = false;
        for (int layout = 0; layout < layouts; ++layout) {
            xcb_keysym_t letter = latin_letter(keymap.symbol_at(entry.keycode, layout));
            if (!letter && !latin[layout] && lender < layouts)
                letter = latin_letter(keymap.symbol_at(entry.keycode, lender));
            entry.letters[layout] = letter;
            watched = watched || watched_key(letter) != 0;
            entry.grabbed = entry.grabbed || letter == k_grabbed_keysym;
        }
        if (watched)
            plan.keys.push_back(entry);
    }
    for (const WatchedKey& watched : k_watched_keys) {
        if (std::none_of(plan.keys.begin(), plan.keys.end(), [&](const WatchedKeycode& entry) {
                return std::find(entry.letters.begin(), entry.letters.end(), watched.keysym) != entry.letters.end();
            }))
            qDebug() << "LinuxKeyboard: the keyboard map has no key for" << QChar(watched.key);
    }
    return plan;
}

bool LinuxKeyboard::Worker::grab_locked(const GrabPlan& plan)
{
    std::vector<key_grab::Grab> requests;
    for (const WatchedKeycode& watched : plan.keys) {
        if (!watched.grabbed)
            continue;
        for (const uint16_t modifiers : plan.modifier_sets)
            requests.push_back({watched.keycode, modifiers});
    }
    // Keyboard mode sync: the server holds the press until we answer with AllowEvents.
    const std::vector<key_grab::Refusal> refusals =
        key_grab::grab_checked(m_connection, m_root, requests, XCB_GRAB_MODE_SYNC);
    // One refusal of each combination refused, whatever the locks: one debug line each, not one per lock variant.
    std::vector<key_grab::Refusal> left_out;
    const key_grab::Refusal* essential = nullptr;
    for (const key_grab::Refusal& refusal : refusals) {
        if (!essential && plan.is_essential(refusal.grab.modifiers))
            essential = &refusal;
        if (std::none_of(left_out.begin(), left_out.end(), [&](const key_grab::Refusal& known) {
                return (known.grab.modifiers & ~plan.locks()) == (refusal.grab.modifiers & ~plan.locks());
            }))
            left_out.push_back(refusal);
    }
    const auto refused = [](const key_grab::Refusal& refusal) {
        const QString combination = describe(refusal.grab.modifiers, Keyboard::k_key_v);
        return refusal.error_code == key_grab::k_error_bad_access
                   ? QStringLiteral("%1 is grabbed by another program").arg(combination)
                   : QStringLiteral("grabbing %1 failed with X error %2").arg(combination).arg(refusal.error_code);
    };
    m_plan = plan;
    if (essential || requests.empty()) {
        if (essential)
            qDebug().noquote() << QStringLiteral(
                                      "LinuxKeyboard: %1 (%2 of %3 grabs refused); Ctrl+V is not intercepted")
                                      .arg(refused(*essential))
                                      .arg(refusals.size())
                                      .arg(requests.size());
        // All or nothing: a half set of grabs would catch Ctrl+V with some locks on and miss it with others.
        ungrab_locked();
        return false;
    }
    // The same holds for a combination left to another program: none of its lock variants stays ours.
    std::vector<key_grab::Grab> released;
    for (const key_grab::Refusal& refusal : left_out) {
        qDebug().noquote() << QStringLiteral("LinuxKeyboard: %1; that combination is left to it").arg(refused(refusal));
        for (const key_grab::Grab& request : requests) {
            if ((request.modifiers & ~plan.locks()) == (refusal.grab.modifiers & ~plan.locks()))
                released.push_back(request);
        }
    }
    key_grab::ungrab(m_connection, m_root, released);
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
}

bool LinuxKeyboard::Worker::select_raw_keys(bool on)
{
    if (!m_xinput_opcode)
        return false;
    struct {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                on ? uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE) : 0u};
    XcbPointer<xcb_generic_error_t> error(
        xcb_request_check(m_connection, xcb_input_xi_select_events_checked(m_connection, m_root, 1, &selection.head)));
    if (error)
        qDebug() << "LinuxKeyboard: watching the raw key events failed with X error" << error->error_code;
    return !error;
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

void LinuxKeyboard::expect_own_paste()
{
    if (m_worker)
        m_worker->expect_own_paste();
}

bool LinuxKeyboard::is_control_held() const
{
    return m_control_held;
}

void LinuxKeyboard::report(int key, int flags, bool control)
{
    m_control_held = control;
    // flags: the press's modifier state (a raw copy or cut event has none but Control)
    m_modifiers = control ? Qt::ControlModifier : Qt::NoModifier;
    if (flags & XCB_MOD_MASK_SHIFT)
        m_modifiers |= Qt::ShiftModifier;
    if (flags & XCB_MOD_MASK_1)
        m_modifiers |= Qt::AltModifier;
    if (flags & XCB_MOD_MASK_4)
        m_modifiers |= Qt::MetaModifier;
    Q_EMIT signal_key_pressed(key, flags);
    m_control_held = false;
    m_modifiers = Qt::NoModifier;
}

std::unique_ptr<Keyboard> create_keyboard()
{
    return std::make_unique<LinuxKeyboard>();
}
