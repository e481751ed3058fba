// SPDX-License-Identifier: GPL-3.0-or-later
// PLACEHOLDER
#include "core/SaveManager.h"
#include <QSettings>
SaveManager::SaveManager() : SaveManager(default_path()) {}
SaveManager::SaveManager(const QString& file_path) : m_settings(std::make_unique<QSettings>(file_path, QSettings::IniFormat)) {}
SaveManager::~SaveManager() = default;
void SaveManager::load_settings(Settings&) const {}
void SaveManager::save_settings(const Settings&) {}
void SaveManager::reset_settings() {}
bool SaveManager::sync() { return true; }
QString SaveManager::file_path() const { return m_settings->fileName(); }
QString SaveManager::default_path() { return QStringLiteral("/tmp/x.ini"); }
QList<int> SaveManager::decode_ignore_monitors(const QString&) { return {}; }
QString SaveManager::encode_ignore_monitors(const QList<int>&) { return {}; }
void SaveManager::load_ignore_monitors(Settings&) const {}
void SaveManager::save_ignore_monitors(const Settings&) {}
