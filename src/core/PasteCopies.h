// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

// The copies of the file snapshots that a paste hands out, kept in the folder "curr": at most one per snapshot,
// made on a thread of its own, so a paste of a hundred files costs a look at each copy and no copying. The receiving
// program may change, move or delete what it was given; a copy found so is made again, and the snapshot itself is
// never handed out. Only snapshots under the paste limit get a copy. A snapshot that goes is forgotten, and its copy
// removed on the worker.
//
// ready() is called on the main thread, prepare() and forget() on any; the copying and the removals run on the worker,
// which ends with the object.
class PasteCopies {
public:
    static constexpr qint64 k_limit_bytes = 6'000'000; // first size that is not copied

    // folder: where the copies go (it exists and is ours); an empty folder makes no copies.
    explicit PasteCopies(const QString& folder);
    ~PasteCopies();
    PasteCopies(const PasteCopies&) = delete;
    PasteCopies& operator=(const PasteCopies&) = delete;

    // Asks for a copy of the snapshot unless one is ready or on its way.
    void prepare(const QString& snapshot);
    // The path of the snapshot's copy when it is ready and as it was made; otherwise nullopt, and when the copy was
    // changed or is missing a fresh one is asked for. A snapshot that cannot be copied stays nullopt.
    std::optional<QString> ready(const QString& snapshot);
    // Forgets the snapshot and removes its copy (before the snapshot itself goes).
    void forget(const QString& snapshot);
    // Whether the snapshot gets a copy at all (regular, under the limit).
    static bool wants_copy(const QString& snapshot);
    // Waits until no copy or removal is queued or under way, at most timeout_ms; false on timeout (tests, benchmarks).
    bool wait_until_idle(int timeout_ms);

private:
    struct Entry {
        enum class State { queued, ready, failed } state = State::queued;
        QString copy; // path of the copy; kept across remakes, so one snapshot never has two
        qint64 size = -1;
        qint64 modified_ns = -1;
    };
    void run();
    // Makes the copy; its size and modification time (ns), or nullopt when it failed.
    std::optional<std::pair<qint64, qint64>> make_copy(const QString& snapshot, const QString& copy);
    // Removes a copy with the sub-folder it lies in.
    static void remove_copy(const QString& copy);

    QString m_folder;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    QHash<QString, Entry> m_entries;
    std::deque<QString> m_queue;    // the snapshots whose copy is to be made
    std::deque<QString> m_removals; // the copies of forgotten snapshots
    bool m_busy = false;
    bool m_stopping = false;
    quint64 m_last_folder = 0; // names the sub-folders: 1, 2, 3, ...
    std::thread m_thread;
};
