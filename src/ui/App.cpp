// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/App.h"

#include "core/AutocompleteDatabase.h"
#include "core/ClipboardSource.h"
#include "core/CopyRecorder.h"
#include "core/DebugText.h"
#include "core/Keyboard.h"
#include "core/Memory.h"
#include "core/MimeCopy.h"
#include "core/PasteMaker.h"
#include "core/SaveManager.h"
#include "core/Trace.h"
#include "platform/Platform.h"
#include "platform/StartUpEntry.h"
#include "ui/AutocompleteDialog.h"
#include "ui/ExitRescue.h"
#include "ui/HelperDialog.h"
#include "ui/HiddenFeatures.h"
#include "ui/HistoryDialog.h"
#include "ui/HotkeyProcessor.h"
#include "ui/MainWindowLook.h"
#include "ui/MessageBox.h"
#include "ui/NoteDialog.h"
#include "ui/RemoteControl.h"
#include "ui/ShortcutsDialog.h"
#include "ui/StatusIndicator.h"
#include "ui/TrayIcon.h"
#include "ui_App.h"

#include <QCursor>
#include <QDebug>
#include <QDesktopServices>
#include <QDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>

#include <utility>

App::App(std::unique_ptr<Keyboard> keyboard, std::unique_ptr<PasteTrigger> paste_trigger) : QWidget(nullptr)
{
    m_shortcuts_dialog = std::make_unique<ShortcutsDialog>();
    // The switches start as in a fresh installation until the settings are loaded.
    m_save_manager = std::make_unique<SaveManager>();
    m_ui = std::make_unique<Ui::app>();

    m_keyboard = keyboard ? std::move(keyboard) : create_keyboard();
    m_mime_copy = std::make_unique<MimeCopy>();
    m_clipboard_source = create_clipboard_source(m_mime_copy->data_folder());
    m_paste_trigger = paste_trigger ? std::move(paste_trigger) : create_paste_trigger(*m_keyboard, *m_clipboard_source);
    m_hotkey_processor = std::make_unique<HotkeyProcessor>(m_keyboard.get(), m_settings, m_shortcuts_dialog.get());
    m_clipboard = QGuiApplication::clipboard();
    m_history_dialog = std::make_unique<HistoryDialog>();
    m_status_indicator = std::make_unique<StatusIndicator>();
    m_autocomplete_database = std::make_unique<AutocompleteDatabase>(AutocompleteDatabase::default_path());
    m_autocomplete_dialog = std::make_unique<AutocompleteDialog>(m_autocomplete_database.get());
    m_copy_recorder = std::make_unique<CopyRecorder>(m_history, *m_mime_copy, m_autocomplete_database.get());
    m_paste_maker = std::make_unique<PasteMaker>(m_history, *m_mime_copy);
    m_remote_control = std::make_unique<RemoteControl>(*this, m_history, *m_mime_copy, *m_copy_recorder);
    m_note_dialog = std::make_unique<NoteDialog>();
    m_hidden_features = std::make_unique<HiddenFeatures>();

    m_shortcuts_dialog->setModal(true);
    setWindowTitle(QCoreApplication::applicationName());
    m_save_manager->load_settings(m_settings);
    // Registered once, with the shortcuts the user gave the commands, not first with the defaults.
    m_shortcuts_dialog->set_shortcut_texts(m_settings.shortcuts);
    m_hotkey_processor->create_shortcuts();
    m_history.set_options(m_settings.history);
    m_status_indicator->move_to(m_settings.indicator_position);
    m_tray_icon = std::make_unique<TrayIcon>(this);

    m_scroll_area = main_window_look::set_up(*this, *m_ui);
    m_tray_icon->show();

    if (m_settings.start_at_startup)
        add_start_up_entry();
    else
        remove_start_up_entry();
    if (m_settings.is_first_start) {
        create_shortcut_files();
        open_app();
    }

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &App::update);
    m_timer->start(1000);
    HistoryDialog* history_dialog = m_history_dialog.get();
    connect(history_dialog, &HistoryDialog::signal_lock_requested, this, &App::history_dialog_list_item_activated);
    connect(history_dialog, &HistoryDialog::signal_delete_requested, this, &App::delete_history_item);
    connect(history_dialog, &HistoryDialog::signal_move_requested, this, &App::slot_history_list_item_position_changed);
    connect(history_dialog, &HistoryDialog::signal_autocomplete_requested, this, &App::open_autocomplete_dialog);
    connect(history_dialog, &HistoryDialog::close_me, this, &App::history_dialog_close);
    connect(history_dialog, &HistoryDialog::signal_entered_row, this, &App::history_dialog_item_entered);

    TrayIcon* tray = m_tray_icon.get();
    connect(tray, &TrayIcon::signal_open_app_requested, this, &App::open_app);
    connect(tray, &TrayIcon::signal_hidden_features_requested, this, &App::enter_hidden_feature_spell);
    connect(tray, &TrayIcon::signal_lock_requested, this, &App::lock_current_position);
    connect(tray, &TrayIcon::signal_unlock_requested, this, &App::unlock_current_position);
    connect(tray, &TrayIcon::signal_history_requested, this, &App::open_history_dialog);
    connect(tray, &TrayIcon::signal_exit_requested, this, &App::quit);
    // A click locks an unlocked position; a middle click pauses or resumes, and the switch is saved at once.
    connect(tray, &TrayIcon::signal_clicked, this, [this] {
        if (!m_history.is_position_locked())
            lock_current_position();
    });
    connect(tray, &TrayIcon::signal_middle_clicked, this, [this] {
        pause_or_resume_stackpaste();
        save_settings();
    });
    connect(m_hidden_features.get(), &HiddenFeatures::signal_spell_entered, this, &App::activate_hidden_feature);

    connect(m_shortcuts_dialog.get(), &QDialog::accepted, this, &App::update_global_shortcuts);
    connect(m_shortcuts_dialog.get(), &QDialog::rejected, this, &App::update_global_shortcuts);

    m_status_indicator->show();
    m_shortcuts_dialog->steer_opacity_of(m_status_indicator.get());
    connect(m_status_indicator.get(), &StatusIndicator::clicked, this, &App::on_button_open_history_dialog_clicked);
    connect(m_autocomplete_dialog.get(), &AutocompleteDialog::autocomplete_list_item_activated, this,
            &App::slot_autocomplete_list_item_activated);
    connect(m_autocomplete_dialog.get(), &AutocompleteDialog::close_me, this, &App::autocomplete_dialog_close);
    connect(m_autocomplete_dialog.get(), &AutocompleteDialog::signal_history_requested, this,
            &App::open_history_dialog);

    m_keyboard->set_hooked(true);
    connect(m_keyboard.get(), &Keyboard::signal_key_pressed, this, &App::key_pressed);
    connect(m_hotkey_processor.get(), &HotkeyProcessor::signal_copy_pressed, this, &App::copy_pressed);
    connect(m_hotkey_processor.get(), &HotkeyProcessor::signal_cut_pressed, this, &App::cut_pressed);
    connect(m_hotkey_processor.get(), &HotkeyProcessor::signal_command, this, &App::run_command);
    connect(m_paste_trigger.get(), &PasteTrigger::signal_paste, this, &App::paste_triggered);
    connect(m_clipboard_source.get(), &ClipboardSource::captured, m_copy_recorder.get(), &CopyRecorder::record);
    // A copy took the clipboard: where pastes are told by the requests, it goes back to us with the next item.
    connect(m_copy_recorder.get(), &CopyRecorder::signal_recorded, this, [this] { offer_next_paste(true); });
    connect(m_copy_recorder.get(), &CopyRecorder::signal_recorded, this, &App::refresh_views);
    connect(m_clipboard_source.get(), &ClipboardSource::rival_noticed, this, &App::tell_about_rival);
    connect(m_clipboard_source.get(), &ClipboardSource::connection_lost, this, [this] {
        qDebug() << "The desktop's clipboard went away (the session ended): quitting";
        quit();
    });
    connect(m_clipboard, &QClipboard::changed, this, &App::clipboard_changed);
    reconnect_keyboard_hook();

    m_settings.is_first_start = false;
    if (m_mime_copy->is_valid()) {
        TRACE("Temp dir is valid");
        qDebug() << "Temp dir path is:" << m_mime_copy->path();
    }
    connect(m_ui->button_open_helper_dialog, &QPushButton::clicked, this, &App::slot_button_open_helper_dialog);
    m_ui->combobox_mode_select->addItems(main_window_look::mode_texts());
    // Every view but the counter, which shows nothing until the history first changes.
    update_ui();
    // Connected after filling, so the items do not change the mode loaded from the settings.
    connect(m_ui->combobox_mode_select, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { slot_combobox_edit_text_changed(m_ui->combobox_mode_select->itemText(index)); });

    // Armed last, so the library state the settings and the folder removal use is still there when it runs.
    if (!exit_rescue::arm(this, [this] { rescue_at_exit(); }))
        qDebug() << "Cannot register the clean-up at exit; the settings are only saved on a normal quit";
}

