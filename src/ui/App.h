// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardHistory.h"
#include "core/Keyboard.h"
#include "core/PasteTrigger.h"
#include "core/RemoteCommand.h"
#include "core/Settings.h"
#include "core/ShortcutTable.h"

#include <QClipboard>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class AutocompleteDatabase;
class AutocompleteDialog;
class ClipboardSource;
class CopyRecorder;
class HiddenFeatures;
class HistoryDialog;
class HotkeyProcessor;
class MimeCopy;
class NoteDialog;
class PasteMaker;
class QMimeData;
class RemoteControl;
class QScrollArea;
class QTimer;
class SaveManager;
class ShortcutsDialog;
class StatusIndicator;
struct SpellOutcome;
class TrayIcon;
namespace Ui {
class app;
}

// The application object and main window: owns every component, holds the clipboard history and wires the
// copy road (clipboard source -> copy recorder -> history) and the paste road (paste trigger -> paste step ->
// clipboard).
// Each slot is a short delegation to the component that does the work. Main thread only.
class App : public QWidget {
    Q_OBJECT
public:
    // keyboard: the key source, paste_trigger: what starts the paste road; null takes the platform's (tests hand in
    // fakes).
    explicit App(std::unique_ptr<Keyboard> keyboard = nullptr, std::unique_ptr<PasteTrigger> paste_trigger = nullptr);
    ~App() override;

    // Read access for the wiring and the tests. The windows ask App for changes by signal and are drawn by
    // refresh_views(); none of them reaches App.
    ClipboardHistory& history() { return m_history; }
    MimeCopy& mime_copy() const { return *m_mime_copy; }
    ClipboardSource* clipboard_source() const { return m_clipboard_source.get(); }
    bool is_keyboard_hook_connected() const { return m_is_keyboard_hook_connected; }
    ShortcutsDialog* shortcuts_dialog() const { return m_shortcuts_dialog.get(); }
    // The shortcuts (tests): their texts, rows and problems, and the hotkeys a test presses.
    HotkeyProcessor* hotkey_processor() const { return m_hotkey_processor.get(); }
    // The mode box's text (tests, the debug window).
    QString mode_text() const;

    void add_to_stackpaste_text_history(QString current_clipboard_text);
    // The history takes ownership.
    void add_to_stackpaste_mime_data_history(QMimeData* current_clipboard_mime_data);
    void save_settings();
    // Shows a message beside the tray icon; false (and nothing shown) where the tray shows no messages.
    bool show_tray_message(const QString& title, const QString& message,
                           QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon);

public Q_SLOTS:
    bool is_debug_mode() { return false; }
    // The tray's "Hidden features": the help page the first time, then the spell window.
    void enter_hidden_feature_spell();
    // Casts the spell typed into the spell window (an empty text casts none), applies what it changes, redraws the
    // views and saves the settings.
    void activate_hidden_feature(QString text);
    // The hidden-features help page that ships with the program.
    void open_hidden_features_help();
    // The autocomplete window: opened at the cursor, or closed when it is open.
    void open_autocomplete_dialog();
    void autocomplete_dialog_close();
    // Pastes the chosen text into the window that had the keyboard before the autocomplete window opened.
    void slot_autocomplete_list_item_activated(QString str);
    void slot_button_open_helper_dialog();
    void slot_toggle_note_dialog();
    void open_url(const QString& url);
    // The once-a-second timer's slot; it does nothing. It hides QWidget::update(), so a repaint of this window is
    // asked for with QWidget::update() spelled out, never with update().
    void update() {}
    void quit();
    void open_app();
    void open_app_settings() { open_app(); }
    // The paste road, started by the paste trigger at its moment.
    void paste_triggered(PasteTrigger::Moment moment);
    void paste_from_stackpaste_clipboard();
    // A shortcut's command: the App operation it runs.
    void run_command(CommandId id);
    // A command of the command line, run through the same operations as the window, the tray and the shortcuts;
    // reply gets what it prints. A push is taken as a copy of its text.
    void serve_command(const remote::Request& request, const remote::Reply& reply);
    void switch_paste_order();
    void pause_or_resume_stackpaste();
    void copy_pressed();
    void cut_pressed();
    void enable_or_disable_rich_text_copy();
    void clipboard_history_go_back();
    void clipboard_history_go_forward();
    void print_current_text_clipboard_state();
    void print_current_mime_data_clipboard_state();
    void clear_clipboard_history();
    void enable_or_disable_automatic_position_movement();
    // The history dialog: opened at the cursor with what is left to paste, or closed when it is open.
    void open_history_dialog();
    void history_dialog_close();
    void history_dialog_item_entered(int row);
    // The lock toggle: releases a lock, or takes one at the item that the dialog row names (-1: at the position).
    void history_dialog_list_item_activated(int row = -1);
    void delete_history_item(int row);
    void lock_current_position();
    void unlock_current_position();
    // The shortcut settings closed (Ok or otherwise): their texts registered again and kept in the settings.
    void update_global_shortcuts();
    // The position and every item of the active history in a message box.
    void show_debug_info();
    void slot_history_list_item_position_changed(int from, int to);
    void slot_combobox_edit_text_changed(QString new_text);
    void key_pressed(int key, int flags);
    void clipboard_changed(QClipboard::Mode mode);
    void clipboard_destroyed() {}
    void clipboard_find_buffer_changed() {}
    void clipboard_object_name_changed() {}
    void clipboard_selection_changed() {}
    void clipboard_set(QString str);
    void reconnect_keyboard_hook();
    void connect_keyboard_hook();
    void disconnect_keyboard_hook();
    void update_status_indicator();
    // Every view of the model but the counter.
    void update_ui();
    // Every view of the model (window texts and icons, mode box, tray image and menu, history dialog, counter)
    // redrawn from it; each slot that changes the model ends with it, so no view is ever left showing an old state.
    void refresh_views();

