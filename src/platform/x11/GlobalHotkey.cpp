// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/GlobalHotkey.h"

#include "platform/x11/KeyGrab.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QPointer>
#include <QX11Info>

#include <xcb/xcb.h>
// The XKB header names a struct member "explicit", which is a keyword in C++.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

#include <algorithm>
#include <map>

namespace {

constexpr uint16_t k_real_modifiers = 0xff; // Shift, Lock, Control, Mod1..Mod5; the higher bits are group and buttons

struct KeyTable {
    int qt_key;
    xcb_keysym_t keysym;
};
// Qt's codes of the keys that are not Latin-1 characters, with their X keysyms.
constexpr KeyTable k_special_keys[] = {
    {Qt::Key_Escape, 0xff1b}, {Qt::Key_Tab, 0xff09},      {Qt::Key_Backspace, 0xff08}, {Qt::Key_Return, 0xff0d},
    {Qt::Key_Enter, 0xff8d},  {Qt::Key_Insert, 0xff63},   {Qt::Key_Delete, 0xffff},    {Qt::Key_Pause, 0xff13},
    {Qt::Key_Print, 0xff61},  {Qt::Key_SysReq, 0xff15},   {Qt::Key_Home, 0xff50},      {Qt::Key_End, 0xff57},
    {Qt::Key_Left, 0xff51},   {Qt::Key_Up, 0xff52},       {Qt::Key_Right, 0xff53},     {Qt::Key_Down, 0xff54},
    {Qt::Key_PageUp, 0xff55}, {Qt::Key_PageDown, 0xff56}, {Qt::Key_Menu, 0xff67},      {Qt::Key_ScrollLock, 0xff14},
    {Qt::Key_Space, 0x20},
};

xcb_keysym_t keysym_of(int qt_key)
{
    if (qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z)
        return static_cast<xcb_keysym_t>(qt_key - Qt::Key_A + 'a');
    if (qt_key > 0x20 && qt_key <= 0xff)
        return static_cast<xcb_keysym_t>(qt_key); // Latin-1: Qt's code is the keysym
    if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F35)
        return static_cast<xcb_keysym_t>(0xffbe + (qt_key - Qt::Key_F1));
    for (const KeyTable& entry : k_special_keys) {
        if (entry.qt_key == qt_key)
            return entry.keysym;
    }
    return 0;
}

uint16_t x_modifiers_of(Qt::KeyboardModifiers modifiers)
{
    uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

int bit_count(uint32_t mask)
{
    int count = 0;
    for (; mask; mask &= mask - 1)
        ++count;
    return count;
}

QString describe(const QKeySequence& shortcut)
{
    return shortcut.toString(QKeySequence::PortableText);
}

struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};

} // namespace

// The one native event filter and the bookkeeping shared by every hotkey: the grabs are counted, so two hotkeys on
// the same combination (a user may give two commands the same keys) both fire and neither gives up the other's grab.
// Lives from the first hotkey's construction to the last one's destruction.
class HotkeyHub : public QAbstractNativeEventFilter {
public:
    static HotkeyHub* acquire(GlobalHotkey* hotkey);
    static void release(GlobalHotkey* hotkey);
    static HotkeyHub* instance() { return s_hub; }

    bool is_x11() const { return m_connection != nullptr; }
    // The combinations a press of `shortcut` makes with the active layout; an error text when it makes none.
    std::vector<GlobalHotkey::Grab> resolve(const QKeySequence& shortcut, QString* error);
    uint16_t num_lock() const { return m_num_lock; }
    // Grabs what `grabs` adds to the grabs already held; false, with nothing added, when the server refused any.
    bool grab(const std::vector<key_grab::Grab>& grabs, std::vector<key_grab::Refusal>* refusals);
    void ungrab(const std::vector<key_grab::Grab>& grabs);

    bool nativeEventFilter(const QByteArray& type, void* message, long* result) override;

private:
    HotkeyHub();
    ~HotkeyHub() override;
    void on_press(const xcb_key_press_event_t& event);
    void keyboard_changed();
    void regrab_all();
    bool load_keymap();

    static inline HotkeyHub* s_hub = nullptr;
    std::vector<GlobalHotkey*> m_hotkeys;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    uint8_t m_xkb_first_event = 0; // 0: no XKB events on this connection
    int32_t m_device = -1;
    std::unique_ptr<xkb_context, ContextDeleter> m_context;
    std::unique_ptr<xkb_keymap, KeymapDeleter> m_keymap; // null until needed and after every map change
    xkb_layout_index_t m_layout = 0;
    int m_last_group = -1;
    uint16_t m_num_lock = 0;
    bool m_regrab_pending = false;
    std::map<key_grab::Grab, int> m_grab_counts;
};

