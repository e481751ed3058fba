// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/StoredMimeData.h"

#include <QBuffer>
#include <QDebug>
#include <QImageReader>

#include <QTimer>

#include <algorithm>

namespace {

// How long a decoded picture is kept for further requests.
constexpr int k_keep_decoded_ms = 5000;

} // namespace

void StoredMimeData::set_format(const QString& format, std::shared_ptr<const Payload> payload)
{
    for (Entry& entry : m_entries) {
        if (entry.format == format) {
            entry.payload = std::move(payload);
            return;
        }
    }
    m_entries.append(Entry{format, std::move(payload)});
}

void StoredMimeData::remove_format(const QString& format)
{
    m_entries.erase(
        std::remove_if(m_entries.begin(), m_entries.end(), [&](const Entry& entry) { return entry.format == format; }),
        m_entries.end());
    if (format == m_image_format)
        m_image_format.clear();
}

std::shared_ptr<const Payload> StoredMimeData::payload(const QString& format) const
{
    const Entry* entry = find(format);
    return entry ? entry->payload : nullptr;
}

QStringList StoredMimeData::stored_formats() const
{
    QStringList names;
    for (const Entry& entry : m_entries)
        names.append(entry.format);
    return names;
}

void StoredMimeData::set_image_format(const QString& format, bool decodable)
{
    m_image_format = format;
    m_image_decodable = decodable;
}

std::unique_ptr<StoredMimeData> StoredMimeData::share() const
{
    auto copy = std::make_unique<StoredMimeData>();
    copy->m_entries = m_entries;
    copy->m_image_format = m_image_format;
    copy->m_image_decodable = m_image_decodable;
    copy->m_picture = m_picture;
    copy->m_file_snapshots = m_file_snapshots;
    return copy;
}

void StoredMimeData::keep_in_memory()
{
    for (Entry& entry : m_entries) {
        if (entry.payload->is_in_file())
            entry.payload = Payload::hold(entry.payload->bytes());
    }
}

QImage StoredMimeData::decode_image(const QSize& bound) const
{
    return image_decoder()(bound);
}

std::function<QImage(const QSize&)> StoredMimeData::image_decoder() const
{
    if (!m_picture.isNull()) {
        return [picture = m_picture](const QSize& bound) {
            return bound.isValid() && (picture.width() > bound.width() || picture.height() > bound.height())
                       ? picture.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                       : picture;
        };
    }
    const Entry* entry = m_image_decodable ? find(m_image_format) : nullptr;
    if (!entry)
        return [](const QSize&) { return QImage(); };
    return [payload = entry->payload](const QSize& bound) { return decode(payload->bytes(), bound); };
}

namespace {

// The picture's size from its header; invalid when the header tells none.
QSize header_size(QImageReader& reader)
{
    return reader.canRead() ? reader.size() : QSize();
}

bool within_budget(const QSize& size)
{
    return size.isValid() && qint64(size.width()) * size.height() <= StoredMimeData::k_pixel_budget;
}

} // namespace

bool StoredMimeData::probe_image(const QByteArray& bytes, QString* why)
{
    QByteArray data = bytes; // shared, not copied
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = header_size(reader);
    if (within_budget(size))
        return true;
    if (why)
        *why = size.isValid() ? QStringLiteral("%1 x %2 pixels is beyond the budget of %3 megapixels")
                                    .arg(size.width())
                                    .arg(size.height())
                                    .arg(k_pixel_budget / 1'000'000)
                              : QStringLiteral("its header names no picture");
    return false;
}

bool StoredMimeData::announces_picture(const QByteArray& bytes)
{
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return header_size(reader).isValid();
}

QImage StoredMimeData::decode(const QByteArray& bytes, const QSize& bound)
{
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = header_size(reader);
    if (!within_budget(size)) {
        qDebug() << "An image of the history is not decoded: it is too large or not an image";
        return QImage();
    }
    // Formats that can scale while decoding (JPEG) then never hold the whole picture.
    if (bound.isValid() && (size.width() > bound.width() || size.height() > bound.height()))
        reader.setScaledSize(size.scaled(bound, Qt::KeepAspectRatio));
    QImage image;
    if (!reader.read(&image))
        qDebug() << "An image of the history does not decode:" << reader.errorString();
    return image;
}

QStringList StoredMimeData::formats() const
{
    QStringList names = stored_formats();
    if ((m_image_decodable || !m_picture.isNull()) && !names.contains(k_qt_image))
        names.append(k_qt_image);
    return names;
}

bool StoredMimeData::hasFormat(const QString& format) const
{
    if (format == k_qt_image)
        return m_image_decodable || !m_picture.isNull();
    return find(format) != nullptr;
}

QVariant StoredMimeData::retrieveData(const QString& format, QVariant::Type type) const
{
    if (format == k_qt_image) {
        if (m_recently_decoded.isNull())
            m_recently_decoded = decode_image();
        if (!m_drop_scheduled && !m_recently_decoded.isNull()) {
            m_drop_scheduled = true;
            QTimer::singleShot(k_keep_decoded_ms, this, [this] {
                m_recently_decoded = QImage();
                m_drop_scheduled = false;
            });
        }
        return m_recently_decoded.isNull() ? QVariant() : QVariant(m_recently_decoded);
    }
    Q_UNUSED(type) // the base class converts the bytes to what was asked for
    const Entry* entry = find(format);
    return entry ? QVariant(entry->payload->bytes()) : QVariant();
}

const StoredMimeData::Entry* StoredMimeData::find(const QString& format) const
{
    for (const Entry& entry : m_entries)
        if (entry.format == format)
            return &entry;
    return nullptr;
}
