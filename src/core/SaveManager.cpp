// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SaveManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>

namespace {

const QString k_file_name = QStringLiteral("Stackpaste_settings.ini");
const QString k_version_key = QStringLiteral("SaveVersion");

template <bool Settings::*Member> bool& app_flag(Settings& settings)
{
    return settings.*Member;
}

template <bool HistoryOptions::*Member> bool& history_flag(Settings& settings)
{
    return settings.history.*Member;
}

// The boolean keys, in the order in which they are loaded and saved.
struct BoolKey {
    const char* name;
    bool fallback;
    bool& (*value)(Settings&);
};

// clang-format off
const BoolKey k_bool_keys[] = {
    {"IsFirstStart",                   true,  &app_flag<&Settings::is_first_start>},
    {"UseHiddenFeatures",              true,  &app_flag<&Settings::use_hidden_features>},
    {"StartAtStartup",                 true,  &app_flag<&Settings::start_at_startup>},
    {"CreateShortcutsAutomatically",   true,  &app_flag<&Settings::create_shortcuts_automatically>},
    {"UseSpinningTrayIcon",            true,  &app_flag<&Settings::use_spinning_tray_icon>},
    {"UseHiddenFeaturesNotifications", true,  &app_flag<&Settings::use_hidden_features_notifications>},
    {"HiddenFeaturesHelpAlreadyShown", false, &app_flag<&Settings::hidden_features_help_already_shown>},
    {"UseInvertedIcons",               true,  &app_flag<&Settings::use_inverted_icons>},
    {"UseKeyboardShortcuts",           true,  &app_flag<&Settings::use_keyboard_shortcuts>},
    {"IsStackpastePaused",             false, &history_flag<&HistoryOptions::is_stackpaste_paused>},
    {"IsRichTextCopyEnabled",          true,  &history_flag<&HistoryOptions::is_rich_text_copy_enabled>},
    {"UseAutomaticPositionMovement",   true,  &history_flag<&HistoryOptions::use_automatic_position_movement>},
};
// clang-format on

const QString k_paste_order_key = QStringLiteral("PasteOrder");
const QString k_indicator_x_key = QStringLiteral("IndicatorX");
const QString k_indicator_y_key = QStringLiteral("IndicatorY");
const QString k_ignore_monitors_key = QStringLiteral("IgnoreMonitors");

// A text value as the user wrote it: the ini format reads an unquoted comma as a list separator.
QString text_value(const QSettings& settings, const QString& key, const QString& fallback)
{
    const QVariant value = settings.value(key, fallback);
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool is_writable_folder(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

} // namespace

SaveManager::SaveManager() : SaveManager(default_path()) {}

SaveManager::SaveManager(const QString& file_path)
    : m_settings(std::make_unique<QSettings>(file_path, QSettings::IniFormat))
{
    std::fprintf(stdout, "%s\n", QCoreApplication::applicationDirPath().toLocal8Bit().constData());
    std::fflush(stdout);
    if (m_settings->status() != QSettings::NoError)
        qDebug() << "Settings file" << file_path << "cannot be read; starting from the defaults";
    if (m_settings->value(k_version_key, QStringLiteral("0")).toString() != k_save_version)
        reset_settings();
}

SaveManager::~SaveManager()
{
    sync();
}

QString SaveManager::default_path()
{
    // A portable copy keeps its settings beside the executable. An installed program cannot write there, and
    // every setting would be lost at each restart, so it uses the user's configuration folder instead.
    const QString beside = QCoreApplication::applicationDirPath();
    if (!QStandardPaths::isTestModeEnabled() && is_writable_folder(beside))
        return beside + QLatin1Char('/') + k_file_name;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return config + QLatin1Char('/') + k_file_name;
}

QString SaveManager::file_path() const
{
    return m_settings->fileName();
}

void SaveManager::reset_settings()
{
    m_settings->clear();
    m_settings->setValue(k_version_key, k_save_version);
}

bool SaveManager::sync()
{
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError)
        return true;
    qDebug() << "Settings file" << m_settings->fileName() << "cannot be written; the settings stay in memory";
    return false;
}

void SaveManager::load_settings(Settings& settings) const
{
    for (const BoolKey& key : k_bool_keys)
        key.value(settings) = m_settings->value(QLatin1String(key.name), key.fallback).toBool();
    settings.history.paste_order = text_value(*m_settings, k_paste_order_key, ClipboardHistory::k_backward);
    const int y = m_settings->value(k_indicator_y_key).toInt();
    const int x = m_settings->value(k_indicator_x_key).toInt();
    settings.indicator_position = QPoint(x, y);
    load_ignore_monitors(settings);
}

void SaveManager::save_settings(const Settings& settings)
{
    Settings values = settings;
    for (const BoolKey& key : k_bool_keys)
        m_settings->setValue(QLatin1String(key.name), key.value(values));
    m_settings->setValue(k_paste_order_key, settings.history.paste_order);
    m_settings->setValue(k_indicator_x_key, settings.indicator_position.x());
    m_settings->setValue(k_indicator_y_key, settings.indicator_position.y());
    save_ignore_monitors(settings);
}

void SaveManager::load_ignore_monitors(Settings& settings) const
{
    settings.ignore_monitors = decode_ignore_monitors(text_value(*m_settings, k_ignore_monitors_key, QString()));
}

void SaveManager::save_ignore_monitors(const Settings& settings)
{
    m_settings->setValue(k_ignore_monitors_key, encode_ignore_monitors(settings.ignore_monitors));
}

QList<int> SaveManager::decode_ignore_monitors(const QString& text)
{
    QList<int> monitors;
    for (const QString& piece : text.split(QLatin1Char(':'))) {
        bool ok = false;
        const int number = piece.toInt(&ok, 10);
        if (ok)
            monitors << number;
    }
    return monitors;
}

QString SaveManager::encode_ignore_monitors(const QList<int>& monitors)
{
    QString text;
    for (int number : monitors)
        text += QString::number(number) + QLatin1Char(':');
    return text;
}
