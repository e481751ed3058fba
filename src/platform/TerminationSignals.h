// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// SIGTERM, SIGINT and SIGHUP (log-out, kill, Ctrl+C in a terminal) end the event loop like the tray's Exit, so
// the settings are saved and the snapshots of copied files are removed. The handlers stay installed: a repeated
// signal during the clean-up changes nothing, and a clean-up that still runs 5 s after the first signal is ended
// by a watchdog (SIGALRM) with that signal's default action. SIGHUP and SIGINT stay ignored when they were ignored
// at start (nohup). SIGPIPE no longer kills the program: the write fails with EPIPE. Call once, after the
// application object.
void quit_on_termination_signals();
