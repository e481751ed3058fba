// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class ClipboardHistory;
class QMimeData;

// The text of the debug window: the position and one line per item of the active history. It is shown on screen
// only, never logged. Every text is cut to a readable length with a mark of how long it was, and a format that is
// not text shows its MIME type and size: one copied screenshot must not put megabytes into a message box.
namespace debug_text {

inline constexpr int k_text_characters = 80;

QString body(const ClipboardHistory& history);
// "0: {{format:text/plain, mime_data:abc}, }" for an item holding only text/plain "abc".
QString mime_item_line(int index, const QMimeData& item);
// The start of a text on one line, with " … (N characters)" when it was longer than k_text_characters.
QString cut(const QString& text);

} // namespace debug_text
