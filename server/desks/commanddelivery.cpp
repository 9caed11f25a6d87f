// SPDX-License-Identifier: Apache-2.0
#include "server/desks/commanddelivery.h"

#include "server/core/database.h"
#include "server/desks/deskregistry.h"
#include "server/link/linkserver.h"

#include <QSqlRecord>

namespace {
const QString Label = QStringLiteral("Desks");
const QString Channel = QStringLiteral("vk_commands");
} // namespace

CommandDelivery::CommandDelivery(Database& db, DeskRegistry& desks, LinkServer& local,
                                 QObject* parent)
    : QObject(parent), m_db(db), m_desks(desks), m_local(local)
{
    connect(&m_timer, &QTimer::timeout, this, &CommandDelivery::deliver);
    connect(&m_db, &Database::notice, this, [this](const QString& channel, const QString& payload) {
        if (channel == Channel && payload == QString::number(m_desks.desk())) {
            deliver();
        }
    });
}

void CommandDelivery::start(int intervalMs)
{
    m_db.listen(Channel);
    m_timer.start(intervalMs);
    deliver();
}

void CommandDelivery::stop()
{
    m_timer.stop();
}

int CommandDelivery::deliver()
{
    if (!m_db.isOpen() || !m_db.isShared()) {
        return 0;
    }
    int sent = 0;
    m_db.transaction(
        [&] {
            const QList<QSqlRecord> queued = m_db.rows(
                QStringLiteral("SELECT id, cid, message FROM commands WHERE desk = ? ORDER BY id"),
                {m_desks.desk()}, Label);
            if (queued.isEmpty()) {
                return true;
            }
            sent = 0;
            // Exactly the rows read go: ids are taken before their commit, so a command of a
            // third desk with a lower id may commit after this read, and must wait for the next.
            for (const QSqlRecord& r : queued) {
                if (m_db.change(QStringLiteral("DELETE FROM commands WHERE id = ?"),
                                {r.value(0).toLongLong()}, Label) < 0) {
                    return false;
                }
            }
            for (const QSqlRecord& r : queued) {
                if (m_local.send(r.value(1).toLongLong(), r.value(2).toString().toLatin1())) {
                    ++sent;
                }
            }
            return true;
        },
        Label);
    return sent;
}
