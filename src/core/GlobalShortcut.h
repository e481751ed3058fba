// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>

// One system-wide key combination (the first key of a QKeySequence with its modifiers). While registered, pressing
// it anywhere on the desktop emits activated() on the main thread, once per press. Registration can fail (another
// program holds the combination, the layout has no such key, the desktop offers no global shortcuts): the reason is
// then in registration_error() and on the debug channel. Created without a parent; main thread only.
class GlobalShortcut : public QObject {
    Q_OBJECT
public:
    GlobalShortcut() : QObject(nullptr) {}
    ~GlobalShortcut() override = default;

    // Gives up the current combination and, with autoRegister, registers the new one at once. An empty sequence only
    // gives it up. Returns is_registered().
    virtual bool setShortcut(const QKeySequence& shortcut, bool autoRegister) = 0;
    virtual QKeySequence shortcut() const = 0;
    virtual bool is_registered() const = 0;
    // Why the last registration failed, in words for the user; empty when it succeeded or when there is no shortcut.
    virtual QString registration_error() const = 0;

Q_SIGNALS:
    void activated();
};
