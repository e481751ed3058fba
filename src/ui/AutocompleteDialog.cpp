// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AutocompleteDialog.h"

#include "core/AutocompleteDatabase.h"
#include "core/ClipboardHistory.h"
#include "core/Trace.h"
#include "ui/MessageBox.h"
#include "ui/Placement.h"
#include "ui_AutocompleteDialog.h"

#include <QDebug>
#include <QKeyEvent>

namespace {

// The full text of a row: the row itself shows one short line.
constexpr int k_text_role = Qt::UserRole;

} // namespace

AutocompleteDialog::AutocompleteDialog(AutocompleteDatabase* database)
    : QDialog(nullptr), m_ui(std::make_unique<Ui::AutocompleteDialog>()), m_database(database)
{
    m_ui->setupUi(this);
    m_filter = m_ui->lineEdit;
    m_list = m_ui->listWidget;
    m_history_button = m_ui->pushButton;
    m_delete_button = m_ui->pushButton_2;
    hide();
    installEventFilter(this);
    m_filter->installEventFilter(this);
    setWindowTitle(QStringLiteral("Autocomplete"));
    m_history_button->setIcon(QIcon(QStringLiteral(":/images/history.png")));
    m_delete_button->setIcon(QIcon(QStringLiteral(":/images/delete.png")));
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setUniformItemSizes(true);
    connect(m_filter, &QLineEdit::textChanged, this, &AutocompleteDialog::input_changed);
    connect(m_list, &QListWidget::itemActivated, this, &AutocompleteDialog::list_item_activated);

    input_changed(QString());
    connect(m_history_button, &QPushButton::clicked, this, &AutocompleteDialog::signal_history_requested);
    connect(m_delete_button, &QPushButton::clicked, this, &AutocompleteDialog::slot_delete_selected_element);
    // Changes are written off the main thread; the count follows when they are.
    connect(m_database, &AutocompleteDatabase::signal_written, this, &AutocompleteDialog::update_item_count);
    update_item_count();
}

AutocompleteDialog::~AutocompleteDialog() = default;

void AutocompleteDialog::show_at(const QPoint& position)
{
    move(placement::inside(position, frameGeometry().size(), placement::screen_area(position)));
    show();
    activateWindow();
    setVisible(true);
    activateWindow();
    show();
    activateWindow();
    m_filter->setFocus();
}

void AutocompleteDialog::input_changed(const QString& str)
{
    m_list->clear();
    for (const QString& text : m_database->matching(str)) {
        auto* item = new QListWidgetItem(ClipboardHistory::row_text_of(text), m_list);
        item->setData(k_text_role, text);
    }
    select_first_row();
}

void AutocompleteDialog::select_first_row()
{
    if (m_list->count() > 0) {
        m_list->item(0)->setSelected(true);
        m_list->setCurrentRow(0);
    }
}

void AutocompleteDialog::list_item_activated(QListWidgetItem* e)
{
    qDebug() << "Trying to activate";
    if (!e)
        return;
    const QString text = e->data(k_text_role).toString();
    m_filter->setText(QString());
    m_filter->setFocus();
    hide();
    Q_EMIT autocomplete_list_item_activated(text);
}

bool AutocompleteDialog::close_if_open()
{
    if (isHidden())
        return false;
    hide();
    return true;
}

void AutocompleteDialog::ask_and_delete_history(QWidget* parent)
{
    if (message_box::question(parent, QStringLiteral("Warning"),
                              QStringLiteral("Are you sure you want to clear the history file?")) == QMessageBox::Yes)
        delete_history();
}

void AutocompleteDialog::delete_history()
{
    m_database->remove_all();
    m_list->clear();
}

void AutocompleteDialog::slot_delete_selected_element()
{
    TRACE("START slot_delete_selected_element()");
    QListWidgetItem* item = m_list->currentItem();
    if (!item)
        return;
    // The row goes at once; the file follows on the writer's thread.
    if (m_database->remove(item->data(k_text_role).toString())) {
        const std::unique_ptr<QListWidgetItem> removed(m_list->takeItem(m_list->row(item)));
        select_first_row();
    }
    TRACE("END slot_delete_selected_element()");
}

void AutocompleteDialog::update_item_count()
{
    const std::optional<int> count = m_database->count();
    if (!count)
        return;
    m_ui->label->setText(QStringLiteral("There are %1 items in history").arg(*count));
}

QString AutocompleteDialog::count_text() const
{
    return m_ui->label->text();
}

QStringList AutocompleteDialog::row_texts() const
{
    QStringList texts;
    for (int row = 0; row < m_list->count(); ++row)
        texts.append(m_list->item(row)->data(k_text_role).toString());
    return texts;
}

void AutocompleteDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        qDebug() << "Key Escape";
        hide();
    }
    // Every other key is ignored here, so Return does not close the window.
}

bool AutocompleteDialog::filter_key(QKeyEvent* event)
{
    const int rows = m_list->count();
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        if (rows == 0)
            return true;
        const int step = event->key() == Qt::Key_Up ? -1 : 1;
        m_list->setCurrentRow(std::clamp(m_list->currentRow() + step, 0, rows - 1));
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (QListWidgetItem* item = m_list->currentItem())
            list_item_activated(item);
        return true;
    default:
        return false;
    }
}

bool AutocompleteDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_filter) {
        if (event->type() == QEvent::KeyPress && filter_key(static_cast<QKeyEvent*>(event)))
            return true;
        return QDialog::eventFilter(watched, event);
    }
    if (watched != this)
        return QDialog::eventFilter(watched, event);
    if (m_self_closing.should_close(*this, *event)) {
        setVisible(false);
        Q_EMIT close_me();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
