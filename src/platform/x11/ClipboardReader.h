// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <memory>
#include <thread>

// Reads the CLIPBOARD of X on a thread of its own, over a connection of its own, so that no owner can keep the
// main thread waiting. It learns of each new owner from XFixes, asks for the targets and transfers the wanted ones
// (the pseudo-targets skipped, one image encoding), incremental transfers included. Every capture has a deadline:
// what arrived complete by then is kept, the rest is abandoned and named on the debug channel. A newer owner ends the
// capture of the one before at once (requests go to the current owner anyway), so captures arrive in the order the
// owners changed and none waits behind a hung one.
//
// captured() and own_change() are delivered on the thread that owns the reader (the main thread).
class ClipboardReader : public QObject {
    Q_OBJECT
public:
    struct Format {
        QString target; // the X target's name: "UTF8_STRING", "text/plain;charset=utf-8", "image/png", ...
        QByteArray data;
    };
    struct Capture {
        quint32 owner = 0;
        QVector<Format> formats; // complete ones only, in the order the owner listed them
        QStringList abandoned;   // wanted targets that did not arrive complete within the deadline
    };
    struct Limits {
        int quiet_ms = 1000; // no progress for this long ends a capture
        int total_ms = 5000; // nor does any capture take longer
    };

    explicit ClipboardReader(Limits limits);
    ClipboardReader() : ClipboardReader(Limits{}) {}
    ~ClipboardReader() override;

    // Opens the connection and starts watching; false without an X server or without XFixes.
    bool start();
    // Owner changes made by this window (our own clipboard writes) are reported by own_change(), not captured.
    void set_own_window(quint32 window) { m_own_window = window; }

    // The targets a capture transfers out of those an owner lists (exposed for the tests).
    static QStringList wanted_targets(const QStringList& offered);

Q_SIGNALS:
    void captured(const ClipboardReader::Capture& capture);
    void own_change();

private:
    struct Worker;
    void deliver(Capture capture);
    void deliver_own_change();

    Limits m_limits;
    std::atomic<quint32> m_own_window{0};
    std::unique_ptr<Worker> m_worker;
    std::thread m_thread;
};

Q_DECLARE_METATYPE(ClipboardReader::Capture)
