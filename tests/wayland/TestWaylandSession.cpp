// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaylandSupport.h"
#include "support/TestImages.h"

#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <csignal>
#include <unistd.h>

using namespace wayland;

// The program in a Wayland session (headless sway: data-control; headless mutter: the X11 clipboard through XWayland),
// with native Wayland programs around it.
class TestWaylandSession : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(!compositor().isEmpty(), "run under scripts/wayland-session"); }

    void copies_paste_back_in_order_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QByteArray>("received");
        QTest::newRow("backward") << QByteArray() << QByteArray("three two one ");
        QTest::newRow("forward") << QByteArray("PasteOrder=forward\n") << QByteArray("one two three ");
    }

    // A native program and an X11 program copy; every Ctrl+V in a native GTK field takes the next item, while a
    // clipboard keeper (sway) or mutter itself reads every new owner.
    void copies_paste_back_in_order()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QByteArray, received);
        Stackpaste app;
        const OutputOnFailure shown{app};
        app.write_settings(settings);
        QVERIFY(app.start());
        QVERIFY(app.wait_for_output("every paste takes the next item"));
        Keys keys;
        QVERIFY(keys.open());
        // A keeper that runs from the start prints a line for each new owner: each Ctrl+V waits for the program's
        // next offer (one pressed before it would paste the last offer again, from the field's own cache). mutter
        // has no keeper, and reads every new owner itself.
        QProcess keeper;
        const auto offers = [&] { return is_mutter() ? 0 : keeper.readAllStandardOutput().count('\n'); };
        const auto next_offer = [&] {
            const bool seen = is_mutter() || QTest::qWaitFor([&] { return offers() > 0; }, 5000);
            // The field learns of the new owner on its own connection, a moment after the keeper.
            QTest::qWait(300);
            return seen;
        };
        if (!is_mutter()) {
            keeper.start(QStringLiteral("wl-paste"), {"--watch", "sh", "-c", "cat >/dev/null; echo offer"});
            QVERIFY(keeper.waitForStarted());
        }

        QVERIFY(copy_recorded(app, "one "));
        {
            // sway hands an X11 copy to Wayland programs only when an X11 window has the focus, as when a user copies.
            Field x11_field;
            QVERIFY(x11_field.open(true));
            QVERIFY(recorded_after(app, [] { copy_with_xclip("two "); }));
            x11_field.finish(keys);
        }
        QVERIFY(copy_recorded(app, "three "));

        // Neither the copies, nor the reads of the keeper or of the compositor, nor a field taking the focus paste.
        Field field;
        QVERIFY(field.open());
        QTest::qWait(500);
        QCOMPARE(pasted(app), 0);
        offers(); // those of the copies
        QVERIFY(first_paste(app, keys));
        QVERIFY(next_offer());
        QVERIFY(paste(app, keys));
        QVERIFY(next_offer());
        QVERIFY(paste(app, keys));
        QCOMPARE(field.finish(keys), received);
        keeper.kill();
        keeper.waitForFinished();
        // What was copied never reaches a log.
        QVERIFY(!app.output().contains("three"));
    }

    // A 4K screenshot and a file list copied by native programs paste back as they were copied: the screenshot byte
    // for byte, the list as copies of its files.
    void large_items_paste_back_as_they_were_copied()
    {
        Stackpaste app;
        const OutputOnFailure shown{app};
        app.write_settings();
        QVERIFY(app.start());
        Keys keys; // mutter's seat has a keyboard only once there is one
        QVERIFY(keys.open());
        QTemporaryDir folder;
        const QImage screenshot = test_images::screenshot_4k();
        const QString png = folder.filePath(QStringLiteral("screenshot.png"));
        QVERIFY(screenshot.save(png));
        QFile png_file(png);
        QVERIFY(png_file.open(QIODevice::ReadOnly));
        const QByteArray png_bytes = png_file.readAll();
        QFile notes(folder.filePath(QStringLiteral("notes.txt")));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("my notes");
        notes.close();

        QVERIFY(copy_recorded(app, png_bytes, QStringLiteral("image/png")));
        const QByteArray list = QUrl::fromLocalFile(notes.fileName()).toEncoded() + "\r\n";
        QVERIFY(copy_recorded(app, list, QStringLiteral("text/uri-list")));

        // The newest first: the list, byte for byte.
        QTRY_VERIFY_WITH_TIMEOUT(wl_types().contains("text/uri-list"), 10000);
        QCOMPARE(wl_paste(QStringLiteral("text/uri-list")), list);
        // Then the screenshot, once the program offers it.
        QTRY_VERIFY_WITH_TIMEOUT(wl_types().contains("image/png"), 10000);
        QVERIFY(wl_paste(QStringLiteral("image/png")) == png_bytes);
    }

    // A program that offers types and never sends them is given up at the capture's deadline; meanwhile the
    // program answers, and a later copy is recorded and pastes.
    void a_hung_owner_is_given_up_and_blocks_nothing()
    {
        Stackpaste app;
        const OutputOnFailure shown{app};
        app.write_settings();
        QVERIFY(app.start());
        Keys keys;
        QVERIFY(keys.open());
        QProcess owner;
        owner.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        owner.start(QStringLiteral(WAYLAND_OWNER), is_mutter() ? QStringList{"--x11", "--hang", "--text", "hung"}
                                                               : QStringList{"--hang", "--text", "hung"});
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += owner.readAll()).contains("owning"), 10000);
        QElapsedTimer since_owning;
        since_owning.start();

        // While the capture waits, the program answers at once.
        QElapsedTimer answer;
        answer.start();
        int status = -1;
        run(app.binary(), {"list"}, 5000, QByteArray(), &status);
        QCOMPARE(status, 0);
        QVERIFY2(answer.elapsed() < 2000, qPrintable(QString::number(answer.elapsed())));

        // Given up within the capture's deadline (five seconds at most), recording nothing.
        QVERIFY(app.wait_for_output("nothing recorded", 8000));
        QVERIFY2(since_owning.elapsed() < 7000, qPrintable(QString::number(since_owning.elapsed())));
        QVERIFY((said += owner.readAll()).contains("send"));

        QVERIFY(copy_recorded(app, "later"));
        QTRY_VERIFY_WITH_TIMEOUT(wl_types().contains("text/plain"), 10000);
        QCOMPARE(wl_paste(QStringLiteral("text/plain;charset=utf-8")), QByteArray("later"));
        owner.kill();
        owner.waitForFinished();
    }

    // The compositor goes away (the user logs out): the program ends by itself, its settings saved. Ends the
    // session, so it runs last.
    void the_end_of_the_session_ends_the_program()
    {
        Stackpaste app;
        const OutputOnFailure shown{app};
        app.write_settings();
        QVERIFY(app.start());
        int status = -1;
        run(app.binary(), {"order", "forward"}, 5000, QByteArray(), &status);
        QCOMPARE(status, 0);

        if (is_mutter()) {
            // mutter is the parent of the shell that started this test.
            QFile stat(QStringLiteral("/proc/%1/stat").arg(getppid()));
            QVERIFY(stat.open(QIODevice::ReadOnly));
            const QByteArray line = stat.readAll();
            const pid_t mutter = line.mid(line.lastIndexOf(')') + 2).split(' ').value(1).toInt();
            QVERIFY(mutter > 1);
            QVERIFY(::kill(mutter, SIGTERM) == 0);
        } else {
            run(QStringLiteral("swaymsg"), {"exit"});
        }
        QVERIFY(QTest::qWaitFor([&] { return app.process().state() == QProcess::NotRunning; }, 15000));
        // It ends by itself, not killed (its exit status is Qt's for a lost X display), with its files removed.
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        const QByteArray output = app.output();
        const int temp = output.indexOf("Temp dir path is: \"") + 19;
        QVERIFY(temp > 19);
        QVERIFY(!QFileInfo::exists(QString::fromUtf8(output.mid(temp, output.indexOf('"', temp) - temp))));
        QFile settings(app.settings_path());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(settings.readAll().contains("PasteOrder=forward"));
    }
};

QTEST_GUILESS_MAIN(TestWaylandSession)
#include "TestWaylandSession.moc"
