// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <QTimer>

class Database;
class DeskRegistry;
class LinkServer;

// Sends through this desk's link what the other desks queued in `commands` for its agents, in
// the order they were queued: at once when told so, and once a second in case a notice was
// missed. A command for a connection that is gone is dropped: the agent's reconnection already
// puts its workstation in the state the tables hold.
class CommandDelivery : public QObject
{
    Q_OBJECT
public:
    CommandDelivery(Database& db, DeskRegistry& desks, LinkServer& local,
                    QObject* parent = nullptr);

    void start(int intervalMs = 1000);
    void stop();
    // Sends and removes this desk's queued commands in one transaction; returns how many were
    // sent.
    int deliver();

private:
    Database& m_db;
    DeskRegistry& m_desks;
    LinkServer& m_local;
    QTimer m_timer;
};
