// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

// What both key-grabbing classes of the X11 platform need: the lock variants of a combination and passive grabs whose
// refusals are checked (the NumLock bit and the keys of a symbol come from Keymap). A passive grab matches the modifier
// state exactly, so a combination is only caught with CapsLock or NumLock on when it is grabbed once more for each of
// them.
namespace key_grab {

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
// Replies, errors and keycode lists of xcb are malloc()ed for the caller.
template <typename T> using XcbPointer = std::unique_ptr<T, FreeDeleter>;

constexpr uint8_t k_error_bad_access = 10;

// `modifiers` alone and with CapsLock, NumLock and both; `num_lock` 0 leaves out the NumLock ones.
std::vector<uint16_t> with_lock_variants(uint16_t modifiers, uint16_t num_lock);
// Every modifier state that holds all of `required`, whatever else is held: `required` with each combination of the
// other bits (Shift, CapsLock, Mod1..Mod5, NumLock's among them), in ascending order. 128 states for one required bit.
std::vector<uint16_t> with_any_other_modifiers(uint16_t required);

struct Grab {
    xcb_keycode_t keycode = 0;
    uint16_t modifiers = 0;
    bool operator==(const Grab& other) const { return keycode == other.keycode && modifiers == other.modifiers; }
    bool operator<(const Grab& other) const
    {
        return keycode != other.keycode ? keycode < other.keycode : modifiers < other.modifiers;
    }
};

struct Refusal {
    Grab grab;
    uint8_t error_code = 0; // k_error_bad_access: another program holds the combination
};

// Grabs every combination on `root` (owner events off, pointer async, the keyboard in `keyboard_mode`) and checks
// them all with one round trip. Returns the refused ones; the granted ones stay grabbed either way.
std::vector<Refusal> grab_checked(xcb_connection_t* connection, xcb_window_t root, const std::vector<Grab>& grabs,
                                  uint8_t keyboard_mode);

// Releases the combinations; checked, so the server has processed the releases when this returns and another
// client's grab made right after is not refused by ours.
void ungrab(xcb_connection_t* connection, xcb_window_t root, const std::vector<Grab>& grabs);

} // namespace key_grab
