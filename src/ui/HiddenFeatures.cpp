// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HiddenFeatures.h"

#include "core/SaveManager.h"
#include "core/WebPages.h"
#include "platform/StartUpEntry.h"
#include "ui/App.h"
#include "ui/InputDialog.h"
#include "ui/ShortcutsDialog.h"
#include "ui/TrayIcon.h"

#include <QDebug>

#include <limits>

// clang-format off
const HiddenFeatures::Spell HiddenFeatures::k_spells[] = {
    {"help",                              &HiddenFeatures::help},
    {"%b hidden features",                &HiddenFeatures::hidden_features},
    {"%b start at startup",               &HiddenFeatures::start_at_startup},
    {"%b create shortcuts automatically", &HiddenFeatures::create_shortcuts_automatically},
    {"%b tray icon rotation",             &HiddenFeatures::tray_icon_rotation},
    {"%b monitor %d",                     &HiddenFeatures::monitor},
    {"reset",                             &HiddenFeatures::reset_colors},
    {"reset colors",                      &HiddenFeatures::reset_colors},
    {"reset settings",                    &HiddenFeatures::reset_settings_spell},
    {"invert",                            &HiddenFeatures::invert_colors},
    {"invert colors",                     &HiddenFeatures::invert_colors},
    {"%b hidden features notifications",  &HiddenFeatures::hidden_features_notifications},
    {"%b inverted icons",                 &HiddenFeatures::inverted_icons},
    {"%b software cursor",                &HiddenFeatures::software_cursor},
    {"%b software mouse",                 &HiddenFeatures::software_cursor},
    {"%b keyboard shortcuts",             &HiddenFeatures::keyboard_shortcuts},
    {"%b deadpoll",                       &HiddenFeatures::deadpoll},
};
// clang-format on

HiddenFeatures::HiddenFeatures(App* app) : QObject(nullptr), m_app(app) {}

HiddenFeatures::~HiddenFeatures()
{
    delete m_spell_window.data();
}

void HiddenFeatures::enter_spell()
{
    Settings& settings = m_app->settings();
    if (!settings.hidden_features_help_already_shown) {
        m_app->open_hidden_features_help();
        settings.hidden_features_help_already_shown = true;
        m_app->save_settings();
        return;
    }
    if (m_spell_window)
        return;
    m_spell_window = new InputDialog(tr("Hidden features"), tr("Enter your spell:"));
    // A closed spell window is not shown again: the next request makes a new one.
    m_spell_window->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_spell_window.data(), &InputDialog::finished, m_app, &App::activate_hidden_feature);
    connect(m_spell_window.data(), &InputDialog::closed, m_app, &App::hidden_features_dialog_closed);
}

void HiddenFeatures::activate(const QString& text)
{
    if (text.isEmpty())
        return;
    qDebug() << "Hidden feature spell:" << text;
    run(text.toUtf8());
}

InputDialog* HiddenFeatures::spell_window() const
{
    return m_spell_window.data();
}

void HiddenFeatures::forget_spell_window()
{
    m_spell_window.clear();
}

void HiddenFeatures::run(const QByteArray& spell)
{
    const Tokens tokens = spell_parser::tokenize(spell);
    bool applied = false;
    for (const Spell& candidate : k_spells) {
        if (spell_parser::matches(tokens, candidate.pattern)) {
            applied = (this->*candidate.apply)(tokens);
            break;
        }
    }
    if (!applied) {
        QByteArray words;
        for (const SpellToken& token : tokens)
            words += (words.isEmpty() ? "" : " ") + token.text;
        const QString page = web_pages::page_of_spell(words);
        if (!page.isEmpty()) {
            m_app->open_url(page);
            applied = true;
        }
    }
    if (!applied)
        invalid_spell(spell);
    m_app->save_settings();
}

void HiddenFeatures::notify(const QString& title, const QString& message)
{
    if (m_app->settings().use_hidden_features_notifications)
        m_app->show_notification(title, message);
}

