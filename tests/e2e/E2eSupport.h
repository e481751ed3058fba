// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Drives the real program the way a user does, on the private X server of the test session: a portable copy of
// the executable in a temporary folder (its settings file lies beside it), xclip as a foreign clipboard owner,
// xdotool for real key presses.

#include "support/Desktop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace e2e {

using namespace desktop;

// A portable copy of the program with its own settings file.
class Stackpaste {
public:
    Stackpaste()
    {
        m_binary = m_dir.filePath(QStringLiteral("stackpaste"));
        QFile::copy(QStringLiteral(STACKPASTE_EXECUTABLE), m_binary);
        QFile::setPermissions(m_binary, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
    }
    // The program as installed at `executable`, run where it lies (its settings go to the user's folders).
    explicit Stackpaste(const QString& executable) : m_binary(executable)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
    }
    ~Stackpaste() { stop(); }

    QString folder() const { return m_dir.path(); }
    QString settings_path() const { return m_dir.filePath(QStringLiteral("Stackpaste_settings.ini")); }
    QString binary() const { return m_binary; }
    // The X display the program connects to (default: the test session's).
    void set_display(const QString& display)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        m_process.setProcessEnvironment(environment);
    }

    // Sets a variable of the program's environment, or removes it when value is null.
    void set_environment(const QString& name, const QString& value)
    {
        QProcessEnvironment environment = m_process.processEnvironment();
        if (environment.isEmpty())
            environment = QProcessEnvironment::systemEnvironment();
        if (value.isNull())
            environment.remove(name);
        else
            environment.insert(name, value);
        m_process.setProcessEnvironment(environment);
    }

    // Settings of a program that has started before (no first-start window), plus any extra lines.
    void write_settings(const QByteArray& extra = QByteArray())
    {
        QFile file(settings_path());
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write("[General]\nSaveVersion=2\nIsFirstStart=false\nStartAtStartup=false\n" + extra);
    }

    // Starts the program and waits until it has finished its construction (keyboard and clipboard connected).
    bool start(int timeout_ms = 15000)
    {
        m_output.clear();
        m_process.start(m_binary, QStringList());
        if (!m_process.waitForStarted(timeout_ms))
            return false;
        return wait_for_output("Temp dir is valid", timeout_ms);
    }

    bool wait_for_output(const QByteArray& text, int timeout_ms = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!m_output.contains(text)) {
            if (timer.elapsed() > timeout_ms || m_process.state() == QProcess::NotRunning) {
                m_output += m_process.readAll();
                return m_output.contains(text);
            }
            m_process.waitForReadyRead(50);
            m_output += m_process.readAll();
        }
        return true;
    }

    QByteArray output()
    {
        m_output += m_process.readAll();
        return m_output;
    }
    qint64 pid() const { return m_process.processId(); }
    QProcess& process() { return m_process; }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    QTemporaryDir m_dir;
    QString m_binary;
    QProcess m_process;
    QByteArray m_output;
};

inline int count(const QByteArray& haystack, const QByteArray& needle)
{
    return haystack.count(needle);
}

// Starts the program with `settings` and copies three texts with xclip ("one ", "two ", "three "), each captured.
inline bool start_with_three_copies(Stackpaste& app, const QByteArray& settings = {})
{
    app.write_settings(settings);
    if (!app.start())
        return false;
    for (const char* text : {"one ", "two ", "three "}) {
        const int before = count(app.output(), "END copy_to_stackpaste_clipboard()");
        copy_with_xclip(text);
        if (!QTest::qWaitFor([&] { return count(app.output(), "END copy_to_stackpaste_clipboard()") > before; }, 10000))
            return false;
    }
    return true;
}

// One key press (a paste); waits until the program has put `expected` on the clipboard and serves it.
inline void press(Stackpaste& app, const QString& keys, const QByteArray& expected)
{
    const int before = count(app.output(), "Done pasting");
    xdotool({"key", keys});
    QTRY_COMPARE_WITH_TIMEOUT(count(app.output(), "Done pasting"), before + 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(clipboard(), expected, 10000);
}

// A program of the desktop around ours (tray host, window manager), running for one test.
class Helper {
public:
    Helper(const QString& program, const QStringList& arguments)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(program, arguments);
        m_process.waitForStarted();
    }
    ~Helper()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
};

// The visible window of ours that `fits` describes, or 0.
inline qulonglong our_window(const std::function<bool(const QRect&)>& fits, int timeout_ms = 10000)
{
    qulonglong found = 0;
    [[maybe_unused]] const bool seen = QTest::qWaitFor(
        [&] {
            for (const qulonglong window : visible_windows_of(QStringLiteral("stackpaste"))) {
                if (fits(geometry(window)))
                    found = window;
            }
            return found != 0;
        },
        timeout_ms);
    return found;
}

// The floating counter.
inline qulonglong counter()
{
    return our_window([](const QRect& rect) { return rect.size() == QSize(50, 50); });
}

// A tray of 60 x 24 pixels in the top right corner of the screen.
inline std::unique_ptr<Helper> start_tray()
{
    auto tray = std::make_unique<Helper>(QStringLiteral("trayer"),
                                         QStringList{"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                                     "--width", "60", "--heighttype", "pixel", "--height", "24"});
    // The tray host owns the manager selection once its window is up.
    // Its window's instance name is "panel"; "trayer" is its class.
    if (!QTest::qWaitFor(
            [] {
                return !xdotool({"search", "--onlyvisible", "--class", "trayer"}, 3000).trimmed().isEmpty();
            },
            10000))
        qWarning() << "trayer did not show its window";
    return tray;
}

// Our icon in the tray.
inline qulonglong tray_icon()
{
    return our_window([](const QRect& rect) { return rect.width() < 50 && rect.height() < 50; });
}

// Clicks `button` (1 left, 2 middle, 3 right) `times` times in the middle of the window.
inline void click(qulonglong window, int button, int times = 1)
{
    const QRect rect = geometry(window);
    xdotool({"mousemove", QString::number(rect.center().x()), QString::number(rect.center().y())});
    xdotool({"click", "--repeat", QString::number(times), "--delay", "60", QString::number(button)});
}

} // namespace e2e
