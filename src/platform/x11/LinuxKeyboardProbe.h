// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

// Timing of the paste road for the benchmark. While a callback is set, the keyboard's worker thread calls it after
// each replayed press with the key (0 for a press not reported) and the time from the press arriving at the worker
// to the replay being flushed to the server. Off by default; when off a press costs one relaxed atomic load.
namespace linux_keyboard_probe {

using Callback = void (*)(int key, std::chrono::nanoseconds held);

// nullptr switches the probe off. Set it before the presses to be measured; the callback must be thread-safe.
void set_callback(Callback callback);

} // namespace linux_keyboard_probe
