// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PasteMaker.h"

#include "core/ClipboardHistory.h"
#include "core/MimeCopy.h"

#include <optional>

PasteMaker::PasteMaker(ClipboardHistory& history, MimeCopy& mime_copy) : m_history(history), m_mime_copy(mime_copy) {}

std::unique_ptr<QMimeData> PasteMaker::paste()
{
    if (m_history.is_paused())
        return nullptr;
    const int position_before = m_history.position();
    const std::optional<int> chosen = m_history.paste_step();
    if (!chosen)
        return nullptr;
    std::unique_ptr<QMimeData> content = content_of(*chosen);
    if (!content)
        m_history.set_position(position_before);
    return content;
}

std::unique_ptr<QMimeData> PasteMaker::after_paste()
{
    if (m_history.is_paused() || !m_history.paste_step())
        return nullptr;
    const std::optional<int> next = m_history.next_paste();
    return next ? content_of(*next) : nullptr;
}

std::unique_ptr<QMimeData> PasteMaker::content_of(int index) const
{
    if (m_history.is_rich_text_copy_enabled())
        return m_mime_copy.copy(*m_history.mime_at(index), MimeCopy::Variant::Paste, m_history.is_file_copy_enabled());
    const QString text = m_history.text_at(index);
    if (text.contains(QLatin1String("file:///")))
        return nullptr;
    auto content = std::make_unique<QMimeData>();
    content->setText(text);
    return content;
}
