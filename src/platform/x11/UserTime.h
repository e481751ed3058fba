// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Marks "now" as the time of the user's last request, before a window is brought to the front for it (a second
// start of the program). Does nothing outside X11.
void refresh_user_time();
