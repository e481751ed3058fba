// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainWindowLook.h"

#include "core/ClipboardHistory.h"
#include "core/Trace.h"
#include "ui/Placement.h"
#include "ui_App.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace main_window_look {

namespace {

const QString k_button_style = QStringLiteral(
    "QPushButton{background-color: white;color: black;border: 2px solid #008CBA;padding: 8px 12px;text-align: "
    "center;text-decoration: none;font-size: 12px;margin: 4px 2px;border-radius: 5;}QPushButton:hover{background-"
    "color: #008CBA; color: white; border: 2px solid #008CBA;}QPushButton:pressed {background-color: gray;}");

// The mode box's items, in their order.
struct ModeItem {
    Mode mode;
    const char* text;
};
constexpr ModeItem k_mode_items[] = {
    {Mode::automatic_backward, "Automatic Backward"},
    {Mode::automatic_forward, "Automatic Forward"},
    {Mode::manual, "Manual"},
};

const QString k_combo_box_style = QStringLiteral(
    "QComboBox{background-color: #008CBA;border: none;color: white;padding: 8px 120px ;text-align: "
    "center;text-decoration: none;font-size: 12px;margin: 4px 2px;border-radius: 5}QComboBox:hover{background-color: "
    "white; color: black; border: 2px solid #008CBA;border-radius: 5}QComboBox:pressed {background-color: "
    "gray;}QComboBox::drop-down{background-color: #008CBA;border: 1px;}QComboBox QAbstractItemView {border-radius: "
    "5border: 2px solid #008CBA;selection-background-color: #008CBA;}");

// What a window manager's title bar usually takes, allowed for until the window's own frame is known.
constexpr int k_usual_title_bar = 40;
// The least height of a cut window: a few buttons and the scroll bar, whatever the screen says.
constexpr int k_least_height = 200;

} // namespace

QScrollArea* set_up(QWidget& window, Ui::app& form)
{
    form.setupUi(&window);
    window.setWindowTitle(QCoreApplication::applicationName());
    form.button_open_history_dialog->setText(QStringLiteral("Show History"));
    QScrollArea* scroll_area = make_scrollable(window, form);
    fit_to_screen(window, *scroll_area, false);
    return scroll_area;
}

QScrollArea* make_scrollable(QWidget& window, Ui::app& form)
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("page"));
    page->setFixedSize(window.size());
    // Moved in this order, the column of buttons stays above the background.
    for (QWidget* part : {static_cast<QWidget*>(form.background), form.gridLayoutWidget}) {
        part->setParent(page);
        part->show();
    }
    auto* scroll_area = new QScrollArea(&window);
    scroll_area->setObjectName(QStringLiteral("page_scroll_area"));
    scroll_area->setFrameShape(QFrame::NoFrame);
    scroll_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_area->setWidget(page);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_area);
    return scroll_area;
}

QSize fitted_size(const QSize& page, const QSize& room, int scroll_bar_width)
{
    if (page.height() <= room.height())
        return page;
    return {page.width() + scroll_bar_width, std::max(room.height(), k_least_height)};
}

void fit_to_screen(QWidget& window, QScrollArea& scroll_area, bool framed)
{
    const QRect area = placement::screen_area(window.frameGeometry().center());
    const QSize frame = framed ? window.frameGeometry().size() - window.size() : QSize(0, k_usual_title_bar);
    const QSize page = scroll_area.widget()->size();
    const int bar = window.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_area.verticalScrollBar());
    const QSize size = fitted_size(page, area.size() - frame, bar);
    scroll_area.setVerticalScrollBarPolicy(size.height() < page.height() ? Qt::ScrollBarAlwaysOn
                                                                         : Qt::ScrollBarAlwaysOff);
    window.setFixedSize(size);
}

