// SPDX-License-Identifier: GPL-3.0-or-later
// The views of the model on the offscreen platform: the main window, the tray icon and the floating counter.
#include "core/SaveManager.h"
#include "fakes/FakeKeyboard.h"
#include "support/AppUnderTest.h"
#include "support/AppWindows.h"
#include "ui/App.h"
#include "ui/MainWindowLook.h"
#include "ui/StatusIndicator.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

namespace {

QImage image_of(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage();
}

QImage resource_image(const char* name)
{
    return image_of(QIcon(QStringLiteral(":/images/") + QLatin1String(name)));
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    FakeKeyboard* m_keys = nullptr;

    std::unique_ptr<App> make_app(const QByteArray& settings = QByteArray())
    {
        return make_app_under_test(m_keys, settings);
    }
    static TrayIcon* tray(App& app) { return window_of<TrayIcon>(app); }
    static StatusIndicator* counter(App& app) { return window_of<StatusIndicator>(app); }
    static QString button_text(App& app, const char* name)
    {
        return app.findChild<QPushButton*>(QLatin1String(name))->text();
    }

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(qEnvironmentVariable("HOME").contains(QLatin1String("stackpaste-test")),
                 "run through scripts/test-session");
    }
    void init() { QGuiApplication::clipboard()->clear(); }

    void running_and_paused_show_in_every_view()
    {
        auto app = make_app();
        QCOMPARE(button_text(*app, "change_mode_button"), QStringLiteral("Stackpaste is ON - Click to Pause"));
        QCOMPARE(image_of(tray(*app)->icon()), resource_image("app.png"));
        QCOMPARE(image_of(app->windowIcon()), resource_image("app.png"));
        QVERIFY(counter(*app)->styleSheet().contains(":/images/app.png"));
        QCOMPARE(tray(*app)->toolTip(), QStringLiteral("Stackpaste"));

        app->pause_or_resume_stackpaste();
        QCOMPARE(button_text(*app, "change_mode_button"), QStringLiteral("Stackpaste is OFF - Click to Start"));
        QCOMPARE(image_of(tray(*app)->icon()), resource_image("app_paused.png"));
        QCOMPARE(image_of(app->windowIcon()), resource_image("app_paused.png"));
        QVERIFY(counter(*app)->styleSheet().contains(":/images/app_paused.png"));

        // Locked shows the key; unlocked, the image of the state the program is in, here paused.
        app->lock_current_position();
        QCOMPARE(image_of(tray(*app)->icon()), resource_image("key.png"));
        app->unlock_current_position();
        QCOMPARE(image_of(tray(*app)->icon()), resource_image("app_paused.png"));
        // The tray's middle click resumes.
        tray(*app)->icon_activated(QSystemTrayIcon::MiddleClick);
        QCOMPARE(image_of(tray(*app)->icon()), resource_image("app.png"));
        QCOMPARE(app->history().is_paused(), false);
    }

