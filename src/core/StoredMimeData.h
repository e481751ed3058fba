// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Payload.h"

#include <QImage>
#include <QMimeData>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

class FileSnapshots;

// A history item, and the clipboard content of its paste: formats and their payloads, nothing decoded. An item
// whose image bytes promised (by their header) a picture within the pixel budget also offers the decoded image
// ("application/x-qt-image", from which the clipboard makes every other image encoding); it is decoded only when
// something asks for it, and each time, so no item holds a decoded picture. share() makes a paste copy in no time:
// it holds the same payloads (and the same file snapshots). Made and used on the main thread; decode_image() and
// probe_image() on any thread.
class StoredMimeData : public QMimeData {
public:
    static inline const QString k_qt_image = QStringLiteral("application/x-qt-image");
    // 100 megapixels: a 20000 x 20000 PNG of 1.5 MB would take 1.6 GB decoded.
    static constexpr qint64 k_pixel_budget = 100'000'000;

    StoredMimeData() = default;

    // Adds the format, or replaces its payload; the order of adding is the order formats() lists.
    void set_format(const QString& format, std::shared_ptr<const Payload> payload);
    void set_format(const QString& format, const QByteArray& bytes) { set_format(format, Payload::keep(bytes)); }
    void remove_format(const QString& format);
    std::shared_ptr<const Payload> payload(const QString& format) const;
    // The stored formats (without the decoded image).
    QStringList stored_formats() const;

    // The format that holds the image's own bytes; decodable when its header promised a picture within the budget.
    void set_image_format(const QString& format, bool decodable);
    // A picture that came with no bytes of its own (from a program of this process).
    void set_picture(const QImage& image) { m_picture = image; }
    const QString& image_format() const { return m_image_format; }
    // Whether the item holds an image, decodable or not.
    bool holds_image() const { return !m_image_format.isEmpty() || !m_picture.isNull(); }

    // The snapshots of the files the item lists, shared by every copy of the item: they go when the last copy goes.
    void set_file_snapshots(std::shared_ptr<const FileSnapshots> snapshots) { m_file_snapshots = std::move(snapshots); }
    const std::shared_ptr<const FileSnapshots>& file_snapshots() const { return m_file_snapshots; }

    // A copy that shares the payloads and the snapshots.
    std::unique_ptr<StoredMimeData> share() const;
    // Brings the payloads kept in files back into memory (before the files go, when the content must outlive them).
    void keep_in_memory();

    // The image, decoded now; scaled to fit bound when one is given. Null when it does not decode or is too large.
    QImage decode_image(const QSize& bound = QSize()) const;
    // What decode_image() does, as a function of its own that any thread may call, after the item is gone too.
    std::function<QImage(const QSize&)> image_decoder() const;
    // Whether bytes hold an image within the pixel budget, reading its header only (why: the reason when not).
    static bool probe_image(const QByteArray& bytes, QString* why = nullptr);
    static QImage decode(const QByteArray& bytes, const QSize& bound = QSize());
    // Whether the bytes' header names a picture of any size.
    static bool announces_picture(const QByteArray& bytes);

    QStringList formats() const override;
    bool hasFormat(const QString& format) const override;

protected:
    QVariant retrieveData(const QString& format, QVariant::Type type) const override;

private:
    struct Entry {
        QString format;
        std::shared_ptr<const Payload> payload;
    };
    const Entry* find(const QString& format) const;

    QVector<Entry> m_entries;
    QString m_image_format;
    bool m_image_decodable = false;
    QImage m_picture;
    std::shared_ptr<const FileSnapshots> m_file_snapshots;
    // The image decoded for the last request, kept a few seconds: a program that asks for several encodings of a
    // pasted picture must not make it decode the picture for each.
    mutable QImage m_recently_decoded;
    mutable bool m_drop_scheduled = false;
};
