// SPDX-License-Identifier: Apache-2.0
#include "server/desks/desklink.h"

#include "common/clock.h"
#include "server/core/database.h"
#include "server/desks/desknumbers.h"
#include "server/desks/deskregistry.h"
#include "server/link/linkserver.h"

#include <QSqlRecord>

namespace {
const QString Label = QStringLiteral("Desks");
}

DeskLink::DeskLink(Database& db, DeskRegistry& desks, LinkServer& local, QObject* parent)
    : QObject(parent), m_db(db), m_desks(desks), m_local(local)
{
    connect(&m_db, &Database::tableChanged, this, [this](const QString& table) {
        if (table == QLatin1String("online") || table == QLatin1String("terminals")) {
            m_othersStale = true;
        }
    });
}

DeskLink::~DeskLink()
{
    if (AgentLink::instance() == this) {
        AgentLink::setInstance(&m_local);
    }
}

bool DeskLink::carries(qint64 index) const
{
    return DeskNumbers::isOwn(index, m_desks.desk());
}

bool DeskLink::send(qint64 index, const QByteArray& message)
{
    if (carries(index)) {
        return m_local.send(index, message);
    }
    const int desk = DeskNumbers::owner(index);
    if (!m_desks.isAlive(desk)) {
        // It may have come up since it was last looked for.
        m_desks.refresh();
        if (!m_desks.isAlive(desk)) {
            return false;
        }
    }
    // The protocol is text of single bytes; Latin-1 keeps every byte as it was.
    const qint64 id =
        m_db.insert(QStringLiteral("INSERT INTO commands (desk, cid, message, queued, fromdesk) "
                                   "VALUES (?, ?, ?, ?, ?)"),
                    {desk, index, QString::fromLatin1(message), Database::timeText(Clock::now()),
                     m_desks.desk()},
                    Label);
    if (id == 0) {
        return false;
    }
    m_db.publish(QStringLiteral("vk_commands"), QString::number(desk));
    return true;
}

const QHash<qint64, QString>& DeskLink::others() const
{
    if (m_othersStale) {
        m_othersStale = false;
        m_others.clear();
        const QString sql = QStringLiteral("SELECT id, ip FROM online WHERE id <> 0 UNION ALL "
                                           "SELECT cid, ip FROM terminals WHERE cid <> 0");
        for (const QSqlRecord& r : m_db.rows(sql, {}, Label)) {
            const qint64 index = r.value(0).toLongLong();
            if (!carries(index)) {
                m_others.insert(index, r.value(1).toString());
            }
        }
    }
    return m_others;
}

bool DeskLink::isConnected(qint64 index) const
{
    if (carries(index)) {
        return m_local.isConnected(index);
    }
    return m_desks.isIndexAlive(index) && others().contains(index);
}

QString DeskLink::peerAddress(qint64 index) const
{
    if (carries(index)) {
        return m_local.peerAddress(index);
    }
    return others().value(index);
}

bool DeskLink::deskRunning(qint64 index) const
{
    return m_desks.isIndexAlive(index);
}
