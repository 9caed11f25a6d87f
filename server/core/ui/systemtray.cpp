// SPDX-License-Identifier: Apache-2.0
#include "server/core/ui/systemtray.h"

#include "server/core/consolecore.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QStyle>
#include <QSystemTrayIcon>

SystemTray::SystemTray(QObject* parent) : QObject(parent)
{
    m_menu = new QMenu(QStringLiteral("Option"));
    m_menu->setObjectName(QStringLiteral("Program"));
    m_show = m_menu->addAction(QStringLiteral("&Show Control Panel"));
    m_show->setObjectName(QStringLiteral("mnufrmmain"));
    m_close = m_menu->addAction(QStringLiteral("&Close"));
    m_close->setObjectName(QStringLiteral("mnuExit"));
    m_menu->setToolTipsVisible(true);
    setCloseEnabled(false);
    connect(m_show, &QAction::triggered, this, &SystemTray::showControlPanel);
    connect(m_close, &QAction::triggered, this, &SystemTray::closeRequested);
}

SystemTray::~SystemTray()
{
    removeIcon();
    delete m_menu;
}

bool SystemTray::trayAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTray::showIcon()
{
    if (m_running) {
        return;
    }
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(this);
        m_icon->setIcon(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
        m_icon->setToolTip(ConsoleCore::AppTitle);
        connect(m_icon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::DoubleClick) {
                        if (m_menu->isEnabled()) {
                            m_show->trigger();
                        }
                    } else if (reason == QSystemTrayIcon::Context && m_menu->isEnabled()) {
                        m_menu->popup(QCursor::pos());
                    }
                });
    }
    if (trayAvailable()) {
        m_icon->show();
    }
    m_running = true;
}

void SystemTray::removeIcon()
{
    if (m_icon) {
        m_icon->hide();
    }
    m_running = false;
}

void SystemTray::setMenuEnabled(bool enabled)
{
    m_menu->setEnabled(enabled);
}

bool SystemTray::menuEnabled() const
{
    return m_menu->isEnabled();
}

void SystemTray::setCloseEnabled(bool enabled)
{
    m_close->setEnabled(enabled);
    m_close->setToolTip(enabled ? QString()
                                : QStringLiteral("Log in as the administrator (Setings > Login) "
                                                 "to close the console."));
}
