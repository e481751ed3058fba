// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/HistoryListing.h"

#include "core/ClipboardHistory.h"
#include "core/StoredMimeData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMimeData>
#include <QPair>

namespace history_listing {

namespace {

// What the command line tells of one item: its kind, its formats with their sizes, and its text when it is text.
struct ItemFacts {
    QString kind;
    QList<QPair<QString, qint64>> formats;
    qint64 bytes = 0;
};

QString kind_of(const QMimeData& item)
{
    const auto* stored = dynamic_cast<const StoredMimeData*>(&item);
    if (stored ? stored->holds_image() : item.hasImage())
        return QStringLiteral("image");
    if (item.hasUrls())
        return QStringLiteral("files");
    return item.hasText() ? QStringLiteral("text") : QStringLiteral("other");
}

ItemFacts facts_of(const ClipboardHistory& history, int index)
{
    ItemFacts facts;
    if (!history.is_rich_text_copy_enabled()) {
        facts.kind = QStringLiteral("text");
        facts.bytes = history.text_at(index).toUtf8().size();
        facts.formats.append({QStringLiteral("text/plain"), facts.bytes});
        return facts;
    }
    const QMimeData& item = *history.mime_at(index);
    facts.kind = kind_of(item);
    const auto* stored = dynamic_cast<const StoredMimeData*>(&item);
    for (const QString& format : stored ? stored->stored_formats() : item.formats()) {
        const std::shared_ptr<const Payload> payload = stored ? stored->payload(format) : nullptr;
        const qint64 size = payload ? payload->size() : item.data(format).size();
        facts.formats.append({format, size});
        facts.bytes += size;
    }
    return facts;
}

QString whole_text(const ClipboardHistory& history, int index)
{
    return history.is_rich_text_copy_enabled() ? history.mime_at(index)->text() : history.text_at(index);
}

} // namespace

QByteArray lines(const ClipboardHistory& history)
{
    QByteArray out;
    for (const int index : history.indices_left_to_paste()) {
        const ItemFacts item = facts_of(history, index);
        out += QStringLiteral("%1\t%2\t%3\t%4\n")
                   .arg(index)
                   .arg(item.kind)
                   .arg(item.bytes)
                   .arg(history.row_text(index).simplified())
                   .toUtf8();
    }
    return out;
}

QByteArray json(const ClipboardHistory& history)
{
    QJsonArray array;
    for (const int index : history.indices_left_to_paste()) {
        const ItemFacts item = facts_of(history, index);
        QJsonObject object{{QStringLiteral("position"), index}, {QStringLiteral("kind"), item.kind}};
        if (item.kind == QLatin1String("text"))
            object.insert(QStringLiteral("text"), whole_text(history, index));
        QJsonArray formats;
        for (const auto& format : item.formats)
            formats.append(
                QJsonObject{{QStringLiteral("type"), format.first}, {QStringLiteral("bytes"), double(format.second)}});
        object.insert(QStringLiteral("formats"), formats);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n';
}

remote::Answer next(const ClipboardHistory& history)
{
    remote::Answer answer;
    const std::optional<int> index = history.next_paste();
    if (!index)
        return {remote::k_exit_not_text, {}, "nothing left to paste\n"};
    const ItemFacts item = facts_of(history, *index);
    if (item.kind == QLatin1String("text")) {
        answer.out = whole_text(history, *index).toUtf8();
        return answer;
    }
    return {remote::k_exit_not_text, {}, QStringLiteral("%1, %2 bytes\n").arg(item.kind).arg(item.bytes).toUtf8()};
}

} // namespace history_listing
