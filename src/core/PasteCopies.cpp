// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PasteCopies.h"

#include "core/FileCopy.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <sys/stat.h>

namespace {

// Size and modification time of a regular file, or nullopt.
std::optional<std::pair<qint64, qint64>> stamp_of(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return std::make_pair(static_cast<qint64>(status.st_size),
                          static_cast<qint64>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec);
}

} // namespace

PasteCopies::PasteCopies(const QString& folder) : m_folder(folder)
{
    if (!m_folder.isEmpty())
        m_thread = std::thread([this] { run(); });
}

PasteCopies::~PasteCopies()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool PasteCopies::wants_copy(const QString& snapshot)
{
    const auto stamp = stamp_of(snapshot);
    return stamp && stamp->first < k_limit_bytes;
}

void PasteCopies::prepare(const QString& snapshot)
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_entries.contains(snapshot))
            return;
        m_entries.insert(snapshot, Entry());
        m_queue.push_back(snapshot);
    }
    m_wake.notify_one();
}

std::optional<QString> PasteCopies::ready(const QString& snapshot)
{
    if (!m_thread.joinable())
        return std::nullopt;
    Entry entry;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_entries.constFind(snapshot);
        known = found != m_entries.constEnd();
        if (known)
            entry = *found;
    }
    if (!known) {
        prepare(snapshot); // a snapshot not asked for before: on its way from now on
        return std::nullopt;
    }
    if (entry.state == Entry::State::queued)
        return std::nullopt;
    if (entry.state == Entry::State::ready) {
        // One stat per file: the paste road can afford it, a copy of the file it cannot.
        const auto stamp = stamp_of(entry.copy);
        if (stamp && stamp->first == entry.size && stamp->second == entry.modified_ns)
            return entry.copy;
        qDebug() << "A paste copy was changed or removed by the program it went to; a fresh one is being made";
    }
    // Changed, removed, or failed before (a full disk may have room now): made again.
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_entries.find(snapshot);
        if (found != m_entries.end() && found->state != Entry::State::queued) {
            found->state = Entry::State::queued;
            m_queue.push_back(snapshot);
        }
    }
    m_wake.notify_one();
    return std::nullopt;
}

void PasteCopies::forget(const QString& snapshot)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_entries.find(snapshot);
        if (found == m_entries.end())
            return;
        // A copy under way when the snapshot is forgotten is removed by the worker once it is made.
        if (!found->copy.isEmpty())
            m_removals.push_back(found->copy);
        m_entries.erase(found);
        m_queue.erase(std::remove(m_queue.begin(), m_queue.end(), snapshot), m_queue.end());
    }
    m_wake.notify_one();
}

bool PasteCopies::wait_until_idle(int timeout_ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [this] { return m_queue.empty() && m_removals.empty() && !m_busy; });
}

void PasteCopies::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty() || !m_removals.empty(); });
        if (m_stopping)
            return;
        m_busy = true;
        if (!m_removals.empty()) {
            const QString copy = m_removals.front();
            m_removals.pop_front();
            lock.unlock();
            remove_copy(copy);
            lock.lock();
        } else {
            const QString snapshot = m_queue.front();
            m_queue.pop_front();
            QString copy = m_entries.value(snapshot).copy;
            if (copy.isEmpty())
                copy = m_folder + QLatin1Char('/') + QString::number(++m_last_folder) + QLatin1Char('/') +
                       QFileInfo(snapshot).fileName();
            lock.unlock();

            const std::optional<std::pair<qint64, qint64>> stamp = make_copy(snapshot, copy);

            lock.lock();
            auto found = m_entries.find(snapshot);
            if (found != m_entries.end()) {
                found->copy = copy;
                found->state = stamp ? Entry::State::ready : Entry::State::failed;
                found->size = stamp ? stamp->first : -1;
                found->modified_ns = stamp ? stamp->second : -1;
            } else {
                m_removals.push_back(copy); // forgotten while it was being made
            }
        }
        m_busy = false;
        if (m_queue.empty() && m_removals.empty())
            m_idle.notify_all();
    }
}

void PasteCopies::remove_copy(const QString& copy)
{
    file_copy::remove_own_folder(QFileInfo(copy).path());
}

std::optional<std::pair<qint64, qint64>> PasteCopies::make_copy(const QString& snapshot, const QString& copy)
{
    // The one copy of this snapshot: whatever the receiving program left of the last one goes first.
    const QFileInfo target(copy);
    QFile::remove(copy);
    if (!QDir().mkpath(target.path())) {
        qDebug() << "Cannot make a folder for a paste copy in" << m_folder;
        return std::nullopt;
    }
    const file_copy::Result result = file_copy::copy_regular_file(snapshot, copy, k_limit_bytes);
    if (result != file_copy::Result::copied) {
        if (result != file_copy::Result::too_big)
            qDebug() << "A paste copy could not be made (the snapshot is gone or the disk is full)";
        return std::nullopt;
    }
    return stamp_of(copy);
}
