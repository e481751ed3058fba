// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Drives the real program the way a user does, on the private X server of the test session: a portable copy of
// the executable in a temporary folder (its settings file lies beside it), xclip as a foreign clipboard owner,
// xdotool for real key presses.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace e2e {

// Runs a command to its end and returns its standard output (empty on failure or after timeout_ms).
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
    if (!process.waitForFinished(timeout_ms)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (exit_code)
        *exit_code = process.exitCode();
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
    ~Stackpaste() { stop(); }

    QString folder() const { return m_dir.path(); }
    QString settings_path() const { return m_dir.filePath(QStringLiteral("Stackpaste_settings.ini")); }
    QString binary() const { return m_binary; }

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

} // namespace e2e