void App::showEvent(QShowEvent* event)
{
    // At every showing: the screen may be another, or smaller, than at the last one. Once shown, the frame is known.
    main_window_look::fit_to_screen(*this, *m_scroll_area, m_is_styled);
    // The style sheets cost the start a few tens of milliseconds on a window that most starts never show.
    if (!m_is_styled) {
        main_window_look::apply_style(*m_ui);
        m_is_styled = true;
    }
    QWidget::showEvent(event);
}

void App::rescue_at_exit()
{
    qDebug() << "The program ends without a normal quit: saving the settings and removing the temporary files";
    save_settings();
    m_save_manager.reset();
    // The clipboard source stops reading before the folder its files go to is removed, and reports no copy any more.
    m_clipboard_source.reset();
    // Texts copied a moment ago are written, and the writer ends before the C library's clean-up takes the state
    // of the database driver away.
    m_autocomplete_database.reset();
    m_mime_copy.reset();
}

App::~App()
{
    exit_rescue::disarm(this);
    save_settings();
    // Before the application object: Qt's X11 tray code crashes on a tray icon left for its own clean-up.
    m_tray_icon.reset();
    // The clipboard source stops reading before the folder its files go to is removed, and before the autocomplete
    // store that the copies it reports are recorded in.
    m_clipboard_source.reset();
    // Before the history: its previews watch the items.
    m_history_dialog.reset();
    m_autocomplete_dialog.reset();
    m_autocomplete_database.reset();
    m_note_dialog.reset();
    m_hidden_features.reset();
    // Qt hands what we own on the clipboard to the desktop's clipboard manager after this, when the files of its
    // large data are gone: the data comes back into memory first.
    if (m_clipboard->ownsClipboard())
        MimeCopy::keep_in_memory(m_clipboard->mimeData());
    // The temporary directory goes with every snapshot in it.
    m_mime_copy.reset();
    m_save_manager.reset();
    if (m_keyboard)
        m_keyboard->set_hooked(false);
}

