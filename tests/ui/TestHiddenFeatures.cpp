// SPDX-License-Identifier: GPL-3.0-or-later
// The spells, their settings and notifications, the spell window, the help, note and debug windows, offscreen.
#include "core/SaveManager.h"
#include "fakes/FakeKeyboard.h"
#include "platform/StartUpEntry.h"
#include "support/AppWindows.h"
#include "ui/App.h"
#include "ui/HelperDialog.h"
#include "ui/HiddenFeatures.h"
#include "ui/InputDialog.h"
#include "ui/MessageBox.h"
#include "ui/NoteDialog.h"
#include "ui/ShortcutsDialog.h"
#include "ui/StatusIndicator.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

struct Notification {
    QString title;
    QString message;
};

// Records the addresses the program asks the desktop to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

class TestHiddenFeatures : public QObject {
    Q_OBJECT

    QList<Notification> m_notifications;
    UrlRecorder m_urls;

    static QString settings_path() { return SaveManager::default_path(); }
    static QVariant stored(const char* key) { return QSettings(settings_path(), QSettings::IniFormat).value(key); }
    static std::unique_ptr<App> make_app(const QByteArray& extra = {})
    {
        QFile file(settings_path());
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write("[General]\nSaveVersion=2\nIsFirstStart=false\n" + extra);
        file.close();
        return std::make_unique<App>(std::make_unique<FakeKeyboard>());
    }
    // As typed into the spell window. The settings file is read through QSettings, which sees what the App's own
    // QSettings has not written yet.
    static void cast(App& app, const char* spell) { app.activate_hidden_feature(QString::fromUtf8(spell)); }
    static InputDialog* spell_window(App& app) { return window_of<InputDialog>(app); }
    QStringList titles() const
    {
        QStringList list;
        for (const Notification& notification : m_notifications)
            list << notification.title;
        return list;
    }

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(qEnvironmentVariable("HOME").contains(QLatin1String("stackpaste-test")),
                 "run through scripts/test-session");
        message_box::set_information_recorder([this](const QString& title, const QString& text) {
            m_notifications.append({title, text});
        });
        for (const char* scheme : {"file", "https", "http"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_urls, "open");
    }

    void init()
    {
        m_notifications.clear();
        m_urls.urls.clear();
        QFile::remove(settings_path());
        QFile::remove(start_up_entry_path());
    }

