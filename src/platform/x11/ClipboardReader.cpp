// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/ClipboardReader.h"

#include "core/CaptureRules.h"

#include <QDebug>
#include <QX11Info>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t intern(xcb_connection_t* connection, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection,
                              xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

} // namespace

struct ClipboardReader::Worker {
    ClipboardReader* reader = nullptr;
    Limits limits;
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = XCB_NONE;
    xcb_atom_t clipboard = XCB_NONE;
    xcb_atom_t targets_atom = XCB_NONE;
    xcb_atom_t incr = XCB_NONE;
    uint8_t xfixes_event = 0;
    int wake[2] = {-1, -1};
    std::atomic<bool> stop{false};

    // The capture under way.
    bool capturing = false;
    bool owner_lost = false; // we took the clipboard during this capture
    ClipboardCapture capture;
    QStringList offered;                           // the targets the owner listed
    QVector<capture_rules::Received> received;     // the complete transfers so far
    std::vector<std::shared_ptr<Payload>> to_file; // large payloads of the capture just delivered
    QStringList pending;                           // wanted targets still to transfer; the first is being transferred
    xcb_atom_t pending_atom = XCB_NONE;
    bool asked_for_targets = false;
    bool incremental = false;
    QByteArray buffer;
    xcb_timestamp_t time = XCB_CURRENT_TIME;
    xcb_atom_t property = XCB_NONE;
    Clock::time_point started;
    Clock::time_point progressed;
    unsigned serial = 0;

    ~Worker()
    {
        if (connection)
            xcb_disconnect(connection);
        for (const int fd : wake)
            if (fd >= 0)
                ::close(fd);
    }

