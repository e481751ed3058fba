// SPDX-License-Identifier: GPL-3.0-or-later
// The autocomplete window of the real program: remembered texts across a restart from another folder, a filter typed
// with real keys, and the chosen text pasted into a zenity field by an injected Ctrl+V.
#include "E2eSupport.h"

using namespace e2e;

namespace {

// Inside the history dialog: its history button, the third of the button column.
const QPoint k_history_button(23, 108);

qulonglong window_titled(const QString& start, int timeout_ms = 10000)
{
    qulonglong window = 0;
    [[maybe_unused]] const bool seen = QTest::qWaitFor(
        [&] {
            const QByteArray out = xdotool({"search", "--onlyvisible", "--name", QLatin1Char('^') + start}, 3000);
            return (window = out.split('\n').first().trimmed().toULongLong()) != 0;
        },
        timeout_ms);
    return window;
}

void copy(Stackpaste& app, const QByteArray& text)
{
    const int before = count(app.output(), "END copy_to_stackpaste_clipboard()");
    copy_with_xclip(text);
    QTRY_VERIFY_WITH_TIMEOUT(count(app.output(), "END copy_to_stackpaste_clipboard()") > before, 10000);
}

// Counter, then the history dialog's history button: the autocomplete window opens with the keyboard in its filter.
bool open_autocomplete(Stackpaste& app)
{
    click(counter(), 1);
    const qulonglong history = window_titled(QStringLiteral("History Dialog"));
    if (!history)
        return false;
    const QPoint button = client_area(history).topLeft() + k_history_button;
    xdotool({"mousemove", QString::number(button.x()), QString::number(button.y()), "click", "1"});
    const qulonglong autocomplete = window_titled(QStringLiteral("Autocomplete"));
    return autocomplete && app.wait_for_output("Calling open_autocomplete_dialog()") &&
           QTest::qWaitFor([&] { return focused_window() == autocomplete; }, 10000);
}

} // namespace

class TestAutocompleteE2e : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void the_chosen_text_is_pasted_and_remembered_across_a_restart()
    {
        const QByteArray chosen = "it's Grüße";
        Stackpaste app;
        app.write_settings("IsRichTextCopyEnabled=false\n");
        QVERIFY(app.start());
        for (const QByteArray& text : {QByteArray("one "), chosen, QByteArray("three ")})
            copy(app, text);
        QVERIFY(QFile::exists(app.folder() + QStringLiteral("/autocomplete.spaste")));

        TextField target;
        QVERIFY(target.open());
        QVERIFY(open_autocomplete(app));
        const int copies = count(app.output(), "END copy_to_stackpaste_clipboard()");
        xdotool({"type", "--delay", "50", "it'"});
        QTest::qWait(200);
        xdotool({"key", "Return"});
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(), chosen, 10000);
        // The history is untouched: the next Ctrl+V is the newest copy.
        QTest::qWait(300);
        press(app, "ctrl+v", "three ");
        QCOMPARE(target.finish(), chosen + "three");
        QCOMPARE(count(app.output(), "END copy_to_stackpaste_clipboard()"), copies);

        // Started again from another folder: the texts are still there. Paused, Ctrl+Alt+Space opens the window and
        // the chosen text is pasted all the same.
        app.stop();
        QTemporaryDir elsewhere;
        app.process().setWorkingDirectory(elsewhere.path());
        QVERIFY(app.start());
        TextField second;
        QVERIFY(second.open());
        xdotool({"key", "ctrl+alt+0"});
        QVERIFY(app.wait_for_output("Stackpaste paused"));
        xdotool({"key", "ctrl+alt+space"});
        const qulonglong window = window_titled(QStringLiteral("Autocomplete"));
        QVERIFY(window);
        QTRY_COMPARE_WITH_TIMEOUT(focused_window(), window, 10000);
        xdotool({"type", "--delay", "50", "Grü"});
        QTest::qWait(200);
        xdotool({"key", "Return"});
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(), chosen, 10000);
        QTest::qWait(300);
        QCOMPARE(second.finish(), chosen);
        QVERIFY(!QFile::exists(elsewhere.filePath(QStringLiteral("autocomplete.spaste"))));
    }
};

QTEST_GUILESS_MAIN(TestAutocompleteE2e)
#include "TestAutocompleteE2e.moc"
