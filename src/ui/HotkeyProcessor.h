// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ShortcutTable.h"

#include <QKeySequence>
#include <QMetaObject>
#include <QObject>

#include <array>
#include <memory>

class GlobalShortcut;
class Keyboard;
class ShortcutsDialog;
struct Settings;

// Turns the key presses of the Keyboard into requests to copy or cut (the paste is the PasteTrigger's), and owns the
// twelve system-wide shortcuts, one per row of k_shortcut_commands, each asking once per press for its command to
// run; App decides what a request does. The shortcuts follow the texts of the ShortcutsDialog. A shortcut of Control
// with the paste key (Ctrl+Alt+V, Ctrl+Meta+V) is not grabbed, since the keyboard holds every Ctrl+V: its command runs
// right after the paste that the press makes. Ctrl+Alt+C and Ctrl+Alt+X are grabbed like any other; the keyboard sees
// them all the same, so the copy or cut is noted too. Main thread only.
class HotkeyProcessor : public QObject {
    Q_OBJECT
public:
    // The keyboard, the settings and the dialog must outlive the processor.
    HotkeyProcessor(const Keyboard* keyboard, const Settings& settings, ShortcutsDialog* dialog);
    ~HotkeyProcessor() override;

    // Acts only while Control is held (whatever other modifiers are down): C copies, X cuts, V pastes.
    void handle_key(int key);

    // Creates the twelve hotkeys and registers them from the dialog's texts.
    void create_shortcuts();
    // Gives every shortcut up and disconnects it from its command (while the dialog is open its keys are recorded).
    void disconnect_shortcuts();
    // Registers the dialog's current texts again and connects each hotkey to its command once.
    void update_shortcuts();

    // Why the row's shortcut does not work, or an empty text when it works (or when there is none).
    QString problem(int row) const;
    // The row's hotkey (tests); null before create_shortcuts().
    GlobalShortcut* hotkey(int row) const { return m_hotkeys[row].get(); }

Q_SIGNALS:
    void signal_copy_pressed();
    void signal_cut_pressed();
    // A shortcut was pressed: its command is to run.
    void signal_command(CommandId id);

private:
    void apply(int row);
    // Whether the text is Control with V, and at most Shift and Alt besides: a press the keyboard holds.
    bool rides_on_paste_key(const QKeySequence& shortcut) const;

    const Keyboard* m_keyboard;
    const Settings& m_settings;
    ShortcutsDialog* m_dialog;
    std::array<std::unique_ptr<GlobalShortcut>, k_shortcut_count> m_hotkeys;
    std::array<QMetaObject::Connection, k_shortcut_count> m_connections;
    std::array<QKeySequence, k_shortcut_count> m_on_paste_key; // the shortcuts run by the paste key, else empty
    std::array<QString, k_shortcut_count> m_problems;
};
