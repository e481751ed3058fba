// SPDX-License-Identifier: GPL-3.0-or-later
// PLACEHOLDER: being written; only enough to build.
#include "platform/x11/LinuxKeyboard.h"

class LinuxKeyboard::Worker {};

LinuxKeyboard::LinuxKeyboard() { set_instance(this); }
LinuxKeyboard::~LinuxKeyboard() = default;
bool LinuxKeyboard::set_hooked(bool) { return false; }
bool LinuxKeyboard::is_control_held() const { return m_control_held; }
std::unique_ptr<Keyboard> create_keyboard() { return std::make_unique<LinuxKeyboard>(); }
