// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>

// The commands that have a system-wide shortcut, in the order of the shortcut settings dialog's rows. A new command
// is a new id here, its row in k_shortcut_commands and its case in App::run_command (and, when it has a help text,
// its place in the HelperDialog's page); the compiler checks the table's rows and the switch's cases.
enum class CommandId {
    switch_paste_order,
    pause_or_resume,
    rich_text_copy,
    clipboard_undo,
    clipboard_redo,
    clear_history,
    open_history_dialog,
    clipboard_undo_with_arrow,
    clipboard_redo_with_arrow,
    show_debug_info,
    open_autocomplete,
    lock_current_position,
    count // not a command: the number of commands
};

inline constexpr int k_shortcut_count = static_cast<int>(CommandId::count);

// A command's row: the settings key its shortcut is kept under, the row's label, the shortcut a fresh installation
// has, and the description the help gives it (null: the help does not name it). Shortcuts are key sequences as
// QKeySequence reads them.
struct ShortcutCommand {
    CommandId id;
    const char* settings_key;
    const char* label;
    const char* default_shortcut;
    const char* help;
};

// The row, and the index into every per-command array, of a command.
constexpr int row_of(CommandId id)
{
    return static_cast<int>(id);
}

// Whether a table with one entry per command lists every command once, in the order of CommandId. An entry left
// out would otherwise be a silent zero at the end of the std::array.
template <typename Entry, std::size_t N> constexpr bool lists_every_command_in_order(const std::array<Entry, N>& table)
{
    if (N != static_cast<std::size_t>(k_shortcut_count))
        return false;
    for (std::size_t row = 0; row < N; ++row) {
        if (row_of(table[row].id) != static_cast<int>(row))
            return false;
    }
    return true;
}

// Rows 4 and 8, and 5 and 9, are two shortcuts for the same history step.
// clang-format off
inline constexpr std::array<ShortcutCommand, k_shortcut_count> k_shortcut_commands{{
    {CommandId::switch_paste_order,        "ShortcutSwitchPasteOrder",       "Switch paste order",         "Ctrl+Alt+/",       "Switch the paste order"},
    {CommandId::pause_or_resume,           "ShortcutPauseOrResume",          "Pause or resume Stackpaste", "Ctrl+Alt+0",       "Pause/resume Stackpaste"},
    {CommandId::rich_text_copy,            "ShortcutRichTextCopy",           "Rich Text Copy",             "Ctrl+Alt+9",       "Enable/Disable Rich text Copy"},
    {CommandId::clipboard_undo,            "ShortcutClipboardUndo",          "Clipboard Undo",             "Ctrl+Alt+<",       "Go Back in History"},
    {CommandId::clipboard_redo,            "ShortcutClipboardRedo",          "Clipboard Redo",             "Ctrl+Alt+>",       "Go Forward in History"},
    {CommandId::clear_history,             "ShortcutClearHistory",           "Clear History",              "Ctrl+Alt+Shift+H", "Clear Clipboard History"},
    {CommandId::open_history_dialog,       "ShortcutOpenHistoryDialog",      "Open History Dialog",        "Ctrl+Alt+H",       "Show Clipboard History"},
    {CommandId::clipboard_undo_with_arrow, "ShortcutClipboardUndoWithArrow", "Clipboard undo with Arrow",  "Ctrl+Alt+Left",    nullptr},
    {CommandId::clipboard_redo_with_arrow, "ShortcutClipboardRedoWithArrow", "Clipboard redo with Arrow",  "Ctrl+Alt+Right",   nullptr},
    {CommandId::show_debug_info,           "ShortcutShowDebugInfo",          "Show Debug Info",            "Ctrl+Alt+D",       nullptr},
    {CommandId::open_autocomplete,         "ShortcutOpenAutocomplete",       "Open Autocomplete",          "Ctrl+Alt+Space",   "Show Autocomplete History"},
    {CommandId::lock_current_position,     "ShortcutLockCurrentPosition",    "Lock Current Position",      "Ctrl+\\",          nullptr},
}};
// clang-format on
static_assert(lists_every_command_in_order(k_shortcut_commands), "one row per command, in the order of CommandId");

constexpr const ShortcutCommand& command_of(CommandId id)
{
    return k_shortcut_commands[static_cast<std::size_t>(row_of(id))];
}
