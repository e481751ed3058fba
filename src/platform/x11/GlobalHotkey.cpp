// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/GlobalHotkey.h"

#include "platform/x11/KeyGrab.h"
#include "platform/x11/Keymap.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QPointer>
#include <QX11Info>

#include <xcb/xcb.h>

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

QString describe(const QKeySequence& shortcut)
{
    return shortcut.toString(QKeySequence::PortableText);
}

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
    std::vector<key_grab::Grab> resolve(const QKeySequence& shortcut, QString* error);
    uint16_t num_lock() const { return m_keymap ? m_keymap->num_lock() : 0; }
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

    static inline HotkeyHub* s_hub = nullptr;
    std::vector<GlobalHotkey*> m_hotkeys;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    // Qt's own connection already speaks XKB and listens to its map and state notices; the filter hands them on.
    std::unique_ptr<Keymap> m_keymap;
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
    m_keymap = std::make_unique<Keymap>(m_connection);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->installNativeEventFilter(this);
}

HotkeyHub::~HotkeyHub()
{
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->removeNativeEventFilter(this);
}

std::vector<key_grab::Grab> HotkeyHub::resolve(const QKeySequence& shortcut, QString* error)
{
    std::vector<key_grab::Grab> bases;
    const int combination = shortcut.isEmpty() ? 0 : shortcut[0];
    const int qt_key = combination & ~int(Qt::KeyboardModifierMask);
    const xcb_keysym_t target = keysym_of(qt_key);
    if (shortcut.count() != 1 || qt_key == 0 || qt_key == Qt::Key_unknown || !target) {
        *error = QStringLiteral("not a key combination");
        return bases;
    }
    m_keymap->refresh();
    if (!m_keymap->has_map()) {
        *error = QStringLiteral("the keyboard map cannot be read");
        return bases;
    }
    const bool is_letter = target >= 'a' && target <= 'z';
    const uint16_t explicit_modifiers =
        x_modifiers_of(Qt::KeyboardModifiers(combination & int(Qt::KeyboardModifierMask)));
    const int layout = m_keymap->active_layout();
    for (const key_grab::Grab& key : m_keymap->find(target, layout)) {
        // An explicit Shift on a symbol that needs none may give another symbol ("Shift+<" on the German key is
        // ">"): such a key does not count. A letter is the same letter in either case.
        if ((explicit_modifiers & XCB_MOD_MASK_SHIFT) && !(key.modifiers & XCB_MOD_MASK_SHIFT) && !is_letter &&
            m_keymap->symbol_with(key.keycode, layout, key.modifiers | XCB_MOD_MASK_SHIFT) != target)
            continue;
        const key_grab::Grab base{key.keycode, static_cast<uint16_t>(key.modifiers | explicit_modifiers)};
        if (std::find(bases.begin(), bases.end(), base) == bases.end())
            bases.push_back(base);
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
    // A new map or another active layout may put the symbols on other keys.
    if (m_keymap && m_keymap->notice(*event) != Keymap::Notice::none)
        keyboard_changed();
    return false;
}

void HotkeyHub::on_press(const xcb_key_press_event_t& event)
{
    // Windows that a command opens need a recent time to be given the focus; Qt takes it from the events it handles,
    // and this one it never sees.
    QX11Info::setAppTime(event.time);
    QX11Info::setAppUserTime(event.time);
    const uint16_t modifiers = event.state & k_real_modifiers & ~(XCB_MOD_MASK_LOCK | num_lock());
    std::vector<QPointer<GlobalHotkey>> matching;
    for (GlobalHotkey* hotkey : m_hotkeys) {
        if (!hotkey->m_registered)
            continue;
        for (const key_grab::Grab& base : hotkey->m_bases) {
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
    // Each hotkey compares its own keys, not the map as a whole: a registration may have read the new map already.
    // A map that cannot be read leaves the grabs as they are.
    m_keymap->refresh();
    if (!m_keymap->has_map())
        return;
    for (GlobalHotkey* hotkey : std::vector<GlobalHotkey*>(m_hotkeys)) {
        if (!hotkey->m_wanted)
            continue;
        QString error;
        const std::vector<key_grab::Grab> bases = resolve(hotkey->m_shortcut, &error);
        // Keys that did not move keep their grabs (a notice may change nothing, see Keymap::refresh): a regrab would
        // leave a moment in which the combination reaches the focused program.
        if (hotkey->m_registered && num_lock() == hotkey->m_num_lock && bases == hotkey->m_bases)
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
    if (m_registered && HotkeyHub::instance())
        HotkeyHub::instance()->ungrab(m_grabs);
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
    const std::vector<key_grab::Grab> bases = hub->resolve(m_shortcut, &m_error);
    if (bases.empty()) {
        qDebug().noquote() << "GlobalHotkey: the shortcut"
                           << (m_shortcut.isEmpty() ? QStringLiteral("(empty)") : describe(m_shortcut))
                           << "is not registered:" << m_error;
        return false;
    }
    std::vector<key_grab::Grab> grabs;
    for (const key_grab::Grab& base : bases) {
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
    m_grabs = grabs;
    m_num_lock = hub->num_lock();
    m_registered = true;
    return true;
}
