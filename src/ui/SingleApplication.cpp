// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SingleApplication.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

constexpr char k_show_request[] = "STACKPASTE 1 show\n";
// A request or an answer is one short line; anything longer is not ours.
constexpr int k_max_line = 256;

QString error_text(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The lock file beside the socket, opened but not locked, or -1 (with a debug line) when there is none.
int open_lock_file(const QString& lock_path)
{
    const int fd = ::open(QFile::encodeName(lock_path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd == -1)
        qDebug().noquote() << QStringLiteral("Single instance: no lock file %1 (%2); this copy cannot keep another "
                                             "one from starting")
                                  .arg(lock_path, error_text(errno));
    return fd;
}

// Takes the lock without waiting: false while another process holds it.
bool try_lock(int fd)
{
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    return locked == 0;
}

// The user of the process at the other end of a local socket, or -1 when it cannot be known.
qint64 peer_user(int fd, qint64* pid = nullptr)
{
    struct ucred credentials = {};
    socklen_t size = sizeof(credentials);
    if (fd == -1 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return -1;
    if (pid)
        *pid = credentials.pid;
    return credentials.uid;
}

// A line of the other side, shortened and made printable, for a message.
QString quoted(const QByteArray& line)
{
    QString text = QString::fromUtf8(line.left(60));
    for (QChar& c : text) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    return QLatin1Char('"') + text + (line.size() > 60 ? QStringLiteral("...\"") : QStringLiteral("\""));
}

// A socket connected to `path`, or -1 with the errno of the attempt. A full backlog (a copy that has stopped
// accepting) fails at once with EAGAIN instead of waiting.
int connect_to(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (name.size() >= int(sizeof(address.sun_path))) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd == -1)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// What a start learns from the socket of the running copy.
struct Reply {
    enum class Kind {
        shown,  // a Stackpaste of ours answered the request
        absent, // nothing listens: a copy holding the lock may not listen yet
        silent, // something listens but has not answered (yet): a copy that is starting, stopped or hung
        wrong,  // something answered, but not as the running copy does: waiting will not change it
    };
    Kind kind = Kind::absent;
    QString why; // what went wrong, for all but shown
};

// Asks whatever listens at `path` to show its window and waits for the answer until `deadline`.
Reply ask_to_show(const QString& path, const QDeadlineTimer& deadline)
{
    const int fd = connect_to(path);
    if (fd == -1) {
        const int error = errno;
        struct stat info = {};
        // The running copy leaves a folder there alone: waiting would not help.
        if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode))
            return {Reply::Kind::wrong, QStringLiteral("%1 is a folder, not its socket").arg(path)};
        if (error == EAGAIN)
            return {Reply::Kind::silent, QStringLiteral("it takes no more connections at %1").arg(path)};
        return {Reply::Kind::absent,
                QStringLiteral("nothing takes connections at %1 (%2)").arg(path, error_text(error))};
    }
    qint64 pid = 0;
    const qint64 user = peer_user(fd, &pid);
    if (user != qint64(::getuid())) {
        ::close(fd);
        return {
            Reply::Kind::wrong,
            QStringLiteral("the program listening at %1 (process %2) belongs to user %3").arg(path).arg(pid).arg(user)};
    }
    // A few bytes into an empty socket buffer: the write does not block.
    if (::send(fd, k_show_request, sizeof(k_show_request) - 1, MSG_NOSIGNAL) != qint64(sizeof(k_show_request) - 1)) {
        const int error = errno;
        ::close(fd);
        return {Reply::Kind::silent, QStringLiteral("the request could not be sent (%1)").arg(error_text(error))};
    }
    QByteArray answer;
    Reply reply = {Reply::Kind::silent,
                   QStringLiteral("it did not answer within %1 s").arg(SingleApplication::k_wait_ms / 1000)};
    while (!answer.contains('\n') && answer.size() < k_max_line) {
        pollfd wait = {fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, int(deadline.remainingTime()));
        if (ready == -1 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[k_max_line];
        const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
        if (got == -1 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            // The copy ended, or something that only accepts connections closed this one.
            reply.why = QStringLiteral("it closed the connection without an answer");
            break;
        }
        answer.append(buffer, int(got));
    }
    ::close(fd);
    const QByteArray line = answer.left(answer.indexOf('\n'));
    if (line == "OK")
        reply = {Reply::Kind::shown, QString()};
    else if (line.startsWith("ERROR"))
        reply = {Reply::Kind::wrong, QStringLiteral("it refused to show its window: %1").arg(quoted(line))};
    else if (!answer.isEmpty())
        reply = {
            Reply::Kind::wrong,
            QStringLiteral("the program listening at %1 does not answer as Stackpaste: %2").arg(path, quoted(line))};
    return reply;
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

    // The running copy holds the lock as long as it lives: while it does, nobody else listens at the socket, even
    // when the copy is stopped and connections pile up unanswered. A copy that is just starting holds the lock
    // before it listens, and one that has not entered its event loop answers a little later: both are waited for.
    const QString lock_path = path + QStringLiteral(".lock");
    m_lock = open_lock_file(lock_path);
    const QDeadlineTimer deadline(k_wait_ms);
    while (m_lock == -1 || !try_lock(m_lock)) {
        const Reply reply = ask_to_show(path, deadline);
        if (reply.kind == Reply::Kind::shown)
            std::exit(0);
        if (m_lock == -1 && reply.kind == Reply::Kind::absent) {
            qDebug().noquote() << "Single instance: no running copy answers:" << reply.why;
            break;
        }
        if (reply.kind == Reply::Kind::wrong || deadline.hasExpired()) {
            const QString held = m_lock == -1 ? QString() : QStringLiteral(" (%1 is locked)").arg(lock_path);
            std::fprintf(stderr,
                         "Stackpaste seems to run already%s, but the running copy does not answer: %s. This "
                         "copy does not start.\n",
                         qPrintable(held), qPrintable(reply.why));
            std::exit(1);
        }
        QThread::msleep(20);
    }
    listen(path);
}

SingleApplication::~SingleApplication()
{
    if (m_server) {
        m_server->close();
        delete m_server;
    }
    if (m_lock != -1)
        ::close(m_lock);
}

void SingleApplication::listen(const QString& path)
{
    // Under the lock no copy of ours listens: what lies at the path is a socket left by a copy that was killed, or
    // something that is not ours. (Without a lock file nothing answered there either.)
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(name.constData(), &info) == 0) {
        if (S_ISSOCK(info.st_mode)) {
            const int fd = connect_to(path);
            if (fd != -1) {
                qint64 pid = 0;
                const qint64 user = peer_user(fd, &pid);
                qDebug().noquote() << QStringLiteral("Single instance: process %1 of user %2 listens at %3 without "
                                                     "holding its lock; it is no running Stackpaste and loses the name")
                                          .arg(pid)
                                          .arg(user)
                                          .arg(path);
                ::close(fd);
            }
        }
        if (S_ISDIR(info.st_mode))
            qDebug().noquote() << QStringLiteral("Single instance: %1 is a folder; later starts cannot reach this "
                                                 "copy and end with an error until it is removed")
                                      .arg(path);
        else
            ::unlink(name.constData());
    }
    m_server = new QLocalServer(nullptr);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path))
        qDebug() << "Single instance: cannot listen on" << path << m_server->errorString();
    connect(m_server, &QLocalServer::newConnection, this, &SingleApplication::slotConnectionEstablished);
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
    while (QLocalSocket* connection = m_server->nextPendingConnection()) {
        // The folder is closed to others, but root can enter it: only our own user is served.
        const qint64 user = peer_user(int(connection->socketDescriptor()));
        if (user != qint64(::getuid())) {
            qDebug() << "Single instance: a connection from user" << user << "is refused";
            connection->abort();
            connection->deleteLater();
            continue;
        }
        serve(connection);
    }
}

