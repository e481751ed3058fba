// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Payload.h"

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<quint64> g_last_file{0};

bool write_all(int fd, const char* data, qint64 size)
{
    // In pieces of 1 MiB: one write of 20 MB took ten times as long on ext4 as the same bytes in pieces.
    constexpr qint64 k_piece = 1024 * 1024;
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(std::min(size, k_piece)));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

std::shared_ptr<const Payload> Payload::keep(QByteArray bytes, const QString& folder)
{
    std::shared_ptr<Payload> payload = hold(std::move(bytes));
    if (!folder.isEmpty() && payload->belongs_in_file())
        payload->move_to_file(folder);
    return payload;
}

std::shared_ptr<Payload> Payload::hold(QByteArray bytes)
{
    std::shared_ptr<Payload> payload(new Payload);
    payload->m_size = bytes.size();
    payload->m_bytes = std::move(bytes);
    return payload;
}

bool Payload::move_to_file(const QString& folder)
{
    QByteArray bytes;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_path.isEmpty())
            return true;
        bytes = m_bytes; // shared, not copied: the bytes never change
    }
    const QString path = folder + QStringLiteral("/data-") + QString::number(++g_last_file);
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool written = fd >= 0 && write_all(fd, bytes.constData(), bytes.size());
    if (fd >= 0 && ::close(fd) == 0 && written) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_path = path;
        m_bytes = QByteArray(); // the file holds them now
        return true;
    }
    if (fd >= 0)
        ::unlink(name.constData());
    qDebug() << "Copied data could not be written to the temporary folder (is the disk full?): it is kept in memory";
    return false;
}

Payload::~Payload()
{
    if (!m_path.isEmpty())
        ::unlink(QFile::encodeName(m_path).constData());
}

bool Payload::is_in_file() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return !m_path.isEmpty();
}

QString Payload::path() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_path;
}

QByteArray Payload::bytes() const
{
    return head(m_size);
}

QByteArray Payload::head(qint64 count) const
{
    QString path;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_path.isEmpty())
            return count >= m_size ? m_bytes : m_bytes.left(static_cast<int>(count));
        path = m_path;
    }
    return read(path, std::min(count, m_size));
}

QByteArray Payload::read(const QString& path, qint64 count)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        qDebug() << "The data of a history item has vanished from the temporary folder: nothing to hand out";
        return QByteArray();
    }
    QByteArray bytes(static_cast<int>(count), Qt::Uninitialized);
    qint64 done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, bytes.data() + done, static_cast<size_t>(count - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    ::close(fd);
    if (done != count) {
        qDebug() << "The data of a history item could not be read back from the temporary folder";
        return QByteArray();
    }
    return bytes;
}
