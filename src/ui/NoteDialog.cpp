// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/NoteDialog.h"

#include "platform/Platform.h"
#include "ui_NoteDialog.h"

NoteDialog::NoteDialog() : QDialog(nullptr), m_ui(std::make_unique<Ui::NoteDialog>())
{
    m_ui->setupUi(this);
    m_ui->horizontalLayout->setContentsMargins(0, 0, 0, 0);
    m_ui->horizontalLayout->setSpacing(0);
    setWindowTitle(tr("Note"));
}

NoteDialog::~NoteDialog() = default;

QString NoteDialog::text() const
{
    return m_ui->textEdit->toPlainText();
}

void NoteDialog::set_text(const QString& text)
{
    m_ui->textEdit->setPlainText(text);
}

void NoteDialog::toggle()
{
    if (isVisible()) {
        setVisible(false);
        return;
    }
    refresh_user_time();
    setVisible(true);
    raise();
    activateWindow();
}
