// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Trace.h"

#include <cstdio>

namespace trace {

void located(const char* file, int line, const QString& message)
{
    // One fprintf per line, so a line is never split by another writer's output.
    std::fprintf(stdout, "file:///%s:%d: %s\n", file, line, message.toLocal8Bit().constData());
    std::fflush(stdout);
}

void plain(const QString& text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace trace
