// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/core/agentlink.h"

#include <QHash>
#include <QObject>

class Database;
class DeskRegistry;
class LinkServer;

// The console's way to its agents on a database shared by several desks: a connection of this
// desk is written to at once; one of another desk is queued in `commands` for that desk, which
// is told at once and sends it through its own link (CommandDelivery). Nothing is queued for a
// desk that is not running: its agents are locked by their own reconnection when it comes back.
class DeskLink : public QObject, public AgentLink
{
    Q_OBJECT
public:
    DeskLink(Database& db, DeskRegistry& desks, LinkServer& local, QObject* parent = nullptr);
    ~DeskLink() override;

    bool send(qint64 index, const QByteArray& message) override;
    // Another desk's connection counts as open while that desk runs and lists it in `online`
    // or in a running session.
    bool isConnected(qint64 index) const override;
    QString peerAddress(qint64 index) const override;
    bool deskRunning(qint64 index) const override;
    bool carries(qint64 index) const override;

private:
    // Another desk's listed connections (index → address), read again after any change.
    const QHash<qint64, QString>& others() const;

    Database& m_db;
    DeskRegistry& m_desks;
    LinkServer& m_local;
    mutable QHash<qint64, QString> m_others;
    mutable bool m_othersStale = true;
};
