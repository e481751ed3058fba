// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

// Tells the paste road that the user pastes. What a backend can offer decides the moment: a key source that holds
// the paste key until the road has run says so before the program reads the clipboard (the item put there now is
// the one pasted); a backend that only learns of a paste when a program asks the clipboard's owner for data says so
// after the program was served (the road then takes the same paste step for the item just served and puts the one
// the next paste takes on the clipboard). Signals on the main thread; created without a parent.
class PasteTrigger : public QObject {
    Q_OBJECT
public:
    enum class Moment {
        before_read,  // the program has not read yet; it waits until every handler has returned
        after_served, // a program has just been given what the clipboard held
    };

    PasteTrigger() : QObject(nullptr) {}
    ~PasteTrigger() override = default;

Q_SIGNALS:
    void signal_paste(PasteTrigger::Moment moment);
};
