// SPDX-License-Identifier: GPL-3.0-or-later
// The application in this process with the real X11 keyboard, against real programs: xclip copies, xdotool presses
// the keys, a zenity entry receives the pastes. The lock is taken through App, as the tray menu and the lock shortcut
// do, so that what a real Ctrl+C does to it can be seen.
#include "core/SaveManager.h"
#include "support/AppWindows.h"
#include "support/Desktop.h"
#include "ui/App.h"
#include "ui/AutocompleteDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace desktop;

class TestAppX11 : public QObject {
    Q_OBJECT

    static void copy_three(App& app)
    {
        for (const char* text : {"one ", "two ", "three "}) {
            const int before = app.history().size();
            copy_with_xclip(text);
            QTRY_COMPARE_WITH_TIMEOUT(app.history().size(), before + 1, 10000);
        }
    }

    // One Ctrl+V; waits until the paste has written the clipboard and returns what it wrote.
    static QString paste()
    {
        QSignalSpy written(QGuiApplication::clipboard(), &QClipboard::dataChanged);
        xdotool({"key", "ctrl+v"});
        if (!QTest::qWaitFor([&] { return written.count() > 0; }, 10000))
            return QStringLiteral("(no paste)");
        return QGuiApplication::clipboard()->text();
    }

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(qEnvironmentVariable("HOME").contains(QLatin1String("stackpaste-test")),
                 "run through scripts/test-session --xvfb");
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "needs an X display");
    }

    void init()
    {
        QFile file(SaveManager::default_path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\nSaveVersion=2\nIsFirstStart=false\nStartAtStartup=false\n");
    }

    // Ctrl+C releases the lock by itself: with nothing selected the entry copies nothing, and still the next pastes
    // walk on from the position saved at lock time.
    void ctrl_c_releases_a_locked_position_without_a_copy()
    {
        App app;
        QVERIFY(app.is_keyboard_hook_connected());
        copy_three(app);
        TextField field;
        QVERIFY(field.open());

        app.lock_current_position();
        QCOMPARE(paste(), QStringLiteral("three "));
        QCOMPARE(paste(), QStringLiteral("three "));
        QVERIFY(app.history().is_position_locked());

        xdotool({"key", "ctrl+c"});
        QTRY_VERIFY_WITH_TIMEOUT(!app.history().is_position_locked(), 10000);
        QCOMPARE(app.history().size(), 3);
        QCOMPARE(paste(), QStringLiteral("three "));
        QCOMPARE(paste(), QStringLiteral("two "));
        QCOMPARE(field.finish().simplified(), QByteArray("three three three two"));
    }

    // Ctrl+C on selected text while locked: the lock is off before the copy is recorded, and the copy is pasted next.
    void ctrl_c_on_a_locked_position_records_the_copy()
    {
        App app;
        copy_three(app);
        TextField field;
        QVERIFY(field.open());
        app.lock_current_position();
        QCOMPARE(paste(), QStringLiteral("three "));

        xdotool({"type", "mine"});
        xdotool({"key", "ctrl+a"});
        xdotool({"key", "ctrl+c"});
        QTRY_COMPARE_WITH_TIMEOUT(app.history().size(), 4, 10000);
        QVERIFY(!app.history().is_position_locked());
        QCOMPARE(paste(), QStringLiteral("three mine")); // the whole field was selected
        QCOMPARE(paste(), QStringLiteral("three "));
    }

    // Ctrl+C in one of our own windows is a copy like any other and the next paste; our pastes still never are.
    void ctrl_c_in_our_own_window_is_recorded()
    {
        App app;
        copy_three(app);
        app.open_autocomplete_dialog();
        QLineEdit* filter = window_of<AutocompleteDialog>(app)->filter();
        QTRY_VERIFY(filter->isVisible());
        xdotool({"windowfocus", "--sync", QString::number(window_of<AutocompleteDialog>(app)->winId())});
        QTRY_VERIFY(filter->hasFocus());
        xdotool({"type", "mine"});
        QTRY_COMPARE(filter->text(), QStringLiteral("mine"));
        xdotool({"key", "ctrl+a"});
        xdotool({"key", "ctrl+c"});
        QTRY_COMPARE_WITH_TIMEOUT(app.history().size(), 4, 10000);
        window_of<AutocompleteDialog>(app)->hide();

        TextField field;
        QVERIFY(field.open());
        QCOMPARE(paste(), QStringLiteral("mine"));
        QCOMPARE(paste(), QStringLiteral("three "));
        QCOMPARE(app.history().size(), 4);
        QCOMPARE(field.finish(), QByteArray("minethree"));
    }
};

QTEST_MAIN(TestAppX11)
#include "TestAppX11.moc"
