// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// A clean-up that runs once should the process end through exit() while it is armed. When the X connection breaks
// (the server ended, a log-out without a session manager) the platform ends the process that way from inside the
// event loop, and no destructor runs. Main thread only.
namespace exit_rescue {

// Arms owner's clean-up in place of any armed before; false when it cannot be registered with the C library (the
// clean-up then never runs). Arm last, so that what the clean-up uses is still there when it runs.
bool arm(const void* owner, std::function<void()> clean_up);
// Disarms the clean-up when owner's is the one armed (a normal end cleans up by itself).
void disarm(const void* owner);

} // namespace exit_rescue
