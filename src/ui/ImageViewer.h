// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QHash>
#include <QPixmap>

class QLabel;
class QMimeData;

// The hover preview of an image item: a borderless window beside the history dialog that takes neither the focus
// nor the mouse. Previews are made once per item and size and dropped with the item.
class ImageViewer : public QDialog {
    Q_OBJECT
public:
    explicit ImageViewer(QWidget* parent);

    void set_pixmap(const QPixmap& pixmap);
    // Shows the item's image beside the dialog (to its right where there is room) at the cursor's height, scaled to
    // fit the screen. Shows nothing for an item without an image.
    void show_beside(const QMimeData& item, const QRect& dialog, const QPoint& cursor);
    // The item's image scaled down to fit `bound` (never enlarged); a null pixmap when it holds no image.
    QPixmap preview_of(const QMimeData& item, const QSize& bound);
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
    QLabel* m_label = nullptr;
    QHash<const QMimeData*, Preview> m_previews;
};