    bool open()
    {
        connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection))
            return false;
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_xfixes_id);
        if (!extension || !extension->present)
            return false;
        xfixes_event = extension->first_event;
        Reply<xcb_xfixes_query_version_reply_t> version(
            xcb_xfixes_query_version_reply(connection, xcb_xfixes_query_version(connection, 5, 0), nullptr),
            &std::free);
        if (!version)
            return false;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        window = xcb_generate_id(connection);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        clipboard = intern(connection, "CLIPBOARD");
        targets_atom = intern(connection, "TARGETS");
        incr = intern(connection, "INCR");
        xcb_xfixes_select_selection_input(connection, window, clipboard,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        xcb_flush(connection);
        return ::pipe(wake) == 0;
    }

    void run()
    {
        const int fd = xcb_get_file_descriptor(connection);
        while (!stop) {
            int timeout = -1;
            if (capturing) {
                const auto now = Clock::now();
                const auto quiet_end = progressed + std::chrono::milliseconds(limits.quiet_ms);
                const auto total_end = started + std::chrono::milliseconds(limits.total_ms);
                const auto end = std::min(quiet_end, total_end);
                if (now >= end) {
                    finish(Ending::deadline);
                    continue;
                }
                timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(end - now).count());
            }
            pollfd fds[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
            ::poll(fds, 2, timeout);
            if (xcb_connection_has_error(connection)) {
                qDebug() << "The clipboard reader lost its X connection";
                return;
            }
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
                handle(event);
                std::free(event);
            }
            xcb_flush(connection);
        }
    }

    void handle(const xcb_generic_event_t* event)
    {
        const uint8_t type = event->response_type & 0x7f;
        if (type == xfixes_event + XCB_XFIXES_SELECTION_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
            owner_changed(notify->owner, notify->selection_timestamp);
        } else if (type == XCB_SELECTION_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
            // Some owners answer with CurrentTime rather than the request's time; the property tells a late answer
            // to the capture before (which had a property of its own) from the answer to this one.
            if (capturing && notify->requestor == window && notify->selection == clipboard &&
                notify->target == pending_atom && (notify->time == time || notify->time == XCB_CURRENT_TIME) &&
                (notify->property == property || notify->property == XCB_NONE))
                answered(notify->property);
        } else if (type == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (capturing && incremental && notify->window == window && notify->atom == property &&
                notify->state == XCB_PROPERTY_NEW_VALUE)
                chunk_arrived();
        }
    }

    void owner_changed(xcb_window_t owner, xcb_timestamp_t when)
    {
        // Our own write during a copy (a paste right after Ctrl+C): the owner goes on with the transfer under way,
        // which is kept; no further target is asked for, as requests would now come to us.
        if (capturing && owner != XCB_NONE && reader->is_own(owner)) {
            owner_lost = true;
            reader->deliver_own_change();
            return;
        }
        // Requests go to the current owner: the capture of the one before ends with what it has.
        if (capturing)
            finish(owner == XCB_NONE ? Ending::owner_gone : Ending::newer_owner);
        if (owner == XCB_NONE)
            return;
        if (reader->is_own(owner)) {
            reader->deliver_own_change();
            return;
        }
        capturing = true;
        capture = ClipboardCapture{};
        capture.owner = owner;
        capture.noticed = Clock::now();
        owner_lost = false;
        offered.clear();
        received.clear();
        pending.clear();
        started = progressed = Clock::now();
        time = when;
        use_fresh_property();
        asked_for_targets = true;
        request(targets_atom);
    }

    // A property of each capture's own, so that a late answer to an abandoned request lands elsewhere.
    void use_fresh_property()
    {
        const QByteArray name = "STACKPASTE_CAPTURE_" + QByteArray::number(++serial % 64);
        property = intern(connection, name.constData());
    }

    void request(xcb_atom_t target)
    {
        pending_atom = target;
        incremental = false;
        buffer.clear();
        xcb_delete_property(connection, window, property);
        xcb_convert_selection(connection, window, clipboard, target, property, time);
    }

    // The whole value of the property, deleted as it is read (which asks an incremental sender for the next chunk).
    Reply<xcb_get_property_reply_t> take_property()
    {
        return Reply<xcb_get_property_reply_t>(
            xcb_get_property_reply(
                connection,
                xcb_get_property(connection, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
                nullptr),
            &std::free);
    }

    void answered(xcb_atom_t answer_property)
    {
        progressed = Clock::now();
        if (answer_property == XCB_NONE) { // refused
            if (asked_for_targets) {
                finish(Ending::complete);
                return;
            }
            capture.abandoned.append(pending.takeFirst());
            next();
            return;
        }
        Reply<xcb_get_property_reply_t> value = take_property();
        if (!value) {
            next_after_failure();
            return;
        }
        if (value->type == incr) {
            incremental = true; // the chunks follow, one per deletion of the property
            // The announced size is a lower bound: room for it at once saves copying a growing buffer.
            if (xcb_get_property_value_length(value.get()) >= 4) {
                const quint32 announced = *static_cast<const quint32*>(xcb_get_property_value(value.get()));
                buffer.reserve(static_cast<int>(std::min<qint64>(announced, limits.max_bytes)));
            }
            return;
        }
        const auto* bytes = static_cast<const char*>(xcb_get_property_value(value.get()));
        buffer = QByteArray(bytes, xcb_get_property_value_length(value.get()));
        complete();
    }

    void chunk_arrived()
    {
        progressed = Clock::now();
        Reply<xcb_get_property_reply_t> value = take_property();
        if (!value) {
            next_after_failure();
            return;
        }
        const int length = xcb_get_property_value_length(value.get());
        if (length == 0) { // the end of an incremental transfer
            // An owner that announced far more than it sent must not leave its room reserved with a small item
            // (a large one moves to a file and lets go of its buffer anyway).
            if (buffer.size() < Payload::k_file_threshold && buffer.capacity() - buffer.size() > 64 * 1024)
                buffer = QByteArray(buffer.constData(), buffer.size());
            complete();
            return;
        }
        if (buffer.size() + qint64(length) > limits.max_bytes) {
            // A byte array holds at most 2 GiB: a larger format would end the program, not the capture.
            qDebug().noquote() << "A copied format is larger than" << limits.max_bytes / (1024 * 1024)
                               << "MiB and is left out:" << pending.first();
            capture.abandoned.append(pending.takeFirst());
            // The sender may go on writing chunks into the property: the next request uses another one.
            use_fresh_property();
            next();
            return;
        }
        buffer.append(static_cast<const char*>(xcb_get_property_value(value.get())), length);
    }

    void complete()
    {
        if (asked_for_targets) {
            asked_for_targets = false;
            offered = atom_names(buffer);
            pending = capture_rules::wanted_targets(offered);
            buffer.clear();
            next();
            return;
        }
        received.append(capture_rules::Received{pending.takeFirst(), std::move(buffer)});
        buffer = QByteArray();
        next();
    }

    void next_after_failure()
    {
        if (asked_for_targets) {
            finish(Ending::complete);
            return;
        }
        capture.abandoned.append(pending.takeFirst());
        next();
    }

    void next()
    {
        if (owner_lost && !pending.isEmpty()) {
            qDebug().noquote() << QStringLiteral("Formats left out (we took the clipboard during the copy): %1")
                                      .arg(pending.join(QStringLiteral(", ")));
            capture.abandoned.append(pending);
            pending.clear();
        }
        if (pending.isEmpty()) {
            finish(Ending::complete);
            return;
        }
        const QByteArray name = pending.first().toUtf8();
        request(intern(connection, name.constData()));
    }

    QStringList atom_names(const QByteArray& list)
    {
        const int count = list.size() / static_cast<int>(sizeof(xcb_atom_t));
        const auto* atoms = reinterpret_cast<const xcb_atom_t*>(list.constData());
        // All the questions first, then the answers: one round trip for a thousand targets.
        QVector<xcb_get_atom_name_cookie_t> cookies;
        cookies.reserve(count);
        for (int i = 0; i < count; ++i)
            cookies.append(xcb_get_atom_name(connection, atoms[i]));
        QStringList names;
        for (const xcb_get_atom_name_cookie_t cookie : cookies) {
            Reply<xcb_get_atom_name_reply_t> name(xcb_get_atom_name_reply(connection, cookie, nullptr), &std::free);
            if (name)
                names.append(
                    QString::fromLatin1(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get())));
        }
        return names;
    }

    enum class Ending { complete, deadline, newer_owner, owner_gone };

    void finish(Ending ending)
    {
        if (ending != Ending::complete) {
            const char* why = ending == Ending::deadline     ? "the clipboard's owner did not send them in time"
                              : ending == Ending::owner_gone ? "the clipboard's owner went away during the copy"
                                                             : "the clipboard changed hands during the copy";
            if (asked_for_targets)
                qDebug().noquote()
                    << QStringLiteral("No formats were listed (%1): nothing recorded").arg(QLatin1String(why));
            capture.abandoned.append(pending);
            if (!capture.abandoned.isEmpty())
                qDebug().noquote() << QStringLiteral("Formats left out (%1): %2")
                                          .arg(QLatin1String(why), capture.abandoned.join(QStringLiteral(", ")));
        }
        capturing = false;
        asked_for_targets = false;
        incremental = false;
        pending.clear();
        buffer = QByteArray();
        file_formats();
        reader->deliver(std::move(capture));
        capture = ClipboardCapture{};
        // The item is recorded already; its large payloads go to their files now, while it is in use.
        for (const std::shared_ptr<Payload>& payload : to_file)
            payload->move_to_file(reader->m_storage_folder);
        to_file.clear();
    }

    // Names the received targets as Qt would, reads the image's header and keeps the large payloads in files.
    void file_formats()
    {
        std::vector<std::shared_ptr<Payload>> large;
        capture_rules::gather(capture_rules::formats_of(received, offered), capture, large);
        received.clear();
        offered.clear();
        if (!reader->m_storage_folder.isEmpty())
            to_file = std::move(large);
    }
};

