// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>

class QAction;
class QMenu;
class QSystemTrayIcon;

// The console's notification-area icon with its menu ("&Show Control Panel", "&Close").
// The menu is usable exactly while the console window is hidden; where the desktop has no
// tray, nothing is shown and the console window stays reachable.
class SystemTray : public QObject
{
    Q_OBJECT
public:
    explicit SystemTray(QObject* parent = nullptr);
    ~SystemTray() override;

    static bool trayAvailable();

    void showIcon();
    void removeIcon();
    bool bRunningInTray() const { return m_running; }

    void setMenuEnabled(bool enabled);
    bool menuEnabled() const;
    // "&Close" follows the administrator login.
    void setCloseEnabled(bool enabled);

    QMenu* menu() const { return m_menu; }
    QAction* showControlPanelAction() const { return m_show; }
    QAction* closeAction() const { return m_close; }

Q_SIGNALS:
    void showControlPanel();
    void closeRequested();

private:
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_show = nullptr;
    QAction* m_close = nullptr;
    bool m_running = false;
};