    void each_spell_stores_its_setting_and_says_so_data()
    {
        QTest::addColumn<QByteArray>("spell");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("title");
        QTest::newRow("hidden features off") << QByteArray("disable hidden features") << "UseHiddenFeatures"
                                             << "false"
                                             << "Hidden features disabled";
        QTest::newRow("hidden features on") << QByteArray("On HIDDEN   features ") << "UseHiddenFeatures"
                                            << "true"
                                            << "";
        QTest::newRow("start at startup off") << QByteArray("stop start at startup") << "StartAtStartup"
                                              << "false"
                                              << "Start at startup disabled";
        QTest::newRow("create shortcuts")
            << QByteArray("no create shortcuts automatically") << "CreateShortcutsAutomatically"
            << "false"
            << "Create shortcuts disabled";
        QTest::newRow("tray icon rotation") << QByteArray("halt tray icon rotation") << "UseSpinningTrayIcon"
                                            << "false"
                                            << "Tray icon rotation is disabled";
        QTest::newRow("monitor off") << QByteArray("off monitor 2") << "IgnoreMonitors"
                                     << "2:"
                                     << "Monitor 2 disabled";
        QTest::newRow("monitor negative") << QByteArray("off monitor -2147483648") << "IgnoreMonitors"
                                          << "-2147483648:"
                                          << "Monitor -2147483648 disabled";
        QTest::newRow("inverted icons") << QByteArray("false inverted icons") << "UseInvertedIcons"
                                        << "false"
                                        << "Inverted icons disabled";
        QTest::newRow("keyboard shortcuts") << QByteArray("off keyboard shortcuts") << "UseKeyboardShortcuts"
                                            << "false"
                                            << "Keyboard shortcuts disabled";
        QTest::newRow("notifications off")
            << QByteArray("off hidden features notifications") << "UseHiddenFeaturesNotifications"
            << "false"
            << "Notifications disabled";
        QTest::newRow("reset colors") << QByteArray("reset colors") << ""
                                      << ""
                                      << "Reset colors";
        QTest::newRow("reset") << QByteArray("RESET") << ""
                               << ""
                               << "Reset colors";
        QTest::newRow("invert") << QByteArray("invert") << ""
                                << ""
                                << "Invert";
        QTest::newRow("software mouse") << QByteArray("use software mouse") << ""
                                        << ""
                                        << "Software cursor enabled";
        QTest::newRow("hardware cursor") << QByteArray("off software cursor") << ""
                                         << ""
                                         << "Hardware cursor enabled";
        QTest::newRow("deadpoll") << QByteArray("on deadpoll") << ""
                                  << ""
                                  << "";
        QTest::newRow("integer for a bool") << QByteArray("1 hidden features") << ""
                                            << ""
                                            << "Invalid spell";
        QTest::newRow("word for a number") << QByteArray("on monitor two") << ""
                                           << ""
                                           << "Invalid spell";
        // Narrowed to 32 bits it would be monitor 1.
        QTest::newRow("monitor beyond 32 bits") << QByteArray("off monitor 4294967297") << "IgnoreMonitors"
                                                << ""
                                                << "Invalid spell";
    }
    void each_spell_stores_its_setting_and_says_so()
    {
        QFETCH(QByteArray, spell);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, title);
        for (const bool notifications : {true, false}) {
            m_notifications.clear();
            auto app = make_app(notifications ? "" : "UseHiddenFeaturesNotifications=false\n");
            cast(*app, spell);
            if (!key.isEmpty())
                QCOMPARE(stored(qPrintable(key)).toString(), value);
            QCOMPARE(titles(), notifications && !title.isEmpty() ? QStringList{title} : QStringList{});
            // Every spell, valid or not, ends with a save.
            QVERIFY(stored("UseInvertedIcons").isValid());
        }
    }

    void monitor_spells_keep_one_entry_each()
    {
        auto app = make_app("IgnoreMonitors=3:\n");
        cast(*app, "off monitor 2");
        cast(*app, "off monitor 2");
        QCOMPARE(stored("IgnoreMonitors").toString(), QStringLiteral("3:2:"));
        QCOMPARE(m_notifications.last().message,
                 QStringLiteral("Stackpaste will not apply color changes to Monitor 2"));
        cast(*app, "on monitor 3");
        QCOMPARE(stored("IgnoreMonitors").toString(), QStringLiteral("2:"));
        QCOMPARE(m_notifications.last().title, QStringLiteral("Monitor 3 enabled"));
    }

    void notifications_switched_by_their_old_value()
    {
        auto app = make_app("UseHiddenFeaturesNotifications=false\n");
        cast(*app, "on hidden features notifications");
        QVERIFY(m_notifications.isEmpty());
        cast(*app, "invert colors");
        QCOMPARE(titles(), QStringList{QStringLiteral("Invert")});
        cast(*app, "on hidden features notifications");
        QCOMPARE(titles().last(), QStringLiteral("Notifications enabled"));
    }

    void invalid_spell_repeats_what_was_typed()
    {
        auto app = make_app();
        cast(*app, "xyz Ä");
        QCOMPARE(m_notifications.size(), 1);
        QCOMPARE(m_notifications.at(0).message,
                 QStringLiteral("The spell \"xyz Ä\" seems wrong. Check the syntax or try with some other hidden "
                                "feature.\nUse \"help\" to see the list of all hidden features :)"));
    }

    void hidden_features_off_takes_the_tray_entry_away()
    {
        auto app = make_app();
        QVERIFY(window_of<TrayIcon>(*app)->menu_texts().contains(QStringLiteral("&Hidden features")));
        cast(*app, "disable hidden features");
        QVERIFY(!window_of<TrayIcon>(*app)->menu_texts().contains(QStringLiteral("&Hidden features")));
    }

    void start_at_startup_writes_and_removes_the_autostart_entry()
    {
        auto app = make_app("StartAtStartup=false\n");
        QVERIFY(!QFile::exists(start_up_entry_path()));
        cast(*app, "enable start at startup");
        QVERIFY(QFile::exists(start_up_entry_path()));
        QCOMPARE(titles(), QStringList{QStringLiteral("Start at startup enabled")});
        cast(*app, "disable start at startup");
        QVERIFY(!QFile::exists(start_up_entry_path()));
    }

    void pages_open_through_the_desktop()
    {
        auto app = make_app();
        cast(*app, "help");
        cast(*app, "Obicham   TE");
        cast(*app, "affiliate");
        QCOMPARE(m_urls.urls.size(), 3);
        // The page that ships with the program, beside the test's executable or installed; the site otherwise.
        QVERIFY2(m_urls.urls.at(0).toString().contains(QLatin1String("hidden-features")),
                 qPrintable(m_urls.urls.at(0).toString()));
        QVERIFY(m_urls.urls.at(1).toString().endsWith(QLatin1String("/videos/obicham-te")));
        QVERIFY(m_urls.urls.at(2).toString().endsWith(QLatin1String("/affiliate")));
        QVERIFY(m_notifications.isEmpty());
    }

    // What the user changed comes back to a fresh installation's values in memory, on screen and in the file.
    void reset_settings_leaves_the_defaults()
    {
        auto app = make_app("StartAtStartup=false\nPasteOrder=forward\nIsRichTextCopyEnabled=false\n"
                            "UseHiddenFeatures=false\nIgnoreMonitors=4:\nIndicatorX=300\nIndicatorY=200\n"
                            "ShortcutPauseOrResume=Ctrl+Alt+P\nHiddenFeaturesHelpAlreadyShown=true\n");
        QCOMPARE(app->history().paste_order(), PasteOrder::forward);
        cast(*app, "reset settings");
        QCOMPARE(titles(), QStringList{QStringLiteral("Reset settings")});
        QCOMPARE(app->history().paste_order(), PasteOrder::backward);
        QVERIFY(app->history().is_rich_text_copy_enabled());
        QCOMPARE(app->mode_text(), QStringLiteral("Automatic Backward"));
        QVERIFY(window_of<TrayIcon>(*app)->menu_texts().contains(QStringLiteral("&Hidden features")));
        QCOMPARE(app->shortcuts_dialog()->shortcut_texts()[1], QStringLiteral("Ctrl+Alt+0"));
        QVERIFY(QFile::exists(start_up_entry_path()));

        QSettings file(settings_path(), QSettings::IniFormat);
        QCOMPARE(file.value("SaveVersion").toString(), QStringLiteral("2"));
        QCOMPARE(file.value("PasteOrder").toString(), QStringLiteral("backward"));
        QCOMPARE(file.value("StartAtStartup").toString(), QStringLiteral("true"));
        QCOMPARE(file.value("UseHiddenFeatures").toString(), QStringLiteral("true"));
        QCOMPARE(file.value("IsRichTextCopyEnabled").toString(), QStringLiteral("true"));
        QCOMPARE(file.value("HiddenFeaturesHelpAlreadyShown").toString(), QStringLiteral("false"));
        QCOMPARE(file.value("IgnoreMonitors").toString(), QString());
        QCOMPARE(file.value("ShortcutPauseOrResume").toString(), QStringLiteral("Ctrl+Alt+0"));
        // This start has happened: the next one is no first start.
        QCOMPARE(file.value("IsFirstStart").toString(), QStringLiteral("false"));
    }

    // A reset never takes the user's items away: a history that holds items keeps its kind, says so, and a forward
    // walk turns backward with the whole history left to paste.
    void reset_settings_keeps_what_is_left_to_paste()
    {
        auto app = make_app("IsRichTextCopyEnabled=false\nPasteOrder=forward\n");
        for (const char* text : {"X", "Y", "Z"}) {
            app->history().copy_step();
            app->add_to_stackpaste_text_history(QString::fromLatin1(text));
        }
        app->paste_from_stackpaste_clipboard();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("X"));
        cast(*app, "reset settings");
        QVERIFY(!app->history().is_rich_text_copy_enabled());
        QCOMPARE(app->history().paste_order(), PasteOrder::backward);
        QCOMPARE(app->history().indices_left_to_paste(), (QList<int>{2, 1, 0}));
        QCOMPARE(window_of<StatusIndicator>(*app)->number_text().toInt(), 3);
        app->paste_from_stackpaste_clipboard();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Z"));
        QCOMPARE(m_notifications.size(), 1);
        QVERIFY2(m_notifications.at(0).message.contains(QStringLiteral("Rich text copy stays disabled: the 3 items")),
                 qPrintable(m_notifications.at(0).message));
        QCOMPARE(stored("IsRichTextCopyEnabled").toString(), QStringLiteral("false"));
        QCOMPARE(stored("PasteOrder").toString(), QStringLiteral("backward"));
    }

    // The first request opens the help page; later ones the spell window, one at a time, Return as OK.
    void spell_window_flow()
    {
        auto app = make_app();
        app->enter_hidden_feature_spell();
        QCOMPARE(m_urls.urls.size(), 1);
        QVERIFY(!spell_window(*app));
        QCOMPARE(stored("HiddenFeaturesHelpAlreadyShown").toString(), QStringLiteral("true"));

        app->enter_hidden_feature_spell();
        QPointer<InputDialog> window = spell_window(*app);
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Hidden features"));
        QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
        app->enter_hidden_feature_spell();
        QCOMPARE(spell_window(*app), window.data());

        QLineEdit* input = window->findChild<QLineEdit*>(QStringLiteral("input_text"));
        QTest::keyClicks(input, QStringLiteral("off monitor 2"));
        QTest::keyClick(input, Qt::Key_Return);
        QTRY_VERIFY(!window);
        QVERIFY(!spell_window(*app));
        QCOMPARE(stored("IgnoreMonitors").toString(), QStringLiteral("2:"));
        QCOMPARE(titles(), QStringList{QStringLiteral("Monitor 2 disabled")});

        // An empty OK runs nothing; the title-bar close only closes.
        app->enter_hidden_feature_spell();
        window = spell_window(*app);
        QVERIFY(window);
        QSignalSpy finished(window.data(), &InputDialog::finished);
        window->close();
        QTRY_VERIFY(!window);
        QCOMPARE(finished.count(), 0);
        app->enter_hidden_feature_spell();
        window = spell_window(*app);
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("ok_button")), Qt::LeftButton);
        QTRY_VERIFY(!window);
        QCOMPARE(m_notifications.size(), 1);
    }

    void help_keeps_every_shortcut_readable()
    {
        std::array<QString, k_shortcut_count> shortcuts = Settings::default_shortcuts();
        QTextDocument help;
        help.setHtml(HelperDialog::help_text(shortcuts));
        QString plain = help.toPlainText();
        for (const char* line : {"Ctrl+Alt+0 - Pause/resume Stackpaste", "Ctrl+Alt+< - Go Back in History",
                                 "Ctrl+Alt+> - Go Forward in History", "Ctrl+Alt+Space - Show Autocomplete History",
                                 "Ctrl+V - Paste them in your desired order"})
            QVERIFY2(plain.contains(QLatin1String(line)), qPrintable(plain));

        shortcuts[0] = QStringLiteral("Ctrl+&");
        shortcuts[5] = QString();
        help.setHtml(HelperDialog::help_text(shortcuts));
        plain = help.toPlainText();
        QVERIFY2(plain.contains(QLatin1String("Ctrl+& - Switch the paste order")), qPrintable(plain));
        QVERIFY2(plain.contains(QLatin1String("\n- Clear Clipboard History")), qPrintable(plain));
    }

    // One click on Help opens one modal help dialog with the shortcuts in effect; OK closes and deletes it.
    void help_button_opens_one_dialog()
    {
        auto app = make_app("ShortcutOpenHistoryDialog=Ctrl+Alt+<\n");
        QPointer<HelperDialog> seen;
        int dialogs = 0;
        QTimer::singleShot(0, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                dialogs += qobject_cast<HelperDialog*>(widget) && widget->isVisible() ? 1 : 0;
            seen = qobject_cast<HelperDialog*>(QApplication::activeModalWidget());
            // A picture of the help to look at, when asked for.
            if (seen && qEnvironmentVariableIsSet("STACKPASTE_SHOTS"))
                seen->grab().save(qEnvironmentVariable("STACKPASTE_SHOTS") + QStringLiteral("/help.png"));
            if (seen)
                QTest::mouseClick(seen->findChild<QPushButton*>(), Qt::LeftButton);
        });
        QTest::mouseClick(app->findChild<QPushButton*>(QStringLiteral("button_open_helper_dialog")), Qt::LeftButton);
        QCOMPARE(dialogs, 1);
        QTRY_VERIFY(!seen);
    }

    void note_keeps_its_text_while_hidden()
    {
        auto app = make_app();
        NoteDialog* note = window_of<NoteDialog>(*app);
        QVERIFY(!note->isVisible());
        app->slot_toggle_note_dialog();
        QVERIFY(note->isVisible());
        note->set_text(QStringLiteral("remember the milk"));
        app->on_button_toggle_note_dialog_clicked();
        QVERIFY(!note->isVisible());
        app->slot_toggle_note_dialog();
        QCOMPARE(note->text(), QStringLiteral("remember the milk"));
    }

    void debug_window_shows_the_active_history()
    {
        auto app = make_app("IsRichTextCopyEnabled=true\n");
        auto image = std::make_unique<QMimeData>();
        image->setData(QStringLiteral("image/png"), QByteArray(4'000'000, 'p'));
        app->history().copy_step();
        app->add_to_stackpaste_mime_data_history(image.release());
        app->show_debug_info();
        QCOMPARE(m_notifications.size(), 1);
        QCOMPARE(m_notifications.at(0).title, QStringLiteral("Clipboard History"));
        QCOMPARE(m_notifications.at(0).message,
                 QStringLiteral(
                     "Current clipboard history position:0\n0: {{format:image/png, mime_data:4000000 bytes}, }\n"));
    }

    // A hundred items make a text taller than the screen: the box stays on the screen and its text scrolls.
    void debug_window_stays_within_the_screen()
    {
        auto app = make_app("IsRichTextCopyEnabled=false\n");
        for (int i = 0; i < ClipboardHistory::k_max_items; ++i) {
            app->history().copy_step();
            app->add_to_stackpaste_text_history(QStringLiteral("text number %1").arg(i));
        }
        message_box::set_information_recorder({});
        app->show_debug_info();
        message_box::set_information_recorder([this](const QString& title, const QString& text) {
            m_notifications.append({title, text});
        });
        QPointer<QDialog> box;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible() && window->windowTitle() == QLatin1String("Clipboard History"))
                box = qobject_cast<QDialog*>(window);
        QVERIFY(box);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(
            screen.contains(box->frameGeometry()),
            qPrintable(QStringLiteral("%1 x %2").arg(box->frameGeometry().width()).arg(box->frameGeometry().height())));
        auto* view = box->findChild<QPlainTextEdit*>();
        QVERIFY(view);
        QVERIFY(view->toPlainText().contains(QStringLiteral("\n99: text number 99\n")));
        QVERIFY(view->verticalScrollBar()->maximum() > 0);
        box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QTRY_VERIFY(!box);
    }
};

QTEST_MAIN(TestHiddenFeatures)
#include "TestHiddenFeatures.moc"
