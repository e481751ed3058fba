// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/StatusIndicator.h"

#include "ui/Placement.h"

#include "ui_StatusIndicator.h"

#include <QDebug>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

constexpr int k_side = 50;
constexpr int k_point_size = 32;
constexpr int k_smallest_point_size = 8;
// The part of the window that must lie on a screen for the user to find it and drag it back.
constexpr int k_grabbable = 20;

// The distance from `point` to the rectangle (0 inside it).
qint64 distance_squared(const QPoint& point, const QRect& rect)
{
    const qint64 dx = std::max({rect.left() - point.x(), 0, point.x() - rect.right()});
    const qint64 dy = std::max({rect.top() - point.y(), 0, point.y() - rect.bottom()});
    return dx * dx + dy * dy;
}

} // namespace

StatusIndicator::StatusIndicator() : QDialog(nullptr), m_ui(std::make_unique<Ui::StatusIndicator>())
{
    m_ui->setupUi(this);
    // A tool window: no taskbar entry; it floats above the others and is never given the keyboard focus, so
    // showing it does not take the focus from the program the user is typing in.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setMaximumSize(k_side, k_side);
    setMinimumSize(k_side, k_side);
    m_label = new QLabel(this);
    setWindowOpacity(0.75);
    show_paused(false);
    m_label->setMaximumSize(k_side, k_side);
    m_label->setMinimumSize(k_side, k_side);
    m_label->setMargin(0);
    m_label->setGeometry(0, 0, k_side, k_side);
    m_label->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("Arial"), k_point_size, QFont::Bold, false);
    m_label->setFont(font);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
}

StatusIndicator::~StatusIndicator() = default;

void StatusIndicator::set_number(int n)
{
    const QString text = QString::number(n);
    // Three digits (a full history) are wider than the window at the usual size, and the centred label would show
    // their middle only ("00" for 100): the size goes down until the number fits.
    QFont font = m_label->font();
    font.setPointSize(k_point_size);
    const int room = m_label->contentsRect().width() - 4;
    while (font.pointSize() > k_smallest_point_size && QFontMetrics(font).horizontalAdvance(text) > room)
        font.setPointSize(font.pointSize() - 1);
    if (font != m_label->font())
        m_label->setFont(font);
    m_label->setText(text);
}

QString StatusIndicator::number_text() const
{
    return m_label->text();
}

void StatusIndicator::set_transparency(int q)
{
    setWindowOpacity(q / 100.0);
}

// The images are drawn at 256 pixels for sharp icons: a border image scales one to the 50 pixels of the window,
// where a background image would show its top-left corner only.
// A style sheet costs milliseconds to apply, and every copy asks for the look again: only a change is applied.
void StatusIndicator::show_paused(bool paused)
{
    const Look look = paused ? Look::paused : Look::normal;
    if (m_look == look)
        return;
    m_look = look;
    setStyleSheet(paused ? QStringLiteral("border-image: url(:/images/app_paused.png)")
                         : QStringLiteral("border-image: url(:/images/app.png)"));
}

void StatusIndicator::move_to(const QPoint& position)
{
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->geometry();
    const QPoint target = on_screen(position, size(), screens);
    if (target != position)
        qDebug() << "The status indicator's stored position" << position << "is on no screen; shown at" << target;
    move(target);
}

QPoint StatusIndicator::on_screen(const QPoint& position, const QSize& size, const QList<QRect>& screens)
{
    if (screens.isEmpty())
        return position;
    // Enough of it on a screen to be seen and grabbed with the mouse: kept to the pixel.
    const QRect window(position, size);
    for (const QRect& screen : screens) {
        const QRect visible = screen.intersected(window);
        if (visible.width() >= k_grabbable && visible.height() >= k_grabbable)
            return position;
    }
    // On no screen: just inside the screen nearest to the window's centre, moved as little as possible.
    const QRect* nearest = &screens.first();
    qint64 best = std::numeric_limits<qint64>::max();
    for (const QRect& screen : screens) {
        const qint64 distance = distance_squared(window.center(), screen);
        if (distance < best) {
            best = distance;
            nearest = &screen;
        }
    }
    return placement::inside(position, size, *nearest);
}

void StatusIndicator::mousePressEvent(QMouseEvent* event)
{
    m_is_mouse_pressed = true;
    m_press_offset = event->pos();
    m_position = event->globalPos() - m_press_offset;
    m_press_position = m_position;
}

void StatusIndicator::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_is_mouse_pressed)
        return;
    m_position = event->globalPos() - m_press_offset;
    move(m_position);
}

void StatusIndicator::mouseReleaseEvent(QMouseEvent*)
{
    m_is_mouse_pressed = false;
    if (m_position == m_press_position)
        Q_EMIT clicked();
}
