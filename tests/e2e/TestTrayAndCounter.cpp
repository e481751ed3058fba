// SPDX-License-Identifier: GPL-3.0-or-later
// The tray icon and the floating counter of the real program, clicked and dragged with xdotool: trayer is the tray
// host of the private X server, openbox the window manager where one is needed.
#include "E2eSupport.h"

#include <QSettings>

using namespace e2e;

namespace {

qulonglong main_window(int timeout_ms = 10000)
{
    return our_window([](const QRect& rect) { return rect.width() == 420; }, timeout_ms);
}

} // namespace

class TestTrayAndCounter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A single click locks (every paste repeats the item), a middle click pauses (a paste takes the clipboard as it
    // is), a double click shows the main window.
    void tray_clicks()
    {
        const auto tray = start_tray();
        Stackpaste app;
        QVERIFY(start_with_three_copies(app));
        const qulonglong icon = tray_icon();
        QVERIFY2(icon, "no tray icon in the tray");

        click(icon, 1);
        QVERIFY(app.wait_for_output("Position locked at"));
        TextField target;
        QVERIFY(target.open());
        press(app, "ctrl+v", "three ");
        press(app, "ctrl+v", "three ");

        click(icon, 2);
        QVERIFY(app.wait_for_output("Stackpaste paused"));
        copy_with_xclip("foreign");
        xdotool({"windowfocus", "--sync", QString::number(target.window())});
        const int before = count(app.output(), "Done pasting");
        xdotool({"key", "ctrl+v"});
        QTRY_COMPARE_WITH_TIMEOUT(count(app.output(), "Done pasting"), before + 1, 10000);
        QCOMPARE(target.finish(), QByteArray("three three foreign"));

        QVERIFY(!main_window(500));
        // The copy of "foreign" released the lock: a double click must not take it again on its first click.
        click(icon, 1, 2);
        QVERIFY2(main_window(), "a double click did not show the main window");
        QTest::qWait(1000);
        QCOMPARE(count(app.output(), "Position locked at"), 1);
    }

    // The context menu is the program's own: its Exit entry (mnemonic E) ends the program as the user asked.
    void tray_menu_exit_ends_the_program()
    {
        const auto tray = start_tray();
        Stackpaste app;
        app.write_settings();
        QVERIFY(app.start());
        const qulonglong icon = tray_icon();
        QVERIFY(icon);
        click(icon, 3);
        // The menu pops up as a window of ours next to the tray, and takes the keyboard.
        QVERIFY(our_window(
            [](const QRect& rect) { return rect.width() > 60 && rect.height() > 60 && rect.width() != 420; }));
        // The menu may be mapped a moment before its keyboard grab holds: a press that went elsewhere is repeated.
        for (int attempt = 0; attempt < 10 && app.process().state() != QProcess::NotRunning; ++attempt) {
            xdotool({"key", "e"});
            app.process().waitForFinished(1000);
        }
        QCOMPARE(app.process().state(), QProcess::NotRunning);
        QCOMPARE(app.process().exitCode(), 0);
    }

    // A click without movement is a click; a drag moves the counter, and the place it was dragged to is stored.
    void counter_click_and_drag()
    {
        Stackpaste app;
        app.write_settings("IndicatorX=300\nIndicatorY=200\n");
        QVERIFY(app.start());
        const qulonglong window = counter();
        QVERIFY(window);
        QCOMPARE(geometry(window).topLeft(), QPoint(300, 200));

        click(window, 1);
        // With nothing to paste the history dialog stays closed.
        QVERIFY(app.wait_for_output("open_history_dialog()"));

        xdotool({"mousemove", "325", "225", "mousedown", "1"});
        for (int step = 1; step <= 4; ++step)
            xdotool({"mousemove", QString::number(325 + 10 * step), "225"});
        xdotool({"mouseup", "1"});
        QTRY_COMPARE_WITH_TIMEOUT(geometry(window).topLeft(), QPoint(340, 200), 5000);
        QCOMPARE(count(app.output(), "open_history_dialog()"), 1);

        app.stop();
        QSettings settings(app.settings_path(), QSettings::IniFormat);
        QCOMPARE(settings.value("IndicatorX").toInt(), 340);
        QCOMPARE(settings.value("IndicatorY").toInt(), 200);
    }

    void counter_stored_off_every_screen_is_shown_on_one()
    {
        Stackpaste app;
        app.write_settings("IndicatorX=5000\nIndicatorY=-3000\n");
        QVERIFY(app.start());
        const qulonglong window = counter();
        QVERIFY(window);
        const QRect rect = geometry(window);
        QVERIFY2(QRect(0, 0, 1280, 1024).contains(rect),
                 qPrintable(QStringLiteral("%1,%2").arg(rect.x()).arg(rect.y())));
    }

    // Under a window manager the counter appears at start without taking the keyboard from the program the user
    // types in, and stays up while the main window is hidden.
    void counter_takes_no_focus_under_a_window_manager()
    {
        Helper window_manager(QStringLiteral("openbox"), {});
        TextField target;
        QVERIFY(target.open());
        QTRY_COMPARE_WITH_TIMEOUT(focused_window(), target.window(), 10000);
        Stackpaste app;
        app.write_settings();
        QVERIFY(app.start());
        QVERIFY(counter());
        QVERIFY(!main_window(500));
        QTest::qWait(500); // a window manager gives the focus some time after the map
        QCOMPARE(focused_window(), target.window());
        xdotool({"type", "typed"});
        QCOMPARE(target.finish(), QByteArray("typed"));
    }
};

QTEST_GUILESS_MAIN(TestTrayAndCounter)
#include "TestTrayAndCounter.moc"
