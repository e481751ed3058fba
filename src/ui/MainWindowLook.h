// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class ClipboardHistory;
class QComboBox;
class QDialog;
namespace Ui {
class app;
}

// The main window's look: its style sheets and the About box, kept out of App so that App stays wiring.
namespace main_window_look {

// The button and mode-box style sheets, the two buttons that stay hidden and the centred mode items.
void apply_style(Ui::app& form);

// The mode box's item for the mode in effect: "Manual" whenever automatic movement is off, else the order's.
int mode_index(const QString& paste_order, bool automatic_movement);

// The switch buttons' texts for the model's state (pause, order, rich text, movement, file copy).
void show_switches(Ui::app& form, const ClipboardHistory& history);

// The window's large icon (the running or the paused image).
void show_app_icon(Ui::app& form, const QString& icon);

// The About box: modal, deleted when closed, not yet shown.
QDialog* make_about_box();

} // namespace main_window_look
