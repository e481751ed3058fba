// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ShortcutTable.h"

#include <QDialog>
#include <QString>

#include <array>
#include <memory>

class QLabel;
namespace Ui {
class HelperDialog;
}

// "Help": the key strokes of the program with the user's current shortcuts, and an OK button. Deleted when closed.
class HelperDialog : public QDialog {
    Q_OBJECT
public:
    explicit HelperDialog(QWidget* parent);
    ~HelperDialog() override;

    void set_text(const QString& text);
    QString text() const;

    // The help's rich text for the shortcut texts of the shortcut settings' rows. A shortcut is text, not markup:
    // "Ctrl+Alt+<" would otherwise open a tag and swallow the rest of the help.
    static QString help_text(const std::array<QString, k_shortcut_count>& shortcuts);
    // Shows the help for these shortcut texts until the user closes it; the dialog deletes itself then.
    static void show_help(QWidget* parent, const std::array<QString, k_shortcut_count>& shortcuts);

public Q_SLOTS:
    void slot_button_ok_clicked();

private:
    std::unique_ptr<Ui::HelperDialog> m_ui;
    QLabel* m_label = nullptr;
};
