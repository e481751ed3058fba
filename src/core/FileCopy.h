// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace file_copy {

// Why a copy was not made.
enum class Result { copied, unreadable, not_regular, too_big, write_failed };

// Copies the regular file `source` to the new file `target` if it holds fewer than `limit` bytes; the copy gets the
// source's permissions. The source is opened without blocking and checked again once open: a FIFO put in its place
// after a first look would otherwise hang the open. A failed copy leaves no target behind. Any thread.
Result copy_regular_file(const QString& source, const QString& target, qint64 limit);

// Removes one of our own folders with everything in it. The program a file was handed to may have put a link in
// the folder's place: then only the link goes, never what it points to. Any thread.
void remove_own_folder(const QString& folder);

} // namespace file_copy
