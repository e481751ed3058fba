// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardCapture.h"

#include <QMimeData>
#include <QObject>
#include <QString>

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
    // Whether the source tells when a program was served what own() put there (served()). Where no key press tells
    // of a paste (a Wayland session), those requests are the pastes, and the clipboard always holds the next item.
    virtual bool tells_served_pastes() const { return false; }
    // How pastes are followed, for the start's debug line and tray message; empty where nothing is worth saying.
    virtual QString paste_road() const { return {}; }

Q_SIGNALS:
    void captured(const ClipboardCapture& capture);
    // A program was given what own() put on the clipboard, once per paste: the reads that clipboard keepers make
    // right after every change, and the further types the same paste asks for, are not reported.
    void served();
    // Another program took the clipboard back each time we offered an item (a clipboard manager that keeps its own
    // copy); pastes cannot be followed while it runs. Reported once.
    void rival_noticed(const QString& why);
    // The connection to the desktop's clipboard is lost for good (the compositor went away).
    void connection_lost();
};
