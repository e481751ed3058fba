// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/AutocompleteDatabase.h"

#include "core/SaveManager.h"
#include "core/Trace.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QVariant>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString k_driver = QStringLiteral("QSQLITE");
// The main thread reads with this wait for a file that another program holds locked: a filter keystroke may lag a
// little, never freeze.
constexpr int k_read_wait_ms = 100;
// The writer waits this long for the lock at a time, and gives a change up after k_give_up_ms; between its waits it
// sees the program ending.
constexpr int k_write_wait_ms = 200;
constexpr qint64 k_give_up_ms = 5000;
// Changes beyond this many wait for nothing while the file stays locked: memory stays bounded.
constexpr size_t k_max_queued = 100;

// SQLite's primary result codes of interest (the driver reports the extended code).
constexpr int k_sqlite_busy = 5;
constexpr int k_sqlite_locked = 6;
constexpr int k_sqlite_corrupt = 11;
constexpr int k_sqlite_not_a_database = 26;

int sqlite_code(const QSqlError& error)
{
    return error.nativeErrorCode().toInt() & 0xff;
}

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

// Why nothing may be opened at the path, or nullptr for a regular file with no other name.
const char* refusal(const struct stat& info)
{
    if (S_ISLNK(info.st_mode))
        return "is a symbolic link";
    if (S_ISDIR(info.st_mode))
        return "is a folder";
    if (!S_ISREG(info.st_mode))
        return "is not a regular file (a FIFO, a socket or a device)";
    if (info.st_nlink > 1)
        return "has other names (hard links) and may be another program's file";
    return nullptr;
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
    if (m_is_read_only) {
        QSqlQuery query(connection(m_connection));
        if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name='stuff'")) ||
            !query.next())
            qWarning() << "ERROR: the autocomplete file" << m_path << "is read-only and holds no texts";
        return;
    }
    const bool prepared = prepare(m_connection);
    QSqlQuery query(connection(m_connection));
    m_has_kept_count = query.exec(QStringLiteral("SELECT n FROM stuff_count")) && query.next();
    m_writer = std::thread([this, prepared] { run_writer(prepared); });
}

bool AutocompleteDatabase::prepare(const QString& connection_name)
{
    QSqlDatabase database = connection(connection_name);
    QSqlQuery query(database);
    bool prepared = true;
    if (query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name='stuff'")) &&
        query.next()) {
        qDebug() << "DB: Table exists";
    } else if (run(query, QStringLiteral("CREATE TABLE IF NOT EXISTS stuff (thing TEXT)"), {})) {
        qDebug() << "DB: Table created";
    } else {
        prepared = false;
    }
    // A commit with the default journal waits for two syncs of the disk (over 20 ms here); the write-ahead log keeps
    // the file intact on a crash with one, and lets the main thread read while the writer writes.
    prepared = query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && prepared;
    // The lookup before each insert would read the whole table without it.
    prepared = run(query, QStringLiteral("CREATE INDEX IF NOT EXISTS stuff_thing ON stuff (thing)"), {}) && prepared;
    // Counting 100,000 texts reads them all: the count is kept beside them, by triggers, so that whatever writes the
    // table keeps it right.
    if (!query.exec(QStringLiteral("SELECT n FROM stuff_count")) || !query.next()) {
        query.finish();
        bool counted = database.transaction() &&
                       run(query, QStringLiteral("CREATE TABLE IF NOT EXISTS stuff_count (n INTEGER)"), {});
        counted = counted && run(query, QStringLiteral("DELETE FROM stuff_count"), {});
        counted =
            counted && run(query, QStringLiteral("INSERT INTO stuff_count (n) SELECT COUNT(thing) FROM stuff"), {});
        counted =
            counted && run(query,
                           QStringLiteral("CREATE TRIGGER IF NOT EXISTS stuff_count_insert AFTER INSERT ON stuff "
                                          "WHEN NEW.thing IS NOT NULL BEGIN UPDATE stuff_count SET n = n + 1; END"),
                           {});
        counted =
            counted && run(query,
                           QStringLiteral("CREATE TRIGGER IF NOT EXISTS stuff_count_delete AFTER DELETE ON stuff "
                                          "WHEN OLD.thing IS NOT NULL BEGIN UPDATE stuff_count SET n = n - 1; END"),
                           {});
        query.finish();
        // Half a kept count would be wrong for good: all of it or nothing.
        counted = counted && database.commit();
        if (!counted)
            database.rollback();
        prepared = counted && prepared;
    }
    return prepared;
}