void App::save_settings()
{
    if (!m_save_manager)
        return;
    m_settings.history = m_history.options();
    m_settings.indicator_position = m_status_indicator->position();
    m_save_manager->save_settings(m_settings);
}

void App::quit()
{
    save_settings();
    QCoreApplication::quit();
}

void App::open_app()
{
    refresh_user_time();
    show();
    showNormal();
    raise();
    activateWindow();
}

// ---- the history ----

void App::add_to_stackpaste_text_history(QString current_clipboard_text)
{
    TRACE("START add_to_stackpaste_text_history(QString current_clipboard_text)");
    m_history.add_text(current_clipboard_text);
    TRACE("END add_to_stackpaste_text_history(QString current_clipboard_text)");
}

void App::add_to_stackpaste_mime_data_history(QMimeData* current_clipboard_mime_data)
{
    std::unique_ptr<QMimeData> item(current_clipboard_mime_data);
    TRACE("START add_to_stackpaste_mime_data_history(QMimeData *current_clipboard_mime_data)");
    qDebug() << "Size of m_stackpaste_clipboard_mime_data_history is: " << m_history.mime_items().size();
    m_history.add_mime(std::move(item));
    TRACE("END add_to_stackpaste_mime_data_history(QMimeData *current_clipboard_mime_data)");
}

void App::clear_clipboard_history()
{
    qDebug() << "App::clear_clipboard_history";
    m_history.clear();
    // The items' buffers are free now: the resident size goes back to what it was before the copies.
    memory::give_back_free_memory();
    refresh_views();
}

void App::clipboard_history_go_back()
{
    trace::plain(QStringLiteral("App::clipboard_history_go_back()"));
    m_history.go_back();
    refresh_views();
}

void App::clipboard_history_go_forward()
{
    trace::plain(QStringLiteral("App::clipboard_history_go_forward()"));
    m_history.go_forward();
    refresh_views();
}

void App::switch_paste_order()
{
    m_history.switch_paste_order();
    refresh_views();
}