ClipboardReader::ClipboardReader(Limits limits) : QObject(nullptr), m_limits(limits)
{
    qRegisterMetaType<ClipboardCapture>();
}

ClipboardReader::~ClipboardReader()
{
    if (m_thread.joinable()) {
        m_worker->stop = true;
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(m_worker->wake[1], &byte, 1);
        m_thread.join();
    }
}

bool ClipboardReader::start()
{
    auto worker = std::make_unique<Worker>();
    worker->reader = this;
    worker->limits = m_limits;
    if (!worker->open()) {
        qDebug() << "The clipboard reader needs an X server with XFixes; clipboard changes are read the slow way";
        return false;
    }
    if (QX11Info::isPlatformX11()) {
        const xcb_setup_t* setup = xcb_get_setup(QX11Info::connection());
        m_own_client_base = setup->resource_id_base;
        m_own_client_mask = setup->resource_id_mask;
    }
    m_worker = std::move(worker);
    m_thread = std::thread([worker = m_worker.get()] { worker->run(); });
    return true;
}

bool ClipboardReader::is_own(quint32 owner) const
{
    if (owner == m_own_window)
        return true;
    return m_own_client_mask != 0 && (owner & ~m_own_client_mask) == m_own_client_base;
}

void ClipboardReader::deliver(ClipboardCapture capture)
{
    QMetaObject::invokeMethod(
        this, [this, capture = std::move(capture)] { Q_EMIT captured(capture); }, Qt::QueuedConnection);
}

void ClipboardReader::deliver_own_change()
{
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT own_change(); }, Qt::QueuedConnection);
}
