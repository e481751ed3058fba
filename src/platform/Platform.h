// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Keyboard.h"

#include <QString>

#include <memory>

// What the program asks of the desktop it runs on, free of any windowing-system header: each platform (x11/ today)
// defines these, so ui/ never names one.

// The one keyboard of the platform; App calls it once.
std::unique_ptr<Keyboard> create_keyboard();

// Marks "now" as the time of the user's last request, before a window is brought to the front for it (a second
// start of the program). Does nothing where the platform has no such notion.
void refresh_user_time();

// Whether some program owns the clipboard now: an empty clipboard change with an owner means it did not answer,
// without one that it went away. True where the platform cannot tell.
bool clipboard_has_owner();

// Why the program cannot start, or an empty text when it can. On X11: when Qt is going to use its xcb platform
// (QT_QPA_PLATFORM unset or "xcb", no other "-platform" argument), an X server must answer at the display that the
// platform opens ("-display" argument, else DISPLAY): without one, Qt aborts inside the application object's
// constructor. Other platforms (offscreen, in the tests) are not checked. Call before the application object.
QString display_problem(int argc, char** argv);
