// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ShortcutsDialog.h"

#include "core/Settings.h"
#include "ui_ShortcutsDialog.h"

#include <QDebug>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int k_most_keys = 5;

// Where the rows lie: below the form's header, one every k_row_step pixels, the label and the shortcut in the
// columns of the header's two texts.
constexpr int k_first_row_top = 60;
constexpr int k_row_step = 30;
const QRect k_label_place(30, 0, 196, 16);
const QRect k_shortcut_place(230, 0, 120, 20);

// The look of a row whose shortcut could not be registered.
const QString k_problem_style = QStringLiteral("color: #a40000; font-weight: bold;");

} // namespace

ShortcutsDialog::ShortcutsDialog() : QDialog(nullptr), m_ui(std::make_unique<Ui::ShortcutsDialog>())
{
    m_ui->setupUi(this);
    setWindowTitle(tr("Change Settings"));
    make_rows();
    m_slider = m_ui->horizontalSlider;
    m_current_button = m_ui->button_ok;
    m_ui->button_ok->setFocusPolicy(Qt::NoFocus);
    m_ui->button_ok->setAutoDefault(false);
    set_shortcut_texts(Settings::default_shortcuts());
    // The slider keeps the focus it may have; during a capture its keys (the arrows, Home, End) are the capture's.
    m_slider->installEventFilter(this);
    connect(m_ui->button_ok, &QPushButton::clicked, this, &ShortcutsDialog::on_button_ok);
}

ShortcutsDialog::~ShortcutsDialog() = default;

void ShortcutsDialog::make_rows()
{
    for (int row = 0; row < k_shortcut_count; ++row) {
        const ShortcutCommand& command = k_shortcut_commands[row];
        const QString name = QLatin1String(command.settings_key);
        const QPoint top(0, k_first_row_top + k_row_step * row);
        auto* label = new QLabel(tr(command.label), this);
        label->setGeometry(k_label_place.translated(top));
        m_line_edits[row] = new QLineEdit(this);
        m_line_edits[row]->setGeometry(k_shortcut_place.translated(top));
        m_line_edits[row]->setEnabled(false);
        // Made after the line edit, so the button lies over it; hiding it uncovers the line edit.
        m_buttons[row] = new QPushButton(this);
        m_buttons[row]->setGeometry(k_shortcut_place.translated(top));
        m_buttons[row]->setFocusPolicy(Qt::NoFocus);
        // Enter in the dialog must not press a row's button.
        m_buttons[row]->setAutoDefault(false);
        for (QWidget* widget : std::initializer_list<QWidget*>{label, m_line_edits[row], m_buttons[row]})
            widget->setObjectName(name);
        connect(m_buttons[row], &QPushButton::clicked, this, [this, row] { select_row(row); });
    }
    // The form places the transparency row where the rows end; it and the Ok button move with the last row.
    const int shift = k_first_row_top + k_row_step * k_shortcut_count - m_ui->label_13->y();
    for (QWidget* widget : std::initializer_list<QWidget*>{m_ui->label_13, m_ui->horizontalSlider, m_ui->button_ok})
        widget->move(widget->pos() + QPoint(0, shift));
    resize(width(), height() + shift);
}

void ShortcutsDialog::set_shortcut_texts(const std::array<QString, k_shortcut_count>& texts)
{
    if (is_capturing())
        cancel_capture();
    m_shortcut_texts = texts;
    for (int row = 0; row < k_shortcut_count; ++row)
        show_row(row, texts[row]);
}

void ShortcutsDialog::show_row(int row, const QString& text)
{
    m_buttons[row]->setText(text);
    m_line_edits[row]->setText(text);
}

void ShortcutsDialog::set_row_problem(int row, const QString& why)
{
    if (row < 0 || row >= k_shortcut_count)
        return;
    m_problems[row] = why;
    const QString tip = why.isEmpty() ? QString() : tr("This shortcut does not work: %1").arg(why);
    m_buttons[row]->setToolTip(tip);
    m_line_edits[row]->setToolTip(tip);
    m_buttons[row]->setStyleSheet(why.isEmpty() ? QString() : k_problem_style);
}

QString ShortcutsDialog::row_problem(int row) const
{
    return row >= 0 && row < k_shortcut_count ? m_problems[row] : QString();
}

void ShortcutsDialog::steer_opacity_of(QWidget* window)
{
    slider()->setValue(qRound(window->windowOpacity() * 100));
    connect(slider(), &QSlider::valueChanged, window, [window](int value) { window->setWindowOpacity(value / 100.0); });
}

