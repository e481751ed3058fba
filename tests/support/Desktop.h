// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The desktop around the program, on the private X server of the test session: xclip as a foreign clipboard owner
// and reader, xdotool for real key presses, a zenity entry as a third-party text field.

#include <QElapsedTimer>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTest>

namespace desktop {

// Runs a command to its end and returns its standard output (empty on failure or after timeout_ms). The event loop
// keeps running meanwhile: a key the command presses may be grabbed by our own main thread, which must answer it.
inline QByteArray run(const QString& program, const QStringList& arguments, int timeout_ms = 10000,
                      const QByteArray& input = QByteArray(), int* exit_code = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(timeout_ms))
        return {};
    if (!input.isNull())
        process.write(input);
    process.closeWriteChannel();
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeout_ms)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (exit_code)
        *exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

// The clipboard's content as another program reads it.
inline QByteArray clipboard(const QString& type = QStringLiteral("UTF8_STRING"))
{
    return run(QStringLiteral("xclip"), {"-selection", "clipboard", "-o", "-t", type}, 3000);
}

// xclip takes the clipboard and keeps serving it in the background, as a foreign program does.
inline void copy_with_xclip(const QByteArray& text, const QString& type = QStringLiteral("UTF8_STRING"))
{
    run(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", type, "-i"}, 5000, text);
}

inline QByteArray xdotool(const QStringList& arguments, int timeout_ms = 10000)
{
    return run(QStringLiteral("xdotool"), arguments, timeout_ms);
}

// The visible top-level window whose title is exactly `title`, or 0.
inline qulonglong visible_window(const QString& title)
{
    const QByteArray out = xdotool(
        {"search", "--onlyvisible", "--name", QStringLiteral("^%1$").arg(QRegularExpression::escape(title))}, 3000);
    return out.split('\n').first().trimmed().toULongLong();
}

// A window's place and size on the screen; empty when there is no such window.
inline QRect geometry(qulonglong window)
{
    QRect rect;
    for (const QByteArray& line :
         xdotool({"getwindowgeometry", "--shell", QString::number(window)}, 3000).split('\n')) {
        const int equals = line.indexOf('=');
        const QByteArray key = line.left(equals);
        const int value = line.mid(equals + 1).trimmed().toInt();
        if (key == "X")
            rect.moveLeft(value);
        else if (key == "Y")
            rect.moveTop(value);
        else if (key == "WIDTH")
            rect.setWidth(value);
        else if (key == "HEIGHT")
            rect.setHeight(value);
    }
    return rect;
}

// Where a window's content lies on the screen, from the server's own translation: under a window manager xdotool's
// geometry counts the title bar twice.
inline QRect client_area(qulonglong window)
{
    QRect rect;
    for (const QByteArray& line : run(QStringLiteral("xwininfo"), {"-id", QString::number(window)}, 3000).split('\n')) {
        const QByteArray value = line.mid(line.indexOf(':') + 1).trimmed();
        if (line.contains("Absolute upper-left X"))
            rect.moveLeft(value.toInt());
        else if (line.contains("Absolute upper-left Y"))
            rect.moveTop(value.toInt());
        else if (line.trimmed().startsWith("Width:"))
            rect.setWidth(value.toInt());
        else if (line.trimmed().startsWith("Height:"))
            rect.setHeight(value.toInt());
    }
    return rect;
}

// The visible windows whose X class name is `class_name` (the executable's name for a Qt program).
inline QList<qulonglong> visible_windows_of(const QString& class_name)
{
    QList<qulonglong> windows;
    for (const QByteArray& line : xdotool({"search", "--onlyvisible", "--classname", class_name}, 3000).split('\n')) {
        if (const qulonglong id = line.trimmed().toULongLong())
            windows << id;
    }
    return windows;
}

// The window that has the keyboard focus.
inline qulonglong focused_window()
{
    return xdotool({"getwindowfocus"}, 3000).trimmed().toULongLong();
}

// A zenity entry with the keyboard focus: what it prints when Return is pressed is the text it received.
class TextField {
public:
    ~TextField()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // Each field gets a title of its own, so a closing field's window is never mistaken for the new one.
    bool open()
    {
        static int opened = 0;
        const QString title = QStringLiteral("Target %1").arg(++opened);
        m_process.start(QStringLiteral("zenity"), {"--entry", "--title", title});
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 15000 && !(m_window = visible_window(title)))
            QTest::qWait(50);
        if (!m_window)
            return false;
        xdotool({"windowfocus", "--sync", QString::number(m_window)});
        return true;
    }
    qulonglong window() const { return m_window; }

    // Presses Return and returns the text the field held.
    QByteArray finish()
    {
        xdotool({"key", "--window", QString::number(m_window), "Return"});
        if (!QTest::qWaitFor([&] { return m_process.state() == QProcess::NotRunning; }, 10000))
            return QByteArray("(the field did not close)");
        return m_process.readAllStandardOutput().trimmed();
    }

private:
    QProcess m_process;
    qulonglong m_window = 0;
};

} // namespace desktop