void apply_style(Ui::app& form)
{
    for (QPushButton* button :
         {form.button_clear_autocomplete_history, form.button_open_helper_dialog, form.button_open_history_dialog,
          form.button_show_shortcut_settings, form.button_toggle_file_copy, form.button_toggle_status_indicator,
          form.button_about, form.button_toggle_note_dialog, form.automatic_position_movement_toggle_button,
          form.change_mode_button, form.change_order_button, form.clear_clipboard_history,
          form.rich_text_copy_toggle_button})
        button->setStyleSheet(k_button_style);
    // The order and the movement are chosen in the mode box; these two only keep their texts current.
    form.change_order_button->hide();
    form.automatic_position_movement_toggle_button->hide();
    form.combobox_mode_select->setStyleSheet(k_combo_box_style);
    for (int i = 0; i < form.combobox_mode_select->count(); ++i)
        form.combobox_mode_select->setItemData(i, Qt::AlignCenter, Qt::TextAlignmentRole);
}

QStringList mode_texts()
{
    QStringList texts;
    for (const ModeItem& item : k_mode_items)
        texts << QLatin1String(item.text);
    return texts;
}

int mode_index(Mode mode)
{
    const auto* item = std::find_if(std::begin(k_mode_items), std::end(k_mode_items),
                                    [mode](const ModeItem& candidate) { return candidate.mode == mode; });
    return static_cast<int>(item - std::begin(k_mode_items));
}

std::optional<Mode> mode_of(const QString& text)
{
    for (const ModeItem& item : k_mode_items) {
        if (text == QLatin1String(item.text))
            return item.mode;
    }
    qDebug() << "The mode box has no mode" << text << "- the mode stays as it is";
    return std::nullopt;
}

QDialog* make_about_box()
{
    auto* dialog = new QDialog(nullptr, Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(true);
    dialog->setWindowTitle(QStringLiteral("About"));
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(new QLabel(QStringLiteral("Version: ") + QCoreApplication::applicationVersion() +
                                     QStringLiteral("\n\nMade by\nProducer: Halcyon Works\nDeveloper: Ines "
                                                    "Valdrada\nDeveloper: Jonas Mereth"),
                                 dialog));
    return dialog;
}

} // namespace main_window_look

void main_window_look::show_switches(Ui::app& form, const ClipboardHistory& history)
{
    const auto tr = [](const char* text) { return QCoreApplication::translate("App", text); };
    form.change_mode_button->setText(history.is_paused() ? tr("Stackpaste is OFF - Click to Start")
                                                         : tr("Stackpaste is ON - Click to Pause"));
    form.change_order_button->setText(history.paste_order() == PasteOrder::forward
                                          ? tr("Forward paste order - Click to change to Backward paste order")
                                          : tr("Backward paste order - Click to change to Forward paste order"));
    form.rich_text_copy_toggle_button->setText(history.is_rich_text_copy_enabled()
                                                   ? tr("Rich Text copy is Enabled - Click to Disable")
                                                   : tr("Rich Text copy is Disabled - Click to Enable"));
    TRACE("Automatic Position Movement");
    form.automatic_position_movement_toggle_button->setText(history.use_automatic_position_movement()
                                                                ? tr("Automatic Position Movement - Click to Manual")
                                                                : tr("Manual Position Movement - Click to Automatic"));
    form.button_toggle_file_copy->setText(history.is_file_copy_enabled()
                                              ? QStringLiteral("File Copy Enabled - Click to Toggle")
                                              : QStringLiteral("File Copy Disabled - Click to Toggle"));
}

void main_window_look::show_app_icon(Ui::app& form, QWidget& window, bool paused)
{
    const QString icon = paused ? QStringLiteral(":/images/app_paused.png") : QStringLiteral(":/images/app.png");
    window.setWindowIcon(QIcon(icon));
    // The image is drawn large for sharp tray and window icons; the column of the fixed window has room for 64 pixels
    // of it.
    constexpr int k_side = 64;
    form.app_icon->setPixmap(QPixmap(icon).scaled(k_side, k_side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}
