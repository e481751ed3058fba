// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DebugText.h"

#include "core/ClipboardHistory.h"

#include <QMimeData>

#include <algorithm>

namespace debug_text {

namespace {

// Formats whose data is text for a person to read.
bool is_text_format(const QString& format)
{
    return format.startsWith(QLatin1String("text/")) || format == QLatin1String("application/json") ||
           format == QLatin1String("application/xml");
}

} // namespace

QString cut(const QString& text)
{
    QString line = ClipboardHistory::row_text_of(text.left(k_text_characters));
    if (text.size() > k_text_characters)
        line += QStringLiteral(" … (%1 characters)").arg(text.size());
    return line;
}

QString mime_item_line(int index, const QMimeData& item)
{
    QString line = QString::number(index) + QStringLiteral(": {");
    for (const QString& format : item.formats()) {
        const QByteArray data = item.data(format);
        line += QStringLiteral("{format:") + format + QStringLiteral(", mime_data:");
        if (is_text_format(format)) {
            // Only the start is decoded: enough bytes for every character shown, even at four bytes each.
            const int wanted = 4 * (k_text_characters + 1);
            const QString start = QString::fromUtf8(data.constData(), std::min(data.size(), wanted));
            line += ClipboardHistory::row_text_of(start.left(k_text_characters));
            if (data.size() > wanted || start.size() > k_text_characters)
                line += QStringLiteral(" … (%1 bytes)").arg(data.size());
        } else {
            line += QStringLiteral("%1 bytes").arg(data.size());
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
