// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SingleApplication.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

#include <cstdlib>
#include <unistd.h>

SingleApplication::SingleApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    const QString path = rendezvous_path(instance_name(organizationName(), applicationName()));

    m_socket = new QLocalSocket(nullptr);
    m_socket->connectToServer(path, QIODevice::ReadWrite);
    if (m_socket->waitForConnected(1000)) {
        // Connecting is the whole message: the running copy brings its window forward.
        m_socket->close();
        delete m_socket;
        std::exit(0);
    }

    m_server = new QLocalServer(nullptr);
    // A socket file left by a crashed copy would make listen() fail.
    QLocalServer::removeServer(path);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path))
        qDebug() << "Single instance: cannot listen on" << path << m_server->errorString();
    connect(m_server, &QLocalServer::newConnection, this, &SingleApplication::slotConnectionEstablished);
}

SingleApplication::~SingleApplication()
{
    if (m_server) {
        m_server->close();
        delete m_server;
    }
    delete m_socket;
}

QString SingleApplication::instance_name(const QString& organization, const QString& application)
{
    static const QRegularExpression not_allowed(QStringLiteral("[^\\w\\-. ]"));
    return QString(organization + application).remove(not_allowed);
}

QString SingleApplication::rendezvous_path(const QString& name)
{
    // The socket lies in a folder that only this user can enter: the session's runtime folder, or a private
    // folder of the user's own under the temporary location.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QFileInfo runtime_info(runtime);
    if (!runtime.isEmpty() && runtime_info.isDir() && runtime_info.ownerId() == ::getuid())
        return runtime + QLatin1Char('/') + name;

    const QString folder = QDir::tempPath() + QStringLiteral("/stackpaste-%1").arg(::getuid());
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (QFileInfo(folder).ownerId() != ::getuid())
        qDebug() << "Single instance: the folder" << folder << "belongs to another user";
    return folder + QLatin1Char('/') + name;
}

void SingleApplication::slotConnectionEstablished()
{
    // The connection is neither read nor closed here; the server, its parent, ends it.
    m_server->nextPendingConnection();
    Q_EMIT show_up();
}
