// SPDX-License-Identifier: GPL-3.0-or-later
// A keyboard that tests type on, in a Wayland session: reads one command a line from standard input and answers each
// with "ok <monotonic ms>" once the compositor has the keys (or "error <why>").
//
//   wayland-keys [--remote-desktop]
//
// Commands: a key with modifiers ("ctrl+v", "shift+Tab", "Return": ctrl, shift, alt, super and a key's XKB name),
// "type <text>" (letters, digits and the US layout's punctuation), "key <evdev code>".
//
// By default it is a virtual keyboard of the seat (zwp_virtual_keyboard_manager_v1, wlroots compositors). Its keymap
// is the standard one (evdev rules, pc105, us) and is uploaded once: GTK 3 matches shortcuts against the first keymap
// it saw, so a tool that uploads a keymap of its own per run (in which v sits elsewhere) never triggers its Ctrl+V.
// With --remote-desktop the keys go through mutter's org.gnome.Mutter.RemoteDesktop session on the session bus.
#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

double monotonic_ms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

enum Modifier : unsigned { k_shift = 1, k_ctrl = 2, k_alt = 4, k_super = 8 };

// One key to press: its evdev code and the modifiers held meanwhile.
struct Stroke {
    uint32_t code = 0;
    unsigned modifiers = 0;
};

