// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Settings.h"
#include "core/SpellParser.h"

#include <QObject>
#include <QPointer>

#include <optional>

class ClipboardHistory;
class InputDialog;

// What one spell changes. App applies it, then redraws every view once and saves the settings once.
struct SpellOutcome {
    // The settings after the spell; those it does not touch are as they were.
    Settings settings;
    // Back to a fresh installation: the settings file emptied, then the history's switches (with what is left to
    // paste kept), the counter's place, the shortcuts and the keyboard taken from `settings`.
    bool reset = false;
    // The autostart entry written (true) or removed (false).
    std::optional<bool> start_up_entry;
    QString page; // an address to open, or empty
    // What the user is told; an empty title tells nothing (hidden-features notifications are off).
    QString title;
    QString message;
};

// The spells: short typed commands that change settings without a button, open a few fixed pages and say what
// they did in a notification (while hidden-features notifications are on). A spell only says what it changes, as a
// SpellOutcome; App applies it. This class keeps only the open spell window. Main thread only.
class HiddenFeatures : public QObject {
    Q_OBJECT
public:
    HiddenFeatures();
    ~HiddenFeatures() override;

    // The tray's "Hidden features": the first request opens the help page instead (returned as what it changes),
    // later ones the spell window, one at a time: a request while it is open does nothing.
    std::optional<SpellOutcome> enter(const Settings& settings);

    // What the spell (UTF-8) changes in `settings`; `history` is read for what a reset keeps. A spell that is none
    // tells the user so.
    static SpellOutcome run(const QByteArray& spell, const Settings& settings, const ClipboardHistory& history);
    // The hidden-features help page that ships with the program.
    static QString help_page();

Q_SIGNALS:
    // The spell window's OK (or Return), with what was typed; empty when nothing was.
    void signal_spell_entered(QString text);

private:
    // One spell being cast: its words, the history it reads and the outcome it writes.
    struct Cast {
        const QList<SpellToken>& tokens;
        const ClipboardHistory& history;
        SpellOutcome outcome;
        // The spell's leading on/off word.
        bool on() const { return tokens.at(0).bool_value; }
        // Says something while notifications are on, as the outcome has them at the time.
        void tell(const QString& title, const QString& message);
    };
    struct Spell {
        const char* pattern;
        // false: the words fit but the spell still cannot be applied (a monitor number beyond 32 bits).
        bool (*apply)(Cast& cast);
    };
    static const Spell k_spells[];

    static void invalid_spell(const QByteArray& spell, Cast& cast);

    static bool help(Cast& cast);
    static bool hidden_features(Cast& cast);
    static bool start_at_startup(Cast& cast);
    static bool create_shortcuts_automatically(Cast& cast);
    static bool tray_icon_rotation(Cast& cast);
    static bool monitor(Cast& cast);
    static bool reset_colors(Cast& cast);
    // A history that holds items keeps its kind (rich text or plain text), since switching it empties it: the
    // message says so.
    static bool reset_settings(Cast& cast);
    static bool invert_colors(Cast& cast);
    static bool hidden_features_notifications(Cast& cast);
    static bool inverted_icons(Cast& cast);
    static bool software_cursor(Cast& cast);
    static bool keyboard_shortcuts(Cast& cast);
    static bool deadpoll(Cast& cast);

    QPointer<InputDialog> m_spell_window;
};