HotkeyHub* HotkeyHub::acquire(GlobalHotkey* hotkey)
{
    if (!s_hub)
        s_hub = new HotkeyHub();
    s_hub->m_hotkeys.push_back(hotkey);
    return s_hub;
}

void HotkeyHub::release(GlobalHotkey* hotkey)
{
    if (!s_hub)
        return;
    auto& hotkeys = s_hub->m_hotkeys;
    hotkeys.erase(std::remove(hotkeys.begin(), hotkeys.end(), hotkey), hotkeys.end());
    if (hotkeys.empty()) {
        delete s_hub;
        s_hub = nullptr;
    }
}

HotkeyHub::HotkeyHub()
{
    if (!QX11Info::isPlatformX11())
        return;
    m_connection = QX11Info::connection();
    m_root = QX11Info::appRootWindow();
    // Qt's own connection already speaks XKB and listens to its map and state notices; we read them in the filter.
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(m_connection, &xcb_xkb_id);
    if (xkb && xkb->present)
        m_xkb_first_event = xkb->first_event;
    m_num_lock = key_grab::num_lock_mask(m_connection);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->installNativeEventFilter(this);
}

HotkeyHub::~HotkeyHub()
{
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->removeNativeEventFilter(this);
}

bool HotkeyHub::load_keymap()
{
    if (m_keymap)
        return true;
    if (!m_context)
        m_context.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!m_context)
        return false;
    if (m_device < 0) {
        if (!xkb_x11_setup_xkb_extension(m_connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                         XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
            return false;
        m_device = xkb_x11_get_core_keyboard_device_id(m_connection);
        if (m_device < 0)
            return false;
    }
    m_keymap.reset(
        xkb_x11_keymap_new_from_device(m_context.get(), m_connection, m_device, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!m_keymap)
        return false;
    std::unique_ptr<xkb_state, StateDeleter> state(
        xkb_x11_state_new_from_device(m_keymap.get(), m_connection, m_device));
    m_layout = state ? xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE) : 0;
    m_last_group = static_cast<int>(m_layout);
    m_num_lock = key_grab::num_lock_mask(m_connection);
    return true;
}

std::vector<GlobalHotkey::Grab> HotkeyHub::resolve(const QKeySequence& shortcut, QString* error)
{
    std::vector<GlobalHotkey::Grab> bases;
    const int combination = shortcut.isEmpty() ? 0 : shortcut[0];
    const int qt_key = combination & ~int(Qt::KeyboardModifierMask);
    const xcb_keysym_t target = keysym_of(qt_key);
    if (shortcut.count() != 1 || qt_key == 0 || qt_key == Qt::Key_unknown || !target) {
        *error = QStringLiteral("not a key combination");
        return bases;
    }
    if (!load_keymap()) {
        *error = QStringLiteral("the keyboard map cannot be read");
        return bases;
    }
    const bool is_letter = target >= 'a' && target <= 'z';
    const uint16_t explicit_modifiers =
        x_modifiers_of(Qt::KeyboardModifiers(combination & int(Qt::KeyboardModifierMask)));
    // The modifiers that choose a level; Control and Alt choose one only on special key types (Ctrl+Alt on the
    // function keys switches the console), and a lock is added by the variants.
    const uint16_t not_a_level = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_LOCK | m_num_lock;
    xkb_keymap* keymap = m_keymap.get();
    std::unique_ptr<xkb_state, StateDeleter> probe(xkb_state_new(keymap));
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap); keycode <= xkb_keymap_max_keycode(keymap); ++keycode) {
        if (keycode > 255)
            break;
        const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap, keycode);
        if (layouts == 0)
            continue;
        const xkb_layout_index_t layout = m_layout < layouts ? m_layout : 0;
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, keycode, layout);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* symbols = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, level, &symbols);
            if (std::find(symbols, symbols + count, target) == symbols + count)
                continue;
            xkb_mod_mask_t masks[8];
            const size_t mask_count = xkb_keymap_key_get_mods_for_level(keymap, keycode, layout, level, masks, 8);
            int best = -1;
            for (size_t i = 0; i < mask_count; ++i) {
                const uint32_t mask = masks[i] & k_real_modifiers;
                if ((mask & not_a_level) == 0 && (best < 0 || bit_count(mask) < bit_count(uint32_t(best))))
                    best = static_cast<int>(mask);
            }
            if (best < 0 && level == 0)
                best = 0;
            if (best < 0)
                continue;
            const auto level_modifiers = static_cast<uint16_t>(best);
            // An explicit Shift on a symbol that needs none may give another symbol ("Shift+<" on the German key is
            // ">"): such a key does not count. A letter is the same letter in either case.
            if ((explicit_modifiers & XCB_MOD_MASK_SHIFT) && !(level_modifiers & XCB_MOD_MASK_SHIFT) && !is_letter) {
                xkb_state_update_mask(probe.get(), level_modifiers | XCB_MOD_MASK_SHIFT, 0, 0, 0, 0, layout);
                if (xkb_state_key_get_one_sym(probe.get(), keycode) != target)
                    continue;
            }
            const GlobalHotkey::Grab base{static_cast<uint8_t>(keycode),
                                          static_cast<uint16_t>(level_modifiers | explicit_modifiers)};
            if (std::none_of(bases.begin(), bases.end(), [&](const GlobalHotkey::Grab& known) {
                    return known.keycode == base.keycode && known.modifiers == base.modifiers;
                }))
                bases.push_back(base);
            break; // the lowest level that gives the symbol
        }
    }
    if (bases.empty())
        *error = QStringLiteral("the keyboard layout has no key for it");
    return bases;
}

