// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/Keymap.h"

#include <QDebug>

// The XKB header names a struct member "explicit", which is a keyword in C++.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

#include <algorithm>

namespace {

using key_grab::XcbPointer;

constexpr xcb_keysym_t k_keysym_num_lock = 0xff7f;
constexpr uint16_t k_real_modifiers = 0xff; // Shift, Lock, Control, Mod1..Mod5; the higher bits are group and buttons
constexpr int k_modifier_rows = 8;
// xkb_keymap_key_get_mods_for_level() lists at most this many modifier sets per level here; more are rare and the
// fewest-bits one is among the first.
constexpr size_t k_masks_per_level = 8;

int bit_count(uint32_t mask)
{
    int count = 0;
    for (; mask; mask &= mask - 1)
        ++count;
    return count;
}

} // namespace

void Keymap::ContextDeleter::operator()(xkb_context* context) const
{
    xkb_context_unref(context);
}

void Keymap::KeymapDeleter::operator()(xkb_keymap* keymap) const
{
    xkb_keymap_unref(keymap);
}

void Keymap::StateDeleter::operator()(xkb_state* state) const
{
    xkb_state_unref(state);
}

Keymap::Keymap(xcb_connection_t* connection, bool watch) : m_connection(connection)
{
    // The map is read from the server, never compiled from rule names: no include paths, no environment.
    m_context.reset(
        xkb_context_new(xkb_context_flags(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES)));
    uint8_t first_event = 0;
    if (!m_context ||
        !xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &first_event, nullptr)) {
        qDebug() << "Keymap: the X server has no XKB; no key can be looked up";
        return;
    }
    m_device = xkb_x11_get_core_keyboard_device_id(connection);
    if (m_device < 0) {
        qDebug() << "Keymap: the X server names no core keyboard; no key can be looked up";
        return;
    }
    m_xkb_first_event = first_event;
    if (watch)
        select_notices();
}

Keymap::~Keymap() = default;

void Keymap::select_notices()
{
    // A new map (setxkbmap, or the keys of another device), a changed one (xmodmap) and a switch of the active layout.
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = details.newKeyboardDetails =
        XCB_XKB_NKN_DETAIL_KEYCODES | XCB_XKB_NKN_DETAIL_GEOMETRY | XCB_XKB_NKN_DETAIL_DEVICE_ID;
    details.affectState = details.stateDetails = XCB_XKB_STATE_PART_GROUP_STATE;
    const uint16_t kinds =
        XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY | XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
    const uint16_t map_parts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP;
    XcbPointer<xcb_generic_error_t> error(
        xcb_request_check(m_connection, xcb_xkb_select_events_aux_checked(m_connection, XCB_XKB_ID_USE_CORE_KBD, kinds,
                                                                          0, 0, map_parts, map_parts, &details)));
    if (error)
        qDebug() << "Keymap: asking for the keyboard's notices failed with X error" << error->error_code
                 << "; layout changes are not followed";
}

Keymap::Notice Keymap::notice(const xcb_generic_event_t& event)
{
    const uint8_t type = event.response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY) {
        if (reinterpret_cast<const xcb_mapping_notify_event_t&>(event).request == XCB_MAPPING_POINTER)
            return Notice::none;
        m_stale = true;
        return Notice::map_changed;
    }
    if (!m_xkb_first_event || type != m_xkb_first_event)
        return Notice::none;
    // Every XKB event carries its kind in the second byte.
    const uint8_t kind = reinterpret_cast<const uint8_t*>(&event)[1];
    if (kind == XCB_XKB_NEW_KEYBOARD_NOTIFY || kind == XCB_XKB_MAP_NOTIFY) {
        m_stale = true;
        return Notice::map_changed;
    }
    if (kind == XCB_XKB_STATE_NOTIFY) {
        // Another layout made active (a layout switch key): its symbols may sit on other keys.
        const int group = reinterpret_cast<const xcb_xkb_state_notify_event_t&>(event).group;
        if (group == m_active_layout)
            return Notice::none;
        m_active_layout = group;
        return Notice::layout_switched;
    }
    return Notice::none;
}

