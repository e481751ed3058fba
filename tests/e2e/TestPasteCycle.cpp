// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eSupport.h"

using namespace e2e;

// Texts copied by a foreign program come back one per real Ctrl+V in a real third-party text field.
class TestPasteCycle : public QObject {
    Q_OBJECT

    // A zenity entry: what it prints when Return is pressed is the text it received.
    struct Target {
        QProcess process;
        qulonglong window = 0;
    };

    static bool open_target(Target& target)
    {
        target.process.start(QStringLiteral("zenity"), {"--entry", "--title", "Target"});
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 15000 && !(target.window = visible_window("Target")))
            QTest::qWait(50);
        if (!target.window)
            return false;
        xdotool({"windowfocus", "--sync", QString::number(target.window)});
        return true;
    }

    static QByteArray finish(Target& target)
    {
        xdotool({"key", "--window", QString::number(target.window), "Return"});
        target.process.waitForFinished(10000);
        return target.process.readAllStandardOutput().trimmed();
    }

    static int count(const QByteArray& haystack, const QByteArray& needle) { return haystack.count(needle); }

    static void copy_three(Stackpaste& app)
    {
        for (const char* text : {"one ", "two ", "three "}) {
            const int before = count(app.output(), "END copy_to_stackpaste_clipboard()");
            copy_with_xclip(text);
            QTRY_COMPARE_WITH_TIMEOUT(count(app.output(), "END copy_to_stackpaste_clipboard()"), before + 1, 10000);
        }
    }

    // One key press; waits until the paste has put `expected` on the clipboard and served it.
    static void press(Stackpaste& app, const QString& keys, const QByteArray& expected)
    {
        const int before = count(app.output(), "Done pasting");
        xdotool({"key", keys});
        QTRY_COMPARE_WITH_TIMEOUT(count(app.output(), "Done pasting"), before + 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(clipboard(), expected, 10000);
    }

private Q_SLOTS:
    void three_copies_paste_in_order_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QByteArray>("received");
        QTest::newRow("backward") << QByteArray() << QStringList{"ctrl+v", "ctrl+v", "ctrl+v"}
                                  << QByteArray("three two one");
        QTest::newRow("forward") << QByteArray("PasteOrder=forward\n") << QStringList{"ctrl+v", "ctrl+v", "ctrl+v"}
                                 << QByteArray("one two three");
        QTest::newRow("caps lock counts")
            << QByteArray() << QStringList{"ctrl+v", "Caps_Lock ctrl+v Caps_Lock", "ctrl+v"}
            << QByteArray("three two one");
    }

    void three_copies_paste_in_order()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, keys);
        QFETCH(QByteArray, received);
        Stackpaste app;
        app.write_settings(settings);
        QVERIFY(app.start());
        copy_three(app);
        Target target;
        QVERIFY(open_target(target));
        const QList<QByteArray> items = received.split(' ');
        for (int i = 0; i < keys.size(); ++i) {
            const int before = count(app.output(), "Done pasting");
            for (const QString& key : keys[i].split(' '))
                xdotool({"key", key});
            QTRY_COMPARE_WITH_TIMEOUT(count(app.output(), "Done pasting"), before + 1, 10000);
            QTRY_COMPARE_WITH_TIMEOUT(clipboard(), items[i] + ' ', 10000);
        }
        QCOMPARE(finish(target), received);
    }

    void plain_v_is_typed_and_not_caught()
    {
        Stackpaste app;
        app.write_settings();
        QVERIFY(app.start());
        copy_three(app);
        Target target;
        QVERIFY(open_target(target));
        xdotool({"type", "v"});
        press(app, "ctrl+v", "three ");
        QVERIFY(finish(target).startsWith("vthree"));
        QVERIFY(!app.output().contains("Done pasting\n"
                                       "Done pasting")); // one paste, not two
    }

    void paused_pastes_what_the_clipboard_holds()
    {
        Stackpaste app;
        app.write_settings("IsStackpastePaused=true\n");
        QVERIFY(app.start());
        copy_with_xclip("foreign");
        Target target;
        QVERIFY(open_target(target));
        press(app, "ctrl+v", "foreign");
        QCOMPARE(finish(target), QByteArray("foreign"));
    }
};

QTEST_GUILESS_MAIN(TestPasteCycle)
#include "TestPasteCycle.moc"
