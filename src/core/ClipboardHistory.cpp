// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ClipboardHistory.h"

#include "core/StoredMimeData.h"

#include <QDebug>
#include <QUrl>

#include <algorithm>

ClipboardHistory::ClipboardHistory() = default;
ClipboardHistory::~ClipboardHistory() = default;

int ClipboardHistory::size() const
{
    return m_options.is_rich_text_copy_enabled ? static_cast<int>(m_mime_history.size()) : m_text_history.size();
}

void ClipboardHistory::set_rich_text_copy_enabled(bool on)
{
    m_options.is_rich_text_copy_enabled = on;
    clear();
}

bool ClipboardHistory::keeps_kind_with(const HistoryOptions& fresh) const
{
    return fresh.is_rich_text_copy_enabled != is_rich_text_copy_enabled() && !is_empty();
}

void ClipboardHistory::take_fresh_options(HistoryOptions fresh)
{
    if (keeps_kind_with(fresh))
        fresh.is_rich_text_copy_enabled = is_rich_text_copy_enabled();
    else if (fresh.is_rich_text_copy_enabled != is_rich_text_copy_enabled())
        set_rich_text_copy_enabled(fresh.is_rich_text_copy_enabled);
    // With all of the history left to paste.
    if (is_forward() && fresh.paste_order != PasteOrder::forward)
        switch_paste_order();
    m_options = fresh;
}

void ClipboardHistory::copy_step()
{
    if (m_position < 0)
        m_position = 0;
    if (is_backward() && m_options.use_automatic_position_movement)
        ++m_position;
}

int ClipboardHistory::add_index()
{
    const int n = size();
    if (is_forward())
        return n;
    if (!m_options.use_automatic_position_movement)
        return 0;
    // Just above the position, so the newest item is the next one a backward paste takes. A position beyond
    // the end appends and follows the item. A position below 0 cannot come from the copy step; the
    // front is the nearest place that keeps the list valid.
    if (m_position > n)
        m_position = n;
    return std::max(m_position, 0);
}

void ClipboardHistory::trim()
{
    if (size() <= k_max_items)
        return;
    // The oldest end goes; the position is not adjusted.
    if (m_options.is_rich_text_copy_enabled)
        m_mime_history.erase(m_mime_history.begin());
    else
        m_text_history.removeFirst();
}

bool ClipboardHistory::add_text(const QString& text)
{
    m_text_history.insert(add_index(), text);
    trim();
    return true;
}

bool ClipboardHistory::add_mime(std::unique_ptr<QMimeData> mime_data)
{
    if (!mime_data)
        return false;
    m_mime_history.insert(m_mime_history.begin() + add_index(), std::move(mime_data));
    trim();
    return true;
}

std::optional<int> ClipboardHistory::paste_step()
{
    if (m_position < 0)
        m_position = 0;
    if (is_empty())
        return std::nullopt;
    const bool forward = is_forward();

    bool pulled_back = false;
    if (m_position > last() && !m_is_position_locked) {
        m_position = last();
        pulled_back = true;
    }
    const int chosen = std::min(m_position, last());
    if (m_options.use_automatic_position_movement && !m_is_position_locked) {
        if (!forward)
            --m_position;
        // Past the end of a forward walk the MIME-data history stays on the last item, while the text history
        // steps past it again; both paste the last item once more.
        else if (!(pulled_back && m_options.is_rich_text_copy_enabled))
            ++m_position;
    }
    return chosen;
}

std::optional<int> ClipboardHistory::next_paste() const
{
    if (is_empty())
        return std::nullopt;
    return std::min(std::max(m_position, 0), last());
}

void ClipboardHistory::insert_front_text(const QString& text)
{
    m_text_history.prepend(text);
}

void ClipboardHistory::insert_front_mime(std::unique_ptr<QMimeData> mime_data)
{
    m_mime_history.insert(m_mime_history.begin(), std::move(mime_data));
}

void ClipboardHistory::remove_front()
{
    if (m_options.is_rich_text_copy_enabled) {
        if (!m_mime_history.empty())
            m_mime_history.erase(m_mime_history.begin());
    } else if (!m_text_history.isEmpty()) {
        m_text_history.removeFirst();
    }
}

