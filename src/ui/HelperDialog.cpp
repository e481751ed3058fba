// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HelperDialog.h"

#include "ui_HelperDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

namespace {

// The row of the shortcut settings named `label`.
int row_of(const char* label)
{
    for (int row = 0; row < k_shortcut_count; ++row) {
        if (std::strcmp(k_shortcut_commands[row].label, label) == 0)
            return row;
    }
    return -1;
}

const char* const k_line_start = R"(<p align="center"><span style=" font-weight:600;">)";

// The commands the help names, each with its description.
struct HelpLine {
    const char* command;
    const char* description;
};
// clang-format off
const HelpLine k_help_lines[] = {
    {"Switch paste order",  "Switch the paste order"},
    {"Clipboard Undo",      "Go Back in History"},
    {"Clipboard Redo",      "Go Forward in History"},
    {"Rich Text Copy",      "Enable/Disable Rich text Copy"},
    {"Clear History",       "Clear Clipboard History"},
    {"Open History Dialog", "Show Clipboard History"},
    {"Open Autocomplete",   "Show Autocomplete History"},
};
// clang-format on

QString bold_line(const QString& keys, const char* description)
{
    return QLatin1String(k_line_start) + keys.toHtmlEscaped() + QStringLiteral("</span> - ") +
           QLatin1String(description) + QStringLiteral("</p>");
}

} // namespace

HelperDialog::HelperDialog(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::HelperDialog>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    m_label = new QLabel(this);
    m_label->setTextFormat(Qt::AutoText);
    auto* button = new QPushButton(tr("OK"), this);
    button->setFixedWidth(100);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    setWindowTitle(tr("Help"));
    connect(button, &QPushButton::clicked, this, &HelperDialog::slot_button_ok_clicked);
}

HelperDialog::~HelperDialog() = default;

void HelperDialog::set_text(const QString& text)
{
    m_label->setText(text);
}

QString HelperDialog::text() const
{
    return m_label->text();
}

void HelperDialog::slot_button_ok_clicked()
{
    close();
}

QString HelperDialog::help_text(const std::array<QString, k_shortcut_count>& shortcuts)
{
    const auto keys = [&shortcuts](const char* command) {
        const int row = row_of(command);
        return row >= 0 ? shortcuts[static_cast<size_t>(row)] : QString();
    };
    QString text = QStringLiteral(R"(<html><head><head/><body><p align="center">How to use Stackpaste:</p>)");
    text += bold_line(keys("Pause or resume Stackpaste"), "Pause/resume Stackpaste");
    text += bold_line(QStringLiteral("Ctrl+C"), "Copy a couple of things");
    text += bold_line(QStringLiteral("Ctrl+X"), "Cut a couple of things");
    text += bold_line(QStringLiteral("Ctrl+V"), "Paste them in your desired order");
    for (const HelpLine& line : k_help_lines)
        text += bold_line(keys(line.command), line.description);
    text += QStringLiteral("</body></html>");
    return text;
}
