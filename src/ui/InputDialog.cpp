// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/InputDialog.h"

#include "platform/Platform.h"
#include "ui_InputDialog.h"

#include <QCloseEvent>

InputDialog::InputDialog(const QString& title, const QString& text, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::input_dialog>())
{
    m_ui->setupUi(this);
    setFixedSize(170, 90);
    setWindowTitle(title);
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    m_ui->label->setText(text);
    refresh_user_time();
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
    m_ui->input_text->setFocus();
}

InputDialog::~InputDialog() = default;

QString InputDialog::input_text() const
{
    return m_ui->input_text->text();
}

void InputDialog::set_input_text(const QString& text)
{
    m_ui->input_text->setText(text);
}

void InputDialog::on_ok_button_clicked()
{
    Q_EMIT finished(m_ui->input_text->text());
    close();
}

void InputDialog::on_input_text_returnPressed()
{
    on_ok_button_clicked();
}

void InputDialog::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}
