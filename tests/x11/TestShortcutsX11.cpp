// SPDX-License-Identifier: GPL-3.0-or-later
// The shortcuts of the application in this process with the real X11 keyboard: xdotool presses the keys, clicks the
// dialog's rows and types the new combination into it; a second client holds a combination as another program
// would. Leaves a screenshot of the dialog with a marked row in the build folder.
#include "core/SaveManager.h"
#include "support/Desktop.h"
#include "support/OtherClient.h"
#include "ui/App.h"
#include "ui/HotkeyProcessor.h"
#include "ui/ShortcutsDialog.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <xcb/xcb.h>

using namespace desktop;

namespace {

constexpr uint16_t k_ctrl_alt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

QPushButton* row_button(ShortcutsDialog& dialog, int row)
{
    return dialog.findChild<QPushButton*>(QLatin1String(k_shortcut_commands[row].settings_key));
}

void click(QWidget* widget)
{
    const QPoint center = widget->mapToGlobal(widget->rect().center());
    xdotool({"mousemove", QString::number(center.x()), QString::number(center.y())});
    xdotool({"click", "1"});
}

// Presses a shortcut and waits until the pause it runs has flipped; false when it never did.
bool toggles_pause(App& app, const QString& keys)
{
    const bool before = app.history().is_paused();
    xdotool({"key", keys});
    return QTest::qWaitFor([&] { return app.history().is_paused() != before; }, 3000);
}

} // namespace

class TestShortcutsX11 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(qEnvironmentVariable("HOME").contains(QLatin1String("stackpaste-test")),
                 "run through scripts/test-session --xvfb");
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "needs an X display");
        xdotool({"mousemove", "1200", "1000"});
    }

    void init()
    {
        QFile file(SaveManager::default_path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\nSaveVersion=2\nIsFirstStart=false\nStartAtStartup=false\n");
    }

    // The row of a combination another program holds says so; every other shortcut works. Once the other program
    // has let go, closing the dialog registers it.
    void a_combination_held_elsewhere_marks_its_row()
    {
        OtherClient other;
        const xcb_keycode_t d = other.keycode('d');
        QVERIFY(other.grab(d, k_ctrl_alt, true));
        App app;
        ShortcutsDialog& dialog = *app.shortcuts_dialog();
        for (int row = 0; row < k_shortcut_count; ++row) {
            if (row == 9)
                QVERIFY2(app.hotkey_processor()->problem(row).contains(QLatin1String("another program")),
                         qPrintable(app.hotkey_processor()->problem(row)));
            else
                QVERIFY2(app.hotkey_processor()->problem(row).isEmpty(),
                         qPrintable(app.hotkey_processor()->problem(row)));
        }
        QVERIFY(toggles_pause(app, "ctrl+alt+0"));

        app.on_button_show_shortcut_settings_clicked();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(row_button(dialog, 9)->toolTip().contains(QLatin1String("another program")));
        const QString folder = QStringLiteral(STACKPASTE_BINARY_DIR "/screenshots");
        QDir().mkpath(folder);
        QVERIFY(dialog.grab().save(folder + QStringLiteral("/shortcuts-dialog.png")));

        other.ungrab(d, k_ctrl_alt);
        dialog.accept();
        QVERIFY(app.hotkey_processor()->problem(9).isEmpty());
        QVERIFY(row_button(dialog, 9)->toolTip().isEmpty());
    }

    // Row 12 reassigned with real key presses in the real dialog: the old combination does nothing, the new one
    // locks, also after a restart.
    void a_shortcut_reassigned_in_the_dialog()
    {
        {
            App app;
            ShortcutsDialog& dialog = *app.shortcuts_dialog();
            app.on_button_show_shortcut_settings_clicked();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            xdotool({"windowfocus", "--sync", QString::number(dialog.winId())});
            QTRY_VERIFY_WITH_TIMEOUT(dialog.isActiveWindow(), 5000);
            click(row_button(dialog, 11));
            QTRY_VERIFY_WITH_TIMEOUT(dialog.is_capturing(), 5000);
            xdotool({"keydown", "ctrl"});
            xdotool({"keydown", "alt"});
            xdotool({"key", "j"});
            xdotool({"keyup", "alt"});
            xdotool({"keyup", "ctrl"});
            QTRY_VERIFY_WITH_TIMEOUT(!dialog.is_capturing(), 5000);
            QCOMPARE(dialog.shortcut_texts()[11], QStringLiteral("Ctrl+Alt+J"));
            click(dialog.findChild<QPushButton*>(QStringLiteral("button_ok")));
            QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 5000);

            xdotool({"key", "ctrl+backslash"});
            QVERIFY(toggles_pause(app, "ctrl+alt+0")); // the press before it has been handled by now
            QVERIFY(!app.history().is_position_locked());
            xdotool({"key", "ctrl+alt+j"});
            QTRY_VERIFY_WITH_TIMEOUT(app.history().is_position_locked(), 5000);
            app.quit();
        }
        App app;
        QCOMPARE(app.shortcuts_dialog()->shortcut_texts()[11], QStringLiteral("Ctrl+Alt+J"));
        xdotool({"key", "ctrl+alt+j"});
        QTRY_VERIFY_WITH_TIMEOUT(app.history().is_position_locked(), 5000);
    }
};

QTEST_MAIN(TestShortcutsX11)
#include "TestShortcutsX11.moc"
