// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/SelfClosing.h"

#include <QDialog>

#include <memory>

class AutocompleteDatabase;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
namespace Ui {
class AutocompleteDialog;
}

// The remembered texts: a filter, the texts that contain it, a count, and buttons to the history dialog and to delete
// the selected text. Activating a row hands its whole text to App for pasting; the history button asks App for the
// history dialog. Closes itself as soon as another window becomes active, and on Escape. The SQL is the database's;
// this window only asks it. Main thread only.
class AutocompleteDialog : public QDialog {
    Q_OBJECT
public:
    // database: not owned, outlives the window.
    explicit AutocompleteDialog(AutocompleteDatabase* database);
    ~AutocompleteDialog() override;

    void update_item_count();
    // Brings the window up at `position`, kept whole on the screen there, with the keyboard in the filter.
    void show_at(const QPoint& position);
    // Hides the window when it is open; whether it was (its shortcut and button open and close it).
    bool close_if_open();
    // Deletes every remembered text once the user has said yes.
    void ask_and_delete_history(QWidget* parent);

    // For the tests.
    QLineEdit* filter() const { return m_filter; }
    QListWidget* list() const { return m_list; }
    QPushButton* history_button() const { return m_history_button; }
    QPushButton* delete_button() const { return m_delete_button; }
    QString count_text() const;
    QStringList row_texts() const;
    AutocompleteDatabase* database() const { return m_database; }

Q_SIGNALS:
    void autocomplete_list_item_activated(QString str);
    void signal_history_requested();
    void close_me();

public Q_SLOTS:
    void input_changed(const QString& str);
    void list_item_activated(QListWidgetItem* e);
    void delete_history();
    void slot_delete_selected_element();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Up, Down and Return typed in the filter move through and activate the list.
    bool filter_key(QKeyEvent* event);
    void select_first_row();

    std::unique_ptr<Ui::AutocompleteDialog> m_ui;
    AutocompleteDatabase* m_database;
    QLineEdit* m_filter = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_history_button = nullptr;
    QPushButton* m_delete_button = nullptr;
    SelfClosing m_self_closing;
};
