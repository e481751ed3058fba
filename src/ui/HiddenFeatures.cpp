// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HiddenFeatures.h"

#include "core/ClipboardHistory.h"
#include "core/WebPages.h"
#include "ui/InputDialog.h"

#include <QCoreApplication>
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
    {"reset settings",                    &HiddenFeatures::reset_settings},
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

HiddenFeatures::HiddenFeatures() : QObject(nullptr) {}

HiddenFeatures::~HiddenFeatures()
{
    delete m_spell_window.data();
}

std::optional<SpellOutcome> HiddenFeatures::enter(const Settings& settings)
{
    if (!settings.hidden_features_help_already_shown) {
        SpellOutcome help;
        help.settings = settings;
        help.settings.hidden_features_help_already_shown = true;
        help.page = help_page();
        return help;
    }
    if (m_spell_window)
        return std::nullopt;
    m_spell_window = new InputDialog(tr("Hidden features"), tr("Enter your spell:"));
    // A closed spell window is not shown again: the next request makes a new one.
    m_spell_window->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_spell_window.data(), &InputDialog::finished, this, &HiddenFeatures::signal_spell_entered);
    connect(m_spell_window.data(), &InputDialog::closed, this, [this] { m_spell_window.clear(); });
    return std::nullopt;
}

QString HiddenFeatures::help_page()
{
    return web_pages::hidden_features_help(QCoreApplication::applicationDirPath()).toString();
}

SpellOutcome HiddenFeatures::run(const QByteArray& spell, const Settings& settings, const ClipboardHistory& history)
{
    const QList<SpellToken> tokens = spell_parser::tokenize(spell);
    Cast cast{tokens, history, SpellOutcome()};
    cast.outcome.settings = settings;
    for (const Spell& candidate : k_spells) {
        if (spell_parser::matches(tokens, candidate.pattern)) {
            if (candidate.apply(cast))
                return cast.outcome;
            break;
        }
    }
    QByteArray words;
    for (const SpellToken& token : tokens)
        words += (words.isEmpty() ? "" : " ") + token.text;
    cast.outcome.page = web_pages::page_of_spell(words);
    if (cast.outcome.page.isEmpty())
        invalid_spell(spell, cast);
    return cast.outcome;
}

void HiddenFeatures::Cast::tell(const QString& title, const QString& message)
{
    if (!outcome.settings.use_hidden_features_notifications)
        return;
    outcome.title = title;
    outcome.message = message;
}

void HiddenFeatures::invalid_spell(const QByteArray& spell, Cast& cast)
{
    const QString typed = QString::fromUtf8(spell);
    qDebug() << "Invalid spell:" << typed;
    cast.tell(tr("Invalid spell"), tr("The spell") + QStringLiteral(" \"") + typed + QLatin1Char('"') +
                                       tr(" seems wrong. Check the syntax or try with some other hidden feature.") +
                                       QLatin1Char('\n') +
                                       tr("Use \"help\" to see the list of all hidden features :)"));
}

bool HiddenFeatures::help(Cast& cast)
{
    cast.outcome.page = help_page();
    return true;
}

bool HiddenFeatures::hidden_features(Cast& cast)
{
    cast.outcome.settings.use_hidden_features = cast.on();
    if (!cast.on())
        cast.tell(tr("Hidden features disabled"), tr("Hidden features are disabled. To enable them again see the "
                                                     "Hidden features article in the Stackpaste website."));
    return true;
}

bool HiddenFeatures::start_at_startup(Cast& cast)
{
    cast.outcome.settings.start_at_startup = cast.on();
    cast.outcome.start_up_entry = cast.on();
    if (cast.on())
        cast.tell(tr("Start at startup enabled"), tr("Stackpaste will start when you turn ON your computer"));
    else
        cast.tell(tr("Start at startup disabled"), tr("Stackpaste will not start when you turn ON your computer"));
    return true;
}

bool HiddenFeatures::create_shortcuts_automatically(Cast& cast)
{
    cast.outcome.settings.create_shortcuts_automatically = cast.on();
    if (cast.on())
        cast.tell(tr("Create shortcuts enabled"), tr("Stackpaste will create shortcuts automatically. This is used "
                                                     "to add Aurora to the start menu automatically"));
    else
        cast.tell(tr("Create shortcuts disabled"), tr("Stackpaste will not create shortcuts automatically. This "
                                                      "feature was used to add Aurora to the start menu "
                                                      "automatically"));
    return true;
}

