// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardCapture.h"

#include <QMimeData>
#include <QObject>

#include <memory>

// The desktop's clipboard as the copy road sees it. An implementation reports every copy the user makes, in another
// program or in one of our own windows, as a capture (on the main thread, in the order the copies were made, never
// the same one twice); it leaves out the changes that carry no data (an owner that went away or did not answer) and
// every content that own() put there, however soon the next copy follows. It may read the clipboard on a thread of
// its own. Created without a parent; lives for the whole run; main thread only.
class ClipboardSource : public QObject {
    Q_OBJECT
public:
    ClipboardSource() : QObject(nullptr) {}
    ~ClipboardSource() override = default;

    // Puts content on the clipboard as our own (a paste, the autocomplete's text); it is never reported as a copy.
    virtual void own(std::unique_ptr<QMimeData> content) = 0;
    // Whether copies are read off the main thread, where no clipboard owner can hold the program up.
    virtual bool reads_off_the_main_thread() const = 0;

Q_SIGNALS:
    void captured(const ClipboardCapture& capture);
};