AutocompleteDatabase::~AutocompleteDatabase()
{
    if (m_writer.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_one();
        m_writer.join();
    }
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
    const QByteArray native = QFile::encodeName(m_path);
    struct stat before {};
    if (::lstat(native.constData(), &before) != 0 && errno == ENOENT) {
        // Made here, private, before SQLite opens it. O_EXCL never follows a link and never opens a file that
        // something else put at the path meanwhile.
        const int file = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (file >= 0) {
            ::fstat(file, &before);
            ::close(file);
        } else if (errno != EEXIST || ::lstat(native.constData(), &before) != 0) {
            qWarning() << "ERROR: the autocomplete file" << m_path << "cannot be created:" << std::strerror(errno);
            return false;
        }
    }
    if (const char* why = refusal(before)) {
        qWarning() << "ERROR: the autocomplete file" << m_path << why
                   << "- it is left untouched, and no texts are remembered in this run";
        return false;
    }
    // The owner's write bit counts too: a file the user made read-only stays untouched, even for root.
    m_is_read_only = !(before.st_mode & S_IWUSR) || ::access(native.constData(), W_OK) != 0;
    QSqlDatabase database = QSqlDatabase::contains(m_connection) ? connection(m_connection)
                                                                 : QSqlDatabase::addDatabase(k_driver, m_connection);
    if (m_is_read_only) {
        // A plain read-only open of a write-ahead-log file leaves a shared-memory file and a log beside it, with the
        // database's read-only mode; once the database is writable again those make every insert fail. Opened as
        // immutable, SQLite takes no lock and creates nothing.
        QUrl uri = QUrl::fromLocalFile(m_path);
        uri.setQuery(QStringLiteral("immutable=1"));
        database.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    } else {
        database.setDatabaseName(m_path);
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(k_read_wait_ms));
    }
    if (!database.open()) {
        qWarning().noquote() << "ERROR: " + database.lastError().text();
        return false;
    }
    // Whatever replaced the file between the look and SQLite's open is found before anything is read or written.
    m_device = before.st_dev;
    m_inode = before.st_ino;
    if (!is_still_the_file()) {
        database.close();
        qWarning() << "ERROR: the autocomplete file" << m_path
                   << "was replaced while it was opened; no texts are remembered in this run";
        return false;
    }
    if (m_is_read_only)
        qWarning() << "The autocomplete file" << m_path << "is read-only: new texts are not remembered";
    return true;
}

bool AutocompleteDatabase::is_still_the_file() const
{
    struct stat now {};
    return ::lstat(QFile::encodeName(m_path).constData(), &now) == 0 && !refusal(now) &&
           quint64(now.st_dev) == m_device && quint64(now.st_ino) == m_inode;
}

bool AutocompleteDatabase::is_database() const
{
    // SQLite opens any file lazily; the first read tells whether it is a database at all. A file locked by another
    // program is one.
    QSqlQuery query(connection(m_connection));
    if (query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        return true;
    const int code = sqlite_code(query.lastError());
    return code != k_sqlite_not_a_database && code != k_sqlite_corrupt;
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
    if (text.size() > k_max_text_length) {
        // What was copied never goes to a log, only its size.
        qDebug().noquote() << QStringLiteral("A text of %1 characters is not remembered for autocomplete: it keeps "
                                             "texts of up to %2 characters")
                                  .arg(text.size())
                                  .arg(k_max_text_length);
        return false;
    }
    if (!enqueue({Change::Kind::Insert, text}))
        return false;
    TRACE("END database_insert(QString str)");
    return true;
}

bool AutocompleteDatabase::remove(const QString& text)
{
    return enqueue({Change::Kind::Remove, text});
}

bool AutocompleteDatabase::remove_all()
{
    return enqueue({Change::Kind::RemoveAll, QString()});
}

bool AutocompleteDatabase::enqueue(Change change)
{
    const char* refused = !m_is_open ? "is not open (see above)" : m_is_read_only ? "is read-only" : nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!refused && m_queue.size() >= k_max_queued)
            refused = "is still locked by another program after many changes";
        if (!refused)
            m_queue.push_back(std::move(change));
    }
    if (refused) {
        qWarning().noquote() << QStringLiteral("ERROR: the autocomplete file %1: %2")
                                    .arg(QLatin1String(refused), change.kind == Change::Kind::Insert
                                                                     ? QStringLiteral("the text is not remembered")
                                                                     : QStringLiteral("nothing is deleted"));
        return false;
    }
    m_wake.notify_one();
    return true;
}