    // Main window buttons, reached by name.
    void on_change_mode_button_clicked();
    void on_change_order_button_clicked();
    void on_rich_text_copy_toggle_button_clicked() { enable_or_disable_rich_text_copy(); }
    void on_clear_clipboard_history_clicked() { clear_clipboard_history(); }
    void on_automatic_position_movement_toggle_button_clicked() { enable_or_disable_automatic_position_movement(); }
    void on_button_toggle_file_copy_clicked();
    void on_button_open_history_dialog_clicked() { open_history_dialog(); }
    void on_button_show_shortcut_settings_clicked();
    void on_button_toggle_status_indicator_clicked();
    void on_button_clear_autocomplete_history_clicked();
    void on_button_toggle_note_dialog_clicked() { slot_toggle_note_dialog(); }
    void on_button_about_clicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Saves the settings and removes the temporary directory when the process ends without destroying the App.
    void rescue_at_exit();
    // The paste road after a program has been served: the paste step for it, then the next item onto the clipboard.
    void prepare_next_paste();
    // Where pastes are told by the requests the clipboard source serves: puts the next item on the clipboard unless
    // it is there already (force: as a new offer even so).
    void offer_next_paste(bool force);
    void tell_about_rival(const QString& why);
    // The mode box shows the mode in effect, without announcing a mode change.
    void show_mode_in_effect();
    // An open history dialog lists what is left to paste.
    void refresh_history_dialog();
    void apply_spell(const SpellOutcome& outcome);
    // After a reset of the settings: the history, the counter, the shortcuts and the keyboard follow them.
    void take_fresh_settings();
    void remember_user_window();

    std::unique_ptr<Ui::app> m_ui;
    // Holds the form's page, so that a screen too short for the window still reaches every button.
    QScrollArea* m_scroll_area = nullptr;
    // Before the hotkey processor, which reads its texts: destroyed after it.
    std::unique_ptr<ShortcutsDialog> m_shortcuts_dialog;
    ClipboardHistory m_history;
    Settings m_settings;
    std::unique_ptr<SaveManager> m_save_manager;
    std::unique_ptr<Keyboard> m_keyboard;
    std::unique_ptr<PasteTrigger> m_paste_trigger;
    std::unique_ptr<HotkeyProcessor> m_hotkey_processor;
    QClipboard* m_clipboard = nullptr;
    std::unique_ptr<MimeCopy> m_mime_copy;
    std::unique_ptr<ClipboardSource> m_clipboard_source; // before the folder of its large payloads goes
    QTimer* m_timer = nullptr;
    std::unique_ptr<StatusIndicator> m_status_indicator;
    std::unique_ptr<TrayIcon> m_tray_icon;
    std::unique_ptr<HistoryDialog> m_history_dialog;
    std::unique_ptr<AutocompleteDatabase> m_autocomplete_database;
    std::unique_ptr<AutocompleteDialog> m_autocomplete_dialog;
    std::unique_ptr<CopyRecorder> m_copy_recorder;
    std::unique_ptr<PasteMaker> m_paste_maker;
    std::unique_ptr<RemoteControl> m_remote_control; // the command line's requests
    std::unique_ptr<NoteDialog> m_note_dialog;
    std::unique_ptr<HiddenFeatures> m_hidden_features;
    // The window the user worked in when one of our windows opened: the autocomplete paste goes there.
    quint64 m_user_window = 0;

    std::optional<bool> m_shown_paused; // the state the window icons show: paused or running
    bool m_is_keyboard_hook_connected = false;
    bool m_is_styled = false; // the style sheets are applied when the window is first shown (it has a frame since)
};
