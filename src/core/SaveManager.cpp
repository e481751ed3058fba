// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SaveManager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <optional>
#include <variant>

namespace {

const QString k_version_key = QStringLiteral("SaveVersion");

// A value of Settings, reached from the whole; its type says how its key is read and written.
template <typename T> using Field = T& (*)(Settings&);

template <auto Member> auto& app_value(Settings& settings)
{
    return settings.*Member;
}

template <auto Member> auto& history_value(Settings& settings)
{
    return settings.history.*Member;
}

int& indicator_x(Settings& settings)
{
    return settings.indicator_position.rx();
}

int& indicator_y(Settings& settings)
{
    return settings.indicator_position.ry();
}

// The paste order, with the text of an order the file holds but the program does not know.
HistoryOptions& paste_order(Settings& settings)
{
    return settings.history;
}

// A key of the settings file and the value it holds: a boolean as true or false, a number, the ignored monitors
// as "1:3:", the paste order as its text. A default-constructed Settings holds each key's default. The shortcuts'
// keys are those of k_shortcut_commands.
struct Key {
    const char* name;
    std::variant<Field<bool>, Field<int>, Field<QList<int>>, Field<HistoryOptions>> field;
};

// clang-format off
const Key k_keys[] = {
    {"IsFirstStart",                   &app_value<&Settings::is_first_start>},
    {"UseHiddenFeatures",              &app_value<&Settings::use_hidden_features>},
    {"StartAtStartup",                 &app_value<&Settings::start_at_startup>},
    {"CreateShortcutsAutomatically",   &app_value<&Settings::create_shortcuts_automatically>},
    {"UseSpinningTrayIcon",            &app_value<&Settings::use_spinning_tray_icon>},
    {"UseHiddenFeaturesNotifications", &app_value<&Settings::use_hidden_features_notifications>},
    {"HiddenFeaturesHelpAlreadyShown", &app_value<&Settings::hidden_features_help_already_shown>},
    {"UseInvertedIcons",               &app_value<&Settings::use_inverted_icons>},
    {"UseKeyboardShortcuts",           &app_value<&Settings::use_keyboard_shortcuts>},
    {"IsStackpastePaused",             &history_value<&HistoryOptions::is_stackpaste_paused>},
    {"IsRichTextCopyEnabled",          &history_value<&HistoryOptions::is_rich_text_copy_enabled>},
    {"UseAutomaticPositionMovement",   &history_value<&HistoryOptions::use_automatic_position_movement>},
    {"PasteOrder",                     &paste_order},
    {"IndicatorX",                     &indicator_x},
    {"IndicatorY",                     &indicator_y},
    {"IgnoreMonitors",                 &app_value<&Settings::ignore_monitors>},
};
// clang-format on

const QString k_forward = QStringLiteral("forward");
const QString k_backward = QStringLiteral("backward");

// What the file holds for each type of value.
QVariant stored(bool flag)
{
    return flag;
}

QVariant stored(int number)
{
    return number;
}

QVariant stored(const QList<int>& monitors)
{
    return SaveManager::encode_ignore_monitors(monitors);
}

QVariant stored(const HistoryOptions& options)
{
    if (options.unknown_order_text)
        return *options.unknown_order_text;
    return options.paste_order == PasteOrder::forward ? k_forward : k_backward;
}

// Folders where a program is installed by the system's packages or an administrator (the FHS places add-on
// packages in /opt); their settings never belong beside the executable.
const char* const k_system_prefixes[] = {"/usr", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32", "/opt"};

bool is_writable_folder(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

QString config_file_path()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return config + QLatin1Char('/') + SaveManager::k_file_name;
}

enum class FileState { absent, writable, read_only, unreadable, not_regular };

// Looks at the file without opening it: reading a FIFO would block the start for good, and later starts would find
// the hung copy and exit. Through a symbolic link, at its target. The owner's bits count even for root, who may
// read and write anything: a file its owner made read-only stays as it is.
FileState state_of(const QString& path)
{
    const QFileInfo file(path);
    if (!file.exists())
        return file.isSymLink() ? FileState::not_regular : FileState::absent;
    if (!file.isFile())
        return FileState::not_regular;
    if (!file.isReadable() || !(file.permissions() & QFileDevice::ReadOwner))
        return FileState::unreadable;
    if (!file.isWritable() || !(file.permissions() & QFileDevice::WriteOwner))
        return FileState::read_only;
    return FileState::writable;
}

bool can_take_settings(FileState state)
{
    return state == FileState::absent || state == FileState::writable;
}

const char* why_not_saved(FileState state)
{
    switch (state) {
    case FileState::read_only:
        return "cannot be written (it is read, not saved to)";
    case FileState::unreadable:
        return "could not be read (no read permission) and is left as it is";
    case FileState::not_regular:
        return "is not a regular file and is left alone";
    default:
        return "";
    }
}

// The ini file at path, or null (with the reason on the debug channel) when it cannot be read.
std::unique_ptr<QSettings> open_ini(const QString& path)
{
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (settings->status() == QSettings::NoError)
        return settings;
    // Emptying it by the version rule, or saving over what could not be read, would destroy the user's file.
    const char* why = settings->status() == QSettings::FormatError ? "(not in the ini format):" : "(access error):";
    qDebug() << "Settings file" << path << "could not be read" << why << "it is left as it is";
    return nullptr;
}

bool has_current_version(const QSettings& settings)
{
    return settings.value(k_version_key, QStringLiteral("0")).toString() == SaveManager::k_save_version;
}

// A boolean as the settings file writes it; another text is no boolean.
std::optional<bool> as_bool(const QVariant& value)
{
    if (value.type() == QVariant::Bool)
        return value.toBool();
    if (value.type() != QVariant::String)
        return std::nullopt;
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

// The file of a portable copy, or empty for an installed program: beside the executable unless it lies in a
// system prefix or an installation's bin/, or in a folder that cannot be written.
QString portable_path_for(const QString& executable_folder)
{
    if (SaveManager::is_system_folder(executable_folder) || SaveManager::is_installed_layout(executable_folder) ||
        !is_writable_folder(executable_folder))
        return QString();
    return executable_folder + QLatin1Char('/') + SaveManager::k_file_name;
}

// The text after '=' on the last line that sets `key` in the general section of the ini file, trimmed as the
// ini reader trims it, or nullopt when no line sets it.
std::optional<QString> raw_ini_value(const QString& path, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::optional<QString> found;
    bool in_general = true; // keys above the first section belong to the general section too
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            in_general = line.compare(QLatin1String("[General]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (in_general && equals > 0 && line.left(equals).trimmed() == key)
            found = line.mid(equals + 1).trimmed();
    }
    return found;
}

// The settings file of this program: a portable copy's beside its executable, else the user's.
QString own_file_path()
{
    const QString beside =
        QStandardPaths::isTestModeEnabled() ? QString() : portable_path_for(QCoreApplication::applicationDirPath());
    return beside.isEmpty() ? config_file_path() : beside;
}

} // namespace

SaveManager::SaveManager() : SaveManager(own_file_path(), config_file_path()) {}

SaveManager::SaveManager(const QString& file_path, const QString& fallback_path) : m_file_path(file_path)
{
    std::fprintf(stdout, "%s\n", QCoreApplication::applicationDirPath().toLocal8Bit().constData());
    std::fflush(stdout);
    const FileState state = state_of(file_path);
    QString target = file_path;
    if (!can_take_settings(state)) {
        const bool has_fallback = !fallback_path.isEmpty() && QFileInfo(fallback_path) != QFileInfo(file_path) &&
                                  can_take_settings(state_of(fallback_path));
        target = has_fallback ? fallback_path : QString();
        qDebug().noquote() << QStringLiteral("Settings file \"%1\" %2 - %3")
                                  .arg(file_path, QLatin1String(why_not_saved(state)),
                                       has_fallback ? QStringLiteral("the settings are saved in \"%1\"").arg(target)
                                                    : QStringLiteral("changes stay in memory"));
    }
    if (!target.isEmpty()) {
        m_file_path = target;
        m_settings = open_ini(target);
        if (m_settings && !has_current_version(*m_settings))
            reset_settings();
    }
    if (state != FileState::read_only)
        return;
    // Still the user's settings: a start is no first start, and no switch goes back to its default, on its account.
    m_read_only = open_ini(file_path);
    if (m_read_only && !has_current_version(*m_read_only)) {
        qDebug() << "Settings file" << file_path << "is of another version and is not read";
        m_read_only.reset();
    }
    // The newer file wins for each key it holds: a hand edit of the read-only file after the last save, or the
    // values saved after the file was read.
    const QFileInfo saved(target);
    m_read_only_first =
        m_read_only && (!m_settings || !saved.exists() || QFileInfo(file_path).lastModified() > saved.lastModified());
}

SaveManager::~SaveManager()
{
    sync();
}

QString SaveManager::default_path()
{
    if (QStandardPaths::isTestModeEnabled())
        return config_file_path();
    return path_for(QCoreApplication::applicationDirPath());
}

QString SaveManager::path_for(const QString& executable_folder)
{
    // An installed program cannot or must not write beside its executable.
    const QString beside = portable_path_for(executable_folder);
    return !beside.isEmpty() && can_take_settings(state_of(beside)) ? beside : config_file_path();
}

bool SaveManager::is_installed_layout(const QString& executable_folder)
{
    // bin/ beside a share/ that holds our menu entry: an installation under any prefix (/usr/local, a home
    // folder, an unpacked package), whose bin/ folder is shared with other programs.
    const QDir bin(executable_folder);
    return bin.dirName() == QLatin1String("bin") &&
           QFileInfo::exists(bin.absoluteFilePath(QStringLiteral("../share/applications/") + k_menu_entry_name));
}

bool SaveManager::is_system_folder(const QString& folder)
{
    // Links resolved first: /bin may be /usr/bin, and a link elsewhere may lead into /opt.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QString path = QDir::cleanPath(canonical.isEmpty() ? folder : canonical);
    if (path == QLatin1String("/"))
        return true;
    for (const char* prefix : k_system_prefixes) {
        const QLatin1String name(prefix);
        if (path == name || path.startsWith(name + QLatin1Char('/')))
            return true;
    }
    return false;
}

QString SaveManager::file_path() const
{
    return m_file_path;
}

void SaveManager::reset_settings()
{
    // Nothing read-only is read after a reset: every value is its default.
    m_read_only.reset();
    if (!m_settings)
        return;
    m_settings->clear();
    m_settings->setValue(k_version_key, k_save_version);
}

bool SaveManager::sync()
{
    // Without a file the construction already said why.
    if (!m_settings)
        return false;
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError)
        return true;
    qDebug() << "Settings file" << m_file_path << "cannot be written; the settings stay in memory";
    return false;
}

const QSettings* SaveManager::source_of(const QString& key) const
{
    const QSettings* first = m_read_only_first ? m_read_only.get() : m_settings.get();
    const QSettings* second = m_read_only_first ? m_settings.get() : m_read_only.get();
    for (const QSettings* source : {first, second}) {
        if (source && source->contains(key))
            return source;
    }
    return nullptr;
}

QVariant SaveManager::value(const QString& key, const QVariant& fallback) const
{
    const QSettings* source = source_of(key);
    return source ? source->value(key, fallback) : fallback;
}

QString SaveManager::text_value(const QString& key, const QString& fallback) const
{
    const QVariant read = value(key, fallback);
    if (read.type() != QVariant::StringList)
        return read.toString();
    // An unquoted comma makes the ini reader split the text into a list and drop the spaces around each comma.
    // Only the file's own line still says what was written.
    if (const std::optional<QString> raw = raw_ini_value(source_of(key)->fileName(), key))
        return *raw;
    return read.toStringList().join(QLatin1Char(','));
}

void SaveManager::load_settings(Settings& settings) const
{
    Settings defaults;
    for (const Key& key : k_keys)
        std::visit([&](auto field) { read(QLatin1String(key.name), field(defaults), field(settings)); }, key.field);
    // Several defaults are taken by desktops (Ctrl+Alt+Left and Right switch workspaces), so a shortcut the user
    // gave a command must outlive the run. An absent key is the default.
    for (int row = 0; row < k_shortcut_count; ++row) {
        const ShortcutCommand& command = k_shortcut_commands[row];
        settings.shortcuts[row] =
            text_value(QLatin1String(command.settings_key), QString::fromLatin1(command.default_shortcut));
    }
}

void SaveManager::save_settings(const Settings& settings)
{
    if (!m_settings)
        return;
    // Every key is in the saved file from now on, and newer than what the read-only file says.
    m_read_only_first = false;
    Settings values = settings;
    for (const Key& key : k_keys)
        std::visit([&](auto field) { m_settings->setValue(QLatin1String(key.name), stored(field(values))); },
                   key.field);
    for (int row = 0; row < k_shortcut_count; ++row)
        m_settings->setValue(QLatin1String(k_shortcut_commands[row].settings_key), settings.shortcuts[row]);
}

void SaveManager::read(const QString& key, bool fallback, bool& flag) const
{
    const QVariant read = value(key, fallback);
    const std::optional<bool> known = as_bool(read);
    if (!known)
        qDebug() << "Settings:" << qUtf8Printable(key) << "holds" << read.toString()
                 << "which is neither true nor false - it is taken as" << fallback;
    flag = known.value_or(fallback);
}

void SaveManager::read(const QString& key, int fallback, int& number) const
{
    bool ok = false;
    const QVariant read = value(key, fallback);
    number = read.toInt(&ok);
    if (ok)
        return;
    qDebug() << "Settings:" << qUtf8Printable(key) << "holds" << read.toString()
             << "which is no number - it is taken as" << fallback;
    number = fallback;
}

void SaveManager::read(const QString& key, const QList<int>& fallback, QList<int>& monitors) const
{
    monitors = decode_ignore_monitors(text_value(key, encode_ignore_monitors(fallback)));
}

void SaveManager::read(const QString& key, const HistoryOptions& fallback, HistoryOptions& options) const
{
    const QString text = text_value(key, stored(fallback).toString());
    options.unknown_order_text.reset();
    if (text == k_forward || text == k_backward) {
        options.paste_order = text == k_forward ? PasteOrder::forward : PasteOrder::backward;
        return;
    }
    qDebug() << "Settings:" << qUtf8Printable(key) << text << "is neither" << k_forward << "nor" << k_backward
             << "- pastes run backward, and the file keeps the text until the order is changed";
    options.paste_order = PasteOrder::backward;
    options.unknown_order_text = text;
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
