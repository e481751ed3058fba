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
    if (m_history.is_paused() || (m_offer_is_item && !m_history.paste_step()))
        return nullptr;
    return offer(true);
}

std::unique_ptr<QMimeData> PasteMaker::offer(bool force)
{
    if (m_history.is_paused())
        return nullptr;
    const std::optional<int> next = m_history.next_paste();
    if (!next)
        return nullptr;
    const QString key = offer_key(*next);
    // The autocomplete's text stays until it is pasted or a copy takes its place.
    if (!force && (!m_offer_is_item || key == m_offered))
        return nullptr;
    std::unique_ptr<QMimeData> content = content_of(*next);
    if (content) {
        m_offered = key;
        m_offer_is_item = true;
    }
    return content;
}

QString PasteMaker::offer_key(int index) const
{
    // The item itself, not its place: a copy, a deletion or a move changes what a place holds.
    if (m_history.is_rich_text_copy_enabled())
        return QStringLiteral("item %1").arg(reinterpret_cast<quintptr>(m_history.mime_at(index)));
    return QStringLiteral("text ") + m_history.text_at(index);
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
