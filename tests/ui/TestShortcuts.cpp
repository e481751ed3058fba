// SPDX-License-Identifier: GPL-3.0-or-later
// The shortcut settings dialog and the shortcuts of App on the offscreen platform: the capture rules with real key
// events, the names keys are recorded by, the open-close cycle and the settings that keep the shortcuts.
#include "core/GlobalShortcut.h"
#include "core/SaveManager.h"
#include "fakes/FakeKeyboard.h"
#include "support/AppUnderTest.h"
#include "support/AppWindows.h"
#include "ui/App.h"
#include "ui/HotkeyProcessor.h"
#include "ui/ShortcutsDialog.h"
#include "ui/StatusIndicator.h"

#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QTest>

namespace {

QPushButton* row_button(ShortcutsDialog& dialog, int row)
{
    return dialog.findChild<QPushButton*>(QLatin1String(k_shortcut_commands[row].settings_key));
}

QLineEdit* row_edit(ShortcutsDialog& dialog, int row)
{
    return dialog.findChild<QLineEdit*>(QLatin1String(k_shortcut_commands[row].settings_key));
}

// Presses the keys in order, then releases the last one (the first release ends a capture).
void press_keys(QWidget* target, const QList<Qt::Key>& keys)
{
    for (const Qt::Key key : keys)
        QTest::keyPress(target, key);
    if (!keys.isEmpty())
        QTest::keyRelease(target, keys.last());
}

} // namespace

class TestShortcuts : public QObject {
    Q_OBJECT

    FakeKeyboard* m_keys = nullptr;

    std::unique_ptr<App> make_app(const QByteArray& settings = QByteArray())
    {
        return make_app_under_test(m_keys, settings);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(qEnvironmentVariable("HOME").contains(QLatin1String("stackpaste-test")),
                 "run through scripts/test-session");
    }

