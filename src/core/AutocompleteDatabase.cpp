// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/AutocompleteDatabase.h"

#include "core/SaveManager.h"
#include "core/Trace.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <sys/stat.h>

namespace {

const QString k_driver = QStringLiteral("QSQLITE");

QSqlDatabase connection(const QString& name)
{
    return QSqlDatabase::database(name, false);
}

// Runs a prepared statement with its values bound; a failure is a warning with the driver's text.
bool run(QSqlQuery& query, const QString& statement, const QVariantList& values, const char* warning = "ERROR: ")
{
    if (!query.prepare(statement)) {
        qWarning().noquote() << warning + query.lastError().text();
        return false;
    }
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        qWarning().noquote() << warning + query.lastError().text();
        return false;
    }
    return true;
}

} // namespace

AutocompleteDatabase::AutocompleteDatabase(const QString& path) : m_path(path)
{
    static int connections = 0;
    m_connection = QStringLiteral("autocomplete-%1").arg(++connections);
    if (!QSqlDatabase::isDriverAvailable(k_driver)) {
        qWarning() << "ERROR: Driver unavailable";
        return;
    }
    qDebug() << "DB: GOOD TO GO";
    m_is_open = open();
    if (m_is_open && !is_database()) {
        move_aside();
        m_is_open = open();
    }
    if (!m_is_open)
        return;
    QSqlQuery query(connection(m_connection));
    if (query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name='stuff'")) &&
        query.next()) {
        qDebug() << "DB: Table exists";
    } else if (m_is_read_only) {
        qWarning() << "ERROR: the autocomplete file" << m_path << "is read-only and holds no texts";
    } else if (run(query, QStringLiteral("CREATE TABLE stuff (thing TEXT)"), {})) {
        qDebug() << "DB: Table created";
    }
    if (!m_is_read_only)
        prepare_for_speed();
}

void AutocompleteDatabase::prepare_for_speed()
{
    QSqlQuery query(connection(m_connection));
    // A commit with the default journal waits for two syncs of the disk (over 20 ms here); the write-ahead log keeps
    // the file intact on a crash with one.
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    // The lookup before each insert would read the whole table without it.
    run(query, QStringLiteral("CREATE INDEX IF NOT EXISTS stuff_thing ON stuff (thing)"), {});
    // Counting 100,000 texts reads them all: the count is kept beside them, by triggers, so that whatever writes the
    // table keeps it right.
    if (!query.exec(QStringLiteral("SELECT n FROM stuff_count")) || !query.next()) {
        connection(m_connection).transaction();
        run(query, QStringLiteral("CREATE TABLE IF NOT EXISTS stuff_count (n INTEGER)"), {});
        run(query, QStringLiteral("DELETE FROM stuff_count"), {});
        run(query, QStringLiteral("INSERT INTO stuff_count (n) SELECT COUNT(thing) FROM stuff"), {});
        run(query,
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS stuff_count_insert AFTER INSERT ON stuff "
                           "WHEN NEW.thing IS NOT NULL BEGIN UPDATE stuff_count SET n = n + 1; END"),
            {});
        run(query,
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS stuff_count_delete AFTER DELETE ON stuff "
                           "WHEN OLD.thing IS NOT NULL BEGIN UPDATE stuff_count SET n = n - 1; END"),
            {});
        connection(m_connection).commit();
    }
    m_has_kept_count = query.exec(QStringLiteral("SELECT n FROM stuff_count")) && query.next();
}

