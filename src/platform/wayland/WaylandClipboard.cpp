// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wayland/WaylandClipboard.h"

#include "core/CaptureRules.h"
#include "core/ServedRequests.h"
#include "core/StoredMimeData.h"

#include "platform/wayland/DataControl.h"

#include <QBuffer>
#include <QDebug>
#include <QImage>
#include <QPair>
#include <QVector>

#include <wayland-client.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A clipboard manager that takes the selection back sooner than this after our offer, with our own bytes, is
// re-offering what we offered (measured: a keeper does it within a few milliseconds).
constexpr std::chrono::milliseconds k_rival_window{1000};
// How many such re-offers in a row before the user is told.
constexpr int k_rival_reoffers_reported = 2;
// The compositor answers a round trip in well under a millisecond; one that does not answer in this time is hung.
constexpr int k_setup_timeout_ms = 2000;

// The content of one of our offers: each type with its bytes (shared with the history, read on the worker).
struct OwnContent {
    QVector<QPair<QString, std::shared_ptr<const Payload>>> formats;
    QImage picture; // a picture with no bytes of its own, encoded on the worker

    std::shared_ptr<const Payload> payload(const QString& type) const
    {
        for (const auto& format : formats)
            if (format.first == type)
                return format.second;
        return nullptr;
    }
};

QString errno_text()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

struct WaylandClipboard::Worker final : DataControlEvents {
    WaylandClipboard* owner = nullptr;
    Limits limits;
    QString storage_folder;

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    wl_proxy* manager = nullptr;
    wl_proxy* device = nullptr;
    DataControl control;
    uint32_t ext_name = 0;
    uint32_t wlr_name = 0;
    uint32_t wlr_version = 0;
    int wake[2] = {-1, -1};
    std::atomic<bool> stop{false};
    std::atomic<bool> lost{false};

    // Contents handed over by own(), not offered yet.
    std::mutex requests_mutex;
    std::vector<std::unique_ptr<OwnContent>> requests;
    // The newest content to offer, held while a copy is being read: offered now, it would take the clipboard from
    // the program whose copy we read, and the copy would end unfinished.
    std::unique_ptr<OwnContent> deferred;

    // Offers announced by the compositor and the types each lists.
    std::map<wl_proxy*, QStringList> offers;
    wl_proxy* current_offer = nullptr; // the selection, once settled
    wl_proxy* pending_offer = nullptr; // a selection announced in the events just read
    bool selection_changed = false;
    bool starting = true; // the selection found at start is no copy
    Clock::time_point selection_noticed;

    // Our sources that have not been replaced yet, and the one set last (null once it was replaced).
    struct Source {
        std::shared_ptr<const OwnContent> content;
        quint64 offer = 0; // ServedRequests' number
    };
    std::map<wl_proxy*, Source> sources;
    wl_proxy* latest_source = nullptr;
    bool own_is_current = false; // the settled selection is our own offer
    // Our latest source was cancelled after the selection of the events just read was announced: that selection is
    // our own offer, replaced at once by a program whose selection comes with the next events (no re-offer).
    bool own_cancelled_after_selection = false;
    std::shared_ptr<const OwnContent> last_own;
    Clock::time_point last_own_at;
    ServedRequests served;

    // Programs being served.
    struct Send {
        int fd = -1;
        QByteArray data;
        qint64 written = 0;
        QString type;
        quint64 offer = 0;
        Clock::time_point asked;
        Clock::time_point progressed;
    };
    std::vector<Send> sends;

    // The capture under way.
    struct Capture {
        bool active = false;
        wl_proxy* offer = nullptr;
        QStringList offered;
        QStringList pending; // wanted types still to receive; the first is being received
        QVector<capture_rules::Received> received;
        QStringList abandoned;
        int fd = -1;
        QByteArray buffer;
        Clock::time_point noticed;
        Clock::time_point started;
        Clock::time_point progressed;
        std::shared_ptr<const OwnContent> maybe_reoffer_of; // our offer it came right after
    };
    Capture capture;
    int reoffers_in_a_row = 0;
    bool rival_reported = false;

    enum class Ending { complete, deadline, newer_selection, connection_lost };