void SingleApplication::serve(QLocalSocket* connection)
{
    // The connection is a child of the server and goes with it at the latest.
    auto reader = std::make_shared<remote::RequestReader>();
    auto dropped = std::make_shared<bool>(false);
    // A connection that stalls (says nothing and stays, a half-written request, an answer it never reads) is dropped;
    // a request that was not complete by then has changed nothing.
    auto* stall = new QTimer(connection);
    stall->setSingleShot(true);
    connect(stall, &QTimer::timeout, connection, [connection, dropped] {
        qDebug() << "Single instance: a connection stalled and is dropped";
        *dropped = true;
        connection->abort();
        connection->deleteLater();
    });
    stall->start(k_wait_ms);
    connect(connection, &QLocalSocket::bytesWritten, stall, [stall] { stall->start(k_wait_ms); });
    // A large push passes through in small pieces: only the reader's text grows with it.
    constexpr qint64 k_piece = 64 * 1024;
    connection->setReadBufferSize(4 * k_piece);
    connect(connection, &QLocalSocket::readyRead, this, [this, connection, reader, stall] {
        if (reader->state() != remote::RequestReader::State::incomplete) {
            connection->readAll(); // answered already
            return;
        }
        stall->start(k_wait_ms);
        remote::RequestReader::State state = remote::RequestReader::State::incomplete;
        while (state == remote::RequestReader::State::incomplete && connection->bytesAvailable() > 0)
            state = reader->feed(connection->read(k_piece));
        if (state == remote::RequestReader::State::incomplete)
            return;
        if (state == remote::RequestReader::State::failed) {
            qDebug().noquote() << "Single instance: a request is refused:" << reader->error();
            connection->write(remote::encode_error(reader->error()));
            connection->disconnectFromServer();
            return;
        }
        remote::Request request = reader->take_request();
        if (request.version == 1) {
            connection->write("OK\n");
            connection->disconnectFromServer();
            Q_EMIT show_up();
            return;
        }
        QPointer<QLocalSocket> guard(connection);
        Q_EMIT command_received(request, [guard](const remote::Answer& answer) {
            if (!guard)
                return;
            guard->write(remote::encode(answer));
            guard->flush();
            guard->disconnectFromServer();
        });
    });
    connect(connection, &QLocalSocket::disconnected, this, [this, connection, reader, dropped] {
        // An earlier version's start connects and leaves without a word.
        if (!reader->started() && !*dropped)
            Q_EMIT show_up();
        connection->deleteLater();
    });
}

