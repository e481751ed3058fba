// SPDX-License-Identifier: GPL-3.0-or-later
// PLACEHOLDER
#include "platform/StartUpEntry.h"
void add_start_up_entry() {}
void remove_start_up_entry() {}
void create_shortcut_files() {}
QString start_up_entry_path() { return {}; }
QString start_up_entry_content() { return {}; }
