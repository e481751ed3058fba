// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QEvent>
#include <QWidget>

// The rule of the small windows that close as soon as the user turns to another window. On X11 activation comes
// some time after the window is mapped, so the events of the showing itself must not close it: only once the
// window has been active does an event that finds it inactive close it.
class SelfClosing {
public:
    // Whether `event`, arriving at `window`, is the one that should close it.
    bool should_close(const QWidget& window, const QEvent& event)
    {
        switch (event.type()) {
        case QEvent::WindowActivate:
            m_has_been_active = true;
            return false;
        case QEvent::Hide:
            m_has_been_active = false;
            return false;
        default:
            if (!m_has_been_active || window.isActiveWindow())
                return false;
            m_has_been_active = false;
            return true;
        }
    }

private:
    bool m_has_been_active = false;
};