namespace {

// Sends all of bytes, waiting at most k_wait_ms whenever the other side takes nothing.
bool send_all(int fd, const QByteArray& bytes)
{
    qint64 sent = 0;
    while (sent < bytes.size()) {
        const ssize_t done = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (done > 0) {
            sent += done;
            continue;
        }
        if (done == -1 && errno == EINTR)
            continue;
        if (done == -1 && errno != EAGAIN)
            return false;
        pollfd wait = {fd, POLLOUT, 0};
        if (::poll(&wait, 1, SingleApplication::k_wait_ms) <= 0)
            return false;
    }
    return true;
}

// The push body from standard input, streamed in chunks: it is never held whole here.
bool send_stdin(int fd)
{
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    while (true) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), size_t(buffer.size()));
        if (got == -1 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (!send_all(fd, remote::chunk(buffer.left(int(got)))))
            return false;
        if (got == 0)
            return true;
    }
}

void print_to(FILE* stream, const QByteArray& bytes)
{
    if (!bytes.isEmpty())
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

int SingleApplication::run_command_line(const QStringList& arguments)
{
    const remote::Parsed parsed = remote::parse_arguments(arguments);
    if (!parsed.request) {
        std::fprintf(stderr, "stackpaste: %s\nTry \"stackpaste --help\" for the commands.\n", qPrintable(parsed.error));
        return remote::k_exit_usage;
    }
    const remote::Request& request = *parsed.request;
    const QString path = rendezvous_path(instance_name(organizationName(), applicationName()));
    const int fd = path.isEmpty() ? -1 : connect_to(path);
    if (fd == -1) {
        std::fputs("Stackpaste is not running\n", stderr);
        return remote::k_exit_not_running;
    }
    const auto fail = [fd](const QString& why) {
        ::close(fd);
        std::fprintf(stderr, "Stackpaste is not running: %s\n", qPrintable(why));
        return remote::k_exit_not_running;
    };
    qint64 pid = 0;
    const qint64 user = peer_user(fd, &pid);
    if (user != qint64(::getuid()))
        return fail(QStringLiteral("the program at %1 (process %2) belongs to user %3").arg(path).arg(pid).arg(user));
    bool sent = send_all(fd, remote::header(request));
    if (sent && request.command == QLatin1String("push")) {
        if (request.from_stdin)
            sent = send_stdin(fd);
        else
            sent = send_all(fd, remote::chunk(request.text)) && send_all(fd, remote::chunk(QByteArray()));
    }
    if (!sent)
        return fail(QStringLiteral("the command could not be sent (%1)").arg(error_text(errno)));

    QByteArray answer;
    while (true) {
        const remote::Decoded decoded = remote::decode(answer);
        if (decoded.state == remote::Decoded::State::complete) {
            ::close(fd);
            print_to(stdout, decoded.answer.out);
            print_to(stderr, decoded.answer.err);
            return decoded.answer.status;
        }
        if (decoded.state == remote::Decoded::State::error) {
            ::close(fd);
            std::fprintf(stderr, "stackpaste: %s\n", qPrintable(decoded.why));
            return remote::k_exit_usage;
        }
        if (decoded.state == remote::Decoded::State::garbage)
            return fail(
                QStringLiteral("the program at %1 does not answer as Stackpaste: %2").arg(path, quoted(answer)));
        pollfd wait = {fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, k_wait_ms);
        if (ready == -1 && errno == EINTR)
            continue;
        if (ready <= 0)
            return fail(QStringLiteral("it did not answer within %1 s").arg(k_wait_ms / 1000));
        char buffer[16 * 1024];
        const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
        if (got == -1 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return fail(QStringLiteral("it closed the connection without an answer"));
        answer.append(buffer, int(got));
    }
}
