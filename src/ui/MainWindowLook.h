// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

class ClipboardHistory;
enum class Mode;
class QComboBox;
class QDialog;
class QScrollArea;
class QWidget;
namespace Ui {
class app;
}

// The main window's look: its style sheets and the About box, kept out of App so that App stays wiring.
namespace main_window_look {

// The button and mode-box style sheets, the two buttons that stay hidden and the centred mode items.
void apply_style(Ui::app& form);

// The mode box's items, in their order; the box is the one place a mode has a text.
QStringList mode_texts();
// The mode box's item for a mode.
int mode_index(Mode mode);
// The mode an item's text names; nullopt (and a debug line) for a text that is no item's.
std::optional<Mode> mode_of(const QString& text);

// The switch buttons' texts for the model's state (pause, order, rich text, movement, file copy).
void show_switches(Ui::app& form, const ClipboardHistory& history);

// The window's icons, its large one in the form too: the running or the paused image.
void show_app_icon(Ui::app& form, QWidget& window, bool paused);

// Lays the form out in the window under the application's name, made scrollable and fitted to the screen, and
// returns the scroll area.
QScrollArea* set_up(QWidget& window, Ui::app& form);

// Puts the page the form lays out (its background and column of buttons, 420 x 808) into a scroll area that fills
// the window, and returns the scroll area.
QScrollArea* make_scrollable(QWidget& window, Ui::app& form);

// The window's size for a page of `page` where the screen leaves `room` (its available area less the window's
// frame): the page's own size where it fits; else the room's height, widened by the scroll bar beside the page.
QSize fitted_size(const QSize& page, const QSize& room, int scroll_bar_width);

// Fixes the window at fitted_size() for the screen it is on, the scroll bar shown only when the page is cut. Before
// the window manager has framed the window (framed false) a title bar of a usual height is allowed for.
void fit_to_screen(QWidget& window, QScrollArea& scroll_area, bool framed);

// The About box: modal, deleted when closed, not yet shown.
QDialog* make_about_box();

} // namespace main_window_look
