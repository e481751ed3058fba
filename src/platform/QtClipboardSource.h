// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardSource.h"

#include <QString>

class QClipboard;

// The clipboard read through Qt's QClipboard on the main thread: each change it announces is read at once (a slow
// owner holds the program up meanwhile). Our own writes carry a mark and are told apart by it, whenever their
// announcement comes. With Scope::this_process the changes of other programs are left to another reader, and only
// the copies made in our own windows are reported. Large payloads are kept in files of the storage folder (when one
// is given). Main thread only.
class QtClipboardSource : public ClipboardSource {
    Q_OBJECT
public:
    enum class Scope {
        every_owner,  // every copy of the desktop
        this_process, // the copies made in this program's own windows
    };

    QtClipboardSource(const QString& storage_folder, Scope scope);

    void own(std::unique_ptr<QMimeData> content) override;
    bool reads_off_the_main_thread() const override { return false; }

private:
    void clipboard_changed();

    QClipboard* m_clipboard;
    QString m_storage_folder;
    Scope m_scope;
};
