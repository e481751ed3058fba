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
// none) is emptied at construction. A file that cannot be read, or that is not a regular file, is never opened for
// writing: the program runs on the defaults and the file stays as it is. Failures are reported on the debug
// channel; the program carries on with its in-memory values. Main thread only.
class SaveManager : public QObject {
    Q_OBJECT
public:
    static inline const QString k_save_version = QStringLiteral("2");
    static inline const QString k_file_name = QStringLiteral("Stackpaste_settings.ini");

    // Opens the file at default_path() and applies the version rule.
    SaveManager();
    // Opens the file at file_path (tests).
    explicit SaveManager(const QString& file_path);
    ~SaveManager() override;

    void load_settings(Settings& settings) const;
    void save_settings(const Settings& settings);
    // Removes every key and writes SaveVersion.
    void reset_settings();
    // Writes pending changes to the disk now; false (and a debug line) when the file cannot be written.
    bool sync();

    QString file_path() const;

    // path_for(the executable's folder); in test mode always the user's configuration folder.
    static QString default_path();
    // Where a program whose executable lies in executable_folder keeps its settings: beside it for a portable copy
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
    QVariant value(const QString& key, const QVariant& fallback) const;
    QString text_value(const QString& key, const QString& fallback) const;
    void load_ignore_monitors(Settings& settings) const;
    void save_ignore_monitors(const Settings& settings);

    QString m_file_path;
    // Null when the file is left alone (unreadable, not a regular file): every value is its default then.
    std::unique_ptr<QSettings> m_settings;
};
