// SPDX-License-Identifier: GPL-3.0-or-later
// The Wayland clipboard's two roads, inside a headless compositor with data-control:
//   scripts/wayland-session --sway <build>/benchmarks/bench_wayland_road [rounds]
// A peer program (a data-control client on a connection and a thread of its own) copies a short text, a 1 MB text
// and a 4K screenshot: timed from its taking the selection to the capture's signal on our main thread; wl-copy
// copies the short text and the screenshot too, timed from its start. A capture of fewer bytes than were copied is
// reported instead. Then the peer pastes what the clipboard offers: timed from its request to its last byte, and
// to the next item's offer reaching it (the main thread offers the next item on each served paste, as the program
// does). Prints p50 and p99.
#include "core/StoredMimeData.h"
#include "platform/wayland/WaylandClipboard.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <wayland-client.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double now_ms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

void print_row(const char* what, const std::vector<double>& values, size_t rounds)
{
    std::printf("%-44s p50 %8.2f ms  p99 %8.2f ms  (%zu of %zu)\n", what, percentile(values, 0.5),
                percentile(values, 0.99), values.size(), rounds);
    std::fflush(stdout);
}

QByteArray text_of_size(int size)
{
    QByteArray text;
    text.reserve(size);
    for (int line = 0; text.size() < size; ++line)
        text += "line " + QByteArray::number(line) + " of a long text copied from an editor, with some words\n";
    text.truncate(size);
    return text;
}

// A 3840x2160 screenshot-like PNG of a few MB: flat windows and a band of noise (photos, anti-aliased text).
QByteArray screenshot()
{
    QImage image(3840, 2160, QImage::Format_RGB32);
    image.fill(0xfff0f0f0);
    quint32 noise = 12345;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (y % 9 < 2 || (x > 400 && x < 1700 && y > 300 && y < 1200)) {
                noise = noise * 1103515245u + 12345u;
                image.setPixel(x, y, noise >> 8);
            } else if (x < 300) {
                image.setPixel(x, y, 0xff303848);
            }
        }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// Another program of the session: it copies (its own data-control source) and pastes (receives from the selection's
// offer), on its own connection. All of it runs on one thread.
class Peer {
public:
    ~Peer()
    {
        for (Source* s : m_sources)
            delete s;
        if (m_offer)
            zwlr_data_control_offer_v1_destroy(m_offer->offer);
        delete m_offer;
        forget_pending();
        if (m_device)
            zwlr_data_control_device_v1_destroy(m_device);
        if (m_manager)
            zwlr_data_control_manager_v1_destroy(m_manager);
        if (m_seat)
            wl_seat_destroy(m_seat);
        if (m_registry)
            wl_registry_destroy(m_registry);
        if (m_display)
            wl_display_disconnect(m_display);
    }

