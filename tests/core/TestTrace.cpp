// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Trace.h"

#include <QTest>

#include <cstdio>
#include <unistd.h>

// Captures what the process writes to standard output while fn runs.
template <typename Fn> static QByteArray capture_stdout(Fn fn)
{
    std::fflush(stdout);
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0)
        return {};
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(pipe_fds[1], STDOUT_FILENO);
    ::close(pipe_fds[1]);
    fn();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    QByteArray out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<int>(n));
    ::close(pipe_fds[0]);
    return out;
}

class TestTrace : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void located_line_names_the_repository_relative_file_and_line()
    {
        int line = 0;
        const QByteArray out = capture_stdout([&] {
            line = __LINE__ + 1;
            TRACE(QStringLiteral("START clipboard_data_changed()"));
        });
        const QByteArray expected =
            "file:///tests/core/TestTrace.cpp:" + QByteArray::number(line) + ": START clipboard_data_changed()\n";
        QCOMPARE(out, expected);
    }

    void plain_line_is_the_text_and_a_newline()
    {
        const QByteArray out = capture_stdout([] { trace::plain(QStringLiteral("App::paste_pressed()")); });
        QCOMPARE(out, QByteArray("App::paste_pressed()\n"));
    }

    void non_ascii_text_reaches_the_line_whole()
    {
        const QByteArray out = capture_stdout([] { trace::plain(QStringLiteral("caf\u00e9 \u2192 ok")); });
        QCOMPARE(QString::fromLocal8Bit(out), QStringLiteral("caf\u00e9 \u2192 ok\n"));
    }
};

QTEST_GUILESS_MAIN(TestTrace)
#include "TestTrace.moc"
