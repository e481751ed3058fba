// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of the platform that every backend shares.
#include "platform/Platform.h"

#include <QGuiApplication>
#include <QWindow>

#include <algorithm>

bool is_own_window(quint64 window)
{
    if (window == 0)
        return false;
    const QWindowList ours = QGuiApplication::allWindows();
    // Only windows that exist on the desktop already: asking another for its id would create it.
    return std::any_of(ours.begin(), ours.end(),
                       [window](QWindow* own) { return own->handle() && own->winId() == window; });
}

bool is_wayland_session()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