    bool connect()
    {
        m_display = wl_display_connect(nullptr);
        if (!m_display)
            return false;
        m_registry = wl_display_get_registry(m_display);
        static const wl_registry_listener registry_listener{
            [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
                auto* self = static_cast<Peer*>(data);
                if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat)
                    self->m_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
                else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
                    self->m_manager = static_cast<zwlr_data_control_manager_v1*>(wl_registry_bind(
                        registry, name, &zwlr_data_control_manager_v1_interface, std::min(version, 2u)));
            },
            [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(m_registry, &registry_listener, this);
        wl_display_roundtrip(m_display);
        if (!m_seat || !m_manager)
            return false;
        m_device = zwlr_data_control_manager_v1_get_data_device(m_manager, m_seat);
        static const zwlr_data_control_device_v1_listener device_listener{
            [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
                static_cast<Peer*>(data)->new_offer(offer);
            },
            [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
                static_cast<Peer*>(data)->selection(offer);
            },
            [](void*, zwlr_data_control_device_v1*) {},
            [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
                static_cast<Peer*>(data)->primary_selection(offer);
            }};
        zwlr_data_control_device_v1_add_listener(m_device, &device_listener, this);
        return wl_display_roundtrip(m_display) >= 0;
    }

    // Takes the selection with `bytes` as each of `types`; the time it was taken (the request sent).
    double copy(const QByteArray& bytes, const std::vector<std::string>& types)
    {
        auto* source = new Source{this, zwlr_data_control_manager_v1_create_data_source(m_manager), bytes};
        static const zwlr_data_control_source_v1_listener source_listener{
            [](void* data, zwlr_data_control_source_v1*, const char*, int32_t fd) {
                static_cast<Source*>(data)->serve(fd);
            },
            [](void* data, zwlr_data_control_source_v1*) { static_cast<Source*>(data)->cancelled = true; }};
        zwlr_data_control_source_v1_add_listener(source->source, &source_listener, source);
        for (const std::string& type : types)
            zwlr_data_control_source_v1_offer(source->source, type.c_str());
        zwlr_data_control_device_v1_set_selection(m_device, source->source);
        wl_display_flush(m_display);
        m_sources.push_back(source);
        return now_ms();
    }

    // Handles the compositor's events until done() or the deadline; false on the deadline or a lost connection.
    bool dispatch_until(const std::function<bool()>& done, int timeout_ms = 10000)
    {
        const double deadline = now_ms() + timeout_ms;
        while (!done()) {
            if (now_ms() > deadline)
                return false;
            while (wl_display_prepare_read(m_display) != 0)
                wl_display_dispatch_pending(m_display);
            wl_display_flush(m_display);
            pollfd fd{wl_display_get_fd(m_display), POLLIN, 0};
            if (poll(&fd, 1, 2) > 0) {
                if (wl_display_read_events(m_display) < 0)
                    return false;
            } else {
                wl_display_cancel_read(m_display);
            }
            if (wl_display_dispatch_pending(m_display) < 0)
                return false;
            forget_cancelled_sources();
        }
        return true;
    }

    // How many offers listing our clipboard's own type became the selection so far.
    int own_offers() const { return m_own_offers; }

    // Asks the selection's offer for `type` and reads every byte; the number of bytes, or -1.
    qint64 paste(const char* type)
    {
        if (!m_offer)
            return -1;
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return -1;
        zwlr_data_control_offer_v1_receive(m_offer->offer, type, fds[1]);
        wl_display_flush(m_display);
        close(fds[1]);
        qint64 total = 0;
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n > 0)
                total += n;
            else if (n == 0 || errno != EINTR)
                break;
        }
        close(fds[0]);
        return total;
    }

private:
    struct Offer {
        zwlr_data_control_offer_v1* offer;
        std::vector<std::string> types;
    };
    struct Source {
        Peer* peer;
        zwlr_data_control_source_v1* source;
        QByteArray bytes;
        bool cancelled = false;

        ~Source() { zwlr_data_control_source_v1_destroy(source); }
        void serve(int fd)
        {
            // The reader's pipe may come non-blocking: this owner writes it to the end, however full it gets.
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            const char* data = bytes.constData();
            qint64 left = bytes.size();
            while (left > 0) {
                const ssize_t n = write(fd, data, static_cast<size_t>(left));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                data += n;
                left -= n;
            }
            close(fd);
        }
    };

    void new_offer(zwlr_data_control_offer_v1* offer)
    {
        forget_pending(); // announced, never made a selection
        m_pending = new Offer{offer, {}};
        static const zwlr_data_control_offer_v1_listener offer_listener{
            [](void* data, zwlr_data_control_offer_v1*, const char* type) {
                static_cast<Offer*>(data)->types.emplace_back(type);
            }};
        zwlr_data_control_offer_v1_add_listener(offer, &offer_listener, m_pending);
    }

    void selection(zwlr_data_control_offer_v1* offer)
    {
        if (m_offer)
            zwlr_data_control_offer_v1_destroy(m_offer->offer);
        delete m_offer;
        m_offer = nullptr;
        if (offer && m_pending && m_pending->offer == offer) {
            m_offer = m_pending;
            m_pending = nullptr;
            const std::string marker = WaylandClipboard::k_own_marker;
            if (std::find(m_offer->types.begin(), m_offer->types.end(), marker) != m_offer->types.end())
                ++m_own_offers;
        }
    }

    void primary_selection(zwlr_data_control_offer_v1* offer)
    {
        if (offer && m_pending && m_pending->offer == offer)
            forget_pending();
    }

    void forget_pending()
    {
        if (m_pending)
            zwlr_data_control_offer_v1_destroy(m_pending->offer);
        delete m_pending;
        m_pending = nullptr;
    }

    void forget_cancelled_sources()
    {
        for (auto it = m_sources.begin(); it != m_sources.end();) {
            if ((*it)->cancelled) {
                delete *it;
                it = m_sources.erase(it);
            } else {
                ++it;
            }
        }
    }

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    zwlr_data_control_manager_v1* m_manager = nullptr;
    zwlr_data_control_device_v1* m_device = nullptr;
    Offer* m_pending = nullptr;
    Offer* m_offer = nullptr;
    std::vector<Source*> m_sources;
    int m_own_offers = 0;
};