bool Keymap::refresh()
{
    if (!m_stale && has_map())
        return false;
    m_stale = false;
    return read();
}

bool Keymap::read()
{
    if (m_device < 0)
        return false;
    // Asked first, answered while the XKB requests travel.
    const xcb_get_modifier_mapping_cookie_t modifiers = xcb_get_modifier_mapping(m_connection);
    std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(
        xkb_x11_keymap_new_from_device(m_context.get(), m_connection, m_device, XKB_KEYMAP_COMPILE_NO_FLAGS));
    std::unique_ptr<xkb_state, StateDeleter> state(
        keymap ? xkb_x11_state_new_from_device(keymap.get(), m_connection, m_device) : nullptr);
    XcbPointer<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(m_connection, modifiers, nullptr));
    if (!keymap || !state || !mapping) {
        qDebug() << "Keymap: the keyboard map cannot be read";
        const bool had_map = has_map();
        m_keymap.reset();
        m_probe.reset();
        m_summary.clear();
        m_modifier_map.clear();
        m_keys_per_modifier = 0;
        m_num_lock = 0;
        return had_map;
    }
    m_keymap = std::move(keymap);
    m_probe.reset(xkb_state_new(m_keymap.get()));
    const int active_before = m_active_layout;
    m_active_layout = static_cast<int>(xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE));
    m_min_keycode = static_cast<xcb_keycode_t>(std::min<xkb_keycode_t>(xkb_keymap_min_keycode(m_keymap.get()), 255));
    m_max_keycode = static_cast<xcb_keycode_t>(std::min<xkb_keycode_t>(xkb_keymap_max_keycode(m_keymap.get()), 255));
    m_keys_per_modifier = mapping->keycodes_per_modifier;
    const xcb_keycode_t* rows = xcb_get_modifier_mapping_keycodes(mapping.get());
    m_modifier_map.assign(rows, rows + k_modifier_rows * m_keys_per_modifier);

    // Everything a lookup reads, in one row of numbers: two reads that give the same row find the same keys.
    std::vector<uint32_t> summary{m_min_keycode, m_max_keycode};
    for (int code = m_min_keycode; code <= m_max_keycode; ++code) {
        const auto keycode = static_cast<xkb_keycode_t>(code);
        const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(m_keymap.get(), keycode);
        summary.push_back(layouts);
        for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
            const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(m_keymap.get(), keycode, layout);
            summary.push_back(levels);
            for (xkb_level_index_t level = 0; level < levels; ++level) {
                const xkb_keysym_t* symbols = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(m_keymap.get(), keycode, layout, level, &symbols);
                summary.push_back(static_cast<uint32_t>(count));
                summary.insert(summary.end(), symbols, symbols + std::max(count, 0));
                xkb_mod_mask_t masks[k_masks_per_level];
                const size_t mask_count =
                    xkb_keymap_key_get_mods_for_level(m_keymap.get(), keycode, layout, level, masks, k_masks_per_level);
                summary.push_back(static_cast<uint32_t>(mask_count));
                for (size_t i = 0; i < mask_count; ++i)
                    summary.push_back(masks[i] & k_real_modifiers);
            }
        }
    }
    summary.push_back(static_cast<uint32_t>(m_keys_per_modifier));
    summary.insert(summary.end(), m_modifier_map.begin(), m_modifier_map.end());

    // The modifier map says which of Mod1..Mod5 a NumLock key sets.
    m_num_lock = 0;
    const std::vector<key_grab::Grab> num_lock_keys = find(k_keysym_num_lock, 0);
    for (size_t index = 0; index < m_modifier_map.size() && !m_num_lock; ++index) {
        if (std::any_of(num_lock_keys.begin(), num_lock_keys.end(),
                        [&](const key_grab::Grab& key) { return key.keycode == m_modifier_map[index]; }))
            m_num_lock = static_cast<uint16_t>(1u << (index / static_cast<size_t>(m_keys_per_modifier)));
    }

    const bool changed = summary != m_summary || m_active_layout != active_before;
    m_summary = std::move(summary);
    return changed;
}

