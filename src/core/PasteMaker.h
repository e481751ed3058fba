// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMimeData>
#include <QString>

#include <memory>

class ClipboardHistory;
class MimeCopy;

// The paste road's model steps, whichever moment the paste trigger reports: which item of the history a paste takes
// and what it puts on the clipboard. The content is a paste copy of the whole item while rich text copy is on, else
// its plain text; a text that names files is left off the clipboard in plain text mode. Nothing is made while the
// history is paused. The history and the copier must outlive the maker. Main thread only.
class PasteMaker {
public:
    PasteMaker(ClipboardHistory& history, MimeCopy& mime_copy);

    // A program is about to read the clipboard: the paste step, and what the clipboard is to hold for it. Null when
    // the paste writes nothing; the position is then where it was, since the user never got the item.
    std::unique_ptr<QMimeData> paste();
    // A program has just been served what the clipboard held, the item this step takes: the paste step for it, and
    // the next item's content for the clipboard; null when nothing is to go there. When the clipboard held no item
    // (offered_other()), the position stays and the next item goes back there.
    std::unique_ptr<QMimeData> after_paste();
    // Where pastes are told after the program was served, the clipboard holds the item the next paste takes at all
    // times: its content when the clipboard does not offer it yet (force: a new offer even so, as after a copy took
    // the clipboard), null when there is nothing to change. Only a forced offer replaces the autocomplete's text.
    // Nothing while paused.
    std::unique_ptr<QMimeData> offer(bool force);
    // The clipboard holds something else than an item (the autocomplete's text).
    void offered_other() { m_offer_is_item = false; }
    // What a paste of the item at index puts on the clipboard; null when it puts nothing there.
    std::unique_ptr<QMimeData> content_of(int index) const;

private:
    QString offer_key(int index) const;

    ClipboardHistory& m_history;
    MimeCopy& m_mime_copy;
    QString m_offered; // which item the clipboard offers, as offer_key() names it
    bool m_offer_is_item = true;
};
