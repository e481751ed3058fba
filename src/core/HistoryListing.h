// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/RemoteCommand.h"

#include <QByteArray>

class ClipboardHistory;

// What the command line prints of the items left to paste, the next paste first. Sizes come from the stored
// payloads: a large item is never read back from its file, and no picture is decoded.
namespace history_listing {

// One line an item: its position, kind (text, image, files, other), size in bytes and the start of its text on one
// line, separated by tabs.
QByteArray lines(const ClipboardHistory& history);
// A JSON array of {"position", "kind", "text" (text items only), "formats": [{"type", "bytes"}]}.
QByteArray json(const ClipboardHistory& history);
// The whole text of the item the next paste gives; for any other item (or none) its kind and size on standard
// error with the status for "not text".
remote::Answer next(const ClipboardHistory& history);

} // namespace history_listing