void App::enable_or_disable_automatic_position_movement()
{
    qDebug() << "App::enable_or_disable_automatic_position_movement";
    m_history.set_use_automatic_position_movement(!m_history.use_automatic_position_movement());
    refresh_views();
}

void App::enable_or_disable_rich_text_copy()
{
    m_history.set_rich_text_copy_enabled(!m_history.is_rich_text_copy_enabled());
    refresh_views();
}

void App::pause_or_resume_stackpaste()
{
    m_history.set_paused(!m_history.is_paused());
    qDebug() << (m_history.is_paused() ? "Stackpaste paused" : "Stackpaste resumed");
    // A copy made while paused holds the clipboard: where pastes are told by the requests, take it back.
    offer_next_paste(true);
    refresh_views();
}

void App::lock_current_position()
{
    m_history.lock();
    qDebug() << "Position locked at" << m_history.locked_position();
    refresh_views();
}

void App::unlock_current_position()
{
    m_history.unlock();
    qDebug() << "Position unlocked";
    refresh_views();
}

void App::history_dialog_list_item_activated(int row)
{
    qDebug() << "\nCalling history_dialog_list_item_activated()\n";
    m_history.toggle_lock(row >= 0 ? std::optional<int>(row) : std::nullopt);
    refresh_views();
}

void App::delete_history_item(int row)
{
    m_history.delete_row(row);
    refresh_views();
}

void App::slot_history_list_item_position_changed(int from, int to)
{
    m_history.move_row(from, to, [this](const QMimeData& item) {
        return m_mime_copy->copy(item, MimeCopy::Variant::Capture, m_history.is_file_copy_enabled());
    });
    refresh_views();
}

void App::slot_combobox_edit_text_changed(QString new_text)
{
    if (const std::optional<Mode> mode = main_window_look::mode_of(new_text))
        m_history.set_mode(*mode);
    refresh_views();
}

void App::update_status_indicator()
{
    if (const std::optional<int> number = m_history.status_number())
        m_status_indicator->set_number(*number);
}

void App::print_current_text_clipboard_state()
{
    qDebug().noquote() << debug_text::text_state(m_history);
}

void App::print_current_mime_data_clipboard_state()
{
    qDebug().noquote() << debug_text::mime_state(m_history);
}

// ---- the clipboard ----

void App::clipboard_changed(QClipboard::Mode)
{
    update_status_indicator();
    // A paste made while the dialog is open has moved the position: its rows must keep naming what they show.
    refresh_history_dialog();
}

// ---- the paste road: runs while the user's key press is held ----

void App::key_pressed(int key, int)
{
    if (m_hotkey_processor)
        m_hotkey_processor->handle_key(key);
}

void App::copy_pressed()
{
    if (m_history.is_position_locked())
        unlock_current_position();
}

void App::cut_pressed()
{
    // A cut changes nothing here: its copy arrives like any other.
}

void App::paste_triggered(PasteTrigger::Moment moment)
{
    qDebug() << "Pasting";
    if (moment == PasteTrigger::Moment::before_read)
        paste_from_stackpaste_clipboard();
    else
        prepare_next_paste();
    qDebug() << "Done pasting";
}

void App::paste_from_stackpaste_clipboard()
{
    TRACE("START paste_from_stackpaste_clipboard()");
    std::unique_ptr<QMimeData> content = m_paste_maker->paste();
    if (!content)
        return;
    m_clipboard_source->own(std::move(content));
    TRACE("END paste_from_stackpaste_clipboard()");
}

void App::prepare_next_paste()
{
    // The program got what the clipboard held; the clipboard gets the item after it.
    if (std::unique_ptr<QMimeData> content = m_paste_maker->after_paste())
        m_clipboard_source->own(std::move(content));
    // No change of Qt's clipboard tells the views here: the clipboard may be the compositor's alone.
    update_status_indicator();
    refresh_history_dialog();
}

void App::offer_next_paste(bool force)
{
    if (!m_clipboard_source->tells_served_pastes())
        return;
    if (std::unique_ptr<QMimeData> content = m_paste_maker->offer(force))
        m_clipboard_source->own(std::move(content));
}

void App::tell_about_rival(const QString& why)
{
    qDebug().noquote() << why;
    show_tray_message(QStringLiteral("Stackpaste"), why, QSystemTrayIcon::Warning);
}

