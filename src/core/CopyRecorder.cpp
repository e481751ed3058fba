// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/CopyRecorder.h"

#include "core/AutocompleteDatabase.h"
#include "core/ClipboardHistory.h"
#include "core/MimeCopy.h"
#include "core/Trace.h"

#include <QDebug>

CopyRecorder::CopyRecorder(ClipboardHistory& history, MimeCopy& mime_copy, AutocompleteDatabase* autocomplete)
    : QObject(nullptr), m_history(history), m_mime_copy(mime_copy), m_autocomplete(autocomplete)
{
}

void CopyRecorder::record(const ClipboardCapture& capture)
{
    TRACE("START copy_to_stackpaste_clipboard()");
    if (take(capture))
        Q_EMIT signal_recorded();
    TRACE("END copy_to_stackpaste_clipboard()");
}

bool CopyRecorder::take(const ClipboardCapture& capture)
{
    // Changes the user did not make (an owner that sent nothing, a password manager's secret) must not touch the
    // lock or the position: they are judged before anything else.
    if (capture.formats.isEmpty() && capture.picture.isNull()) {
        qDebug() << "The clipboard's owner sent none of the formats it offered: nothing recorded";
        return false;
    }
    std::unique_ptr<StoredMimeData> item = MimeCopy::assemble(capture);
    if (MimeCopy::is_secret(*item)) {
        qDebug() << "Clipboard content marked secret by a password manager: not recorded";
        return false;
    }
    if (m_history.is_position_locked())
        m_history.unlock();
    if (m_history.position() < 0)
        m_history.set_position(0);
    if (m_history.is_paused())
        return true;

    if (!m_history.is_rich_text_copy_enabled()) {
        add_text(item->text());
        return true;
    }
    m_mime_copy.capture_files(*item, m_history.is_file_copy_enabled());
    if (MimeCopy::holds_nothing(*item)) {
        qDebug() << "The clipboard's owner sent none of the formats it offered: nothing recorded";
        return true;
    }
    m_history.copy_step();
    m_history.add_mime(std::move(item));
    return true;
}

void CopyRecorder::add_text(const QString& text)
{
    // What was copied never goes to a log, only its size.
    trace::plain(QStringLiteral("Text of %1 characters").arg(text.size()));
    m_history.copy_step();
    m_history.add_text(text);
    if (m_autocomplete)
        m_autocomplete->insert(text);
    TRACE("----- copy_to_stackpaste_clipboard ----- ");
}
