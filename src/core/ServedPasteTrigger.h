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
        // A copy arriving meanwhile goes after the paste: the paste's step is taken before the copy is recorded (this
        // connection is made before the recorder's), so it starts from the item that was pasted.
        connect(&source, &ClipboardSource::captured, this, [this] {
            if (m_settle.isActive()) {
                m_settle.stop();
                Q_EMIT signal_paste(Moment::after_served);
            }
        });
    }

private:
    QTimer m_settle;
};
