// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

// The remembered texts behind the autocomplete window: an SQLite file with one table `stuff (thing TEXT)`, each text
// stored once, in the order it was first copied. Every statement binds its texts as values, so a quote, a backslash
// or a "%" is stored and compared unchanged.
//
// The file holds what the user copied: it is created by the store itself, readable by its owner only, and nothing
// else is ever opened in its place. A symbolic link, a folder, a FIFO or a file with several names at the path is left
// untouched and the store stays closed for the run. A file that is not a database is moved aside under a dated name
// (never deleted) and a fresh one is made; a read-only file is read without a lock or a file beside it, and never
// written.
//
// Threads: the object lives on the main thread, which reads (with a short wait for a file another program holds
// locked). Changes are queued to a writer thread of the store with a connection of its own, so that neither a copy nor
// a deletion ever waits for the disk or for a lock; signal_written() tells the main thread when they are done. No
// failure stops the program: each is a line on the debug channel.
class AutocompleteDatabase : public QObject {
    Q_OBJECT
public:
    static inline const QString k_file_name = QStringLiteral("autocomplete.spaste");
    // How many rows a listing returns at most: the window shows the first ones at once however many are stored.
    static constexpr int k_list_limit = 500;
    // The longest text remembered, in UTF-16 units. The store is for typing back phrases, snippets and short
    // documents; a whole copied log or dump would multiply the file and slow every filter keystroke.
    static constexpr int k_max_text_length = 100000;

    // Opens (or creates) the database at path and starts its writer.
    explicit AutocompleteDatabase(const QString& path);
    // Writes what is queued first; a file locked by another program delays this by a fraction of a second at most.
    ~AutocompleteDatabase() override;
    AutocompleteDatabase(const AutocompleteDatabase&) = delete;
    AutocompleteDatabase& operator=(const AutocompleteDatabase&) = delete;

    // Where the program keeps it: beside the settings file of a portable copy, in the user's data folder for an
    // installed program, whatever the working directory.
    static QString default_path();
    // The same rule for a settings file at settings_path and an executable in executable_folder.
    static QString path_for(const QString& settings_path, const QString& executable_folder);

    bool is_open() const { return m_is_open; }
    bool is_read_only() const { return m_is_read_only; }
    QString path() const { return m_path; }
    // Where a file that was not a database was moved, or empty.
    QString moved_aside_to() const { return m_moved_aside_to; }

    // Queue a change for the writer; false (and a debug line) when it will not be made: the store is closed or
    // read-only, the text too long, or too many changes wait for a locked file. insert() stores a text unless it is
    // stored already.
    bool insert(const QString& text);
    bool remove(const QString& text);
    bool remove_all();
    // Waits until every queued change is written or given up, at most timeout_ms; false on timeout (tests,
    // benchmarks).
    bool wait_until_written(int timeout_ms = 30000);

    bool contains(const QString& text) const;
    std::optional<int> count() const;
    // The stored texts that contain filter (SQLite LIKE: ASCII letters in either case; "%" and "_" keep their
    // pattern meaning), oldest first, at most limit of them.
    QStringList matching(const QString& filter, int limit = k_list_limit) const;

Q_SIGNALS:
    // Queued changes were written or given up; the count may have changed. Emitted on the main thread.
    void signal_written();

private:
    struct Change {
        enum class Kind { Insert, Remove, RemoveAll } kind;
        QString text;
    };

    bool open();
    bool is_database() const;
    // Whether the path still names the regular file that open() checked (no link, folder or other file since).
    bool is_still_the_file() const;
    void move_aside();
    // The table, the index, the kept count and the write-ahead log of a writable file; false when a step failed.
    bool prepare(const QString& connection_name);
    bool enqueue(Change change);
    void run_writer(bool prepared);
    // One transaction for every change waiting, retried while another program holds the file locked.
    void write(std::deque<Change> changes, const QString& connection_name);

    QString m_path;
    QString m_connection;
    QString m_moved_aside_to;
    bool m_is_open = false;
    bool m_is_read_only = false;
    quint64 m_device = 0; // the checked file's device and inode
    quint64 m_inode = 0;
    bool m_has_kept_count = false;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Change> m_queue;
    bool m_writing = false;
    bool m_stopping = false;
    std::thread m_writer;
};
