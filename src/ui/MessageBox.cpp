// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageBox.h"

namespace message_box {

namespace {
QMessageBox::StandardButton g_next_answer = QMessageBox::NoButton;
std::function<void(const QString&, const QString&)> g_information_recorder;
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

QMessageBox* information(const QString& title, const QString& text)
{
    if (g_information_recorder) {
        g_information_recorder(title, text);
        return nullptr;
    }
    auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok);
    // A copied text or a typed spell is shown as written, never read as markup.
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    box->raise();
    box->activateWindow();
    return box;
}

void set_information_recorder(std::function<void(const QString& title, const QString& text)> record)
{
    g_information_recorder = std::move(record);
}

} // namespace message_box
