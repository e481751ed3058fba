// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SaveManager.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestSaveManager : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("Stackpaste_settings.ini")); }

    void write_file(const QByteArray& content)
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QStringList keys_in_file() const
    {
        QSettings file(path(), QSettings::IniFormat);
        return file.allKeys();
    }

private Q_SLOTS:
    void init() { QFile::remove(path()); }

    void missing_file_gives_defaults_and_a_versioned_file()
    {
        Settings settings;
        settings.is_first_start = false;
        settings.history.paste_order = QStringLiteral("forward");
        settings.indicator_position = QPoint(5, 5);
        {
            SaveManager store(path());
            store.load_settings(settings);
        }
        const Settings defaults;
        QCOMPARE(settings.is_first_start, true);
        QCOMPARE(settings.hidden_features_help_already_shown, false);
        QCOMPARE(settings.history.paste_order, QStringLiteral("backward"));
        QCOMPARE(settings.history.is_rich_text_copy_enabled, defaults.history.is_rich_text_copy_enabled);
        QCOMPARE(settings.indicator_position, QPoint(0, 0));
        QCOMPARE(keys_in_file(), QStringList{"SaveVersion"});
        QCOMPARE(QSettings(path(), QSettings::IniFormat).value("SaveVersion").toString(), QStringLiteral("2"));
    }

    void other_version_is_emptied_current_version_is_kept_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("paused");
        QTest::newRow("version 1 with keys")
            << QByteArray("[General]\nSaveVersion=1\nIsStackpastePaused=true\n") << false;
        QTest::newRow("no version") << QByteArray("[General]\nIsStackpastePaused=true\n") << false;
        QTest::newRow("version 2 with keys")
            << QByteArray("[General]\nSaveVersion=2\nIsStackpastePaused=true\n") << true;
        QTest::newRow("version 2 alone") << QByteArray("[General]\nSaveVersion=2\n") << false;
        QTest::newRow("broken file") << QByteArray("\x00\xff[[[=\n==\n", 10) << false;
    }

    void other_version_is_emptied_current_version_is_kept()
    {
        QFETCH(QByteArray, content);
        write_file(content);
        Settings settings;
        {
            SaveManager store(path());
            store.load_settings(settings);
        }
        QTEST(settings.history.is_stackpaste_paused, "paused");
        QCOMPARE(QSettings(path(), QSettings::IniFormat).value("SaveVersion").toString(), QStringLiteral("2"));
    }

    void save_and_load_round_trip_every_value()
    {
        Settings saved;
        saved.is_first_start = false;
        saved.use_keyboard_shortcuts = false;
        saved.hidden_features_help_already_shown = true;
        saved.history = {QStringLiteral("sideways"), false, true, false};
        saved.indicator_position = QPoint(-20, 700);
        saved.ignore_monitors = {1, 3, 3};
        {
            SaveManager store(path());
            store.save_settings(saved);
        }
        Settings loaded;
        SaveManager(path()).load_settings(loaded);
        QCOMPARE(loaded.is_first_start, false);
        QCOMPARE(loaded.use_keyboard_shortcuts, false);
        QCOMPARE(loaded.hidden_features_help_already_shown, true);
        QCOMPARE(loaded.history.paste_order, QStringLiteral("sideways")); // kept unchanged, never checked
        QCOMPARE(loaded.history.use_automatic_position_movement, false);
        QCOMPARE(loaded.history.is_stackpaste_paused, true);
        QCOMPARE(loaded.history.is_rich_text_copy_enabled, false);
        QCOMPARE(loaded.indicator_position, QPoint(-20, 700));
        QCOMPARE(loaded.ignore_monitors, QList<int>({1, 3, 3}));
        QCOMPARE(QSettings(path(), QSettings::IniFormat).value("IgnoreMonitors").toString(), QStringLiteral("1:3:3:"));
    }

    // The ini format reads an unquoted comma as a list; an odd order written by hand still survives a load and save.
    void hand_written_order_with_a_comma_is_kept()
    {
        write_file("[General]\nSaveVersion=2\nPasteOrder=forward, backward\n");
        Settings loaded;
        {
            SaveManager store(path());
            store.load_settings(loaded);
            QCOMPARE(loaded.history.paste_order, QStringLiteral("forward, backward"));
            store.save_settings(loaded);
        }
        Settings again;
        SaveManager(path()).load_settings(again);
        QCOMPARE(again.history.paste_order, QStringLiteral("forward, backward"));
    }

    void save_never_writes_the_version()
    {
        write_file("[General]\nSaveVersion=2\n");
        SaveManager store(path());
        QSettings(path(), QSettings::IniFormat).remove("SaveVersion");
        store.save_settings(Settings());
        store.sync();
        QVERIFY(!keys_in_file().contains("SaveVersion"));
        store.reset_settings();
        store.save_settings(Settings());
        store.sync();
        QCOMPARE(keys_in_file().size(), 17);
    }

    void ignore_monitors_codec_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("monitors");
        QTest::newRow("empty") << "" << QList<int>();
        QTest::newRow("trailing colon") << "1:3:" << QList<int>({1, 3});
        QTest::newRow("empty piece") << "1::3" << QList<int>({1, 3});
        QTest::newRow("not a number") << "x:2" << QList<int>({2});
        QTest::newRow("negative") << "-1:" << QList<int>({-1});
        QTest::newRow("overflow skipped") << "99999999999:4:" << QList<int>({4});
    }

    void ignore_monitors_codec()
    {
        QFETCH(QString, text);
        QTEST(SaveManager::decode_ignore_monitors(text), "monitors");
        QFETCH(QList<int>, monitors);
        QCOMPARE(SaveManager::decode_ignore_monitors(SaveManager::encode_ignore_monitors(monitors)), monitors);
    }

    void unreadable_coordinates_read_as_zero()
    {
        write_file("[General]\nSaveVersion=2\nIndicatorX=abc\nIndicatorY=12\n");
        Settings settings;
        SaveManager(path()).load_settings(settings);
        QCOMPARE(settings.indicator_position, QPoint(0, 12));
    }

    void read_only_file_keeps_the_program_running()
    {
        if (::geteuid() == 0)
            QSKIP("root writes read-only files");
        write_file("[General]\nSaveVersion=2\nIsStackpastePaused=true\n");
        QFile::setPermissions(path(), QFile::ReadOwner);
        Settings settings;
        SaveManager store(path());
        store.load_settings(settings);
        QCOMPARE(settings.history.is_stackpaste_paused, true);
        settings.history.is_stackpaste_paused = false;
        store.save_settings(settings);
        QVERIFY(!store.sync());
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
    }

    void unwritable_folder_reports_and_carries_on()
    {
        // A file below a regular file can never be created, whoever runs the test.
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        QFile(blocker).open(QIODevice::WriteOnly);
        SaveManager store(blocker + QStringLiteral("/Stackpaste_settings.ini"));
        Settings settings;
        store.load_settings(settings);
        QCOMPARE(settings.is_first_start, true);
        store.save_settings(settings);
        QVERIFY(!store.sync());
    }
};

QTEST_GUILESS_MAIN(TestSaveManager)
#include "TestSaveManager.moc"
