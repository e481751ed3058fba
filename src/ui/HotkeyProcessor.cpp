// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HotkeyProcessor.h"

#include "core/GlobalShortcut.h"
#include "core/Keyboard.h"
#include "core/Settings.h"
#include "platform/Platform.h"
#include "ui/ShortcutsDialog.h"

#include <QDebug>
#include <QTimer>

#include <cstdio>

namespace {

// The keyboard holds Ctrl+V whatever else is down; Meta is Super.
constexpr Qt::KeyboardModifiers k_paste_key_extras = Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;

} // namespace

HotkeyProcessor::HotkeyProcessor(const Keyboard* keyboard, const Settings& settings, ShortcutsDialog* dialog)
    : QObject(nullptr), m_keyboard(keyboard), m_settings(settings), m_dialog(dialog)
{
}

HotkeyProcessor::~HotkeyProcessor() = default;

void HotkeyProcessor::handle_key(int key)
{
    if (!m_keyboard->is_control_held())
        return;
    switch (key) {
    case Keyboard::k_key_c:
        qDebug() << "Copying";
        Q_EMIT signal_copy_pressed();
        break;
    case Keyboard::k_key_x:
        Q_EMIT signal_cut_pressed();
        break;
    case Keyboard::k_key_v: {
        // The paste itself is the paste trigger's.
        const QKeySequence pressed(int(m_keyboard->modifiers_held()) | Qt::Key_V);
        for (int row = 0; row < k_shortcut_count; ++row) {
            // After the key has gone on: the keyboard is held until this returns.
            if (!m_on_paste_key[row].isEmpty() && m_on_paste_key[row] == pressed)
                QTimer::singleShot(0, this, [this, row] { Q_EMIT signal_command(k_shortcut_commands[row].id); });
        }
        break;
    }
    default:
        break;
    }
}

void HotkeyProcessor::create_shortcuts()
{
    std::fprintf(stdout, "create_shortcuts executed\n");
    std::fflush(stdout);
    qDebug() << "----\n CREATING SHORTCUTS \n ----";
    for (int row = 0; row < k_shortcut_count; ++row) {
        if (!m_hotkeys[row])
            m_hotkeys[row] = create_global_shortcut();
        apply(row);
    }
}

void HotkeyProcessor::disconnect_shortcuts()
{
    qDebug() << "----\n DISCONNECTING SHORTCUTS \n ----";
    for (int row = 0; row < k_shortcut_count; ++row) {
        if (!m_hotkeys[row])
            continue;
        m_hotkeys[row]->setShortcut(QKeySequence(), true);
        disconnect(m_connections[row]);
        m_on_paste_key[row] = QKeySequence();
    }
}

void HotkeyProcessor::update_shortcuts()
{
    qDebug() << "----\n UPDATING SHORTCUTS \n ----";
    for (int row = 0; row < k_shortcut_count; ++row) {
        if (m_hotkeys[row])
            apply(row);
    }
}

QString HotkeyProcessor::problem(int row) const
{
    return row >= 0 && row < k_shortcut_count ? m_problems[row] : QString();
}

void HotkeyProcessor::apply(int row)
{
    GlobalShortcut& hotkey = *m_hotkeys[row];
    // Never two connections, however often this runs: each press runs the command once.
    disconnect(m_connections[row]);
    m_on_paste_key[row] = QKeySequence();
    const QString text = m_dialog->shortcut_texts()[row];
    const QKeySequence shortcut(text, QKeySequence::NativeText);
    if (rides_on_paste_key(shortcut)) {
        hotkey.setShortcut(QKeySequence(), true);
        m_on_paste_key[row] = shortcut;
        m_problems[row].clear();
        qDebug().noquote() << "The shortcut" << text << "runs with the paste the key makes";
    } else {
        hotkey.setShortcut(shortcut, true);
        m_problems[row] = text.isEmpty() ? QString() : hotkey.registration_error();
        const CommandId id = k_shortcut_commands[row].id;
        m_connections[row] =
            connect(&hotkey, &GlobalShortcut::activated, this, [this, id] { Q_EMIT signal_command(id); });
    }
    m_dialog->set_row_problem(row, m_problems[row]);
}

bool HotkeyProcessor::rides_on_paste_key(const QKeySequence& shortcut) const
{
    if (shortcut.count() != 1 || !m_settings.use_keyboard_shortcuts)
        return false;
    const int combination = shortcut[0];
    const auto modifiers = Qt::KeyboardModifiers(combination & int(Qt::KeyboardModifierMask));
    return (combination & ~int(Qt::KeyboardModifierMask)) == Qt::Key_V && (modifiers & Qt::ControlModifier) &&
           !(modifiers & ~(Qt::ControlModifier | k_paste_key_extras));
}