// The standard US keymap, and where its keys' symbols lie.
class Keymap {
public:
    bool load()
    {
        m_context.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
        const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
        if (m_context)
            m_keymap.reset(xkb_keymap_new_from_names(m_context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
        return m_keymap != nullptr;
    }

    std::string text() const
    {
        std::unique_ptr<char, decltype(&std::free)> text(
            xkb_keymap_get_as_string(m_keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1), &std::free);
        return text ? std::string(text.get()) : std::string();
    }

    // The mask of the modifiers in the keymap's own numbering.
    uint32_t mask(unsigned modifiers) const
    {
        uint32_t mask = 0;
        const std::pair<unsigned, const char*> names[] = {
            {k_shift, XKB_MOD_NAME_SHIFT}, {k_ctrl, XKB_MOD_NAME_CTRL}, {k_alt, XKB_MOD_NAME_ALT}, {k_super, "Mod4"}};
        for (const auto& [bit, name] : names) {
            const xkb_mod_index_t index = xkb_keymap_mod_get_index(m_keymap.get(), name);
            if ((modifiers & bit) && index != XKB_MOD_INVALID)
                mask |= 1u << index;
        }
        return mask;
    }

    // The key that gives `symbol` on the first layout, with Shift when it lies on the second level.
    std::optional<Stroke> find(xkb_keysym_t symbol) const
    {
        for (xkb_keycode_t code = xkb_keymap_min_keycode(m_keymap.get());
             code <= xkb_keymap_max_keycode(m_keymap.get()); ++code) {
            for (xkb_level_index_t level = 0; level < 2; ++level) {
                const xkb_keysym_t* symbols = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(m_keymap.get(), code, 0, level, &symbols);
                if (count == 1 && symbols[0] == symbol)
                    return Stroke{code - 8, level == 1 ? unsigned(k_shift) : 0u}; // XKB codes are evdev codes + 8
            }
        }
        return std::nullopt;
    }

private:
    struct ContextUnref {
        void operator()(xkb_context* context) const { xkb_context_unref(context); }
    };
    struct KeymapUnref {
        void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
    };
    std::unique_ptr<xkb_context, ContextUnref> m_context;
    std::unique_ptr<xkb_keymap, KeymapUnref> m_keymap;
};

// The keys of one command line, or an error text.
struct Parsed {
    std::vector<Stroke> strokes;
    std::string error;
};

Parsed parse(const Keymap& keymap, const std::string& line)
{
    Parsed parsed;
    if (line.rfind("type ", 0) == 0) {
        for (const char c : line.substr(5)) {
            const auto stroke = keymap.find(xkb_utf32_to_keysym(static_cast<unsigned char>(c)));
            if (!stroke) {
                parsed.error = std::string("no key types '") + c + "'";
                return parsed;
            }
            parsed.strokes.push_back(*stroke);
        }
        return parsed;
    }
    if (line.rfind("key ", 0) == 0) {
        char* end = nullptr;
        const unsigned long code = std::strtoul(line.c_str() + 4, &end, 10);
        if (end == line.c_str() + 4 || *end != '\0' || code == 0 || code > KEY_MAX)
            parsed.error = "not an evdev key code: " + line.substr(4);
        else
            parsed.strokes.push_back(Stroke{static_cast<uint32_t>(code), 0});
        return parsed;
    }
    unsigned modifiers = 0;
    std::string rest = line;
    for (std::size_t plus; (plus = rest.find('+')) != std::string::npos && plus + 1 < rest.size();) {
        const std::string name = rest.substr(0, plus);
        rest = rest.substr(plus + 1);
        if (name == "ctrl" || name == "control")
            modifiers |= k_ctrl;
        else if (name == "shift")
            modifiers |= k_shift;
        else if (name == "alt")
            modifiers |= k_alt;
        else if (name == "super")
            modifiers |= k_super;
        else {
            parsed.error = "unknown modifier " + name;
            return parsed;
        }
    }
    xkb_keysym_t symbol = xkb_keysym_from_name(rest.c_str(), XKB_KEYSYM_NO_FLAGS);
    if (symbol == XKB_KEY_NoSymbol)
        symbol = xkb_keysym_from_name(rest.c_str(), XKB_KEYSYM_CASE_INSENSITIVE);
    const auto stroke = symbol == XKB_KEY_NoSymbol ? std::nullopt : keymap.find(symbol);
    if (!stroke) {
        parsed.error = "no key named " + rest;
        return parsed;
    }
    parsed.strokes.push_back(Stroke{stroke->code, stroke->modifiers | modifiers});
    return parsed;
}

// Where the keys go.
class Sender {
public:
    virtual ~Sender() = default;
    virtual bool press(const Stroke& stroke, std::string& error) = 0;
};

// A virtual keyboard of the seat. The modifiers travel in the modifiers request, the way a real keyboard's state
// reaches clients.
class VirtualKeyboard : public Sender {
public:
    ~VirtualKeyboard() override
    {
        if (m_keyboard)
            zwp_virtual_keyboard_v1_destroy(m_keyboard);
        if (m_manager)
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(m_manager));
        if (m_seat)
            wl_seat_destroy(m_seat);
        if (m_registry)
            wl_registry_destroy(m_registry);
        if (m_display)
            wl_display_disconnect(m_display);
    }

    bool open(const Keymap& keymap, std::string& error)
    {
        m_keymap = &keymap;
        m_display = wl_display_connect(nullptr);
        if (!m_display) {
            error = "cannot connect to the Wayland display";
            return false;
        }
        m_registry = wl_display_get_registry(m_display);
        static const wl_registry_listener listener{&VirtualKeyboard::global, [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(m_registry, &listener, this);
        wl_display_roundtrip(m_display);
        if (!m_seat || !m_manager) {
            error = "the compositor offers no virtual keyboard (zwp_virtual_keyboard_manager_v1) or no seat";
            return false;
        }
        m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(m_manager, m_seat);
        const std::string text = keymap.text();
        const int fd = memfd_create("keymap", MFD_CLOEXEC);
        if (fd < 0 || write(fd, text.c_str(), text.size() + 1) != static_cast<ssize_t>(text.size() + 1)) {
            error = "cannot write the keymap";
            if (fd >= 0)
                close(fd);
            return false;
        }
        zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       static_cast<uint32_t>(text.size() + 1));
        close(fd);
        if (wl_display_roundtrip(m_display) < 0) {
            error = "the compositor refused the virtual keyboard";
            return false;
        }
        return true;
    }

    bool press(const Stroke& stroke, std::string& error) override
    {
        const uint32_t time = static_cast<uint32_t>(monotonic_ms());
        zwp_virtual_keyboard_v1_modifiers(m_keyboard, m_keymap->mask(stroke.modifiers), 0, 0, 0);
        zwp_virtual_keyboard_v1_key(m_keyboard, time, stroke.code, WL_KEYBOARD_KEY_STATE_PRESSED);
        zwp_virtual_keyboard_v1_key(m_keyboard, time + 1, stroke.code, WL_KEYBOARD_KEY_STATE_RELEASED);
        zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, 0);
        if (wl_display_roundtrip(m_display) < 0) {
            error = "the Wayland connection broke";
            return false;
        }
        return true;
    }

private:
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
    {
        auto* self = static_cast<VirtualKeyboard*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat)
            self->m_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
            self->m_manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }

