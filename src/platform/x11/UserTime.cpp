// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/UserTime.h"

#include <QX11Info>

void refresh_user_time()
{
    if (!QX11Info::isPlatformX11())
        return;
    // Our last event may be minutes old: the server refuses a focus change stamped earlier than the last one and
    // window managers treat it as focus stealing, so the window would stay behind. Ask the server for its time.
    const unsigned long now = QX11Info::getTimestamp();
    QX11Info::setAppTime(now);
    QX11Info::setAppUserTime(now);
}