    ~Worker()
    {
        close_capture_pipe();
        for (const Send& send : sends)
            ::close(send.fd);
        if (display) {
            for (const auto& offer : offers)
                control.destroy_offer(offer.first);
            for (const auto& source : sources)
                control.destroy_source(source.first);
            if (device)
                control.destroy_device(device);
            if (manager)
                control.destroy_manager(manager);
            if (seat)
                wl_seat_destroy(seat);
            if (registry)
                wl_registry_destroy(registry);
            wl_display_disconnect(display);
        }
        for (const int fd : wake)
            if (fd >= 0)
                ::close(fd);
    }

    // ---- setting up (on the thread that calls start(), before the worker's thread exists)

    bool open(QString& why)
    {
        display = wl_display_connect(nullptr);
        if (!display) {
            why = QStringLiteral("cannot connect to the Wayland display %1 (%2)")
                      .arg(qEnvironmentVariable("WAYLAND_DISPLAY"), errno_text());
            return false;
        }
        registry = wl_display_get_registry(display);
        static const wl_registry_listener registry_listener{
            [](void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
                static_cast<Worker*>(data)->global(name, interface, version);
            },
            [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(registry, &registry_listener, this);
        if (!roundtrip()) {
            why = QStringLiteral("the compositor did not list its globals in time");
            return false;
        }
        if (!seat) {
            why = QStringLiteral("the compositor offers no seat");
            return false;
        }
        if (ext_name != 0) {
            control = DataControl::ext();
            manager = bind(ext_name);
        } else if (wlr_name != 0 && wlr_version >= 2) {
            control = DataControl::wlr();
            manager = bind(wlr_name);
        } else {
            why = wlr_name != 0 ? QStringLiteral("the compositor offers zwlr_data_control_manager_v1 version %1 only "
                                                 "(version 2 is needed)")
                                      .arg(wlr_version)
                                : QStringLiteral("the compositor offers no data-control protocol "
                                                 "(ext_data_control_manager_v1 or zwlr_data_control_manager_v1)");
            return false;
        }
        device = control.get_device(manager, seat);
        control.listen_device(device, this);
        // The selection found at start comes now: it is the state we start from, not a copy.
        if (!roundtrip()) {
            why = QStringLiteral("the compositor did not answer in time");
            return false;
        }
        settle_selection();
        starting = false;
        if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
            why = QStringLiteral("no pipe: %1").arg(errno_text());
            return false;
        }
        return true;
    }

    wl_proxy* bind(uint32_t name)
    {
        return static_cast<wl_proxy*>(wl_registry_bind(registry, name, control.manager_interface, control.version));
    }

    void global(uint32_t name, const char* interface, uint32_t version)
    {
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
            seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (std::strcmp(interface, DataControl::k_ext_manager) == 0)
            ext_name = name;
        else if (std::strcmp(interface, DataControl::k_wlr_manager) == 0) {
            wlr_name = name;
            wlr_version = version;
        }
    }

    // A round trip that gives up after a while: a hung compositor must not hold up the program's start.
    bool roundtrip()
    {
        bool done = false;
        wl_callback* callback = wl_display_sync(display);
        static const wl_callback_listener callback_listener{
            [](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }};
        wl_callback_add_listener(callback, &callback_listener, &done);
        const auto end = Clock::now() + std::chrono::milliseconds(k_setup_timeout_ms);
        while (!done) {
            if (wl_display_dispatch_pending(display) < 0)
                break;
            if (done || wl_display_prepare_read(display) != 0)
                continue;
            wl_display_flush(display);
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
            pollfd fd{wl_display_get_fd(display), POLLIN, 0};
            if (left <= 0 || ::poll(&fd, 1, static_cast<int>(left)) <= 0) {
                wl_display_cancel_read(display);
                break;
            }
            if (wl_display_read_events(display) < 0)
                break;
        }
        wl_callback_destroy(callback);
        return done;
    }

    // ---- the loop

    void run()
    {
        // A program that stops reading what we serve must cost a failed write (EPIPE), not the process.
        sigset_t broken_pipe;
        sigemptyset(&broken_pipe);
        sigaddset(&broken_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &broken_pipe, nullptr);

        const int display_fd = wl_display_get_fd(display);
        while (!stop) {
            if (wl_display_dispatch_pending(display) < 0) {
                connection_lost();
                return;
            }
            settle_selection();
            if (wl_display_prepare_read(display) != 0)
                continue;
            bool flushed = true;
            if (wl_display_flush(display) < 0) {
                if (errno != EAGAIN) {
                    wl_display_cancel_read(display);
                    connection_lost();
                    return;
                }
                flushed = false; // the socket is full: the rest goes when it can
            }

            std::vector<pollfd> fds;
            fds.push_back({display_fd, static_cast<short>(POLLIN | (flushed ? 0 : POLLOUT)), 0});
            fds.push_back({wake[0], POLLIN, 0});
            const int polled_capture_fd = capture.fd;
            if (polled_capture_fd >= 0)
                fds.push_back({polled_capture_fd, POLLIN, 0});
            for (const Send& send : sends)
                fds.push_back({send.fd, POLLOUT, 0});
            ::poll(fds.data(), fds.size(), poll_timeout());

            if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
                if (wl_display_read_events(display) < 0) {
                    connection_lost();
                    return;
                }
            } else {
                wl_display_cancel_read(display);
            }
            // The compositor's news first: a pipe that ended because its owner went away for a newer selection
            // must end that capture as replaced, not as complete.
            if (wl_display_dispatch_pending(display) < 0) {
                connection_lost();
                return;
            }
            settle_selection();
            if (fds[1].revents & POLLIN)
                take_requests();
            std::size_t next = 2;
            // The capture may have ended meanwhile: its pipe is closed then, or another one's.
            if (polled_capture_fd >= 0 && fds[next++].revents != 0 && capture.fd == polled_capture_fd)
                capture_readable();
            // Sends that arrived meanwhile have no poll entry yet; the next round takes them.
            for (; next < fds.size(); ++next) {
                const int fd = fds[next].fd;
                const auto send = std::find_if(sends.begin(), sends.end(), [fd](const Send& s) { return s.fd == fd; });
                if (fds[next].revents != 0 && send != sends.end())
                    write_some(*send);
            }
            check_deadlines();
        }
    }

