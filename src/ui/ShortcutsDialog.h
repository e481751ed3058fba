// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ShortcutTable.h"

#include <QDialog>
#include <QString>

#include <array>
#include <memory>

class QLineEdit;
class QPushButton;
class QSlider;
namespace Ui {
class ShortcutsDialog;
}

// "Change Settings": the shortcut of each command and the counter's transparency. A click on a row's shortcut starts a
// capture: the keys pressed next (five at most, in the order pressed) are written into the row, and the first key
// release ends it and keeps what was recorded. Escape during a capture gives the row back its previous shortcut;
// otherwise it does nothing: the dialog closes by its Ok or close button only.
// Each key is recorded by the name QKeySequence reads back ("F1", "Home", "Del"); Ctrl, Alt, Shift, Meta, the arrows
// and Space by their own names, letters, digits and punctuation as their character. The dialog only holds the texts;
// whoever shows it gives the hotkeys up before and applies the texts on accepted() and rejected(). Main thread only.
class ShortcutsDialog : public QDialog {
    Q_OBJECT
public:
    ShortcutsDialog();
    ~ShortcutsDialog() override;

    const std::array<QString, k_shortcut_count>& shortcut_texts() const { return m_shortcut_texts; }
    void set_shortcut_texts(const std::array<QString, k_shortcut_count>& texts);
    // Marks the row as without a working shortcut, with `why` in its tool tip; an empty text clears the mark.
    void set_row_problem(int row, const QString& why);
    QString row_problem(int row) const;
    QSlider* slider() const;
    // The transparency slider starts at the window's opacity (so its first touch does not make it vanish) and
    // sets it from then on.
    void steer_opacity_of(QWidget* window);
    // Shows the dialog in front of every other window and gives it the keyboard.
    void open_in_front();
    bool is_capturing() const;
    int current_row() const { return m_current_row; }

    // The capture rules, as the key handlers apply them.
    void capture_press(int key);
    void capture_release();
    // The name a key is recorded by, or an empty text for a key QKeySequence has no name for.
    static QString key_name(int key);

    void on_button_ok();

public Q_SLOTS:
    void done(int result) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One row per command of k_shortcut_commands: its label, and its shortcut as a button over a line edit. The
    // widgets of each row are named by the command's settings key.
    void make_rows();
    void select_row(int row);
    // Ends a capture without keeping it: the row shows its previous shortcut again.
    void cancel_capture();
    void show_row(int row, const QString& text);

    std::unique_ptr<Ui::ShortcutsDialog> m_ui;
    std::array<QString, k_shortcut_count> m_shortcut_texts;
    std::array<QString, k_shortcut_count> m_problems;
    std::array<QPushButton*, k_shortcut_count> m_buttons{};
    std::array<QLineEdit*, k_shortcut_count> m_line_edits{};
    QString m_capture_text;
    int m_key_count = 0;
    QPushButton* m_current_button = nullptr;
    QLineEdit* m_current_line_edit = nullptr;
    int m_current_row = -1;
    QSlider* m_slider = nullptr;
};
