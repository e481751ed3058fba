// SPDX-License-Identifier: GPL-3.0-or-later
// The X11 keyboard against a real X server: a second client of the test's own presses keys with XTest, owns the
// focused window the replayed keys must reach, and competes for the grabs.
#include "platform/Platform.h"
#include "platform/x11/LinuxKeyboard.h"
#include "support/Desktop.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QClipboard>
#include <QProcess>
#include <QtTest>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <poll.h>
#include <thread>

namespace {

constexpr xcb_keysym_t k_c = 0x63, k_v = 0x76, k_x = 0x78, k_q = 0x71, k_i = 0x69, k_period = 0x2e, k_return = 0xff0d;
constexpr xcb_keysym_t k_ctrl = 0xffe3, k_shift = 0xffe1, k_alt = 0xffe9, k_caps_lock = 0xffe5, k_num_lock = 0xff7f;
// Super sets Mod4, AltGr (ISO_Level3_Shift) Mod5, and ISO_Level5_Shift Mod3 with the layout option below.
constexpr xcb_keysym_t k_super = 0xffeb, k_alt_gr = 0xfe03, k_level5 = 0xfe11;

// A plain X client: injects keys, probes grabs, and records the key presses its focused window receives.
class XClient {
public:
    XClient() : m_connection(xcb_connect(nullptr, nullptr))
    {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        m_window = xcb_generate_id(m_connection);
        const uint32_t mask = XCB_EVENT_MASK_KEY_PRESS;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, m_root, 0, 0, 50, 50, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
        xcb_map_window(m_connection, m_window);
        sync();
    }
    ~XClient() { xcb_disconnect(m_connection); }

    void focus()
    {
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, m_window, XCB_CURRENT_TIME);
        sync();
    }
    xcb_keycode_t keycode(xcb_keysym_t keysym) const
    {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t first = codes ? codes[0] : 0;
        std::free(codes);
        xcb_key_symbols_free(symbols);
        return first;
    }
    void key(xcb_keysym_t keysym, bool down) { key_code(keycode(keysym), down); }
    void key_code(xcb_keycode_t code, bool down)
    {
        xcb_test_fake_input(m_connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0,
                            0, 0);
        xcb_flush(m_connection);
    }
    // Ctrl held around one press of the key `code`.
    void tap_with_control(xcb_keycode_t code)
    {
        key(k_ctrl, true);
        key_code(code, true);
        key_code(code, false);
        key(k_ctrl, false);
    }
    // Holds the modifier keys of `modifiers` (Control, Shift, Alt, Super, AltGr, Mod3) around one press of `letter`.
    void tap(uint16_t modifiers, xcb_keysym_t letter)
    {
        const QPair<uint16_t, xcb_keysym_t> keys[] = {{XCB_MOD_MASK_CONTROL, k_ctrl}, {XCB_MOD_MASK_SHIFT, k_shift},
                                                      {XCB_MOD_MASK_1, k_alt},        {XCB_MOD_MASK_4, k_super},
                                                      {XCB_MOD_MASK_5, k_alt_gr},     {XCB_MOD_MASK_3, k_level5}};
        for (const auto& [mask, keysym] : keys)
            if (modifiers & mask)
                key(keysym, true);
        key(letter, true);
        key(letter, false);
        for (const auto& [mask, keysym] : keys)
            if (modifiers & mask)
                key(keysym, false);
    }
    uint16_t modifier_state()
    {
        auto* reply = xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr);
        const uint16_t state = reply ? reply->mask : 0;
        std::free(reply);
        return state;
    }
    // Whether this client may grab the combination now, i.e. nobody else holds it. Keeps the grab when asked.
    bool grab(xcb_keycode_t code, uint16_t modifiers, bool keep = false)
    {
        xcb_generic_error_t* error =
            xcb_request_check(m_connection, xcb_grab_key_checked(m_connection, 0, m_root, modifiers, code,
                                                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        if (!error && !keep)
            ungrab(code, modifiers);
        return !error;
    }
    void ungrab(xcb_keycode_t code, uint16_t modifiers)
    {
        xcb_ungrab_key(m_connection, code, m_root, modifiers);
        sync();
    }
    // Collects what has arrived at the window so far; waits up to `timeout_ms` for something when asked.
    const QVector<QPair<xcb_keycode_t, uint16_t>>& presses(int timeout_ms = 0)
    {
        pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        if (timeout_ms > 0)
            poll(&fd, 1, timeout_ms);
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
                const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
                m_presses.append({press->detail, press->state});
            }
            std::free(event);
        }
        return m_presses;
    }
    void clear() { m_presses.clear(); }
    // Sends a made-up key press with SendEvent to every top-level window, as any client may.
    void send_fake_press(xcb_keycode_t code, uint16_t state)
    {
        auto* tree = xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr);
        if (!tree)
            return;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            xcb_key_press_event_t press{};
            press.response_type = XCB_KEY_PRESS;
            press.detail = code;
            press.root = m_root;
            press.event = children[i];
            press.state = state;
            press.same_screen = 1;
            // An empty event mask hands the event to the window's creator.
            xcb_send_event(m_connection, 0, children[i], XCB_EVENT_MASK_NO_EVENT,
                           reinterpret_cast<const char*>(&press));
        }
        std::free(tree);
        sync();
    }
    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t window() const { return m_window; }

