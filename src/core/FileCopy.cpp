// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/FileCopy.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace file_copy {

Result copy_regular_file(const QString& source, const QString& target, qint64 limit)
{
    const int fd = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return Result::unreadable;
    QFile in;
    if (!in.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Result::unreadable;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return Result::not_regular;
    if (status.st_size >= limit)
        return Result::too_big;

    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return Result::write_failed;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 total = 0;
    Result result = Result::copied;
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n <= 0) {
            if (n < 0)
                result = Result::unreadable;
            break;
        }
        total += n;
        // A file that grew past the limit since its size was checked is not copied: the copy stays bounded.
        if (total >= limit) {
            result = Result::too_big;
            break;
        }
        if (out.write(buffer.constData(), n) != n) {
            result = Result::write_failed;
            break;
        }
    }
    out.close();
    if (result == Result::copied && out.error() != QFileDevice::NoError)
        result = Result::write_failed;
    if (result != Result::copied) {
        out.remove();
        return result;
    }
    out.setPermissions(QFile::permissions(source));
    return result;
}

void remove_own_folder(const QString& folder)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode))
        QDir(folder).removeRecursively(); // links inside it are removed as links
    else
        QFile::remove(folder);
}

} // namespace file_copy
