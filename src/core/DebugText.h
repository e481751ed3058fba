// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class ClipboardHistory;
class QMimeData;

// The text of the debug window: the position and one line per item of the active history. It is shown on screen
// only, never logged. Every text is cut to a readable length with a mark of how long it was, and a format that is
// not text shows its MIME type and size. It is made from what the items hold (formats, sizes, the start of a text):
// no picture is decoded and no large payload read, so a history of screenshots shows it at once. A copied text that
// reads right to left, or holds direction marks, is isolated: it cannot turn the program's own words around it.
namespace debug_text {

inline constexpr int k_text_characters = 80;

QString body(const ClipboardHistory& history);
// Lines for the debug channel, which may end up in a lasting log: the lengths of the texts (never the texts) and
// the position; the number of whole items and the position.
QString text_state(const ClipboardHistory& history);
QString mime_state(const ClipboardHistory& history);
// "0: {{format:text/plain, mime_data:abc}, }" for an item holding only text/plain "abc".
QString mime_item_line(int index, const QMimeData& item);
// The start of a text on one line, with " … (N characters)" when it was longer than k_text_characters.
QString cut(const QString& text);
// The text unchanged when it holds nothing that reads right to left; otherwise, with its own direction controls
// balanced (a stray closing one dropped, an open one closed), between a first-strong isolate and its closing mark.
QString isolated(const QString& text);

} // namespace debug_text