struct Payloads {
    QByteArray short_text = "a short text";
    QByteArray long_text = text_of_size(1024 * 1024);
    QByteArray png = screenshot();
    QString short_text_file;
    QString png_file;
};

// Starts wl-copy with the file on its standard input; it serves from a process of its own, and the one started
// ends once that one has taken the clipboard.
bool wl_copy(const QString& file, const char* type)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, file.toLocal8Bit().constData(), O_RDONLY, 0);
    std::vector<char*> arguments{const_cast<char*>("wl-copy")};
    if (type) {
        arguments.push_back(const_cast<char*>("--type"));
        arguments.push_back(const_cast<char*>(type));
    }
    arguments.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, "wl-copy", &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return failed == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The capture times, written by the main thread: each one before the count is raised past it, never moved.
struct Captures {
    explicit Captures(size_t most) : times(most), sizes(most) {}
    std::vector<double> times;
    std::vector<qint64> sizes; // of the largest format

    std::atomic<int> count{0};
};

const std::vector<std::string> k_text_types{"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "TEXT", "STRING"};

// The peer's part of the run, on its thread: the copies, then the pastes. Ends the main thread's loop when done.
void run_peer(const Payloads& payloads, Captures& captures, int rounds, const std::function<void()>& offer_first,
              std::atomic<int>& offer_png)
{
    Peer peer;
    if (!peer.connect()) {
        std::printf("no data-control on this display: nothing measured\n");
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
        return;
    }
    struct Copy {
        const char* name;
        const QByteArray* bytes;
        std::vector<std::string> types;
        int rounds;
    };
    const int large_rounds = std::max(5, rounds / 3);
    // A capture of all the bytes counts; one of fewer is reported.
    const auto record = [&captures](const char* name, int index, qint64 size, double since,
                                    std::vector<double>& times) {
        const auto i = static_cast<size_t>(index);
        if (captures.sizes.at(i) == size)
            times.push_back(captures.times.at(i) - since);
        else
            std::printf("%s: %lld of %lld bytes captured\n", name, static_cast<long long>(captures.sizes.at(i)),
                        static_cast<long long>(size));
    };
    const std::vector<Copy> copies{
        {"copy to captured: short text", &payloads.short_text, k_text_types, rounds},
        {"copy to captured: 1 MB text", &payloads.long_text, k_text_types, large_rounds},
        {"copy to captured: 4K PNG", &payloads.png, {"image/png"}, large_rounds},
    };
    for (const Copy& c : copies) {
        std::vector<double> times;
        for (int round = 0; round < c.rounds; ++round) {
            const int before = captures.count.load();
            const double taken = peer.copy(*c.bytes, c.types);
            if (!peer.dispatch_until([&] { return captures.count.load() > before; }))
                continue;
            record(c.name, before, c.bytes->size(), taken, times);
            peer.dispatch_until([] { return false; }, 30); // settles between rounds
        }
        print_row(c.name, times, static_cast<size_t>(c.rounds));
    }
    // The same through wl-copy, as a user's copy comes: its start, its connection and its fork are in the time.
    const std::vector<std::pair<const char*, const QString*>> wl_copies{
        {"wl-copy started to captured: short text", &payloads.short_text_file},
        {"wl-copy started to captured: 4K PNG", &payloads.png_file}};
    for (const auto& [name, file] : wl_copies) {
        std::vector<double> times;
        for (int round = 0; round < large_rounds; ++round) {
            const int before = captures.count.load();
            const double started = now_ms();
            if (!wl_copy(*file, file == &payloads.png_file ? "image/png" : nullptr) ||
                !peer.dispatch_until([&] { return captures.count.load() > before; }))
                continue;
            record(name, before, file == &payloads.png_file ? payloads.png.size() : payloads.short_text.size(), started,
                   times);
            peer.dispatch_until([] { return false; }, 30);
        }
        print_row(name, times, static_cast<size_t>(large_rounds));
    }

    // Pastes of what we offer: the main thread puts the next item on the clipboard after each one.
    struct Paste {
        const char* name;
        const char* type;
        bool png;
        int rounds;
    };
    for (const Paste& p :
         {Paste{"text", "text/plain;charset=utf-8", false, rounds}, Paste{"4K PNG", "image/png", true, large_rounds}}) {
        offer_png.store(p.png ? 1 : 0);
        const int offers_before = peer.own_offers();
        offer_first();
        if (!peer.dispatch_until([&] { return peer.own_offers() > offers_before; })) {
            std::printf("paste %s: our first offer never reached the peer\n", p.name);
            continue;
        }
        std::vector<double> to_bytes, to_next;
        const qint64 expected = p.png ? payloads.png.size() : -1;
        for (int round = 0; round < p.rounds; ++round) {
            // Well after the offer, as a user's paste comes: the reads right after a change are a keeper's.
            peer.dispatch_until([] { return false; }, 80);
            const int offers = peer.own_offers();
            const double asked = now_ms();
            const qint64 got = peer.paste(p.type);
            const double received = now_ms();
            if (got <= 0 || (expected > 0 && got != expected)) {
                std::printf("paste %s: %lld bytes received\n", p.name, static_cast<long long>(got));
                continue;
            }
            to_bytes.push_back(received - asked);
            if (peer.dispatch_until([&] { return peer.own_offers() > offers; }))
                to_next.push_back(now_ms() - asked);
        }
        print_row((std::string("paste request to all bytes: ") + p.name).c_str(), to_bytes,
                  static_cast<size_t>(p.rounds));
        print_row((std::string("paste request to next item offered: ") + p.name).c_str(), to_next,
                  static_cast<size_t>(p.rounds));
    }
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN); // a reader that goes away early ends a write, not the run
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::printf("needs a Wayland compositor with data-control: scripts/wayland-session --sway %s\n", argv[0]);
        return 0;
    }
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
    QTemporaryDir storage;
    Payloads payloads;
    QTemporaryDir files;
    for (const auto& [path, bytes] :
         {std::pair{&payloads.short_text_file, &payloads.short_text}, std::pair{&payloads.png_file, &payloads.png}}) {
        *path = files.filePath(QString::number(bytes->size()));
        QFile file(*path);
        if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size())
            return 0;
    }
    std::printf("payloads: short text %d B, long text %d B, 4K PNG %d B\n", int(payloads.short_text.size()),
                int(payloads.long_text.size()), int(payloads.png.size()));

    WaylandClipboard clipboard(storage.path());
    if (!clipboard.start()) {
        std::printf("the Wayland clipboard did not start: nothing measured\n");
        return 0;
    }
    Captures captures(static_cast<size_t>(rounds) * 4 + 16);
    QObject::connect(&clipboard, &ClipboardSource::captured, [&captures](const ClipboardCapture& capture) {
        const auto n = static_cast<size_t>(captures.count.load());
        if (n < captures.times.size()) {
            captures.times[n] = now_ms();
            for (const ClipboardCapture::Format& format : capture.formats)
                captures.sizes[n] = std::max(captures.sizes[n], format.payload ? format.payload->size() : 0);
            ++captures.count;
        }
    });
    std::atomic<int> offer_png{0};
    const std::shared_ptr<const Payload> png = Payload::keep(payloads.png, storage.path());
    int item = 0;
    const auto offer_next = [&] {
        auto content = std::make_unique<StoredMimeData>();
        content->set_format(QStringLiteral("text/plain"), "item " + QByteArray::number(++item));
        if (offer_png.load()) {
            content->set_format(QStringLiteral("image/png"), png);
            content->set_image_format(QStringLiteral("image/png"), true);
        }
        clipboard.own(std::move(content));
    };
    QObject::connect(&clipboard, &ClipboardSource::served, offer_next);

    // The first offer of each paste series, asked for by the peer's thread.
    const std::function<void()> offer_first = [&] {
        QMetaObject::invokeMethod(&clipboard, offer_next, Qt::QueuedConnection);
    };
    std::thread peer(run_peer, std::cref(payloads), std::ref(captures), rounds, std::cref(offer_first),
                     std::ref(offer_png));
    const int status = app.exec();
    peer.join();
    return status;
}