    int poll_timeout() const
    {
        std::vector<Clock::time_point> ends;
        if (capture.active)
            ends.push_back(std::min(capture.progressed + std::chrono::milliseconds(limits.quiet_ms),
                                    capture.started + std::chrono::milliseconds(limits.total_ms)));
        for (const Send& send : sends)
            ends.push_back(send.progressed + std::chrono::milliseconds(limits.quiet_ms));
        if (ends.empty())
            return -1;
        const auto left = *std::min_element(ends.begin(), ends.end()) - Clock::now();
        return static_cast<int>(std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    }

    void check_deadlines()
    {
        const auto now = Clock::now();
        if (capture.active && (now >= capture.progressed + std::chrono::milliseconds(limits.quiet_ms) ||
                               now >= capture.started + std::chrono::milliseconds(limits.total_ms)))
            finish(Ending::deadline);
        for (auto it = sends.begin(); it != sends.end();) {
            if (now >= it->progressed + std::chrono::milliseconds(limits.quiet_ms)) {
                qDebug().noquote() << QStringLiteral("A program that asked for %1 took no bytes for %2 ms: given up")
                                          .arg(it->type)
                                          .arg(limits.quiet_ms);
                ::close(it->fd);
                it = sends.erase(it);
            } else {
                ++it;
            }
        }
    }

    void connection_lost()
    {
        qDebug().noquote() << QStringLiteral("The Wayland clipboard lost its connection to the compositor (%1)")
                                  .arg(QString::fromLocal8Bit(std::strerror(wl_display_get_error(display))));
        end_after_loss();
    }

    void end_after_loss()
    {
        if (capture.active)
            finish(Ending::connection_lost);
        for (const Send& send : sends)
            ::close(send.fd);
        sends.clear();
        lost = true;
        WaylandClipboard* target = owner;
        QMetaObject::invokeMethod(
            target, [target] { Q_EMIT target->connection_lost(); }, Qt::QueuedConnection);
    }

    // ---- events of the device and its offers

    void data_offer(wl_proxy* offer) override
    {
        offers[offer] = QStringList();
        control.listen_offer(offer, this);
    }

    void offer_type(wl_proxy* offer, const char* type) override
    {
        const auto it = offers.find(offer);
        if (it != offers.end())
            it->second.append(QString::fromUtf8(type));
    }

    void selection(wl_proxy* offer) override
    {
        // Two changes in the events of one read: the first is over before anyone could read it.
        if (selection_changed && pending_offer)
            destroy_offer(pending_offer);
        pending_offer = offer;
        selection_changed = true;
        selection_noticed = Clock::now();
    }

    void primary_selection(wl_proxy* offer) override
    {
        // The primary selection (text selected with the mouse) is no copy.
        if (offer)
            destroy_offer(offer);
    }

    void finished() override
    {
        qDebug() << "The compositor ended the clipboard device (its seat went away)";
        stop = true;
        end_after_loss();
    }

    void destroy_offer(wl_proxy* offer)
    {
        control.destroy_offer(offer);
        offers.erase(offer);
    }

    // Decides about the selection announced in the events just read, once all of them were read: whether our own
    // source was replaced is told by its cancelled event, which may come in the same read.
    void settle_selection()
    {
        if (!selection_changed)
            return;
        selection_changed = false;
        const bool cancelled_after = std::exchange(own_cancelled_after_selection, false);
        if (capture.active)
            finish(Ending::newer_selection);
        if (current_offer)
            destroy_offer(current_offer);
        current_offer = pending_offer;
        pending_offer = nullptr;
        const bool ours_before = own_is_current;
        own_is_current = false;
        if (starting)
            return;
        if (!current_offer) {
            qDebug() << "The clipboard was emptied: nothing recorded";
            return;
        }
        const QStringList types = offers[current_offer];
        if (types.contains(QLatin1String(k_own_marker))) {
            if (latest_source) {
                own_is_current = true;
                served.announced(selection_noticed);
                return;
            }
            // Our private type, but our source was replaced: another program copied our offer, every type of it;
            // unless the source was replaced after this selection was announced (the next selection tells by whom).
            if (!cancelled_after)
                reoffered();
            return;
        }
        if (types.isEmpty()) {
            qDebug() << "The clipboard's new owner offers no types: nothing recorded";
            return;
        }
        const bool right_after_ours = ours_before && selection_noticed - last_own_at < k_rival_window;
        start_capture(types, right_after_ours ? last_own : nullptr);
    }

    // ---- reading a copy

    void start_capture(const QStringList& types, std::shared_ptr<const OwnContent> maybe_reoffer_of)
    {
        capture = Capture{};
        capture.active = true;
        capture.offer = current_offer;
        capture.offered = types;
        capture.pending = capture_rules::wanted_targets(types);
        capture.noticed = selection_noticed;
        capture.started = capture.progressed = Clock::now();
        capture.maybe_reoffer_of = std::move(maybe_reoffer_of);
        receive_next();
    }

    void close_capture_pipe()
    {
        if (capture.fd >= 0)
            ::close(capture.fd);
        capture.fd = -1;
    }

    void receive_next()
    {
        close_capture_pipe();
        capture.buffer = QByteArray();
        if (capture.pending.isEmpty()) {
            finish(Ending::complete);
            return;
        }
        int pipe_fds[2];
        // Only our end does not block: the owner gets a write end that waits while the pipe is full, as most
        // programs expect (one that gives up at the first short write would hand us its first 64 KiB alone).
        if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
            qDebug().noquote() << QStringLiteral("No pipe to read the copy through: %1").arg(errno_text());
            finish(Ending::complete);
            return;
        }
        ::fcntl(pipe_fds[0], F_SETFL, ::fcntl(pipe_fds[0], F_GETFL) | O_NONBLOCK);
        const QByteArray type = capture.pending.first().toUtf8();
        // The request carries a duplicate of the write end: ours is closed at once, so the end of the owner's
        // writing is the end of the pipe.
        control.receive(capture.offer, type.constData(), pipe_fds[1]);
        ::close(pipe_fds[1]);
        capture.fd = pipe_fds[0];
        capture.progressed = Clock::now();
    }

