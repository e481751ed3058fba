// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eSupport.h"
#include "support/TestImages.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <csignal>

using namespace e2e;

// Texts copied by a foreign program come back one per real Ctrl+V in a real third-party text field.
class TestPasteCycle : public QObject {
    Q_OBJECT

    // Starts the program with `settings`, copies three texts with xclip and opens the text field.
    static bool start_with_three_copies(Stackpaste& app, TextField& target, const QByteArray& settings = {})
    {
        return e2e::start_with_three_copies(app, settings) && target.open();
    }

    // The program's last lines of output, for a failure message.
    static QByteArray recent_lines(Stackpaste& app)
    {
        const QList<QByteArray> lines = app.output().split('\n');
        return "\n" + lines.mid(std::max(0, lines.size() - 25)).join('\n');
    }

private Q_SLOTS:
    // In a Wayland session without a data-control protocol the program says once that it follows pastes through
    // XWayland: each request for its X11 clipboard is a paste, and a grabbed Ctrl+V adds no second one.
    void a_wayland_session_without_data_control_follows_pastes_through_xwayland()
    {
        Stackpaste app;
        app.set_environment(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        app.set_environment(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-9"));
        app.set_environment(QStringLiteral("QT_QPA_PLATFORM"), QString());
        QVERIFY(e2e::start_with_three_copies(app));
        QCOMPARE(count(app.output(), "followed through XWayland"), 1);
        TextField target;
        QVERIFY(target.open());
        // Reading the clipboard here would be a paste too: the pastes are counted in the output alone.
        // The pastes come as a user's do, well apart: a read right after an offer is a clipboard keeper's.
        for (int pastes = 1; pastes <= 2; ++pastes) {
            QTest::qWait(100);
            xdotool({"key", "ctrl+v"});
            QTRY_COMPARE_WITH_TIMEOUT(count(app.output(), "Done pasting"), pastes, 10000);
        }
        QCOMPARE(target.finish(), QByteArray("three two"));
    }

    void three_copies_paste_in_order_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QByteArray>("pasted");   // what each press put on the clipboard
        QTest::addColumn<QByteArray>("received"); // what the text field holds in the end
        const QStringList three_pastes{"ctrl+v", "ctrl+v", "ctrl+v"};
        QTest::newRow("backward") << QByteArray() << three_pastes << QByteArray("three two one")
                                  << QByteArray("three two one");
        QTest::newRow("forward") << QByteArray("PasteOrder=forward\n") << three_pastes << QByteArray("one two three")
                                 << QByteArray("one two three");
        QTest::newRow("text history") << QByteArray("IsRichTextCopyEnabled=false\n") << three_pastes
                                      << QByteArray("three two one") << QByteArray("three two one");
        QTest::newRow("caps lock counts")
            << QByteArray() << QStringList{"ctrl+v", "Caps_Lock ctrl+v Caps_Lock", "ctrl+v"}
            << QByteArray("three two one") << QByteArray("three two one");
        // The entry has no binding for Ctrl+Shift+V, so it pastes nothing there, but the press moves the history on.
        QTest::newRow("ctrl+shift+v counts") << QByteArray() << QStringList{"ctrl+v", "ctrl+shift+v", "ctrl+v"}
                                             << QByteArray("three two one") << QByteArray("three one");
    }

    void three_copies_paste_in_order()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, keys);
        QFETCH(QByteArray, pasted);
        QFETCH(QByteArray, received);
        Stackpaste app;
        TextField target;
        QVERIFY(start_with_three_copies(app, target, settings));
        const QList<QByteArray> items = pasted.split(' ');
        for (int i = 0; i < keys.size(); ++i) {
            const int before = count(app.output(), "Done pasting");
            for (const QString& key : keys[i].split(' '))
                xdotool({"key", key});
            QTRY_COMPARE_WITH_TIMEOUT(count(app.output(), "Done pasting"), before + 1, 10000);
            QTRY_COMPARE_WITH_TIMEOUT(clipboard(), items[i] + ' ', 10000);
        }
        QCOMPARE(target.finish().simplified(), received);
        // What was copied never reaches a log.
        QVERIFY2(!app.output().contains("three"), recent_lines(app).constData());
    }

    void plain_v_is_typed_and_not_caught()
    {
        Stackpaste app;
        TextField target;
        QVERIFY(start_with_three_copies(app, target));
        xdotool({"type", "v"});
        press(app, "ctrl+v", "three ");
        QVERIFY(target.finish().startsWith("vthree"));
        QVERIFY(!app.output().contains("Done pasting\n"
                                       "Done pasting")); // one paste, not two
    }

    void paused_pastes_what_the_clipboard_holds()
    {
        Stackpaste app;
        app.write_settings("IsStackpastePaused=true\n");
        QVERIFY(app.start());
        copy_with_xclip("foreign");
        TextField target;
        QVERIFY(target.open());
        press(app, "ctrl+v", "foreign");
        QCOMPARE(target.finish(), QByteArray("foreign"));
    }

    // A stopped program must not hold the desktop's keys: Ctrl+Z in its terminal (SIGTSTP) gives the grabs back
    // before it stops, and a SIGSTOP, which cannot be caught, can hold nothing but a Ctrl+V.
    void a_stopped_program_holds_no_key_data()
    {
        QTest::addColumn<int>("signal_number");
        QTest::addColumn<QString>("keys");
        QTest::newRow("Ctrl+V after SIGTSTP") << int(SIGTSTP) << "ctrl+v";
        QTest::newRow("Ctrl+C after SIGSTOP") << int(SIGSTOP) << "ctrl+c";
        QTest::newRow("Ctrl+X after SIGSTOP") << int(SIGSTOP) << "ctrl+x";
    }
    void a_stopped_program_holds_no_key()
    {
        QFETCH(int, signal_number);
        QFETCH(QString, keys);
        Stackpaste app;
        TextField target;
        QVERIFY(start_with_three_copies(app, target));
        const auto state = [&] {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(app.pid()));
            const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
            const int end = line.lastIndexOf(')'); // the name in parentheses may hold spaces
            return end > 0 && end + 2 < line.size() ? line.at(end + 2) : '?';
        };
        QVERIFY(::kill(static_cast<pid_t>(app.pid()), signal_number) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(state(), 'T', 10000);

        xdotool({"type", "ab"});
        xdotool({"key", keys});
        xdotool({"type", "cd"});
        const QByteArray received = target.finish();
        QVERIFY2(received.startsWith("ab") && received.endsWith("cd"), ("received: " + received).constData());

        // Continued, it catches Ctrl+V again.
        QVERIFY(::kill(static_cast<pid_t>(app.pid()), SIGCONT) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(state() != 'T', 10000);
        TextField next;
        QVERIFY(next.open());
        press(app, "ctrl+v", "three ");
        QCOMPARE(next.finish(), QByteArray("three"));
    }

    // A program that takes the clipboard and then trickles its text a byte at a time, for ever: the capture waits
    // on a thread of its own until its deadline. Meanwhile the history dialog opens and Ctrl+V pastes the earlier
    // items in order. The paste makes us the owner, which ends the capture at once: the item that never came whole
    // is not recorded.
    void pastes_go_on_while_a_clipboard_owner_hangs()
    {
        Stackpaste app;
        QVERIFY(e2e::start_with_three_copies(app));

        const QByteArray capture_end = "END copy_to_stackpaste_clipboard()";
        const int captures_before = count(app.output(), capture_end);
        QProcess owner;
        owner.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        owner.start(QStringLiteral(SILENT_OWNER), {QStringLiteral("--incr-trickle")});
        QVERIFY(owner.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(owner.canReadLine() || owner.state() == QProcess::NotRunning, 10000);
        QVERIFY(owner.readAllStandardOutput().startsWith("owning\n"));

        xdotool({"key", "ctrl+alt+h"});
        QVERIFY(app.wait_for_output("open_history_dialog()"));
        xdotool({"key", "Escape"});
        TextField target;
        QVERIFY(target.open());
        // All of it while the capture was still under way.
        QVERIFY2(count(app.output(), capture_end) == captures_before, recent_lines(app).constData());
        press(app, "ctrl+v", "three ");
        QTRY_VERIFY_WITH_TIMEOUT(count(app.output(), capture_end) > captures_before, 10000);
        QVERIFY(app.output().contains("sent none of the formats it offered: nothing recorded"));
        press(app, "ctrl+v", "two ");
        QCOMPARE(target.finish(), QByteArray("three two"));
        QVERIFY(!app.output().contains("did not take the key press within"));
        owner.kill();
        owner.waitForFinished();
    }

    // What the program recorded pastes back as it was copied: a 4K screenshot byte for byte, a 3 MB text, and a
    // file list as the paste copies of its snapshots. The screenshot and the text wait in files meanwhile.
    void large_items_paste_back_as_they_were_copied()
    {
        Stackpaste app;
        app.write_settings();
        QVERIFY(app.start());
        QTemporaryDir folder;
        const auto write = [&](const QString& name, const QByteArray& bytes) {
            QFile file(folder.filePath(name));
            file.open(QIODevice::WriteOnly);
            file.write(bytes);
            return file.fileName();
        };
        const auto read = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const auto copy = [&](const QStringList& arguments) {
            const int before = count(app.output(), "END copy_to_stackpaste_clipboard()");
            run(QStringLiteral("xclip"), QStringList{"-selection", "clipboard"} + arguments);
            return QTest::qWaitFor([&] { return count(app.output(), "END copy_to_stackpaste_clipboard()") > before; },
                                   20000);
        };
        const auto paste = [&] {
            const int before = count(app.output(), "Done pasting");
            xdotool({"key", "ctrl+v"});
            return QTest::qWaitFor([&] { return count(app.output(), "Done pasting") > before; }, 10000);
        };

        const QImage screenshot = test_images::screenshot_4k();
        const QString png = folder.filePath(QStringLiteral("screenshot.png"));
        QVERIFY(screenshot.save(png));
        const QByteArray png_bytes = read(png);
        QByteArray text;
        for (int i = 0; text.size() < 3 * 1024 * 1024; ++i)
            text += "log line " + QByteArray::number(i) + ": all well\n";
        const QString notes = write(QStringLiteral("notes.txt"), "my notes");
        QVERIFY(copy({"-t", "image/png", "-i", png}));
        QVERIFY(copy({"-i", write(QStringLiteral("log.txt"), text)}));
        QVERIFY(copy({"-t", "text/uri-list", "-i",
                      write(QStringLiteral("list.txt"), QUrl::fromLocalFile(notes).toEncoded() + "\r\n")}));

        QVERIFY(paste());
        const QString pasted_file =
            QUrl(QString::fromUtf8(clipboard(QStringLiteral("text/uri-list")).trimmed())).toLocalFile();
        QVERIFY2(pasted_file.contains(QLatin1String("/curr/")), qPrintable(pasted_file));
        QCOMPARE(read(pasted_file), QByteArray("my notes"));
        QVERIFY(paste());
        QVERIFY(clipboard() == text);
        QVERIFY(paste());
        QVERIFY(clipboard(QStringLiteral("image/png")) == png_bytes);
        // Nothing of what was copied reached a log.
        QVERIFY(!app.output().contains("log line"));
    }

    // The end of the session does not wait for a capture.
    void sigterm_is_served_while_a_capture_waits()
    {
        Stackpaste app;
        QVERIFY(e2e::start_with_three_copies(app));
        const int captures_before = count(app.output(), "END copy_to_stackpaste_clipboard()");
        QProcess owner;
        owner.start(QStringLiteral(SILENT_OWNER), {QStringLiteral("--incr-trickle")});
        QVERIFY(owner.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(owner.canReadLine(), 10000);
        QTest::qWait(300);
        QVERIFY(::kill(static_cast<pid_t>(app.pid()), SIGTERM) == 0);
        QVERIFY(app.process().waitForFinished(3000));
        QCOMPARE(app.process().exitCode(), 0);
        QCOMPARE(count(app.output(), "END copy_to_stackpaste_clipboard()"), captures_before);
        owner.kill();
        owner.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestPasteCycle)
#include "TestPasteCycle.moc"
