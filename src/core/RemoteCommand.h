// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The commands that `stackpaste COMMAND [ARGS]` sends to the running copy, and the wire format between the two.
//
// A request is a header line "STACKPASTE <version> <command>[ <argument>]\n". Version 1 knows "show" alone; version
// 2 knows every command below. A push carries its text after the header in chunks, each "<length in hex>\n" and
// that many bytes, ended by the chunk "0\n", so the client can stream its standard input without knowing its size.
// The answer of version 2 is "OK <exit status> <stdout bytes> <stderr bytes>\n" followed by those bytes, or
// "ERROR <why>\n"; version 1 is answered "OK\n". Pure: no sockets, no application objects.
namespace remote {

inline constexpr int k_version = 2;
// The longest header line; the commands and their arguments are short words.
inline constexpr int k_max_header = 256;
// The largest text a push carries: a copy of this size is already far beyond what anyone pastes.
inline constexpr qint64 k_max_push_bytes = qint64(1) << 30;
// Exit statuses of the command line.
inline constexpr int k_exit_done = 0;
inline constexpr int k_exit_not_running = 1;
inline constexpr int k_exit_usage = 2;
inline constexpr int k_exit_not_text = 3;

struct Request {
    int version = k_version;
    QString command;         // "push", "list", "order", ...
    QString argument;        // the one word some commands take ("--json", "forward", "history"); empty otherwise
    QByteArray text;         // a push's text, as read off the connection (the server side)
    bool from_stdin = false; // the client side: a push reads its text from standard input
};

// One line per command for --help.
QString help_text();

// The name of a shortcut's command on the command line ("switch-paste-order"), made from its settings key.
QString shortcut_name(int row);
// The row of the shortcut command of that name; -1 when none has it.
int shortcut_row(const QString& name);

// The request that the command line's arguments (after the program name) make, or the usage error that names what
// is wrong. A push of words carries them joined by spaces in `text`.
struct Parsed {
    std::optional<Request> request;
    QString error;
};
Parsed parse_arguments(const QStringList& arguments);

// The problem with a command and its argument words, or an empty text when the pair is valid.
QString problem_of(const QString& command, const QStringList& words);

// The header line of a request, with its newline.
QByteArray header(const Request& request);
// One chunk of a push body; an empty one ends the body.
QByteArray chunk(const QByteArray& bytes);

// Reads one request off a connection, fed as bytes arrive.
class RequestReader {
public:
    enum class State { incomplete, complete, failed };
    State feed(const QByteArray& bytes);
    State state() const { return m_state; }
    // Once complete: the request.
    const Request& request() const { return m_request; }
    // Once complete: the request, handed over (a large push text is not kept twice).
    Request take_request() { return std::move(m_request); }
    // Once failed: the answer line's reason.
    const QString& error() const { return m_error; }
    // Whether any byte arrived.
    bool started() const { return m_started; }

private:
    State fail(const QString& why);
    // Takes what the buffer holds of the body.
    State read_body();

    State m_state = State::incomplete;
    Request m_request;
    QString m_error;
    QByteArray m_buffer;
    bool m_started = false;
    bool m_in_body = false;
    qint64 m_chunk_left = -1; // bytes of the current chunk still to come; -1 while its length line is awaited
};

struct Answer {
    int status = k_exit_done;
    QByteArray out;
    QByteArray err;
};
// Where a command's answer goes.
using Reply = std::function<void(const Answer&)>;
// The answer's bytes for a request of version 2.
QByteArray encode(const Answer& answer);
QByteArray encode_error(const QString& why);

// Reads an answer; complete once its announced bytes are all there.
struct Decoded {
    enum class State { incomplete, complete, error, garbage };
    State state = State::incomplete;
    Answer answer;
    QString why; // the reason of an ERROR line
};
Decoded decode(const QByteArray& bytes);

} // namespace remote