void App::run_command(CommandId id)
{
    // No default: a command left out here is a compile error.
    switch (id) {
    case CommandId::switch_paste_order:
        return switch_paste_order();
    case CommandId::pause_or_resume:
        return pause_or_resume_stackpaste();
    case CommandId::rich_text_copy:
        return enable_or_disable_rich_text_copy();
    case CommandId::clipboard_undo:
    case CommandId::clipboard_undo_with_arrow:
        return clipboard_history_go_back();
    case CommandId::clipboard_redo:
    case CommandId::clipboard_redo_with_arrow:
        return clipboard_history_go_forward();
    case CommandId::clear_history:
        return clear_clipboard_history();
    case CommandId::open_history_dialog:
        return open_history_dialog();
    case CommandId::show_debug_info:
        return show_debug_info();
    case CommandId::open_autocomplete:
        return open_autocomplete_dialog();
    case CommandId::lock_current_position:
        return lock_current_position();
    case CommandId::count:
        break;
    }
}

void App::clipboard_set(QString str)
{
    qDebug() << "Trying to set clip";
    m_clipboard->setText(str);
}

// ---- the keyboard ----

void App::connect_keyboard_hook()
{
    m_keyboard->set_hooked(true);
    m_is_keyboard_hook_connected = true;
}

void App::disconnect_keyboard_hook()
{
    m_keyboard->set_hooked(false);
    m_is_keyboard_hook_connected = false;
}

void App::reconnect_keyboard_hook()
{
    if (m_settings.use_keyboard_shortcuts && !m_is_keyboard_hook_connected)
        connect_keyboard_hook();
    else if (!m_settings.use_keyboard_shortcuts && m_is_keyboard_hook_connected)
        disconnect_keyboard_hook();
}

// ---- the main window ----

void App::update_ui()
{
    qDebug() << "Callig update ui";
    const bool paused = m_history.is_paused();
    const bool locked = m_history.is_position_locked();
    main_window_look::show_switches(*m_ui, m_history);
    m_ui->app_info->setText(QString());
    // Decoding and scaling the icons costs milliseconds, and every copy comes here: only a change redraws them.
    // Without a taskbar progress mark on Linux, the window icon carries the running or paused state.
    if (m_shown_paused != paused) {
        m_shown_paused = paused;
        main_window_look::show_app_icon(*m_ui, *this, paused);
    }
    show_mode_in_effect();
    m_status_indicator->show_paused(paused);
    m_tray_icon->show_state({paused, locked, m_settings.use_hidden_features});
    m_history_dialog->show_lock(locked);
    refresh_history_dialog();
    offer_next_paste(false);
}

void App::show_mode_in_effect()
{
    const QSignalBlocker quiet(m_ui->combobox_mode_select);
    m_ui->combobox_mode_select->setCurrentIndex(main_window_look::mode_index(m_history.mode()));
}

QString App::mode_text() const
{
    return m_ui->combobox_mode_select->currentText();
}

void App::refresh_views()
{
    update_ui();
    update_status_indicator();
}

void App::refresh_history_dialog()
{
    if (m_history_dialog->isVisible())
        m_history_dialog->show_rows(m_history.row_texts(m_history.indices_left_to_paste()), m_history.is_forward());
}

void App::on_change_mode_button_clicked()
{
    trace::plain(QStringLiteral("change_mode_button clicked "));
    pause_or_resume_stackpaste();
}

void App::on_change_order_button_clicked()
{
    trace::plain(QStringLiteral("change_order_button clicked"));
    switch_paste_order();
}

void App::on_button_toggle_file_copy_clicked()
{
    m_history.set_file_copy_enabled(!m_history.is_file_copy_enabled());
    refresh_views();
}

void App::on_button_show_shortcut_settings_clicked()
{
    // While the dialog is open no shortcut is registered, so the keys pressed in it are recorded, not run.
    m_hotkey_processor->disconnect_shortcuts();
    refresh_user_time();
    m_shortcuts_dialog->open_in_front();
}

void App::update_global_shortcuts()
{
    m_hotkey_processor->update_shortcuts();
    m_settings.shortcuts = m_shortcuts_dialog->shortcut_texts();
}

void App::serve_command(const remote::Request& request, const remote::Reply& reply)
{
    m_remote_control->serve(request, reply);
}

void App::show_debug_info()
{
    trace::plain(QStringLiteral("App::show_debug_info"));
    message_box::long_information(QStringLiteral("Clipboard History"), debug_text::body(m_history));
}

