// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

class QAction;
class QMenu;

// The program in the system tray: its image says running, paused or locked; its menu opens the main window, the
// spells and the history, locks or unlocks the position and ends the program; a single click asks for a lock, a middle
// click for a pause or resume, a double click opens the main window (and locks nothing). It shows the state App hands
// it and asks App for everything by signal; it never touches the history itself. Without a tray on the desktop it
// exists all the same and shows nothing.
class TrayIcon : public QSystemTrayIcon {
    Q_OBJECT
public:
    // What the tray shows of the program.
    struct State {
        bool paused = false;
        bool locked = false;
        bool hidden_features = true; // the menu offers the spells
    };

    explicit TrayIcon(QObject* parent);
    ~TrayIcon() override;

    // The image (the key while locked, else running or paused), the tool tip and the menu.
    void show_state(const State& state);
    // The menu's entries as the user sees them, separators as empty texts (tests, the debug window).
    QStringList menu_texts() const;
    QMenu* menu() const { return m_menu.get(); }
    // Shows a message beside the icon; false (and nothing shown) where the tray shows no messages.
    bool show_passing_message(const QString& title, const QString& message,
                              QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon);
    // Tells the user something in passing: a message beside the icon where the tray shows them, else a message box.
    void notify(const QString& title, const QString& message);

Q_SIGNALS:
    void signal_open_app_requested();
    void signal_hidden_features_requested();
    void signal_lock_requested();
    void signal_unlock_requested();
    void signal_history_requested();
    void signal_exit_requested();
    // A single click that no second click turned into a double click.
    void signal_clicked();
    void signal_middle_clicked();

public Q_SLOTS:
    void icon_activated(QSystemTrayIcon::ActivationReason reason);

private:
    void show_icon(const QIcon& icon);
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
