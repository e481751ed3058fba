// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardSource.h"

#include <QString>

#include <memory>
#include <thread>

class FileSnapshots;

// The clipboard of a Wayland session, through the compositor's data-control protocol (ext_data_control_manager_v1,
// else zwlr_data_control_manager_v1 version 2), on a connection and a thread of its own, so that no program can keep
// the main thread waiting. Every change of the seat's selection is read as the X11 reader reads one: the wanted
// types (the capture rules), each through a pipe, with the same deadlines and size limit; large payloads go to files
// of the storage folder. own() offers content through a new source each time and serves every program that asks,
// on the worker; served() tells of the requests that are pastes (ServedRequests). Our own offers carry a private
// type of ours and are never captured. A clipboard manager that takes the selection back with our own bytes after
// each offer is left alone and reported once (rival_noticed()). Signals arrive on the main thread; main thread only.
class WaylandClipboard : public ClipboardSource {
    Q_OBJECT
public:
    struct Limits {
        int quiet_ms = 1000;                     // no progress for this long ends a capture or a send
        int total_ms = 5000;                     // nor does any capture take longer
        qint64 max_bytes = 1024LL * 1024 * 1024; // a larger format is left out
    };
    // The type every one of our sources offers besides the content: an offer that lists it is ours.
    static constexpr const char* k_own_marker = "application/x-stackpaste-own-offer";

    WaylandClipboard(const QString& storage_folder, Limits limits);
    explicit WaylandClipboard(const QString& storage_folder);
    ~WaylandClipboard() override;

    // Connects to the compositor (WAYLAND_DISPLAY) and starts watching; false, with a debug line saying why, without
    // a Wayland display, a seat or a data-control protocol.
    bool start();

    void own(std::unique_ptr<QMimeData> content) override;
    bool reads_off_the_main_thread() const override { return true; }
    bool tells_served_pastes() const override { return true; }
    QString paste_road() const override { return m_road; }

private:
    struct Worker;

    QString m_storage_folder;
    Limits m_limits;
    QString m_road;
    // The file snapshots of the content offered last, kept while it may be read (released on this thread only).
    std::shared_ptr<const FileSnapshots> m_offered_snapshots;
    std::unique_ptr<Worker> m_worker;
    std::thread m_thread;
};
