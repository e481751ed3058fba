// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HotkeyProcessor.h"

#include "core/GlobalShortcut.h"
#include "core/Keyboard.h"
#include "platform/Platform.h"
#include "ui/App.h"
#include "ui/ShortcutsDialog.h"

#include <QDebug>
#include <QTimer>

#include <cstdio>

namespace {

// The App operation each command runs.
struct Operation {
    CommandId id;
    void (App::*run)();
};

// clang-format off
constexpr std::array<Operation, k_shortcut_count> k_operations{{
    {CommandId::switch_paste_order,        &App::switch_paste_order},
    {CommandId::pause_or_resume,           &App::pause_or_resume_stackpaste},
    {CommandId::rich_text_copy,            &App::enable_or_disable_rich_text_copy},
    {CommandId::clipboard_undo,            &App::clipboard_history_go_back},
    {CommandId::clipboard_redo,            &App::clipboard_history_go_forward},
    {CommandId::clear_history,             &App::clear_clipboard_history},
    {CommandId::open_history_dialog,       &App::open_history_dialog},
    {CommandId::clipboard_undo_with_arrow, &App::clipboard_history_go_back},
    {CommandId::clipboard_redo_with_arrow, &App::clipboard_history_go_forward},
    {CommandId::show_debug_info,           &App::show_debug_info},
    {CommandId::open_autocomplete,         &App::open_autocomplete_dialog},
    {CommandId::lock_current_position,     &App::lock_current_position},
}};
// clang-format on
static_assert(lists_every_command_in_order(k_operations), "one App operation per command, in the order of CommandId");

// The keyboard holds Ctrl+V whatever else is down; Meta is Super.
constexpr Qt::KeyboardModifiers k_paste_key_extras = Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;

} // namespace

HotkeyProcessor::HotkeyProcessor(App* app, const Keyboard* keyboard, ShortcutsDialog* dialog)
    : QObject(nullptr), m_app(app), m_keyboard(keyboard), m_dialog(dialog)
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
        m_app->copy_pressed();
        break;
    case Keyboard::k_key_x:
        m_app->cut_pressed();
        break;
    case Keyboard::k_key_v: {
        // The paste itself is the paste trigger's.
        const QKeySequence pressed(int(m_keyboard->modifiers_held()) | Qt::Key_V);
        for (int row = 0; row < k_shortcut_count; ++row) {
            // After the key has gone on: the keyboard is held until this returns.
            if (!m_on_paste_key[row].isEmpty() && m_on_paste_key[row] == pressed)
                QTimer::singleShot(0, this, [this, row] { run_command(row); });
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
        m_connections[row] = connect(&hotkey, &GlobalShortcut::activated, this, [this, row] { run_command(row); });
    }
    m_dialog->set_row_problem(row, m_problems[row]);
}

void HotkeyProcessor::run_command(int row)
{
    (m_app->*k_operations[static_cast<size_t>(row)].run)();
}

bool HotkeyProcessor::rides_on_paste_key(const QKeySequence& shortcut) const
{
    if (shortcut.count() != 1 || !m_app->settings().use_keyboard_shortcuts)
        return false;
    const int combination = shortcut[0];
    const auto modifiers = Qt::KeyboardModifiers(combination & int(Qt::KeyboardModifierMask));
    return (combination & ~int(Qt::KeyboardModifierMask)) == Qt::Key_V && (modifiers & Qt::ControlModifier) &&
           !(modifiers & ~(Qt::ControlModifier | k_paste_key_extras));
}
