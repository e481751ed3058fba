// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/StartUpEntry.h"

#include "core/SaveManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString k_product = QStringLiteral("Stackpaste");
const QString k_entry_ending = QStringLiteral(".desktop");

// A value of a desktop entry key: the backslash and the control characters a path may hold take an escape, so
// a line break in a folder name cannot end the line and start another key.
QString escape_value(const QString& text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            escaped += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            escaped += QStringLiteral("\\r");
        else
            escaped += c;
    }
    return escaped;
}

QString desktop_entry(const QString& name, const QString& program, bool try_exec)
{
    QString entry =
        QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n").arg(name, desktop_exec_value(program));
    if (try_exec)
        entry += QStringLiteral("TryExec=%1\n").arg(escape_value(program));
    entry += QStringLiteral("Terminal=false\n");
    return entry;
}

// Writes a new file; an existing one is left as it is.
void create_entry(const QString& path, const QString& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (!file.exists())
            qDebug() << "Cannot create" << path << file.errorString();
        return;
    }
    if (file.write(content.toUtf8()) < 0)
        qDebug() << "Cannot write" << path << file.errorString();
    file.close();
    // Desktops only launch entries on the desktop that may be executed.
    file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

QString first_location(QStandardPaths::StandardLocation location)
{
    const QStringList locations = QStandardPaths::standardLocations(location);
    return locations.isEmpty() ? QString() : locations.first();
}

} // namespace

QString desktop_exec_value(const QString& program)
{
    // One quoted argument: inside the quotes '"', '`', '$' and '\\' take a backslash, and '%' is doubled so that
    // a launcher does not read it as a field code. The key's value then escapes every backslash once more.
    QString quoted;
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
        if (c == QLatin1Char('%'))
            quoted += c;
    }
    return escape_value(QLatin1Char('"') + quoted + QLatin1Char('"'));
}

QString start_up_entry_path()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/") +
           QCoreApplication::applicationName() + k_entry_ending;
}

QString start_up_entry_content()
{
    return desktop_entry(QCoreApplication::applicationName(), QCoreApplication::applicationFilePath(), false) +
           QStringLiteral("X-GNOME-Autostart-enabled=true\n");
}

void add_start_up_entry()
{
    const QString path = start_up_entry_path();
    const QByteArray content = start_up_entry_content().toUtf8();
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content)
        return;
    existing.close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        qDebug() << "Cannot write the start-up entry" << path << file.errorString();
}

void remove_start_up_entry()
{
    QFile file(start_up_entry_path());
    if (file.exists() && !file.remove())
        qDebug() << "Cannot remove the start-up entry" << file.fileName() << file.errorString();
}

QString installed_menu_entry()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/applications/") +
                           SaveManager::k_menu_entry_name;
    if (QFileInfo::exists(beside))
        return QFileInfo(beside).canonicalFilePath();
    // The folders of XDG_DATA_DIRS (the user's own folder excluded: that is where our own entry would go).
    const QStringList folders = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation).mid(1);
    for (const QString& folder : folders) {
        const QString path = folder + QLatin1Char('/') + SaveManager::k_menu_entry_name;
        if (QFileInfo::exists(path))
            return path;
    }
    return QString();
}

void create_shortcut_files()
{
    const QString program = QCoreApplication::applicationFilePath();
    const QString applications = first_location(QStandardPaths::ApplicationsLocation);
    // An installed program's menu entry is the installation's: a second one of ours would list it twice.
    const QString installed = installed_menu_entry();
    if (!installed.isEmpty())
        qDebug() << "The menu entry" << installed << "is installed; no menu entry of our own is made";
    if (!applications.isEmpty() && installed.isEmpty()) {
        const QString folder = applications + QLatin1Char('/') + k_product;
        QDir().mkpath(folder);
        create_entry(folder + QLatin1Char('/') + k_product + k_entry_ending, desktop_entry(k_product, program, false));
        // TryExec hides the entry while no uninstall program exists.
        const QString uninstall = QCoreApplication::applicationDirPath() + QStringLiteral("/uninstall");
        create_entry(folder + QStringLiteral("/uninstall") + k_entry_ending,
                     desktop_entry(QStringLiteral("Uninstall ") + k_product, uninstall, true));
    }
    const QString desktop = first_location(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        create_entry(desktop + QLatin1Char('/') + k_product + k_entry_ending, desktop_entry(k_product, program, false));
}