    void capture_readable()
    {
        char chunk[64 * 1024];
        for (;;) {
            const ssize_t count = ::read(capture.fd, chunk, sizeof chunk);
            if (count > 0) {
                capture.progressed = Clock::now();
                if (capture.buffer.size() + qint64(count) > limits.max_bytes) {
                    qDebug().noquote() << "A copied format is larger than" << limits.max_bytes / (1024 * 1024)
                                       << "MiB and is left out:" << capture.pending.first();
                    capture.abandoned.append(capture.pending.takeFirst());
                    receive_next();
                    return;
                }
                capture.buffer.append(chunk, static_cast<int>(count));
            } else if (count == 0) {
                capture.received.append(capture_rules::Received{capture.pending.takeFirst(), capture.buffer});
                receive_next();
                return;
            } else if (errno == EINTR) {
                continue;
            } else if (errno == EAGAIN) {
                return;
            } else {
                qDebug().noquote()
                    << QStringLiteral("Reading %1 of a copy failed: %2").arg(capture.pending.first(), errno_text());
                capture.abandoned.append(capture.pending.takeFirst());
                receive_next();
                return;
            }
        }
    }

    void finish(Ending ending)
    {
        finish_capture(ending);
        // A newer selection is read next: what waits is offered once that copy is read too.
        if (deferred && (ending == Ending::complete || ending == Ending::deadline))
            offer(std::move(deferred));
    }

