// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eSupport.h"

using namespace e2e;

// The system-wide shortcuts of the real program, pressed with xdotool while a third-party text field has the focus.
class TestShortcutsE2e : public QObject {
    Q_OBJECT

    // Presses a shortcut and waits until the program has written `line` once more.
    static bool run_shortcut(Stackpaste& app, const QString& keys, const QByteArray& line)
    {
        const int before = count(app.output(), line);
        xdotool({"key", keys});
        return QTest::qWaitFor([&] { return count(app.output(), line) > before; }, 10000);
    }

private Q_SLOTS:
    // A history step between pastes: the step back undoes the paste's move, so the same item comes again.
    void a_step_back_between_pastes_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::newRow("Ctrl+Alt+< on its own key") << "ctrl+alt+less";
        QTest::newRow("Ctrl+Alt+< on Shift and comma") << "ctrl+alt+shift+comma";
        QTest::newRow("Ctrl+Alt+Left") << "ctrl+alt+Left";
    }
    void a_step_back_between_pastes()
    {
        QFETCH(QString, keys);
        Stackpaste app;
        TextField target;
        QVERIFY(start_with_three_copies(app) && target.open());
        press(app, "ctrl+v", "three ");
        QVERIFY(run_shortcut(app, keys, "App::clipboard_history_go_back()"));
        press(app, "ctrl+v", "three ");
        press(app, "ctrl+v", "two ");
        // The shortcut never reached the field.
        QCOMPARE(target.finish().simplified(), QByteArray("three three two"));
    }

    void lock_pause_and_order()
    {
        Stackpaste app;
        TextField target;
        QVERIFY(start_with_three_copies(app) && target.open());
        QVERIFY(run_shortcut(app, "ctrl+backslash", "Position locked at"));
        press(app, "ctrl+v", "three ");
        press(app, "ctrl+v", "three ");
        // Ctrl+C unlocks (nothing is selected in the field, so nothing is copied).
        xdotool({"key", "ctrl+c"});
        QVERIFY(app.wait_for_output("Position unlocked"));

        QVERIFY(run_shortcut(app, "ctrl+alt+0", "Stackpaste paused"));
        QVERIFY(run_shortcut(app, "ctrl+alt+0", "Stackpaste resumed"));

        QVERIFY(run_shortcut(app, "ctrl+alt+slash", "Callig update ui"));
        press(app, "ctrl+v", "one "); // forward: the oldest first
        press(app, "ctrl+v", "two ");
        QCOMPARE(target.finish().simplified(), QByteArray("three three one two"));
        QCOMPARE(count(app.output(), "Stackpaste paused"), 1);
    }

    // Control with the paste key and Alt: the keyboard holds that press, so the paste runs and the command after it.
    void a_shortcut_on_the_paste_key()
    {
        Stackpaste app;
        TextField target;
        QVERIFY(start_with_three_copies(app, "ShortcutLockCurrentPosition=Ctrl+Alt+V\n") && target.open());
        QVERIFY(run_shortcut(app, "ctrl+alt+v", "Position locked at"));
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(), QByteArray("three "), 10000);
        QVERIFY(app.output().contains("Done pasting"));
        press(app, "ctrl+v", "two "); // locked where the position stood after that paste
        press(app, "ctrl+v", "two ");
    }

    // A shortcut the user gave a command in an earlier run is the one in force; the default does nothing.
    void a_reassigned_shortcut_after_a_restart()
    {
        Stackpaste app;
        QVERIFY(start_with_three_copies(app, "ShortcutLockCurrentPosition=Ctrl+Alt+J\n"));
        xdotool({"key", "ctrl+backslash"});
        QVERIFY(run_shortcut(app, "ctrl+alt+j", "Position locked at"));
        QCOMPARE(count(app.output(), "Position locked at"), 1);
        app.stop();
        QFile settings(app.settings_path());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(settings.readAll().contains("ShortcutLockCurrentPosition=Ctrl+Alt+J"));
    }
};

QTEST_GUILESS_MAIN(TestShortcutsE2e)
#include "TestShortcutsE2e.moc"
