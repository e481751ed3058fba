// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11ClipboardSource.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QX11Info>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The atoms of names, asked all at once: one round trip.
std::vector<xcb_atom_t> intern_all(xcb_connection_t* connection, const std::vector<const char*>& names)
{
    std::vector<xcb_intern_atom_cookie_t> cookies;
    cookies.reserve(names.size());
    for (const char* name : names)
        cookies.push_back(xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name));
    std::vector<xcb_atom_t> atoms;
    for (const xcb_intern_atom_cookie_t cookie : cookies) {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
        atoms.push_back(reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE});
    }
    return atoms;
}

} // namespace

X11ClipboardSource::X11ClipboardSource(const QString& storage_folder, Pastes pastes)
    : m_own_windows(storage_folder, QtClipboardSource::Scope::this_process), m_pastes(pastes)
{
    m_reader.set_storage_folder(storage_folder);
    connect(&m_reader, &ClipboardReader::captured, this, &ClipboardSource::captured);
    connect(&m_own_windows, &ClipboardSource::captured, this, &ClipboardSource::captured);
    if (m_pastes == Pastes::by_request && QX11Info::isPlatformX11()) {
        const std::vector<xcb_atom_t> atoms =
            intern_all(QX11Info::connection(), {"CLIPBOARD", "TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS",
                                                "DELETE", "INSERT_SELECTION", "INSERT_PROPERTY"});
        m_clipboard_atom = atoms.front();
        for (auto atom = atoms.begin() + 1; atom != atoms.end(); ++atom)
            m_pseudo_targets.insert(*atom);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
}

X11ClipboardSource::~X11ClipboardSource()
{
    if (QCoreApplication* application = QCoreApplication::instance())
        application->removeNativeEventFilter(this);
}

bool X11ClipboardSource::start()
{
    return m_reader.start();
}

void X11ClipboardSource::own(std::unique_ptr<QMimeData> content)
{
    if (m_pastes == Pastes::by_request) {
        // Qt stamps its ownership with the time of the last event it saw, which no key press refreshes here: an
        // owner stamped since (the copy just recorded) would keep the clipboard, and our offer would be lost. The
        // server's time now is also the time that the compositor's reads of the new owner carry.
        m_owned_since = QX11Info::getTimestamp();
        QX11Info::setAppTime(m_owned_since);
        m_listed_at = XCB_CURRENT_TIME;
    }
    m_own_windows.own(std::move(content));
    if (m_pastes == Pastes::by_request)
        m_requests.offered(ServedRequests::Clock::now());
}

QString X11ClipboardSource::paste_road() const
{
    if (m_pastes == Pastes::by_key)
        return {};
    return QStringLiteral("through XWayland: the requests for our X11 clipboard are the pastes (the compositor passes "
                          "on those of Wayland programs where it bridges the clipboard, as GNOME does)");
}

bool X11ClipboardSource::is_paste(quint32 stamp)
{
    const quint64 offer = m_requests.current();
    if (stamp == XCB_CURRENT_TIME)
        return m_requests.is_paste(offer, QStringLiteral("data"), ServedRequests::Clock::now());
    // A compositor that keeps a copy of every new owner (mutter) reads it at once, the list of types first, stamped
    // with the time it learnt of the owner; the pastes it passes on later carry that stamp too, but ask for the
    // content alone. A program's own
    // paste carries the time of its key press. The time this side handles a request says little: the main thread
    // may have been busy for tens of milliseconds after the offer.
    const bool listed_first = m_listed_at == stamp;
    m_listed_at = XCB_CURRENT_TIME;
    const auto since_offer = static_cast<qint32>(stamp - m_owned_since);
    if (listed_first && std::abs(since_offer) < ServedRequests::k_keeper_window.count())
        return false;
    return m_requests.is_paste(offer, QStringLiteral("data"));
}

bool X11ClipboardSource::nativeEventFilter(const QByteArray& type, void* message, long*)
{
    if (type != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST)
        return false;
    const auto* request = static_cast<const xcb_selection_request_event_t*>(message);
    if (request->selection != m_clipboard_atom || !QGuiApplication::clipboard()->ownsClipboard())
        return false;
    if (m_pseudo_targets.contains(request->target)) {
        m_listed_at = request->time;
        return false;
    }
    if (is_paste(request->time))
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT served(); }, Qt::QueuedConnection); // once Qt has answered, when this returns
    return false;
}