private:
    void sync() { std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    xcb_window_t m_window;
    QVector<QPair<xcb_keycode_t, uint16_t>> m_presses;
};

bool run(const QString& program, const QStringList& arguments)
{
    int exit_code = -1;
    desktop::run(program, arguments, 20000, QByteArray(), &exit_code);
    return exit_code == 0;
}

// Counts the clipboard data requests Qt's own connection receives (TARGETS queries aside).
class SelectionRequestCounter : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray&, void* message, long*) override
    {
        const auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST &&
            reinterpret_cast<const xcb_selection_request_event_t*>(event)->target != m_targets)
            ++m_count;
        return false;
    }
    xcb_atom_t m_targets = XCB_NONE;
    int m_count = 0;
};

struct Press {
    int key;
    bool control;
    bool on_main_thread;
};

} // namespace

class TestLinuxKeyboard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        m_keyboard = std::make_unique<LinuxKeyboard>();
        QVERIFY(m_keyboard->set_hooked(true));
        connect(m_keyboard.get(), &Keyboard::signal_key_pressed, this, [this](int key, int) {
            m_pressed.append({key, m_keyboard->is_control_held(), QThread::currentThread() == qApp->thread()});
            if (m_on_press)
                m_on_press(key);
        });
    }
    void init()
    {
        m_x.focus();
        m_x.presses();
        m_x.clear();
        m_pressed.clear();
    }
    void cleanup()
    {
        m_on_press = nullptr;
        QVERIFY(run(QStringLiteral("setxkbmap"), {"-option", "", "us"}));
        const uint16_t locks = m_x.modifier_state();
        if (locks & XCB_MOD_MASK_LOCK)
            m_x.tap(0, k_caps_lock);
        if (locks & XCB_MOD_MASK_2)
            m_x.tap(0, k_num_lock);
        QTRY_COMPARE(m_x.modifier_state() & (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2), 0);
        QVERIFY(m_keyboard->set_hooked(true));
    }

    void reports_control_letters_and_replays_them_data()
    {
        QTest::addColumn<QVector<xcb_keysym_t>>("locks");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<xcb_keysym_t>("letter");
        QTest::addColumn<int>("reported");
        const QVector<xcb_keysym_t> none, caps{k_caps_lock}, num{k_num_lock}, both{k_caps_lock, k_num_lock};
        const int ctrl = XCB_MOD_MASK_CONTROL, shift = XCB_MOD_MASK_SHIFT, alt = XCB_MOD_MASK_1;
        const int super = XCB_MOD_MASK_4, alt_gr = XCB_MOD_MASK_5, mod3 = XCB_MOD_MASK_3;
        // First of all: the first key from the XTest device switches the server's keyboard, which announces a new
        // map; the Ctrl+V right behind it must still be caught (the program's own injected paste depends on it).
        QTest::newRow("Ctrl+V") << none << ctrl << k_v << Keyboard::k_key_v;
        QTest::newRow("Ctrl+C") << none << ctrl << k_c << Keyboard::k_key_c;
        QTest::newRow("Ctrl+Shift+V") << none << (ctrl | shift) << k_v << Keyboard::k_key_v;
        QTest::newRow("Ctrl+Alt+C") << none << (ctrl | alt) << k_c << Keyboard::k_key_c;
        QTest::newRow("CapsLock Ctrl+C") << caps << ctrl << k_c << Keyboard::k_key_c;
        QTest::newRow("NumLock Ctrl+V") << num << ctrl << k_v << Keyboard::k_key_v;
        QTest::newRow("both locks Ctrl+Shift+Alt+X") << both << (ctrl | shift | alt) << k_x << Keyboard::k_key_x;
        // Control counts whatever else is held.
        QTest::newRow("Super+Ctrl+V") << none << (ctrl | super) << k_v << Keyboard::k_key_v;
        QTest::newRow("AltGr+Ctrl+V") << none << (ctrl | alt_gr) << k_v << Keyboard::k_key_v;
        QTest::newRow("Mod3+Ctrl+V") << none << (ctrl | mod3) << k_v << Keyboard::k_key_v;
        QTest::newRow("NumLock Super+AltGr+Shift+Ctrl+V")
            << num << (ctrl | super | alt_gr | shift) << k_v << Keyboard::k_key_v;
        QTest::newRow("Super+Ctrl+C") << none << (ctrl | super) << k_c << Keyboard::k_key_c;
        QTest::newRow("AltGr+Ctrl+X") << none << (ctrl | alt_gr) << k_x << Keyboard::k_key_x;
        QTest::newRow("Super+V") << none << super << k_v << 0;
        QTest::newRow("plain v") << none << 0 << k_v << 0;
        QTest::newRow("plain c with CapsLock") << caps << 0 << k_c << 0;
        QTest::newRow("Shift+X") << none << shift << k_x << 0;
    }
    void reports_control_letters_and_replays_them()
    {
        QFETCH(QVector<xcb_keysym_t>, locks);
        QFETCH(int, modifiers);
        QFETCH(xcb_keysym_t, letter);
        QFETCH(int, reported);
        if (modifiers & XCB_MOD_MASK_3)
            QVERIFY(run(QStringLiteral("setxkbmap"), {"-option", "lv5:ralt_switch", "us"}));
        for (const xcb_keysym_t lock : locks)
            m_x.tap(0, lock);
        m_x.clear();
        const uint16_t locked = m_x.modifier_state();

        m_x.tap(static_cast<uint16_t>(modifiers), letter);
        // Ctrl+V behind it: once it is reported, everything before it has been seen.
        m_x.tap(XCB_MOD_MASK_CONTROL, k_v);
        QTRY_COMPARE(m_pressed.size(), reported ? 2 : 1);
        if (reported) {
            QCOMPARE(m_pressed[0].key, reported);
            QVERIFY(m_pressed[0].control);
            QVERIFY(m_pressed[0].on_main_thread);
        }
        QCOMPARE(m_pressed.last().key, Keyboard::k_key_v);

        // Every press reaches the focused window unchanged, reported or not, and the keyboard flows on.
        const QPair<xcb_keycode_t, uint16_t> press{m_x.keycode(letter), static_cast<uint16_t>(locked | modifiers)};
        const QPair<xcb_keycode_t, uint16_t> behind{m_x.keycode(k_v),
                                                    static_cast<uint16_t>(locked | XCB_MOD_MASK_CONTROL)};
        QTRY_VERIFY(m_x.presses().contains(behind));
        // Waited for: when the press is Ctrl+V too, the first one already makes `behind` seen.
        QTRY_COMPARE(m_x.presses().count(press), press == behind ? 2 : 1);
    }

    void pastes_into_another_program()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("zenity")).isEmpty())
            QSKIP("zenity is not installed");
        QProcess zenity;
        zenity.start(QStringLiteral("zenity"), {QStringLiteral("--entry"), QStringLiteral("--title=Paste target")});
        QVERIFY(run(QStringLiteral("xdotool"), QStringLiteral("search --sync --onlyvisible --name ^Paste.target$ "
                                                              "windowfocus --sync")
                                                   .split(QLatin1Char(' '))));

        SelectionRequestCounter requests;
        auto* targets =
            xcb_intern_atom_reply(m_x.connection(), xcb_intern_atom(m_x.connection(), 0, 7, "TARGETS"), nullptr);
        requests.m_targets = targets->atom;
        std::free(targets);
        qApp->installNativeEventFilter(&requests);
        // As the paste road does: the clipboard is written while the server still holds the Ctrl+V.
        m_on_press = [](int key) {
            if (key == Keyboard::k_key_v)
                QGuiApplication::clipboard()->setText(QStringLiteral("from the history"));
        };
        m_x.tap(0, k_q);
        m_x.tap(XCB_MOD_MASK_CONTROL, k_v);
        QTRY_VERIFY_WITH_TIMEOUT(requests.m_count > 0, 10000);
        qApp->removeNativeEventFilter(&requests);
        m_x.tap(0, k_return);

        QTRY_VERIFY_WITH_TIMEOUT(zenity.state() == QProcess::NotRunning, 10000);
        QCOMPARE(zenity.readAllStandardOutput().trimmed(), QByteArray("qfrom the history"));
    }

    void follows_a_layout_change()
    {
        const xcb_keycode_t us_v = m_x.keycode(k_v);
        QVERIFY(run(QStringLiteral("setxkbmap"), {QStringLiteral("dvorak")}));
        QVERIFY(m_x.keycode(k_v) != us_v);
        // The grabs move with the letter: the new V key is taken, the old keycode (now another letter) is free.
        QTRY_VERIFY(!m_x.grab(m_x.keycode(k_v), XCB_MOD_MASK_CONTROL));
        QVERIFY(!m_x.grab(m_x.keycode(k_v), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK));
        QTRY_VERIFY(m_x.grab(us_v, XCB_MOD_MASK_CONTROL));
        m_x.tap(XCB_MOD_MASK_CONTROL, k_v);
        QTRY_COMPARE(m_pressed.size(), 1);
        QCOMPARE(m_pressed[0].key, Keyboard::k_key_v);
    }

    // The program's own injected Ctrl+V carries a text that is on the clipboard already: it reaches the window
    // unreported, and the user's next Ctrl+V is a paste again. With dvorak active before us, the V to press is
    // dvorak's: the first key that has a V in some layout is K there.
    void our_own_paste_goes_on_unreported()
    {
        const xcb_keycode_t us_v = m_x.keycode(k_v);
        QVERIFY(run(QStringLiteral("setxkbmap"), {QStringLiteral("dvorak")}));
        const xcb_keycode_t dvorak_v = m_x.keycode(k_v);
        QVERIFY(run(QStringLiteral("setxkbmap"), {"-layout", "us,us", "-variant", "dvorak,"}));
        QTRY_VERIFY(!m_x.grab(us_v, XCB_MOD_MASK_CONTROL));

        QVERIFY(paste_into(m_x.window()));
        const QPair<xcb_keycode_t, uint16_t> paste{dvorak_v, XCB_MOD_MASK_CONTROL};
        QTRY_COMPARE(m_x.presses().count(paste), 1);
        m_x.tap_with_control(dvorak_v);
        QTRY_COMPARE(m_x.presses().count(paste), 2);
        QCOMPARE(m_pressed.size(), 1);
        QCOMPARE(m_pressed[0].key, Keyboard::k_key_v);
    }

    void made_up_presses_are_not_keys_of_the_user()
    {
        m_x.send_fake_press(m_x.keycode(k_v), XCB_MOD_MASK_CONTROL);
        m_x.tap(XCB_MOD_MASK_CONTROL, k_c);
        QTRY_COMPARE(m_pressed.size(), 1);
        QCOMPARE(m_pressed[0].key, Keyboard::k_key_c);
    }

    // With us and dvorak, the I key of us is C in dvorak and its period key is V: the period key is grabbed, but
    // while us is the active layout those keys are I and period, and Ctrl on them is no copy and no paste.
    void two_latin_layouts_count_the_active_ones_letters()
    {
        const xcb_keycode_t i_key = m_x.keycode(k_i), period_key = m_x.keycode(k_period), x_key = m_x.keycode(k_x);
        QVERIFY(run(QStringLiteral("setxkbmap"), {"-layout", "us,us", "-variant", ",dvorak"}));
        QTRY_VERIFY(!m_x.grab(period_key, XCB_MOD_MASK_CONTROL));
        m_x.tap_with_control(i_key);
        m_x.tap_with_control(period_key);
        m_x.tap_with_control(x_key);
        QTRY_VERIFY(!m_pressed.isEmpty() && m_pressed.last().key == Keyboard::k_key_x);
        QCOMPARE(m_pressed.size(), 1);
        // Not ours, and still passed on to the focused window.
        const auto reached = [&](xcb_keycode_t code) {
            return std::any_of(m_x.presses().begin(), m_x.presses().end(),
                               [&](const auto& press) { return press.first == code; });
        };
        QTRY_VERIFY(reached(x_key));
        QVERIFY(reached(i_key));
        QVERIFY(reached(period_key));
    }

    // A layout without Latin letters takes the letter of a Latin layout of the list, wherever that stands in it.
    void a_layout_without_latin_letters_borrows_a_latin_ones_data()
    {
        QTest::addColumn<QString>("layouts");
        QTest::newRow("us,ru") << "us,ru";
        QTest::newRow("ru,us") << "ru,us";
        QTest::newRow("ru,gr,us") << "ru,gr,us";
    }
    void a_layout_without_latin_letters_borrows_a_latin_ones()
    {
        QFETCH(QString, layouts);
        const xcb_keycode_t c_key = m_x.keycode(k_c), v_key = m_x.keycode(k_v), x_key = m_x.keycode(k_x);
        QVERIFY(run(QStringLiteral("setxkbmap"), {"-layout", layouts}));
        // The first layout of the list is the active one.
        QTRY_VERIFY(!m_x.grab(v_key, XCB_MOD_MASK_CONTROL));
        m_x.tap_with_control(c_key);
        m_x.tap_with_control(x_key);
        m_x.tap_with_control(v_key);
        QTRY_COMPARE(m_pressed.size(), 3);
        QCOMPARE(m_pressed[0].key, Keyboard::k_key_c);
        QCOMPARE(m_pressed[1].key, Keyboard::k_key_x);
        QCOMPARE(m_pressed[2].key, Keyboard::k_key_v);
    }

    // Copy and cut are seen, never held: another program may even grab Ctrl+C, and the copy is still reported.
    void copy_and_cut_are_seen_without_being_held()
    {
        const xcb_keycode_t c = m_x.keycode(k_c), x = m_x.keycode(k_x);
        QVERIFY(m_x.grab(x, XCB_MOD_MASK_CONTROL));
        QVERIFY(m_x.grab(c, XCB_MOD_MASK_CONTROL, true));
        m_x.tap(XCB_MOD_MASK_CONTROL, k_c);
        QTRY_COMPARE(m_pressed.size(), 1);
        QCOMPARE(m_pressed[0].key, Keyboard::k_key_c);
        QVERIFY(m_pressed[0].control);
        m_x.ungrab(c, XCB_MOD_MASK_CONTROL);
        // Control let go: a plain c is no copy.
        m_x.tap(0, k_c);
        m_x.tap(XCB_MOD_MASK_CONTROL, k_v);
        QTRY_COMPARE(m_pressed.size(), 2);
        QCOMPARE(m_pressed[1].key, Keyboard::k_key_v);
    }

    // A layout change whose new keys another program holds leaves the keys unhooked; the next change hooks them again.
    void refused_regrab_is_asked_for_again_at_the_next_layout()
    {
        const xcb_keycode_t us_v = m_x.keycode(k_v);
        QVERIFY(run(QStringLiteral("setxkbmap"), {QStringLiteral("dvorak")}));
        const xcb_keycode_t dvorak_v = m_x.keycode(k_v);
        QVERIFY(run(QStringLiteral("setxkbmap"), {QStringLiteral("us")}));
        QTRY_VERIFY(!m_x.grab(us_v, XCB_MOD_MASK_CONTROL));
        QVERIFY(m_x.grab(dvorak_v, XCB_MOD_MASK_CONTROL, true));

        QVERIFY(run(QStringLiteral("setxkbmap"), {QStringLiteral("dvorak")}));
        // Once the old V key is free the change has been handled.
        QTRY_VERIFY(m_x.grab(us_v, XCB_MOD_MASK_CONTROL));
        m_x.ungrab(dvorak_v, XCB_MOD_MASK_CONTROL);

        QVERIFY(run(QStringLiteral("setxkbmap"), {QStringLiteral("us")}));
        QTRY_VERIFY(!m_x.grab(us_v, XCB_MOD_MASK_CONTROL));
        m_x.tap(XCB_MOD_MASK_CONTROL, k_v);
        QTRY_COMPARE(m_pressed.size(), 1);
        QCOMPARE(m_pressed[0].key, Keyboard::k_key_v);
    }

    void refused_grab_releases_the_others()
    {
        const xcb_keycode_t v = m_x.keycode(k_v);
        m_keyboard->set_hooked(false);
        QVERIFY(m_x.grab(v, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT, true));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("Ctrl\\+Shift\\+V .*another program")));
        QVERIFY(!m_keyboard->set_hooked(true));
        // Ctrl+V without Shift was granted before Ctrl+Shift+V was refused; it must have been given back.
        QVERIFY(m_x.grab(v, XCB_MOD_MASK_CONTROL));
        QVERIFY(m_x.grab(v, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK));
        m_x.ungrab(v, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
        QVERIFY(m_keyboard->set_hooked(true));
        QVERIFY(!m_x.grab(v, XCB_MOD_MASK_CONTROL));

        // A combination with a further modifier that another program holds is left to it, with every lock variant,
        // and the paste is caught all the same.
        const uint16_t super_ctrl = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_4;
        m_keyboard->set_hooked(false);
        QVERIFY(m_x.grab(v, super_ctrl, true));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("Ctrl\\+Super\\+V .*left to it")));
        QVERIFY(m_keyboard->set_hooked(true));
        QVERIFY(m_x.grab(v, super_ctrl | XCB_MOD_MASK_LOCK));
        QVERIFY(m_x.grab(v, super_ctrl | XCB_MOD_MASK_2));
        QVERIFY(!m_x.grab(v, super_ctrl | XCB_MOD_MASK_SHIFT));
        m_x.tap(XCB_MOD_MASK_CONTROL, k_v);
        QTRY_COMPARE(m_pressed.size(), 1);
        m_x.ungrab(v, super_ctrl);
        m_keyboard->set_hooked(false);
        QVERIFY(m_keyboard->set_hooked(true));
        QVERIFY(!m_x.grab(v, super_ctrl));
    }

    // The server freezes the whole keyboard for a grabbed press; a busy main thread must not freeze the desktop.
    void never_holds_the_keyboard_data()
    {
        QTest::addColumn<bool>("busy_in_handler");
        // Replayed unhandled after 200 ms; the later handler must not run.
        QTest::newRow("main thread busy") << false;
        // A handler that has started is waited for at most a second.
        QTest::newRow("handler too slow") << true;
    }
    void never_holds_the_keyboard()
    {
        QFETCH(bool, busy_in_handler);
        using Clock = std::chrono::steady_clock;
        // Far longer than either bound: the key must reach the other program while the main thread is still busy.
        constexpr auto busy_for = std::chrono::seconds(4);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(busy_in_handler ? QStringLiteral("handler ran over")
                                                                            : QStringLiteral("did not take the key")));
        Clock::time_point busy_until;
        if (busy_in_handler)
            m_on_press = [&](int key) {
                if (key == Keyboard::k_key_v) {
                    std::this_thread::sleep_for(busy_for);
                    busy_until = Clock::now();
                }
            };

        // Another program types on a thread of its own: Ctrl+V, then q, noting when q reaches its window.
        XClient other;
        other.focus();
        std::atomic<bool> q_seen{false};
        Clock::time_point q_arrived;
        std::thread typist([&] {
            other.tap(XCB_MOD_MASK_CONTROL, k_v);
            other.tap(0, k_q);
            const xcb_keycode_t q = other.keycode(k_q);
            const Clock::time_point give_up = Clock::now() + 2 * busy_for;
            while (!q_seen && Clock::now() < give_up) {
                if (other.presses(50).contains({q, 0})) {
                    q_arrived = Clock::now();
                    q_seen = true;
                }
            }
        });
        if (busy_in_handler) {
            QTRY_VERIFY_WITH_TIMEOUT(busy_until != Clock::time_point(), 10000);
        } else {
            std::this_thread::sleep_for(busy_for); // busy with something else than the key
            busy_until = Clock::now();
        }
        typist.join();
        QVERIFY2(q_seen, "the key behind the Ctrl+V never reached the focused program");
        QVERIFY2(q_arrived < busy_until, "the key behind the Ctrl+V waited for the main thread");

        // Ctrl+X behind it: the dropped Ctrl+V, queued before it, must not have run late.
        m_on_press = nullptr;
        m_x.focus();
        m_x.tap(XCB_MOD_MASK_CONTROL, k_x);
        QTRY_VERIFY(!m_pressed.isEmpty() && m_pressed.last().key == Keyboard::k_key_x);
        QCOMPARE(m_pressed.size(), busy_in_handler ? 2 : 1);
    }

    void runs_on_without_a_display()
    {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("STACKPASTE_KEYBOARD_CHILD"), QStringLiteral("1"));
        // Qt's offscreen platform leaks its screen at exit (a bare QGuiApplication shows it); not ours to report.
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput(), QByteArray("hooked: 0\n"));
        QVERIFY(child.readAllStandardError().contains("no X11 display"));
    }

    void cleanupTestCase() { m_keyboard.reset(); }

private:
    std::unique_ptr<LinuxKeyboard> m_keyboard;
    XClient m_x;
    QVector<Press> m_pressed;
    std::function<void(int)> m_on_press;
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("STACKPASTE_KEYBOARD_CHILD")) {
        QApplication application(argc, argv);
        LinuxKeyboard keyboard;
        std::printf("hooked: %d\n", keyboard.set_hooked(true) ? 1 : 0);
        return 0;
    }
    QApplication application(argc, argv);
    TestLinuxKeyboard test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestLinuxKeyboard.moc"
