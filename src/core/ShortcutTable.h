// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

// The twelve commands that have a system-wide shortcut, in the order of the shortcut settings dialog: the settings
// key each shortcut is kept under, the row's label and the shortcut a fresh installation has. The texts are key
// sequences as QKeySequence reads them. Rows 4 and 8, and 5 and 9, are two shortcuts for the same history step.
struct ShortcutCommand {
    const char* settings_key;
    const char* label;
    const char* default_shortcut;
};

inline constexpr int k_shortcut_count = 12;

// clang-format off
inline constexpr std::array<ShortcutCommand, k_shortcut_count> k_shortcut_commands{{
    {"ShortcutSwitchPasteOrder",        "Switch paste order",         "Ctrl+Alt+/"},
    {"ShortcutPauseOrResume",           "Pause or resume Stackpaste", "Ctrl+Alt+0"},
    {"ShortcutRichTextCopy",            "Rich Text Copy",             "Ctrl+Alt+9"},
    {"ShortcutClipboardUndo",           "Clipboard Undo",             "Ctrl+Alt+<"},
    {"ShortcutClipboardRedo",           "Clipboard Redo",             "Ctrl+Alt+>"},
    {"ShortcutClearHistory",            "Clear History",              "Ctrl+Alt+Shift+H"},
    {"ShortcutOpenHistoryDialog",       "Open History Dialog",        "Ctrl+Alt+H"},
    {"ShortcutClipboardUndoWithArrow",  "Clipboard undo with Arrow",  "Ctrl+Alt+Left"},
    {"ShortcutClipboardRedoWithArrow",  "Clipboard redo with Arrow",  "Ctrl+Alt+Right"},
    {"ShortcutShowDebugInfo",           "Show Debug Info",            "Ctrl+Alt+D"},
    {"ShortcutOpenAutocomplete",        "Open Autocomplete",          "Ctrl+Alt+Space"},
    {"ShortcutLockCurrentPosition",     "Lock Current Position",      "Ctrl+\\"},
}};
// clang-format on
