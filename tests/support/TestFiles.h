// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace test_files {

// A file of exactly `size` bytes that starts with `head` (the rest is zeros); its folders are created.
inline QString make_file(const QString& path, qint64 size, const QByteArray& head = {})
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(head) != head.size() || !file.resize(size))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

inline QByteArray read_all(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace test_files
