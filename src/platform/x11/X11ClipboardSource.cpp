// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11ClipboardSource.h"

X11ClipboardSource::X11ClipboardSource(const QString& storage_folder)
    : m_own_windows(storage_folder, QtClipboardSource::Scope::this_process)
{
    m_reader.set_storage_folder(storage_folder);
    connect(&m_reader, &ClipboardReader::captured, this, &ClipboardSource::captured);
    connect(&m_own_windows, &ClipboardSource::captured, this, &ClipboardSource::captured);
}

bool X11ClipboardSource::start()
{
    return m_reader.start();
}

void X11ClipboardSource::own(std::unique_ptr<QMimeData> content)
{
    m_own_windows.own(std::move(content));
}
