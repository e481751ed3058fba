// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ExitRescue.h"

#include <cstdlib>
#include <utility>

namespace exit_rescue {

namespace {

struct Armed {
    const void* owner = nullptr;
    std::function<void()> clean_up;
};

// Made before the handler is registered, so it is destroyed after the handler has run.
Armed& armed()
{
    static Armed state;
    return state;
}

void run_armed()
{
    const std::function<void()> clean_up = std::exchange(armed(), Armed()).clean_up;
    if (clean_up)
        clean_up();
}

} // namespace

bool arm(const void* owner, std::function<void()> clean_up)
{
    armed() = Armed{owner, std::move(clean_up)};
    static const bool registered = std::atexit(&run_armed) == 0;
    return registered;
}

void disarm(const void* owner)
{
    if (armed().owner == owner)
        armed() = Armed();
}

} // namespace exit_rescue