bool HotkeyHub::grab(const std::vector<key_grab::Grab>& grabs, std::vector<key_grab::Refusal>* refusals)
{
    std::vector<key_grab::Grab> fresh;
    for (const key_grab::Grab& grab : grabs) {
        if (m_grab_counts[grab] == 0 && std::find(fresh.begin(), fresh.end(), grab) == fresh.end())
            fresh.push_back(grab);
    }
    // Asynchronous keyboard mode: the server never freezes the keyboard for these grabs.
    *refusals = key_grab::grab_checked(m_connection, m_root, fresh, XCB_GRAB_MODE_ASYNC);
    if (!refusals->empty()) {
        std::vector<key_grab::Grab> granted;
        for (const key_grab::Grab& grab : fresh) {
            if (std::none_of(refusals->begin(), refusals->end(),
                             [&](const key_grab::Refusal& refusal) { return refusal.grab == grab; }))
                granted.push_back(grab);
        }
        key_grab::ungrab(m_connection, m_root, granted);
        for (const key_grab::Grab& grab : fresh)
            m_grab_counts.erase(grab);
        return false;
    }
    for (const key_grab::Grab& grab : grabs)
        ++m_grab_counts[grab];
    return true;
}

void HotkeyHub::ungrab(const std::vector<key_grab::Grab>& grabs)
{
    std::vector<key_grab::Grab> last;
    for (const key_grab::Grab& grab : grabs) {
        auto found = m_grab_counts.find(grab);
        if (found == m_grab_counts.end())
            continue;
        if (--found->second <= 0) {
            m_grab_counts.erase(found);
            last.push_back(grab);
        }
    }
    key_grab::ungrab(m_connection, m_root, last);
}

bool HotkeyHub::nativeEventFilter(const QByteArray& type, void* message, long*)
{
    if (type != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t response = event->response_type & 0x7f;
    if (response == XCB_KEY_PRESS) {
        const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (press->event != m_root)
            return false;
        on_press(*press);
        return true;
    }
    if (response == XCB_MAPPING_NOTIFY) {
        if (reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER)
            keyboard_changed();
        return false;
    }
    if (m_xkb_first_event && response == m_xkb_first_event) {
        // Every XKB event carries its kind in the second byte.
        const uint8_t kind = reinterpret_cast<const uint8_t*>(event)[1];
        if (kind == XCB_XKB_NEW_KEYBOARD_NOTIFY || kind == XCB_XKB_MAP_NOTIFY) {
            keyboard_changed();
        } else if (kind == XCB_XKB_STATE_NOTIFY) {
            // Another layout made active (a layout switch key): its symbols may sit on other keys.
            const int group = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event)->group;
            if (m_keymap && group != m_last_group)
                keyboard_changed();
        }
    }
    return false;
}

void HotkeyHub::on_press(const xcb_key_press_event_t& event)
{
    // Windows that a command opens need a recent time to be given the focus; Qt takes it from the events it handles,
    // and this one it never sees.
    QX11Info::setAppTime(event.time);
    QX11Info::setAppUserTime(event.time);
    const uint16_t modifiers = event.state & k_real_modifiers & ~(XCB_MOD_MASK_LOCK | m_num_lock);
    std::vector<QPointer<GlobalHotkey>> matching;
    for (GlobalHotkey* hotkey : m_hotkeys) {
        if (!hotkey->m_registered)
            continue;
        for (const GlobalHotkey::Grab& base : hotkey->m_bases) {
            if (base.keycode == event.detail && base.modifiers == modifiers) {
                matching.push_back(hotkey);
                break;
            }
        }
    }
    // A command may change or delete hotkeys (opening the shortcut settings gives them all up).
    for (const QPointer<GlobalHotkey>& hotkey : matching) {
        if (hotkey && hotkey->m_registered)
            Q_EMIT hotkey->activated();
    }
}

