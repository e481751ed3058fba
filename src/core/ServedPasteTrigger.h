// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardSource.h"
#include "core/PasteTrigger.h"

// The paste trigger where no key press tells of a paste (a Wayland session): each program served what the clipboard
// source put on the clipboard is a paste, told after the fact. The source must outlive it.
class ServedPasteTrigger : public PasteTrigger {
    Q_OBJECT
public:
    explicit ServedPasteTrigger(const ClipboardSource& source)
    {
        connect(&source, &ClipboardSource::served, this, [this] { Q_EMIT signal_paste(Moment::after_served); });
    }
};
