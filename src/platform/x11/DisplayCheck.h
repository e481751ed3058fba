// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Why the program cannot start, or an empty text when it can. When Qt is going to use its xcb platform
// (QT_QPA_PLATFORM unset or "xcb", no other "-platform" argument), an X server must answer at the display that the
// platform opens ("-display" argument, else DISPLAY): without one, Qt aborts inside the application object's
// constructor. Other platforms (offscreen, in the tests) are not checked. Call before the application object.
QString x11_display_problem(int argc, char** argv);