void HotkeyHub::keyboard_changed()
{
    // A layout change arrives as a burst of notices; the grabs follow once, after the burst.
    m_keymap.reset();
    if (m_regrab_pending)
        return;
    m_regrab_pending = true;
    QMetaObject::invokeMethod(
        qApp,
        [] {
            if (s_hub) {
                s_hub->m_regrab_pending = false;
                s_hub->regrab_all();
            }
        },
        Qt::QueuedConnection);
}

void HotkeyHub::regrab_all()
{
    if (!load_keymap())
        return;
    for (GlobalHotkey* hotkey : std::vector<GlobalHotkey*>(m_hotkeys)) {
        if (!hotkey->m_wanted)
            continue;
        QString error;
        const std::vector<GlobalHotkey::Grab> bases = resolve(hotkey->m_shortcut, &error);
        const bool same = hotkey->m_registered && m_num_lock == hotkey->m_num_lock &&
                          bases.size() == hotkey->m_bases.size() &&
                          std::equal(bases.begin(), bases.end(), hotkey->m_bases.begin(),
                                     [](const GlobalHotkey::Grab& a, const GlobalHotkey::Grab& b) {
                                         return a.keycode == b.keycode && a.modifiers == b.modifiers;
                                     });
        // The first key from another device (XTest after the real keyboard) announces a new map even when nothing
        // moved: a regrab then would leave a moment in which the combination reaches the focused program.
        if (same)
            continue;
        hotkey->release();
        hotkey->m_wanted = true;
        hotkey->register_now();
    }
}

GlobalHotkey::GlobalHotkey() : GlobalShortcut()
{
    HotkeyHub::acquire(this);
}

GlobalHotkey::~GlobalHotkey()
{
    release();
    HotkeyHub::release(this);
}

bool GlobalHotkey::setShortcut(const QKeySequence& shortcut, bool autoRegister)
{
    release();
    m_shortcut = shortcut;
    m_error.clear();
    if (shortcut.isEmpty() || !autoRegister)
        return false;
    m_wanted = true;
    return register_now();
}

void GlobalHotkey::release()
{
    m_wanted = false;
    if (m_registered && HotkeyHub::instance()) {
        std::vector<key_grab::Grab> grabs;
        for (const Grab& grab : m_grabs)
            grabs.push_back({grab.keycode, grab.modifiers});
        HotkeyHub::instance()->ungrab(grabs);
    }
    m_registered = false;
    m_bases.clear();
    m_grabs.clear();
}

bool GlobalHotkey::register_now()
{
    HotkeyHub* hub = HotkeyHub::instance();
    m_error.clear();
    if (!hub || !hub->is_x11()) {
        m_error = QStringLiteral("no X11 display");
        qDebug().noquote() << "GlobalHotkey:" << describe(m_shortcut) << "is not registered: no X11 display";
        return false;
    }
    const std::vector<Grab> bases = hub->resolve(m_shortcut, &m_error);
    if (bases.empty()) {
        qDebug().noquote() << "GlobalHotkey: the shortcut"
                           << (m_shortcut.isEmpty() ? QStringLiteral("(empty)") : describe(m_shortcut))
                           << "is not registered:" << m_error;
        return false;
    }
    std::vector<key_grab::Grab> grabs;
    for (const Grab& base : bases) {
        for (const uint16_t modifiers : key_grab::with_lock_variants(base.modifiers, hub->num_lock()))
            grabs.push_back({base.keycode, modifiers});
    }
    std::vector<key_grab::Refusal> refusals;
    if (!hub->grab(grabs, &refusals)) {
        const bool taken = std::any_of(refusals.begin(), refusals.end(), [](const key_grab::Refusal& refusal) {
            return refusal.error_code == key_grab::k_error_bad_access;
        });
        m_error = taken ? QStringLiteral("another program holds this combination")
                        : QStringLiteral("the X server refused it (error %1)").arg(refusals.front().error_code);
        qDebug().noquote() << "GlobalHotkey: the shortcut" << describe(m_shortcut) << "is not registered:" << m_error;
        return false;
    }
    m_bases = bases;
    m_grabs.clear();
    for (const key_grab::Grab& grab : grabs)
        m_grabs.push_back({grab.keycode, grab.modifiers});
    m_num_lock = hub->num_lock();
    m_registered = true;
    return true;
}
