// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QString>

class QLocalServer;
class QLocalSocket;

// The application object that lets one copy run per user: a later start reaches the running copy, which emits
// show_up(), and exits with code 0 inside the constructor. The rendezvous is a socket that only its user can reach.
class SingleApplication : public QApplication {
    Q_OBJECT
public:
    SingleApplication(int& argc, char** argv);
    ~SingleApplication() override;

    // Organization name followed by application name, every character but letters, digits, '_', '-', '.' and
    // space removed.
    static QString instance_name(const QString& organization, const QString& application);
    // Where the rendezvous socket of that name lies for the current user.
    static QString rendezvous_path(const QString& name);

Q_SIGNALS:
    void show_up();

private Q_SLOTS:
    void slotConnectionEstablished();

private:
    QLocalSocket* m_socket = nullptr;
    QLocalServer* m_server = nullptr;
};
