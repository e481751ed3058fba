// SPDX-License-Identifier: GPL-3.0-or-later
// The paste road as the user feels it: from a grabbed Ctrl+V arriving at the keyboard's worker thread to its replay
// to the focused program, while a handler on the main thread writes the clipboard (a text, then an image), and
// while the main thread is stuck and cannot take the press at all.
// Needs X:  scripts/test-session --xvfb <build>/benchmarks/bench_key_road [presses]
#include "platform/x11/LinuxKeyboard.h"
#include "platform/x11/LinuxKeyboardProbe.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QTimer>
#include <QX11Info>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr xcb_keysym_t k_keysym_control = 0xffe3;
constexpr xcb_keysym_t k_keysym_v = 0x76;
constexpr int k_warm_up = 20;
constexpr int k_stuck_presses = 20;

std::mutex g_mutex;
std::condition_variable g_replayed;
std::vector<double> g_held_ms;

// Called on the keyboard's worker thread after each replay.
void record(int key, std::chrono::nanoseconds held)
{
    if (key != Keyboard::k_key_v)
        return;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_held_ms.push_back(std::chrono::duration<double, std::milli>(held).count());
    }
    g_replayed.notify_all();
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// Another program's view: XTest presses of Ctrl+V, one at a time, each waited for until it has been replayed.
class Presser {
public:
    Presser() : m_connection(xcb_connect(nullptr, nullptr))
    {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
        m_control = first_keycode(symbols, k_keysym_control);
        m_v = first_keycode(symbols, k_keysym_v);
        xcb_key_symbols_free(symbols);
    }
    ~Presser() { xcb_disconnect(m_connection); }
    Presser(const Presser&) = delete;
    Presser& operator=(const Presser&) = delete;

    // Returns false when a press was not replayed within a second.
    bool press(int count)
    {
        for (int i = 0; i < count; ++i) {
            std::unique_lock<std::mutex> lock(g_mutex);
            const size_t before = g_held_ms.size();
            fake(XCB_KEY_PRESS, m_control);
            fake(XCB_KEY_PRESS, m_v);
            fake(XCB_KEY_RELEASE, m_v);
            fake(XCB_KEY_RELEASE, m_control);
            xcb_flush(m_connection);
            if (!g_replayed.wait_for(lock, std::chrono::seconds(1), [&] { return g_held_ms.size() > before; }))
                return false;
        }
        return true;
    }

private:
    static xcb_keycode_t first_keycode(xcb_key_symbols_t* symbols, xcb_keysym_t keysym)
    {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        return code;
    }
    void fake(uint8_t type, xcb_keycode_t keycode)
    {
        xcb_test_fake_input(m_connection, type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }

    xcb_connection_t* m_connection;
    xcb_keycode_t m_control = 0;
    xcb_keycode_t m_v = 0;
};

// Presses `presses` times after a warm-up that went `warm` and prints the held times of the road.
void report(const char* name, bool warm, Presser& presser, int presses)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_held_ms.clear();
    }
    const bool complete = warm && presser.press(presses);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!complete || g_held_ms.empty()) {
        std::printf("  %-5s: a press was not replayed within a second\n", name);
        return;
    }
    std::printf("  %-5s: p50 %.3f ms  p99 %.3f ms  max %.3f ms  (%zu presses)\n", name, percentile(g_held_ms, 0.50),
                percentile(g_held_ms, 0.99), *std::max_element(g_held_ms.begin(), g_held_ms.end()), g_held_ms.size());
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    const int presses = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    if (!QX11Info::isPlatformX11()) {
        std::printf("bench_key_road needs an X display: scripts/test-session --xvfb %s\n", argv[0]);
        return 0;
    }
    LinuxKeyboard keyboard;
    if (!keyboard.set_hooked(true)) {
        std::printf("bench_key_road: the keys could not be grabbed\n");
        return 0;
    }
    linux_keyboard_probe::set_callback(record);

    QClipboard* clipboard = QGuiApplication::clipboard();
    QImage image(1920, 1080, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    std::atomic<bool> write_image{false};
    int written = 0;
    QObject::connect(&keyboard, &Keyboard::signal_key_pressed, [&](int key, int) {
        if (key != Keyboard::k_key_v)
            return;
        if (write_image)
            clipboard->setImage(image);
        else
            clipboard->setText(QStringLiteral("history item %1").arg(++written));
    });

    std::atomic<bool> stuck{false};
    std::thread driver;
    QTimer::singleShot(0, [&] {
        driver = std::thread([&] {
            Presser presser;
            std::printf("key road: grabbed Ctrl+V at the worker -> replayed, %d presses each\n", presses);
            for (const bool image_case : {false, true}) {
                write_image = image_case;
                report(image_case ? "image" : "text", presser.press(k_warm_up), presser, presses);
            }
            // A main thread that is stuck, as in a read from a clipboard owner that hangs: the press is replayed
            // when the take bound runs out.
            stuck = true;
            QMetaObject::invokeMethod(
                &application,
                [&stuck] {
                    while (stuck)
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                },
                Qt::QueuedConnection);
            report("stuck", true, presser, k_stuck_presses);
            stuck = false;
            std::fflush(stdout);
            QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
        });
    });
    const int result = application.exec();
    driver.join();
    linux_keyboard_probe::set_callback(nullptr);
    return result;
}