bool AutocompleteDatabase::wait_until_written(int timeout_ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [this] { return m_queue.empty() && !m_writing; });
}

void AutocompleteDatabase::run_writer(bool prepared)
{
    const QString name = m_connection + QStringLiteral("-writer");
    {
        // A connection belongs to the thread that made it.
        QSqlDatabase database = QSqlDatabase::addDatabase(k_driver, name);
        database.setDatabaseName(m_path);
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(k_write_wait_ms));
        // The writer opens the path again: it must still be the file the store checked, not one put there since.
        if (database.open() && !is_still_the_file()) {
            database.close();
            qWarning() << "ERROR: the autocomplete file" << m_path
                       << "was replaced after it was opened; no texts are remembered in this run";
        } else if (database.isOpen()) {
            QSqlQuery(database).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
            // What a lock held by another program kept the main thread from preparing.
            if (!prepared)
                prepare(name);
        } else {
            // Every change is then said to be lost as it comes.
            qWarning().noquote() << "ERROR: the autocomplete writer cannot open the file: " +
                                        database.lastError().text();
        }
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty())
            break;
        std::deque<Change> changes;
        changes.swap(m_queue);
        m_writing = true;
        lock.unlock();
        write(std::move(changes), name);
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT signal_written(); }, Qt::QueuedConnection);
        lock.lock();
        m_writing = false;
        m_idle.notify_all();
    }
    lock.unlock();
    {
        QSqlDatabase database = connection(name);
        database.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void AutocompleteDatabase::write(std::deque<Change> changes, const QString& connection_name)
{
    QSqlDatabase database = connection(connection_name);
    auto tell_not_made = [](const Change& change, const QString& error) {
        // What was copied never goes to a log, only its size.
        const QString what = change.kind == Change::Kind::Insert
                                 ? QStringLiteral("a copied text of %1 characters is not remembered for autocomplete")
                                       .arg(change.text.size())
                             : change.kind == Change::Kind::Remove
                                 ? QStringLiteral("a text is not deleted from autocomplete")
                                 : QStringLiteral("the autocomplete texts are not deleted");
        qWarning().noquote() << QStringLiteral("ERROR: %1: %2").arg(what, error);
    };
    // The write lock is taken before any change, so a file locked elsewhere costs waits of this thread only.
    QString error;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QSqlQuery begin(database);
        if (begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            error.clear();
            break;
        }
        error = begin.lastError().text();
        const int code = sqlite_code(begin.lastError());
        if ((code != k_sqlite_busy && code != k_sqlite_locked) || waited.elapsed() >= k_give_up_ms)
            break;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping)
            break;
    }
    if (error.isEmpty()) {
        std::deque<Change> made;
        for (Change& change : changes) {
            QSqlQuery query(database);
            switch (change.kind) {
            case Change::Kind::Insert:
                query.prepare(QStringLiteral(
                    "INSERT INTO stuff (thing) SELECT ? WHERE NOT EXISTS (SELECT 1 FROM stuff WHERE thing = ?)"));
                query.addBindValue(change.text);
                query.addBindValue(change.text);
                break;
            case Change::Kind::Remove:
                query.prepare(QStringLiteral("DELETE FROM stuff WHERE thing = ?"));
                query.addBindValue(change.text);
                break;
            case Change::Kind::RemoveAll:
                query.prepare(QStringLiteral("DELETE FROM stuff"));
                break;
            }
            if (query.exec())
                made.push_back(std::move(change));
            else
                tell_not_made(change, query.lastError().text());
        }
        QSqlQuery commit(database);
        if (commit.exec(QStringLiteral("COMMIT")))
            return;
        error = commit.lastError().text();
        QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
        changes.swap(made);
    }
    for (const Change& change : changes)
        tell_not_made(change, error);
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