    const Keymap* m_keymap = nullptr;
    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    zwp_virtual_keyboard_manager_v1* m_manager = nullptr;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
};

// mutter's remote desktop session: keys as evdev codes, modifiers as keys of their own. The session lives as long
// as our bus connection.
class RemoteDesktop : public Sender {
public:
    ~RemoteDesktop() override
    {
        if (m_session)
            m_session->call(QStringLiteral("Stop"));
    }

    bool open(std::string& error)
    {
        QDBusInterface desktop(QStringLiteral("org.gnome.Mutter.RemoteDesktop"),
                               QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                               QStringLiteral("org.gnome.Mutter.RemoteDesktop"));
        const QDBusReply<QDBusObjectPath> path = desktop.call(QStringLiteral("CreateSession"));
        if (!path.isValid()) {
            error = "no remote desktop session: " + path.error().message().toStdString();
            return false;
        }
        m_session =
            std::make_unique<QDBusInterface>(QStringLiteral("org.gnome.Mutter.RemoteDesktop"), path.value().path(),
                                             QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session"));
        const QDBusMessage started = m_session->call(QStringLiteral("Start"));
        if (started.type() == QDBusMessage::ErrorMessage) {
            error = "the remote desktop session did not start: " + started.errorMessage().toStdString();
            return false;
        }
        // The first key after Start only creates the virtual device and is lost: a harmless Shift takes that place.
        return key(KEY_LEFTSHIFT, true, error) && key(KEY_LEFTSHIFT, false, error);
    }

    bool press(const Stroke& stroke, std::string& error) override
    {
        const std::pair<unsigned, uint32_t> keys[] = {
            {k_ctrl, KEY_LEFTCTRL}, {k_shift, KEY_LEFTSHIFT}, {k_alt, KEY_LEFTALT}, {k_super, KEY_LEFTMETA}};
        bool ok = true;
        for (const auto& [bit, code] : keys) {
            if (stroke.modifiers & bit)
                ok = ok && key(code, true, error);
        }
        ok = ok && key(stroke.code, true, error) && key(stroke.code, false, error);
        for (const auto& [bit, code] : keys) {
            if (stroke.modifiers & bit)
                ok = key(code, false, error) && ok;
        }
        return ok;
    }

private:
    bool key(uint32_t code, bool pressed, std::string& error)
    {
        const QDBusMessage reply = m_session->call(QStringLiteral("NotifyKeyboardKeycode"), code, pressed);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            error = "NotifyKeyboardKeycode: " + reply.errorMessage().toStdString();
            return false;
        }
        return true;
    }

    std::unique_ptr<QDBusInterface> m_session;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const bool remote_desktop = argc > 1 && std::strcmp(argv[1], "--remote-desktop") == 0;
    Keymap keymap;
    if (!keymap.load()) {
        std::fprintf(stderr, "wayland-keys: cannot build the US keymap\n");
        return 1;
    }
    std::string error;
    std::unique_ptr<Sender> sender;
    if (remote_desktop) {
        auto desktop = std::make_unique<RemoteDesktop>();
        if (desktop->open(error))
            sender = std::move(desktop);
    } else {
        auto keyboard = std::make_unique<VirtualKeyboard>();
        if (keyboard->open(keymap, error))
            sender = std::move(keyboard);
    }
    if (!sender) {
        std::fprintf(stderr, "wayland-keys: %s\n", error.c_str());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
        const Parsed parsed = parse(keymap, line);
        error = parsed.error;
        bool ok = error.empty();
        for (const Stroke& stroke : parsed.strokes)
            ok = ok && sender->press(stroke, error);
        if (ok)
            std::printf("ok %.3f\n", monotonic_ms());
        else
            std::printf("error %s\n", error.c_str());
        std::fflush(stdout);
    }
    return 0;
}
