// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/CaptureRules.h"

#include "core/StoredMimeData.h"

#include <QDebug>
#include <QSet>

namespace {

// The targets that carry the plain text, best first: the UTF-8 ones, then ICCCM's STRING and TEXT (Latin-1, which
// loses every other character), then a bare "text/plain" of unknown encoding.
const QStringList& text_targets()
{
    static const QStringList targets{"UTF8_STRING", "text/plain;charset=utf-8", "STRING", "TEXT", "text/plain"};
    return targets;
}
const QString k_utf8_text = QStringLiteral("text/plain;charset=utf-8");
const QString k_uri_list = QStringLiteral("text/uri-list");
const QString k_moz_url = QStringLiteral("text/x-moz-url");
const QString k_qt_image = QStringLiteral("application/x-qt-image");

// Whether bytes look like UTF-16 text: a byte order mark, or the zero bytes of ASCII in two-byte units.
bool looks_like_utf16(const QByteArray& data)
{
    if (data.size() < 2)
        return false;
    const auto first = static_cast<quint8>(data.at(0));
    const auto second = static_cast<quint8>(data.at(1));
    return (first == 0xff && second == 0xfe) || (first == 0xfe && second == 0xff) || (first != 0 && second == 0) ||
           (first == 0 && second != 0);
}

QString from_utf16(const QByteArray& data)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(data.constData()), data.size() / 2);
}

// A browser's link list: the address and the title on alternate lines, in UTF-16. Only the addresses are URLs.
QByteArray uri_list_of_moz_url(const QByteArray& data)
{
    const QString text = looks_like_utf16(data) ? from_utf16(data) : QString::fromUtf8(data);
    const QStringList lines = text.split(QLatin1Char('\n'));
    QByteArray list;
    for (int i = 0; i < lines.size(); i += 2) {
        const QString url = lines.at(i).trimmed();
        if (!url.isEmpty())
            list += url.toUtf8() + "\r\n";
    }
    return list;
}

// Some owners send their HTML in UTF-16, some end it with a zero byte.
QByteArray html_of(QByteArray data)
{
    if (looks_like_utf16(data)) {
        QString text = from_utf16(data);
        if (text.startsWith(QChar(0xfeff)))
            text.remove(0, 1);
        return text.toUtf8();
    }
    if (data.endsWith('\0'))
        data.chop(1);
    return data;
}

} // namespace

namespace capture_rules {

bool is_pseudo_target(const QString& name)
{
    static const QSet<QString> targets{"TARGETS", "MULTIPLE",         "TIMESTAMP",       "SAVE_TARGETS",
                                       "DELETE",  "INSERT_SELECTION", "INSERT_PROPERTY", "PIXMAP",
                                       "BITMAP",  "DRAWABLE",         "COLORMAP",        "NULL"};
    return targets.contains(name);
}

QStringList wanted_targets(const QStringList& offered)
{
    // One encoding of an image: the owner makes every other one from the same picture, at great cost for a large one.
    QString image;
    for (const QString& target : offered) {
        if (target == QLatin1String("image/png")) {
            image = target;
            break;
        }
        if (image.isEmpty() && target.startsWith(QLatin1String("image/")))
            image = target;
    }
    // One transfer of the text: the owner offers the same text in up to six encodings.
    QString text;
    for (const QString& target : text_targets()) {
        if (offered.contains(target)) {
            text = target;
            break;
        }
    }
    QStringList wanted;
    for (const QString& target : offered) {
        if (is_pseudo_target(target) || wanted.contains(target))
            continue;
        if (target.startsWith(QLatin1String("image/")) && target != image)
            continue;
        if (target == k_qt_image && !image.isEmpty())
            continue;
        const bool is_text = text_targets().contains(target);
        if (is_text && target != text)
            continue;
        if (target == QLatin1String("COMPOUND_TEXT") && !text.isEmpty())
            continue;
        if (target == k_moz_url && offered.contains(k_uri_list))
            continue;
        wanted.append(target);
    }
    return wanted;
}

QVector<QPair<QString, QByteArray>> formats_of(const QVector<Received>& received, const QStringList& offered)
{
    QVector<QPair<QString, QByteArray>> formats;
    const auto add = [&formats](const QString& format, const QByteArray& data) {
        for (const auto& known : qAsConst(formats))
            if (known.first == format)
                return;
        formats.append({format, data});
    };
    for (const Received& item : received) {
        const QString& target = item.target;
        if (text_targets().contains(target)) {
            const bool latin1 = target == QLatin1String("STRING") || target == QLatin1String("TEXT");
            QByteArray utf8 = latin1 ? QString::fromLatin1(item.data).toUtf8() : item.data;
            // Some owners end their text with a zero byte, which is no part of it.
            if (utf8.endsWith('\0'))
                utf8.chop(1);
            add(QStringLiteral("text/plain"), utf8);
            // The same text under the name with its character set, when the owner offered that name too.
            if (offered.contains(k_utf8_text))
                add(k_utf8_text, utf8);
        } else if (target == k_qt_image) {
            // Only taken when no image/* target was offered: a Qt owner sends its picture as PNG.
            add(QStringLiteral("image/png"), item.data);
        } else if (target == k_moz_url) {
            add(k_uri_list, uri_list_of_moz_url(item.data));
        } else if (target == QLatin1String("text/html")) {
            add(target, html_of(item.data));
        } else {
            add(target, item.data);
        }
    }
    return formats;
}

void gather(const QVector<QPair<QString, QByteArray>>& formats, ClipboardCapture& capture,
            std::vector<std::shared_ptr<Payload>>& large)
{
    const int first = capture.formats.size();
    for (int index = 0; index < formats.size(); ++index) {
        const QPair<QString, QByteArray>& format = formats.at(index);
        // Two names of one text share one payload.
        std::shared_ptr<const Payload> payload;
        for (int i = 0; i < index && !payload; ++i) {
            if (!format.second.isEmpty() && formats.at(i).second.constData() == format.second.constData())
                payload = capture.formats.at(first + i).payload;
        }
        if (!payload && capture.image_format.isEmpty() && format.first.startsWith(QLatin1String("image/"))) {
            capture.image_format = format.first;
            QString why;
            capture.image_decodable = StoredMimeData::probe_image(format.second, &why);
            if (!capture.image_decodable)
                qDebug().noquote() << "The copied image is kept as it came but never decoded:" << why;
        }
        if (!payload) {
            std::shared_ptr<Payload> held = Payload::hold(format.second);
            if (held->belongs_in_file())
                large.push_back(held);
            payload = held;
        }
        capture.formats.append(ClipboardCapture::Format{format.first, payload});
    }
}

} // namespace capture_rules
