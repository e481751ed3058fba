// SPDX-License-Identifier: GPL-3.0-or-later
// The autocomplete store against real SQLite files in a temporary folder.
#include "core/AutocompleteDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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
                                QString(100000, 'L')};
        {
            AutocompleteDatabase database(path());
            QVERIFY(database.is_open());
            QCOMPARE(database.count(), std::optional<int>(0));
            for (const QString& text : texts)
                QVERIFY(database.insert(text));
            QVERIFY(database.insert(texts.first())); // already there
            QCOMPARE(database.count(), std::optional<int>(texts.size()));
        }
        AutocompleteDatabase again(path());
        QCOMPARE(again.matching(QString()), texts);
        for (const QString& text : texts)
            QVERIFY(again.contains(text));
        QVERIFY(!again.contains(QStringLiteral("IT'S"))); // exact comparison
        QVERIFY(again.remove(QStringLiteral("it's")));
        QCOMPARE(again.count(), std::optional<int>(texts.size() - 1));
        QVERIFY(again.remove_all());
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
        QCOMPARE(database.count(), std::optional<int>(3));
        database.remove_all();
        QCOMPARE(database.count(), std::optional<int>(0));
        database.insert(QStringLiteral("e"));
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
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
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
