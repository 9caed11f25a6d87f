// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/protocol.h"
#include "server/link/passwordthrottle.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <utility>

class AgentLink;
class Database;
class LinkServer;

// Sessions paid in advance are handled above the link (their accounts live there); the manager
// hands their messages to one handler.
class PrepaidHandler
{
public:
    virtual ~PrepaidHandler() = default;
    // A login from the lock screen of the workstation on `index`, its value as sent.
    virtual void login(qint64 index, const QString& address, const QString& value) = 0;
    // The customer logged off, or the agent logged out on its own: true when the session on
    // `index` was prepaid (and has been ended); false leaves the message its usual meaning.
    virtual bool loggedOff(qint64 index) = 0;
    // The agent on `index` came back to its session: true when it was prepaid and its time and
    // start have been sent.
    virtual bool resumed(qint64 index) = 0;
};

// What each event on an agent's connection does to the tables and which tokens go back:
// a new agent is locked, listed in `online` and asked its name; an agent whose session still
// runs gets its session back; name reports, password checks and automatic logouts are answered;
// a lost connection takes the workstation out of `online` but never ends its session. Each
// workstation address has one connection: a new one (proven, where a link key is set) closes
// the older ones. A session whose password is to be given at the workstation is not opened by
// its agent coming back, only by the password.
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

    // Connections from now on are numbered above every index the tables hold. Called before
    // the server listens: a session keeps the index of its agent's connection from an earlier
    // run until the agent comes back, and no connection of this run may carry that index.
    void continueNumbering();

    // The event handlers.
    void connectionRequest(qint64 index, const QString& address, const QString& hostName);
    void messagesArrived(qint64 index, const QList<Proto::Message>& batch);
    void connectionClosed(qint64 index);
    void connectionFailed(qint64 index, const QString& error);
    // Marks the session on that connection as logged out and tells the agent what to do.
    void automaticLogout(qint64 index);
    // Prepaid logins, log offs and resumes go there from now on (nullptr: none are taken).
    void setPrepaidHandler(PrepaidHandler* handler) { m_prepaid = handler; }

Q_SIGNALS:
    // One line for the console's message log.
    void logLine(const QString& line);
    // The connection with that index is gone (closed or failed); its session, if any, runs on.
    void agentDropped(qint64 index);

private:
    void nameReport(qint64 index, const Proto::Message& m);
    void passwordCheck(qint64 index, const Proto::Message& m);
    void dropped(qint64 index, const QString& label);
    void closeOthers(qint64 index, const QString& address, const QString& name);
    void send(qint64 index, const QByteArray& token, const QString& label);

    Database& m_db;
    AgentLink& m_link;
    PasswordThrottle m_throttle;
    LinkServer* m_server = nullptr;
    PrepaidHandler* m_prepaid = nullptr;
    // Connections closed for a newer one from their address: the name and address the log
    // gives for them when they are reported gone.
    QHash<qint64, std::pair<QString, QString>> m_superseded;
    // Connections gone before their request was handled; their end is not reported either.
    QSet<qint64> m_stillborn;
    // The last name each address reported.
    QHash<QString, QString> m_names;
};