bool App::show_tray_message(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon)
{
    return m_tray_icon->show_passing_message(title, message, icon);
}

void App::on_button_toggle_status_indicator_clicked()
{
    m_status_indicator->setVisible(!m_status_indicator->isVisible());
}

void App::on_button_clear_autocomplete_history_clicked()
{
    m_autocomplete_dialog->ask_and_delete_history(this);
}

void App::on_button_about_clicked()
{
    main_window_look::make_about_box()->show();
}

void App::enter_hidden_feature_spell()
{
    if (const std::optional<SpellOutcome> help = m_hidden_features->enter(m_settings))
        apply_spell(*help);
}

void App::activate_hidden_feature(QString text)
{
    if (text.isEmpty())
        return;
    qDebug() << "Hidden feature spell:" << text;
    apply_spell(HiddenFeatures::run(text.toUtf8(), m_settings, m_history));
}

void App::apply_spell(const SpellOutcome& outcome)
{
    m_settings = outcome.settings;
    if (outcome.reset)
        take_fresh_settings();
    if (outcome.start_up_entry)
        *outcome.start_up_entry ? add_start_up_entry() : remove_start_up_entry();
    if (!outcome.page.isEmpty())
        open_url(outcome.page);
    refresh_views();
    save_settings();
    if (!outcome.title.isEmpty())
        m_tray_icon->notify(outcome.title, outcome.message);
}

void App::take_fresh_settings()
{
    m_save_manager->reset_settings();
    m_history.take_fresh_options(m_settings.history);
    m_status_indicator->move_to(m_settings.indicator_position);
    m_shortcuts_dialog->set_shortcut_texts(m_settings.shortcuts);
    update_global_shortcuts();
    reconnect_keyboard_hook();
}

void App::open_hidden_features_help()
{
    open_url(HiddenFeatures::help_page());
}

void App::open_autocomplete_dialog()
{
    qDebug() << "\nCalling open_autocomplete_dialog()";
    if (m_autocomplete_dialog->close_if_open())
        return;
    remember_user_window();
    refresh_user_time();
    m_autocomplete_dialog->show_at(QCursor::pos());
}

void App::remember_user_window()
{
    // Opened from the history dialog, the autocomplete window must paste where the user was before that.
    const quint64 focused = focused_window();
    if (!is_own_window(focused))
        m_user_window = focused;
}

void App::autocomplete_dialog_close()
{
    m_autocomplete_dialog->hide();
}

void App::slot_autocomplete_list_item_activated(QString str)
{
    // The chosen text goes straight onto the clipboard, paused or not and whatever it holds: the history and its
    // position stay as they were, and our own write is not recorded as a copy.
    auto content = std::make_unique<QMimeData>();
    content->setText(str);
    m_clipboard_source->own(std::move(content));
    // Its paste takes no item: the next item goes back on the clipboard after it.
    m_paste_maker->offered_other();
    // The injected Ctrl+V is not reported back as a paste: the chosen text stays on the clipboard.
    if (!paste_into(m_user_window)) {
        const QString text = QStringLiteral("The chosen text is the next paste: paste it with Ctrl+V");
        qDebug().noquote() << text;
        if (is_wayland_session())
            show_tray_message(QStringLiteral("Stackpaste"), text, QSystemTrayIcon::Information);
    }
}

void App::slot_button_open_helper_dialog()
{
    HelperDialog::show_help(this, m_shortcuts_dialog->shortcut_texts());
}

void App::slot_toggle_note_dialog()
{
    m_note_dialog->toggle();
}

void App::open_url(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

// ---- the history dialog ----

void App::open_history_dialog()
{
    trace::plain(QStringLiteral("open_history_dialog()"));
    if (m_history_dialog->close_if_open())
        return;
    remember_user_window();
    const std::optional<QList<int>> listing = m_history.open_dialog_listing();
    if (!listing)
        return;
    refresh_user_time();
    m_history_dialog->show_at(QCursor::pos(), m_history.row_texts(*listing), m_history.is_forward());
}

void App::history_dialog_close()
{
    m_history_dialog->hide();
}

void App::history_dialog_item_entered(int row)
{
    if (!m_history.is_rich_text_copy_enabled())
        return;
    const std::optional<int> index = m_history.index_for_row(row);
    m_history_dialog->show_preview(index ? m_history.mime_at(*index) : nullptr);
}