    void finish_capture(Ending ending)
    {
        close_capture_pipe();
        capture.active = false;
        if (ending != Ending::complete) {
            const char* why = ending == Ending::deadline          ? "the clipboard's owner did not send them in time"
                              : ending == Ending::newer_selection ? "the clipboard changed hands during the copy"
                                                                  : "the connection to the compositor was lost";
            capture.abandoned.append(capture.pending);
            if (!capture.abandoned.isEmpty())
                qDebug().noquote() << QStringLiteral("Formats left out (%1): %2")
                                          .arg(QLatin1String(why), capture.abandoned.join(QStringLiteral(", ")));
        }
        capture.pending.clear();
        if (capture.maybe_reoffer_of && holds_same_bytes(*capture.maybe_reoffer_of)) {
            reoffered();
            capture = Capture{};
            return;
        }
        if (std::all_of(capture.received.begin(), capture.received.end(),
                        [](const capture_rules::Received& r) { return r.data.isEmpty(); })) {
            qDebug() << (capture.received.isEmpty() ? "No format of the copy arrived: nothing recorded"
                                                    : "The clipboard's owner sent no bytes: nothing recorded");
            capture = Capture{};
            return;
        }
        ClipboardCapture result;
        result.abandoned = capture.abandoned;
        result.noticed = capture.noticed;
        std::vector<std::shared_ptr<Payload>> large;
        capture_rules::gather(capture_rules::formats_of(capture.received, capture.offered), result, large);
        capture = Capture{};
        if (result.formats.isEmpty()) {
            qDebug() << "No format of the copy arrived: nothing recorded";
            return;
        }
        reoffers_in_a_row = 0;
        WaylandClipboard* target = owner;
        QMetaObject::invokeMethod(
            target, [target, result] { Q_EMIT target->captured(result); }, Qt::QueuedConnection);
        // The item is recorded already; its large payloads go to their files now, while it is in use.
        if (!storage_folder.isEmpty())
            for (const std::shared_ptr<Payload>& payload : large)
                payload->move_to_file(storage_folder);
    }

    // Whether what arrived is what we offered: every type that both hold has the same bytes.
    bool holds_same_bytes(const OwnContent& ours) const
    {
        int same = 0;
        for (const capture_rules::Received& received : capture.received) {
            const std::shared_ptr<const Payload> payload = ours.payload(received.target);
            if (!payload)
                continue;
            if (payload->size() != received.data.size() || payload->bytes() != received.data)
                return false;
            ++same;
        }
        return same > 0;
    }

