// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>

#include <functional>

// The program's modal questions, with a seam for tests: set_next_answer() makes the next question return that
// answer at once instead of waiting for a click. Main thread only.
namespace message_box {

// A Yes/No question with no default button; what the user answered (No when the box was closed).
QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text);

// The answer of the next question, which is then not shown; NoButton shows questions again.
void set_next_answer(QMessageBox::StandardButton answer);

// An information box with one OK button, shown without waiting for it: nothing else stops while it is open. It
// deletes itself when closed and is returned for a caller that wants to place it.
QMessageBox* information(const QString& title, const QString& text);

// A box for a long text (the debug information): the text in a read-only area that scrolls, read left to right, and
// the box kept within the screen under the cursor, however many lines the text has. Shown and deleted like an
// information box, and recorded like one.
QDialog* long_information(const QString& title, const QString& text);

// Tests: every information box from now on is handed to `record` instead of being shown; an empty function shows
// them again.
void set_information_recorder(std::function<void(const QString& title, const QString& text)> record);

} // namespace message_box
