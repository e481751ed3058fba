// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DebugText.h"

#include "core/ClipboardHistory.h"
#include "core/StoredMimeData.h"

#include <QDebug>
#include <QMimeData>

#include <algorithm>
#include <vector>

namespace debug_text {

namespace {

// The explicit direction controls.
constexpr char16_t k_lre = 0x202A, k_rle = 0x202B, k_pdf = 0x202C, k_lro = 0x202D, k_rlo = 0x202E;
constexpr char16_t k_lri = 0x2066, k_rli = 0x2067, k_fsi = 0x2068, k_pdi = 0x2069;

// Formats whose data is text for a person to read.
bool is_text_format(const QString& format)
{
    return format.startsWith(QLatin1String("text/")) || format == QLatin1String("application/json") ||
           format == QLatin1String("application/xml");
}

// Whether some character of the text reads right to left or is a direction control.
bool has_direction_of_its_own(const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        uint code = text.at(i).unicode();
        if (QChar::isHighSurrogate(code) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        switch (QChar::direction(code)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirPDF:
        case QChar::DirLRI:
        case QChar::DirRLI:
        case QChar::DirFSI:
        case QChar::DirPDI:
            return true;
        default:
            break;
        }
    }
    return false;
}

// The start of a text format's bytes on one line, isolated, with the size when it was cut.
QString text_start(const QByteArray& head, qint64 size)
{
    // Only the start is decoded: enough bytes for every character shown, even at four bytes each.
    const int wanted = 4 * (k_text_characters + 1);
    const QString start = QString::fromUtf8(head.constData(), std::min(head.size(), wanted));
    QString shown = isolated(ClipboardHistory::row_text_of(start.left(k_text_characters)));
    if (size > wanted || start.size() > k_text_characters)
        shown += QStringLiteral(" … (%1 bytes)").arg(size);
    return shown;
}

} // namespace

QString isolated(const QString& text)
{
    if (!has_direction_of_its_own(text))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    out += QChar(k_fsi);
    // The closing mark each control still open needs, innermost last.
    std::vector<char16_t> open;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case k_lre:
        case k_rle:
        case k_lro:
        case k_rlo:
            open.push_back(k_pdf);
            break;
        case k_lri:
        case k_rli:
        case k_fsi:
            open.push_back(k_pdi);
            break;
        case k_pdf:
            // Closes the innermost embedding; one with nothing to close (or an isolate in the way) goes.
            if (open.empty() || open.back() != k_pdf)
                continue;
            open.pop_back();
            break;
        case k_pdi:
            // Closes the innermost isolate and what is open inside it; a stray one would close ours.
            if (std::find(open.begin(), open.end(), k_pdi) == open.end())
                continue;
            while (open.back() != k_pdi)
                open.pop_back();
            open.pop_back();
            break;
        default:
            break;
        }
        out += c;
    }
    for (auto closing = open.rbegin(); closing != open.rend(); ++closing)
        out += QChar(*closing);
    out += QChar(k_pdi);
    return out;
}

QString text_state(const ClipboardHistory& history)
{
    QList<int> lengths;
    for (const QString& text : history.text_items())
        lengths << text.size();
    QString state;
    QDebug(&state) << "m_stackpaste_clipboard_text_history (lengths):" << lengths
                   << "\nm_current_clipboard_history_position: " << history.position();
    return state;
}

QString mime_state(const ClipboardHistory& history)
{
    QString state;
    QDebug(&state) << "Size of m_stackpaste_clipboard_mime_data_history is: " << history.mime_items().size()
                   << "\nm_current_clipboard_history_position: " << history.position();
    return state;
}

QString cut(const QString& text)
{
    QString line = isolated(ClipboardHistory::row_text_of(text.left(k_text_characters)));
    if (text.size() > k_text_characters)
        line += QStringLiteral(" … (%1 characters)").arg(text.size());
    return line;
}

QString mime_item_line(int index, const QMimeData& item)
{
    const auto* stored = dynamic_cast<const StoredMimeData*>(&item);
    QString line = QString::number(index) + QStringLiteral(": {");
    for (const QString& format : item.formats()) {
        line += QStringLiteral("{format:") + isolated(format) + QStringLiteral(", mime_data:");
        const std::shared_ptr<const Payload> payload = stored ? stored->payload(format) : nullptr;
        if (payload) {
            // The size is known without the bytes, which may lie in a file.
            if (is_text_format(format))
                line += text_start(payload->head(4 * (k_text_characters + 1) + 1), payload->size());
            else
                line += QStringLiteral("%1 bytes").arg(payload->size());
        } else if (format == StoredMimeData::k_qt_image) {
            // Asking for it would decode the picture (a hundred megapixels take seconds and gigabytes).
            line += QStringLiteral("the picture, decoded when a program asks for it");
        } else {
            const QByteArray data = item.data(format);
            line +=
                is_text_format(format) ? text_start(data, data.size()) : QStringLiteral("%1 bytes").arg(data.size());
        }
        line += QStringLiteral("}, ");
    }
    line += QStringLiteral("}\n");
    return line;
}

QString body(const ClipboardHistory& history)
{
    QString text =
        QStringLiteral("Current clipboard history position:") + QString::number(history.position()) + QLatin1Char('\n');
    if (history.is_rich_text_copy_enabled()) {
        int index = 0;
        for (const auto& item : history.mime_items())
            text += mime_item_line(index++, *item);
    } else {
        const QStringList& items = history.text_items();
        for (int index = 0; index < items.size(); ++index)
            text += QString::number(index) + QStringLiteral(": ") + cut(items.at(index)) + QLatin1Char('\n');
    }
    return text;
}

} // namespace debug_text
