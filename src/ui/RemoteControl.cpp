// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RemoteControl.h"

#include "core/ClipboardCapture.h"
#include "core/ClipboardHistory.h"
#include "core/CopyRecorder.h"
#include "core/DebugText.h"
#include "core/HistoryListing.h"
#include "core/MimeCopy.h"
#include "core/Payload.h"
#include "ui/App.h"

#include <QDebug>
#include <QTimer>

#include <chrono>

RemoteControl::RemoteControl(App& app, ClipboardHistory& history, MimeCopy& mime_copy, CopyRecorder& recorder)
    : m_app(app), m_history(history), m_mime_copy(mime_copy), m_recorder(recorder)
{
}

void RemoteControl::serve(const remote::Request& request, const remote::Reply& reply)
{
    const QString& command = request.command;
    const QString& argument = request.argument;
    qDebug().noquote() << "Command line:" << command << argument;
    remote::Answer answer;
    if (command == QLatin1String("push"))
        push(request.text);
    else if (command == QLatin1String("list"))
        answer.out = argument.isEmpty() ? history_listing::lines(m_history) : history_listing::json(m_history);
    else if (command == QLatin1String("next"))
        answer = history_listing::next(m_history);
    else if (command == QLatin1String("debug"))
        answer.out = debug_text::body(m_history).toUtf8() + '\n';
    else if (command == QLatin1String("quit"))
        QTimer::singleShot(0, &m_app, &App::quit); // the answer goes out first: the quit waits for the event loop
    else if (!act(command, argument))
        answer = {remote::k_exit_usage, {}, QStringLiteral("unknown command \"%1\"\n").arg(command).toUtf8()};
    reply(answer);
}

void RemoteControl::push(const QByteArray& text)
{
    // Taken as a copy of a program that offers the text alone: a large one goes to a private file at once.
    ClipboardCapture capture;
    capture.formats.append({QStringLiteral("text/plain"), Payload::keep(text, m_mime_copy.data_folder())});
    capture.noticed = std::chrono::steady_clock::now();
    m_recorder.record(capture);
}

bool RemoteControl::act(const QString& command, const QString& argument)
{
    if (command == QLatin1String("pause") || command == QLatin1String("resume") ||
        command == QLatin1String("toggle-pause"))
        set_paused(command);
    else if (command == QLatin1String("order"))
        set_order(argument);
    else if (command == QLatin1String("lock"))
        m_app.lock_current_position();
    else if (command == QLatin1String("unlock"))
        m_app.unlock_current_position();
    else if (command == QLatin1String("back"))
        m_app.clipboard_history_go_back();
    else if (command == QLatin1String("forward"))
        m_app.clipboard_history_go_forward();
    else if (command == QLatin1String("clear"))
        m_app.clear_clipboard_history();
    else if (command == QLatin1String("show"))
        show(argument);
    else if (command == QLatin1String("shortcut") && remote::shortcut_row(argument) >= 0)
        m_app.run_command(static_cast<CommandId>(remote::shortcut_row(argument)));
    else
        return false;
    return true;
}

void RemoteControl::set_paused(const QString& command)
{
    const bool wanted = command == QLatin1String("pause")    ? true
                        : command == QLatin1String("resume") ? false
                                                             : !m_history.is_paused();
    if (m_history.is_paused() != wanted)
        m_app.pause_or_resume_stackpaste();
}

void RemoteControl::set_order(const QString& argument)
{
    const Mode mode = argument == QLatin1String("forward")    ? Mode::automatic_forward
                      : argument == QLatin1String("backward") ? Mode::automatic_backward
                                                              : Mode::manual;
    m_history.set_mode(mode);
    m_app.refresh_views();
}

void RemoteControl::show(const QString& argument)
{
    if (argument.isEmpty() || argument == QLatin1String("window"))
        m_app.open_app();
    else if (argument == QLatin1String("history"))
        m_app.open_history_dialog();
    else if (argument == QLatin1String("autocomplete"))
        m_app.open_autocomplete_dialog();
    else if (argument == QLatin1String("shortcuts"))
        m_app.on_button_show_shortcut_settings_clicked();
    else if (argument == QLatin1String("note"))
        m_app.slot_toggle_note_dialog();
    else
        m_app.slot_button_open_helper_dialog();
}
