// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PasteTrigger.h"

class Keyboard;

// The paste trigger of a key source that holds Ctrl+V until its handlers have returned (X11's key grab): each Ctrl+V
// it reports, whatever other modifiers are down, is a paste before the program reads. The keyboard must outlive it.
class KeyboardPasteTrigger : public PasteTrigger {
    Q_OBJECT
public:
    explicit KeyboardPasteTrigger(const Keyboard& keyboard);
};
