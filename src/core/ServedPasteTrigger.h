// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardSource.h"
#include "core/PasteTrigger.h"
#include "core/ServedRequests.h"

#include <QTimer>

// The paste trigger where no key press tells of a paste (a Wayland session): each program served what the clipboard
// source put on the clipboard is a paste, told after the fact, once the program has had the time to ask for the
// further types of the same paste (ServedRequests::k_settle). The source must outlive it.
class ServedPasteTrigger : public PasteTrigger {
    Q_OBJECT
public:
    explicit ServedPasteTrigger(const ClipboardSource& source)
    {
        m_settle.setSingleShot(true);
        m_settle.setInterval(ServedRequests::k_settle);
        connect(&m_settle, &QTimer::timeout, this, [this] { Q_EMIT signal_paste(Moment::after_served); });
        connect(&source, &ClipboardSource::served, this, [this] {
            if (!m_settle.isActive())
                m_settle.start();
        });
    }

private:
    QTimer m_settle;
};
