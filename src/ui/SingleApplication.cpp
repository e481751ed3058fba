// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SingleApplication.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Why the folder is not a private folder of this user (a real folder, not a symlink, owned by us, closed to every
// other user), or an empty text when it is. With `create`, a missing folder is made and a folder of ours that is
// open to others is closed first; the folder is examined through one descriptor, so it cannot be swapped between
// the check and the change.
QString private_folder_problem(const QString& path, bool create)
{
    const QByteArray name = QFile::encodeName(path);
    if (create && ::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("cannot be created (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat link = {};
    if (::lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode))
        return QStringLiteral("is a symbolic link");
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd == -1) {
        if (errno == ENOTDIR || errno == ELOOP)
            return QStringLiteral("is not a folder");
        return QStringLiteral("cannot be opened (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    QString problem;
    struct stat info = {};
    if (::fstat(fd, &info) != 0)
        problem = QStringLiteral("cannot be examined");
    else if (info.st_uid != ::getuid())
        problem = QStringLiteral("belongs to another user");
    else if ((info.st_mode & 077) != 0 && (!create || ::fchmod(fd, 0700) != 0))
        problem = QStringLiteral("is open to other users");
    ::close(fd);
    return problem;
}

// Takes the lock beside the socket and returns its descriptor, or -1 (with a debug line) when there is none.
int lock_rendezvous(const QString& lock_path)
{
    const int fd = ::open(QFile::encodeName(lock_path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd == -1) {
        qDebug() << "Single instance: no lock file" << lock_path << std::strerror(errno);
        return -1;
    }
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        qDebug() << "Single instance: cannot lock" << lock_path << std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

SingleApplication::SingleApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    const QString path = rendezvous_path(instance_name(organizationName(), applicationName()));
    if (path.isEmpty()) {
        qDebug() << "Single instance: no private folder for the rendezvous; this copy runs without looking for "
                    "another";
        return;
    }

    // The probe, the removal of a stale socket and the listen happen under one lock. Without it two copies started
    // together both find no server, the later removal takes the earlier copy's socket away, and both keep running.
    const int lock = lock_rendezvous(path + QStringLiteral(".lock"));
    QLocalSocket probe;
    probe.connectToServer(path, QIODevice::ReadWrite);
    if (probe.waitForConnected(1000)) {
        // Connecting is the whole message: the running copy brings its window forward.
        probe.close();
        if (lock != -1)
            ::close(lock);
        std::exit(0);
    }

    m_server = new QLocalServer(nullptr);
    // A socket file left by a killed copy would make listen() fail; under the lock nobody else listens there.
    QLocalServer::removeServer(path);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path))
        qDebug() << "Single instance: cannot listen on" << path << m_server->errorString();
    if (lock != -1)
        ::close(lock);
    connect(m_server, &QLocalServer::newConnection, this, &SingleApplication::slotConnectionEstablished);
}

SingleApplication::~SingleApplication()
{
    if (m_server) {
        m_server->close();
        delete m_server;
    }
}

QString SingleApplication::instance_name(const QString& organization, const QString& application)
{
    static const QRegularExpression not_allowed(QStringLiteral("[^\\w\\-. ]"));
    return QString(organization + application).remove(not_allowed);
}

QString SingleApplication::rendezvous_path(const QString& name)
{
    // The socket lies in a folder that only this user can enter, or another user could plant a socket there first
    // and every start would take it for a running copy and exit. The session's runtime folder is the session's to
    // manage: used when it is private, never changed.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString rejected;
    if (!runtime.isEmpty()) {
        const QString problem = private_folder_problem(runtime, false);
        if (problem.isEmpty())
            return runtime + QLatin1Char('/') + name;
        rejected = QStringLiteral("XDG_RUNTIME_DIR %1 %2").arg(runtime, problem);
    }

    // A folder of our own under the temporary location; the sticky /tmp keeps others from replacing it.
    const QString temporary = QDir::tempPath() + QStringLiteral("/stackpaste-%1").arg(::getuid());
    const QString temporary_problem = private_folder_problem(temporary, true);
    if (temporary_problem.isEmpty()) {
        if (!rejected.isEmpty())
            qDebug().noquote()
                << QStringLiteral("Single instance: %1; the rendezvous lies in %2").arg(rejected, temporary);
        return temporary + QLatin1Char('/') + name;
    }
    rejected = QStringLiteral("%1 %2").arg(temporary, temporary_problem);

    // That name is taken (another user's folder, a link, a file): a folder in our own cache cannot be. It carries
    // the host name, as a home shared over the network serves several machines and a socket connects on its own
    // machine only.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QString own = cache + QStringLiteral("/stackpaste-") + QSysInfo::machineHostName();
    QDir().mkpath(cache);
    const QString own_problem = private_folder_problem(own, true);
    if (own_problem.isEmpty()) {
        qDebug().noquote() << QStringLiteral("Single instance: %1; the rendezvous lies in %2").arg(rejected, own);
        return own + QLatin1Char('/') + name;
    }
    qDebug().noquote() << QStringLiteral("Single instance: %1, and %2 %3").arg(rejected, own, own_problem);
    return QString();
}

void SingleApplication::slotConnectionEstablished()
{
    // The connection is neither read nor closed here; the server, its parent, ends it.
    m_server->nextPendingConnection();
    Q_EMIT show_up();
}
