// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <chrono>

// Tells the pastes among the data requests that reach the clipboard's owner, where a request is all the owner learns
// of a paste. Each content we put on the clipboard is an offer of its own; a paste is the first request for the
// current offer that asks for content (not for the list of types) and comes at least k_keeper_window after the offer
// was made. Clipboard keepers, and compositors that keep a copy, read every new content within a few milliseconds of
// the change (0.5 to 5.2 ms measured); no user pastes that fast. The further types one paste asks for, and requests
// for an offer already replaced, are no new paste. Plain logic for whichever thread serves the requests.
class ServedRequests {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds k_keeper_window{30};
    // A paste may ask for several types in a row, each within a millisecond or two of the answer before (a GTK
    // program under X11 asks for "text/plain;charset=utf-8", then "UTF8_STRING"): they must all get the same item,
    // so the next one goes onto the clipboard this long after the paste was first served.
    static constexpr std::chrono::milliseconds k_settle{20};

    // A new offer made at `when`; returns its number (never 0).
    quint64 offered(Clock::time_point when);
    // The current offer was announced at `when` to every program that watches the clipboard (a compositor that was
    // slow to take it up announces it late): the keepers' moment starts there.
    void announced(Clock::time_point when)
    {
        if (when > m_offered_at)
            m_offered_at = when;
    }
    // Offer `offer` was asked for `type` at `asked` and served: whether that is a paste. A paste counts once.
    bool is_paste(quint64 offer, const QString& type, Clock::time_point asked);
    // The same for a request that the serving side told from a keeper's read by other means than its time.
    bool is_paste(quint64 offer, const QString& type);
    quint64 current() const { return m_current; }

private:
    quint64 m_current = 0;
    Clock::time_point m_offered_at;
    bool m_counted = false;
};