void ShortcutsDialog::open_in_front()
{
    show();
    raise();
    activateWindow();
}

QSlider* ShortcutsDialog::slider() const
{
    return m_slider;
}

bool ShortcutsDialog::is_capturing() const
{
    return m_current_button && m_current_button->isHidden();
}

void ShortcutsDialog::select_row(int row)
{
    // Another row clicked while one is being captured: the first one keeps its shortcut.
    if (is_capturing())
        cancel_capture();
    m_current_button->show();
    m_buttons[row]->hide(); // uncovers the row's line edit, which shows what is being recorded
    m_current_button = m_buttons[row];
    m_current_line_edit = m_line_edits[row];
    m_current_row = row;
}

QString ShortcutsDialog::key_name(int key)
{
    switch (key) {
    case Qt::Key_Control:
        return QStringLiteral("Ctrl");
    case Qt::Key_Alt:
        return QStringLiteral("Alt");
    case Qt::Key_Shift:
        return QStringLiteral("Shift");
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return QStringLiteral("Meta");
    case Qt::Key_Up:
        return QStringLiteral("Up");
    case Qt::Key_Down:
        return QStringLiteral("Down");
    case Qt::Key_Left:
        return QStringLiteral("Left");
    case Qt::Key_Right:
        return QStringLiteral("Right");
    case Qt::Key_Space:
        return QStringLiteral("Space");
    default:
        break;
    }
    if (key > 0x20 && key <= 0xff)
        return QString(QChar(key)); // Qt's code of a letter is its upper case
    // Any other key by the name the key-sequence parser reads back; one it cannot name (AltGr, a media key without
    // a name) is not recorded, since the text would parse to another key or to none.
    const QString name = QKeySequence(key).toString(QKeySequence::PortableText);
    if (name.isEmpty() || QKeySequence(name, QKeySequence::PortableText)[0] != key)
        return QString();
    return name;
}

void ShortcutsDialog::capture_press(int key)
{
    if (!is_capturing() || m_key_count >= k_most_keys)
        return;
    if (key == Qt::Key_Escape) {
        cancel_capture();
        return;
    }
    const QString name = key_name(key);
    if (name.isEmpty()) {
        qDebug() << "ShortcutsDialog: a key without a name (code" << Qt::hex << key << ") is not recorded";
        return;
    }
    if (m_key_count > 0)
        m_capture_text += QLatin1Char('+');
    m_capture_text += name;
    ++m_key_count;
    m_current_line_edit->setText(m_capture_text);
    m_current_button->setText(m_capture_text);
}

void ShortcutsDialog::capture_release()
{
    if (!is_capturing())
        return;
    // A release before any recorded key (the one of a key pressed before the click) records nothing.
    if (m_key_count == 0) {
        cancel_capture();
        return;
    }
    m_key_count = 0;
    m_capture_text.clear();
    m_current_button->show();
    for (int row = 0; row < k_shortcut_count; ++row)
        m_shortcut_texts[row] = m_line_edits[row]->text();
}

void ShortcutsDialog::cancel_capture()
{
    m_key_count = 0;
    m_capture_text.clear();
    if (m_current_row >= 0)
        show_row(m_current_row, m_shortcut_texts[m_current_row]);
    m_current_button->show();
}

void ShortcutsDialog::on_button_ok()
{
    accept();
}

void ShortcutsDialog::done(int result)
{
    // Closed in the middle of a capture: what was half recorded is not kept.
    if (is_capturing())
        cancel_capture();
    QDialog::done(result);
}

bool ShortcutsDialog::event(QEvent* event)
{
    // During a capture every key is the capture's: Tab must not move the focus, Escape must not close the dialog.
    if (is_capturing() && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease ||
                           event->type() == QEvent::ShortcutOverride)) {
        auto* key_event = static_cast<QKeyEvent*>(event);
        if (event->type() == QEvent::KeyPress)
            capture_press(key_event->key());
        else if (event->type() == QEvent::KeyRelease)
            capture_release();
        event->accept();
        return true;
    }
    // Without a capture too: the dialog is closed with its Ok or close button only, never by a stray Escape.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel)) {
        event->accept();
        return true;
    }
    return QDialog::event(event);
}

bool ShortcutsDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_slider && is_capturing() &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease ||
         event->type() == QEvent::ShortcutOverride))
        return this->event(event);
    return QDialog::eventFilter(watched, event);
}
