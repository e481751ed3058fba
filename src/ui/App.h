// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardHistory.h"
#include "core/Keyboard.h"
#include "core/PasteTrigger.h"
#include "core/Settings.h"

#include <QClipboard>
#include <QWidget>

#include <memory>

class AutocompleteDatabase;
class AutocompleteDialog;
class ClipboardSource;
class CopyRecorder;
class HiddenFeatures;
class HistoryDialog;
class HotkeyProcessor;
class ImageViewer;
class MimeCopy;
class NoteDialog;
class QMimeData;
class QScrollArea;
class QTimer;
class SaveManager;
class ShortcutsDialog;
class StatusIndicator;
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

    // Read access for the components and the tests.
    ClipboardHistory& history() { return m_history; }
    const Settings& settings() const { return m_settings; }
    Settings& settings() { return m_settings; }
    Keyboard* keyboard() const { return m_keyboard.get(); }
    MimeCopy& mime_copy() const { return *m_mime_copy; }
    ClipboardSource* clipboard_source() const { return m_clipboard_source.get(); }
    bool is_keyboard_hook_connected() const { return m_is_keyboard_hook_connected; }
    StatusIndicator* status_indicator() const { return m_status_indicator.get(); }
    TrayIcon* tray_icon() const { return m_tray_icon.get(); }
    HistoryDialog* history_dialog() const { return m_history_dialog.get(); }
    AutocompleteDialog* autocomplete_dialog() const { return m_autocomplete_dialog.get(); }
    ImageViewer* image_viewer() const { return m_image_viewer; }
    ShortcutsDialog* shortcuts_dialog() const { return m_shortcuts_dialog.get(); }
    HotkeyProcessor* hotkey_processor() const { return m_hotkey_processor.get(); }
    SaveManager* save_manager() const { return m_save_manager.get(); }
    NoteDialog* note_dialog() const { return m_note_dialog.get(); }
    HiddenFeatures* hidden_features() const { return m_hidden_features.get(); }
    QPoint status_indicator_position() const;
    void move_status_indicator(const QPoint& position);
    // The number the counter shows; 0 while it shows none.
    int status_indicator_number() const;
    // The mode box's text (tests, the debug window).
    QString mode_text() const;

    void add_to_stackpaste_text_history(QString current_clipboard_text);
    // The history takes ownership.
    void add_to_stackpaste_mime_data_history(QMimeData* current_clipboard_mime_data);
    QMimeData* get_mime_data_object_copy_2(const QMimeData* mime_data_reference);
    void delete_history_item(int row);
    void save_settings();
    // Tells the user something in passing: a tray message where the tray shows them, else a message box.
    void show_notification(const QString& title, const QString& message);

public Q_SLOTS:
    bool is_debug_mode() { return false; }
    // The tray's "Hidden features": the help page the first time, then the spell window.
    void enter_hidden_feature_spell();
    void activate_hidden_feature(QString text);
    void hidden_features_dialog_closed();
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
    void history_dialog_list_item_activated();
    void lock_current_position();
    void unlock_current_position();
    // The shortcut settings closed (Ok or otherwise): their texts registered again and kept in the settings.
    void update_global_shortcuts();
    // The position and every item of the active history in a message box.
    void show_debug_info();
    void slot_history_list_item_position_changed(int from, int to);
    void slot_combobox_edit_text_changed(QString new_text);
    void key_pressed(int key, int flags);
    void test_slot(int a, int b);
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
    void update_ui();
    // Every view of the model (window texts and icons, mode box, tray image and menu, counter) redrawn from it; each
    // slot that changes the model ends with it, so no view is ever left showing an old state.
    void refresh_views();
    // The same, with an open history dialog left as it is: it has already made the change itself (a delete, a drop).
    void refresh_views_but_history_dialog();

    // Main window buttons, reached by name.
    void on_change_mode_button_clicked();
    void on_change_order_button_clicked();
    void on_rich_text_copy_toggle_button_clicked();
    void on_clear_clipboard_history_clicked();
    void on_automatic_position_movement_toggle_button_clicked();
    void on_button_toggle_file_copy_clicked();
    void on_button_open_history_dialog_clicked();
    void on_button_show_shortcut_settings_clicked();
    void on_button_toggle_status_indicator_clicked();
    void on_button_clear_autocomplete_history_clicked();
    void on_button_toggle_note_dialog_clicked();
    void on_button_about_clicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Saves the settings and removes the temporary directory when the process ends without destroying the App.
    static void rescue_at_exit();
    void prepare_temp_dir();
    // What a paste of the active history's item at index puts on the clipboard; null when it pastes nothing.
    std::unique_ptr<QMimeData> paste_content(int index);
    // The paste road after a program has been served: the paste step for it, then the next item onto the clipboard.
    void prepare_next_paste();
    // The status line, the window and tray icons and the tray's tool tip for "activated" or "paused".
    void set_app_status(const QString& app_status, const QString& info);
    // The mode box shows the mode in effect, without announcing a mode change.
    void show_mode_in_effect();
    // Lists the indices' rows in the history dialog with the order label.
    void fill_history_dialog(const QList<int>& indices);
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
    std::unique_ptr<NoteDialog> m_note_dialog;
    std::unique_ptr<HiddenFeatures> m_hidden_features;
    // The window the user worked in when one of our windows opened: the autocomplete paste goes there.
    quint64 m_user_window = 0;
    ImageViewer* m_image_viewer = nullptr; // child of the history dialog

    QString m_shown_app_status; // the state the window icons show
    bool m_is_keyboard_hook_connected = false;
    bool m_is_styled = false; // the style sheets are applied when the window is first shown (it has a frame since)
};
