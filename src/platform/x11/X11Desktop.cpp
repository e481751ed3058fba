// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/KeyboardPasteTrigger.h"
#include "core/ServedPasteTrigger.h"
#include "platform/Platform.h"
#include "platform/QtClipboardSource.h"
#include "platform/x11/GlobalHotkey.h"
#include "platform/x11/X11ClipboardSource.h"
#ifdef STACKPASTE_WAYLAND
#include "platform/wayland/WaylandClipboard.h"
#endif

#include <QX11Info>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

std::unique_ptr<PasteTrigger> create_paste_trigger(const Keyboard& keyboard, const ClipboardSource& source)
{
    if (source.tells_served_pastes())
        return std::make_unique<ServedPasteTrigger>(source);
    // The key grab holds every Ctrl+V until the paste road has run.
    return std::make_unique<KeyboardPasteTrigger>(keyboard);
}

std::unique_ptr<GlobalShortcut> create_global_shortcut()
{
    return std::make_unique<GlobalHotkey>();
}

std::unique_ptr<ClipboardSource> create_clipboard_source(const QString& storage_folder)
{
#ifdef STACKPASTE_WAYLAND
    // In a Wayland session only the compositor's data-control protocol sees the copies and pastes of the native
    // programs; XWayland's clipboard is where the compositor lets it be (not at all under sway for Wayland owners
    // when no X11 window has the focus).
    if (is_wayland_session()) {
        auto wayland = std::make_unique<WaylandClipboard>(storage_folder);
        if (wayland->start())
            return wayland; // the start names the road taken
    }
#endif
    // On X11 copies are read off the main thread, so no clipboard owner can hold up the keyboard or the windows.
    if (QX11Info::isPlatformX11()) {
        // In a Wayland session the compositor may hand the pastes of Wayland programs to the X11 clipboard's owner:
        // only the requests it serves can tell of them.
        const auto pastes =
            is_wayland_session() ? X11ClipboardSource::Pastes::by_request : X11ClipboardSource::Pastes::by_key;
        auto source = std::make_unique<X11ClipboardSource>(storage_folder, pastes);
        if (source->start())
            return source;
    }
    return std::make_unique<QtClipboardSource>(storage_folder, QtClipboardSource::Scope::every_owner);
}

bool needs_x11_platform()
{
    return true;
}

void refresh_user_time()
{
    if (!QX11Info::isPlatformX11())
        return;
    // Our last event may be minutes old: the server refuses a focus change stamped earlier than the last one and
    // window managers treat it as focus stealing, so the window would stay behind. Ask the server for its time.
    const unsigned long now = QX11Info::getTimestamp();
    QX11Info::setAppTime(now);
    QX11Info::setAppUserTime(now);
}

bool clipboard_has_owner()
{
    if (!QX11Info::isPlatformX11())
        return true;
    xcb_connection_t* connection = QX11Info::connection();
    static const xcb_atom_t clipboard = [connection] {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 9, "CLIPBOARD"), nullptr), &std::free);
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }();
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboard), nullptr), &std::free);
    return owner && owner->owner != XCB_NONE;
}
