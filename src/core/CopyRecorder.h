// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardCapture.h"

#include <QObject>

class AutocompleteDatabase;
class ClipboardHistory;
class MimeCopy;

// The copy road after the clipboard was read: takes each capture into the history, and its text into the
// autocomplete store, whichever clipboard source delivered it. A capture without data and a password manager's secret
// leave everything as it was; any other copy releases the lock and starts a history that had no position; a pause
// then keeps it out. The active history decides what is kept: the whole item (its files snapshotted when file copies
// are on) or its plain text, which the autocomplete store learns too. The history, the copier and the store must
// outlive the recorder; the store may be null. Main thread only.
class CopyRecorder : public QObject {
    Q_OBJECT
public:
    CopyRecorder(ClipboardHistory& history, MimeCopy& mime_copy, AutocompleteDatabase* autocomplete);

    void record(const ClipboardCapture& capture);

Q_SIGNALS:
    // A copy reached the history (an item added, or a pause kept it out after the lock was released): the views
    // of the history are to be redrawn.
    void signal_recorded();

private:
    // Files the capture; false when it was no copy of the user's and left everything as it was.
    bool take(const ClipboardCapture& capture);
    void add_text(const QString& text);

    ClipboardHistory& m_history;
    MimeCopy& m_mime_copy;
    AutocompleteDatabase* m_autocomplete;
};