    // A click on row 12, Ctrl, then a key: the row shows the keys as they come, the release keeps them.
    void a_capture_records_the_keys_in_the_order_pressed()
    {
        ShortcutsDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Change Settings"));
        QCOMPARE(row_button(dialog, 11)->text(), QStringLiteral("Ctrl+\\"));
        QTest::mouseClick(row_button(dialog, 11), Qt::LeftButton);
        QVERIFY(dialog.is_capturing());
        QVERIFY(row_button(dialog, 11)->isHidden());
        QTest::keyPress(&dialog, Qt::Key_Alt);
        QTest::keyPress(&dialog, Qt::Key_Control);
        QCOMPARE(row_edit(dialog, 11)->text(), QStringLiteral("Alt+Ctrl"));
        QCOMPARE(dialog.shortcut_texts()[11], QStringLiteral("Ctrl+\\")); // not kept before the release
        QTest::keyPress(&dialog, Qt::Key_K);
        QTest::keyRelease(&dialog, Qt::Key_K);
        QVERIFY(!dialog.is_capturing());
        QVERIFY(!row_button(dialog, 11)->isHidden());
        QCOMPARE(row_button(dialog, 11)->text(), QStringLiteral("Alt+Ctrl+K"));
        QCOMPARE(dialog.shortcut_texts()[11], QStringLiteral("Alt+Ctrl+K"));
        // The order pressed is only the text's: it is the same combination.
        QCOMPARE(QKeySequence(dialog.shortcut_texts()[11], QKeySequence::NativeText),
                 QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_K));
        // The next capture starts afresh; Ctrl pressed and released alone is what the row gets.
        QTest::mouseClick(row_button(dialog, 0), Qt::LeftButton);
        press_keys(&dialog, {Qt::Key_Control});
        QCOMPARE(dialog.shortcut_texts()[0], QStringLiteral("Ctrl"));
        QCOMPARE(dialog.shortcut_texts()[11], QStringLiteral("Alt+Ctrl+K"));
    }

    void at_most_five_keys_are_recorded()
    {
        ShortcutsDialog dialog;
        QTest::mouseClick(row_button(dialog, 3), Qt::LeftButton);
        press_keys(&dialog, {Qt::Key_Control, Qt::Key_Alt, Qt::Key_Shift, Qt::Key_Meta, Qt::Key_A, Qt::Key_B});
        QCOMPARE(dialog.shortcut_texts()[3], QStringLiteral("Ctrl+Alt+Shift+Meta+A"));
    }

    // Escape gives the row its previous shortcut back and leaves nothing behind for the next capture; closing the
    // dialog in the middle of one does the same.
    void escape_and_closing_drop_a_capture()
    {
        ShortcutsDialog dialog;
        dialog.show();
        QTest::mouseClick(row_button(dialog, 6), Qt::LeftButton);
        QTest::keyPress(&dialog, Qt::Key_Control);
        QTest::keyPress(&dialog, Qt::Key_J);
        QTest::keyPress(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.is_capturing());
        QVERIFY(dialog.isVisible()); // the Escape of a capture does not close the dialog
        QCOMPARE(row_button(dialog, 6)->text(), QStringLiteral("Ctrl+Alt+H"));
        QCOMPARE(row_edit(dialog, 6)->text(), QStringLiteral("Ctrl+Alt+H"));
        QTest::keyRelease(&dialog, Qt::Key_J);
        QCOMPARE(dialog.shortcut_texts()[6], QStringLiteral("Ctrl+Alt+H"));

        QTest::mouseClick(row_button(dialog, 6), Qt::LeftButton);
        press_keys(&dialog, {Qt::Key_Alt, Qt::Key_P});
        QCOMPARE(dialog.shortcut_texts()[6], QStringLiteral("Alt+P"));

        QTest::mouseClick(row_button(dialog, 2), Qt::LeftButton);
        QTest::keyPress(&dialog, Qt::Key_Control);
        dialog.reject();
        QVERIFY(!dialog.is_capturing());
        QCOMPARE(row_button(dialog, 2)->text(), QStringLiteral("Ctrl+Alt+9"));
        QVERIFY(!row_button(dialog, 2)->isHidden());
        QCOMPARE(dialog.shortcut_texts()[6], QStringLiteral("Alt+P"));
    }

    // Every key is recorded by the name that reads back as that key, whatever has the focus.
    void keys_are_recorded_by_their_names_data()
    {
        QTest::addColumn<QList<Qt::Key>>("keys");
        QTest::addColumn<QString>("text");
        QTest::newRow("function key") << QList<Qt::Key>{Qt::Key_Control, Qt::Key_F1} << "Ctrl+F1";
        QTest::newRow("home") << QList<Qt::Key>{Qt::Key_Alt, Qt::Key_Home} << "Alt+Home";
        QTest::newRow("delete") << QList<Qt::Key>{Qt::Key_Control, Qt::Key_Alt, Qt::Key_Delete} << "Ctrl+Alt+Del";
        QTest::newRow("backspace") << QList<Qt::Key>{Qt::Key_Control, Qt::Key_Backspace} << "Ctrl+Backspace";
        QTest::newRow("page down") << QList<Qt::Key>{Qt::Key_Control, Qt::Key_PageDown} << "Ctrl+PgDown";
        QTest::newRow("arrow") << QList<Qt::Key>{Qt::Key_Control, Qt::Key_Alt, Qt::Key_Left} << "Ctrl+Alt+Left";
        QTest::newRow("tab") << QList<Qt::Key>{Qt::Key_Control, Qt::Key_Tab} << "Ctrl+Tab";
        QTest::newRow("space") << QList<Qt::Key>{Qt::Key_Control, Qt::Key_Space} << "Ctrl+Space";
        QTest::newRow("digit") << QList<Qt::Key>{Qt::Key_Control, Qt::Key_Alt, Qt::Key_0} << "Ctrl+Alt+0";
        QTest::newRow("less") << QList<Qt::Key>{Qt::Key_Control, Qt::Key_Alt, Qt::Key_Less} << "Ctrl+Alt+<";
        QTest::newRow("backslash") << QList<Qt::Key>{Qt::Key_Control, Qt::Key_Backslash} << "Ctrl+\\";
        QTest::newRow("plus") << QList<Qt::Key>{Qt::Key_Control, Qt::Key_Plus} << "Ctrl++";
        QTest::newRow("super") << QList<Qt::Key>{Qt::Key_Super_L, Qt::Key_S} << "Meta+S";
    }
    void keys_are_recorded_by_their_names()
    {
        QFETCH(QList<Qt::Key>, keys);
        QFETCH(QString, text);
        ShortcutsDialog dialog;
        dialog.show();
        // The slider may hold the focus: its arrows and Home are the capture's then.
        dialog.slider()->setFocus();
        QTest::mouseClick(row_button(dialog, 4), Qt::LeftButton);
        const int slider_value = dialog.slider()->value();
        press_keys(dialog.slider(), keys);
        QCOMPARE(dialog.shortcut_texts()[4], text);
        QCOMPARE(dialog.slider()->value(), slider_value);
        QVERIFY(dialog.isVisible());
        const QKeySequence parsed(text, QKeySequence::NativeText);
        QCOMPARE(parsed.count(), 1);
        QVERIFY(parsed[0] != Qt::Key_unknown);
        QCOMPARE(parsed.toString(QKeySequence::PortableText), text);
    }

    // A key that no text can name (AltGr) is left out instead of recording a character that means another key.
    void a_key_without_a_name_is_left_out()
    {
        ShortcutsDialog dialog;
        QTest::mouseClick(row_button(dialog, 0), Qt::LeftButton);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("without a name"));
        QTest::keyPress(&dialog, Qt::Key_Control);
        // QTest has no character for AltGr; the event as the platform sends it.
        QKeyEvent alt_gr(QEvent::KeyPress, Qt::Key_AltGr, Qt::ControlModifier);
        QCoreApplication::sendEvent(&dialog, &alt_gr);
        press_keys(&dialog, {Qt::Key_U});
        QCOMPARE(dialog.shortcut_texts()[0], QStringLiteral("Ctrl+U"));
    }

    // However often the dialog opens and closes (Ok, the close button), a press runs its command once. Escape does
    // not close it.
    void each_press_runs_its_command_once()
    {
        auto app = make_app();
        ShortcutsDialog& dialog = *app->shortcuts_dialog();
        for (int i = 0; i < 3; ++i) {
            app->on_button_show_shortcut_settings_clicked();
            QVERIFY(dialog.isVisible());
            QVERIFY(dialog.isModal());
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QTest::keyClick(dialog.slider(), Qt::Key_Escape);
            QVERIFY(dialog.isVisible());
            if (i == 0)
                QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("button_ok")), Qt::LeftButton);
            else
                dialog.close();
            QVERIFY(!dialog.isVisible());
        }
        const bool paused = app->history().is_paused();
        Q_EMIT app->hotkey_processor()->hotkey(1)->activated();
        QCOMPARE(app->history().is_paused(), !paused);
        // While the dialog is open, no command runs.
        app->on_button_show_shortcut_settings_clicked();
        Q_EMIT app->hotkey_processor()->hotkey(1)->activated();
        QCOMPARE(app->history().is_paused(), !paused);
        dialog.accept();
    }

    // A shortcut reassigned in the dialog is kept in the settings under its own key and comes back at the next start.
    void a_reassigned_shortcut_survives_a_restart()
    {
        {
            auto app = make_app();
            ShortcutsDialog& dialog = *app->shortcuts_dialog();
            app->on_button_show_shortcut_settings_clicked();
            QTest::mouseClick(row_button(dialog, 7), Qt::LeftButton);
            press_keys(&dialog, {Qt::Key_Control, Qt::Key_Shift, Qt::Key_Left});
            dialog.close(); // closed otherwise than with Ok: kept all the same
            app->save_settings();
        }
        QSettings file(SaveManager::default_path(), QSettings::IniFormat);
        QCOMPARE(file.value("ShortcutClipboardUndoWithArrow").toString(), QStringLiteral("Ctrl+Shift+Left"));
        const QByteArray kept = "ShortcutClipboardUndoWithArrow=Ctrl+Shift+Left\n";
        auto app = make_app(kept);
        QCOMPARE(app->shortcuts_dialog()->shortcut_texts()[7], QStringLiteral("Ctrl+Shift+Left"));
        QCOMPARE(app->hotkey_processor()->hotkey(7)->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Left));
        QCOMPARE(app->shortcuts_dialog()->shortcut_texts()[3], QStringLiteral("Ctrl+Alt+<"));
    }

    // Ctrl+Alt+V is the paste key with Alt (Ctrl+Meta+V with Super): the paste runs, and the command after it.
    void a_shortcut_on_the_paste_key_runs_after_the_paste_data()
    {
        QTest::addColumn<QByteArray>("shortcut");
        QTest::addColumn<int>("modifier");
        QTest::newRow("Ctrl+Alt+V") << QByteArray("Ctrl+Alt+V") << int(Qt::AltModifier);
        QTest::newRow("Ctrl+Meta+V") << QByteArray("Ctrl+Meta+V") << int(Qt::MetaModifier);
    }
    void a_shortcut_on_the_paste_key_runs_after_the_paste()
    {
        QFETCH(QByteArray, shortcut);
        QFETCH(int, modifier);
        auto app = make_app("ShortcutLockCurrentPosition=" + shortcut + "\n");
        app->add_to_stackpaste_text_history(QStringLiteral("one"));
        app->add_to_stackpaste_text_history(QStringLiteral("two"));
        app->history().set_position(1);
        QVERIFY(app->hotkey_processor()->problem(11).isEmpty());
        QVERIFY(app->shortcuts_dialog()->row_problem(11).isEmpty());
        m_keys->press(Keyboard::k_key_v, true, Qt::KeyboardModifiers(modifier));
        QVERIFY(!app->history().is_position_locked()); // not inside the held press
        QTRY_VERIFY(app->history().is_position_locked());
        app->unlock_current_position();
        m_keys->press(Keyboard::k_key_v, true);
        m_keys->press(Keyboard::k_key_v, true, Qt::ShiftModifier);
        QTest::qWait(20);
        QVERIFY(!app->history().is_position_locked());
    }

    // The slider starts at the counter's opacity and sets it.
    void the_slider_sets_the_counters_opacity()
    {
        auto app = make_app();
        QSlider* slider = app->shortcuts_dialog()->slider();
        QCOMPARE(slider->value(), 75);
        QVERIFY(qAbs(window_of<StatusIndicator>(*app)->windowOpacity() - 0.75) < 0.005);
        slider->setValue(99);
        QVERIFY(qAbs(window_of<StatusIndicator>(*app)->windowOpacity() - 0.99) < 0.005);
        slider->setValue(0);
        QCOMPARE(window_of<StatusIndicator>(*app)->windowOpacity(), 0.0);
    }

    // Without a display no shortcut works, and every row says so instead of looking active.
    void rows_whose_shortcut_failed_are_marked()
    {
        auto app = make_app();
        ShortcutsDialog& dialog = *app->shortcuts_dialog();
        for (int row = 0; row < k_shortcut_count; ++row) {
            QVERIFY(!dialog.row_problem(row).isEmpty());
            QVERIFY(row_button(dialog, row)->toolTip().contains(dialog.row_problem(row)));
        }
        dialog.set_row_problem(2, QString());
        QVERIFY(row_button(dialog, 2)->toolTip().isEmpty());
        QVERIFY(row_button(dialog, 2)->styleSheet().isEmpty());
    }
};

QTEST_MAIN(TestShortcuts)
#include "TestShortcuts.moc"
