// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class NoteDialog;
}

// A scratch pad: one text edit filling the window. The text stays while the window is hidden and shown again and
// is never stored: it is gone when the program ends.
class NoteDialog : public QDialog {
    Q_OBJECT
public:
    NoteDialog();
    ~NoteDialog() override;

    QString text() const;
    void set_text(const QString& text);
    // Shows a hidden note, hides a visible one.
    void toggle();

private:
    std::unique_ptr<Ui::NoteDialog> m_ui;
};