void HiddenFeatures::invalid_spell(const QByteArray& spell)
{
    const QString typed = QString::fromUtf8(spell);
    qDebug() << "Invalid spell:" << typed;
    notify(tr("Invalid spell"), tr("The spell") + QStringLiteral(" \"") + typed + QLatin1Char('"') +
                                    tr(" seems wrong. Check the syntax or try with some other hidden feature.") +
                                    QLatin1Char('\n') + tr("Use \"help\" to see the list of all hidden features :)"));
}

bool HiddenFeatures::help(const Tokens&)
{
    m_app->open_hidden_features_help();
    return true;
}

bool HiddenFeatures::hidden_features(const Tokens& tokens)
{
    const bool on = tokens.at(0).bool_value;
    m_app->settings().use_hidden_features = on;
    m_app->save_settings();
    m_app->tray_icon()->refresh_tray_menu();
    if (!on)
        notify(tr("Hidden features disabled"), tr("Hidden features are disabled. To enable them again see the Hidden "
                                                  "features article in the Stackpaste website."));
    return true;
}

bool HiddenFeatures::start_at_startup(const Tokens& tokens)
{
    const bool on = tokens.at(0).bool_value;
    m_app->settings().start_at_startup = on;
    if (on) {
        add_start_up_entry();
        notify(tr("Start at startup enabled"), tr("Stackpaste will start when you turn ON your computer"));
    } else {
        remove_start_up_entry();
        notify(tr("Start at startup disabled"), tr("Stackpaste will not start when you turn ON your computer"));
    }
    return true;
}

bool HiddenFeatures::create_shortcuts_automatically(const Tokens& tokens)
{
    const bool on = tokens.at(0).bool_value;
    m_app->settings().create_shortcuts_automatically = on;
    if (on)
        notify(tr("Create shortcuts enabled"), tr("Stackpaste will create shortcuts automatically. This is used to "
                                                  "add Aurora to the start menu automatically"));
    else
        notify(tr("Create shortcuts disabled"), tr("Stackpaste will not create shortcuts automatically. This feature "
                                                   "was used to add Aurora to the start menu automatically"));
    return true;
}

bool HiddenFeatures::tray_icon_rotation(const Tokens& tokens)
{
    const bool on = tokens.at(0).bool_value;
    m_app->settings().use_spinning_tray_icon = on;
    if (on)
        notify(tr("Tray icon rotation is enabled"),
               tr("The tray icon will rotate when Aurora is changing screen colors. This is used to show when Aurora "
                  "is changing colors and your screen is not calibrated"));
    else
        notify(tr("Tray icon rotation is disabled"),
               tr("The tray icon will not rotate when Aurora is changing screen colors. This feature is used to show "
                  "when Aurora is changing colors and your screen is not calibrated"));
    return true;
}

bool HiddenFeatures::monitor(const Tokens& tokens)
{
    const qint64 number = tokens.at(2).integer_value;
    // Narrowed, a number beyond 32 bits would name some other monitor.
    if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
        qDebug() << "Monitor number" << number << "does not fit 32 bits";
        return false;
    }
    const int n = static_cast<int>(number);
    QList<int>& ignored = m_app->settings().ignore_monitors;
    const QString shown = QStringLiteral(" ") + QString::number(n);
    if (!tokens.at(0).bool_value) {
        if (!ignored.contains(n))
            ignored << n;
        notify(tr("Monitor") + shown + tr(" disabled"),
               tr("Stackpaste will not apply color changes to Monitor") + shown);
    } else {
        ignored.removeAll(n);
        notify(tr("Monitor") + shown + tr(" enabled"), tr("Stackpaste will apply color changes to Monitor") + shown);
    }
    return true;
}

bool HiddenFeatures::reset_colors(const Tokens&)
{
    notify(tr("Reset colors"), tr("Screen colors are reset to default values"));
    return true;
}