    // Another program took the selection back with what we offered: no copy; told once it keeps doing so.
    void reoffered()
    {
        ++reoffers_in_a_row;
        qDebug() << "Another program took the clipboard back with the item we offered: not recorded";
        if (reoffers_in_a_row < k_rival_reoffers_reported || rival_reported)
            return;
        rival_reported = true;
        const QString why =
            QStringLiteral("Another clipboard manager takes the clipboard back each time Stackpaste offers an item "
                           "(it re-offered the same content within %1 ms, %2 times in a row), so pastes cannot be "
                           "followed while it runs. Quit it or turn off its clipboard keeping.")
                .arg(k_rival_window.count())
                .arg(reoffers_in_a_row);
        WaylandClipboard* target = owner;
        QMetaObject::invokeMethod(
            target, [target, why] { Q_EMIT target->rival_noticed(why); }, Qt::QueuedConnection);
    }

    // ---- owning the selection

    void take_requests()
    {
        char drain[64];
        while (::read(wake[0], drain, sizeof drain) > 0) {
        }
        std::vector<std::unique_ptr<OwnContent>> taken;
        {
            std::lock_guard<std::mutex> lock(requests_mutex);
            taken.swap(requests);
        }
        // Only the newest content matters: the ones before would be replaced before anyone could read them.
        if (taken.empty())
            return;
        deferred = std::move(taken.back());
        if (!capture.active)
            offer(std::move(deferred));
    }

    void offer(std::unique_ptr<OwnContent> content)
    {
        complete_types(*content);
        if (content->formats.isEmpty()) {
            qDebug() << "Nothing to offer: the item has no format";
            return;
        }
        wl_proxy* source = control.create_source(manager);
        control.listen_source(source, this);
        for (const auto& format : content->formats)
            control.offer(source, format.first.toUtf8().constData());
        control.offer(source, k_own_marker);
        control.set_selection(device, source);
        Source record;
        record.content = std::move(content);
        record.offer = served.offered(Clock::now());
        last_own = record.content;
        last_own_at = Clock::now();
        sources[source] = std::move(record);
        latest_source = source;
    }

    // Adds the names other programs ask for the same bytes by, and the bytes of a picture that came without any.
    static void complete_types(OwnContent& content)
    {
        if (!content.picture.isNull() && !content.payload(QStringLiteral("image/png"))) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            if (content.picture.save(&buffer, "PNG"))
                content.formats.append({QStringLiteral("image/png"), Payload::keep(png)});
        }
        content.picture = QImage();
        std::shared_ptr<const Payload> text = content.payload(QStringLiteral("text/plain;charset=utf-8"));
        if (!text)
            text = content.payload(QStringLiteral("text/plain"));
        if (!text)
            return;
        for (const char* alias : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING", "TEXT"})
            if (!content.payload(QLatin1String(alias)))
                content.formats.append({QLatin1String(alias), text});
    }

