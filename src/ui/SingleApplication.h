// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QString>

class QLocalServer;

// The application object that lets one copy run per user: a later start reaches the running copy, which emits
// show_up(), and exits with code 0 inside the constructor. The rendezvous is a socket in a folder that only its
// user can enter, beside a lock file that keeps two copies started together from both becoming the running one.
class SingleApplication : public QApplication {
    Q_OBJECT
public:
    SingleApplication(int& argc, char** argv);
    ~SingleApplication() override;

    // Organization name followed by application name, every character but letters, digits, '_', '-', '.' and
    // space removed.
    static QString instance_name(const QString& organization, const QString& application);
    // Where the rendezvous socket of that name lies for the current user: in XDG_RUNTIME_DIR when that is a private
    // folder of ours, else in $TMPDIR/stackpaste-<uid> (made private when it is ours), else, when that name is
    // taken (another user's folder, a link, a file), in stackpaste-<host> of the user's cache folder. Empty when none
    // of them can be made private.
    static QString rendezvous_path(const QString& name);

Q_SIGNALS:
    void show_up();

private Q_SLOTS:
    void slotConnectionEstablished();

private:
    QLocalServer* m_server = nullptr;
};
