// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardSource.h"
#include "core/GlobalShortcut.h"
#include "core/Keyboard.h"
#include "core/PasteTrigger.h"

#include <QString>
#include <QtGlobal>

#include <memory>

// What the program asks of the desktop it runs on, free of any windowing-system header: each backend (x11/, or
// generic/ where the build leaves X11 out) defines these and picks what the session offers, so ui/ never names one.

// The one keyboard of the platform; App calls it once.
std::unique_ptr<Keyboard> create_keyboard();

// What tells the paste road that the user pastes: the key press where the keyboard sees it, or the requests the
// clipboard source serves where it tells of them (a Wayland session). keyboard is the one create_keyboard() made (or a
// test's) and source the one create_clipboard_source() made; both must outlive it.
std::unique_ptr<PasteTrigger> create_paste_trigger(const Keyboard& keyboard, const ClipboardSource& source);

// One system-wide shortcut, not registered yet.
std::unique_ptr<GlobalShortcut> create_global_shortcut();

// The clipboard as the copy road reads and writes it, watching from the start; storage_folder: where large payloads
// of the copies are kept (empty: in memory).
std::unique_ptr<ClipboardSource> create_clipboard_source(const QString& storage_folder);

// Whether the backend needs Qt's X11 platform, in a Wayland session too (the program then runs through XWayland).
bool needs_x11_platform();

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

// The window that has the keyboard focus now (0 when none or unknown), to give it back later.
quint64 focused_window();

// Whether the window is one of this program's own (0 is none).
bool is_own_window(quint64 window);

// Pastes into `window` as the user would: gives it the keyboard focus, lets go of any modifier still held (the
// program would otherwise see Alt+Ctrl+V or nothing) and presses Ctrl+V. The platform's keyboard lets this press
// through without reporting it: what it pastes is on the clipboard already. Returns false when no key could be
// injected.
bool paste_into(quint64 window);

// Whether the desktop session is a Wayland one (the program then runs through XWayland and its key interception
// sees only the keys typed into X11 programs).
bool is_wayland_session();
