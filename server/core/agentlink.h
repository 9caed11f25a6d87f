// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QString>

// The console's way to reach an agent by the index of the connection that carries it
// (the index stored in online.id and terminals.cid). Index 0 is the console's own computer,
// to which nothing is sent.
class AgentLink
{
public:
    virtual ~AgentLink() = default;
    // Writes one message on the connection with that index; false when none is open there.
    virtual bool send(qint64 index, const QByteArray& message) = 0;
    virtual bool isConnected(qint64 index) const = 0;
    // The address of the peer on that connection; "" when unknown or none.
    virtual QString peerAddress(qint64 index) const
    {
        Q_UNUSED(index);
        return {};
    }

    // The link the console runs with; nullptr until it listens.
    static AgentLink* instance();
    static void setInstance(AgentLink* link);
};
