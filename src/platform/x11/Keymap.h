// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/x11/KeyGrab.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <vector>

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

// The keyboard map of the core keyboard as one X connection sees it: on which keys and levels each layout of the
// list puts a symbol, which layout is active, and which keys set which modifier bit (NumLock's among them). Every
// class that grabs or presses keys looks them up here, so they agree on which key is which after a layout change.
//
// Following changes: notice() is given the connection's events; a map change marks the map stale (refresh() reads it
// again) and a layout switch moves active_layout() at once. A connection that nobody else watches asks for those
// notices itself (`watch`); Qt's own connection has them already.
//
// Turns XKB on for the connection: the server then tells it of a new keyboard map with XKB notices only, no longer
// with the core MappingNotify. Lookups cost no round trip; refresh() costs a few. Not thread-safe: one thread at a
// time. Without XKB on the server has_map() stays false and every lookup finds nothing.
class Keymap {
public:
    enum class Notice {
        none,
        map_changed,     // the map may have moved: refresh() before the next lookup
        layout_switched, // another layout is active; active_layout() says which
    };

    explicit Keymap(xcb_connection_t* connection, bool watch = false);
    ~Keymap();
    Keymap(const Keymap&) = delete;
    Keymap& operator=(const Keymap&) = delete;

    Notice notice(const xcb_generic_event_t& event);
    // Reads the map, the active layout and the modifier map when they are stale (never read, a notice said they
    // moved, or the last read failed). Returns whether anything a lookup gives has changed since the last read: the
    // first key from another device (XTest after the real keyboard) announces a new map even when nothing moved, and
    // grabbing again then would leave a moment in which a combination slips through to the focused program.
    bool refresh();
    bool has_map() const { return m_keymap != nullptr; }

    int layout_count() const;
    int active_layout() const { return m_active_layout; }
    // The bit NumLock sets (usually Mod2; it has no fixed bit), or 0 when no key of the map is NumLock.
    uint16_t num_lock() const { return m_num_lock; }
    // The keys that set any of the modifier bits in `modifiers`.
    std::vector<xcb_keycode_t> modifier_keys(uint16_t modifiers) const;

    // The keys of `layout` that give `symbol`, each with the modifiers that choose the lowest level giving it (Shift
    // for "<" on the comma key of a US layout). Control, Alt and the locks never count as choosing a level: they do
    // so only on special key types (Ctrl+Alt on the function keys switches the console). A key with fewer layouts
    // counts with its first.
    std::vector<key_grab::Grab> find(xcb_keysym_t symbol, int layout) const;
    // A key that gives `symbol`: in the active layout if it has one, else in the first layout of the list that does;
    // one without modifiers preferred. 0 when no layout has it.
    xcb_keycode_t keycode_of(xcb_keysym_t symbol) const;
    // The symbol on the first level of the key in `layout`, or 0.
    xcb_keysym_t symbol_at(xcb_keycode_t keycode, int layout) const;
    // The symbol the key gives in `layout` with `modifiers` held, or 0.
    xcb_keysym_t symbol_with(xcb_keycode_t keycode, int layout, uint16_t modifiers) const;
    // The keycodes of the map (at most 255: the core protocol has no more).
    xcb_keycode_t min_keycode() const { return m_min_keycode; }
    xcb_keycode_t max_keycode() const { return m_max_keycode; }

private:
    struct ContextDeleter {
        void operator()(xkb_context* context) const;
    };
    struct KeymapDeleter {
        void operator()(xkb_keymap* keymap) const;
    };
    struct StateDeleter {
        void operator()(xkb_state* state) const;
    };

    bool read();
    void select_notices();
    uint32_t layout_of(xcb_keycode_t keycode, int layout) const;

    xcb_connection_t* m_connection;
    uint8_t m_xkb_first_event = 0; // 0: the server has no XKB
    int32_t m_device = -1;
    std::unique_ptr<xkb_context, ContextDeleter> m_context;
    std::unique_ptr<xkb_keymap, KeymapDeleter> m_keymap;
    std::unique_ptr<xkb_state, StateDeleter> m_probe; // answers symbol_with()
    bool m_stale = true;
    int m_active_layout = 0;
    uint16_t m_num_lock = 0;
    xcb_keycode_t m_min_keycode = 0;
    xcb_keycode_t m_max_keycode = 0;
    int m_keys_per_modifier = 0;
    std::vector<xcb_keycode_t> m_modifier_map; // 8 rows (Shift, Lock, Control, Mod1..Mod5) of the core map
    std::vector<uint32_t> m_summary;           // every key's symbols and level modifiers, to tell a real change
};
