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
    // Whether the console that carries the connection with that index runs. Always so for a
    // console of its own; on a database shared by several desks, another desk may be down.
    virtual bool deskRunning(qint64 index) const
    {
        Q_UNUSED(index);
        return true;
    }
    // Whether the connection with that index is this console's own (rather than another
    // desk's, on a database shared by several desks).
    virtual bool carries(qint64 index) const
    {
        Q_UNUSED(index);
        return true;
    }
    // Why a command to a workstation of a desk that is down is refused.
    static inline const QString DeskNotRunning =
        QStringLiteral("The desk that workstation is connected to is not running.");

    // The link the console runs with; nullptr until it listens.
    static AgentLink* instance();
    static void setInstance(AgentLink* link);
};
