// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/link/connectionmanager.h"
#include "server/link/passwordthrottle.h"
#include "server/sessions/sessionservice.h"

#include <QObject>

class AgentLink;
class PrepaidService;

// The prepaid messages of the agents' connections: logins (held back per workstation address
// once too many were wrong), log offs and automatic logouts of prepaid sessions, and an agent
// coming back to its running prepaid session. Log lines never carry a code or a password.
class PrepaidLink : public QObject, public PrepaidHandler
{
    Q_OBJECT
public:
    PrepaidLink(PrepaidService& service, AgentLink& link, QObject* parent = nullptr);

    void login(qint64 index, const QString& address, const QString& value) override;
    bool loggedOff(qint64 index) override;
    bool resumed(qint64 index) override;

Q_SIGNALS:
    void logLine(const QString& line);

private:
    void send(const QList<AgentMessage>& messages);

    PrepaidService& m_service;
    AgentLink& m_link;
    PasswordThrottle m_throttle;
};
