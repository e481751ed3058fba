// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMimeData>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The direction a paste walks the history in.
enum class PasteOrder { backward, forward };

// What the main window offers: an order walked automatically, or manual movement in the order in effect.
enum class Mode { automatic_backward, automatic_forward, manual };

// The switches of the history that are kept in the settings file.
struct HistoryOptions {
    PasteOrder paste_order = PasteOrder::backward;
    bool use_automatic_position_movement = true;
    bool is_stackpaste_paused = false;
    bool is_rich_text_copy_enabled = true; // true: the MIME-data history is the active one
    // The settings file's text for an order it does not name (a typo in a hand-edited file): the order runs as
    // backward, and the file keeps the text as written until the user sets an order or a mode, so the file is not
    // rewritten behind the user's back. Unset for a real order.
    std::optional<QString> unknown_order_text;
};

// The clipboard history: a text history and a MIME-data history (exactly one of them active), the position of
// the item the next paste takes, the paste order, automatic movement and the position lock.
//
// The list order is the order of travel for "forward": a forward paste walks from low to high indices, a backward
// paste from high to low. A walk that runs off an end, and deletions, leave the position outside 0..last (the next
// copy lands relative to where the walk stopped), so every read clamps it before use. Each history keeps at most 100
// items: a day of copying must not grow the process without bound.
//
// Ownership: the MIME list owns its items; an item removed by trimming, deletion, clearing or reordering is
// destroyed. Main thread only; nothing here blocks.
class ClipboardHistory {
public:
    static constexpr int k_max_items = 100;

    // Makes the fresh deep copy that replaces a moved MIME item.
    using MimeCopier = std::function<std::unique_ptr<QMimeData>(const QMimeData&)>;

    ClipboardHistory();
    ~ClipboardHistory();
    ClipboardHistory(const ClipboardHistory&) = delete;
    ClipboardHistory& operator=(const ClipboardHistory&) = delete;

    // --- state ---
    const HistoryOptions& options() const { return m_options; }
    void set_options(const HistoryOptions& options) { m_options = options; }
    PasteOrder paste_order() const { return m_options.paste_order; }
    bool is_forward() const { return m_options.paste_order == PasteOrder::forward; }
    void set_paste_order(PasteOrder order);
    bool use_automatic_position_movement() const { return m_options.use_automatic_position_movement; }
    void set_use_automatic_position_movement(bool on) { m_options.use_automatic_position_movement = on; }
    bool is_paused() const { return m_options.is_stackpaste_paused; }
    void set_paused(bool on) { m_options.is_stackpaste_paused = on; }
    bool is_rich_text_copy_enabled() const { return m_options.is_rich_text_copy_enabled; }
    // Switching the active history empties both, as clear() does.
    void set_rich_text_copy_enabled(bool on);
    // Whether switching to `fresh` keeps the active history's kind all the same: a history that holds items would be
    // emptied by the switch.
    bool keeps_kind_with(const HistoryOptions& fresh) const;
    // Takes the switches of a fresh installation without losing what is left to paste: the kind stays where
    // keeps_kind_with() says so, and a forward walk turns backward as switch_paste_order() turns it.
    void take_fresh_options(HistoryOptions fresh);
    bool is_file_copy_enabled() const { return m_is_file_copy_enabled; }
    void set_file_copy_enabled(bool on) { m_is_file_copy_enabled = on; }

    int position() const { return m_position; }
    void set_position(int position) { m_position = position; }
    bool is_position_locked() const { return m_is_position_locked; }
    int locked_position() const { return m_locked_position; }

    // Number of items in the active history.
    int size() const;
    bool is_empty() const { return size() == 0; }
    const QStringList& text_items() const { return m_text_history; }
    const std::vector<std::unique_ptr<QMimeData>>& mime_items() const { return m_mime_history; }
    QString text_at(int index) const { return m_text_history.at(index); }
    const QMimeData* mime_at(int index) const { return m_mime_history.at(static_cast<size_t>(index)).get(); }

    // --- the copy and paste steps ---
    // Moves the position for a new copy: up from below 0 to 0, then one up in "backward" with automatic movement.
    void copy_step();
    // Add steps. In "backward" with automatic movement the new item lands at the position; returns whether the item
    // was added (a null MIME object is not).
    bool add_text(const QString& text);
    bool add_mime(std::unique_ptr<QMimeData> mime_data);
    // Chooses the active history's item for a paste and moves the position; nullopt when there is none.
    std::optional<int> paste_step();
    // The item the next paste step chooses, without moving the position; nullopt when there is none.
    std::optional<int> next_paste() const;
    // The temporary item of an autocomplete paste: inserted at index 0, not trimmed.
    void insert_front_text(const QString& text);
    void insert_front_mime(std::unique_ptr<QMimeData> mime_data);
    void remove_front();

    // --- navigation and order ---
    void go_forward();
    void go_back();
    void switch_paste_order();
    // Sets the order and the movement of a mode ("Manual" keeps the order). Every mode leaves a real order.
    void set_mode(Mode mode);
    // The mode in effect: manual whenever automatic movement is off, else the order's.
    Mode mode() const;

    // --- lock ---
    void lock();
    void unlock();
    // The history dialog's lock toggle: releases a lock, or takes one and moves the position to the item that the
    // dialog's selected row names (when it names one). Returns whether the position is locked afterwards.
    bool toggle_lock(std::optional<int> selected_row);

    // --- dialog rows ---
    // What the history dialog lists: the indices of the items left to paste, in the order the coming pastes take
    // them (row 0 is the next paste). Empty in "backward" order at a position of -1, in "forward" order at n.
    QList<int> indices_left_to_paste() const;
    // The listing of an opening dialog, or nullopt when the dialog stays closed (nothing left to paste: "backward"
    // at -1, "forward" at n). In "forward" order a position of -1 becomes 0 on the way.
    std::optional<QList<int>> open_dialog_listing();
    // The one line a dialog row shows for the active history's item at index.
    QString row_text(int index) const;
    // The rows of the items at the indices, in their order.
    QStringList row_texts(const QList<int>& indices) const;
    // A row's text is the start of the item's text on one line: a megabyte text must not stall the list.
    static constexpr int k_row_characters = 300;
    static QString row_text_of(const QString& text);
    // "Image Data" for an image, else the start of the plain text, else the names of the files.
    static QString row_text_of(const QMimeData& item);
    // The index that a row of the history dialog names, or nullopt when it names no item of the active history.
    std::optional<int> index_for_row(int row) const;
    // Removes the item that the row names; the position keeps naming the same item or the next in travel order.
    bool delete_row(int row);
    // Moves the item of row `from` to where row `to` stood; the position is unchanged. A moved MIME item is replaced
    // by copier's fresh deep copy when a copier is given.
    bool move_row(int from, int to, const MimeCopier& copier = {});

    // The number the status indicator shows, or nullopt when it keeps what it shows. In "forward" order a
    // position of -1 is set to 0 on the way.
    std::optional<int> status_number();

    // Empties both histories and sets the position to -1; lock and flags stay.
    void clear();

private:
    bool is_backward() const { return !is_forward(); }
    int last() const { return size() - 1; }
    // Index at which an add step places the new item, updating the position.
    int add_index();
    void trim();
    // The position as the dialog sees it when it fills its list.
    int dialog_position() const;

    HistoryOptions m_options;
    QStringList m_text_history;
    std::vector<std::unique_ptr<QMimeData>> m_mime_history;
    int m_position = -1;
    bool m_is_position_locked = false;
    int m_locked_position = -1;
    bool m_is_file_copy_enabled = true;
};
