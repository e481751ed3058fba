// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/QtClipboardSource.h"
#include "platform/x11/ClipboardReader.h"

// The clipboard on X11: other programs' copies are read by the ClipboardReader on its own thread, so that no owner
// can hold up the keyboard or the windows; the copies made in our own windows, which the reader leaves to us, are
// read through Qt's clipboard. Our own writes are told apart by both: the reader by the owner's id, Qt's clipboard
// by their mark. Main thread only.
class X11ClipboardSource : public ClipboardSource {
    Q_OBJECT
public:
    explicit X11ClipboardSource(const QString& storage_folder);

    // Starts the reader; false without an X server with XFixes.
    bool start();

    void own(std::unique_ptr<QMimeData> content) override;
    bool reads_off_the_main_thread() const override { return true; }

private:
    ClipboardReader m_reader;
    QtClipboardSource m_own_windows;
};
