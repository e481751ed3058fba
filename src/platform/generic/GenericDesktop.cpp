// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop reached through Qt alone, for a build without the X11 backend: copies are read through Qt's clipboard,
// and there is no key interception, no global shortcut and no injected key press.
#include "core/KeyboardPasteTrigger.h"
#include "core/ServedPasteTrigger.h"
#include "platform/Platform.h"
#include "platform/QtClipboardSource.h"

#include <QDebug>

namespace {

// A key source that sees no key.
class NoKeyboard : public Keyboard {
public:
    NoKeyboard()
    {
        qDebug() << "This build cannot catch keys here: Ctrl+C, Ctrl+X and Ctrl+V go to the programs alone, and "
                    "the global shortcuts are off";
    }
    bool set_hooked(bool) override { return false; }
    bool is_control_held() const override { return false; }
};

// A shortcut that is never registered, and says why.
class NoGlobalShortcut : public GlobalShortcut {
public:
    bool setShortcut(const QKeySequence& shortcut, bool autoRegister) override
    {
        m_shortcut = shortcut;
        m_error =
            autoRegister && !shortcut.isEmpty() ? QStringLiteral("this build has no global shortcuts") : QString();
        return false;
    }
    QKeySequence shortcut() const override { return m_shortcut; }
    bool is_registered() const override { return false; }
    QString registration_error() const override { return m_error; }

private:
    QKeySequence m_shortcut;
    QString m_error;
};

} // namespace

std::unique_ptr<Keyboard> create_keyboard()
{
    return std::make_unique<NoKeyboard>();
}

std::unique_ptr<PasteTrigger> create_paste_trigger(const Keyboard& keyboard, const ClipboardSource& source)
{
    if (source.tells_served_pastes())
        return std::make_unique<ServedPasteTrigger>(source);
    return std::make_unique<KeyboardPasteTrigger>(keyboard);
}

std::unique_ptr<GlobalShortcut> create_global_shortcut()
{
    return std::make_unique<NoGlobalShortcut>();
}

std::unique_ptr<ClipboardSource> create_clipboard_source(const QString& storage_folder)
{
    return std::make_unique<QtClipboardSource>(storage_folder, QtClipboardSource::Scope::every_owner);
}

bool needs_x11_platform()
{
    return false;
}

void refresh_user_time() {}

bool clipboard_has_owner()
{
    return true;
}

QString display_problem(int, char**)
{
    return QString();
}

quint64 focused_window()
{
    return 0;
}

bool paste_into(quint64)
{
    qDebug() << "This build cannot press keys for the user";
    return false;
}