    void send(wl_proxy* source, const char* type, int fd) override
    {
        const QString name = QString::fromUtf8(type);
        const auto it = sources.find(source);
        std::shared_ptr<const Payload> payload = it != sources.end() ? it->second.content->payload(name) : nullptr;
        if (!payload && name != QLatin1String(k_own_marker)) {
            qDebug().noquote() << QStringLiteral("A program asked for %1, which we do not offer").arg(name);
            ::close(fd);
            return;
        }
        Send job;
        job.fd = fd;
        job.type = name;
        job.offer = it != sources.end() ? it->second.offer : 0;
        job.asked = job.progressed = Clock::now();
        if (payload) {
            job.data = payload->bytes();
            if (job.data.isEmpty() && payload->size() > 0) {
                // Its file went away: the program gets nothing, which is no paste.
                qDebug().noquote() << QStringLiteral("The data of %1 could not be read: nothing sent").arg(name);
                ::close(fd);
                return;
            }
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        sends.push_back(std::move(job));
        // Most contents fit in the pipe: written now, the program has them before the next round.
        write_some(sends.back());
    }

    // Writes what the pipe takes; a completed send is closed and, when it is a paste, told.
    void write_some(Send& job)
    {
        while (job.written < job.data.size()) {
            const qint64 chunk = std::min<qint64>(job.data.size() - job.written, 64 * 1024);
            const ssize_t count = ::write(job.fd, job.data.constData() + job.written, static_cast<size_t>(chunk));
            if (count > 0) {
                job.written += count;
                job.progressed = Clock::now();
            } else if (count < 0 && errno == EINTR) {
                continue;
            } else if (count < 0 && errno == EAGAIN) {
                return;
            } else {
                if (errno == EPIPE) {
                    // The signal is held for this thread: take it, or it would stay pending.
                    sigset_t broken_pipe;
                    sigemptyset(&broken_pipe);
                    sigaddset(&broken_pipe, SIGPIPE);
                    const timespec now{0, 0};
                    sigtimedwait(&broken_pipe, nullptr, &now);
                }
                qDebug().noquote()
                    << QStringLiteral("A program stopped reading %1 before the end: %2").arg(job.type, errno_text());
                drop_send(job);
                return;
            }
        }
        const bool paste = job.type != QLatin1String(k_own_marker) && served.is_paste(job.offer, job.type, job.asked);
        drop_send(job);
        if (paste) {
            WaylandClipboard* target = owner;
            QMetaObject::invokeMethod(
                target, [target] { Q_EMIT target->served(); }, Qt::QueuedConnection);
        }
    }

    void drop_send(Send& job)
    {
        ::close(job.fd);
        const int fd = job.fd;
        sends.erase(std::remove_if(sends.begin(), sends.end(), [fd](const Send& s) { return s.fd == fd; }),
                    sends.end());
    }

    void cancelled(wl_proxy* source) override
    {
        // Replaced by another selection: the programs being served still get their bytes.
        control.destroy_source(source);
        sources.erase(source);
        if (latest_source == source) {
            latest_source = nullptr;
            own_cancelled_after_selection = selection_changed;
        }
    }
};

WaylandClipboard::WaylandClipboard(const QString& storage_folder, Limits limits)
    : m_storage_folder(storage_folder), m_limits(limits)
{
    qRegisterMetaType<ClipboardCapture>();
}

WaylandClipboard::WaylandClipboard(const QString& storage_folder) : WaylandClipboard(storage_folder, Limits()) {}

WaylandClipboard::~WaylandClipboard()
{
    if (m_thread.joinable()) {
        m_worker->stop = true;
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(m_worker->wake[1], &byte, 1);
        m_thread.join();
    }
}

bool WaylandClipboard::start()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_SOCKET")) {
        qDebug() << "No Wayland display (WAYLAND_DISPLAY is not set): the Wayland clipboard is not used";
        return false;
    }
    auto worker = std::make_unique<Worker>();
    worker->owner = this;
    worker->limits = m_limits;
    worker->storage_folder = m_storage_folder;
    QString why;
    if (!worker->open(why)) {
        qDebug().noquote() << QStringLiteral("The Wayland clipboard is not used: %1").arg(why);
        return false;
    }
    m_road = QStringLiteral("through the %1 protocol, version %2")
                 .arg(QLatin1String(worker->control.manager_name))
                 .arg(worker->control.version);
    m_worker = std::move(worker);
    m_thread = std::thread([worker = m_worker.get()] { worker->run(); });
    return true;
}

void WaylandClipboard::own(std::unique_ptr<QMimeData> content)
{
    if (!content)
        return;
    if (!m_worker || m_worker->lost) {
        qDebug() << "The Wayland clipboard is not connected: the item is not offered";
        return;
    }
    // Only the payloads' handles are taken here: their bytes are read on the worker, when a program asks.
    auto own = std::make_unique<OwnContent>();
    if (const auto* stored = dynamic_cast<const StoredMimeData*>(content.get())) {
        for (const QString& format : stored->stored_formats())
            own->formats.append({format, stored->payload(format)});
        if (stored->image_format().isEmpty() && stored->holds_image())
            own->picture = stored->decode_image();
        m_offered_snapshots = stored->file_snapshots();
    } else {
        m_offered_snapshots.reset();
        for (const QString& format : content->formats())
            if (!format.startsWith(QLatin1String("application/x-qt-image")))
                own->formats.append({format, Payload::keep(content->data(format))});
        if (content->hasImage())
            own->picture = qvariant_cast<QImage>(content->imageData());
    }
    {
        std::lock_guard<std::mutex> lock(m_worker->requests_mutex);
        m_worker->requests.push_back(std::move(own));
    }
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(m_worker->wake[1], &byte, 1);
}