bool HiddenFeatures::tray_icon_rotation(Cast& cast)
{
    cast.outcome.settings.use_spinning_tray_icon = cast.on();
    if (cast.on())
        cast.tell(tr("Tray icon rotation is enabled"),
                  tr("The tray icon will rotate when Aurora is changing screen colors. This is used to show when "
                     "Aurora is changing colors and your screen is not calibrated"));
    else
        cast.tell(tr("Tray icon rotation is disabled"),
                  tr("The tray icon will not rotate when Aurora is changing screen colors. This feature is used to "
                     "show when Aurora is changing colors and your screen is not calibrated"));
    return true;
}

bool HiddenFeatures::monitor(Cast& cast)
{
    const qint64 number = cast.tokens.at(2).integer_value;
    // Narrowed, a number beyond 32 bits would name some other monitor.
    if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
        qDebug() << "Monitor number" << number << "does not fit 32 bits";
        return false;
    }
    const int n = static_cast<int>(number);
    QList<int>& ignored = cast.outcome.settings.ignore_monitors;
    const QString shown = QStringLiteral(" ") + QString::number(n);
    if (!cast.on()) {
        if (!ignored.contains(n))
            ignored << n;
        cast.tell(tr("Monitor") + shown + tr(" disabled"),
                  tr("Stackpaste will not apply color changes to Monitor") + shown);
    } else {
        ignored.removeAll(n);
        cast.tell(tr("Monitor") + shown + tr(" enabled"), tr("Stackpaste will apply color changes to Monitor") + shown);
    }
    return true;
}

bool HiddenFeatures::reset_colors(Cast& cast)
{
    cast.tell(tr("Reset colors"), tr("Screen colors are reset to default values"));
    return true;
}

bool HiddenFeatures::reset_settings(Cast& cast)
{
    Settings defaults;
    // This start has happened: a reset must not make the next one show the window and create the menu entries again.
    defaults.is_first_start = false;
    QString message = tr("Stackpaste settings are reset to default values");
    const ClipboardHistory& history = cast.history;
    if (history.keeps_kind_with(defaults.history))
        message += QLatin1Char('\n') + tr("Rich text copy stays %1: the %2 items of the history are still there to "
                                          "paste (switching it empties the history)")
                                           .arg(history.is_rich_text_copy_enabled() ? tr("enabled") : tr("disabled"))
                                           .arg(history.size());
    cast.outcome.settings = defaults;
    cast.outcome.reset = true;
    cast.outcome.start_up_entry = true;
    cast.tell(tr("Reset settings"), message);
    return true;
}

bool HiddenFeatures::invert_colors(Cast& cast)
{
    cast.tell(tr("Invert"), tr("Colors are inverted"));
    return true;
}

bool HiddenFeatures::hidden_features_notifications(Cast& cast)
{
    // Told by the old value: switching on from off shows nothing, switching off shows the last notification.
    if (cast.on())
        cast.tell(tr("Notifications enabled"), tr("Hidden features notifications are enabled. They are show so you "
                                                  "will know when your spell is successful"));
    else
        cast.tell(tr("Notifications disabled"), tr("Hidden features notifications are disabled. This is the last "
                                                   "notification that you will see"));
    cast.outcome.settings.use_hidden_features_notifications = cast.on();
    return true;
}

bool HiddenFeatures::inverted_icons(Cast& cast)
{
    cast.outcome.settings.use_inverted_icons = cast.on();
    cast.tell(cast.on() ? tr("Inverted icons enabled") : tr("Inverted icons disabled"),
              tr("They are used in inverted mode"));
    return true;
}

bool HiddenFeatures::software_cursor(Cast& cast)
{
    // X11 has no mouse-trails setting to change: the spell only says what it stands for.
    if (cast.on())
        cast.tell(tr("Software cursor enabled"),
                  tr("Color changes will apply also on the cursor. If it starts to dissappear use disable software "
                     "cursor to make it bright again."));
    else
        cast.tell(tr("Hardware cursor enabled"),
                  tr("Color changes will not apply on the cursor. If you don't like the bright blue cursor at night "
                     "use enable software cursor to make apply color changes on the cursor."));
    return true;
}

bool HiddenFeatures::keyboard_shortcuts(Cast& cast)
{
    // Stored only: the keyboard takes it up when it next connects (the next start).
    cast.outcome.settings.use_keyboard_shortcuts = cast.on();
    if (cast.on())
        cast.tell(tr("Keyboard shortcuts enabled"), tr("You can now change Aurora settings via the keyboard"));
    else
        cast.tell(tr("Keyboard shortcuts disabled"), tr("Aurora keyboard shortcuts are disabled"));
    return true;
}

bool HiddenFeatures::deadpoll(Cast&)
{
    return true;
}
