// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HotkeyProcessor.h"

#include "core/Keyboard.h"
#include "ui/App.h"

#include <QDebug>

HotkeyProcessor::HotkeyProcessor(App* app, const Keyboard* keyboard) : m_app(app), m_keyboard(keyboard) {}

void HotkeyProcessor::handle_key(int key)
{
    if (!m_keyboard->is_control_held())
        return;
    switch (key) {
    case Keyboard::k_key_c:
        qDebug() << "Copying";
        m_app->copy_pressed();
        break;
    case Keyboard::k_key_x:
        m_app->cut_pressed();
        break;
    case Keyboard::k_key_v:
        qDebug() << "Pasting";
        m_app->paste_from_stackpaste_clipboard();
        qDebug() << "Done pasting";
        break;
    default:
        break;
    }
}
