// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <mutex>

// The bytes of one format of a history item. Small ones stay in memory; from k_file_threshold on they live in a
// file of the private snapshot folder (mode 0600 in a 0700 folder), written once and read back whenever a program
// asks for them, so a day of screenshots costs disk rather than memory. A file that cannot be written (a full disk)
// leaves the bytes in memory: nothing copied is lost. The bytes never change once made: an item and its paste copies
// share one payload, any thread may read it, and move_to_file() may run on another thread while it is read. The
// file goes with the last owner.
class Payload {
public:
    static constexpr qint64 k_file_threshold = 256 * 1024;

    // Keeps bytes; in a file of folder when they are large and a folder is given.
    static std::shared_ptr<const Payload> keep(QByteArray bytes, const QString& folder = QString());
    // Keeps bytes in memory for now; move_to_file() may take them to a file later.
    static std::shared_ptr<Payload> hold(QByteArray bytes);
    // Whether the bytes are large enough for a file of their own.
    bool belongs_in_file() const { return m_size >= k_file_threshold; }
    // Writes the bytes into a file of folder and lets go of them in memory; false (bytes kept) when that fails.
    bool move_to_file(const QString& folder);

    ~Payload();
    Payload(const Payload&) = delete;
    Payload& operator=(const Payload&) = delete;

    qint64 size() const { return m_size; }
    bool is_in_file() const;
    // The file's path; empty for bytes kept in memory.
    QString path() const;
    // All the bytes; empty, with a debug line, when the file has vanished or cannot be read.
    QByteArray bytes() const;
    // At most the first count bytes, read without the rest.
    QByteArray head(qint64 count) const;

private:
    Payload() = default;
    static QByteArray read(const QString& path, qint64 count);

    mutable std::mutex m_mutex; // guards the bytes and the path
    QByteArray m_bytes;         // the bytes kept in memory
    QString m_path;             // or the file holding them
    qint64 m_size = 0;
};
