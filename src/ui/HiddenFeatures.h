// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SpellParser.h"

#include <QObject>
#include <QPointer>

class App;
class InputDialog;

// The spells: short typed commands that change settings without a button, open a few fixed pages and say what
// they did in a notification (while hidden-features notifications are on). The first request to type one opens the
// help page instead. Every spell that ran, valid or not, ends with the settings saved. The state it changes lives
// in the App's settings; it keeps only the open spell window. Main thread only.
class HiddenFeatures : public QObject {
    Q_OBJECT
public:
    explicit HiddenFeatures(App* app);
    ~HiddenFeatures() override;

    // The tray's "Hidden features": the help page the first time, else the spell window (one at a time).
    void enter_spell();
    // The spell window's text: an empty one does nothing.
    void activate(const QString& text);
    void forget_spell_window();
    InputDialog* spell_window() const;

    // Runs one spell (UTF-8) and saves the settings.
    void run(const QByteArray& spell);

private:
    using Tokens = QList<SpellToken>;
    struct Spell {
        const char* pattern;
        // false: the words fit but the spell still cannot be applied (a monitor number beyond 32 bits).
        bool (HiddenFeatures::*apply)(const Tokens& tokens);
    };
    static const Spell k_spells[];

    void notify(const QString& title, const QString& message);
    void invalid_spell(const QByteArray& spell);
    // Back to a fresh installation's settings, applied at once: window, tray menu, autostart entry, shortcuts. A
    // history that holds items keeps its kind (rich text or plain text), since switching it empties it; returns
    // whether it did.
    bool reset_settings();

    bool help(const Tokens& tokens);
    bool hidden_features(const Tokens& tokens);
    bool start_at_startup(const Tokens& tokens);
    bool create_shortcuts_automatically(const Tokens& tokens);
    bool tray_icon_rotation(const Tokens& tokens);
    bool monitor(const Tokens& tokens);
    bool reset_colors(const Tokens& tokens);
    bool reset_settings_spell(const Tokens& tokens);
    bool invert_colors(const Tokens& tokens);
    bool hidden_features_notifications(const Tokens& tokens);
    bool inverted_icons(const Tokens& tokens);
    bool software_cursor(const Tokens& tokens);
    bool keyboard_shortcuts(const Tokens& tokens);
    bool deadpoll(const Tokens& tokens);

    App* m_app; // not owned
    QPointer<InputDialog> m_spell_window;
};
