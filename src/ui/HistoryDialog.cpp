// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HistoryDialog.h"

#include "core/Trace.h"
#include "ui/ImageViewer.h"
#include "ui/ListWidget.h"
#include "ui/Placement.h"
#include "ui_HistoryDialog.h"

#include <QBoxLayout>
#include <QCursor>
#include <QDebug>
#include <QEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>

#include <algorithm>

namespace {

QPushButton* make_icon_button(const QString& icon, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setIcon(QIcon(icon));
    button->setIconSize(QSize(25, 25));
    button->setMaximumSize(25, 25);
    return button;
}

} // namespace

HistoryDialog::HistoryDialog() : QDialog(nullptr), m_ui(std::make_unique<Ui::HistoryDialog>())
{
    m_ui->setupUi(this);
    m_lock_button = make_icon_button(QStringLiteral(":/images/key.png"), this);
    m_delete_button = make_icon_button(QStringLiteral(":/images/delete.png"), this);
    m_history_button = make_icon_button(QStringLiteral(":/images/history.png"), this);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_lock_button);
    buttons->addWidget(m_delete_button);
    buttons->addWidget(m_history_button);
    buttons->addSpacing(250);

    m_list = new ListWidget;
    m_list->setMouseTracking(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setDragDropMode(QAbstractItemView::InternalMove);
    m_list->setDropIndicatorShown(false);
    // Rows are single lines; a long one ends in an ellipsis at the list's edge.
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setUniformItemSizes(true);
    auto* rows = new QHBoxLayout;
    rows->addLayout(buttons);
    rows->addWidget(m_list);

    m_order_label = new QLabel(this);
    m_order_label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_order_label);
    layout->addLayout(rows);

    setWindowTitle(QStringLiteral("History Dialog (showing only what's left to paste)"));
    connect(m_lock_button, &QPushButton::clicked, this, &HistoryDialog::slot_lock_button_clicked);
    connect(m_delete_button, &QPushButton::clicked, this, &HistoryDialog::slot_button_delete_clicked);
    connect(m_list, &QListWidget::itemEntered, this, &HistoryDialog::slot_item_entered);
    connect(m_list, &ListWidget::signal_item_pos_changed, this, &HistoryDialog::signal_move_requested);
    connect(m_history_button, &QPushButton::clicked, this, &HistoryDialog::signal_autocomplete_requested);
    m_viewer = new ImageViewer(this);
    connect(this, &HistoryDialog::signal_leave_event, m_viewer, &ImageViewer::hide_me);
    hide();
    setVisible(false);
    installEventFilter(this);
}

HistoryDialog::~HistoryDialog() = default;

void HistoryDialog::add_items(const QStringList& items)
{
    m_list->addItems(items);
    m_list->setCurrentRow(0);
}

void HistoryDialog::show_rows(const QStringList& rows, bool forward)
{
    const int current = current_row();
    clear_list();
    add_items(rows);
    if (current > 0)
        set_current_row(std::min(current, row_count() - 1));
    m_order_label->setText(forward ? QStringLiteral("Paste order is forward")
                                   : QStringLiteral("Paste order is backward"));
}

bool HistoryDialog::close_if_open()
{
    if (isHidden())
        return false;
    hide();
    return true;
}

void HistoryDialog::show_at(const QPoint& position, const QStringList& rows, bool forward)
{
    clear_list();
    show_rows(rows, forward);
    move(placement::inside(position, frameGeometry().size(), placement::screen_area(position)));
    setVisible(true);
    activateWindow();
    show();
    activateWindow();
}

void HistoryDialog::clear_list()
{
    m_list->clear();
}

int HistoryDialog::row_count() const
{
    return m_list->count();
}

int HistoryDialog::current_row() const
{
    return m_list->currentRow();
}

void HistoryDialog::set_current_row(int row)
{
    m_list->setCurrentRow(row);
}

void HistoryDialog::show_lock(bool locked)
{
    if (locked == m_is_locked_icon)
        return;
    m_lock_button->setIcon(QIcon(locked ? QStringLiteral(":/images/lock.png") : QStringLiteral(":/images/key.png")));
    m_is_locked_icon = locked;
}

void HistoryDialog::show_preview(const QMimeData* item)
{
    m_viewer->hide_me();
    // Only an image is shown: an empty viewer would be a blank box on a desktop without a compositor.
    if (item && item->hasImage())
        m_viewer->show_beside(*item, frameGeometry(), QCursor::pos());
}

QString HistoryDialog::order_text() const
{
    return m_order_label->text();
}

QStringList HistoryDialog::row_texts() const
{
    QStringList texts;
    for (int row = 0; row < m_list->count(); ++row)
        texts.append(m_list->item(row)->text());
    return texts;
}

void HistoryDialog::slot_lock_button_clicked()
{
    qDebug() << "Calling emit_lock_button_clicked()";
    Q_EMIT signal_lock_requested(m_list->currentRow());
}

void HistoryDialog::slot_item_entered(QListWidgetItem* item)
{
    Q_EMIT signal_entered_row(m_list->row(item));
}

void HistoryDialog::slot_button_delete_clicked()
{
    if (m_list->count() < 1)
        return;
    const int row = m_list->currentRow();
    if (row < 0)
        return;
    Q_EMIT signal_delete_requested(row);
}

bool HistoryDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != this)
        return QDialog::eventFilter(watched, event);
    if (m_self_closing.should_close(*this, *event)) {
        setVisible(false);
        Q_EMIT close_me();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void HistoryDialog::leaveEvent(QEvent* event)
{
    Q_EMIT signal_leave_event();
    QDialog::leaveEvent(event);
}

void HistoryDialog::hideEvent(QHideEvent* event)
{
    m_viewer->hide_me();
    QDialog::hideEvent(event);
}