bool HiddenFeatures::reset_settings_spell(const Tokens&)
{
    QString message = tr("Stackpaste settings are reset to default values");
    if (reset_settings()) {
        const ClipboardHistory& history = m_app->history();
        message += QLatin1Char('\n') + tr("Rich text copy stays %1: the %2 items of the history are still there to "
                                          "paste (switching it empties the history)")
                                           .arg(history.is_rich_text_copy_enabled() ? tr("enabled") : tr("disabled"))
                                           .arg(history.size());
    }
    notify(tr("Reset settings"), message);
    return true;
}

bool HiddenFeatures::reset_settings()
{
    m_app->save_manager()->reset_settings();
    Settings defaults;
    // This start has happened: a reset must not make the next one show the window and create the menu entries again.
    defaults.is_first_start = false;
    ClipboardHistory& history = m_app->history();
    HistoryOptions& options = defaults.history;
    // Switching the kind of history empties it, as the rich text button does: the user's items stay to be pasted.
    const bool keep_kind =
        history.is_rich_text_copy_enabled() != options.is_rich_text_copy_enabled && !history.is_empty();
    if (keep_kind)
        options.is_rich_text_copy_enabled = history.is_rich_text_copy_enabled();
    else if (history.is_rich_text_copy_enabled() != options.is_rich_text_copy_enabled)
        history.set_rich_text_copy_enabled(options.is_rich_text_copy_enabled);
    // A forward walk turns backward as the order shortcut turns it: with all of the history left to paste.
    if (history.paste_order() == PasteOrder::forward && options.paste_order != PasteOrder::forward)
        history.switch_paste_order();
    history.set_options(options);
    m_app->settings() = defaults;
    m_app->move_status_indicator(defaults.indicator_position);
    add_start_up_entry();
    m_app->shortcuts_dialog()->set_shortcut_texts(defaults.shortcuts);
    m_app->update_global_shortcuts();
    m_app->reconnect_keyboard_hook();
    m_app->refresh_views();
    return keep_kind;
}

bool HiddenFeatures::invert_colors(const Tokens&)
{
    m_app->tray_icon()->refresh_tray_menu();
    notify(tr("Invert"), tr("Colors are inverted"));
    return true;
}

bool HiddenFeatures::hidden_features_notifications(const Tokens& tokens)
{
    const bool on = tokens.at(0).bool_value;
    // Told by the old value: switching on from off shows nothing, switching off shows the last notification.
    if (on)
        notify(tr("Notifications enabled"), tr("Hidden features notifications are enabled. They are show so you "
                                               "will know when your spell is successful"));
    else
        notify(tr("Notifications disabled"), tr("Hidden features notifications are disabled. This is the last "
                                                "notification that you will see"));
    m_app->settings().use_hidden_features_notifications = on;
    return true;
}

bool HiddenFeatures::inverted_icons(const Tokens& tokens)
{
    const bool on = tokens.at(0).bool_value;
    m_app->settings().use_inverted_icons = on;
    notify(on ? tr("Inverted icons enabled") : tr("Inverted icons disabled"), tr("They are used in inverted mode"));
    return true;
}

bool HiddenFeatures::software_cursor(const Tokens& tokens)
{
    // X11 has no mouse-trails setting to change: the spell only says what it stands for.
    if (tokens.at(0).bool_value)
        notify(tr("Software cursor enabled"),
               tr("Color changes will apply also on the cursor. If it starts to dissappear use disable software "
                  "cursor to make it bright again."));
    else
        notify(tr("Hardware cursor enabled"),
               tr("Color changes will not apply on the cursor. If you don't like the bright blue cursor at night use "
                  "enable software cursor to make apply color changes on the cursor."));
    return true;
}

bool HiddenFeatures::keyboard_shortcuts(const Tokens& tokens)
{
    const bool on = tokens.at(0).bool_value;
    // Stored only: the keyboard takes it up when it next connects (the next start).
    m_app->settings().use_keyboard_shortcuts = on;
    if (on)
        notify(tr("Keyboard shortcuts enabled"), tr("You can now change Aurora settings via the keyboard"));
    else
        notify(tr("Keyboard shortcuts disabled"), tr("Aurora keyboard shortcuts are disabled"));
    return true;
}

bool HiddenFeatures::deadpoll(const Tokens&)
{
    return true;
}
