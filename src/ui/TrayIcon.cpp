// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TrayIcon.h"

#include "ui/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QMenu>

TrayIcon::TrayIcon(QObject* parent)
    : QSystemTrayIcon(parent), m_active_image(QStringLiteral(":/images/app.png")),
      m_paused_image(QStringLiteral(":/images/app_paused.png")), m_lock_image(QStringLiteral(":/images/key.png")),
      m_menu(std::make_unique<QMenu>())
{
    setContextMenu(m_menu.get());
    m_status_action = new QAction(tr("Loading..."), this);
    m_status_action->setEnabled(false);
    m_status_action->setCheckable(false);
    m_settings_action = new QAction(tr("Settings"), this);
    connect(m_settings_action, &QAction::triggered, this, &TrayIcon::signal_open_app_requested);
    m_hidden_features_action =
        new QAction(QIcon(QStringLiteral(":/images/hidden_features.png")), tr("&Hidden features"), this);
    connect(m_hidden_features_action, &QAction::triggered, this, &TrayIcon::signal_hidden_features_requested);
    m_lock_action = new QAction(tr("&Lock CLipboard"), this);
    connect(m_lock_action, &QAction::triggered, this, &TrayIcon::signal_lock_requested);
    m_unlock_action = new QAction(tr("&Unlock Clipboard"), this);
    connect(m_unlock_action, &QAction::triggered, this, &TrayIcon::signal_unlock_requested);
    m_show_history_action = new QAction(tr("&Show History"), this);
    connect(m_show_history_action, &QAction::triggered, this, &TrayIcon::signal_history_requested);
    m_exit_action = new QAction(tr("&Exit"), this);
    connect(m_exit_action, &QAction::triggered, this, &TrayIcon::signal_exit_requested);
    show_state(State());
    connect(this, &QSystemTrayIcon::activated, this, &TrayIcon::icon_activated);
    m_single_click.setSingleShot(true);
    connect(&m_single_click, &QTimer::timeout, this, &TrayIcon::signal_clicked);
}

// The menu goes first: it must not outlive the tray icon it belongs to.
TrayIcon::~TrayIcon()
{
    setContextMenu(nullptr);
}

void TrayIcon::show_state(const State& state)
{
    // Unlocked, the icon shows the state the program is in (paused or running), not always the running image.
    show_icon(state.locked ? m_lock_image : state.paused ? m_paused_image : m_active_image);
    setToolTip(QStringLiteral("Stackpaste"));
    m_status_action->setText(QStringLiteral("Stackpaste"));
    m_menu->clear();
    m_menu->addAction(m_settings_action);
    if (state.hidden_features)
        m_menu->addAction(m_hidden_features_action);
    m_menu->addSeparator();
    m_menu->addAction(state.locked ? m_unlock_action : m_lock_action);
    m_menu->addAction(m_show_history_action);
    m_menu->addAction(m_exit_action);
}

QStringList TrayIcon::menu_texts() const
{
    QStringList texts;
    for (const QAction* action : m_menu->actions())
        texts << (action->isSeparator() ? QString() : action->text());
    return texts;
}

// Every refresh asks for the icon again; the tray is only told of a change.
void TrayIcon::show_icon(const QIcon& icon)
{
    if (icon.cacheKey() == m_shown_icon)
        return;
    m_shown_icon = icon.cacheKey();
    setIcon(icon);
}

void TrayIcon::icon_activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        m_single_click.stop();
        Q_EMIT signal_open_app_requested();
        break;
    case QSystemTrayIcon::Trigger:
        // The first click of a double click arrives as a single click too: a double click that only meant to open
        // the window must not lock the position on the way, so the click waits for the double-click time.
        m_single_click.start(QApplication::doubleClickInterval());
        break;
    case QSystemTrayIcon::MiddleClick:
        Q_EMIT signal_middle_clicked();
        break;
    default:
        break;
    }
}

bool TrayIcon::show_passing_message(const QString& title, const QString& message, QSystemTrayIcon::MessageIcon icon)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable() || !QSystemTrayIcon::supportsMessages())
        return false;
    showMessage(title, message, icon, 10000);
    return true;
}

void TrayIcon::notify(const QString& title, const QString& message)
{
    // The title only: a message may repeat what the user typed.
    qDebug() << "Notification:" << title;
    if (!show_passing_message(title, message))
        message_box::information(title, message);
}
