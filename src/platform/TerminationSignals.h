// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// SIGTERM, SIGINT and SIGHUP (log-out, kill, Ctrl+C in a terminal) end the event loop like the tray's Exit, so
// the settings are saved and the snapshots of copied files are removed. Call once, after the application object.
void quit_on_termination_signals();
