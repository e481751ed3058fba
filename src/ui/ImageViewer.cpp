// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ImageViewer.h"

#include "core/StoredMimeData.h"
#include "ui/Placement.h"

#include <QBuffer>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QThreadPool>
#include <QVBoxLayout>

#include <mutex>

// Where a decoding on the pool hands its picture: the viewer while it lives.
struct ImageViewer::Mailbox {
    std::mutex mutex;
    ImageViewer* viewer = nullptr;
};

ImageViewer::ImageViewer(QWidget* parent) : QDialog(parent, Qt::ToolTip | Qt::WindowDoesNotAcceptFocus)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_label = new QLabel(this);
    layout->addWidget(m_label);
    m_mailbox = std::make_shared<Mailbox>();
    m_mailbox->viewer = this;
}

ImageViewer::~ImageViewer()
{
    const std::lock_guard<std::mutex> lock(m_mailbox->mutex);
    m_mailbox->viewer = nullptr;
}

void ImageViewer::set_pixmap(const QPixmap& pixmap)
{
    m_label->setPixmap(pixmap);
    adjustSize();
}

void ImageViewer::hide_me()
{
    m_wanted = nullptr;
    setVisible(false);
    hide();
}

void ImageViewer::leaveEvent(QEvent* event)
{
    m_wanted = nullptr;
    hide();
    QDialog::leaveEvent(event);
}

namespace {

QImage image_of(const QMimeData& item, const QSize& bound)
{
    if (const auto* stored = dynamic_cast<const StoredMimeData*>(&item))
        return stored->decode_image(bound);
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
    QImage image = image_of(item, bound);
    if (image.isNull())
        return QPixmap();
    if (image.width() > bound.width() || image.height() > bound.height())
        image = image.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QPixmap pixmap = QPixmap::fromImage(image);
    remember(item, bound, pixmap);
    return pixmap;
}

void ImageViewer::remember(const QMimeData& item, const QSize& bound, const QPixmap& pixmap)
{
    if (!m_previews.contains(&item))
        connect(&item, &QObject::destroyed, this, [this, key = &item] { m_previews.remove(key); });
    m_previews.insert(&item, Preview{bound, pixmap});
}

bool ImageViewer::decode_later(const QMimeData& item, const QSize& bound)
{
    const auto* stored = dynamic_cast<const StoredMimeData*>(&item);
    if (!stored || !stored->hasImage())
        return false;
    if (m_pending.value(&item) == bound)
        return true; // on its way
    m_pending.insert(&item, bound);
    // The job holds the image's payload, not the item: the item may be deleted while it runs.
    std::function<QImage(const QSize&)> decoder = stored->image_decoder();
    QPointer<QObject> key(const_cast<QMimeData*>(&item));
    const QMimeData* const address = &item;
    ++m_decoding;
    QThreadPool::globalInstance()->start([mailbox = m_mailbox, decoder, bound, key, address] {
        const QImage image = decoder(bound);
        const std::lock_guard<std::mutex> lock(mailbox->mutex);
        if (!mailbox->viewer)
            return;
        ImageViewer* viewer = mailbox->viewer;
        QMetaObject::invokeMethod(
            viewer,
            [viewer, image, bound, key, address] {
                --viewer->m_decoding;
                if (viewer->m_pending.value(address) == bound)
                    viewer->m_pending.remove(address);
                if (!key || image.isNull())
                    return;
                const QPixmap pixmap = QPixmap::fromImage(image);
                const auto& done = *static_cast<const QMimeData*>(key.data());
                viewer->remember(done, bound, pixmap);
                if (viewer->m_wanted == key && viewer->parentWidget() && viewer->parentWidget()->isVisible())
                    viewer->present(pixmap, viewer->m_place);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void ImageViewer::show_beside(const QMimeData& item, const QRect& dialog, const QPoint& cursor)
{
    const QRect area = placement::screen_area(cursor);
    const QRect room = placement::beside(dialog, area, k_gap);
    // Some platforms draw a frame even around a tool-tip window: known once it was shown, and kept in the room.
    const QSize frame = frameGeometry().size() - size();
    const QSize bound = room.size() - frame;
    m_place = Place{room, area, cursor, frame};
    m_wanted = const_cast<QMimeData*>(&item);
    auto cached = m_previews.constFind(&item);
    if (cached != m_previews.constEnd() && cached->bound == bound) {
        present(cached->pixmap, m_place);
        return;
    }
    if (decode_later(item, bound))
        return;
    const QPixmap preview = preview_of(item, bound);
    if (!preview.isNull())
        present(preview, m_place);
}

void ImageViewer::present(const QPixmap& pixmap, const Place& place)
{
    set_pixmap(pixmap);
    move(placement::inside({place.room.left(), place.cursor.y()}, pixmap.size() + place.frame, place.room));
    show();
    move(placement::inside(pos(), frameGeometry().size(), place.area));
}
