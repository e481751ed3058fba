// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>

// The program's modal questions, with a seam for tests: set_next_answer() makes the next question return that
// answer at once instead of waiting for a click. Main thread only.
namespace message_box {

// A Yes/No question with no default button; what the user answered (No when the box was closed).
QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text);

// The answer of the next question, which is then not shown; NoButton shows questions again.
void set_next_answer(QMessageBox::StandardButton answer);

} // namespace message_box
