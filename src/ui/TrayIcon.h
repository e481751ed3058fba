// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

class App;
class QAction;
class QMenu;

// The program in the system tray: its image says running, paused or locked; its menu opens the main window, the
// spells and the history, locks or unlocks the position and ends the program; a single click locks, a middle click
// pauses or resumes, a double click opens the main window (and locks nothing). It reads the App's flags and calls its
// slots, and never touches the history itself. Without a tray on the desktop it exists all the same and shows nothing.
class TrayIcon : public QSystemTrayIcon {
    Q_OBJECT
public:
    explicit TrayIcon(App* app);
    ~TrayIcon() override;

    // The key image while locked; otherwise the image of the current state.
    void show_lock_state(bool locked);
    void redraw_icon();
    // The menu's entries as the user sees them, separators as empty texts (tests, the debug window).
    QStringList menu_texts() const;
    QMenu* menu() const { return m_menu.get(); }

public Q_SLOTS:
    void refresh_tray_menu();
    void change_app_mode();
    void set_app_tray_icon_image(const QString& app_status);
    void set_app_info(const QString& app_status, const QString& info);
    void icon_activated(QSystemTrayIcon::ActivationReason reason);

private:
    void show_icon(const QIcon& icon);
    App* m_app;
    QIcon m_current_image;
    QIcon m_active_image;
    QIcon m_paused_image;
    QIcon m_lock_image;
    qint64 m_shown_icon = 0; // the cache key of the icon the tray shows
    std::unique_ptr<QMenu> m_menu;
    QAction* m_status_action = nullptr;
    QAction* m_settings_action = nullptr;
    QAction* m_hidden_features_action = nullptr;
    QAction* m_lock_action = nullptr;
    QAction* m_unlock_action = nullptr;
    QAction* m_show_history_action = nullptr;
    QAction* m_exit_action = nullptr;
    QTimer m_single_click; // a click that no second click turned into a double click
};
