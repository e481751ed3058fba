// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PasteTrigger.h"

// A paste trigger for tests: a backend that learns of a paste only when a program has been served.
class FakePasteTrigger : public PasteTrigger {
    Q_OBJECT
public:
    // A program has just read what the clipboard held.
    void served() { Q_EMIT signal_paste(Moment::after_served); }
};
