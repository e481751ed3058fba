// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MimeCopy.h"
#include "core/SaveManager.h"
#include "fakes/FakeKeyboard.h"
#include "fakes/FakePasteTrigger.h"
#include "platform/StartUpEntry.h"
#include "support/AppWindows.h"
#include "ui/App.h"
#include "ui/StatusIndicator.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

// App on the offscreen platform: its clipboard lives in the process, the keyboard is a fake.
class TestApp : public QObject {
    Q_OBJECT

    FakeKeyboard* m_keys = nullptr;

    std::unique_ptr<App> make_app()
    {
        auto keyboard = std::make_unique<FakeKeyboard>();
        m_keys = keyboard.get();
        return std::make_unique<App>(std::move(keyboard));
    }
    static QClipboard* clipboard() { return QGuiApplication::clipboard(); }
    static QString settings_path() { return SaveManager::default_path(); }
    static void write_settings(const QByteArray& content)
    {
        QFile file(settings_path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    void paste() { m_keys->press(Keyboard::k_key_v); }

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(qEnvironmentVariable("HOME").contains(QLatin1String("stackpaste-test")),
                 "run through scripts/test-session");
    }

    void init()
    {
        QFile::remove(settings_path());
        clipboard()->clear();
    }

    void first_start_shows_the_window_and_is_stored_as_done()
    {
        {
            auto app = make_app();
            QVERIFY(app->isVisible());
            QVERIFY(QFile::exists(start_up_entry_path()));
        }
        QCOMPARE(QSettings(settings_path(), QSettings::IniFormat).value("IsFirstStart").toString(),
                 QStringLiteral("false"));
        auto again = make_app();
        QVERIFY(!again->isVisible());
        again->close();
    }

    void loaded_mode_survives_the_mode_box_being_filled()
    {
        write_settings("[General]\nSaveVersion=2\nIsFirstStart=false\nPasteOrder=forward\n"
                       "UseAutomaticPositionMovement=false\nStartAtStartup=false\n");
        auto app = make_app();
        QCOMPARE(app->history().paste_order(), PasteOrder::forward);
        QCOMPARE(app->history().use_automatic_position_movement(), false);
        QVERIFY(!QFile::exists(start_up_entry_path()));
    }

    void copies_paste_back_newest_first_and_pastes_are_not_recorded_data()
    {
        QTest::addColumn<bool>("rich");
        QTest::newRow("mime history") << true;
        QTest::newRow("text history") << false;
    }

    void copies_paste_back_newest_first_and_pastes_are_not_recorded()
    {
        QFETCH(bool, rich);
        auto app = make_app();
        if (app->history().is_rich_text_copy_enabled() != rich)
            app->enable_or_disable_rich_text_copy();
        for (const char* text : {"X", "Y", "Z"})
            clipboard()->setText(QString::fromLatin1(text));
        QCOMPARE(app->history().size(), 3);
        QCOMPARE(window_of<StatusIndicator>(*app)->number_text().toInt(), 3);

        paste();
        QCOMPARE(clipboard()->text(), QStringLiteral("Z"));
        paste();
        QCOMPARE(clipboard()->text(), QStringLiteral("Y"));
        QCOMPARE(app->history().size(), 3);

        clipboard()->setText(QStringLiteral("W")); // the change after a paste is recorded again
        QCOMPARE(app->history().size(), 4);
        paste();
        QCOMPARE(clipboard()->text(), QStringLiteral("W"));
        paste();
        QCOMPARE(clipboard()->text(), QStringLiteral("X"));
    }

    // A backend that learns of a paste only once the program has read the clipboard: the same items in the same
    // order, the copy made between pastes included.
    void pastes_noticed_after_the_read_take_the_same_items()
    {
        auto trigger = std::make_unique<FakePasteTrigger>();
        FakePasteTrigger* served = trigger.get();
        App app(std::make_unique<FakeKeyboard>(), std::move(trigger));
        for (const char* text : {"X", "Y", "Z"})
            clipboard()->setText(QString::fromLatin1(text));
        QStringList read;
        const auto paste = [&] {
            read << clipboard()->text();
            served->served();
        };
        paste();
        paste();
        clipboard()->setText(QStringLiteral("W"));
        paste();
        paste();
        QCOMPARE(read, (QStringList{"Z", "Y", "W", "X"}));
        QCOMPARE(app.history().size(), 4);
    }

    void keys_without_control_or_other_letters_do_nothing()
    {
        auto app = make_app();
        clipboard()->setText(QStringLiteral("X"));
        clipboard()->setText(QStringLiteral("Y"));
        m_keys->press(Keyboard::k_key_v, false);
        m_keys->press('A');
        QCOMPARE(app->history().position(), 1);
        QCOMPARE(clipboard()->text(), QStringLiteral("Y"));
    }

    void paste_that_cannot_act_leaves_the_clipboard_alone_data()
    {
        QTest::addColumn<QString>("case_name");
        QTest::newRow("paused") << "paused";
        QTest::newRow("empty history") << "empty";
        QTest::newRow("file url in the text history") << "file";
    }

    void paste_that_cannot_act_leaves_the_clipboard_alone()
    {
        QFETCH(QString, case_name);
        auto app = make_app();
        if (case_name == QLatin1String("file")) {
            app->enable_or_disable_rich_text_copy();
            clipboard()->setText(QStringLiteral("see file:///etc/passwd"));
            QCOMPARE(app->history().size(), 1);
        } else if (case_name == QLatin1String("paused")) {
            clipboard()->setText(QStringLiteral("X"));
        }
        // Another program's content, not recorded: the paste would have to replace it.
        app->pause_or_resume_stackpaste();
        auto* foreign = new QMimeData;
        foreign->setText(QStringLiteral("current"));
        clipboard()->setMimeData(foreign);
        if (case_name != QLatin1String("paused"))
            app->pause_or_resume_stackpaste();
        QCOMPARE(app->history().size(), case_name == QLatin1String("empty") ? 0 : 1);
        const int items = app->history().size();
        const int position = app->history().position();

        paste();
        QCOMPARE(clipboard()->text(), QStringLiteral("current"));
        QCOMPARE(app->history().position(), position);

        // Nothing of the paste lingers: the next real copy is recorded (unless paused).
        clipboard()->setText(QStringLiteral("next"));
        QCOMPARE(app->history().size(), items + (case_name == QLatin1String("paused") ? 0 : 1));
    }

    // An owner that went away and a password manager's secret are no copies of the user's: the lock and the position
    // stay as they were.
    void changes_the_user_did_not_make_keep_the_lock()
    {
        auto app = make_app();
        clipboard()->setText(QStringLiteral("X"));
        clipboard()->setText(QStringLiteral("Y"));
        app->clipboard_history_go_back();
        app->lock_current_position();
        const int position = app->history().position();
        clipboard()->clear();
        auto* secret = new QMimeData;
        secret->setText(QStringLiteral("hunter2"));
        secret->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
        clipboard()->setMimeData(secret);
        QVERIFY(app->history().is_position_locked());
        QCOMPARE(app->history().position(), position);
        QCOMPARE(app->history().size(), 2);
    }

    void copy_key_releases_a_lock_before_the_copy_is_recorded()
    {
        auto app = make_app();
        clipboard()->setText(QStringLiteral("X"));
        clipboard()->setText(QStringLiteral("Y"));
        app->lock_current_position();
        paste();
        paste();
        QCOMPARE(clipboard()->text(), QStringLiteral("Y"));
        m_keys->press(Keyboard::k_key_c);
        QVERIFY(!app->history().is_position_locked());
        clipboard()->setText(QStringLiteral("Z"));
        paste();
        QCOMPARE(clipboard()->text(), QStringLiteral("Z"));
    }

    void cut_key_keeps_the_lock_until_the_capture()
    {
        auto app = make_app();
        clipboard()->setText(QStringLiteral("X"));
        app->lock_current_position();
        m_keys->press(Keyboard::k_key_x);
        QVERIFY(app->history().is_position_locked());
        clipboard()->setText(QStringLiteral("Y"));
        QVERIFY(!app->history().is_position_locked());
        QCOMPARE(app->history().size(), 2);
    }

    void owner_going_away_records_nothing()
    {
        auto app = make_app();
        clipboard()->setText(QStringLiteral("X"));
        clipboard()->clear();
        QCOMPARE(app->history().size(), 1);
    }

    void secrets_are_never_recorded()
    {
        auto app = make_app();
        auto* secret = new QMimeData;
        secret->setText(QStringLiteral("hunter2"));
        secret->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
        clipboard()->setMimeData(secret);
        QCOMPARE(app->history().size(), 0);
    }

    void keyboard_is_on_after_start_whatever_the_setting_says_data()
    {
        QTest::addColumn<bool>("wanted");
        QTest::newRow("wanted") << true;
        QTest::newRow("not wanted") << false;
    }

    void keyboard_is_on_after_start_whatever_the_setting_says()
    {
        QFETCH(bool, wanted);
        write_settings("[General]\nSaveVersion=2\nIsFirstStart=false\nUseKeyboardShortcuts=" +
                       QByteArray(wanted ? "true" : "false") + "\nUseHiddenFeaturesNotifications=false\n");
        auto app = make_app();
        QVERIFY(m_keys->m_hooked);
        QCOMPARE(app->is_keyboard_hook_connected(), wanted);
        // The spell only stores the switch; the keyboard follows it when it is connected again.
        app->activate_hidden_feature(wanted ? QStringLiteral("off keyboard shortcuts")
                                            : QStringLiteral("on keyboard shortcuts"));
        QCOMPARE(app->is_keyboard_hook_connected(), wanted);
        app->reconnect_keyboard_hook();
        QCOMPARE(app->is_keyboard_hook_connected(), !wanted);
        QCOMPARE(m_keys->m_hooked, !wanted);
    }

    void quitting_removes_every_snapshot()
    {
        QString temp_path;
        {
            auto app = make_app();
            temp_path = app->mime_copy().path();
            QVERIFY(QFileInfo(temp_path + "/temp").isDir());
            QVERIFY(QFileInfo(temp_path + "/curr").isDir());
            QFile file(temp_path + "/temp/left-behind");
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(!QFileInfo::exists(temp_path));
    }

    void quit_saves_what_the_window_changed()
    {
        {
            auto app = make_app();
            app->on_change_mode_button_clicked();
            app->slot_combobox_edit_text_changed(QStringLiteral("Automatic Forward"));
            window_of<StatusIndicator>(*app)->move_to(QPoint(40, 50));
            app->quit();
        }
        Settings settings;
        SaveManager(settings_path()).load_settings(settings);
        QCOMPARE(settings.history.is_stackpaste_paused, true);
        QCOMPARE(settings.history.paste_order, PasteOrder::forward);
        QCOMPARE(settings.indicator_position, QPoint(40, 50));
    }
};

QTEST_MAIN(TestApp)
#include "TestApp.moc"
