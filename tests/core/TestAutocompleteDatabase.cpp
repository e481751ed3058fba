// SPDX-License-Identifier: GPL-3.0-or-later
// The autocomplete store against real SQLite files in a temporary folder.
#include "core/AutocompleteDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The debug channel's lines of every thread while it lives.
class MessageLog {
public:
    MessageLog()
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        s_lines.clear();
        s_previous = qInstallMessageHandler(&MessageLog::handle);
    }
    ~MessageLog() { qInstallMessageHandler(s_previous); }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;
    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        return s_lines;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text)
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        s_lines << text;
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    static inline std::mutex s_mutex;
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace

class TestAutocompleteDatabase : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(AutocompleteDatabase::k_file_name); }

private Q_SLOTS:
    void init()
    {
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(name));
    }

    void texts_are_stored_once_and_unchanged_across_runs()
    {
        const QStringList texts{"it's",
                                "back\\slash",
                                "50% off",
                                "snake_case",
                                "\"quoted\"",
                                "'); DROP TABLE stuff;--",
                                QString::fromUtf8("Grüße, мир, 東京 \xF0\x9F\x98\x80"),
                                QString(AutocompleteDatabase::k_max_text_length, 'L')};
        {
            AutocompleteDatabase database(path());
            QVERIFY(database.is_open());
            QCOMPARE(database.count(), std::optional<int>(0));
            for (const QString& text : texts)
                QVERIFY(database.insert(text));
            QVERIFY(database.insert(texts.first())); // already there
            // The longest text kept is the last of texts; one character more is no phrase to type back.
            QVERIFY(!database.insert(QString(AutocompleteDatabase::k_max_text_length + 1, 'L')));
            QVERIFY(database.wait_until_written());
            QCOMPARE(database.count(), std::optional<int>(texts.size()));
        }
        AutocompleteDatabase again(path());
        QCOMPARE(again.matching(QString()), texts);
        for (const QString& text : texts)
            QVERIFY(again.contains(text));
        QVERIFY(!again.contains(QStringLiteral("IT'S"))); // exact comparison
        QVERIFY(again.remove(QStringLiteral("it's")));
        QVERIFY(again.wait_until_written());
        QCOMPARE(again.count(), std::optional<int>(texts.size() - 1));
        QVERIFY(again.remove_all());
        QVERIFY(again.wait_until_written());
        QCOMPARE(again.count(), std::optional<int>(0));
    }

    void filters_match_anywhere_ignoring_ascii_case_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("empty lists all") << "" << QStringList{"Abc", "xaby", "AB_1", "50%", "it's", "cab"};
        QTest::newRow("ab in any case") << "ab" << QStringList{"Abc", "xaby", "AB_1", "cab"};
        QTest::newRow("underscore is any one character") << "b_" << QStringList{"Abc", "xaby", "AB_1"};
        QTest::newRow("percent is any run") << "a%1" << QStringList{"AB_1"};
        QTest::newRow("a quote") << "t's" << QStringList{"it's"};
        QTest::newRow("nothing") << "zz" << QStringList{};
    }
    void filters_match_anywhere_ignoring_ascii_case()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, found);
        AutocompleteDatabase database(path());
        for (const char* text : {"Abc", "xaby", "AB_1", "50%", "it's", "cab"})
            database.insert(QString::fromLatin1(text));
        QVERIFY(database.wait_until_written());
        QCOMPARE(database.matching(filter), found);
        QCOMPARE(database.matching(QString(), 2), (QStringList{"Abc", "xaby"}));
    }

    // A file of an earlier version has the table alone; the count kept beside it starts from what is there.
    void a_file_with_the_table_alone_is_counted_right_from_then_on()
    {
        {
            QSqlDatabase old = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
            old.setDatabaseName(path());
            QVERIFY(old.open());
            QSqlQuery query(old);
            QVERIFY(query.exec(QStringLiteral("CREATE TABLE stuff (thing TEXT)")));
            QVERIFY(query.exec(QStringLiteral("INSERT INTO stuff (thing) VALUES ('a'), ('b'), ('c')")));
            query = QSqlQuery();
            old.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("old"));
        AutocompleteDatabase database(path());
        QCOMPARE(database.count(), std::optional<int>(3));
        database.insert(QStringLiteral("d"));
        database.insert(QStringLiteral("d"));
        database.remove(QStringLiteral("a"));
        database.remove(QStringLiteral("not there"));
        QVERIFY(database.wait_until_written());
        QCOMPARE(database.count(), std::optional<int>(3));
        database.remove_all();
        database.insert(QStringLiteral("e"));
        QVERIFY(database.wait_until_written());
        QCOMPARE(database.count(), std::optional<int>(1));
    }

    void the_file_is_private()
    {
        AutocompleteDatabase database(path());
        QVERIFY(database.insert(QStringLiteral("secret-ish")));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(path()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
    }

    void a_file_that_is_no_database_is_moved_aside_and_kept()
    {
        QFile junk(path());
        QVERIFY(junk.open(QIODevice::WriteOnly));
        const QByteArray bytes(5000, 'j');
        junk.write(bytes);
        junk.close();
        AutocompleteDatabase database(path());
        QVERIFY(database.is_open());
        QVERIFY(!database.moved_aside_to().isEmpty());
        QFile kept(database.moved_aside_to());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), bytes);
        QVERIFY(database.insert(QStringLiteral("fresh")));
        QVERIFY(database.wait_until_written());
        QCOMPARE(database.count(), std::optional<int>(1));
    }

    void a_read_only_file_is_read_and_left_untouched()
    {
        {
            AutocompleteDatabase database(path());
            database.insert(QStringLiteral("kept"));
        }
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::ReadUser));
        QFile before(path());
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        {
            AutocompleteDatabase database(path());
            QVERIFY(database.is_read_only());
            QCOMPARE(database.matching(QString()), QStringList{"kept"});
            QVERIFY(!database.insert(QStringLiteral("new")));
            QVERIFY(!database.remove_all());
            QCOMPARE(database.count(), std::optional<int>(1));
        }
        QFile after(path());
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
        QCOMPARE(after.permissions() & QFile::WriteOwner, QFile::Permissions());
        // Nothing is left beside it (a read-only shared-memory file would make every later insert fail).
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::System),
                 QStringList{AutocompleteDatabase::k_file_name});
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
        AutocompleteDatabase writable(path());
        QVERIFY(writable.insert(QStringLiteral("new")));
        QVERIFY(writable.wait_until_written());
        QCOMPARE(writable.count(), std::optional<int>(2));
    }

    // Only a file the store made, or a regular file with one name, is ever opened: what is linked, a folder or a FIFO
    // keeps its content and its mode, and the run goes on without remembered texts.
    void nothing_but_a_regular_file_is_opened_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("link to a text file") << "link to text"
                                             << "is a symbolic link";
        QTest::newRow("link to another database") << "link to database"
                                                  << "is a symbolic link";
        QTest::newRow("link to nothing") << "dangling link"
                                         << "is a symbolic link";
        QTest::newRow("folder") << "folder"
                                << "is a folder";
        QTest::newRow("FIFO") << "fifo"
                              << "is not a regular file";
        QTest::newRow("second name of a text file") << "hard link"
                                                    << "has other names";
    }
    void nothing_but_a_regular_file_is_opened()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        const QString at = folder.filePath(AutocompleteDatabase::k_file_name);
        const QString target = folder.filePath(QStringLiteral("notes.txt"));
        if (kind == QLatin1String("link to database")) {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            other.setDatabaseName(target);
            QVERIFY(other.open());
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("CREATE TABLE mine (x TEXT)")));
            other.close();
            other = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("other"));
        } else if (kind != QLatin1String("dangling link")) {
            QFile notes(target);
            QVERIFY(notes.open(QIODevice::WriteOnly));
            notes.write("my notes\n");
        }
        const QByteArray target_path = QFile::encodeName(target);
        if (QFileInfo::exists(target))
            QCOMPARE(::chmod(target_path.constData(), 0644), 0);
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(at));
        else if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(at).constData(), 0644), 0);
        else if (kind == QLatin1String("hard link"))
            QCOMPARE(::link(target_path.constData(), QFile::encodeName(at).constData()), 0);
        else
            QVERIFY(QFile::link(target, at));
        QFile before(target);
        const QByteArray content = before.open(QIODevice::ReadOnly) ? before.readAll() : QByteArray();
        struct stat at_before {};
        QCOMPARE(::lstat(QFile::encodeName(at).constData(), &at_before), 0);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(reason));
        {
            AutocompleteDatabase database(at);
            QVERIFY(!database.is_open());
            QVERIFY(!database.insert(QStringLiteral("copied")));
            QVERIFY(database.matching(QString()).isEmpty());
        }
        struct stat at_after {};
        QCOMPARE(::lstat(QFile::encodeName(at).constData(), &at_after), 0);
        QCOMPARE(at_after.st_mode, at_before.st_mode);
        QCOMPARE(QFileInfo::exists(target), kind != QLatin1String("dangling link"));
        if (kind == QLatin1String("dangling link"))
            return;
        QFile after(target);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), content);
        QCOMPARE(after.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser |
                                          QFile::ReadGroup | QFile::ReadOther);
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 (QStringList{AutocompleteDatabase::k_file_name, QStringLiteral("notes.txt")}));
    }

    // Another program holding the write lock never holds up a copy: the text is written once the lock goes, or said
    // to be lost when the program ends first.
    void a_locked_file_holds_up_no_copy()
    {
        auto database = std::make_unique<AutocompleteDatabase>(path());
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
        other.setDatabaseName(path());
        QVERIFY(other.open());
        {
            QSqlQuery lock(other);
            QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QVERIFY(database->insert(QStringLiteral("while locked")));
            QVERIFY(!database->contains(QStringLiteral("while locked")));
            QVERIFY(lock.exec(QStringLiteral("COMMIT")));
            QVERIFY(database->wait_until_written());
            QVERIFY(database->contains(QStringLiteral("while locked")));

            QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QVERIFY(database->insert(QString(12, 'x')));
            const MessageLog log;
            database.reset();
            QVERIFY2(log.lines().filter(QStringLiteral("text of 12 characters is not remembered")).size() == 1,
                     qPrintable(log.lines().join(QLatin1Char('\n'))));
            QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
        }
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    }

    void a_folder_that_cannot_hold_it_leaves_every_call_failing_quietly()
    {
        AutocompleteDatabase database(m_dir.filePath(QStringLiteral("no/such/folder/db")));
        QVERIFY(!database.is_open());
        QVERIFY(!database.insert(QStringLiteral("x")));
        QCOMPARE(database.count(), std::nullopt);
        QCOMPARE(database.matching(QString()), QStringList());
    }

    void the_file_lies_beside_a_portable_copy_and_in_the_data_folder_otherwise()
    {
        QCOMPARE(AutocompleteDatabase::path_for(QStringLiteral("/opt/sp/Stackpaste_settings.ini"), "/opt/sp"),
                 QStringLiteral("/opt/sp/autocomplete.spaste"));
        const QString installed =
            AutocompleteDatabase::path_for(QStringLiteral("/root/.config/x/settings.ini"), "/usr/bin");
        QVERIFY(installed.endsWith(QLatin1String("/autocomplete.spaste")));
        QVERIFY(!installed.startsWith(QLatin1String("/usr/bin")));
        QVERIFY(QDir::isAbsolutePath(installed));
    }
};

QTEST_GUILESS_MAIN(TestAutocompleteDatabase)
#include "TestAutocompleteDatabase.moc"
