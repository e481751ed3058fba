// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ImageViewer.h"

#include "ui/Placement.h"

#include <QBuffer>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QVBoxLayout>

ImageViewer::ImageViewer(QWidget* parent) : QDialog(parent, Qt::ToolTip | Qt::WindowDoesNotAcceptFocus)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_label = new QLabel(this);
    layout->addWidget(m_label);
}

void ImageViewer::set_pixmap(const QPixmap& pixmap)
{
    m_label->setPixmap(pixmap);
    adjustSize();
}

void ImageViewer::hide_me()
{
    setVisible(false);
    hide();
}

void ImageViewer::leaveEvent(QEvent* event)
{
    hide();
    QDialog::leaveEvent(event);
}

namespace {

QImage image_of(const QMimeData& item)
{
    QImage image = qvariant_cast<QImage>(item.imageData());
    if (!image.isNull())
        return image;
    // An item that keeps only the encoded bytes is decoded from its first image format.
    for (const QString& format : item.formats()) {
        if (!format.startsWith(QLatin1String("image/")))
            continue;
        QByteArray bytes = item.data(format);
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);
        if (reader.read(&image))
            return image;
    }
    return QImage();
}

} // namespace

QPixmap ImageViewer::preview_of(const QMimeData& item, const QSize& bound)
{
    auto cached = m_previews.constFind(&item);
    if (cached != m_previews.constEnd() && cached->bound == bound)
        return cached->pixmap;
    if (!item.hasImage())
        return QPixmap();
    QImage image = image_of(item);
    if (image.isNull())
        return QPixmap();
    if (image.width() > bound.width() || image.height() > bound.height())
        image = image.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QPixmap pixmap = QPixmap::fromImage(image);
    if (cached == m_previews.constEnd())
        connect(&item, &QObject::destroyed, this, [this, key = &item] { m_previews.remove(key); });
    m_previews.insert(&item, Preview{bound, pixmap});
    return pixmap;
}

void ImageViewer::show_beside(const QMimeData& item, const QRect& dialog, const QPoint& cursor)
{
    const QRect area = placement::screen_area(cursor);
    const QRect room = placement::beside(dialog, area, k_gap);
    // Some platforms draw a frame even around a tool-tip window: known once it was shown, and kept in the room.
    const QSize frame = frameGeometry().size() - size();
    const QPixmap preview = preview_of(item, room.size() - frame);
    if (preview.isNull())
        return;
    set_pixmap(preview);
    move(placement::inside({room.left(), cursor.y()}, preview.size() + frame, room));
    show();
    move(placement::inside(pos(), frameGeometry().size(), area));
}
