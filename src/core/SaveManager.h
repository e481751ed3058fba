// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Settings.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

// The versioned ini settings file "Stackpaste_settings.ini". It holds no values itself: load_settings() copies
// the file into a Settings, save_settings() copies a Settings into the file. A readable file of another version (or
// none) is emptied at construction. A file that cannot be read, or that is not a regular file, is never opened; a
// read-only one is read and never written. The settings are saved to a fallback file instead when one is given, and
// then read from both, the newer first; otherwise they stay in memory. The owner's permission bits count even for
// root. A boolean key holding anything but true, false, 1 or 0 is its default. Failures are reported on the debug
// channel; the program carries on with its in-memory values. Main thread only.
class SaveManager : public QObject {
    Q_OBJECT
public:
    static inline const QString k_save_version = QStringLiteral("2");
    static inline const QString k_file_name = QStringLiteral("Stackpaste_settings.ini");

    // Opens the file beside the executable of a portable copy, with the one in the user's configuration folder as
    // its fallback; that one alone for an installed program.
    SaveManager();
    // Opens the file at file_path and applies the version rule; fallback_path: where the settings are saved when
    // file_path cannot take them.
    explicit SaveManager(const QString& file_path, const QString& fallback_path = QString());
    ~SaveManager() override;

    void load_settings(Settings& settings) const;
    void save_settings(const Settings& settings);
    // Removes every key and writes SaveVersion.
    void reset_settings();
    // Writes pending changes to the disk now; false (and a debug line) when the file cannot be written.
    bool sync();

    // Where the settings are saved.
    QString file_path() const;

    // path_for(the executable's folder); in test mode always the user's configuration folder.
    static QString default_path();
    // Where a program whose executable lies in executable_folder saves its settings: beside it for a portable copy
    // (a writable folder outside the system prefixes, holding a writable regular settings file or none), otherwise
    // the same file name in the user's configuration folder.
    static QString path_for(const QString& executable_folder);
    // Whether the folder lies in a system prefix (/usr and everything below it, /bin, /sbin, /lib*, /opt), where a
    // program is installed, never portable, whoever can write there.
    static bool is_system_folder(const QString& folder);
    // Whether executable_folder is the bin/ folder of an installation (whatever its prefix).
    static bool is_installed_layout(const QString& executable_folder);
    // The menu entry an installation puts into <prefix>/share/applications.
    static inline const QString k_menu_entry_name = QStringLiteral("org.stackpaste.Stackpaste.desktop");

    // "1:3:" <-> {1, 3}; pieces that are not integers are skipped.
    static QList<int> decode_ignore_monitors(const QString& text);
    static QString encode_ignore_monitors(const QList<int>& monitors);

private:
    // The file that holds key, the first of those read; null when none does.
    const QSettings* source_of(const QString& key) const;
    QVariant value(const QString& key, const QVariant& fallback) const;
    QString text_value(const QString& key, const QString& fallback) const;
    // Reads the value of a key of the settings table: fallback when the file holds none, or none it can read.
    void read(const QString& key, bool fallback, bool& flag) const;
    void read(const QString& key, int fallback, int& number) const;
    void read(const QString& key, const QList<int>& fallback, QList<int>& monitors) const;
    // The paste order and, for a text that names none, the text.
    void read(const QString& key, const HistoryOptions& fallback, HistoryOptions& options) const;

    QString m_file_path;
    // The file saved to; null when there is none: the settings stay in memory.
    std::unique_ptr<QSettings> m_settings;
    // A read-only file whose saving goes to m_settings; read before it while it is the newer of the two.
    std::unique_ptr<QSettings> m_read_only;
    bool m_read_only_first = false;
};
