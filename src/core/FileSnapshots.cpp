// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/FileSnapshots.h"

#include "core/FileCopy.h"
#include "core/PasteCopies.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

// One list: made by the main thread, filled in by the maker's thread.
struct FileSnapshots::Job {
    explicit Job(QList<QUrl> list) : urls(std::move(list)) {}

    QList<QUrl> urls; // the maker's until done is set, then the main thread's to read
    QStringList made; // the snapshot files made so far (the maker's thread only)
    std::atomic<bool> done{false};
    std::atomic<bool> let_go{false}; // no item holds the handle any more: copying more is wasted
};

// The maker's work, shared with the handles so that a handle can ask for its removal while the maker lives.
struct FileSnapshots::Queue {
    void push(std::shared_ptr<Job> job, bool removal)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            jobs.emplace_back(std::move(job), removal);
        }
        wake.notify_one();
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::pair<std::shared_ptr<Job>, bool>> jobs; // a list to snapshot, or (true) to remove
    bool busy = false;
    std::atomic<bool> stopping{false};
};

FileSnapshots::FileSnapshots(std::shared_ptr<Job> job, std::weak_ptr<Queue> queue)
    : m_job(std::move(job)), m_queue(std::move(queue))
{
}

FileSnapshots::~FileSnapshots()
{
    m_job->let_go = true;
    // Queued after the list's own job, so the files are removed once nothing more is made of them.
    if (const std::shared_ptr<Queue> queue = m_queue.lock())
        queue->push(m_job, true);
}

std::optional<QList<QUrl>> FileSnapshots::urls() const
{
    if (!m_job->done)
        return std::nullopt;
    return m_job->urls;
}

FileSnapshots::Maker::Maker(const QString& folder, qint64 limit, PasteCopies& paste_copies)
    : m_folder(folder), m_limit(limit), m_paste_copies(paste_copies), m_queue(std::make_shared<Queue>())
{
    m_thread = std::thread([this] { run(); });
}

FileSnapshots::Maker::~Maker()
{
    {
        const std::lock_guard<std::mutex> lock(m_queue->mutex);
        m_queue->stopping = true;
    }
    m_queue->wake.notify_all();
    m_thread.join();
}

std::shared_ptr<const FileSnapshots> FileSnapshots::Maker::take(const QList<QUrl>& urls)
{
    auto job = std::make_shared<Job>(urls);
    m_queue->push(job, false);
    return std::shared_ptr<const FileSnapshots>(new FileSnapshots(std::move(job), m_queue));
}

bool FileSnapshots::Maker::wait_until_idle(int timeout_ms)
{
    std::unique_lock<std::mutex> lock(m_queue->mutex);
    return m_queue->idle.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                  [this] { return m_queue->jobs.empty() && !m_queue->busy; });
}

void FileSnapshots::Maker::run()
{
    Queue& queue = *m_queue;
    std::unique_lock<std::mutex> lock(queue.mutex);
    for (;;) {
        queue.wake.wait(lock, [&queue] { return queue.stopping || !queue.jobs.empty(); });
        if (queue.stopping)
            return;
        std::pair<std::shared_ptr<Job>, bool> job = std::move(queue.jobs.front());
        queue.jobs.pop_front();
        queue.busy = true;
        lock.unlock();

        if (job.second)
            remove(*job.first);
        else
            make(*job.first);
        job.first.reset();

        lock.lock();
        queue.busy = false;
        if (queue.jobs.empty())
            queue.idle.notify_all();
    }
}

void FileSnapshots::Maker::make(Job& job)
{
    QList<QUrl> urls = job.urls;
    for (QUrl& url : urls) {
        // A list let go is removed next; at the end of the run the whole folder goes.
        if (job.let_go || m_queue->stopping)
            return;
        const QString snapshot = snapshot_file(url);
        if (snapshot.isEmpty())
            continue;
        job.made.append(snapshot);
        url = QUrl::fromLocalFile(snapshot);
        // The paste copy is made now, on the copier's thread, so that a paste only has to hand it out.
        if (PasteCopies::wants_copy(snapshot))
            m_paste_copies.prepare(snapshot);
    }
    job.urls = urls;
    job.done = true;
}

void FileSnapshots::Maker::remove(const Job& job)
{
    for (const QString& snapshot : job.made) {
        m_paste_copies.forget(snapshot);
        file_copy::remove_own_folder(QFileInfo(snapshot).path());
    }
}

QString FileSnapshots::Maker::snapshot_file(const QUrl& url)
{
    // Each file is judged on its own: one that is not snapshotted (http:, a folder, too big, unreadable) keeps its
    // place in the list and its location.
    if (!url.isLocalFile())
        return {};
    const QString path = url.toLocalFile();
    // The URL's bytes are no UTF-8 name: the decoded path names another file, or none.
    if (path.contains(QChar::ReplacementCharacter)) {
        qDebug() << "A copied file is not snapshotted: its name is not valid UTF-8";
        return {};
    }
    const QFileInfo file(path);
    // A FIFO, device or socket reports size 0 and its reader may wait forever; a folder is not copied either.
    if (!file.isFile())
        return {};
    const qint64 limit_mb = m_limit / 1000 / 1000 - 1; // 10
    const qint64 mb = file.size() / 1000 / 1000;
    if (mb > limit_mb) {
        qDebug().nospace() << "Forget it, im not copying that (over " << mb << " MB)";
        return {};
    }
    qDebug().nospace() << "File size is: " << mb;

    // A sub-folder per snapshot: two files of the same name each keep their own content, and the receiving program
    // still sees the file's own name.
    const QDir folder(m_folder);
    const QString sub_folder = QString::number(++m_last_folder);
    if (!folder.mkdir(sub_folder)) {
        qDebug() << "A copied file is not snapshotted: the temporary folder cannot be written";
        return {};
    }
    const QString target = folder.filePath(sub_folder + QLatin1Char('/') + file.fileName());
    const file_copy::Result result = file_copy::copy_regular_file(path, target, m_limit);
    if (result != file_copy::Result::copied) {
        if (result == file_copy::Result::unreadable)
            qDebug() << "A copied file is not snapshotted: it cannot be read";
        else if (result == file_copy::Result::write_failed)
            qDebug() << "A copied file is not snapshotted: writing the snapshot failed (is the disk full?)";
        folder.rmdir(sub_folder);
        return {};
    }
    return target;
}
