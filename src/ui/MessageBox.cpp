// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageBox.h"

#include "ui/Placement.h"

#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <algorithm>

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

QDialog* long_information(const QString& title, const QString& text)
{
    if (g_information_recorder) {
        g_information_recorder(title, text);
        return nullptr;
    }
    auto* box = new QDialog(nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(title);
    auto* view = new QPlainTextEdit(box);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Each line reads left to right, whatever the first letter of a copied text in it is.
    view->setLayoutDirection(Qt::LeftToRight);
    QTextOption option = view->document()->defaultTextOption();
    option.setTextDirection(Qt::LeftToRight);
    view->document()->setDefaultTextOption(option);
    view->setPlainText(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(view);
    layout->addWidget(buttons);

    // As large as the text, up to most of the screen (the rest is left to the window's frame): beyond that it scrolls.
    const QFontMetrics metrics(view->font());
    int widest = 0;
    const QVector<QStringRef> lines = text.splitRef(QLatin1Char('\n'));
    for (const QStringRef& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(line.toString()));
    const QMargins margins = layout->contentsMargins();
    const int padding = 2 * view->frameWidth() + 2 * metrics.lineSpacing(); // the frame, the document's margins
    const QSize room(widest + padding + margins.left() + margins.right(),
                     (lines.size() * metrics.lineSpacing()) + padding + layout->spacing() +
                         buttons->sizeHint().height() + margins.top() + margins.bottom());
    const QRect area = placement::screen_area(QCursor::pos());
    const QSize size = room.boundedTo(area.size() * 0.8).expandedTo(QSize(320, 160)).boundedTo(area.size());
    box->resize(size);
    box->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
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
