// SPDX-License-Identifier: GPL-3.0-or-later
// System-wide shortcuts against a real X server: xdotool presses the keys, setxkbmap changes the layout, and a second
// client of the test's own holds combinations as another program would.
#include "platform/x11/GlobalHotkey.h"
#include "support/Desktop.h"
#include "support/OtherClient.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QtTest>

#include <xcb/xcb.h>

using namespace desktop;

namespace {

constexpr uint16_t k_ctrl_alt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr uint16_t k_num_lock = XCB_MOD_MASK_2; // Xvfb's map puts NumLock on Mod2
constexpr xcb_keysym_t k_ctrl = 0xffe3, k_shift = 0xffe1, k_alt = 0xffe9;

// Presses `keys` (xdotool's names) and says whether the spy saw exactly one more activation. A press that must not
// fire is given time to arrive: the next press of a key that does fire is what is waited for.
bool fires(QSignalSpy& spy, const QString& keys)
{
    const int before = spy.count();
    for (const QString& key : keys.split(QLatin1Char(' ')))
        xdotool({"key", key});
    return QTest::qWaitFor([&] { return spy.count() > before; }, 3000) && spy.count() == before + 1;
}

bool run_ok(const QString& program, const QStringList& arguments)
{
    int exit_code = -1;
    run(program, arguments, 10000, QByteArray(), &exit_code);
    return exit_code == 0;
}

bool set_layout(const QString& layout)
{
    return run_ok(QStringLiteral("setxkbmap"), {layout});
}

} // namespace

