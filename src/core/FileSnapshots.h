// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>
#include <thread>

class PasteCopies;

// The snapshots of one copied file list. They are made on the maker's thread after the item is recorded, so that
// recording a list of large files costs the main thread nothing: each local regular file under the limit is copied
// into a sub-folder of its own in "temp" (keeping its name), and its paste copy is asked for right after (see
// PasteCopies); any other URL, and any file whose copy fails, keeps its location.
//
// Every item that lists the snapshots holds this handle: the history item, a reordered copy of it and the paste on
// the clipboard, which a program may still be reading. When the last of them lets go, the snapshots and their paste
// copies are removed, on the maker's thread. A handle that outlives its maker removes nothing: the temporary
// directory went with everything in it.
//
// A handle is made, read and let go on the main thread; nothing of it waits.
class FileSnapshots {
public:
    class Maker;

    ~FileSnapshots();
    FileSnapshots(const FileSnapshots&) = delete;
    FileSnapshots& operator=(const FileSnapshots&) = delete;

    // The list with each snapshot in its file's place, once every file has been copied or passed over; nullopt until
    // then.
    std::optional<QList<QUrl>> urls() const;

private:
    struct Job;
    struct Queue;
    FileSnapshots(std::shared_ptr<Job> job, std::weak_ptr<Queue> queue);

    std::shared_ptr<Job> m_job;
    std::weak_ptr<Queue> m_queue;
};

// The thread that makes and removes the snapshots, one list after another. take() and wait_until_idle() are called on
// the main thread; the thread ends with the object, after the file it is copying.
class FileSnapshots::Maker {
public:
    // folder: where the snapshots go (it exists and is ours); limit: the first size that is not snapshotted.
    // paste_copies, which must outlive the maker, is asked for the copy of each snapshot and told to forget it.
    Maker(const QString& folder, qint64 limit, PasteCopies& paste_copies);
    ~Maker();
    Maker(const Maker&) = delete;
    Maker& operator=(const Maker&) = delete;

    // The handle of the list's snapshots, which are made from now on.
    std::shared_ptr<const FileSnapshots> take(const QList<QUrl>& urls);
    // Waits until every list asked for is snapshotted and every one let go is removed, at most timeout_ms; false on
    // timeout (tests, benchmarks).
    bool wait_until_idle(int timeout_ms);

private:
    void run();
    void make(Job& job);
    void remove(const Job& job);
    // Copies one file into a fresh sub-folder; the snapshot's path, or empty when it is not snapshotted.
    QString snapshot_file(const QUrl& url);

    QString m_folder;
    qint64 m_limit;
    PasteCopies& m_paste_copies;
    std::shared_ptr<Queue> m_queue;
    quint64 m_last_folder = 0; // names the sub-folders: 1, 2, 3, ... (the thread's own)
    std::thread m_thread;
};
