// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardHistory.h"
#include "core/ShortcutTable.h"

#include <QList>
#include <QPoint>
#include <QString>

#include <array>

// Every value kept in the settings file. App holds the program's values in one of these and hands the history's
// switches to the ClipboardHistory. The initial values here (and those of HistoryOptions) are the only defaults:
// those of a fresh installation, and of every key that the settings file lacks or cannot read.
struct Settings {
    bool is_first_start = true;
    bool use_hidden_features = true;
    bool start_at_startup = true;
    bool create_shortcuts_automatically = true;
    bool use_spinning_tray_icon = true;
    bool use_hidden_features_notifications = true;
    bool hidden_features_help_already_shown = false;
    bool use_inverted_icons = true;
    bool use_keyboard_shortcuts = true;
    HistoryOptions history; // IsStackpastePaused, IsRichTextCopyEnabled, UseAutomaticPositionMovement, PasteOrder
    QPoint indicator_position;
    QList<int> ignore_monitors;
    // The shortcut of each row of k_shortcut_commands; an empty text is no shortcut.
    std::array<QString, k_shortcut_count> shortcuts = default_shortcuts();

    static std::array<QString, k_shortcut_count> default_shortcuts()
    {
        std::array<QString, k_shortcut_count> texts;
        for (int row = 0; row < k_shortcut_count; ++row)
            texts[row] = QString::fromLatin1(k_shortcut_commands[row].default_shortcut);
        return texts;
    }
};
