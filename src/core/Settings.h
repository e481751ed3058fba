// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardHistory.h"

#include <QList>
#include <QPoint>

// Every value kept in the settings file. App holds the program's values in one of these and hands the history's
// switches to the ClipboardHistory; the defaults below are those of a fresh installation.
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
};
