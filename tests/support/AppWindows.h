// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/App.h"

#include <QApplication>
#include <QList>
#include <QWidget>

// The App's windows as the user finds them: among the windows on the screen (shown or hidden), or among the App's
// children (the tray icon).
template <class Window> QList<Window*> windows_of(App& app)
{
    QList<Window*> found = app.findChildren<Window*>();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* match = qobject_cast<Window*>(window); match && !found.contains(match))
            found.append(match);
    }
    return found;
}

// The App's only window of that class; null when there is none or more than one.
template <class Window> Window* window_of(App& app)
{
    const QList<Window*> found = windows_of<Window>(app);
    return found.size() == 1 ? found.first() : nullptr;
}
