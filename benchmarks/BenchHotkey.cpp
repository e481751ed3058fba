// SPDX-License-Identifier: GPL-3.0-or-later
// From a shortcut's key press to its command having run: another client injects Ctrl+Alt+H with XTest, the global
// hotkey's activation steps the history back. The time runs from the flush of the injected press to the end of the
// step on the main thread, through the X server, Qt's event reader and the native event filter.
// Needs X:  scripts/test-session --xvfb <build>/benchmarks/bench_hotkey [presses]
#include "core/ClipboardHistory.h"
#include "platform/x11/GlobalHotkey.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int k_warm_up = 20;

xcb_keycode_t keycode(xcb_connection_t* connection, xcb_keysym_t keysym)
{
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    const xcb_keycode_t first = codes ? codes[0] : 0;
    std::free(codes);
    xcb_key_symbols_free(symbols);
    return first;
}

void fake(xcb_connection_t* connection, xcb_keycode_t code, bool down)
{
    xcb_test_fake_input(connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    const int presses = argc > 1 ? std::max(10, std::atoi(argv[1])) : 500;

    ClipboardHistory history;
    for (int i = 0; i < 100; ++i)
        history.add_text(QStringLiteral("item %1").arg(i));
    GlobalHotkey hotkey;
    if (!hotkey.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+H")), true)) {
        std::fprintf(stderr, "bench_hotkey: the shortcut was not registered: %s\n",
                     qPrintable(hotkey.registration_error()));
        return 1;
    }
    Clock::time_point pressed;
    Clock::time_point ran;
    QEventLoop loop;
    QObject::connect(&hotkey, &GlobalHotkey::activated, [&] {
        history.set_position(50);
        history.go_back();
        ran = Clock::now();
        loop.quit();
    });

    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    const xcb_keycode_t control = keycode(other, 0xffe3), alt = keycode(other, 0xffe9), h = keycode(other, 'h');
    fake(other, control, true);
    fake(other, alt, true);
    xcb_flush(other);

    std::vector<double> times;
    int missed = 0;
    for (int i = 0; i < presses + k_warm_up; ++i) {
        fake(other, h, true);
        pressed = Clock::now();
        xcb_flush(other);
        ran = Clock::time_point();
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        fake(other, h, false);
        xcb_flush(other);
        if (ran == Clock::time_point()) {
            ++missed;
            continue;
        }
        if (i >= k_warm_up)
            times.push_back(std::chrono::duration<double, std::milli>(ran - pressed).count());
    }
    fake(other, alt, false);
    fake(other, control, false);
    xcb_flush(other);
    xcb_disconnect(other);
    if (times.empty()) {
        std::fprintf(stderr, "bench_hotkey: no activation arrived\n");
        return 1;
    }
    std::printf("shortcut press to command run (%zu presses, %d missed): p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
                times.size(), missed, percentile(times, 0.5), percentile(times, 0.99),
                *std::max_element(times.begin(), times.end()));
    return 0;
}
