// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Drives the real program inside the private headless compositor of scripts/wayland-session, the way a user of a
// Wayland desktop does: native programs copy (wl-copy) and paste (a GTK 3 field on the Wayland platform), an X11
// program copies through XWayland (xclip), keys come from tests/tools/wayland-keys.

// The program and the tools, where the build puts them.
#define STACKPASTE_EXECUTABLE STACKPASTE_BINARY_DIR "/src/stackpaste"
#define WAYLAND_KEYS STACKPASTE_BINARY_DIR "/tests/tools/wayland-keys"
#define WAYLAND_OWNER STACKPASTE_BINARY_DIR "/tests/tools/wayland-owner"

#include "e2e/E2eSupport.h"

#include <QProcess>
#include <QTest>

namespace wayland {

using namespace e2e;

inline QString compositor()
{
    return qEnvironmentVariable("STACKPASTE_COMPOSITOR");
}
inline bool is_mutter()
{
    return compositor() == QLatin1String("mutter");
}

inline int recorded(Stackpaste& app)
{
    return count(app.output(), "END copy_to_stackpaste_clipboard()");
}
inline int pasted(Stackpaste& app)
{
    return count(app.output(), "Done pasting");
}

// Shows the program's output when the test function fails.
struct OutputOnFailure {
    Stackpaste& app;
    ~OutputOnFailure()
    {
        if (QTest::currentTestFailed())
            qWarning().noquote() << "The program's output:\n" << app.output();
    }
};

// The keyboard: a virtual keyboard of the seat, or mutter's remote desktop (which also gives mutter's seat the
// keyboard that wl-copy and wl-paste need to reach the clipboard there).
class Keys {
public:
    ~Keys()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    bool open()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(WAYLAND_KEYS),
                        is_mutter() ? QStringList{QStringLiteral("--remote-desktop")} : QStringList{});
        return next_line() == "ready";
    }

    // Presses one key ("ctrl+v", "Return") or types ("type abc"); true once the compositor has it.
    bool press(const QString& command)
    {
        m_process.write(command.toUtf8() + '\n');
        return next_line().startsWith("ok");
    }

private:
    QByteArray next_line()
    {
        if (!QTest::qWaitFor([&] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; },
                             10000))
            return {};
        return m_process.readLine().trimmed();
    }

    QProcess m_process;
};

// A zenity entry, native on Wayland or (x11) on XWayland: Return makes it print the text it holds.
class Field {
public:
    ~Field()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    bool open(bool x11 = false)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("GDK_BACKEND"), x11 ? QStringLiteral("x11") : QStringLiteral("wayland"));
        m_process.setProcessEnvironment(environment);
        static int opened = 0;
        const QString title = QStringLiteral("Field %1").arg(++opened);
        m_process.start(QStringLiteral("zenity"), {"--entry", "--title", title});
        if (!m_process.waitForStarted())
            return false;
        // An X11 window can be seen, and whether it has the focus; a native one is known ready by its first paste.
        return !x11 || QTest::qWaitFor(
                           [&] {
                               const qulonglong window = visible_window(title);
                               return window && focused_window() == window;
                           },
                           15000);
    }

    // Presses Return and returns what the field held.
    QByteArray finish(Keys& keys)
    {
        keys.press(QStringLiteral("Return"));
        if (!QTest::qWaitFor([&] { return m_process.state() == QProcess::NotRunning; }, 10000))
            return "(the field did not close)";
        return m_process.readAllStandardOutput().chopped(1); // its newline
    }

private:
    QProcess m_process;
};

// Ctrl+V in a field that may not have the focus yet: pressed again until the program has served a paste.
inline bool first_paste(Stackpaste& app, Keys& keys)
{
    const int before = pasted(app);
    for (int attempt = 0; attempt < 20; ++attempt) {
        keys.press(QStringLiteral("ctrl+v"));
        if (QTest::qWaitFor([&] { return pasted(app) > before; }, 750))
            return true;
    }
    return false;
}

// One more Ctrl+V, served by the program.
inline bool paste(Stackpaste& app, Keys& keys)
{
    const int before = pasted(app);
    return keys.press(QStringLiteral("ctrl+v")) && QTest::qWaitFor([&] { return pasted(app) > before; }, 10000);
}

// Runs `copy` and waits until the program has recorded what it copied.
template <typename Copy> bool recorded_after(Stackpaste& app, Copy copy)
{
    const int before = recorded(app);
    copy();
    return QTest::qWaitFor([&] { return recorded(app) > before; }, 20000);
}

// A native program copies, and the program records the copy and takes the clipboard over (wl-copy, which serves
// the bytes until another owner takes over, then ends).
inline bool copy_recorded(Stackpaste& app, const QByteArray& bytes, const QString& type = QString())
{
    QProcess copy;
    copy.setProcessChannelMode(QProcess::ForwardedChannels);
    copy.start(QStringLiteral("wl-copy"),
               QStringList{"--foreground"} + (type.isEmpty() ? QStringList{} : QStringList{"--type", type}));
    copy.write(bytes);
    copy.closeWriteChannel();
    const int before = recorded(app);
    const bool taken_over =
        QTest::qWaitFor([&] { return recorded(app) > before && copy.state() == QProcess::NotRunning; }, 20000);
    if (!taken_over) {
        copy.kill();
        copy.waitForFinished();
    }
    return taken_over;
}

// What a native program gets when it pastes `type` (a request to the owner, so a paste for the program).
inline QByteArray wl_paste(const QString& type)
{
    return run(QStringLiteral("wl-paste"), {"--no-newline", "--type", type}, 20000);
}

// The types the clipboard offers now (no request for data, so no paste).
inline QByteArray wl_types()
{
    return run(QStringLiteral("wl-paste"), {"--list-types"}, 5000);
}

} // namespace wayland
