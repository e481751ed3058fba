// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/RemoteCommand.h"

#include "core/ShortcutTable.h"

namespace remote {

namespace {

struct CommandInfo {
    const char* name;
    QStringList choices; // the words the one argument may be; empty: no argument
    bool optional_argument;
    const char* help;
};

QStringList shortcut_names()
{
    QStringList names;
    for (int row = 0; row < k_shortcut_count; ++row)
        names.append(shortcut_name(row));
    return names;
}

const QList<CommandInfo>& commands()
{
    static const QList<CommandInfo> table = {
        {"push", {}, false, "push TEXT... | push -   the text (or standard input) becomes the newest item"},
        {"list", {QStringLiteral("--json")}, true, "list [--json]            the items left to paste, next first"},
        {"next", {}, false, "next                     the whole text the next paste gives"},
        {"pause", {}, false, "pause | resume | toggle-pause   stop or go on recording copies"},
        {"resume", {}, false, nullptr},
        {"toggle-pause", {}, false, nullptr},
        {"order",
         {QStringLiteral("backward"), QStringLiteral("forward"), QStringLiteral("manual")},
         false,
         "order backward|forward|manual   the paste order"},
        {"lock", {}, false, "lock | unlock            lock or unlock the position"},
        {"unlock", {}, false, nullptr},
        {"back", {}, false, "back | forward           move the position"},
        {"forward", {}, false, nullptr},
        {"clear", {}, false, "clear                    empty the history"},
        {"show",
         {QStringLiteral("window"), QStringLiteral("history"), QStringLiteral("autocomplete"),
          QStringLiteral("shortcuts"), QStringLiteral("note"), QStringLiteral("help")},
         true,
         "show window|history|autocomplete|shortcuts|note|help   open that window"},
        {"shortcut", shortcut_names(), false,
         "shortcut NAME            what the shortcut of that command does (for the desktop's key bindings;\n"
         "                                      a wrong NAME lists them all)"},
        {"debug", {}, false, "debug                    the position and the items, as text"},
        {"quit", {}, false, "quit                     end the running copy (settings saved)"},
    };
    return table;
}

const CommandInfo* find(const QString& name)
{
    for (const CommandInfo& info : commands()) {
        if (name == QLatin1String(info.name))
            return &info;
    }
    return nullptr;
}

} // namespace

QString help_text()
{
    QString text = QStringLiteral("Commands to the running copy:\n");
    for (const CommandInfo& info : commands()) {
        if (info.help)
            text += QStringLiteral("  stackpaste ") + QLatin1String(info.help) + QLatin1Char('\n');
    }
    return text;
}

QString shortcut_name(int row)
{
    // "ShortcutSwitchPasteOrder" -> "switch-paste-order"
    const QString key = QLatin1String(k_shortcut_commands.at(static_cast<std::size_t>(row)).settings_key);
    QString name;
    for (const QChar c : key.mid(QStringLiteral("Shortcut").size())) {
        if (c.isUpper() && !name.isEmpty())
            name += QLatin1Char('-');
        name += c.toLower();
    }
    return name;
}

int shortcut_row(const QString& name)
{
    for (int row = 0; row < k_shortcut_count; ++row) {
        if (shortcut_name(row) == name)
            return row;
    }
    return -1;
}

QString problem_of(const QString& command, const QStringList& words)
{
    const CommandInfo* info = find(command);
    if (!info)
        return QStringLiteral("unknown command \"%1\"").arg(command.left(40));
    if (command == QLatin1String("push"))
        return QString();
    if (info->choices.isEmpty()) {
        if (!words.isEmpty())
            return QStringLiteral("%1 takes no argument, not \"%2\"").arg(command, words.first().left(40));
        return QString();
    }
    if (words.isEmpty())
        return info->optional_argument
                   ? QString()
                   : QStringLiteral("%1 needs one of: %2").arg(command, info->choices.join(QLatin1Char('|')));
    if (words.size() > 1)
        return QStringLiteral("%1 takes one argument, not %2").arg(command).arg(words.size());
    if (!info->choices.contains(words.first()))
        return QStringLiteral("%1 takes one of %2, not \"%3\"")
            .arg(command, info->choices.join(QLatin1Char('|')), words.first().left(40));
    return QString();
}

Parsed parse_arguments(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return {std::nullopt, QStringLiteral("no command")};
    Request request;
    request.command = arguments.first();
    const QStringList words = arguments.mid(1);
    if (request.command == QLatin1String("push")) {
        if (words.isEmpty())
            return {std::nullopt, QStringLiteral("push needs a text, or - to read standard input")};
        if (words == QStringList{QStringLiteral("-")})
            request.from_stdin = true;
        else
            request.text = words.join(QLatin1Char(' ')).toUtf8();
        return {request, QString()};
    }
    if (const QString problem = problem_of(request.command, words); !problem.isEmpty())
        return {std::nullopt, problem};
    request.argument = words.value(0);
    return {request, QString()};
}

QByteArray header(const Request& request)
{
    QByteArray line = "STACKPASTE " + QByteArray::number(request.version) + ' ' + request.command.toUtf8();
    if (!request.argument.isEmpty())
        line += ' ' + request.argument.toUtf8();
    return line + '\n';
}

QByteArray chunk(const QByteArray& bytes)
{
    return QByteArray::number(bytes.size(), 16) + '\n' + bytes;
}

RequestReader::State RequestReader::fail(const QString& why)
{
    m_error = why;
    m_buffer.clear();
    m_request.text.clear();
    return m_state = State::failed;
}

RequestReader::State RequestReader::feed(const QByteArray& bytes)
{
    if (m_state != State::incomplete)
        return m_state; // anything after a request is ignored
    m_started = m_started || !bytes.isEmpty();
    m_buffer += bytes;
    if (m_in_body)
        return read_body();
    const int end = m_buffer.indexOf('\n');
    if (end == -1)
        return m_buffer.size() > k_max_header ? fail(QStringLiteral("request too long")) : m_state;
    if (end > k_max_header)
        return fail(QStringLiteral("request too long"));
    const QList<QByteArray> words = m_buffer.left(end).split(' ');
    m_buffer.remove(0, end + 1);
    if (words.size() < 3 || words.at(0) != "STACKPASTE")
        return fail(QStringLiteral("not a Stackpaste request"));
    if (words.at(1) == "1") {
        // The first version knows the window alone.
        if (words.size() != 3 || words.at(2) != "show")
            return fail(QStringLiteral("unknown command"));
        m_request.version = 1;
        m_request.command = QStringLiteral("show");
        return m_state = State::complete;
    }
    if (words.at(1) != QByteArray::number(k_version))
        return fail(QStringLiteral("this copy speaks versions 1 and %1").arg(k_version));
    m_request.command = QString::fromUtf8(words.at(2));
    QStringList rest;
    for (int i = 3; i < words.size(); ++i)
        rest << QString::fromUtf8(words.at(i));
    if (m_request.command == QLatin1String("push") && !rest.isEmpty())
        return fail(QStringLiteral("push carries its text after the header"));
    if (const QString problem = problem_of(m_request.command, rest); !problem.isEmpty())
        return fail(problem);
    m_request.argument = rest.value(0);
    if (m_request.command != QLatin1String("push"))
        return m_state = State::complete;
    m_in_body = true;
    return read_body();
}

RequestReader::State RequestReader::read_body()
{
    while (true) {
        if (m_chunk_left < 0) {
            const int end = m_buffer.indexOf('\n');
            if (end == -1)
                return m_buffer.size() > 16 ? fail(QStringLiteral("bad chunk length")) : m_state;
            bool ok = false;
            const qint64 length = m_buffer.left(end).toLongLong(&ok, 16);
            if (!ok || length < 0 || end > 16)
                return fail(QStringLiteral("bad chunk length"));
            m_buffer.remove(0, end + 1);
            if (length == 0)
                return m_state = State::complete;
            if (m_request.text.size() + length > k_max_push_bytes)
                return fail(QStringLiteral("text larger than %1 bytes").arg(k_max_push_bytes));
            m_chunk_left = length;
        }
        if (m_buffer.isEmpty())
            return m_state;
        const int take = int(qMin<qint64>(m_chunk_left, m_buffer.size()));
        m_request.text.append(m_buffer.constData(), take);
        m_buffer.remove(0, take);
        m_chunk_left -= take;
        if (m_chunk_left == 0)
            m_chunk_left = -1;
    }
}

QByteArray encode(const Answer& answer)
{
    return "OK " + QByteArray::number(answer.status) + ' ' + QByteArray::number(answer.out.size()) + ' ' +
           QByteArray::number(answer.err.size()) + '\n' + answer.out + answer.err;
}

QByteArray encode_error(const QString& why)
{
    QByteArray line = why.toUtf8();
    line.replace('\n', ' ');
    return "ERROR " + line + '\n';
}

Decoded decode(const QByteArray& bytes)
{
    Decoded decoded;
    const int end = bytes.indexOf('\n');
    if (end == -1) {
        if (bytes.size() > k_max_header ||
            !(QByteArray("ERROR").startsWith(bytes.left(5)) || QByteArray("OK ").startsWith(bytes.left(3))))
            decoded.state = Decoded::State::garbage;
        return decoded;
    }
    const QByteArray line = bytes.left(end);
    if (line.startsWith("ERROR")) {
        decoded.state = Decoded::State::error;
        decoded.why = QString::fromUtf8(line.mid(6));
        return decoded;
    }
    const QList<QByteArray> words = line.split(' ');
    bool ok[3] = {false, false, false};
    if (words.size() != 4 || words.at(0) != "OK") {
        decoded.state = Decoded::State::garbage;
        return decoded;
    }
    const int status = words.at(1).toInt(&ok[0]);
    const qint64 out = words.at(2).toLongLong(&ok[1]);
    const qint64 err = words.at(3).toLongLong(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2] || out < 0 || err < 0) {
        decoded.state = Decoded::State::garbage;
        return decoded;
    }
    if (bytes.size() - end - 1 < out + err)
        return decoded;
    decoded.state = Decoded::State::complete;
    decoded.answer.status = status;
    decoded.answer.out = bytes.mid(end + 1, int(out));
    decoded.answer.err = bytes.mid(end + 1 + int(out), int(err));
    return decoded;
}

} // namespace remote