int Keymap::layout_count() const
{
    return m_keymap ? static_cast<int>(xkb_keymap_num_layouts(m_keymap.get())) : 0;
}

std::vector<xcb_keycode_t> Keymap::modifier_keys(uint16_t modifiers) const
{
    std::vector<xcb_keycode_t> keys;
    for (int row = 0; row < k_modifier_rows; ++row) {
        if (!(modifiers & (1u << row)))
            continue;
        for (int i = 0; i < m_keys_per_modifier; ++i) {
            const xcb_keycode_t keycode = m_modifier_map[static_cast<size_t>(row * m_keys_per_modifier + i)];
            if (keycode != 0)
                keys.push_back(keycode);
        }
    }
    return keys;
}

uint32_t Keymap::layout_of(xcb_keycode_t keycode, int layout) const
{
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(m_keymap.get(), keycode);
    return layout >= 0 && static_cast<xkb_layout_index_t>(layout) < layouts ? static_cast<uint32_t>(layout) : 0;
}

std::vector<key_grab::Grab> Keymap::find(xcb_keysym_t symbol, int layout) const
{
    std::vector<key_grab::Grab> found;
    if (!m_keymap)
        return found;
    xkb_keymap* keymap = m_keymap.get();
    const uint16_t not_a_level = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_LOCK | m_num_lock;
    for (int code = m_min_keycode; code <= m_max_keycode; ++code) {
        const auto keycode = static_cast<xcb_keycode_t>(code);
        if (xkb_keymap_num_layouts_for_key(keymap, keycode) == 0)
            continue;
        const xkb_layout_index_t key_layout = layout_of(keycode, layout);
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, keycode, key_layout);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* symbols = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, keycode, key_layout, level, &symbols);
            if (std::find(symbols, symbols + std::max(count, 0), symbol) == symbols + std::max(count, 0))
                continue;
            xkb_mod_mask_t masks[k_masks_per_level];
            const size_t mask_count =
                xkb_keymap_key_get_mods_for_level(keymap, keycode, key_layout, level, masks, k_masks_per_level);
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
            found.push_back({keycode, static_cast<uint16_t>(best)});
            break; // the lowest level that gives the symbol
        }
    }
    return found;
}

xcb_keycode_t Keymap::keycode_of(xcb_keysym_t symbol) const
{
    const int layouts = layout_count();
    for (int i = -1; i < layouts; ++i) {
        if (i == m_active_layout)
            continue;
        const std::vector<key_grab::Grab> keys = find(symbol, i < 0 ? m_active_layout : i);
        if (keys.empty())
            continue;
        const auto plain =
            std::find_if(keys.begin(), keys.end(), [](const key_grab::Grab& key) { return key.modifiers == 0; });
        return plain != keys.end() ? plain->keycode : keys.front().keycode;
    }
    return 0;
}

xcb_keysym_t Keymap::symbol_at(xcb_keycode_t keycode, int layout) const
{
    if (!m_keymap || keycode < m_min_keycode || keycode > m_max_keycode)
        return 0;
    const xkb_keysym_t* symbols = nullptr;
    const int count =
        xkb_keymap_key_get_syms_by_level(m_keymap.get(), keycode, layout_of(keycode, layout), 0, &symbols);
    return count > 0 ? symbols[0] : 0;
}

xcb_keysym_t Keymap::symbol_with(xcb_keycode_t keycode, int layout, uint16_t modifiers) const
{
    if (!m_probe)
        return 0;
    xkb_state_update_mask(m_probe.get(), modifiers, 0, 0, 0, 0, layout_of(keycode, layout));
    return xkb_state_key_get_one_sym(m_probe.get(), keycode);
}