    void mode_box_shows_the_mode_in_effect_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("mode");
        QTest::newRow("backward") << QByteArray() << "Automatic Backward";
        QTest::newRow("forward") << QByteArray("PasteOrder=forward\n") << "Automatic Forward";
        QTest::newRow("backward, manual") << QByteArray("UseAutomaticPositionMovement=false\n") << "Manual";
        QTest::newRow("forward, manual") << QByteArray("PasteOrder=forward\nUseAutomaticPositionMovement=false\n")
                                         << "Manual";
    }
    void mode_box_shows_the_mode_in_effect()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, mode);
        auto app = make_app(settings);
        QCOMPARE(app->mode_text(), mode);
        // Bringing the box in line announced no mode change: the loaded switches are as they were.
        QCOMPARE(app->history().paste_order() == PasteOrder::forward, settings.contains("forward"));
        QCOMPARE(app->history().use_automatic_position_movement(), !settings.contains("Movement=false"));
    }

    void mode_box_follows_changes_made_elsewhere()
    {
        auto app = make_app();
        app->switch_paste_order(); // a shortcut or a spell
        QCOMPARE(app->mode_text(), QStringLiteral("Automatic Forward"));
        app->enable_or_disable_automatic_position_movement();
        QCOMPARE(app->mode_text(), QStringLiteral("Manual"));
        app->enable_or_disable_automatic_position_movement();
        app->switch_paste_order();
        QCOMPARE(app->mode_text(), QStringLiteral("Automatic Backward"));

        // Choosing an item still changes the mode; "Manual" keeps the order. Every view follows the choice.
        for (const char* text : {"X", "Y", "Z"})
            QGuiApplication::clipboard()->setText(QString::fromLatin1(text));
        m_keys->press(Keyboard::k_key_v);
        m_keys->press(Keyboard::k_key_v); // Z and Y pasted: the backward walk has X left
        QCOMPARE(counter(*app)->number_text(), QStringLiteral("1"));
        auto* box = app->findChild<QComboBox*>(QStringLiteral("combobox_mode_select"));
        box->setCurrentIndex(1);
        QCOMPARE(app->history().paste_order(), PasteOrder::forward);
        QCOMPARE(button_text(*app, "change_order_button"),
                 QStringLiteral("Forward paste order - Click to change to Backward paste order"));
        QCOMPARE(counter(*app)->number_text(), QStringLiteral("3")); // forward from X: X, Y and Z
        box->setCurrentIndex(2);
        QCOMPARE(app->history().use_automatic_position_movement(), false);
        QCOMPARE(app->history().paste_order(), PasteOrder::forward);
        QCOMPARE(button_text(*app, "automatic_position_movement_toggle_button"),
                 QStringLiteral("Manual Position Movement - Click to Automatic"));
        // A text that names no mode changes nothing.
        app->slot_combobox_edit_text_changed(QStringLiteral("Automatic Sideways"));
        QCOMPARE(app->history().mode(), Mode::manual);
        QCOMPARE(app->history().paste_order(), PasteOrder::forward);
    }

    // 420 x 808 where the screen has room; on a laptop screen the window takes the height there is and its page
    // scrolls, so that every button can be reached.
    void main_window_fits_the_screen()
    {
        const QSize page(420, 808);
        QCOMPARE(main_window_look::fitted_size(page, QSize(1280, 1024 - 40), 15), page);
        QCOMPARE(main_window_look::fitted_size(page, QSize(1280, 808), 15), page);
        QCOMPARE(main_window_look::fitted_size(page, QSize(1366, 768 - 32 - 30), 15), QSize(435, 706));
        QCOMPARE(main_window_look::fitted_size(page, QSize(1280, 800 - 40), 15), QSize(435, 760));
        QCOMPARE(main_window_look::fitted_size(page, QSize(640, 100), 15), QSize(435, 200));

        // The offscreen screen is 800 x 600.
        auto app = make_app();
        app->open_app();
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(app->frameGeometry().height() <= screen.height());
        auto* scroll_area = app->findChild<QScrollArea*>();
        QVERIFY(scroll_area);
        const QList<QPushButton*> buttons = app->findChildren<QPushButton*>();
        QVERIFY(buttons.size() >= 11);
        for (QPushButton* button : buttons) {
            if (button->isHidden())
                continue;
            scroll_area->ensureWidgetVisible(button);
            // Top to bottom: the height is what a short screen cuts.
            const int top = button->mapTo(app.get(), QPoint(0, 0)).y();
            QVERIFY2(top >= 0 && top + button->height() <= app->height(), qPrintable(button->objectName()));
        }
    }

    void tray_menu_data()
    {
        QTest::addColumn<bool>("hidden_features");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("hidden features, unlocked")
            << true << false
            << QStringList{"Settings", "&Hidden features", "", "&Lock CLipboard", "&Show History", "&Exit"};
        QTest::newRow("no hidden features, locked")
            << false << true << QStringList{"Settings", "", "&Unlock Clipboard", "&Show History", "&Exit"};
    }
    void tray_menu()
    {
        QFETCH(bool, hidden_features);
        QFETCH(bool, locked);
        QFETCH(QStringList, entries);
        auto app = make_app(hidden_features ? QByteArray() : QByteArray("UseHiddenFeatures=false\n"));
        if (locked)
            tray(*app)->icon_activated(QSystemTrayIcon::Trigger); // a single click locks
        QTRY_COMPARE(app->history().is_position_locked(), locked);
        QCOMPARE(tray(*app)->menu_texts(), entries);
        // A further single click does nothing; a Ctrl+C releases the lock and the menu offers the lock again.
        tray(*app)->icon_activated(QSystemTrayIcon::Trigger);
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QVERIFY(app->history().is_position_locked());
        m_keys->press(Keyboard::k_key_c);
        QVERIFY(tray(*app)->menu_texts().contains("&Lock CLipboard"));
    }

    // The first click of a double click is no single click: opening the window locks nothing.
    void tray_double_click_opens_the_window_and_locks_nothing()
    {
        auto app = make_app();
        tray(*app)->icon_activated(QSystemTrayIcon::Trigger);
        tray(*app)->icon_activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(app->isVisible());
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QVERIFY(!app->history().is_position_locked());
    }

    void counter_shows_what_is_left_to_paste()
    {
        auto app = make_app();
        QCOMPARE(counter(*app)->number_text(), QString());
        for (const char* text : {"X", "Y", "Z"})
            QGuiApplication::clipboard()->setText(QString::fromLatin1(text));
        QCOMPARE(counter(*app)->number_text(), QStringLiteral("3"));
        m_keys->press(Keyboard::k_key_v);
        QCOMPARE(counter(*app)->number_text(), QStringLiteral("2"));
        app->clear_clipboard_history();
        QCOMPARE(counter(*app)->number_text(), QStringLiteral("0"));
        // A full history's three digits are drawn whole within the 50 pixels.
        const auto* label = counter(*app)->findChild<QLabel*>();
        for (int n : {100, 7, 101}) {
            counter(*app)->set_number(n);
            QCOMPARE(label->text(), QString::number(n));
            QVERIFY(QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->contentsRect().width());
            QVERIFY(label->font().pointSize() >= (n < 10 ? 32 : 14));
        }
    }

    void counter_click_is_a_press_and_release_that_did_not_move_it_data()
    {
        QTest::addColumn<QPoint>("moved_by");
        QTest::addColumn<bool>("clicked");
        QTest::newRow("still") << QPoint(0, 0) << true;
        QTest::newRow("one pixel") << QPoint(1, 0) << false;
        QTest::newRow("one pixel up") << QPoint(0, -1) << false;
    }
    void counter_click_is_a_press_and_release_that_did_not_move_it()
    {
        QFETCH(QPoint, moved_by);
        QFETCH(bool, clicked);
        StatusIndicator indicator;
        indicator.move(200, 200);
        indicator.show();
        QSignalSpy clicks(&indicator, &StatusIndicator::clicked);
        const QPoint inside(20, 20);
        QMouseEvent press(QEvent::MouseButtonPress, inside, indicator.mapToGlobal(inside), Qt::RightButton,
                          Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(&indicator, &press);
        const QPoint to = inside + moved_by;
        QMouseEvent move(QEvent::MouseMove, to, indicator.mapToGlobal(to), Qt::NoButton, Qt::RightButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&indicator, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, to, indicator.mapToGlobal(inside) + moved_by, Qt::RightButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&indicator, &release);
        QCOMPARE(clicks.count(), clicked ? 1 : 0);
        QCOMPARE(indicator.position(), QPoint(200, 200) + moved_by);
    }

    void a_position_on_no_screen_is_brought_onto_the_nearest_data()
    {
        QTest::addColumn<QPoint>("stored");
        QTest::addColumn<QPoint>("shown");
        // Two screens side by side, the right one smaller.
        QTest::newRow("on the left screen, kept to the pixel") << QPoint(1229, 973) << QPoint(1229, 973);
        QTest::newRow("on the right screen") << QPoint(1500, 10) << QPoint(1500, 10);
        QTest::newRow("below the right screen") << QPoint(1500, 900) << QPoint(1500, 718);
        QTest::newRow("far right of everything") << QPoint(9000, 100) << QPoint(2070, 100);
        QTest::newRow("above and left of everything") << QPoint(-300, -300) << QPoint(0, 0);
        QTest::newRow("only a corner on screen") << QPoint(1270, 1015) << QPoint(1230, 974);
    }
    void a_position_on_no_screen_is_brought_onto_the_nearest()
    {
        QFETCH(QPoint, stored);
        QFETCH(QPoint, shown);
        const QList<QRect> screens{QRect(0, 0, 1280, 1024), QRect(1280, 0, 840, 768)};
        QCOMPARE(StatusIndicator::on_screen(stored, QSize(50, 50), screens), shown);
    }

    void counter_position_is_restored_and_saved()
    {
        {
            auto app = make_app("IndicatorX=123\nIndicatorY=456\n");
            QCOMPARE(counter(*app)->position(), QPoint(123, 456));
            QVERIFY(counter(*app)->isVisible());
            counter(*app)->move(300, 310);
            app->on_button_toggle_status_indicator_clicked();
            QVERIFY(!counter(*app)->isVisible());
            app->on_button_toggle_status_indicator_clicked();
            QCOMPARE(counter(*app)->position(), QPoint(300, 310));
        }
        Settings settings;
        SaveManager(SaveManager::default_path()).load_settings(settings);
        QCOMPARE(settings.indicator_position, QPoint(300, 310));
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
