// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/core/agentlink.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// The console's link to agents over real loopback connections, for tests: every connected
// agent is a QTcpSocket held by the test, and its console-side socket has an index from 1 on.
// Installs itself as AgentLink::instance() for its lifetime.
class LoopbackAgentLink : public QObject, public AgentLink
{
    Q_OBJECT
public:
    LoopbackAgentLink();
    ~LoopbackAgentLink() override;

    // Connects one agent and returns its index (0 on failure).
    qint64 connectAgent();
    // Closes the console side of that agent's connection, as when the agent goes away.
    void dropAgent(qint64 index);

    bool send(qint64 index, const QByteArray& message) override;
    bool isConnected(qint64 index) const override;

    // Every message sent so far, in order, as the link was asked to send them.
    const QList<QPair<qint64, QByteArray>>& sent() const { return m_sent; }
    // What the agent with that index has received since the previous call, waiting up to `ms`
    // for at least `atLeast` bytes.
    QByteArray received(qint64 index, int atLeast = 1, int ms = 3000);

private:
    QTcpServer m_server;
    QHash<qint64, QPointer<QTcpSocket>> m_console;
    QHash<qint64, QTcpSocket*> m_agents;
    QHash<qint64, QByteArray> m_inbox;
    QList<QPair<qint64, QByteArray>> m_sent;
    qint64 m_next = 1;
    AgentLink* m_previous = nullptr;
};
