// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ServedRequests.h"
#include "platform/QtClipboardSource.h"
#include "platform/x11/ClipboardReader.h"

#include <QAbstractNativeEventFilter>
#include <QSet>

// The clipboard on X11: other programs' copies are read by the ClipboardReader on its own thread, so that no owner
// can hold up the keyboard or the windows; the copies made in our own windows, which the reader leaves to us, are
// read through Qt's clipboard. Our own writes are told apart by both: the reader by the owner's id, Qt's clipboard
// by their mark.
//
// With Pastes::by_request (a Wayland session without a data-control protocol, where the compositor hands the
// pastes of Wayland programs to the X11 clipboard's owner) every request that Qt serves while we own the clipboard
// is a candidate paste, told by ServedRequests and by the requests' time stamps, and reported by served() once Qt has
// answered. Main thread only.
class X11ClipboardSource : public ClipboardSource, private QAbstractNativeEventFilter {
    Q_OBJECT
public:
    enum class Pastes {
        by_key,     // the key grab tells of each paste
        by_request, // the requests for what we own are the pastes
    };

    X11ClipboardSource(const QString& storage_folder, Pastes pastes);
    ~X11ClipboardSource() override;

    // Starts the reader; false without an X server with XFixes.
    bool start();

    void own(std::unique_ptr<QMimeData> content) override;
    bool reads_off_the_main_thread() const override { return true; }
    bool tells_served_pastes() const override { return m_pastes == Pastes::by_request; }
    QString paste_road() const override;

private:
    bool nativeEventFilter(const QByteArray& type, void* message, long* result) override;
    // Whether a request for content, stamped by its requestor with `stamp`, is a paste.
    bool is_paste(quint32 stamp);

    ClipboardReader m_reader;
    QtClipboardSource m_own_windows;
    Pastes m_pastes;
    ServedRequests m_requests;
    quint32 m_clipboard_atom = 0;
    QSet<quint32> m_pseudo_targets; // the atoms of the targets that ask for no content
    quint32 m_owned_since = 0;      // the X time stamp of our ownership
    quint32 m_listed_at = 0;        // the stamp of the last request for the list of types since, if any
};