void ClipboardHistory::go_forward()
{
    if (is_forward())
        m_position = m_position < last() ? m_position + 1 : last();
    else if (is_backward())
        m_position = std::max(m_position, 0) - 1;
}

void ClipboardHistory::go_back()
{
    if (is_forward()) {
        m_position = m_position < 0 ? 0 : std::min(m_position, last()) - 1;
    } else if (is_backward()) {
        if (m_position >= last())
            m_position = last();
        else if (m_position == -1)
            m_position = 1;
        else
            ++m_position;
    }
}

void ClipboardHistory::set_paste_order(PasteOrder order)
{
    m_options.paste_order = order;
    m_options.unknown_order_text.reset();
}

void ClipboardHistory::switch_paste_order()
{
    if (is_forward()) {
        set_paste_order(PasteOrder::backward);
        m_position = last();
    } else {
        set_paste_order(PasteOrder::forward);
        m_position = 0;
    }
}

void ClipboardHistory::set_mode(Mode mode)
{
    switch (mode) {
    case Mode::automatic_forward:
        set_paste_order(PasteOrder::forward);
        m_options.use_automatic_position_movement = true;
        qDebug() << "Mode set to Automatic Forward";
        break;
    case Mode::automatic_backward:
        set_paste_order(PasteOrder::backward);
        m_options.use_automatic_position_movement = true;
        qDebug() << "Mode set to Automatic Backward";
        break;
    case Mode::manual:
        // The order stays; a hand-written one, which runs as backward, becomes a real one once the user picks a mode.
        m_options.unknown_order_text.reset();
        m_options.use_automatic_position_movement = false;
        qDebug() << "Mode set to automatic Manual";
        break;
    }
}

Mode ClipboardHistory::mode() const
{
    if (!m_options.use_automatic_position_movement)
        return Mode::manual;
    return is_forward() ? Mode::automatic_forward : Mode::automatic_backward;
}

void ClipboardHistory::lock()
{
    m_locked_position = m_position;
    m_is_position_locked = true;
}

void ClipboardHistory::unlock()
{
    m_position = m_locked_position;
    m_is_position_locked = false;
}

bool ClipboardHistory::toggle_lock(std::optional<int> selected_row)
{
    if (m_is_position_locked) {
        unlock();
        return false;
    }
    // The row is converted with the position as it stands before the lock moves it.
    const std::optional<int> index = selected_row ? index_for_row(*selected_row) : std::nullopt;
    lock();
    if (index)
        m_position = *index;
    return true;
}

int ClipboardHistory::dialog_position() const
{
    int p = std::min(m_position, last());
    if (is_forward() && p == -1)
        p = 0;
    return p;
}

std::optional<int> ClipboardHistory::index_for_row(int row) const
{
    if (row < 0)
        return std::nullopt;
    const int p = dialog_position();
    const int index = is_backward() ? p - row : p + row;
    if (index < 0 || index > last())
        return std::nullopt;
    return index;
}

QList<int> ClipboardHistory::indices_left_to_paste() const
{
    QList<int> indices;
    const int p = m_position;
    if (is_backward()) {
        for (int index = std::min(p, last()); index >= 0; --index)
            indices.append(index);
    } else if (p >= -1) {
        for (int index = std::max(p, 0); index < size(); ++index)
            indices.append(index);
    }
    return indices;
}

std::optional<QList<int>> ClipboardHistory::open_dialog_listing()
{
    if (is_backward() && m_position == -1)
        return std::nullopt;
    if (is_forward()) {
        if (m_position == size())
            return std::nullopt;
        if (m_position == -1)
            m_position = 0;
    }
    return indices_left_to_paste();
}

QString ClipboardHistory::row_text(int index) const
{
    if (index < 0 || index > last())
        return QString();
    if (m_options.is_rich_text_copy_enabled)
        return row_text_of(*mime_at(index));
    return row_text_of(text_at(index));
}

QStringList ClipboardHistory::row_texts(const QList<int>& indices) const
{
    QStringList rows;
    rows.reserve(indices.size());
    for (const int index : indices)
        rows.append(row_text(index));
    return rows;
}

