// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class AgentLink;
class Database;

// Lock, unlock, shut down or restart one connected workstation that is not in a session: the
// logic of the remote-control window.
class RemoteControl
{
public:
    enum class Command
    {
        Lock,
        Unlock,
        Shutdown,
        Restart
    };

    struct Row
    {
        QString name;
        QString ip;
    };

    explicit RemoteControl(Database& db);

    // The connected workstations as they are now, in the order they were listed.
    QList<Row> rows() const;

    // The question asked before the command, naming the workstation.
    static QString question(Command c, const QString& ip, const QString& name);
    static QByteArray token(Command c);
    // Shutting down or restarting takes the workstation off the list soon after.
    static bool changesList(Command c) { return c == Command::Shutdown || c == Command::Restart; }

    // Why no command can go to the workstation listed with that address ("" when one can):
    // its agent is connected to another desk whose console is not running.
    QString refusal(const QString& ip, const AgentLink* link) const;
    // Sends the command to the workstation listed with that address (the first such row).
    // False when none is listed, it is the console's own computer, or it is not connected.
    // A lock or an unlock that was sent marks the row locked or free (`online.unlocked`).
    bool send(Command c, const QString& ip, AgentLink* link) const;

private:
    Database& m_db;
};
