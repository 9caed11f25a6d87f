#pragma once

#include "common/protocol.h"
#include "server/link/passwordthrottle.h"

#include <QObject>
#include <QString>

class AgentLink;
class Database;
class LinkServer;

// What each event on an agent's connection does to the tables and which tokens go back:
// a new agent is locked, listed in `online` and asked its name; an agent whose session still
// runs gets its session back; name reports, password checks and automatic logouts are answered;
// a lost connection takes the workstation out of `online` but never ends its session.
// Every event appends its lines to the console's message log through logLine(). Password
// checks are held back per workstation address once too many have been wrong (PasswordThrottle).
class ConnectionManager : public QObject
{
    Q_OBJECT
public:
    // Follows the server's events and sends through it.
    ConnectionManager(Database& db, LinkServer& server, QObject* parent = nullptr);
    // Sends through any link; the events are then delivered by calling the handlers.
    ConnectionManager(Database& db, AgentLink& link, QObject* parent = nullptr);

    // The event handlers.
    void connectionRequest(qint64 index, const QString& address, const QString& hostName);
    void messagesArrived(qint64 index, const QList<Proto::Message>& batch);
    void connectionClosed(qint64 index);
    void connectionFailed(qint64 index, const QString& error);
    // Marks the session on that connection as logged out and tells the agent what to do.
    void automaticLogout(qint64 index);

Q_SIGNALS:
    // One line for the console's message log.
    void logLine(const QString& line);
    // The connection with that index is gone (closed or failed); its session, if any, runs on.
    void agentDropped(qint64 index);

private:
    void nameReport(qint64 index, const Proto::Message& m);
    void passwordCheck(qint64 index, const Proto::Message& m);
    void dropped(qint64 index, const QString& label);
    void handOver(qint64 index, const QString& name, const QString& address, bool inSession,
                  const QString& label);
    void send(qint64 index, const QByteArray& token, const QString& label);

    Database& m_db;
    AgentLink& m_link;
    PasswordThrottle m_throttle;
    LinkServer* m_server = nullptr;
};
