// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QPoint>

#include <memory>

class QLabel;
namespace Ui {
class StatusIndicator;
}

// The floating counter: a 50 x 50 window above all others that shows the program's icon (or its paused variant) and
// the number of items still to paste. Any mouse button drags it; a press and release that did not move it by a
// single pixel is a click. It never takes the keyboard focus and has no taskbar entry, and it stays shown while the
// main window is hidden. Main thread only.
class StatusIndicator : public QDialog {
    Q_OBJECT
public:
    // Without a parent window: a window manager may hide a dialog whose parent is not mapped, and the main window
    // is hidden most of the time. The App owns it.
    StatusIndicator();
    ~StatusIndicator() override;

    void set_number(int n);
    QString number_text() const;
    // The top-left corner in global coordinates.
    QPoint position() const { return pos(); }
    // Moves the top-left corner to `position`; one that lies on no screen (a monitor unplugged, a smaller
    // resolution) is brought onto the nearest screen, so the counter can never get lost.
    void move_to(const QPoint& position);

    // Where a window of `size` at `position` may stand among `screens` (their available areas): unchanged when it
    // lies on one of them, otherwise moved just inside the nearest one.
    static QPoint on_screen(const QPoint& position, const QSize& size, const QList<QRect>& screens);

Q_SIGNALS:
    void clicked();

public Q_SLOTS:
    void set_transparency(int q);
    // The program's icon, or its paused variant, behind the number.
    void show_paused(bool paused);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    std::unique_ptr<Ui::StatusIndicator> m_ui;
    QLabel* m_label = nullptr;
    enum class Look { none, normal, paused };
    Look m_look = Look::none;
    bool m_is_mouse_pressed = false;
    QPoint m_press_offset;
    QPoint m_position{50, 50};
    QPoint m_press_position;
};