AutocompleteDatabase::~AutocompleteDatabase()
{
    {
        QSqlDatabase database = connection(m_connection);
        if (database.isValid())
            database.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

QString AutocompleteDatabase::default_path()
{
    return path_for(SaveManager::default_path(), QCoreApplication::applicationDirPath());
}

QString AutocompleteDatabase::path_for(const QString& settings_path, const QString& executable_folder)
{
    const QString settings_folder = QFileInfo(settings_path).absolutePath();
    if (QDir(settings_folder) == QDir(executable_folder))
        return settings_folder + QLatin1Char('/') + k_file_name;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data + QLatin1Char('/') + k_file_name;
}

bool AutocompleteDatabase::open()
{
    const QFileInfo file(m_path);
    // The owner's write bit counts too: a file the user made read-only stays untouched, even for root.
    m_is_read_only = file.exists() && (!file.isWritable() || !(file.permissions() & QFileDevice::WriteOwner));
    if (!file.exists()) {
        // Created empty and private before SQLite opens it, so it is never readable by others, not even briefly.
        QFile create(m_path);
        if (create.open(QIODevice::WriteOnly))
            create.close();
    }
    if (!m_is_read_only)
        ::chmod(QFile::encodeName(m_path).constData(), S_IRUSR | S_IWUSR);
    QSqlDatabase database = QSqlDatabase::contains(m_connection) ? connection(m_connection)
                                                                 : QSqlDatabase::addDatabase(k_driver, m_connection);
    database.setDatabaseName(m_path);
    database.setConnectOptions(m_is_read_only ? QStringLiteral("QSQLITE_OPEN_READONLY") : QString());
    if (!database.open()) {
        qWarning().noquote() << "ERROR: " + database.lastError().text();
        return false;
    }
    if (m_is_read_only)
        qWarning() << "The autocomplete file" << m_path << "is read-only: new texts are not remembered";
    return true;
}

bool AutocompleteDatabase::is_database() const
{
    // SQLite opens any file lazily; the first read tells whether it is a database at all.
    QSqlQuery query(connection(m_connection));
    return query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
}

void AutocompleteDatabase::move_aside()
{
    connection(m_connection).close();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = m_path + QStringLiteral(".broken-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = m_path + QStringLiteral(".broken-%1-%2").arg(stamp).arg(n);
    if (QFile::rename(m_path, target)) {
        m_moved_aside_to = target;
        qWarning() << "ERROR: the autocomplete file" << m_path << "is not a database; it was moved to" << target
                   << "and a new one is started";
    } else {
        qWarning() << "ERROR: the autocomplete file" << m_path
                   << "is not a database and cannot be moved aside; autocomplete is off for this run";
    }
}

bool AutocompleteDatabase::contains(const QString& text) const
{
    if (!m_is_open)
        return false;
    QSqlQuery query(connection(m_connection));
    return run(query, QStringLiteral("SELECT thing FROM stuff WHERE thing = ? LIMIT 1"), {text}) && query.next();
}

bool AutocompleteDatabase::insert(const QString& text)
{
    TRACE("START database_insert(QString str)");
    if (!m_is_open)
        return false;
    if (contains(text))
        return true;
    if (m_is_read_only) {
        qWarning() << "ERROR: the autocomplete file is read-only: the text is not remembered";
        return false;
    }
    QSqlQuery query(connection(m_connection));
    if (!run(query, QStringLiteral("INSERT INTO stuff (thing) VALUES (?)"), {text}))
        return false;
    TRACE("END database_insert(QString str)");
    return true;
}

bool AutocompleteDatabase::remove(const QString& text)
{
    if (!m_is_open || m_is_read_only)
        return false;
    QSqlQuery query(connection(m_connection));
    return run(query, QStringLiteral("DELETE FROM stuff WHERE thing = ?"), {text});
}

bool AutocompleteDatabase::remove_all()
{
    if (!m_is_open || m_is_read_only)
        return false;
    QSqlQuery query(connection(m_connection));
    return run(query, QStringLiteral("DELETE FROM stuff"), {});
}

std::optional<int> AutocompleteDatabase::count() const
{
    if (!m_is_open)
        return std::nullopt;
    QSqlQuery query(connection(m_connection));
    const QString statement = m_has_kept_count ? QStringLiteral("SELECT n FROM stuff_count")
                                               : QStringLiteral("SELECT COUNT(thing) FROM stuff");
    if (!run(query, statement, {}, "Error: ") || !query.next())
        return std::nullopt;
    return query.value(0).toInt();
}

QStringList AutocompleteDatabase::matching(const QString& filter, int limit) const
{
    QStringList texts;
    if (!m_is_open)
        return texts;
    QSqlQuery query(connection(m_connection));
    query.setForwardOnly(true);
    const QString pattern = QLatin1Char('%') + filter + QLatin1Char('%');
    if (!run(query, QStringLiteral("SELECT thing FROM stuff WHERE thing LIKE ? ORDER BY rowid LIMIT ?"),
             {pattern, limit}))
        return texts;
    while (query.next())
        texts.append(query.value(0).toString());
    return texts;
}
