// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <QTimer>

class AgentLink;
class PrepaidService;

// Ends every prepaid session whose time is up, once a second, and locks its workstation. The
// agent counts down on its own, but only the console's clock decides: a session whose agent
// is gone (or a console restarted meanwhile) still ends at its time, and its workstation comes
// back locked. On a database shared by several desks each desk ends the sessions of its own
// workstations and of desks that are not running.
class PrepaidWatch : public QObject
{
    Q_OBJECT
public:
    PrepaidWatch(PrepaidService& service, AgentLink& link, QObject* parent = nullptr);

    void start(int intervalMs = 1000);
    void stop();
    // One round: ends the due sessions; returns how many were ended.
    int check();

Q_SIGNALS:
    void logLine(const QString& line);

private:
    PrepaidService& m_service;
    AgentLink& m_link;
    QTimer m_timer;
};
