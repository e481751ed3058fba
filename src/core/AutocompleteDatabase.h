// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The remembered texts behind the autocomplete window: an SQLite file with one table `stuff (thing TEXT)`, each text
// stored once, in the order it was first copied. Every statement binds its texts as values, so a quote, a backslash
// or a "%" is stored and compared unchanged.
//
// The file holds what the user copied: it is created readable by its owner only. A file that is not a database is
// moved aside under a dated name (never deleted) and a fresh one is made; a read-only file is read but never written.
// No failure stops the program: each is a warning on the debug channel and the call reports it. Main thread only.
class AutocompleteDatabase {
public:
    static inline const QString k_file_name = QStringLiteral("autocomplete.spaste");
    // How many rows a listing returns at most: the window shows the first ones at once however many are stored.
    static constexpr int k_list_limit = 500;

    // Opens (or creates) the database at path.
    explicit AutocompleteDatabase(const QString& path);
    ~AutocompleteDatabase();
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

    // Stores text unless it is stored already; false when it could not be stored.
    bool insert(const QString& text);
    bool contains(const QString& text) const;
    bool remove(const QString& text);
    bool remove_all();
    std::optional<int> count() const;
    // The stored texts that contain filter (SQLite LIKE: ASCII letters in either case; "%" and "_" keep their
    // pattern meaning), oldest first, at most limit of them.
    QStringList matching(const QString& filter, int limit = k_list_limit) const;

private:
    bool open();
    bool is_database() const;
    void move_aside();
    // The index, the kept count and the write-ahead log of a writable file.
    void prepare_for_speed();

    QString m_path;
    QString m_connection;
    QString m_moved_aside_to;
    bool m_is_open = false;
    bool m_is_read_only = false;
    bool m_has_kept_count = false;
};
