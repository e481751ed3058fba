// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/RemoteCommand.h"

#include <QApplication>
#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;

// The application object that lets one copy run per user. The running copy holds a lock file for its whole life and
// listens on a socket beside it, in a folder that only its user can enter. A later start that cannot take the lock
// asks the running copy to show its window and exits inside the constructor: with code 0 once the copy has answered,
// with code 1 and a line on standard error when, after a few seconds at most, it has not (a stopped or hung copy,
// something else at the socket, another user's program). Only a program of the same user that answers as
// Stackpaste counts as the running copy.
//
// The rendezvous speaks lines: a request "STACKPASTE <version> <command>\n" is answered "OK\n" or
// "ERROR <why>\n", and the connection ends. Version 1 knows the command "show" (bring the window to the front).
// A connection that ends without a request is a "show" too, as earlier versions sent nothing. Version 2 carries the
// commands of `stackpaste COMMAND [ARGS]` (core/RemoteCommand.h); each valid one is handed on by command_received(),
// and the answer goes back through its reply. A request that stalls for k_wait_ms, or an answer left unread that
// long, ends the connection; an incomplete or invalid request changes nothing.
class SingleApplication : public QApplication {
    Q_OBJECT
public:
    SingleApplication(int& argc, char** argv);
    ~SingleApplication() override;

    // How long a start waits at most for the running copy before it gives up.
    static constexpr int k_wait_ms = 5000;

    // Organization name followed by application name, every character but letters, digits, '_', '-', '.' and
    // space removed.
    static QString instance_name(const QString& organization, const QString& application);
    // Where the rendezvous socket of that name lies for the current user: in XDG_RUNTIME_DIR when that is a private
    // folder of ours, else in $TMPDIR/stackpaste-<uid> (made private when it is ours), else, when that name is
    // taken (another user's folder, a link, a file), in stackpaste-<host> of the user's cache folder. Empty when none
    // of them can be made private.
    static QString rendezvous_path(const QString& name);

    // The command line's client: sends the command of `arguments` (the words after the program name) to the running
    // copy, prints its answer and returns the exit status. It needs an application object for the folders, a light
    // one, and never starts a copy or makes a window.
    static int run_command_line(const QStringList& arguments);

Q_SIGNALS:
    void show_up();
    // A valid command of version 2; reply is to be called once, at once or later.
    void command_received(const remote::Request& request, const remote::Reply& reply);

private Q_SLOTS:
    void slotConnectionEstablished();

private:
    // Becomes the running copy: what is left at the socket path goes, and the server listens there.
    void listen(const QString& path);
    // Reads one request from the connection and answers it.
    void serve(QLocalSocket* connection);

    QLocalServer* m_server = nullptr;
    int m_lock = -1; // the lock file, held while this copy runs
};
