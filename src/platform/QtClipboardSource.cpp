// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtClipboardSource.h"

#include "core/MimeCopy.h"
#include "core/Trace.h"
#include "platform/Platform.h"

#include <QClipboard>
#include <QDebug>
#include <QGuiApplication>

namespace {

// Marks the clipboard contents that we wrote ourselves (pastes, the autocomplete text), so that they are not taken
// for a copy. Who owns the clipboard cannot tell: our own windows copy through the same Qt clipboard.
const char* const k_our_write = "stackpaste_own_write";

} // namespace

QtClipboardSource::QtClipboardSource(const QString& storage_folder, Scope scope)
    : m_clipboard(QGuiApplication::clipboard()), m_storage_folder(storage_folder), m_scope(scope)
{
    connect(m_clipboard, &QClipboard::dataChanged, this, &QtClipboardSource::clipboard_changed);
}

void QtClipboardSource::own(std::unique_ptr<QMimeData> content)
{
    // Qt's clipboard announces the change inside setMimeData: the mark must be set first.
    content->setProperty(k_our_write, true);
    m_clipboard->setMimeData(content.release());
}

void QtClipboardSource::clipboard_changed()
{
    TRACE("START clipboard_data_changed()");
    const bool ours = m_clipboard->ownsClipboard();
    const QMimeData* current = m_clipboard->mimeData();
    if (m_scope == Scope::this_process && !ours) {
        // Another program's copy: the other reader reports it.
    } else if (current && current->property(k_our_write).toBool()) {
        // Our own write: a paste, the autocomplete's text.
    } else if (!current || MimeCopy::is_empty_change(*current)) {
        if (clipboard_has_owner())
            qDebug() << "The clipboard's owner did not answer: nothing recorded";
        else
            qDebug() << "Clipboard emptied by its owner: nothing recorded";
    } else {
        Q_EMIT captured(MimeCopy::read(*current, m_storage_folder));
    }
    TRACE("END clipboard_data_changed()");
}
