// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageBox.h"

namespace message_box {

namespace {
QMessageBox::StandardButton g_next_answer = QMessageBox::NoButton;
} // namespace

QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text)
{
    if (g_next_answer != QMessageBox::NoButton)
        return std::exchange(g_next_answer, QMessageBox::NoButton);
    const QMessageBox::StandardButton answer =
        QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    return answer == QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::No;
}

void set_next_answer(QMessageBox::StandardButton answer)
{
    g_next_answer = answer;
}

} // namespace message_box