namespace {

// One line of at most k_row_characters: line breaks become a visible mark, other control characters a space.
QString one_line(QStringView text, bool cut)
{
    QString line;
    line.reserve(std::min<int>(text.size(), ClipboardHistory::k_row_characters) + 1);
    int i = 0;
    for (; i < text.size() && line.size() < ClipboardHistory::k_row_characters; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            continue; // a Windows line end is one break
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            line.append(QChar(0x23CE)); // RETURN SYMBOL
        else if (c.category() == QChar::Other_Control)
            line.append(QLatin1Char(' '));
        else
            line.append(c);
    }
    // A surrogate pair cut in half would show as a broken glyph.
    if (!line.isEmpty() && QChar(line.back()).isHighSurrogate())
        line.chop(1);
    if (cut || i < text.size())
        line.append(QChar(0x2026)); // HORIZONTAL ELLIPSIS
    return line;
}

} // namespace

QString ClipboardHistory::row_text_of(const QString& text)
{
    return one_line(text, false);
}

QString ClipboardHistory::row_text_of(const QMimeData& item)
{
    const auto* stored = dynamic_cast<const StoredMimeData*>(&item);
    if (stored ? stored->holds_image() : item.hasImage())
        return QStringLiteral("Image Data");
    // Only the start of the text is read and decoded: enough bytes for every character of a row, even at four
    // bytes each. A large text lives in a file, and a row must not read a megabyte.
    for (const QString& format : {QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain")}) {
        if (!item.hasFormat(format))
            continue;
        const int wanted = 4 * (k_row_characters + 1);
        const std::shared_ptr<const Payload> payload = stored ? stored->payload(format) : nullptr;
        const QByteArray bytes = payload ? payload->head(wanted + 1) : item.data(format);
        const QString start = QString::fromUtf8(bytes.constData(), std::min(bytes.size(), wanted));
        return one_line(start, bytes.size() > wanted);
    }
    if (item.hasUrls()) {
        QStringList names;
        for (const QUrl& url : item.urls())
            names.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
        return one_line(names.join(QLatin1Char(' ')), false);
    }
    return one_line(item.text(), false);
}

bool ClipboardHistory::delete_row(int row)
{
    const std::optional<int> index = index_for_row(row);
    if (!index)
        return false;
    if (m_options.is_rich_text_copy_enabled)
        m_mime_history.erase(m_mime_history.begin() + *index);
    else
        m_text_history.removeAt(*index);
    if (!is_forward())
        --m_position;
    if (is_empty())
        m_position = -1;
    return true;
}

bool ClipboardHistory::move_row(int from, int to, const MimeCopier& copier)
{
    const std::optional<int> from_index = index_for_row(from);
    const std::optional<int> to_index = index_for_row(to);
    if (!from_index || !to_index)
        return false;
    // Both indices are taken before the move; the item then ends where row `to` stood.
    const int target = *to_index;
    if (m_options.is_rich_text_copy_enabled) {
        std::unique_ptr<QMimeData> item = std::move(m_mime_history[static_cast<size_t>(*from_index)]);
        m_mime_history.erase(m_mime_history.begin() + *from_index);
        if (copier) {
            std::unique_ptr<QMimeData> fresh = copier(*item);
            if (fresh)
                item = std::move(fresh); // the old object is destroyed here
        }
        m_mime_history.insert(m_mime_history.begin() + target, std::move(item));
    } else {
        m_text_history.move(*from_index, target);
    }
    return true;
}

std::optional<int> ClipboardHistory::status_number()
{
    if (is_backward()) {
        // Nothing is left to paste from an empty history, whatever the counter showed before it was emptied.
        if (is_empty())
            return 0;
        if (m_position == -1)
            return std::nullopt;
        return m_position + 1;
    }
    const int n = size();
    if (m_position == n)
        return std::nullopt;
    if (m_position == -1)
        m_position = 0;
    return n - m_position;
}

void ClipboardHistory::clear()
{
    m_text_history.clear();
    m_mime_history.clear();
    m_position = -1;
}
