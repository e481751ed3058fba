// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HelperDialog.h"

#include "ui_HelperDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const k_line_start = R"(<p align="center"><span style=" font-weight:600;">)";

// The commands the help names after its copy, cut and paste lines, in the help's order; the pause command comes
// before those lines.
constexpr CommandId k_pause_line = CommandId::pause_or_resume;
constexpr CommandId k_help_order[] = {
    CommandId::switch_paste_order, CommandId::clipboard_undo, CommandId::clipboard_redo,
    CommandId::rich_text_copy,     CommandId::clear_history,  CommandId::open_history_dialog,
    CommandId::open_autocomplete,
};

// Whether every command with a help text is in the help exactly once, and no command without one.
constexpr bool help_names_every_described_command()
{
    for (const ShortcutCommand& command : k_shortcut_commands) {
        int lines = command.id == k_pause_line ? 1 : 0;
        for (CommandId id : k_help_order)
            lines += id == command.id ? 1 : 0;
        if (lines != (command.help ? 1 : 0))
            return false;
    }
    return true;
}
static_assert(help_names_every_described_command(), "a command's help text needs its place in the help");

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
    const auto line = [&shortcuts](CommandId id) {
        return bold_line(shortcuts[static_cast<size_t>(row_of(id))], command_of(id).help);
    };
    QString text = QStringLiteral(R"(<html><head><head/><body><p align="center">How to use Stackpaste:</p>)");
    text += line(k_pause_line);
    text += bold_line(QStringLiteral("Ctrl+C"), "Copy a couple of things");
    text += bold_line(QStringLiteral("Ctrl+X"), "Cut a couple of things");
    text += bold_line(QStringLiteral("Ctrl+V"), "Paste them in your desired order");
    for (CommandId id : k_help_order)
        text += line(id);
    text += QStringLiteral("</body></html>");
    return text;
}

void HelperDialog::show_help(QWidget* parent, const std::array<QString, k_shortcut_count>& shortcuts)
{
    auto* dialog = new HelperDialog(parent); // deletes itself when closed
    dialog->set_text(help_text(shortcuts));
    dialog->exec();
}
