// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/RemoteCommand.h"

class App;
class ClipboardHistory;
class CopyRecorder;
class MimeCopy;

// Runs the commands of `stackpaste COMMAND [ARGS]` in the running copy, through the same App operations as the main
// window, the tray and the shortcuts: a push is recorded as a copy of its text, the listings come from the history.
// Every piece must outlive it. Main thread only.
class RemoteControl {
public:
    RemoteControl(App& app, ClipboardHistory& history, MimeCopy& mime_copy, CopyRecorder& recorder);

    // Runs a validated request; reply gets what the command prints and its exit status.
    void serve(const remote::Request& request, const remote::Reply& reply);

private:
    void push(const QByteArray& text);
    void set_paused(const QString& command);
    void set_order(const QString& argument);
    void show(const QString& argument);
    // The commands that change the state; false for one that is not among them.
    bool act(const QString& command, const QString& argument);

    App& m_app;
    ClipboardHistory& m_history;
    MimeCopy& m_mime_copy;
    CopyRecorder& m_recorder;
};
