// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QHash>
#include <QPixmap>
#include <QPointer>
#include <QRect>

#include <memory>

class QLabel;
class QMimeData;

// The hover preview of an image item: a borderless window beside the history dialog that takes neither the focus
// nor the mouse. Previews are made once per item and size and dropped with the item. A history item's picture is
// decoded on a thread of the pool, never on the main thread; the preview shows when it is ready, if the row it
// belongs to is still the one under the cursor.
class ImageViewer : public QDialog {
    Q_OBJECT
public:
    explicit ImageViewer(QWidget* parent);
    ~ImageViewer() override;

    void set_pixmap(const QPixmap& pixmap);
    // Shows the item's image beside the dialog (to its right where there is room) at the cursor's height, scaled to
    // fit the screen. Shows nothing for an item without an image.
    void show_beside(const QMimeData& item, const QRect& dialog, const QPoint& cursor);
    // The item's image scaled down to fit `bound` (never enlarged), decoded now; a null pixmap when it holds no image.
    QPixmap preview_of(const QMimeData& item, const QSize& bound);
    // Whether a preview is being decoded (tests).
    bool is_decoding() const { return m_decoding > 0; }
    int cached_previews() const { return m_previews.size(); }

public Q_SLOTS:
    void hide_me();

protected:
    void leaveEvent(QEvent* event) override;

private:
    // The preview stands this far from the dialog.
    static constexpr int k_gap = 11;
    struct Preview {
        QSize bound;
        QPixmap pixmap;
    };
    struct Mailbox;
    struct Place {
        QRect room;
        QRect area;
        QPoint cursor;
        QSize frame;
    };
    void remember(const QMimeData& item, const QSize& bound, const QPixmap& pixmap);
    void present(const QPixmap& pixmap, const Place& place);
    // Decodes a history item's picture on the pool; false when the item is not one.
    bool decode_later(const QMimeData& item, const QSize& bound);

    QLabel* m_label = nullptr;
    QHash<const QMimeData*, Preview> m_previews;
    QPointer<QObject> m_wanted; // the item whose preview is to show when its decoding ends
    Place m_place;
    int m_decoding = 0;
    QHash<const QMimeData*, QSize> m_pending; // the decodings under way: item and bound
    std::shared_ptr<Mailbox> m_mailbox;
};
