// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The desktop entries that tie Stackpaste to the desktop: the XDG autostart entry "Stackpaste.desktop" in
// $XDG_CONFIG_HOME/autostart, and on the first start the menu and desktop entries. Failures are silent apart
// from a debug line; the program carries on.

// Writes the autostart entry (Exec: the executable path in double quotes) unless it already has that content.
void add_start_up_entry();
// Removes the autostart entry if there is one.
void remove_start_up_entry();
// Creates, in order, <applications>/Stackpaste/Stackpaste.desktop, <applications>/Stackpaste/uninstall.desktop
// and <desktop>/Stackpaste.desktop. Existing files are left as they are. The two menu entries are skipped when the
// program is installed with a menu entry of its own.
void create_shortcut_files();

// The system-wide menu entry of an installed Stackpaste (beside the executable's installation, or in a folder of
// XDG_DATA_DIRS), or empty when there is none.
QString installed_menu_entry();

// The Exec value that starts `program`, escaped for a desktop entry.
QString desktop_exec_value(const QString& program);
// The autostart entry's path and the content it is given (tests).
QString start_up_entry_path();
QString start_up_entry_content();
