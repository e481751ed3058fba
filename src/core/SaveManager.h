// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Settings.h"

#include <QObject>
#include <QString>

#include <memory>

class QSettings;

// The versioned ini settings file "Stackpaste_settings.ini". It holds no values itself: load_settings() copies
// the file into a Settings, save_settings() copies a Settings into the file. A file of another version (or none)
// is emptied at construction. Failures of the file are reported on the debug channel; the program carries on with
// its in-memory values. Main thread only.
class SaveManager : public QObject {
    Q_OBJECT
public:
    static inline const QString k_save_version = QStringLiteral("2");

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

    // Beside the executable when that folder is writable (a portable copy); otherwise, for an installed program,
    // the same file name in the user's configuration folder.
    static QString default_path();

    // "1:3:" <-> {1, 3}; pieces that are not integers are skipped.
    static QList<int> decode_ignore_monitors(const QString& text);
    static QString encode_ignore_monitors(const QList<int>& monitors);

private:
    void load_ignore_monitors(Settings& settings) const;
    void save_ignore_monitors(const Settings& settings);

    std::unique_ptr<QSettings> m_settings;
};