class TestGlobalHotkey : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "run through scripts/test-session --xvfb");
        QVERIFY(set_layout(QStringLiteral("us")));
    }

    // One press, one activation, with CapsLock and NumLock on too; another modifier set is another combination.
    void a_combination_fires_with_every_lock()
    {
        GlobalHotkey hotkey;
        QSignalSpy spy(&hotkey, &GlobalHotkey::activated);
        QVERIFY(hotkey.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+H")), true));
        QVERIFY(hotkey.is_registered());
        QVERIFY(hotkey.registration_error().isEmpty());
        QVERIFY(fires(spy, "ctrl+alt+h"));
        QVERIFY(fires(spy, "Caps_Lock ctrl+alt+h Caps_Lock"));
        QVERIFY(fires(spy, "Num_Lock ctrl+alt+h Num_Lock"));
        QVERIFY(fires(spy, "Caps_Lock Num_Lock ctrl+alt+h Num_Lock Caps_Lock"));
        const int before = spy.count();
        xdotool({"key", "ctrl+alt+shift+h"});
        xdotool({"key", "ctrl+h"});
        QVERIFY(fires(spy, "ctrl+alt+h"));
        QCOMPARE(spy.count(), before + 1);
    }

    // "<" sits on the Shift level of the comma key in a US layout and has a key of its own in a German one; the
    // grabs follow the layout the keyboard has now.
    void a_shift_level_symbol_follows_the_layout()
    {
        GlobalHotkey hotkey;
        QSignalSpy spy(&hotkey, &GlobalHotkey::activated);
        QVERIFY(hotkey.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+<")), true));
        QVERIFY(fires(spy, "ctrl+alt+shift+comma"));
        QVERIFY(fires(spy, "ctrl+alt+less"));

        QVERIFY(set_layout(QStringLiteral("de")));
        // The grabs change after the map's notices have arrived.
        QTRY_VERIFY_WITH_TIMEOUT(fires(spy, "ctrl+alt+less"), 10000);
        QVERIFY(hotkey.is_registered());
        // Shift and comma give a semicolon in German: the old grab is gone.
        const int before = spy.count();
        xdotool({"key", "ctrl+alt+shift+comma"});
        QVERIFY(fires(spy, "ctrl+alt+less"));
        QCOMPARE(spy.count(), before + 1);

        QVERIFY(set_layout(QStringLiteral("us")));
        QTRY_VERIFY_WITH_TIMEOUT(fires(spy, "ctrl+alt+shift+comma"), 10000);
    }

    // Two layouts: the active one decides where "<" is, and a switch to the other moves the grabs with it. The keys
    // are pressed by keycode, as the keyboard sends them, since xdotool picks the layout of each symbol it types.
    void a_layout_switch_moves_the_grabs()
    {
        QVERIFY(run_ok(QStringLiteral("setxkbmap"), {"-layout", "us,de"}));
        OtherClient keys;
        const xcb_keycode_t comma = keys.keycode(','), less = keys.keycode('<'); // less: the key of its own
        QVERIFY(comma && less);
        const auto fires_on = [&](QSignalSpy& spy, std::initializer_list<xcb_keysym_t> modifiers, xcb_keycode_t key) {
            const int before = spy.count();
            keys.tap(modifiers, key);
            return QTest::qWaitFor([&] { return spy.count() > before; }, 2000) && spy.count() == before + 1;
        };
        GlobalHotkey hotkey;
        QSignalSpy spy(&hotkey, &GlobalHotkey::activated);
        QVERIFY(hotkey.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+<")), true));
        QTRY_VERIFY_WITH_TIMEOUT(fires_on(spy, {k_ctrl, k_alt, k_shift}, comma), 10000);

        keys.lock_group(1); // German
        QTRY_VERIFY_WITH_TIMEOUT(!fires_on(spy, {k_ctrl, k_alt, k_shift}, comma), 10000);
        QVERIFY(fires_on(spy, {k_ctrl, k_alt}, less));

        keys.lock_group(0);
        QTRY_VERIFY_WITH_TIMEOUT(fires_on(spy, {k_ctrl, k_alt, k_shift}, comma), 10000);
        QVERIFY(run_ok(QStringLiteral("setxkbmap"), {"us"}));
    }

    // A combination that another program holds leaves only that hotkey without its shortcut; once the other
    // program lets go, it can be registered.
    void a_combination_held_elsewhere_is_not_registered()
    {
        OtherClient other;
        const xcb_keycode_t j = other.keycode('j');
        // One lock variant is enough to spoil the set: the shortcut would work with CapsLock off and not with it on.
        QVERIFY(other.grab(j, k_ctrl_alt | XCB_MOD_MASK_LOCK, true));

        GlobalHotkey taken;
        GlobalHotkey free;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Ctrl\\+Alt\\+J.*another program"));
        QVERIFY(!taken.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+J")), true));
        QVERIFY(!taken.is_registered());
        QVERIFY(taken.registration_error().contains(QLatin1String("another program")));
        // None of its other variants were kept.
        QVERIFY(other.grab(j, k_ctrl_alt, false));
        QVERIFY(other.grab(j, k_ctrl_alt | k_num_lock, false));

        QSignalSpy spy(&free, &GlobalHotkey::activated);
        QVERIFY(free.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+K")), true));
        QVERIFY(fires(spy, "ctrl+alt+k"));

        other.ungrab(j, k_ctrl_alt | XCB_MOD_MASK_LOCK);
        QSignalSpy taken_spy(&taken, &GlobalHotkey::activated);
        QVERIFY(taken.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+J")), true));
        QVERIFY(fires(taken_spy, "Caps_Lock ctrl+alt+j Caps_Lock"));
    }

    void texts_that_are_no_combination_are_refused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("modifier alone") << "Ctrl";
        QTest::newRow("modifiers alone") << "Ctrl+Alt+";
        QTest::newRow("words") << "garbage text";
        QTest::newRow("two keys in a row") << "Ctrl+A, Ctrl+B";
    }
    void texts_that_are_no_combination_are_refused()
    {
        QFETCH(QString, text);
        GlobalHotkey hotkey;
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("is not registered: not a key combination"));
        QVERIFY(!hotkey.setShortcut(QKeySequence(text, QKeySequence::NativeText), true));
        QCOMPARE(hotkey.registration_error(), QStringLiteral("not a key combination"));
    }

    // Giving a shortcut up releases every variant; two hotkeys on one combination both fire, and one giving it up
    // leaves the other working.
    void unregistering_releases_every_variant()
    {
        OtherClient other;
        const xcb_keycode_t h = other.keycode('h');
        auto first = std::make_unique<GlobalHotkey>();
        GlobalHotkey second;
        QSignalSpy first_spy(first.get(), &GlobalHotkey::activated);
        QSignalSpy second_spy(&second, &GlobalHotkey::activated);
        QVERIFY(first->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+H")), true));
        QVERIFY(second.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+H")), true));
        QVERIFY(fires(first_spy, "ctrl+alt+h"));
        QCOMPARE(second_spy.count(), 1);

        QVERIFY(!first->setShortcut(QKeySequence(), true));
        QVERIFY(!first->is_registered());
        QVERIFY(first->registration_error().isEmpty());
        QVERIFY(fires(second_spy, "ctrl+alt+h"));
        QCOMPARE(first_spy.count(), 1);

        second.setShortcut(QKeySequence(), true);
        for (const int locks : {0, int(XCB_MOD_MASK_LOCK), int(k_num_lock), XCB_MOD_MASK_LOCK | k_num_lock})
            QVERIFY(other.grab(h, static_cast<uint16_t>(k_ctrl_alt | locks), false));
        // Destroyed while registered: the grabs go with it.
        QVERIFY(first->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+H")), true));
        first.reset();
        QVERIFY(other.grab(h, k_ctrl_alt, false));
    }
};

QTEST_MAIN(TestGlobalHotkey)
#include "TestGlobalHotkey.moc"
