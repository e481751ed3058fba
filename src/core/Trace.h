// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Two diagnostic channels: trace lines on standard output and debug lines through qDebug().
// Trace lines are written from the main thread; each one is flushed at once.
namespace trace {

// Writes "file:///<file>:<line>: <message>\n" and flushes. <file> is the source path as the build gives it,
// relative to the repository root, so the line is a link into a checkout.
void located(const char* file, int line, const QString& message);

// Writes "<text>\n" and flushes.
void plain(const QString& text);

} // namespace trace

// A located trace line with the call site's file and line.
#define TRACE(message) ::trace::located(__FILE__, __LINE__, (message))
