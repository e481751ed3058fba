// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ClipboardCapture.h"
#include "core/Payload.h"

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

// What a copy keeps of what the clipboard's owner offers, the same whichever way the clipboard is read (the X11
// reader's own transfers, or Qt's clipboard): the pseudo-targets are skipped, one image encoding is taken, the text is
// transferred once however many encodings of it are offered, and the formats are named and encoded as Qt names them.
// Pure functions, any thread.
namespace capture_rules {

// What arrived for one target.
struct Received {
    QString target; // the target's name: "UTF8_STRING", "text/plain;charset=utf-8", "image/png", ...
    QByteArray data;
};

// Whether a target names no content of its own: the target list, the batch request, the time of ownership, the
// clipboard manager's request, the side-effect requests (asking for DELETE makes the owner delete its selection),
// server resource ids that mean nothing once the owner has gone, and NULL. Qt's clipboard lists them as formats.
bool is_pseudo_target(const QString& name);

// The targets to transfer out of those offered, in the order offered: the pseudo-targets skipped, one image
// encoding (PNG when offered, else the first), and one transfer for the text (UTF-8 before Latin-1).
QStringList wanted_targets(const QStringList& offered);

// The formats, named and encoded as Qt names them, that the received targets make: every text target becomes
// "text/plain" in UTF-8 (and "text/plain;charset=utf-8" too when that was offered), a Qt owner's picture is PNG, a
// browser's link list a URL list, HTML is UTF-8 without a closing zero byte.
QVector<QPair<QString, QByteArray>> formats_of(const QVector<Received>& received, const QStringList& offered);

// Adds the formats to capture: two names of the same bytes share one payload, and the first image's header is read.
// The payloads are held in memory; those large enough for a file of their own are appended to `large`.
void gather(const QVector<QPair<QString, QByteArray>>& formats, ClipboardCapture& capture,
            std::vector<std::shared_ptr<Payload>>& large);

} // namespace capture_rules
