// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardCapture.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

// Reads the CLIPBOARD of X on a thread of its own, over a connection of its own, so that no owner can keep the
// main thread waiting. It learns of each new owner from XFixes, asks for the targets and transfers the wanted ones
// (the pseudo-targets skipped, one image encoding), incremental transfers included. Every capture has a deadline:
// what arrived complete by then is kept, the rest is abandoned and named on the debug channel. A newer owner ends the
// capture of the one before at once (requests go to the current owner anyway), so captures arrive in the order the
// owners changed and none waits behind a hung one.
//
// The worker also turns the targets into the formats Qt would name (the capture rules again), keeps
// large payloads in files of the storage folder and reads the header of an image: the main thread only files what
// arrives. Changes made by a window of this process's own X client (Qt's clipboard writes) are told apart by the
// owner's resource id and not read: the program knows what it wrote, and tells its own pastes from copies made in
// its windows itself.
//
// captured() and own_change() are delivered on the thread that owns the reader (the main thread).
class ClipboardReader : public QObject {
    Q_OBJECT
public:
    struct Limits {
        int quiet_ms = 1000;                     // no progress for this long ends a capture
        int total_ms = 5000;                     // nor does any capture take longer
        qint64 max_bytes = 1024LL * 1024 * 1024; // a larger format is left out
    };

    explicit ClipboardReader(Limits limits);
    ClipboardReader() : ClipboardReader(Limits{}) {}
    ~ClipboardReader() override;

    // Opens the connection and starts watching; false without an X server or without XFixes.
    bool start();
    // Owner changes made by this window (our own clipboard writes) are reported by own_change(), not captured.
    // start() already counts every window of Qt's own X connection as ours.
    void set_own_window(quint32 window) { m_own_window = window; }
    // Where large payloads are kept (before start()); without a folder they stay in memory.
    void set_storage_folder(const QString& folder) { m_storage_folder = folder; }

Q_SIGNALS:
    void captured(const ClipboardCapture& capture);
    void own_change();

private:
    struct Worker;
    void deliver(ClipboardCapture capture);
    void deliver_own_change();

    bool is_own(quint32 owner) const;

    Limits m_limits;
    QString m_storage_folder;
    std::atomic<quint32> m_own_window{0};
    quint32 m_own_client_base = 0; // the resource ids of Qt's X connection: base, and the bits it may vary
    quint32 m_own_client_mask = 0;
    std::unique_ptr<Worker> m_worker;
    std::thread m_thread;
};
