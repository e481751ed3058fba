// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TrayIcon.h"

#include "ui/App.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

TrayIcon::TrayIcon(App* app)
    : QSystemTrayIcon(app), m_app(app), m_current_image(QStringLiteral(":/images/app.png")),
      m_active_image(QStringLiteral(":/images/app.png")), m_paused_image(QStringLiteral(":/images/app_paused.png")),
      m_lock_image(QStringLiteral(":/images/key.png")), m_menu(std::make_unique<QMenu>())
{
    setContextMenu(m_menu.get());
    m_status_action = new QAction(tr("Loading..."), this);
    m_status_action->setEnabled(false);
    m_status_action->setCheckable(false);
    m_settings_action = new QAction(tr("Settings"), this);
    connect(m_settings_action, &QAction::triggered, app, &App::open_app);
    m_hidden_features_action =
        new QAction(QIcon(QStringLiteral(":/images/hidden_features.png")), tr("&Hidden features"), this);
    connect(m_hidden_features_action, &QAction::triggered, app, &App::enter_hidden_feature_spell);
    m_lock_action = new QAction(tr("&Lock CLipboard"), this);
    connect(m_lock_action, &QAction::triggered, app, &App::lock_current_position);
    m_unlock_action = new QAction(tr("&Unlock Clipboard"), this);
    connect(m_unlock_action, &QAction::triggered, app, &App::unlock_current_position);
    m_show_history_action = new QAction(tr("&Show History"), this);
    connect(m_show_history_action, &QAction::triggered, app, &App::open_history_dialog);
    m_exit_action = new QAction(tr("&Exit"), this);
    connect(m_exit_action, &QAction::triggered, app, &App::quit);
    refresh_tray_menu();
    connect(this, &QSystemTrayIcon::activated, this, &TrayIcon::icon_activated);
    m_single_click.setSingleShot(true);
    connect(&m_single_click, &QTimer::timeout, this, [this] {
        if (!m_app->history().is_position_locked())
            m_app->lock_current_position();
    });
}

// The menu goes first: it must not outlive the tray icon it belongs to.
TrayIcon::~TrayIcon()
{
    setContextMenu(nullptr);
}

void TrayIcon::refresh_tray_menu()
{
    m_menu->clear();
    m_menu->addAction(m_settings_action);
    if (m_app->settings().use_hidden_features)
        m_menu->addAction(m_hidden_features_action);
    m_menu->addSeparator();
    m_menu->addAction(m_app->history().is_position_locked() ? m_unlock_action : m_lock_action);
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

void TrayIcon::change_app_mode()
{
    m_app->pause_or_resume_stackpaste();
    redraw_icon();
    refresh_tray_menu();
    m_app->save_settings();
}

void TrayIcon::set_app_tray_icon_image(const QString& app_status)
{
    if (app_status == QLatin1String("activated"))
        m_current_image = m_active_image;
    else if (app_status == QLatin1String("paused"))
        m_current_image = m_paused_image;
    show_icon(m_current_image);
}

void TrayIcon::set_app_info(const QString& app_status, const QString& info)
{
    set_app_tray_icon_image(app_status);
    m_status_action->setText(info);
}

void TrayIcon::show_lock_state(bool locked)
{
    // Unlocked, the icon shows the state the program is in (paused or running), not always the running image.
    show_icon(locked ? m_lock_image : m_current_image);
}

// Every copy asks for the icon again; the tray is only told of a change.
void TrayIcon::show_icon(const QIcon& icon)
{
    if (icon.cacheKey() == m_shown_icon)
        return;
    m_shown_icon = icon.cacheKey();
    setIcon(icon);
}

void TrayIcon::redraw_icon()
{
    show_icon(m_current_image);
}

void TrayIcon::icon_activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        m_single_click.stop();
        m_app->open_app();
        break;
    case QSystemTrayIcon::Trigger:
        // The first click of a double click arrives as a single click too: a double click that only meant to open
        // the window must not lock the position on the way, so the click waits for the double-click time.
        m_single_click.start(QApplication::doubleClickInterval());
        break;
    case QSystemTrayIcon::MiddleClick:
        change_app_mode();
        break;
    default:
        break;
    }
}
