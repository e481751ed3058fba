// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SaveManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The text of an order the program does not know, kept for the file.
static QString kept_order(const Settings& settings)
{
    return settings.history.unknown_order_text.value_or(QStringLiteral("(none)"));
}

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

    QByteArray file_text() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QString config_path()
    {
        return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/") +
               SaveManager::k_file_name;
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
        settings.history.paste_order = PasteOrder::forward;
        settings.indicator_position = QPoint(5, 5);
        {
            SaveManager store(path());
            store.load_settings(settings);
        }
        const Settings defaults;
        QCOMPARE(settings.is_first_start, true);
        QCOMPARE(settings.hidden_features_help_already_shown, false);
        QCOMPARE(settings.history.paste_order, PasteOrder::backward);
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
        saved.history = {PasteOrder::backward, false, true, false, QStringLiteral("sideways")};
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
        QCOMPARE(kept_order(loaded), QStringLiteral("sideways")); // kept unchanged
        QCOMPARE(loaded.history.paste_order, PasteOrder::backward);
        QCOMPARE(loaded.history.use_automatic_position_movement, false);
        QCOMPARE(loaded.history.is_stackpaste_paused, true);
        QCOMPARE(loaded.history.is_rich_text_copy_enabled, false);
        QCOMPARE(loaded.indicator_position, QPoint(-20, 700));
        QCOMPARE(loaded.ignore_monitors, QList<int>({1, 3, 3}));
        QCOMPARE(QSettings(path(), QSettings::IniFormat).value("IgnoreMonitors").toString(), QStringLiteral("1:3:3:"));
    }

    // Reassigned shortcuts outlive the run, the characters the ini format treats specially included; an absent key
    // is the default, and a reset gives every default back.
    void shortcuts_are_kept_per_command()
    {
        Settings saved;
        saved.shortcuts[0] = QStringLiteral("Ctrl+,");
        saved.shortcuts[7] = QStringLiteral("Ctrl+Shift+Left");
        saved.shortcuts[11] = QStringLiteral("Ctrl+Alt+\\");
        saved.shortcuts[10] = QString();
        SaveManager(path()).save_settings(saved);
        Settings loaded;
        SaveManager(path()).load_settings(loaded);
        QCOMPARE(loaded.shortcuts, saved.shortcuts);

        write_file("[General]\nSaveVersion=2\nShortcutClipboardUndoWithArrow=Ctrl+Alt+J\n");
        SaveManager(path()).load_settings(loaded);
        auto expected = Settings::default_shortcuts();
        expected[7] = QStringLiteral("Ctrl+Alt+J");
        QCOMPARE(loaded.shortcuts, expected);

        SaveManager store(path());
        store.reset_settings();
        store.load_settings(loaded);
        QCOMPARE(loaded.shortcuts, Settings::default_shortcuts());
    }

    // The ini format reads an unquoted comma as a list and drops the spaces around it; an odd order written by
    // hand still reads, saves and reads again exactly as written.
    void hand_written_text_with_commas_is_kept_exactly_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("order");
        QTest::newRow("no spaces") << QByteArray("PasteOrder=forward,backward") << "forward,backward";
        QTest::newRow("odd spaces") << QByteArray("PasteOrder=forward ,  backward") << "forward ,  backward";
        QTest::newRow("outer spaces trimmed") << QByteArray("PasteOrder =  forward, backward  ") << "forward, backward";
        QTest::newRow("empty pieces") << QByteArray("PasteOrder=a,,b,") << "a,,b,";
        QTest::newRow("quoted text") << QByteArray("PasteOrder=\"forward,backward\"") << "forward,backward";
    }

    void hand_written_text_with_commas_is_kept_exactly()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, order);
        write_file("[General]\nSaveVersion=2\n" + line + "\n[Other]\nPasteOrder=x,y\n");
        Settings loaded;
        {
            SaveManager store(path());
            store.load_settings(loaded);
            QCOMPARE(kept_order(loaded), order);
            store.save_settings(loaded);
        }
        Settings again;
        SaveManager(path()).load_settings(again);
        QCOMPARE(kept_order(again), order);
    }

    // A typo in a hand-edited order must not drop every copy and paste: it walks as backward, and the file keeps
    // the text until the user changes the order.
    void misspelt_order_walks_backward_and_stays_until_changed()
    {
        write_file("[General]\nSaveVersion=2\nIsFirstStart=false\nPasteOrder=forwrd\n");
        Settings settings;
        ClipboardHistory history;
        {
            SaveManager store(path());
            store.load_settings(settings);
            history.set_options(settings.history);
            history.set_rich_text_copy_enabled(false);
            for (const char* text : {"one", "two", "three"}) {
                history.copy_step();
                QVERIFY(history.add_text(QString::fromLatin1(text)));
            }
            QCOMPARE(history.size(), 3);
            QStringList pasted;
            for (int i = 0; i < 3; ++i)
                pasted << history.text_at(history.paste_step().value_or(-1));
            QCOMPARE(pasted, QStringList({"three", "two", "one"}));
            settings.history = history.options();
            store.save_settings(settings);
        }
        QVERIFY(file_text().contains("\nPasteOrder=forwrd\n"));

        history.switch_paste_order();
        {
            SaveManager store(path());
            settings.history = history.options();
            store.save_settings(settings);
        }
        QVERIFY(file_text().contains("\nPasteOrder=forward\n"));

        // Picking a mode also writes a real order.
        settings.history.unknown_order_text = QStringLiteral("forwrd");
        settings.history.paste_order = PasteOrder::backward;
        history.set_options(settings.history);
        history.set_mode(Mode::manual);
        QCOMPARE(history.paste_order(), PasteOrder::backward);
        QVERIFY(!history.options().unknown_order_text);
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
        QCOMPARE(keys_in_file().size(), 17 + k_shortcut_count);
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

    // Beside the executable only for a portable copy that can keep its file there; anything else would make every
    // start a first start, or hang it.
    void settings_lie_beside_a_portable_copy_only_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("beside");
        QTest::newRow("no file yet") << "none" << true;
        QTest::newRow("writable file") << "file" << true;
        QTest::newRow("symlink to a writable file") << "link to file" << true;
        QTest::newRow("read-only file") << "read-only" << false;
        QTest::newRow("FIFO") << "fifo" << false;
        QTest::newRow("symlink to a FIFO") << "link to fifo" << false;
        QTest::newRow("folder") << "folder" << false;
    }

    void settings_lie_beside_a_portable_copy_only()
    {
        QFETCH(QString, kind);
        QTemporaryDir folder;
        const QString file = folder.filePath(SaveManager::k_file_name);
        const QByteArray target = QFile::encodeName(folder.filePath(QStringLiteral("target")));
        if (kind == QLatin1String("file") || kind == QLatin1String("read-only")) {
            QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else if (kind.startsWith(QLatin1String("link to"))) {
            if (kind.endsWith(QLatin1String("fifo")))
                QCOMPARE(::mkfifo(target.constData(), 0600), 0);
            else
                QVERIFY(QFile(QFile::decodeName(target)).open(QIODevice::WriteOnly));
            QVERIFY(QFile::link(QFile::decodeName(target), file));
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(file));
        }
        if (kind == QLatin1String("read-only"))
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
        QFETCH(bool, beside);
        QCOMPARE(SaveManager::path_for(folder.path()), beside ? file : config_path());
    }

    // An installed program never writes beside its executable, even run by root, who can write there.
    void installed_program_keeps_its_settings_in_the_config_folder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("installed");
        for (const char* folder : {"/usr/bin", "/usr/local/bin", "/usr/games", "/usr", "/bin", "/sbin", "/usr/sbin",
                                   "/opt/stackpaste/bin", "/lib64/stackpaste", "/"})
            QTest::newRow(folder) << folder << true;
        QTest::newRow("link to /usr/bin") << "link" << true;
        for (const char* folder : {"/home/user/bin", "/usrlocal/bin", "/optional", "/usr/../home/user", "/tmp/x"})
            QTest::newRow(folder) << folder << false;
    }

    void installed_program_keeps_its_settings_in_the_config_folder()
    {
        QFETCH(QString, folder);
        QFETCH(bool, installed);
        if (folder == QLatin1String("link")) {
            folder = m_dir.filePath(QStringLiteral("bin"));
            QVERIFY(QFileInfo(folder).isSymLink() || QFile::link(QStringLiteral("/usr/bin"), folder));
        }
        QCOMPARE(SaveManager::is_system_folder(folder), installed);
        if (installed)
            QCOMPARE(SaveManager::path_for(folder), config_path());
    }

    // An installation under any prefix keeps its settings in the user's folder, never in a bin/ shared with others.
    void an_installation_under_any_prefix_is_no_portable_copy()
    {
        const QString prefix = m_dir.filePath(QStringLiteral("prefix"));
        const QString bin = prefix + QStringLiteral("/bin");
        QVERIFY(QDir().mkpath(bin));
        QCOMPARE(SaveManager::path_for(bin), bin + QStringLiteral("/Stackpaste_settings.ini"));
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/share/applications")));
        QFile entry(prefix + QStringLiteral("/share/applications/org.stackpaste.Stackpaste.desktop"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.close();
        QVERIFY(SaveManager::is_installed_layout(bin));
        QCOMPARE(SaveManager::path_for(bin), config_path());
        // A portable folder that merely sits beside such a tree is still portable.
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/portable")));
        QVERIFY(!SaveManager::is_installed_layout(prefix + QStringLiteral("/portable")));
    }

    // Reading a FIFO never ends: the store must not open one. It runs in a child process, so that a hang fails
    // this test instead of stopping the whole run.
    void fifo_is_never_opened()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            Settings settings;
            settings.is_first_start = false;
            SaveManager store(path());
            store.load_settings(settings);
            store.save_settings(settings);
            const bool synced = store.sync();
            ::_exit(settings.is_first_start && !synced ? 0 : 1);
        }
        QVERIFY(child > 0);
        int status = 0;
        const bool ended = QTest::qWaitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 30000);
        if (!ended) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
        QVERIFY2(ended, "the settings store hangs on a FIFO");
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "a FIFO gives the defaults and is never written");
        struct stat info = {};
        QCOMPARE(::lstat(QFile::encodeName(path()).constData(), &info), 0);
        QVERIFY(S_ISFIFO(info.st_mode));
    }

    // A file that could not be read is neither emptied by the version rule nor saved over: the user's settings
    // stay on the disk, and the program runs on the defaults.
    void file_that_could_not_be_read_is_left_as_it_is_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("readable");
        QTest::newRow("no read permission")
            << QByteArray("[General]\nSaveVersion=2\nIsStackpastePaused=true\n") << false;
        QTest::newRow("no read permission, other version")
            << QByteArray("[General]\nSaveVersion=1\nIsStackpastePaused=true\n") << false;
        QTest::newRow("broken section header")
            << QByteArray("[General\nSaveVersion=2\nIsStackpastePaused=true\n") << true;
        QTest::newRow("broken section header, no version")
            << QByteArray("IsStackpastePaused=true\n[Other\nx=1\n") << true;
    }

    void file_that_could_not_be_read_is_left_as_it_is()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, readable);
        write_file(content);
        if (!readable)
            QVERIFY(QFile::setPermissions(path(), QFile::WriteOwner));
        Settings settings;
        {
            SaveManager store(path());
            store.load_settings(settings);
            QCOMPARE(settings.history.is_stackpaste_paused, false);
            QCOMPARE(settings.is_first_start, true);
            settings.is_first_start = false;
            store.save_settings(settings);
            QVERIFY(!store.sync());
        }
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(file_text(), content);
    }

    // A read-only file is the user's word: it is read at every start, and only the saving goes to the fallback file.
    // Of the two, the newer says what a key is: the values saved after the file was read, or a later hand edit.
    void a_read_only_file_is_read_and_saved_to_the_fallback()
    {
        const QString fallback = m_dir.filePath(QStringLiteral("fallback/Stackpaste_settings.ini"));
        QVERIFY(QDir().mkpath(QFileInfo(fallback).path()));
        const QByteArray content("[General]\nSaveVersion=2\nIsFirstStart=false\nStartAtStartup=false\n");
        write_file(content);
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        Settings settings;
        {
            SaveManager store(path(), fallback);
            store.load_settings(settings);
            QCOMPARE(settings.is_first_start, false);
            QCOMPARE(settings.start_at_startup, false);
            QCOMPARE(store.file_path(), fallback);
            settings.history.is_stackpaste_paused = true;
            store.save_settings(settings);
            QVERIFY(store.sync());
        }
        QCOMPARE(file_text(), content);
        Settings again;
        SaveManager(path(), fallback).load_settings(again);
        QCOMPARE(again.is_first_start, false);
        QCOMPARE(again.history.is_stackpaste_paused, true);

        // Edited by hand later: its keys win, the others still come from the saved file.
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner));
        write_file("[General]\nSaveVersion=2\nStartAtStartup=true\n");
        QFile edited(path());
        QVERIFY(edited.open(QIODevice::ReadWrite));
        QVERIFY(edited.setFileTime(QFileInfo(fallback).lastModified().addSecs(60), QFileDevice::FileModificationTime));
        edited.close();
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner));
        Settings edited_settings;
        SaveManager(path(), fallback).load_settings(edited_settings);
        QCOMPARE(edited_settings.start_at_startup, true);
        QCOMPARE(edited_settings.is_first_start, false);
        QCOMPARE(edited_settings.history.is_stackpaste_paused, true);
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner));
    }

    // A folder or a FIFO at the path is left alone; the fallback file, when there is one, is read and saved to.
    void what_is_no_file_leaves_the_fallback_in_charge_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("folder") << false;
        QTest::newRow("FIFO") << true;
    }
    void what_is_no_file_leaves_the_fallback_in_charge()
    {
        QFETCH(bool, fifo);
        QTemporaryDir folder;
        const QString at = folder.filePath(SaveManager::k_file_name);
        const QString fallback = folder.filePath(QStringLiteral("fallback.ini"));
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(at).constData(), 0600), 0);
        else
            QVERIFY(QDir().mkdir(at));
        QFile saved(fallback);
        QVERIFY(saved.open(QIODevice::WriteOnly));
        saved.write("[General]\nSaveVersion=2\nIsFirstStart=false\n");
        saved.close();
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("is not a regular file.*saved in")));
        SaveManager store(at, fallback);
        Settings settings;
        store.load_settings(settings);
        QCOMPARE(settings.is_first_start, false);
        QVERIFY(store.sync());
        QCOMPARE(QFileInfo(at).isDir(), !fifo);
    }

    // A hand-written boolean that is none is its key's default, with a line that says so; every boolean key alike.
    void a_boolean_that_is_none_is_the_default_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("value"); // -1: each key's default
        QTest::newRow("maybe") << QByteArray("maybe") << -1;
        QTest::newRow("yes") << QByteArray("yes") << -1;
        QTest::newRow("a list") << QByteArray("true,false") << -1;
        QTest::newRow("empty") << QByteArray("") << -1;
        QTest::newRow("TRUE") << QByteArray("TRUE") << 1;
        QTest::newRow("1") << QByteArray("1") << 1;
        QTest::newRow("false") << QByteArray("false") << 0;
        QTest::newRow("0") << QByteArray("0") << 0;
    }
    void a_boolean_that_is_none_is_the_default()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, value);
        write_file("[General]\nSaveVersion=2\nIsStackpastePaused=" + text + "\nUseKeyboardShortcuts=" + text + "\n");
        if (value < 0) {
            for (const char* key : {"IsStackpastePaused", "UseKeyboardShortcuts"})
                QTest::ignoreMessage(
                    QtDebugMsg,
                    QRegularExpression(QStringLiteral("%1 holds .* neither true nor false").arg(QLatin1String(key))));
        }
        Settings settings;
        SaveManager(path()).load_settings(settings);
        QCOMPARE(settings.history.is_stackpaste_paused, value < 0 ? false : value == 1);
        QCOMPARE(settings.use_keyboard_shortcuts, value < 0 ? true : value == 1);
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
